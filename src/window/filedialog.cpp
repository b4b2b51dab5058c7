#include "window/filedialog.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFileDialog>
#include <QPointer>

namespace corvane {

FileDialogQuestions::FileDialogQuestions(QWidget *window)
    : QObject(window)
    , m_window(window) {}

QCoro::Task<std::optional<QString>> FileDialogQuestions::chooseFile(bool save,
                                                                    const CommonDialog &dialog) {
    QPointer<QFileDialog> box = new QFileDialog(m_window);
    box->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    box->setNameFilters(qtNameFilters(dialog.Filter));
    if (save && !(dialog.Flags & CommonDialog::kOverwritePrompt))
        box->setOption(QFileDialog::DontConfirmOverwrite);
    if (const QString folder = dialogStartFolder(dialog.InitDir); !folder.isEmpty())
        box->setDirectory(folder);
    box->open();
    const auto result =
        co_await qCoro(box.data(), &QDialog::finished, std::chrono::milliseconds{-1});
    // A dialog that went away with its window is a cancel that nobody will see.
    if (!box || !result)
        co_return std::nullopt;
    std::optional<QString> chosen;
    if (*result == QDialog::Accepted && !box->selectedFiles().isEmpty())
        chosen = QDir::toNativeSeparators(box->selectedFiles().constFirst());
    box->deleteLater();
    co_return chosen;
}

} // namespace corvane
