#pragma once
// The sales between readings of one controller, from the counts it
// reported.
//
// The controller's counts are 16 bits and its total 32 bits, so a
// difference is taken modulo 65,536 (modulo 2^32 for the total): exact as
// long as fewer than 65,536 pieces were sold between two readings. The
// total tells the rest: the money it grew by, less what the counts are
// worth, is whole turns of 65,536 pieces of some column. Where exactly one
// way of splitting it over the columns fits (within the nine tenths of a
// yen the total keeps), the turns are placed on their column and marked as
// inferred; where several could, or a price changed, the columns that
// could are flagged. A column priced 0 explains no money and is never
// flagged. A total that fell with no clear recorded means a clear made
// elsewhere, and then only the counts since are surely sold; so do counts
// that fell further than the total's growth can have wrapped them.
//
// A counter clear counts only when proven: its figures are read fresh just
// before it is sent and again right after. It is carried out when every
// count fell as far as the money taken meanwhile allows (a sale made while
// it was read back is no refusal), and the sales after it are then the
// later figures themselves. A clear not read back is decided likewise by
// the next reading or clear; otherwise the sales go on from the figures
// before the clear. A controller that keeps its total at a clear is
// measured across it.
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
    // Turns of 65,536 pieces found from the money and placed on their
    // column (included in `sold`): inferred, not counted.
    std::array<qint64, Figures> wraps{};
    // Turns that would explain money no count shows, on a column that could
    // hold them while nothing tells which did: `sold` may be short by this
    // many times 65,536.
    std::array<qint64, Figures> mayWrap{};
    // mayWrap above 0.
    std::array<bool, Figures> unsure{};
    // A point between the two lacked this figure.
    std::array<bool, Figures> gap{};
    int clears = 0;       // recorded clears between the two readings
    int unproven = 0;     // of them, clears the readings do not show carried out
};

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
