#include "device/LivePoll.h"

#include "device/ValueFormats.h"
#include "link/DeviceLink.h"


namespace LivePoll {

bool advancePollTick(int &pollTickCount)
{
    if (++pollTickCount < TicksPerRefresh)
        return false;
    pollTickCount = 0;
    return true;
}

bool refreshLiveValues(DeviceLink &link, DeviceData &data)
{
    // A value changes only from a whole normal reply of its own width: a
    // garbled, cut or busy answer keeps what the grids showed, as a silent
    // one does, instead of flashing 0000 for one refresh. A busy status's
    // payload is the controller saying it could not answer, not a value:
    // the cell keeps the last figure read, shown as it was and not marked
    // stale, since the next refresh five ticks later replaces it; no write
    // ever takes a figure from here (writes read what they overwrite afresh).
    DeviceData fresh = data;
    auto refresh = [&](const QByteArray &command, int expectedLength, int digits, std::int32_t &slot) {
        const TransactResult r = link.Transact(command, expectedLength);
        if (const std::optional<std::int32_t> value = ValueFormats::usableHex(r, expectedLength, digits))
            slot = *value;
        return r.heard();
    };
    const bool heard = [&] {
        for (int i = 0; i < 16; ++i) {
            if (!refresh(QByteArray("QVRC") + ValueFormats::indexChar(i), 4, 4, fresh.ColumnSalesCount(i)))
                return false;
        }
        if (!refresh("QVREA", 8, 8, fresh.SalesTotal()))
            return false;
        fresh.EarnValueB() = 0;
        return refresh("QVC", 19, 4, fresh.CoinReplyValue());
    }();
    if (link.checkpoint())
        data = fresh;
    return heard;
}

bool figuresFell(const DeviceData &before, const DeviceData &after)
{
    const auto total = [](const DeviceData &d) { return std::uint32_t(d.SalesTotal()); };
    if (total(after) < total(before))
        return true;
    if (total(after) > total(before))
        return false;
    for (int i = 0; i < 16; ++i) {
        if (after.ColumnSalesCount(i) < before.ColumnSalesCount(i))
            return true;
    }
    return false;
}

namespace {

std::optional<std::uint32_t> readExactHex(DeviceLink &link, const QByteArray &command, int digits)
{
    const std::optional<std::int32_t> value = ValueFormats::usableHex(link.Transact(command, digits), digits);
    if (!value)
        return std::nullopt;
    // Eight digits may pass a signed value: the bits are what was sent.
    return std::uint32_t(*value);
}

} // namespace

std::optional<Counters> readCounters(DeviceLink &link)
{
    Counters c;
    for (int i = 0; i < 16; ++i) {
        const auto count = readExactHex(link, QByteArray("QVRC") + ValueFormats::indexChar(i), 4);
        if (!count)
            return std::nullopt;
        c.counts[std::size_t(i)] = *count;
    }
    const auto total = readExactHex(link, "QVREA", 8);
    if (!total || !link.checkpoint())
        return std::nullopt;
    c.total = *total;
    return c;
}

int requestDeviceState(DeviceLink &link)
{
    return link.Transact("QVY", 2).status;
}

QString stateSentence(int status)
{
    switch (status) {
    case 0:
        return QStringLiteral("通常状態です.");
    case 1:
        return QStringLiteral("リセット中です.");
    case -1:
        return QStringLiteral("清算(返金・収納)処理中です.");
    case -2:
        return QStringLiteral("つり銭合せ処理中です.");
    default:
        break;
    }
    if (status >= 2 && status <= 99)
        return QStringLiteral("エラー%1発生中です.").arg(status);
    return QStringLiteral("通信エラーが起きています.");
}

} // namespace LivePoll
