#pragma once
#include "link/PortIo.h"

#include <QSerialPort>

// PortIo over QSerialPort, used synchronously.
class SerialPortIo : public PortIo {
public:
    bool open(const QString &devicePath) override;
    void close() override;
    bool isOpen() const override;
    void clearInput() override;
    void write(const QByteArray &bytes) override;
    QByteArray read(int maxBytes, int timeoutMs) override;

private:
    QSerialPort port_;
};
