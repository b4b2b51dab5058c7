#include "shell/runtally.h"

#include "text/datafile.h"

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

ExitStatus RunTally::exitStatus() const {
    if (status == kExitNormal && (notFound > 0 || notWritten > 0))
        return kExitFilesLost;
    return status;
}

int worseStatus(int a, int b) {
    auto rank = [](int status) {
        switch (status) {
        case kExitNormal:
            return 0;
        case kExitCancelled:
            return 1;
        case kExitFilesLost:
            return 2;
        case kExitAbnormal:
            return 3;
        case kExitNoConnection:
            return 4;
        default:
            return 5;
        }
    };
    return rank(b) > rank(a) ? b : a;
}

QString RunTally::summary() const {
    return QStringLiteral("commands %1, refused %2, files not found %3, files not written %4")
        .arg(commands)
        .arg(refused)
        .arg(notFound)
        .arg(notWritten);
}

} // namespace corvane
