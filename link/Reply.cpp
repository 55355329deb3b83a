#include "link/Reply.h"
#include <cctype>

TransactResult classifyReply(const QByteArray &received)
{
    TransactResult r;
    r.bytesReceived = int(received.size());
    // The reply text ends at the first zero byte, as a C string would.
    QByteArray text = received;
    const int zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);

    // Too short counts the bytes read, not the text: a zero byte inside a
    // longer reply does not make it a short one, its status field counts.
    if (received.size() < 7) {
        r.payload = text;
        r.status = StatusNoReply;
        return r;
    }

    const QByteArray field = text.left(6);
    if (field == "OK   :") {
        r.status = StatusOk;
    } else if (field == "RBUSY:") {
        r.status = StatusResetting;
    } else if (field == "BBUSY:") {
        r.status = StatusSettling;
    } else if (field == "EBUSY:") {
        r.status = StatusReconciling;
    } else if (field.startsWith("ERR")) {
        const QByteArray number = field.mid(3, 2);
        bool ok = false;
        const int n = number.toInt(&ok, 10);
        // Only decimal digits count; toInt would also take a sign or a blank.
        const bool digits = ok && number.size() == 2
            && std::isdigit(static_cast<unsigned char>(number[0]))
            && std::isdigit(static_cast<unsigned char>(number[1]));
        r.status = digits ? n : StatusNoReply;
    } else {
        r.payload = field;
        r.status = StatusNoReply;
        return r;
    }

    // A last byte that is not a letter or digit (as a signed char below '0')
    // stands for the terminator: an LF, or a reply cut short after punctuation.
    if (!text.isEmpty() && static_cast<signed char>(text.back()) < 0x30)
        text.back() = '\r';

    const int lastCr = text.lastIndexOf('\r');
    if (lastCr < 6) {
        r.payload = text;
        r.status = StatusNoReply;
        return r;
    }
    r.payload = text.mid(6, lastCr - 6);
    // Whole only when the bytes end with a real CR and nothing was cut away.
    r.complete = text.size() == received.size() && received.endsWith('\r') && lastCr == text.size() - 1;
    return r;
}
