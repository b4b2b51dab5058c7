#include "text/settingsplace.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace corvane {

SettingsPlaces chooseSettingsPlaces(const SettingsFacts &facts) {
    if (facts.folderWritable && !facts.installed)
        return {true, true};
    return {facts.besideExists && !facts.userExists, false};
}

SettingsFiles findSettingsFiles(const QString &programFolder) {
    const QString name = QStringLiteral("Corvane.INI");
    const QString beside = QDir(programFolder).filePath(name);
    const QString user =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(name);
    SettingsFacts facts;
    facts.besideExists = QFileInfo(beside).isFile();
    facts.folderWritable = QFileInfo(programFolder).isWritable();
#ifdef CORVANE_INSTALL_BINDIR
    const QString installFolder =
        QFileInfo(QStringLiteral(CORVANE_INSTALL_BINDIR)).canonicalFilePath();
    facts.installed =
        !installFolder.isEmpty() && QFileInfo(programFolder).canonicalFilePath() == installFolder;
#endif
    facts.userExists = QFileInfo(user).isFile();
    const SettingsPlaces places = chooseSettingsPlaces(facts);
    return {places.readBeside ? beside : user, places.writeBeside ? beside : user};
}

} // namespace corvane
