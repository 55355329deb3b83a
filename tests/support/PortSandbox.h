#pragma once
// Keeps a test away from this machine's serial devices: points
// XDG_RUNTIME_DIR at a fresh directory whose port directory masks COM1-96
// with links that lead nowhere, and publishes the test's own ports there.
#include <QString>
#include <QTemporaryDir>

class PortSandbox {
public:
    PortSandbox();
    ~PortSandbox();
    PortSandbox(const PortSandbox &) = delete;
    PortSandbox &operator=(const PortSandbox &) = delete;

    QString runtimeDir() const { return dir_.path(); }
    QString portDir() const;
    // COM n -> devicePath (replacing the mask or an earlier link).
    void publish(int portNumber, const QString &devicePath);
    void unpublish(int portNumber);

private:
    QTemporaryDir dir_;
    QByteArray oldRuntime_;
    bool hadRuntime_ = false;
};
