#include "emulator/SerialWire.h"

SerialWire::SerialWire(QObject *parent) : Wire(parent)
{
    connect(&port_, &QSerialPort::readyRead, this, [this] { emit received(port_.readAll()); });
}

bool SerialWire::open(const QString &path, int baud, QString *error)
{
    path_ = path;
    port_.setPortName(path);
    port_.setBaudRate(baud);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setParity(QSerialPort::NoParity);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        if (error)
            *error = path + QStringLiteral(": ") + port_.errorString();
        return false;
    }
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    return true;
}

qint64 SerialWire::write(const QByteArray &bytes)
{
    // QSerialPort buffers; the server hands it a few bytes at a time anyway.
    return port_.isOpen() ? port_.write(bytes) : 0;
}

void SerialWire::close()
{
    if (port_.isOpen())
        port_.close();
}
