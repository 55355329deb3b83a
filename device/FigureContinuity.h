#pragma once
// Whether the figures a controller reports now go on from figures read
// before: the test that tells two controllers of one model apart when they
// report the same identification text and version.
//
// They go on when the total never fell (past 2^32 it wraps) and each count
// grew, or wrapped at 65,536, by no more than the money the total took
// explains. A fall of every count, and of the total, to at most what could
// have been sold since is a clear made elsewhere: the same controller. Any
// other fall is another controller. Where the time between the two reads is
// known, no more pieces can have been sold than a machine sells in it.
#include "device/DeviceData.h"

#include <array>
#include <bitset>
#include <optional>
#include <QtGlobal>

namespace FigureContinuity {

// No vending machine hands out more than one piece a second; a few more
// may sit between the reads of the counts and of the total.
constexpr qint64 MostPiecesPerSecond = 1;
constexpr qint64 PiecesInFlight = 4;

struct Figures {
    std::array<std::optional<qint64>, 16> counts{};
    std::optional<qint64> total;
    // In tenths of a yen, as ValueFormats::priceTenths gives them.
    std::array<std::optional<qint64>, 16> priceTenths{};
    // When they were read, seconds since the epoch; unknown: not bound by time.
    std::optional<qint64> at;
};

enum class Verdict {
    Continues,
    ClearedElsewhere,
    Another,
    Unknown,   // the totals were not both read: nothing can be told
};

Verdict judge(const Figures &before, const Figures &after);

// The counts and total of `d` with the prices `pricesKnown` vouches for.
Figures fromData(const DeviceData &d, const std::bitset<16> &pricesKnown, std::optional<qint64> at);

// A controller is the same one when its figures go on or were cleared.
inline bool sameMachine(Verdict v) { return v == Verdict::Continues || v == Verdict::ClearedElsewhere; }

} // namespace FigureContinuity
