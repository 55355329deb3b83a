#include "link/PortNamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace PortNamespace {

namespace {
long expectedOwner = -1;
}

QString portDirectory()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/quvo-ports");
    return QStringLiteral("/tmp/quvo-ports-%1").arg(getuid());
}

void setExpectedOwnerForTesting(long uid)
{
    expectedOwner = uid;
}

DirectoryCheck checkPortDirectory()
{
    DirectoryCheck check;
    check.path = portDirectory();
    struct stat st {};
    if (::lstat(QFile::encodeName(check.path).constData(), &st) != 0) {
        check.verdict = DirectoryCheck::Absent;
        return check;
    }
    check.owner = st.st_uid;
    check.mode = st.st_mode & 07777;
    const uid_t me = expectedOwner >= 0 ? uid_t(expectedOwner) : getuid();
    if (!S_ISDIR(st.st_mode))
        check.verdict = DirectoryCheck::NotADirectory;
    else if (st.st_uid != me)
        check.verdict = DirectoryCheck::OtherOwner;
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        check.verdict = DirectoryCheck::OpenToOthers;
    else
        check.verdict = DirectoryCheck::Usable;
    return check;
}

QString directoryProblem(const DirectoryCheck &check)
{
    QString why;
    switch (check.verdict) {
    case DirectoryCheck::NotADirectory:
        why = QStringLiteral("not a directory");
        break;
    case DirectoryCheck::OtherOwner:
        why = QStringLiteral("belongs to user %1, not to you").arg(check.owner);
        break;
    case DirectoryCheck::OpenToOthers:
        why = QStringLiteral("others may write to it (mode %1)").arg(check.mode, 4, 8, QLatin1Char('0'));
        break;
    default:
        return QString();
    }
    return QStringLiteral("the port directory %1: %2").arg(check.path, why);
}

namespace {
QString &deviceRoot()
{
    static QString root = QStringLiteral("/dev");
    return root;
}
} // namespace

void setDeviceRoot(const QString &root)
{
    deviceRoot() = root;
}

QString builtInDevice(int portNumber)
{
    struct Range { int first; const char *prefix; };
    static const Range ranges[] = { {1, "/ttyS"}, {33, "/ttyUSB"}, {65, "/ttyACM"} };
    for (const Range &r : ranges) {
        if (portNumber >= r.first && portNumber < r.first + 32)
            return deviceRoot() + QString::fromLatin1(r.prefix) + QString::number(portNumber - r.first);
    }
    return QString();
}

QString devicePath(int portNumber)
{
    if (portNumber < 1 || portNumber > 255)
        return QString();
    const DirectoryCheck dir = checkPortDirectory();
    if (dir.verdict == DirectoryCheck::Usable) {
        const QFileInfo link(dir.path + QStringLiteral("/COM") + QString::number(portNumber));
        if (link.isSymLink() || link.exists()) {
            // canonicalFilePath is empty for a dangling link: the number is hidden.
            return link.canonicalFilePath();
        }
    }
    const QString builtIn = builtInDevice(portNumber);
    if (builtIn.isEmpty() || !QFileInfo::exists(builtIn))
        return QString();
    return QFileInfo(builtIn).canonicalFilePath();
}

} // namespace PortNamespace
