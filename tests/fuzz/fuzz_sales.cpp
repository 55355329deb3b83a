// The sales arithmetic against a controller whose true sales are known: a
// random run of sales, readings, clears (taken, refused, read back with
// sales made meanwhile, or cut off before their read-back), wraps of the
// counts past 65535 and of the total past 2^32, with the total kept at a
// clear or not. Money as the controller keeps it: prices in tenths of a
// yen (whole yen for columns 5-8), the total in whole yen with the tenths
// kept inside.
// What must hold, from the first reading to every later one:
// - the yen are exactly those sold;
// - every column's pieces are those sold modulo 65,536, and exactly those
//   sold wherever the column is not flagged as unsure and has a price
//   (a column priced 0 takes no money that could show a turn).
#include "journal/SalesHistory.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

namespace {

using SalesHistory::CountPoint;

struct Controller {
    std::array<qint64, 16> counts{};
    qint64 total = 0;     // whole yen
    qint64 tenths = 0;    // below a yen, kept inside as the controller keeps it
    std::array<qint64, 16> prices{};   // tenths of a yen, yen for columns 5-8
    bool keepsTotal = false;

    // What `pieces` of a column add to the total, in yen.
    qint64 worth(int column, qint64 pieces) const
    {
        return (tenths + pieces * SalesHistory::priceTenths(column, prices[std::size_t(column)])) / 10;
    }
    void sell(int column, qint64 pieces, std::array<qint64, 17> &sold)
    {
        counts[std::size_t(column)] = (counts[std::size_t(column)] + pieces) % 65536;
        const qint64 all = tenths + pieces * SalesHistory::priceTenths(column, prices[std::size_t(column)]);
        total = (total + all / 10) % (qint64(1) << 32);
        tenths = all % 10;
        sold[std::size_t(column)] += pieces;
        sold[16] += all / 10;
    }
    CountPoint reading() const
    {
        CountPoint p;
        for (std::size_t c = 0; c < 16; ++c) {
            p.counts[c] = counts[c];
            p.prices[c] = prices[c];
        }
        p.counts[16] = total;
        return p;
    }
};

void fail(const char *what, int column, qint64 got, qint64 want)
{
    std::fprintf(stderr, "%s: column %d, %lld against %lld sold\n", what, column + 1, static_cast<long long>(got),
                 static_cast<long long>(want));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    Controller m;
    m.keepsTotal = in.flag();
    for (auto &price : m.prices)
        price = in.flag() ? 0 : in.inRange<qint64>(1, 999);
    m.total = in.inRange<qint64>(0, 0xFFFFFFFFLL);
    for (auto &count : m.counts)
        count = in.inRange<qint64>(0, 65535);

    QList<CountPoint> points{m.reading()};
    std::array<qint64, 17> sold{};
    QList<std::array<qint64, 17>> truth{sold};
    bool mustReadNext = false;   // a clear cut off: the next connection reads at once
    qint64 sinceReading = 0;     // yen sold since the last reading
    while (in.remaining() > 0 && points.size() < 200) {
        const int action = mustReadNext ? 0 : in.inRange(0, 5);
        mustReadNext = false;
        if (action == 0) {
            points.append(m.reading());
            truth.append(sold);
            sinceReading = 0;
        } else if (action <= 2) {
            // Sales in a few columns, now and then past a wrap; the total
            // grows by far less than 2^31 between two readings.
            const int columns = in.inRange(1, 3);
            for (int i = 0; i < columns; ++i) {
                const int column = in.inRange(0, 15);
                const qint64 pieces = in.flag() ? in.inRange<qint64>(0, 200) : in.inRange<qint64>(0, 140000);
                if (sinceReading > (qint64(1) << 30))
                    continue;
                sinceReading += m.worth(column, pieces);
                m.sell(column, pieces, sold);
            }
        } else {
            // A clear: the counts read fresh, then the clear.
            CountPoint clear = m.reading();
            clear.clear = true;
            clear.prices = {};
            const int outcome = in.inRange(0, 3);   // taken, refused, cut off unsent, cut off sent
            const std::array<qint64, 17> soldBefore = sold;   // what the clear's own figures show
            const bool taken = outcome == 0 || outcome == 3;
            if (taken) {
                m.counts.fill(0);
                if (!m.keepsTotal) {
                    m.total = 0;
                    m.tenths = 0;
                }
            }
            if (outcome <= 1) {
                // A sale or two before the read-back, few enough to leave
                // the counts of a clear taken below those before it, and
                // not a wrap that would make a refused clear's count look
                // cleared (nothing could tell the two apart).
                const int column = in.inRange(0, 15);
                const qint64 pieces = in.inRange<qint64>(1, 3);
                const qint64 yen = m.worth(column, pieces);
                if (in.flag() && *clear.counts[std::size_t(column)] > pieces
                    && *clear.counts[std::size_t(column)] + pieces < 65536
                    && (!taken || m.keepsTotal || yen < *clear.counts[16]))
                    m.sell(column, pieces, sold);
                const CountPoint back = m.reading();
                clear.after = back.counts;
            } else {
                mustReadNext = true;
            }
            points.append(clear);
            truth.append(soldBefore);
            sinceReading = 0;
        }
    }

    const QList<SalesHistory::Sales> sums = SalesHistory::cumulative(points);
    // FUZZ_SALES_COLUMN=n: each point's figures and sales of column n, to
    // read a finding by.
    const char *col = std::getenv("FUZZ_SALES_COLUMN");
    if (col && std::atoi(col) >= 1 && std::atoi(col) <= 17) {
        const std::size_t c = std::size_t(std::atoi(col) - 1);
        for (int i = 0; i < points.size(); ++i)
            std::fprintf(stderr, "%d %s c=%lld after=%lld total=%lld/%lld got=%lld true=%lld unsure=%d unproven=%d\n", i,
                         points[i].clear ? "clear" : "read", static_cast<long long>(points[i].counts[c].value_or(-1)),
                         static_cast<long long>(points[i].after[c].value_or(-1)),
                         static_cast<long long>(points[i].counts[16].value_or(-1)),
                         static_cast<long long>(points[i].after[16].value_or(-1)),
                         static_cast<long long>(sums[i].sold[c]), static_cast<long long>(truth[i][c]),
                         int(sums[i].unsure[c]), sums[i].unproven);
    }
    for (int i = 0; i < points.size(); ++i) {
        const SalesHistory::Sales &s = sums[i];
        const auto &want = truth[i];
        if (s.sold[16] != want[16])
            fail("yen", 16, s.sold[16], want[16]);
        for (int c = 0; c < 16; ++c) {
            const qint64 got = s.sold[std::size_t(c)];
            const qint64 w = want[std::size_t(c)];
            if ((got - w) % 65536 != 0)
                fail("pieces not exact modulo 65,536", c, got, w);
            // A column priced 0 takes no money: its turns of 65,536 cannot be
            // seen, and it is never flagged for them.
            if (!s.unsure[std::size_t(c)] && got != w && m.prices[std::size_t(c)] != 0)
                fail("pieces wrong and not flagged", c, got, w);
        }
    }
    if (!points.isEmpty() && SalesHistory::between(points, 0, int(points.size()) - 1).sold != sums.last().sold)
        fail("between and cumulative differ", 16, 0, 0);
    return 0;
}
