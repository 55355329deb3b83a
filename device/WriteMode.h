#pragma once
// Write mode: every write opens it with "QVU1" and must leave the
// controller out of it again ("QVU0", or the restart of a write that ends
// with one), whatever stops the write. No command reports it, so the
// operations say how they left it and the window keeps the record.
#include <QString>

class DeviceLink;

enum class WriteModeEnd {
    NotOpened,    // "QVU1" never went out
    Closed,       // "QVU0" was heard
    Restarted,    // the restart was heard: it ends write mode as well
    KeptManual,   // the I/O panel's manual mode keeps it open on purpose
    MayBeOpen,    // the controller heard no closing: it may still be in write mode
};

namespace WriteMode {

// Leaves write mode at whatever point a write stopped. A lost reply may
// have been only the reply: "QVU0" goes out, and once more after a probe
// when it got nothing, so that a controller still there is never left in
// write mode; a dead line or a device gone leaves it possibly open.
WriteModeEnd close(DeviceLink &link, bool manualMode);

// After a command inside write mode got no reply: whether the controller
// is still there to be told anything (the probe, answered late included).
bool stillAnswers(DeviceLink &link);

// The journal's words for how a write mode ended.
QString endName(WriteModeEnd end);

} // namespace WriteMode
