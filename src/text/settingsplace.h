#pragma once
// Where the settings file lives: beside the program when its folder is its own, else the user's.

#include <QString>

namespace corvane {

// What decides the place, as found on the machine.
struct SettingsFacts {
    bool besideExists = false;   // a Corvane.INI beside the program
    bool folderWritable = false; // this user may write the program's folder
    bool installed = false;      // the program's folder is the one it was installed to (shared)
    bool userExists = false;     // the user's own Corvane.INI
};

// Which of the two files is read and which written.
struct SettingsPlaces {
    bool readBeside = false;
    bool writeBeside = false;
};

// A folder of the program's own (writable, not the installed one) keeps the file beside the
// program, read and written, as an unpacked program always did. Otherwise the user's file is
// written; it is read once it exists, and until then a Corvane.INI beside the program serves as
// the first settings.
[[nodiscard]] SettingsPlaces chooseSettingsPlaces(const SettingsFacts &facts);

struct SettingsFiles {
    QString read;
    QString write;
};

// The files for a program in `programFolder`; the user's is Corvane.INI in the application's
// configuration folder, so the application's name must be set first.
[[nodiscard]] SettingsFiles findSettingsFiles(const QString &programFolder);

} // namespace corvane
