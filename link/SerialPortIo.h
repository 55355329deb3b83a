#pragma once
#include "link/PortIo.h"

#include <QSerialPort>

// PortIo over QSerialPort, used synchronously.
class SerialPortIo : public PortIo {
public:
    SerialPortIo();
    bool open(const QString &devicePath) override;
    void close() override;
    bool isOpen() const override;
    int drain(int quietMs, int listenMs, int boundMs) override;
    void write(const QByteArray &bytes) override;
    QByteArray read(int maxBytes, int timeoutMs, int quietMs) override;

private:
    bool releaseIfGone();

    QSerialPort port_;
};
