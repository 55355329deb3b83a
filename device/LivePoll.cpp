#include "device/LivePoll.h"

#include "device/ValueFormats.h"
#include "link/DeviceLink.h"

using ValueFormats::hexValue;

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
    TransactResult r;
    auto heard = [&](const QByteArray &command, int expectedLength) {
        r = link.Transact(command, expectedLength);
        return r.bytesReceived > 0;
    };
    for (int i = 0; i < 16; ++i) {
        if (!heard(QByteArray("QVRC") + ValueFormats::indexChar(i), 4))
            return false;
        data.ColumnSalesCount(i) = hexValue(r.payload);
    }
    if (!heard("QVREA", 8))
        return false;
    data.SalesTotal() = hexValue(r.payload);
    data.EarnValueB() = 0;
    if (!heard("QVC", 19))
        return false;
    data.CoinReplyValue() = hexValue(r.payload.left(4));
    return true;
}

namespace {

std::optional<std::uint32_t> readExactHex(DeviceLink &link, const QByteArray &command, int digits)
{
    const TransactResult r = link.Transact(command, digits);
    if (!r.usable() || r.payload.size() != digits)
        return std::nullopt;
    std::uint32_t v = 0;
    for (const char c : r.payload) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | std::uint32_t(d);
    }
    return v;
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
    if (!total)
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
