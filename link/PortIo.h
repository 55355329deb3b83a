#pragma once
// The few things the link asks of a serial port. The real port and the
// in-process fake of the tests both stand behind this.
#include <QByteArray>
#include <QString>

class PortIo {
public:
    virtual ~PortIo() = default;
    // Opens the device exclusively at 9600 8N1, no flow control, DTR and RTS on.
    virtual bool open(const QString &devicePath) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Drops whatever is waiting in the receive queue.
    virtual void clearInput() = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // Reads until `maxBytes` have arrived, `timeoutMs` has passed, or the
    // port fails; returns what arrived. Never runs the event loop.
    virtual QByteArray read(int maxBytes, int timeoutMs) = 0;
};
