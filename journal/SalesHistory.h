#pragma once
// The sales between readings of one controller, from the counts it
// reported. A counter clear restarts the counts from 0, so sales across a
// recorded clear add what was counted up to it and what was counted after
// it. A count that fell with no clear recorded (a 16-bit count that passed
// 65535, or a clear made with another tool) cannot be told apart: it is
// flagged and only what was surely sold, the count since it restarted, is
// added. Sales are never negative.
#include "journal/JournalEvent.h"

#include <QList>
#include <array>
#include <optional>

namespace SalesHistory {

// The sixteen column counts, then the sales total.
constexpr int Figures = 17;
constexpr int TotalFigure = 16;

// One reading or one counter clear of a controller, in the order recorded.
struct CountPoint {
    qint64 eventId = 0;
    QString time;
    bool clear = false;
    // A reading's figures; a clear's figures just before it was sent.
    std::array<std::optional<qint64>, Figures> counts{};
    // A clear's figures at its read-back (normally 0); not recorded means 0.
    std::array<std::optional<qint64>, Figures> after{};
};

struct Sales {
    std::array<qint64, Figures> sold{};
    // The figure fell with no clear recorded: `sold` is the least it can be.
    std::array<bool, Figures> fell{};
    // A point between the two lacked this figure.
    std::array<bool, Figures> gap{};
    int clears = 0;   // recorded clears between the two readings
};

// The readings and clears of one controller's events, in order.
QList<CountPoint> countPoints(const QList<JournalEvent> &events);

// Sales from point `from` to point `to` (indexes into `points`, from <= to).
Sales between(const QList<CountPoint> &points, int from, int to);

// Sales from the first point to each point: one entry per point, built in
// one pass, for the chart.
QList<Sales> cumulative(const QList<CountPoint> &points);

} // namespace SalesHistory
