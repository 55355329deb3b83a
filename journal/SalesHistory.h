#pragma once
// The sales between readings of one controller, from the counts it
// reported.
//
// The controller's counts are 16 bits and its total 32 bits, so a
// difference is taken modulo 65,536 (modulo 2^32 for the total): exact as
// long as fewer than 65,536 pieces were sold between two readings. The
// total tells the rest: a column is flagged as unsure where one more turn
// of 65,536 pieces at its price would still fit in the total's growth
// (always for a column priced 0). A count that fell while the total grew
// is such a wrap; a total that fell with no clear recorded means a clear
// made elsewhere, and then only the counts since are surely sold.
//
// A counter clear counts only when proven: its figures are read fresh just
// before it is sent and again right after. A figure that is now below what
// it was restarted from 0 at the clear, so the sales after it are the
// later figures themselves (sales made while the clear was being read back
// included). A figure not read back is decided by the next reading: below
// the clear's figure, the clear was carried out; otherwise the sales go on
// from the figures before the clear. A controller that keeps its total at a
// clear is measured across it.
#include "journal/JournalEvent.h"

#include <QList>
#include <array>
#include <optional>
#include <utility>

namespace SalesHistory {

// The sixteen column counts, then the sales total.
constexpr int Figures = 17;
constexpr int TotalFigure = 16;
constexpr int Columns = 16;

// One reading or one counter clear of a controller, in the order recorded.
struct CountPoint {
    qint64 eventId = 0;
    QString time;
    qint64 visit = 0;   // the visit it belongs to, 0 outside one
    bool clear = false;
    // A reading's figures; a clear's figures read just before it was sent.
    std::array<std::optional<qint64>, Figures> counts{};
    // A clear's figures read back right after it; not recorded: undecided.
    std::array<std::optional<qint64>, Figures> after{};
    // A reading's prices as the controller reported them.
    std::array<std::optional<qint64>, Columns> prices{};
};

struct Sales {
    std::array<qint64, Figures> sold{};
    // The total fell with no clear recorded: `sold` is the least it can be.
    std::array<bool, Figures> fell{};
    // One more wrap of the count would still fit in the total's growth:
    // `sold` is exact modulo 65,536 only.
    std::array<bool, Figures> unsure{};
    // A point between the two lacked this figure.
    std::array<bool, Figures> gap{};
    int clears = 0;       // recorded clears between the two readings
    int unproven = 0;     // of them, clears the readings do not show carried out
};

// Whether a clear's read-back proves it: every count and the total that
// were above 0 before it are below what they were. Nothing when a figure
// that was above 0 was not read back.
std::optional<bool> clearConfirmed(const CountPoint &clear);

// The readings and clears of one controller's events, in order.
QList<CountPoint> countPoints(const QList<JournalEvent> &events);

// Sales from point `from` to point `to` (indexes into `points`, from <= to).
Sales between(const QList<CountPoint> &points, int from, int to);

// Sales from the first point to each point: one entry per point, built in
// one pass, for the chart.
QList<Sales> cumulative(const QList<CountPoint> &points);

// The readings a history is first shown by: the last reading of its last
// visit against the last reading of the visit before (outside visits, the
// reading before). {-1, -1} without points.
std::pair<int, int> lastVisit(const QList<CountPoint> &points);

// The prices last reported up to point `to`.
std::array<std::optional<qint64>, Columns> pricesUpTo(const QList<CountPoint> &points, int to);

// A price as the window shows it, in tenths: columns 5-8 show whole yen,
// the others tenths.
qint64 priceTenths(int column, qint64 price);

} // namespace SalesHistory
