#pragma once
// The file dialog's values: filter, starting folder, chosen name and the ask-before-replacing
// option. The operator is asked through OperatorQuestions (the window's dialog); without one the
// question is cancelled. Tests replace the operator with a chooser.

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace corvane {

struct CommonDialog;

// Questions a controller puts to the operator; a run without a window has nobody to ask.
class OperatorQuestions {
public:
    virtual ~OperatorQuestions() = default;
    // The file the operator chooses in the open or save dialog `dialog` describes; nothing for a
    // cancel.
    virtual QCoro::Task<std::optional<QString>> chooseFile(bool save,
                                                           const CommonDialog &dialog) = 0;
};

struct CommonDialog {
    // The option flag that asks before an existing file is replaced (save dialog only).
    static constexpr int kOverwritePrompt = 2;

    QString Filter;
    QString InitDir = QStringLiteral("D:\\");
    QString FileName;
    int Flags = 0;

    // Stands in for the operator in tests: gets (save?, dialog) and returns the chosen path, or
    // nothing for a cancel. Empty: `questions` is asked.
    std::function<std::optional<QString>(bool save, const CommonDialog &dialog)> chooser;
    OperatorQuestions *questions = nullptr;

    // Show the open or save dialog; the result is false when the operator cancelled. On success
    // FileName holds the chosen full path.
    QCoro::Task<bool> ShowOpen();
    QCoro::Task<bool> ShowSave();
};

// The dialog's filter text ("label|pattern|label|pattern", patterns separated by ";") as Qt's
// name filters ("label (pattern pattern)").
[[nodiscard]] QStringList qtNameFilters(const QString &filter);
// The folder a dialog opens in for a starting folder that may name a folder or a file; empty when
// it is not an absolute path or neither it nor its folder exists.
[[nodiscard]] QString dialogStartFolder(const QString &initDir);

} // namespace corvane
