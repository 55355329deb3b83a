// Reply classification and where a frame ends, for any bytes a read can
// return. What must hold:
// - the status is one the table gives: 0, 1, -1, -2, 0-99 from "ERRnn", or 100;
// - a status other than 100 comes from the reply's own status field;
// - a whole reply is exactly status field + payload + CR, and a reply with
//   a status that ends with its CR, with no zero byte, is whole;
// - the payload never holds the status field of a recognised reply and is
//   never longer than what was read;
// - a frame end is a CR after the six status characters.
#include "link/PortIo.h"
#include "link/Reply.h"

#include <cstdio>
#include <cstdlib>

namespace {
void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 256)
        return 0;   // a read never returns more than the buffer holds
    const QByteArray received(reinterpret_cast<const char *>(data), int(size));
    const TransactResult r = classifyReply(received);

    if (r.bytesReceived != received.size())
        fail("bytesReceived differs from what was read");
    if (r.payload.size() > received.size())
        fail("the payload is longer than the read");
    const QByteArray field = received.left(6);
    static const QByteArray known[] = {"OK   :", "RBUSY:", "BBUSY:", "EBUSY:"};
    static const int statusOf[] = {0, 1, -1, -2};
    if (r.status != StatusNoReply) {
        bool matched = false;
        for (int k = 0; k < 4; ++k)
            matched = matched || (field == known[k] && r.status == statusOf[k]);
        const bool err = field.startsWith("ERR") && field.size() == 6 && field[3] >= '0' && field[3] <= '9'
            && field[4] >= '0' && field[4] <= '9' && r.status == (field[3] - '0') * 10 + (field[4] - '0');
        if (!matched && !err)
            fail("a status that the status field does not give");
        if (received.indexOf('\0') >= 0 && received.indexOf('\0') < 7)
            fail("a status from a reply whose text ends inside the status field");
    }
    if (r.complete) {
        if (received != field + r.payload + '\r')
            fail("a whole reply is not status field + payload + CR");
        if (received.contains('\0'))
            fail("a whole reply holds a zero byte");
    }
    const bool ownEnd = received.size() >= 7 && received.endsWith('\r') && !received.contains('\0');
    if (r.status != StatusNoReply && ownEnd && !r.complete)
        fail("a reply ended by its CR is not whole");
    if (r.usable() != (r.complete && r.status == StatusOk))
        fail("usable() is not whole and normal");
    if (holdsFrameEnd(received) != (received.indexOf('\r', 6) >= 0))
        fail("a frame end that is not a CR after the status field");
    return 0;
}
