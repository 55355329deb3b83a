#pragma once
#include "link/PortIo.h"

#include <QSerialPort>

// PortIo over QSerialPort, used synchronously.
class SerialPortIo : public PortIo {
public:
    bool open(const QString &devicePath) override;
    PortOpenError openError() const override { return openError_; }
    void close() override;
    bool isOpen() const override;
    void clearInput() override;
    void write(const QByteArray &bytes) override;
    QByteArray read(int maxBytes, int timeoutMs) override;

    // What a failed open means to the operator. QSerialPort reports a
    // denied access, a busy device and a held lock all as PermissionError;
    // only whether this user may read and write the device tells them apart.
    static PortOpenError ClassifyOpenError(QSerialPort::SerialPortError error,
                                           const QString &systemText, bool userMayReadWrite);

private:
    QSerialPort port_;
    PortOpenError openError_;
};
