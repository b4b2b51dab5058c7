// The window's file dialog shown without a nested event loop: opened, then awaited.

#include "controller/files/commondialog.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

namespace corvane {

QStringList qtNameFilters(const QString &filter) {
    QStringList filters;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &label = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (label.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
            filters.append(label);
        else
            filters.append(label + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

QString dialogStartFolder(const QString &initDir) {
    const QFileInfo info(QDir::fromNativeSeparators(initDir));
    if (info.isRelative())
        return QString();
    if (info.isDir())
        return info.absoluteFilePath();
    if (info.dir().exists())
        return info.absolutePath();
    return QString();
}

namespace {

QCoro::Task<bool> showDialog(CommonDialog &dialog, QWidget *parent, bool save) {
    if (dialog.chooser) {
        const std::optional<QString> chosen = dialog.chooser(save, dialog);
        if (!chosen)
            co_return false;
        dialog.FileName = *chosen;
        co_return true;
    }

    QPointer<QFileDialog> box = new QFileDialog(parent);
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
        co_return false;
    const bool accepted = *result == QDialog::Accepted && !box->selectedFiles().isEmpty();
    if (accepted)
        dialog.FileName = QDir::toNativeSeparators(box->selectedFiles().constFirst());
    box->deleteLater();
    co_return accepted;
}

} // namespace

QCoro::Task<bool> CommonDialog::ShowOpen(QWidget *parent) {
    co_return co_await showDialog(*this, parent, false);
}

QCoro::Task<bool> CommonDialog::ShowSave(QWidget *parent) {
    co_return co_await showDialog(*this, parent, true);
}

} // namespace corvane
