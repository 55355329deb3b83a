#include "journal/OutputFile.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>
#include <sys/stat.h>

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

} // namespace OutputFile
