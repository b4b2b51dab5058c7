#include "controller/outcome.h"

#include "text/datafile.h"

namespace corvane {

QString noticeText(Notice notice) {
    switch (notice) {
    case Notice::ParameterRefused:
        return QStringLiteral("！ パラメータに、誤りがあります。");
    case Notice::Unsupported:
        return QStringLiteral("このコマンドは、サポートされてません！");
    case Notice::FileNotFound:
        return QString::fromUtf16(kCannotOpenFile);
    case Notice::FileNotCreated:
        return QString::fromUtf16(kCannotCreateFile);
    case Notice::FileNotWritten:
        break;
    }
    return QString::fromUtf16(kFileNotWritten);
}

Reply::Kind replyKind(QStringView code) {
    if (code == u"98")
        return Reply::Kind::NoReply;
    return code == u"99" ? Reply::Kind::SendRefused : Reply::Kind::Unit;
}

CommandOutcome commandOutcome(const QList<Notice> &notices, bool codeRefused, const QString &code) {
    using Kind = CommandOutcome::Kind;
    if (codeRefused || notices.contains(Notice::ParameterRefused))
        return {Kind::Refused, code};
    if (code == u"00") {
        if (notices.contains(Notice::FileNotFound))
            return {Kind::FileNotFound, code};
        if (notices.contains(Notice::FileNotCreated) || notices.contains(Notice::FileNotWritten))
            return {Kind::FileNotWritten, code};
        return {Kind::Done, code};
    }
    if (code == u"34")
        return {Kind::Cancelled, code};
    if (replyKind(code) != Reply::Kind::Unit)
        return {Kind::LinkLost, code};
    return {Kind::Failed, code};
}

QString runEndText(RunEnd end) {
    switch (end) {
    case RunEnd::Normal:
        return QStringLiteral("ｺﾏﾝﾄﾞﾚｽ正常終了");
    case RunEnd::Cancelled:
        return QStringLiteral("ｺﾏﾝﾄﾞﾚｽ キャンセル終了");
    case RunEnd::Abnormal:
        break;
    }
    return QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了");
}

void RunOutcome::count(Notice notice) {
    switch (notice) {
    case Notice::ParameterRefused:
    case Notice::Unsupported:
        ++refused;
        break;
    case Notice::FileNotFound:
        ++notFound;
        break;
    case Notice::FileNotCreated:
    case Notice::FileNotWritten:
        ++notWritten;
        break;
    }
}

ExitStatus RunOutcome::exitStatus() const {
    switch (end) {
    case RunEnd::Normal:
        return notFound > 0 || notWritten > 0 ? kExitFilesLost : kExitNormal;
    case RunEnd::Cancelled:
        return kExitCancelled;
    case RunEnd::Abnormal:
        break;
    }
    return kExitAbnormal;
}

QString RunOutcome::summary() const {
    return QStringLiteral("commands %1, refused %2, files not found %3, files not written %4")
        .arg(commands)
        .arg(refused)
        .arg(notFound)
        .arg(notWritten);
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

} // namespace corvane
