#include "emulator/PortPublisher.h"

#include "link/PortNamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <limits.h>
#include <unistd.h>

QString PortPublisher::readLink(const QString &path)
{
    char buf[PATH_MAX];
    const QByteArray p = QFile::encodeName(path);
    const ssize_t n = ::readlink(p.constData(), buf, sizeof buf - 1);
    if (n < 0)
        return QString();
    return QFile::decodeName(QByteArray(buf, int(n)));
}

bool PortPublisher::placeLink(const QString &target, const QString &link, QString *error)
{
    // A link beside it, then renamed over: the name never goes missing.
    const QString temp = link + QStringLiteral(".new-%1").arg(getpid());
    QFile::remove(temp);
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(temp).constData()) != 0
        || ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(link).constData()) != 0) {
        if (error)
            *error = link + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        QFile::remove(temp);
        return false;
    }
    return true;
}

bool PortPublisher::publish(int portNumber, const QString &target, QString *error)
{
    if (portNumber < 1 || portNumber > 255) {
        if (error)
            *error = QStringLiteral("COM%1: the number must be from 1 to 255").arg(portNumber);
        return false;
    }
    const QString dir = PortNamespace::portDirectory();
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = dir + QStringLiteral(": cannot create the port directory");
        return false;
    }
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The utility would not look into a directory that is not the user's own.
    const QString problem = PortNamespace::directoryProblem(PortNamespace::checkPortDirectory());
    if (!problem.isEmpty()) {
        if (error)
            *error = problem + QStringLiteral("; the utility would ignore it");
        return false;
    }
    const QString link = dir + QStringLiteral("/COM%1").arg(portNumber);
    const QFileInfo info(link);
    QString mask;
    if (info.isSymLink()) {
        if (info.exists()) {
            if (error)
                *error = QStringLiteral("COM%1 is already published (%2)").arg(portNumber).arg(readLink(link));
            return false;
        }
        mask = readLink(link);
    } else if (info.exists()) {
        if (error)
            *error = link + QStringLiteral(" exists and is not a link");
        return false;
    }
    if (!placeLink(target, link, error))
        return false;
    link_ = link;
    target_ = target;
    mask_ = mask;
    return true;
}

bool PortPublisher::republish(const QString &target, QString *error)
{
    if (link_.isEmpty() || readLink(link_) != target_) {
        if (error)
            *error = QStringLiteral("the link is no longer ours");
        return false;
    }
    if (!placeLink(target, link_, error))
        return false;
    target_ = target;
    return true;
}

bool PortPublisher::mask(QString *error)
{
    return republish(mask_.isEmpty() ? link_ + QStringLiteral(".gone") : mask_, error);
}

void PortPublisher::withdraw()
{
    if (link_.isEmpty())
        return;
    if (readLink(link_) == target_) {
        if (mask_.isEmpty())
            QFile::remove(link_);
        else
            placeLink(mask_, link_, nullptr);
    }
    link_.clear();
    target_.clear();
    mask_.clear();
}
