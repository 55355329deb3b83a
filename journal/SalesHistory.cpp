#include "journal/SalesHistory.h"

#include "device/ValueFormats.h"
#include "device/WriteProof.h"

#include <algorithm>
#include <vector>
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
        // A clear's figures before it are a reading too: a clear not read
        // back is decided by the next one as by any reading.
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
        for (std::size_t c = 0; c < std::size_t(Columns); ++c)
            s.unsure[c] = s.mayWrap[c] > 0;
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
        bool priceChanged = false;
        const std::array<std::optional<qint64>, Columns> earlierPrices = price_;
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            if (p.prices[c]) {
                priceChanged = priceChanged || (price_[c] && *price_[c] != *p.prices[c]);
                price_[c] = p.prices[c];
            }
        }
        // A count that fell further than the money taken can have wrapped it
        // was cleared elsewhere, on a controller that keeps its total: then
        // every count restarted from 0.
        if (!reset && growth) {
            for (std::size_t c = 0; c < std::size_t(Columns) && !reset; ++c) {
                if (!p.counts[c] || !last_[c] || *p.counts[c] >= *last_[c] || !price_[c] || *price_[c] <= 0)
                    continue;
                const qint64 wrapped = modulo(*p.counts[c] - *last_[c], CountSpan);
                if (wrapped * priceTenths(int(c), *price_[c]) > *growth * 10 + 9) {
                    reset = true;
                    growth.reset();
                }
            }
        }
        std::array<qint64, Columns> stepSold{};
        bool everyStep = true;
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            if (!p.counts[c]) {
                sales_.gap[c] = true;
                everyStep = false;
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
                    stepSold[c] = modulo(value - last, CountSpan);
                    sales_.sold[c] += stepSold[c];
                }
            } else {
                everyStep = false;
            }
            last_[c] = value;
        }
        if (!reset)
            placeWraps(growth, stepSold, earlierPrices, everyStep && !priceChanged);
    }

    // The total's growth less what the counts are worth is money no count
    // shows: whole turns of 65,536 pieces of some column (within the nine
    // tenths of a yen the total keeps inside). Exactly one way of splitting
    // it over the columns, with every price known and unchanged, places
    // those pieces on their column; otherwise the columns that could
    // explain it are flagged, each with the turns that would. A column
    // priced 0 explains no money and is never flagged.
    void placeWraps(const std::optional<qint64> &growth, const std::array<qint64, Columns> &stepSold,
                    const std::array<std::optional<qint64>, Columns> &earlierPrices, bool placeable)
    {
        const auto flagAnyPriced = [&] {
            // Nothing to weigh the counts against: any column not priced 0 may hide a turn.
            for (std::size_t c = 0; c < std::size_t(Columns); ++c)
                if (!price_[c] || *price_[c] > 0)
                    sales_.mayWrap[c] = std::max<qint64>(sales_.mayWrap[c], 1);
        };
        if (!growth) {
            flagAnyPriced();
            return;
        }
        // The split is sought at the prices after the step and, where one
        // changed, at those before it as well.
        std::vector<std::array<qint64, Columns>> ways;
        bool allKnown = true;
        qint64 high = 0;
        using Prices = std::array<std::optional<qint64>, Columns>;
        for (const Prices *prices : {static_cast<const Prices *>(&price_), &earlierPrices}) {
            std::array<qint64, Columns> price{};
            qint64 counted = 0;
            for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
                const std::optional<qint64> &p = (*prices)[c] ? (*prices)[c] : price_[c];
                if (!p) {
                    allKnown = false;
                    continue;
                }
                price[c] = priceTenths(int(c), *p);
                counted += stepSold[c] * price[c];
            }
            const qint64 unexplained = *growth * 10 - counted;
            high = std::max(high, unexplained + 9);
            // Less than one turn at a tenth of a yen: the counts are exact.
            if (unexplained + 9 < CountSpan)
                continue;
            std::vector<std::array<qint64, Columns>> found;
            splitTurns(unexplained - 9, unexplained + 9, price, found);
            ways.insert(ways.end(), found.begin(), found.end());
            if (placeable)
                break;   // the prices did not change: one search
        }
        if (ways.size() == 1 && placeable && allKnown) {
            for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
                sales_.sold[c] += ways[0][c] * CountSpan;
                sales_.wraps[c] += ways[0][c];
            }
            return;
        }
        for (const auto &way : ways)
            for (std::size_t c = 0; c < std::size_t(Columns); ++c)
                sales_.mayWrap[c] = std::max(sales_.mayWrap[c], way[c]);
        // A column of unknown price can explain any money of a turn or more.
        for (std::size_t c = 0; c < std::size_t(Columns); ++c)
            if (!price_[c] && high >= CountSpan)
                sales_.mayWrap[c] = std::max<qint64>(sales_.mayWrap[c], 1);
    }

    // The ways of making the money [low, high] of whole turns of 65,536
    // pieces over the priced columns: since a turn is worth 65,536 times a
    // price, at most one multiple N of 65,536 lies in the range, and the
    // turns must cost exactly N tenths of a yen per piece. Counted as coin
    // change (saturating at two), the unique way rebuilt when there is one;
    // with several, each column that could take part, with the most turns
    // it could take.
    static void splitTurns(qint64 low, qint64 high, const std::array<qint64, Columns> &price,
                           std::vector<std::array<qint64, Columns>> &ways)
    {
        const qint64 n = high / CountSpan;
        if (n <= 0 || n * CountSpan < low)
            return;
        const std::size_t size = std::size_t(n) + 1;
        // reach[c][m]: ways (0, 1, 2 for more) of making m from columns 0..c.
        std::vector<std::vector<quint8>> reach(std::size_t(Columns), std::vector<quint8>(size, 0));
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            std::vector<quint8> &r = reach[c];
            if (c == 0)
                r[0] = 1;
            else
                r = reach[c - 1];
            const qint64 p = price[c];
            if (p <= 0)
                continue;
            for (std::size_t m = std::size_t(p); m < size; ++m)
                r[m] = quint8(std::min(2, r[m] + r[m - std::size_t(p)]));
        }
        const quint8 count = reach[std::size_t(Columns) - 1][std::size_t(n)];
        if (count == 0)
            return;
        if (count == 1) {
            std::array<qint64, Columns> way{};
            qint64 m = n;
            for (std::size_t c = std::size_t(Columns); c-- > 0;) {
                const qint64 p = price[c];
                if (p <= 0)
                    continue;
                qint64 k = 0;
                while (c > 0 && (k + 1) * p <= m && reach[c - 1][std::size_t(m - k * p)] == 0)
                    ++k;
                if (c == 0)
                    k = m / p;
                way[c] = k;
                m -= k * p;
            }
            ways.push_back(way);
            return;
        }
        // Several ways: one entry per column that takes part in some, with
        // the most turns it could take.
        const std::vector<quint8> &all = reach[std::size_t(Columns) - 1];
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            const qint64 p = price[c];
            if (p <= 0)
                continue;
            for (qint64 k = n / p; k >= 1; --k) {
                if (all[std::size_t(n - k * p)] > 0) {
                    std::array<qint64, Columns> way{};
                    way[c] = k;
                    ways.push_back(way);
                    break;
                }
            }
        }
        if (ways.size() == 1)
            ways.push_back(ways.front());   // one column, several ways of the others: still not one way
    }

    // A point's figures, and the prices known, as a clear is judged by.
    static WriteProof::ClearFigures figures(const std::array<std::optional<qint64>, Figures> &f)
    {
        WriteProof::ClearFigures out;
        for (std::size_t c = 0; c < std::size_t(Columns); ++c)
            out.counts[c] = f[c];
        out.total = f[TotalFigure];
        return out;
    }
    std::array<std::optional<qint64>, Columns> pricesInTenths() const
    {
        std::array<std::optional<qint64>, Columns> tenths{};
        for (std::size_t c = 0; c < std::size_t(Columns); ++c)
            if (price_[c])
                tenths[c] = priceTenths(int(c), *price_[c]);
        return tenths;
    }

    // A clear counts as carried out when its figures fell as far as the
    // money taken meanwhile allows (see WriteProof::clearVerdict); one not
    // read back waits for the next reading or clear.
    void clear(const CountPoint &p)
    {
        ++sales_.clears;
        const WriteProof::ClearVerdict verdict = WriteProof::clearVerdict(figures(p.counts), figures(p.after),
                                                                          pricesInTenths());
        const auto &totalBefore = p.counts[TotalFigure];
        if (verdict.refused()) {
            // Not carried out: the total goes on too, whatever it shows.
            ++sales_.unproven;
        } else if (!verdict.unread.isEmpty()) {
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

    // The first reading (or clear) after a clear not read back decides it,
    // from its counts and the money its total shows taken since.
    void decidePending(const CountPoint &p)
    {
        if (pendingCounts_) {
            WriteProof::ClearFigures before = figures(*pendingCounts_);
            const WriteProof::ClearVerdict verdict =
                WriteProof::clearVerdict(before, figures(p.counts), pricesInTenths());
            const bool anyRead = std::any_of(p.counts.begin(), p.counts.begin() + Columns,
                                             [](const std::optional<qint64> &v) { return v.has_value(); });
            if (!verdict.refused() && !verdict.unread.isEmpty() && !anyRead)
                return;   // nothing to decide by yet
            if (verdict.refused() || !carriedOut(*pendingCounts_, p.counts)) {
                ++sales_.unproven;
                pendingTotal_.reset();
            } else {
                restartCounts();
            }
            pendingCounts_.reset();
        }
        if (pendingTotal_ && p.counts[TotalFigure]) {
            restartTotal(*pendingTotal_, *p.counts[TotalFigure], p.counts);
            pendingTotal_.reset();
        }
    }

    // No count stayed where no sale explains it. A count that fell below its
    // figure before the clear, or a total that fell, shows the clear; counts
    // that only rose could be sales on either side of it, and the money the
    // total took decides: the sales it would mean counted from 0, or from
    // the figures before.
    bool carriedOut(const std::array<std::optional<qint64>, Figures> &before,
                    const std::array<std::optional<qint64>, Figures> &now) const
    {
        qint64 fromZero = 0;
        qint64 fromBefore = 0;
        for (std::size_t c = 0; c < std::size_t(Columns); ++c) {
            if (!before[c] || !now[c])
                continue;
            if (*now[c] < *before[c])
                return true;
            const qint64 price = price_[c] ? priceTenths(int(c), *price_[c]) : 0;
            fromZero += *now[c] * price;
            fromBefore += (*now[c] - *before[c]) * price;
        }
        const auto &totalBefore = before[TotalFigure];
        const auto &total = now[TotalFigure];
        if (!totalBefore || !total)
            return true;
        if (*total < *totalBefore)
            return true;
        const qint64 taken = (*total - *totalBefore) * 10;
        return std::abs(taken - fromZero) < std::abs(taken - fromBefore);
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
