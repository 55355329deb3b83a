#include "journal/SalesHistory.h"

#include "device/ValueFormats.h"

#include <algorithm>
#include <cstdlib>

namespace SalesHistory {

namespace {

constexpr qint64 CountSpan = 65536;
constexpr qint64 TotalSpan = qint64(1) << 32;

qint64 modulo(qint64 value, qint64 span)
{
    const qint64 m = value % span;
    return m < 0 ? m + span : m;
}

// Carries the last figures, the last prices and an undecided clear along
// the points.
class Tally {
public:
    // The first point only sets where counting starts.
    void start(const CountPoint &p)
    {
        step(p);
        sales_ = Sales();
        for (std::size_t f = 0; f < std::size_t(Figures); ++f)
            sales_.gap[f] = !last_[f];
    }

    void step(const CountPoint &p)
    {
        if (!p.clear)
            decidePending(p);
        count(p);
        if (p.clear)
            clear(p);
    }

    // Prices known before counting starts, so that the first step can be
    // checked against them.
    void knowPrices(const std::array<std::optional<qint64>, Columns> &prices) { price_ = prices; }

    Sales sales() const
    {
        Sales s = sales_;
        if (pendingCounts_)
            ++s.unproven;
        return s;
    }

private:
    void count(const CountPoint &p)
    {
        std::optional<qint64> growth;
        bool reset = false;
        const auto &total = p.counts[TotalFigure];
        if (!total) {
            sales_.gap[TotalFigure] = true;
        } else {
            if (last_[TotalFigure]) {
                const qint64 grew = modulo(*total - *last_[TotalFigure], TotalSpan);
                if (grew >= TotalSpan / 2) {
                    // Fell, not wrapped: a clear this journal does not know of.
                    reset = true;
                    sales_.fell[TotalFigure] = true;
                    sales_.sold[TotalFigure] += *total;
                } else {
                    growth = grew;
                    sales_.sold[TotalFigure] += grew;
                }
            }
            last_[TotalFigure] = total;
        }
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            // The lower of the prices around the step: the one more likely
            // to hide a wrap.
            std::optional<qint64> price = price_[c];
            if (p.prices[c]) {
                price = price ? std::min(*price, *p.prices[c]) : *p.prices[c];
                price_[c] = p.prices[c];
            }
            if (!p.counts[c]) {
                sales_.gap[c] = true;
                continue;
            }
            const qint64 value = *p.counts[c];
            if (last_[c]) {
                const qint64 last = *last_[c];
                if (reset) {
                    if (value < last) {
                        sales_.fell[c] = true;
                        sales_.sold[c] += value;
                    } else {
                        sales_.sold[c] += value - last;
                    }
                } else {
                    const qint64 sold = modulo(value - last, CountSpan);
                    sales_.sold[c] += sold;
                    // The total counts whole yen and keeps up to 0.9 yen
                    // inside: the sales behind its growth may be worth
                    // nine tenths more.
                    if (!growth || !price
                        || (sold + CountSpan) * priceTenths(int(c), *price) <= *growth * 10 + 9)
                        sales_.unsure[c] = true;
                }
            }
            last_[c] = value;
        }
    }

    void clear(const CountPoint &p)
    {
        ++sales_.clears;
        bool refused = false;
        bool undecided = false;
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            const auto &before = p.counts[c];
            if (!before || *before == 0)
                continue;
            if (!p.after[c])
                undecided = true;
            else if (*p.after[c] >= *before)
                refused = true;
        }
        const auto &totalBefore = p.counts[TotalFigure];
        if (refused) {
            // Not carried out: the total goes on too, whatever it shows.
            ++sales_.unproven;
        } else if (undecided) {
            pendingCounts_ = p.counts;
            pendingTotal_ = totalBefore;
        } else {
            restartCounts();
            if (totalBefore && p.after[TotalFigure])
                restartTotal(*totalBefore, *p.after[TotalFigure], p.after);
            else if (totalBefore)
                pendingTotal_ = totalBefore;
        }
    }

    // After a clear carried out: a total below the one before restarted
    // from 0, unless it only passed 2^32 (a controller that keeps its total).
    // The counts since the clear at their prices tell which; without them,
    // whichever means fewer sales.
    void restartTotal(qint64 before, qint64 now, const std::array<std::optional<qint64>, Figures> &counts)
    {
        if (now >= before)
            return;
        const qint64 wrapped = modulo(now - before, TotalSpan);
        bool restarted = now <= wrapped;
        if (const std::optional<qint64> yen = yenOf(counts))
            restarted = std::abs(now - *yen) <= std::abs(wrapped - *yen);
        if (restarted)
            last_[TotalFigure] = 0;
    }

