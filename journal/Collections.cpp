#include "journal/Collections.h"

namespace Collections {

SalesHistory::Sales upTo(const QList<SalesHistory::CountPoint> &points, int from, int to)
{
    if (from < 0 || to >= points.size() || from > to || !points[to].clear)
        return SalesHistory::between(points, from, to);
    // Only the stretch counted is copied, the clear at its end made a
    // reading of its figures before; the prices known before the stretch
    // go with its first point, where between() would have looked them up.
    QList<SalesHistory::CountPoint> part = points.mid(from, to - from + 1);
    part.last().clear = false;
    part.last().after = {};
    if (from > 0) {
        const auto known = SalesHistory::pricesUpTo(points, from - 1);
        auto &first = part.first().prices;
        for (std::size_t c = 0; c < first.size(); ++c)
            if (!first[c])
                first[c] = known[c];
    }
    return SalesHistory::between(part, 0, int(part.size()) - 1);
}

Collection at(const QList<SalesHistory::CountPoint> &points, int clear)
{
    Collection c;
    if (clear < 0 || clear >= points.size() || !points[clear].clear)
        return c;
    c.clear = clear;
    for (int i = clear - 1; i >= 0 && c.previous < 0; --i)
        if (points[i].clear)
            c.previous = i;
    // Without a clear before it, from the first figures the journal holds.
    c.sales = upTo(points, std::max(0, c.previous), clear);
    c.registered = points[clear].counts;
    c.prices = SalesHistory::pricesUpTo(points, clear);
    return c;
}

QList<int> clearsBetween(const QList<SalesHistory::CountPoint> &points, int from, int to)
{
    QList<int> clears;
    for (int i = std::max(0, from); i <= to && i < points.size(); ++i)
        if (points[i].clear)
            clears.append(i);
    return clears;
}

QList<int> clearsOfVisit(const QList<SalesHistory::CountPoint> &points, int from, int to)
{
    if (to < 0 || to >= points.size())
        return {};
    const qint64 visit = points[to].visit;
    if (visit == 0)
        return clearsBetween(points, from + 1, to);
    QList<int> clears;
    for (int i = to; i >= 0 && points[i].visit == visit; --i)
        if (points[i].clear)
            clears.prepend(i);
    return clears;
}

} // namespace Collections
