#include "tests/support/PortSandbox.h"

#include <QDir>
#include <QFile>

PortSandbox::PortSandbox()
{
    hadRuntime_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    oldRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
    QDir().mkpath(portDir());
    // The utility ignores a port directory that others may write to.
    QFile::setPermissions(portDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (int n = 1; n <= 96; ++n)
        QFile::link(dir_.path() + QStringLiteral("/masked-COM%1").arg(n),
                    portDir() + QStringLiteral("/COM%1").arg(n));
}

PortSandbox::~PortSandbox()
{
    if (hadRuntime_)
        qputenv("XDG_RUNTIME_DIR", oldRuntime_);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

QString PortSandbox::portDir() const
{
    return dir_.path() + QStringLiteral("/quvo-ports");
}

void PortSandbox::publish(int portNumber, const QString &devicePath)
{
    unpublish(portNumber);
    QFile::link(devicePath, portDir() + QStringLiteral("/COM%1").arg(portNumber));
}

void PortSandbox::unpublish(int portNumber)
{
    QFile::remove(portDir() + QStringLiteral("/COM%1").arg(portNumber));
}
