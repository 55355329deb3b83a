#include "device/LivePoll.h"

#include "device/ValueFormats.h"
#include "link/DeviceLink.h"

using ValueFormats::HexValue;

bool AdvancePollTick(int &pollTickCount)
{
    if (++pollTickCount < LivePoll::TicksPerRefresh)
        return false;
    pollTickCount = 0;
    return true;
}

void RefreshLiveValues(DeviceLink &link, DeviceData &data)
{
    for (int i = 0; i < 16; ++i)
        data.ColumnSalesCount(i) =
            HexValue(link.Transact(QByteArray("QVRC") + ValueFormats::IndexChar(i), 4).payload);
    data.SalesTotal() = HexValue(link.Transact("QVREA", 8).payload);
    data.EarnValueB() = 0;
    data.CoinReplyValue() = HexValue(link.Transact("QVC", 19).payload.left(4));
}

int RequestDeviceState(DeviceLink &link)
{
    return link.Transact("QVY", 2).status;
}

QString StateSentence(int status)
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
