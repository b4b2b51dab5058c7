#include "app/runtally.h"

#include "files/datafile.h"

namespace corvane {

void RunTally::see(const QString &line) {
    if (line == QStringView(kRunNormalEnd))
        status = kExitNormal;
    else if (line == QStringView(kRunCancelledEnd))
        status = kExitCancelled;
    else if (line == QStringView(kRunAbnormalEnd))
        status = kExitAbnormal;
    else if (line == u"！ パラメータに、誤りがあります。" ||
             line == u"このコマンドは、サポートされてません！")
        ++refused;
    else if (line == QStringView(kCannotOpenFile))
        ++notFound;
    else if (line == QStringView(kCannotCreateFile) || line == QStringView(kFileNotWritten))
        ++notWritten;
}

QString RunTally::summary() const {
    return QStringLiteral("commands %1, refused %2, files not found %3, files not written %4")
        .arg(commands)
        .arg(refused)
        .arg(notFound)
        .arg(notWritten);
}

} // namespace corvane
