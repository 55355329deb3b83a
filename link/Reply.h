#pragma once
// Classifying one reply read from the controller. A pure function of the
// bytes, so every frame shape can be tested without a port.
#include <QByteArray>

// The integer state of one transaction, as the views report it.
enum TransactionStatusValue : int {
    StatusOk = 0,
    StatusResetting = 1,      // "RBUSY:"
    StatusSettling = -1,      // "BBUSY:"
    StatusReconciling = -2,   // "EBUSY:"
    StatusNoReply = 100,      // nothing usable came
};

struct TransactResult {
    QByteArray payload;
    int status = StatusNoReply;
    int bytesReceived = 0;   // 0: the line stayed silent
    // The reply came whole: its own CR ended it (not an LF or a cut taken
    // for one) and the read did not stop at its deadline. Only such a
    // reply with the normal status can vouch for a value.
    bool complete = false;

    bool usable() const { return complete && status == StatusOk; }
    // Something came back at all; a command that got nothing means the line
    // is dead or the device gone.
    bool heard() const { return bytesReceived > 0; }
};

// `received` is what the read returned: at most the expected length + 7 bytes.
TransactResult classifyReply(const QByteArray &received);
