#pragma once
// The cash a technician takes: every counter clear is a collection, and the
// cash taken at it pays for the sales since the collection before, up to
// the figures read just before the clear. Those figures (the register) are
// what the cash is counted against; what the clear then did to the counts
// changes nothing of the sales it closes, only where the next ones start.
#include "journal/SalesHistory.h"

#include <QList>
#include <array>
#include <optional>

namespace Collections {

struct Collection {
    int clear = -1;      // the clear's index in the points
    int previous = -1;   // the clear before it; -1: counted from the first point
    SalesHistory::Sales sales;
    // The figures read just before the clear.
    std::array<std::optional<qint64>, SalesHistory::Figures> registered{};
    std::array<std::optional<qint64>, SalesHistory::Columns> prices{};
};

// Sales from point `from` to point `to` as SalesHistory::between counts
// them, except that a clear at `to` is taken as the figures read just
// before it: its own outcome neither counts as a clear crossed nor decides
// anything of the sales it ends.
SalesHistory::Sales upTo(const QList<SalesHistory::CountPoint> &points, int from, int to);

// The collection at clear point `clear`.
Collection at(const QList<SalesHistory::CountPoint> &points, int clear);

// The clears among points `from` to `to`, in order.
QList<int> clearsBetween(const QList<SalesHistory::CountPoint> &points, int from, int to);

// The clears of the visit of point `to`; outside visits, those after point
// `from` up to `to`.
QList<int> clearsOfVisit(const QList<SalesHistory::CountPoint> &points, int from, int to);

} // namespace Collections
