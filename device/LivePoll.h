#pragma once
// The poll's device side: the tick cadence, the live re-read and the state
// sentence for the status bar. The window's timer handler strings them
// together and refreshes the grids.
#include "device/DeviceData.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

class DeviceLink;

namespace LivePoll {

constexpr int TicksPerRefresh = 5;

// Advances the tick counter (1, 2, 3, 4, 0, 1, ...); true on the tick that
// re-reads the live values first.
bool advancePollTick(int &pollTickCount);

// 16 x "QVRC", "QVREA", "QVC" into the table. Only a whole normal reply of
// the value's width changes a slot; any other keeps what it held. A read
// that got no byte at all ends the refresh (false): the line is silent, the
// rest would only cost time. A refresh the link's checkpoint voids (a
// stray byte: a reply may have been taken for another command's) changes
// nothing.
bool refreshLiveValues(DeviceLink &link, DeviceData &data);

// The figures fell where sales alone cannot make them fall: the total went
// down, or a count went down while the total did not grow. A count passing
// 65535 wraps while the total grows; that is a sale, not another machine.
bool figuresFell(const DeviceData &before, const DeviceData &after);

// The sixteen sales counts and the sales total as the controller holds them.
struct Counters {
    std::array<std::uint32_t, 16> counts{};
    std::uint32_t total = 0;
};

// 16 x "QVRC" and "QVREA" read afresh, as the record kept before a counter
// clear. Every reply must come whole, with the normal status and all its
// hexadecimal digits; otherwise nothing, since a count read as 0 from a
// bad reply would be kept as if the controller had said it.
std::optional<Counters> readCounters(DeviceLink &link);

// "QVY": the controller's state as a transaction status.
int requestDeviceState(DeviceLink &link);

// The status-bar sentence for the state status of "QVY".
QString stateSentence(int status);

} // namespace LivePoll