    // What counts since a clear are worth at the last prices known.
    std::optional<qint64> yenOf(const std::array<std::optional<qint64>, Figures> &counts) const
    {
        // Prices are tenths of a yen but for columns 5-8; the total whole yen.
        qint64 tenths = 0;
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            if (!counts[c])
                return std::nullopt;
            if (*counts[c] == 0)
                continue;
            if (!price_[c])
                return std::nullopt;
            tenths += *counts[c] * priceTenths(int(c), *price_[c]);
        }
        return tenths / 10;
    }

    // The first reading after a clear not read back decides it.
    void decidePending(const CountPoint &p)
    {
        if (pendingCounts_) {
            bool seen = false;
            bool below = true;
            bool any = false;
            for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
                const auto &before = (*pendingCounts_)[c];
                if (!before || *before == 0)
                    continue;
                any = true;
                if (!p.counts[c])
                    continue;
                seen = true;
                if (*p.counts[c] >= *before)
                    below = false;
            }
            if (!seen && any)
                return;   // nothing to decide by yet
            if (below) {
                restartCounts();
            } else {
                ++sales_.unproven;
                pendingTotal_.reset();
            }
            pendingCounts_.reset();
        }
        if (pendingTotal_ && p.counts[TotalFigure]) {
            restartTotal(*pendingTotal_, *p.counts[TotalFigure], p.counts);
            pendingTotal_.reset();
        }
    }

    void restartCounts()
    {
        for (std::size_t c = 0; c < std::size_t(Columns); ++c)
            last_[c] = 0;
    }

    std::array<std::optional<qint64>, Figures> last_{};
    std::array<std::optional<qint64>, Columns> price_{};
    std::optional<std::array<std::optional<qint64>, Figures>> pendingCounts_;
    std::optional<qint64> pendingTotal_;
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

// Column index of "count1".."count16" or "price1".."price16" after `prefix`.
int columnOf(const QString &name, QLatin1String prefix)
{
    if (!name.startsWith(prefix))
        return -1;
    bool ok = false;
    const int column = name.mid(prefix.size()).toInt(&ok);
    return ok && column >= 1 && column <= Columns ? column - 1 : -1;
}

} // namespace

qint64 priceTenths(int column, qint64 price)
{
    return ValueFormats::priceTenths(column, price);
}

std::optional<bool> clearConfirmed(const CountPoint &clear)
{
    bool undecided = false;
    for (std::size_t f = 0; f < std::size_t(Figures); ++f) {
        const auto &before = clear.counts[f];
        if (!before || *before == 0)
            continue;
        if (!clear.after[f])
            undecided = true;
        else if (*clear.after[f] >= *before)
            return false;
    }
    return undecided ? std::nullopt : std::optional<bool>(true);
}

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
        p.visit = e.visit;
        p.clear = clear;
        bool any = false;
        for (const JournalItem &item : e.items) {
            int f = item.name == JournalItemName::Total ? TotalFigure : columnOf(item.name, QLatin1String("count"));
            if (f >= 0) {
                p.counts[std::size_t(f)] = integer(item.value);
                p.after[std::size_t(f)] = integer(item.reported);
                any = true;
            } else if ((f = columnOf(item.name, QLatin1String("price"))) >= 0) {
                p.prices[std::size_t(f)] = integer(item.value);
            }
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
    Tally tally;
    if (from > 0)
        tally.knowPrices(pricesUpTo(points, from - 1));
    tally.start(points[from]);
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
    Tally tally;
    tally.start(points.first());
    result.append(tally.sales());
    for (int i = 1; i < points.size(); ++i) {
        tally.step(points[i]);
        result.append(tally.sales());
    }
    return result;
}

std::pair<int, int> lastVisit(const QList<CountPoint> &points)
{
    const int last = int(points.size()) - 1;
    int from = std::max(0, last - 1);
    if (last >= 0 && points[last].visit != 0) {
        from = last;
        while (from > 0 && points[from].visit == points[last].visit)
            --from;
    }
    return {last < 0 ? -1 : from, last};
}

std::array<std::optional<qint64>, Columns> pricesUpTo(const QList<CountPoint> &points, int to)
{
    std::array<std::optional<qint64>, Columns> prices{};
    int missing = Columns;
    for (int i = std::min(to, int(points.size()) - 1); i >= 0 && missing > 0; --i)
        for (std::size_t c = 0; c < std::size_t(Columns); ++c)
            if (!prices[c] && points[i].prices[c]) {
                prices[c] = points[i].prices[c];
                --missing;
            }
    return prices;
}

} // namespace SalesHistory
