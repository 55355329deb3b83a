#include "link/ControllerSearch.h"

#include <QFile>

#include <QStringList>
#include <algorithm>
#include <grp.h>
#include <sys/stat.h>

namespace {

// The group whose members may read and write the device, unless it is
// root's own: joining it is then the remedy for a denied access.
QString admittingGroup(const QString &devicePath)
{
    struct stat st {};
    if (::stat(QFile::encodeName(devicePath).constData(), &st) != 0 || st.st_gid == 0
        || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QString();
    const struct group *g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString();
}

} // namespace

SearchOutcome searchController(DeviceLink &link, const BeforePort &beforePort, int from)
{
    SearchOutcome outcome;
    outcome.directory = PortNamespace::checkPortDirectory();
    const QString directoryProblem = PortNamespace::directoryProblem(outcome.directory);
    if (!directoryProblem.isEmpty())
        qWarning("%s; ignored, the built-in port table applies", qPrintable(directoryProblem));
    for (int n = std::min(from, HighestPort); n >= 1; --n) {
        if (beforePort && !beforePort(n)) {
            link.closePort();
            outcome.kind = SearchOutcome::Aborted;
            return outcome;
        }
        link.OpenPort(n);
        if (!link.portHandleValid()) {
            UnopenedPort failure = link.lastOpenFailure();
            if (failure.error.reason == PortOpenError::PermissionDenied)
                failure.admittingGroup = admittingGroup(failure.devicePath);
            if (failure.error.reason != PortOpenError::None)
                outcome.unopened.append(failure);
            continue;
        }
        const TransactResult probe = link.Transact("QV", 0);
        if (probe.status == StatusOk) {
            outcome.kind = SearchOutcome::Found;
            outcome.portNumber = n;
            return outcome;
        }
        link.closePort();
        if (probe.status != StatusNoReply) {
            outcome.kind = SearchOutcome::Abnormal;
            outcome.portNumber = n;
            return outcome;
        }
    }
    outcome.kind = SearchOutcome::NotFound;
    return outcome;
}

int firmwareVersionFromReply(const QByteArray &payload)
{
    // p is 1-based, 0 when "ver" is absent; the digits sit at p+3, p+5, p+6.
    const int p = payload.indexOf("ver") + 1;
    auto digit = [&](int position) {
        const int i = position - 1;
        if (i < 0 || i >= payload.size())
            return 0;
        const char c = payload.at(i);
        return (c >= '0' && c <= '9') ? c - '0' : 0;
    };
    return digit(p + 3) * 100 + digit(p + 5) * 10 + digit(p + 6);
}

namespace {

QString why(const PortOpenError &error)
{
    switch (error.reason) {
    case PortOpenError::PermissionDenied:
        return QStringLiteral("アクセス権がありません");
    case PortOpenError::InUse:
        return QStringLiteral("他のプログラムが使用中です");
    default:
        return QStringLiteral("開けません(%1)").arg(error.systemText);
    }
}

QString whyDirectoryIgnored(PortNamespace::DirectoryCheck::Verdict verdict)
{
    switch (verdict) {
    case PortNamespace::DirectoryCheck::NotADirectory:
        return QStringLiteral("ディレクトリではありません");
    case PortNamespace::DirectoryCheck::OtherOwner:
        return QStringLiteral("所有者が別のユーザーです");
    case PortNamespace::DirectoryCheck::OpenToOthers:
        return QStringLiteral("他のユーザーが書き込めます");
    default:
        return QString();
    }
}

} // namespace

QString notFoundText(const SearchOutcome &outcome)
{
    QStringList lines{QStringLiteral("QUVOが見つかりません")};
    const auto &unopened = outcome.unopened;
    for (qsizetype i = 0; i < unopened.size() && i < MaxUnopenedLines; ++i) {
        const UnopenedPort &u = unopened.at(i);
        lines << QStringLiteral("COM%1 (%2): %3").arg(u.portNumber).arg(u.devicePath, why(u.error));
    }
    if (unopened.size() > MaxUnopenedLines)
        lines << QStringLiteral("ほか %1 ポートも開けませんでした").arg(unopened.size() - MaxUnopenedLines);
    // The remedy only where joining a group would help, once per group.
    QStringList groups;
    for (const UnopenedPort &u : unopened) {
        if (u.error.reason == PortOpenError::PermissionDenied && !u.admittingGroup.isEmpty()
            && !groups.contains(u.admittingGroup))
            groups << u.admittingGroup;
    }
    for (const QString &group : groups) {
        lines << QStringLiteral("%1グループに参加して下さい: sudo usermod -aG %1 $USER を実行し,"
                                "ログアウトしてから再度ログインして下さい.")
                     .arg(group);
    }
    const QString directory = whyDirectoryIgnored(outcome.directory.verdict);
    if (!directory.isEmpty()) {
        lines << QStringLiteral("ポートディレクトリ %1 は使用しませんでした(%2).")
                     .arg(outcome.directory.path, directory);
    }
    return lines.join(QLatin1Char('\n'));
}
