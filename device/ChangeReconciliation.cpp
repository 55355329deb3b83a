#include "device/ChangeReconciliation.h"
#include "device/DeviceData.h"

#include "device/OperationHost.h"
#include "device/ValueFormats.h"
#include "link/DeviceLink.h"

namespace ChangeReconciliation {

namespace {

// Field `width` characters wide starting at 1-based `pos`, read as
// hexadecimal; a short payload leaves a shorter or empty field.
std::int32_t field(const QByteArray &payload, int pos, int width)
{
    return ValueFormats::hexValue(payload.mid(pos - 1, width));
}

struct Shortage {
    int pos;
    int width;
    const char *prefix;
};

const Shortage Shortages[8] = {
    {15, 2, "自動補充チューブ[10円]:"},
    {18, 2, "自動補充チューブ[50円]:"},
    {21, 2, "自動補充チューブ[100円]:"},
    {24, 2, "自動補充チューブ[500円]:"},
    {27, 4, "手動補充チューブ[10円]:"},
    {32, 4, "手動補充チューブ[50円]:"},
    {37, 4, "手動補充チューブ[100円]:"},
    {42, 4, "手動補充チューブ[500円]:"},
};

} // namespace

int reportLength(std::int32_t firmwareVersion)
{
    return firmwareVersion >= 200 ? 54 : 45;
}

QString reportText(const QByteArray &payload)
{
    QString text = QStringLiteral("自動つり銭合せを開始しました.\n");
    text += QStringLiteral("精算カウンタ:") + ValueFormats::countText(field(payload, 1, 4)) + u'\n';
    text += QStringLiteral("総売上(円):") + QString::number(field(payload, 6, 8)) + u'\n';
    // The short report of older firmware has no refund field; it shows 0.
    text += QStringLiteral("総返金(円):") + QString::number(field(payload, 47, 8)) + u'\n';
    for (const Shortage &s : Shortages) {
        const std::int32_t missing = field(payload, s.pos, s.width);
        if (missing > 0)
            text += QString::fromUtf8(s.prefix) + QString::number(missing)
                + QStringLiteral("枚 不足\n");
    }
    text += QStringLiteral("\nコインメカニズムの余剰硬貨払い出しが終わるまで,操作しないで下さい.\n\n");
    text += QStringLiteral("不足硬貨の補充を行い基準枚数に合わせる場合は,補充後「OK」をクリックして下さい.\n");
    text += QStringLiteral("不足硬貨の補充を行わずにつり銭合せ処理を終了する場合は「キャンセル」をクリックして下さい.\n");
    return text;
}

Outcome run(DeviceLink &link, OperationHost &host, const DeviceData &data)
{
    if (!host.confirm(QStringLiteral("自動つり銭合せ（精算）処理を開始します.\n実行してもよろしいですか？")))
        return Outcome::Declined;
    link.Transact("QVU1", 2);
    // A reconciliation begun is ended and write mode closed before a
    // cancel takes effect: the coin mechanism must not stay in it.
    const DeviceLink::CancelHold untilEnded(link);
    const TransactResult report = link.Transact("QVER", reportLength(data.FirmwareVersion()));
    // The box waits for the operator: the coin mechanism pays out and the
    // operator refills meanwhile. The poll keeps running under it.
    const bool refilled = host.confirm(reportText(report.payload));
    // A read-back that fails does not stop the reconciliation: the
    // controller must still be told to end it and to leave write mode.
    // The error is shown once, after that.
    std::optional<QString> error;
    if (refilled) {
        link.Transact("QVEJ", 45);
        error = host.runFullRead();
    }
    link.Transact("QVEQ", 45);
    const std::optional<QString> last = host.runFullRead();
    if (!error)
        error = last;
    // Manual I/O mode holds the write state itself and releases it when
    // the operator leaves that mode.
    if (!host.manualMode())
        link.Transact("QVU0", 2);
    if (error)
        host.showConversionError(*error);
    return refilled ? Outcome::Refilled : Outcome::Ended;
}

} // namespace ChangeReconciliation
