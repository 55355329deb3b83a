#pragma once
// The fixed sequence of 46 reads that refreshes the device data table and
// the receipt settings after connecting and after every write that keeps
// the connection. Filling the grids from the table is the window's part.
#include "device/ControllerIdentity.h"
#include "device/DeviceData.h"
#include "device/FullReadView.h"

#include <QString>
#include <bitset>
#include <optional>

class DeviceLink;
class ValueOrigins;

namespace FullRead {

struct Result {
    // False when the relayout a receipt text's handler ran failed (a
    // magnification the operator typed into another box is no number), or
    // when the line fell silent: the read stopped there, the table holds
    // what came before it. A reply never stops it: an unusable receipt line
    // is left unread like any other value.
    bool completed = true;
    // The conversion error, for the application's error display.
    QString error;
    // A read received no byte at all and neither did the probe after it,
    // or several reads in a row were answered only by the probe: the
    // controller does not answer, and the other reads would each only cost
    // a time-out.
    bool silent = false;
    // The line had a gap during the read and what answered at its end is
    // not the controller it began with: nothing of the read counts.
    bool identityChanged = false;
    // The identification text as "QVRON" carried it, and whether it counts
    // as read.
    QByteArray identification;
    bool identificationRead = false;

    // The read that was never begun: the line did not answer before it.
    static Result deadLine()
    {
        Result r;
        r.completed = false;
        r.silent = true;
        return r;
    }
    // Slots filled from a whole reply with the normal status and a payload
    // of the expected form; any other slot holds what an unusable reply
    // read as, which is shown but vouches for nothing.
    std::bitset<Slot::Count> read;
};

// When `origins` is given, every settings value the read puts into the
// window is noted there as read (from a usable reply of the expected form)
// or lost. Options are noted only when the read completes, because only
// then does the window show them.
//
// A read that gets nothing is followed by the probe "QV": one lost reply
// leaves its value unread and the sequence goes on; an unanswered probe, or
// the third read in a row that only the probe answered, ends it before it
// touches that slot or its boxes. Values count
// only once their group (prices, counts, options, receipt lines with the
// identification, totals) has passed a checkpoint of the link; a group
// voided there is read once more. After any gap, "QVRON" and "QVV" are
// read again at the end and compared with `expected` (its version, and
// its identification when known) and with the identification read. A gap
// counts from the link's generation `since` (a write's own gap before its
// read-back), by default from the read's start.
Result run(DeviceLink &link, DeviceData &data, FullReadView &view, ValueOrigins *origins = nullptr,
           const ControllerIdentity *expected = nullptr, std::optional<quint64> since = std::nullopt);

} // namespace FullRead
