#pragma once
#include "link/PortIo.h"

#include <QSerialPort>

// PortIo over QSerialPort, used synchronously.
class SerialPortIo : public PortIo {
public:
    SerialPortIo();
    bool open(const QString &devicePath) override;
    PortOpenError openError() const override { return openError_; }
    void close() override;
    bool isOpen() const override;
    int drain(int quietMs, int listenMs, int boundMs) override;
    void write(const QByteArray &bytes) override;
    PortRead read(int maxBytes, int timeoutMs, int quietMs, int confirmMs) override;
    void moveToThread(QThread *thread) override { port_.moveToThread(thread); }

    // What a failed open means to the operator. QSerialPort reports a
    // denied access, a busy device and a held lock all as PermissionError;
    // only whether this user may read and write the device tells them apart.
    static PortOpenError classifyOpenError(QSerialPort::SerialPortError error,
                                           const QString &systemText, bool userMayReadWrite);

private:
    class Line;
    bool releaseIfGone();

    QSerialPort port_;
    PortOpenError openError_;
};
