#include "device/FigureContinuity.h"

#include "device/ValueFormats.h"

#include <algorithm>
#include <set>
#include <vector>

namespace FigureContinuity {

namespace {

constexpr qint64 TotalSpan = qint64(1) << 32;
constexpr qint64 CountSpan = 65536;

qint64 modulo(qint64 v, qint64 span)
{
    return (v % span + span) % span;
}

// Whether whole turns of 65,536 pieces, at most `most` of them, at the
// prices given can make up money within [low, high] (tenths of a yen).
bool turnsCanMake(const std::vector<qint64> &prices, qint64 most, qint64 low, qint64 high)
{
    std::set<qint64> sums{0};
    for (qint64 turn = 0; turn < most; ++turn) {
        std::set<qint64> next = sums;
        for (const qint64 s : sums)
            for (const qint64 p : prices)
                if (s + p * CountSpan <= high)
                    next.insert(s + p * CountSpan);
        sums.swap(next);
    }
    const auto it = sums.lower_bound(low);
    return it != sums.end() && *it <= high;
}

} // namespace

Figures fromData(const DeviceData &d, const std::bitset<16> &pricesKnown, std::optional<qint64> at)
{
    Figures f;
    for (int c = 0; c < 16; ++c) {
        f.counts[std::size_t(c)] = qint64(std::uint32_t(d.ColumnSalesCount(c)));
        if (pricesKnown[std::size_t(c)])
            f.priceTenths[std::size_t(c)] = ValueFormats::priceTenths(c, d.ColumnPrice(c));
    }
    f.total = qint64(std::uint32_t(d.SalesTotal()));
    f.at = at;
    return f;
}

Verdict judge(const Figures &before, const Figures &after)
{
    if (!before.total || !after.total)
        return Verdict::Unknown;
    // Pieces a machine can have sold between the two reads.
    const bool timed = before.at && after.at && *after.at >= *before.at;
    const qint64 mostPieces = timed ? (*after.at - *before.at) * MostPiecesPerSecond + PiecesInFlight : 0;

    const qint64 grew = modulo(*after.total - *before.total, TotalSpan);
    const bool totalFell = grew >= TotalSpan / 2;
    // What the counts' growth is worth, at the lower and the higher of the
    // two prices read (a price may have changed between); unbounded above
    // when a column that sold has no price read.
    qint64 soldLow = 0;
    std::optional<qint64> soldHigh = 0;
    qint64 soldPieces = 0;
    // What the counts are worth as sales since a clear, low and high likewise.
    qint64 sinceClearTenths = 0;
    std::optional<qint64> sinceClearHigh = 0;
    qint64 sinceClearPieces = 0;
    qint64 dearest = 0;
    std::vector<qint64> prices;
    bool noneRose = true;
    bool anyFell = false;
    for (std::size_t c = 0; c < 16; ++c) {
        const auto &was = before.counts[c];
        const auto &now = after.counts[c];
        if (!was || !now)
            continue;
        const auto &p0 = before.priceTenths[c];
        const auto &p1 = after.priceTenths[c];
        const std::optional<qint64> low = p0 && p1 ? std::min(*p0, *p1) : p0 ? p0 : p1;
        const std::optional<qint64> high = p0 && p1 ? std::max(*p0, *p1) : p0 ? p0 : p1;
        const qint64 step = modulo(*now - *was, CountSpan);
        soldPieces += step;
        sinceClearPieces += *now;
        anyFell = anyFell || *now < *was;
        // A column at 0 before may have sold a few since a clear.
        noneRose = noneRose && (*now <= *was || *now <= PiecesInFlight);
        if (low && *low > 0) {
            soldLow += step * *low;
            sinceClearTenths += *now * *low;
            dearest = std::max(dearest, *high);
            prices.push_back(*low);
            if (*high != *low)
                prices.push_back(*high);
        }
        if (!high) {
            soldHigh = step > 0 ? std::nullopt : soldHigh;
            sinceClearHigh = *now > 0 ? std::nullopt : sinceClearHigh;
        } else {
            if (soldHigh)
                *soldHigh += step * *high;
            if (sinceClearHigh)
                *sinceClearHigh += *now * *high;
        }
    }
    // The counts and the total are read one after the other: a few sales
    // may sit in one and not yet in the other; the total keeps nine tenths.
    const qint64 slack = PiecesInFlight * dearest + 9;
    const qint64 money = grew * 10;
    if (!totalFell && (!timed || soldPieces <= mostPieces) && money + slack >= soldLow) {
        // The money the counts do not show is whole turns of some column.
        const qint64 turns = std::min<qint64>(4, timed ? mostPieces / CountSpan : 4);
        if (!soldHigh || money - slack <= *soldHigh
            || turnsCanMake(prices, turns, money - slack - *soldHigh, money + slack - soldLow))
            return Verdict::Continues;
    }
    // Every count fell (or stayed), to at most what can have been sold in
    // the time between when it is known.
    const bool countsRestarted = noneRose && (!timed || sinceClearPieces <= mostPieces);
    // The total with them, to what those pieces brought; a controller that
    // keeps its total at a clear grew by at least that.
    const qint64 sinceClearMoney = *after.total * 10;
    const bool totalRestarted = totalFell
        ? sinceClearMoney + slack >= sinceClearTenths && (!sinceClearHigh || sinceClearMoney - slack <= *sinceClearHigh)
        : sinceClearTenths <= money + slack;
    if (countsRestarted && totalRestarted && (totalFell || anyFell))
        return Verdict::ClearedElsewhere;
    return Verdict::Another;
}

} // namespace FigureContinuity
