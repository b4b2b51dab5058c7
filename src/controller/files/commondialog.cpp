// The file dialog's question to the operator, and the filter and folder texts a dialog shows.

#include "controller/files/commondialog.h"

#include <QDir>
#include <QFileInfo>

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

QCoro::Task<bool> showDialog(CommonDialog &dialog, bool save) {
    std::optional<QString> chosen;
    if (dialog.chooser)
        chosen = dialog.chooser(save, dialog);
    else if (dialog.questions)
        chosen = co_await dialog.questions->chooseFile(save, dialog);
    if (!chosen)
        co_return false;
    dialog.FileName = *chosen;
    co_return true;
}

} // namespace

QCoro::Task<bool> CommonDialog::ShowOpen() {
    co_return co_await showDialog(*this, false);
}

QCoro::Task<bool> CommonDialog::ShowSave() {
    co_return co_await showDialog(*this, true);
}

} // namespace corvane
