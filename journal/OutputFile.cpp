#include "journal/OutputFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QScopeGuard>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OutputFile {

Way wayOf(const QString &name)
{
    if (name == QLatin1String("-"))
        return Way::StandardOutput;
    // Through links: a link to a device is the device.
    struct stat st {};
    if (::stat(QFile::encodeName(name).constData(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        return Way::Replace;   // not there yet, or what QSaveFile refuses with its own words
    return Way::Through;
}

namespace {

bool failed(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Writes into an open device that is not replaced: standard output or a
// device or FIFO as it stands.
bool fillOpen(QFile &out, const Fill &fill, QString *error)
{
    QString why;
    if (!fill(out, &why))
        return failed(error, why.isEmpty() ? out.errorString() : why);
    if (!out.flush())
        return failed(error, out.errorString());
    return true;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// `name` with "-n" before its extension: ("A_1.dex", 2) gives "A_1-2.dex".
QString numbered(const QString &name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot > 0 ? dot : name.size();
    return name.left(at) + QLatin1Char('-') + QString::number(n) + name.mid(at);
}

// Gives the file `from` the name `to` unless something has that name: 0, or
// the errno of why not (EEXIST: the name is taken).
int nameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot rename without replacing (NFS): a second
    // link fails as surely on a name that is taken; the hidden one goes.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

} // namespace

bool write(const QString &name, const Fill &fill, bool ownerOnly, QString *error)
{
    switch (wayOf(name)) {
    case Way::StandardOutput: {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return failed(error, out.errorString());
        return fillOpen(out, fill, error);
    }
    case Way::Through: {
        QFile out(name);
        if (!out.open(QIODevice::WriteOnly))
            return failed(error, out.errorString());
        if (!fillOpen(out, fill, error))
            return false;
        out.close();
        return out.error() == QFileDevice::NoError || failed(error, out.errorString());
    }
    case Way::Replace:
        break;
    }
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly))
        return failed(error, out.errorString());
    if (ownerOnly && !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed(error, out.errorString());
    QString why;
    if (!fill(out, &why))
        return failed(error, why.isEmpty() ? out.errorString() : why);
    if (!out.commit())
        return failed(error, out.errorString());
    return true;
}

bool write(const QString &name, const QByteArray &bytes, bool ownerOnly, QString *error)
{
    return write(
        name, [&bytes](QIODevice &out, QString *) { return out.write(bytes) == bytes.size(); }, ownerOnly, error);
}

QString folderProblem(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("no such folder")
             : errno == ENOTDIR ? QStringLiteral("not a folder")
                                : systemText(errno);
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("not a folder");
    if (::access(path.constData(), W_OK | X_OK) != 0)
        return systemText(errno);
    return QString();
}

QString writeInto(const QString &folder, const QString &name, const Fill &fill, QString *error)
{
    if (const QString why = folderProblem(folder); !why.isEmpty()) {
        failed(error, why);
        return QString();
    }
    const QDir dir(folder);
    // A hidden name of its own, readable by its owner alone; a name taken
    // by another writer's output is tried again with other letters.
    QFile out;
    for (int tries = 0; tries < 16 && !out.isOpen(); ++tries) {
        out.setFileName(dir.filePath(QStringLiteral(".%1.%2").arg(name).arg(QRandomGenerator::global()->generate(),
                                                                            8, 16, QLatin1Char('0'))));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            && !out.exists()) {
            failed(error, out.errorString());
            return QString();
        }
    }
    if (!out.isOpen()) {
        failed(error, out.errorString());
        return QString();
    }
    bool named = false;
    const auto dropUnnamed = qScopeGuard([&out, &named] {
        if (!named)
            out.remove();
    });
    QString why;
    if (!fill(out, &why)) {
        failed(error, why.isEmpty() ? out.errorString() : why);
        return QString();
    }
    // On the disk before it has its name: a power cut leaves no empty file
    // for the importer.
    if (!out.flush() || ::fsync(out.handle()) != 0) {
        failed(error, out.error() != QFileDevice::NoError ? out.errorString() : systemText(errno));
        return QString();
    }
    out.close();
    const QByteArray from = QFile::encodeName(out.fileName());
    constexpr int MostAlike = 999;
    for (int n = 1; n <= MostAlike; ++n) {
        const QString path = dir.filePath(numbered(name, n));
        const int e = nameWithoutReplacing(from, QFile::encodeName(path));
        if (e == 0) {
            named = true;
            return path;
        }
        if (e != EEXIST) {
            failed(error, systemText(e));
            return QString();
        }
    }
    failed(error, QStringLiteral("%1 files named as %2 already").arg(MostAlike).arg(name));
    return QString();
}

QString writeInto(const QString &folder, const QString &name, const QByteArray &bytes, QString *error)
{
    return writeInto(
        folder, name, [&bytes](QIODevice &out, QString *) { return out.write(bytes) == bytes.size(); }, error);
}

} // namespace OutputFile
