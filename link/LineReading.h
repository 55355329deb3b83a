#pragma once
// When a read from the line ends and how, and what a drain discards: one
// code for the serial port and for the virtual line of the tests, so the
// rules that decide where a reply ends are the ones that run on a real line.
#include "link/PortIo.h"

#include <QByteArray>

namespace LineReading {

// What a port's read and drain need of the line underneath.
class Line {
public:
    virtual ~Line() = default;
    // Milliseconds on the port's clock.
    virtual qint64 nowMs() const = 0;
    // Bytes that have arrived, at most `maxBytes`; the rest stays waiting.
    virtual QByteArray take(int maxBytes) = 0;
    // Waits up to `ms` for bytes; true once some are waiting (at once when
    // they already are). False when the time passed or the device has gone.
    virtual bool waitForBytes(int ms) = 0;
    // The device has gone; the port has released it.
    virtual bool gone() = 0;
    // Drops whatever is waiting, after a drain.
    virtual void discardWaiting() = 0;
};

// Reads up to `maxBytes`: see PortIo::read.
PortRead read(Line &line, int maxBytes, int timeoutMs, int quietMs, int confirmMs);

// Discards input: see PortIo::drain.
int drain(Line &line, int quietMs, int listenMs, int boundMs);

} // namespace LineReading
