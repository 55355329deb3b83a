#include "link/PortNamespace.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace PortNamespace {

QString portDirectory()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/quvo-ports");
    return QStringLiteral("/tmp/quvo-ports-%1").arg(getuid());
}

QString builtInDevice(int portNumber)
{
    struct Range { int first; const char *prefix; };
    static const Range ranges[] = { {1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"} };
    for (const Range &r : ranges) {
        if (portNumber >= r.first && portNumber < r.first + 32)
            return QString::fromLatin1(r.prefix) + QString::number(portNumber - r.first);
    }
    return QString();
}

QString devicePath(int portNumber)
{
    if (portNumber < 1 || portNumber > 255)
        return QString();
    const QFileInfo link(portDirectory() + QStringLiteral("/COM") + QString::number(portNumber));
    if (link.isSymLink() || link.exists()) {
        // canonicalFilePath is empty for a dangling link: the number is hidden.
        return link.canonicalFilePath();
    }
    const QString builtIn = builtInDevice(portNumber);
    if (builtIn.isEmpty() || !QFileInfo::exists(builtIn))
        return QString();
    return QFileInfo(builtIn).canonicalFilePath();
}

} // namespace PortNamespace
