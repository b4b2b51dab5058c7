#pragma once
// What exchanges, commands and runs end in, as values; and the one place their log lines are made.

#include "text/commandtext.h"

#include <QList>
#include <QString>

#include <optional>

namespace corvane {

// Exit statuses of a run without the window.
enum ExitStatus : int {
    kExitNormal = 0,       // the run's normal end
    kExitAbnormal = 1,     // its abnormal end, a lost line included
    kExitCancelled = 2,    // cancelled
    kExitNoConnection = 3, // the port could not be opened or the unit did not answer the greeting
    kExitFilesLost = 4,    // ran to its end; a load file missing or a save not (wholly) written
    kExitUsage = 64,
};

// How a command line left the program.
enum class Sent {
    Sent,
    Refused,     // the port refused it (closed or gone)
    Unencodable, // a character CP932 cannot carry: nothing was sent
};

// The judged reply to one command: the unit's code, or the program's own outcome.
struct Reply {
    enum class Kind {
        Unit,             // the unit answered `code`
        NoReply,          // no complete reply in time, or no line ("98")
        SendRefused,      // the command never left ("99")
        ParameterRefused, // the program refused the parameter; nothing was sent
    };
    Kind kind = Kind::Unit;
    QString code; // the unit's code, "98" or "99"; the last reply's for a refused parameter
    QString text; // the reply as the judgement leaves it
    std::optional<CommandFields> fields;

    [[nodiscard]] bool is(QStringView unitCode) const {
        return kind == Kind::Unit && code == unitCode;
    }
    [[nodiscard]] bool ok() const { return is(u"00"); }
};

// The kind of a reply code: the program's own "98" (no reply) and "99" (not sent), else the unit's.
[[nodiscard]] Reply::Kind replyKind(QStringView code);

// What the program itself says about a command it carries out.
enum class Notice {
    ParameterRefused, // "！ パラメータに、誤りがあります。"
    Unsupported,      // the console does not know the command
    FileNotFound,     // a load file cannot be opened or read
    FileNotCreated,   // a save file cannot be created
    FileNotWritten,   // a save file not (wholly) written
};
[[nodiscard]] QString noticeText(Notice notice);

// How one command of a run ended.
struct CommandOutcome {
    enum class Kind { Done, Failed, Cancelled, Refused, FileNotFound, FileNotWritten, LinkLost };
    Kind kind = Kind::Done;
    QString code; // the last reply code
    // The run goes on after it.
    [[nodiscard]] bool goesOn() const {
        return kind == Kind::Done || kind == Kind::FileNotFound || kind == Kind::FileNotWritten;
    }
};
// The outcome of a command from the notices it caused, whether the unit refused its device code
// and the last reply code.
[[nodiscard]] CommandOutcome commandOutcome(const QList<Notice> &notices, bool codeRefused,
                                            const QString &code);

// How a command-response run ended, and its counts.
enum class RunEnd { Normal, Cancelled, Abnormal };
[[nodiscard]] QString runEndText(RunEnd end);
struct RunOutcome {
    RunEnd end = RunEnd::Abnormal;
    int commands = 0;   // command lines handed to the interpreter
    int refused = 0;    // commands refused by the program
    int notFound = 0;   // load files that could not be opened
    int notWritten = 0; // save files that could not be created or written
    // Counts one notice.
    void count(Notice notice);
    // The run's exit status: a normal end with a load file missing or a save not written is
    // kExitFilesLost.
    [[nodiscard]] ExitStatus exitStatus() const;
    // One line for scripts: "commands 3, refused 0, files not found 0, files not written 0".
    [[nodiscard]] QString summary() const;
};

// The worse of two exit statuses of units run together: 0 < 2 < 4 < 1 < 3 (a usage error or a
// signal's status worst of all).
[[nodiscard]] int worseStatus(int a, int b);

} // namespace corvane
