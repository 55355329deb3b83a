#pragma once
// The few things the link asks of a serial port. The real port and the
// in-process fake of the tests both stand behind this.
#include <QByteArray>
#include <QString>
#include <chrono>

class QThread;

// Why a device that exists would not open.
struct PortOpenError {
    enum Reason { None, PermissionDenied, InUse, Other };
    Reason reason = None;
    QString systemText;   // the system's own words, for Other
};

// How a read ended.
enum class ReadEnd {
    Quiet,      // a frame end, then silence: the reply as sent
    Length,     // as many bytes as asked, the last not a CR: more was sent
    Overrun,    // as many bytes as asked, ended by a CR, but more followed at once
    Deadline,   // the time-out: the rest may still be on its way
    Gone,       // the device went away
};

struct PortRead {
    QByteArray bytes;
    ReadEnd end = ReadEnd::Deadline;
};

class PortIo {
public:
    virtual ~PortIo() = default;
    // Opens the device exclusively at 9600 8N1, no flow control, DTR and RTS on.
    virtual bool open(const QString &devicePath) = 0;
    // Why the last open failed; None after a successful one.
    virtual PortOpenError openError() const { return {}; }
    virtual void close() = 0;
    // False also once the port has released a device that went away.
    virtual bool isOpen() const = 0;
    // Discards input: what is waiting, then whatever arrives until `listenMs`
    // have passed and, once a byte has come, the line has been quiet for
    // `quietMs`; never longer than `boundMs`. Returns the bytes discarded.
    virtual int drain(int quietMs, int listenMs, int boundMs) = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // Reads until `maxBytes` have arrived (then, when the last is a CR,
    // waits `confirmMs` for a byte that would show the frame was not the
    // whole of what was sent), or a frame has ended (a CR after the status
    // field, then `quietMs` without a byte), or `timeoutMs` has passed, or
    // the device has gone; returns what arrived and how the read ended.
    // Never runs the event loop. A device that has gone is released: the
    // port closes.
    virtual PortRead read(int maxBytes, int timeoutMs, int quietMs, int confirmMs) = 0;
    // The thread that will do all reading and writing; a port built on
    // Qt's objects moves them there.
    virtual void moveToThread(QThread *) {}
    // The port's clock in milliseconds; the link times its listening on it.
    virtual qint64 nowMs() const
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

// The reply so far ends a frame once the line stays quiet: a CR at index 6
// or later, that is after the six status characters.
inline bool holdsFrameEnd(const QByteArray &received)
{
    return received.indexOf('\r', 6) >= 0;
}
