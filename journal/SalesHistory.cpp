#include "journal/SalesHistory.h"

namespace SalesHistory {

namespace {

// Carries the last count of every figure along the points.
class Tally {
public:
    explicit Tally(const CountPoint &start) : last_(start.counts)
    {
        for (int f = 0; f < Figures; ++f)
            sales_.gap[std::size_t(f)] = !last_[std::size_t(f)];
    }

    void step(const CountPoint &p)
    {
        for (std::size_t f = 0; f < std::size_t(Figures); ++f) {
            if (p.counts[f])
                count(f, *p.counts[f]);
            else
                sales_.gap[f] = true;
            if (p.clear)
                last_[f] = p.after[f].value_or(0);
        }
        if (p.clear)
            ++sales_.clears;
    }

    const Sales &sales() const { return sales_; }

private:
    void count(std::size_t f, qint64 value)
    {
        if (!last_[f]) {
            // Nothing to count from: this value is the new start.
        } else if (value >= *last_[f]) {
            sales_.sold[f] += value - *last_[f];
        } else {
            sales_.fell[f] = true;
            sales_.sold[f] += value;
        }
        last_[f] = value;
    }

    std::array<std::optional<qint64>, Figures> last_;
    Sales sales_;
};

std::optional<qint64> integer(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

int figureOf(const QString &name)
{
    if (name == JournalItemName::Total)
        return TotalFigure;
    if (!name.startsWith(QLatin1String("count")))
        return -1;
    bool ok = false;
    const int column = name.mid(5).toInt(&ok);
    return ok && column >= 1 && column <= 16 ? column - 1 : -1;
}

// A clear chosen as the start counts from the figures it left.
Tally startAt(const CountPoint &p)
{
    if (!p.clear)
        return Tally(p);
    CountPoint afterClear;
    for (std::size_t f = 0; f < std::size_t(Figures); ++f)
        afterClear.counts[f] = p.after[f].value_or(0);
    return Tally(afterClear);
}

} // namespace

QList<CountPoint> countPoints(const QList<JournalEvent> &events)
{
    QList<CountPoint> points;
    for (const JournalEvent &e : events) {
        const bool clear = e.kind == JournalKind::CounterClear;
        if (!clear && e.kind != JournalKind::Reading)
            continue;
        CountPoint p;
        p.eventId = e.id;
        p.time = e.time;
        p.clear = clear;
        bool any = false;
        for (const JournalItem &item : e.items) {
            const int f = figureOf(item.name);
            if (f < 0)
                continue;
            p.counts[std::size_t(f)] = integer(item.value);
            p.after[std::size_t(f)] = integer(item.reported);
            any = true;
        }
        // A reading that got no count at all says nothing of the sales.
        if (any)
            points.append(p);
    }
    return points;
}

Sales between(const QList<CountPoint> &points, int from, int to)
{
    if (from < 0 || to >= points.size() || from > to)
        return Sales();
    Tally tally = startAt(points[from]);
    for (int i = from + 1; i <= to; ++i)
        tally.step(points[i]);
    return tally.sales();
}

QList<Sales> cumulative(const QList<CountPoint> &points)
{
    QList<Sales> result;
    if (points.isEmpty())
        return result;
    result.reserve(points.size());
    Tally tally = startAt(points.first());
    result.append(tally.sales());
    for (int i = 1; i < points.size(); ++i) {
        tally.step(points[i]);
        result.append(tally.sales());
    }
    return result;
}

} // namespace SalesHistory
