#pragma once
// The few things the link asks of a serial port. The real port and the
// in-process fake of the tests both stand behind this.
#include <QByteArray>
#include <QString>

// Why a device that exists would not open.
struct PortOpenError {
    enum Reason { None, PermissionDenied, InUse, Other };
    Reason reason = None;
    QString systemText;   // the system's own words, for Other
};

class PortIo {
public:
    virtual ~PortIo() = default;
    // Opens the device exclusively at 9600 8N1, no flow control, DTR and RTS on.
    virtual bool open(const QString &devicePath) = 0;
    // Why the last open failed; None after a successful one.
    virtual PortOpenError openError() const { return {}; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Drops whatever is waiting in the receive queue.
    virtual void clearInput() = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // Reads until `maxBytes` have arrived, `timeoutMs` has passed, or the
    // port fails; returns what arrived. Never runs the event loop.
    virtual QByteArray read(int maxBytes, int timeoutMs) = 0;
};
