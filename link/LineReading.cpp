#include "link/LineReading.h"

#include <algorithm>

namespace LineReading {

PortRead read(Line &line, int maxBytes, int timeoutMs, int quietMs, int confirmMs)
{
    PortRead r;
    const qint64 deadline = line.nowMs() + timeoutMs;
    for (;;) {
        r.bytes.append(line.take(maxBytes - int(r.bytes.size())));
        if (r.bytes.size() >= maxBytes) {
            if (!r.bytes.endsWith('\r')) {
                r.end = ReadEnd::Length;   // longer than asked: the rest is a tail
                return r;
            }
            // As long as asked and ended by a CR: it is this command's frame
            // only if nothing follows it (a reply sent twice, a CR LF line
            // end, a late reply followed by the next one would).
            if (line.waitForBytes(confirmMs))
                r.end = ReadEnd::Overrun;
            else
                r.end = line.gone() ? ReadEnd::Gone : ReadEnd::Quiet;
            return r;
        }
        if (line.gone()) {
            r.end = ReadEnd::Gone;
            return r;
        }
        const qint64 left = deadline - line.nowMs();
        // After a CR past the status field the frame ends once the line
        // stays quiet; a deadline that cuts that wait short ends nothing.
        const bool frameEnd = holdsFrameEnd(r.bytes);
        const bool quietWait = frameEnd && quietMs <= left;
        const qint64 wait = quietWait ? quietMs : left;
        if (wait <= 0 || !line.waitForBytes(int(wait))) {
            if (line.gone())
                r.end = ReadEnd::Gone;
            else if (quietWait)
                r.end = ReadEnd::Quiet;
            else if (line.nowMs() >= deadline)
                r.end = ReadEnd::Deadline;
            else
                continue;   // woken early without bytes: wait on
            return r;
        }
    }
}

int drain(Line &line, int quietMs, int listenMs, int boundMs)
{
    const qint64 start = line.nowMs();
    qint64 lastByte = -1;
    int dropped = 0;
    for (;;) {
        // What the driver holds already, then what is still on its way.
        line.waitForBytes(0);
        const int n = int(line.take(1 << 16).size());
        if (n > 0) {
            dropped += n;
            lastByte = line.nowMs();
        }
        if (line.gone())
            return dropped;
        const qint64 now = line.nowMs();
        qint64 wait = start + listenMs - now;
        if (lastByte >= 0)
            wait = std::max(wait, lastByte + quietMs - now);
        wait = std::min(wait, start + boundMs - now);
        if (wait <= 0)
            break;
        line.waitForBytes(int(wait));
    }
    line.discardWaiting();
    return dropped;
}

} // namespace LineReading
