#include "device/ReadingJson.h"

#include "link/ShiftJis.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue text(const std::optional<QByteArray> &raw)
{
    return raw ? QJsonValue(ShiftJis::decode(*raw)) : QJsonValue();
}

// A value and whether it was read; an unread one is null.
QJsonObject value(const QJsonValue &v, bool read)
{
    return QJsonObject{{QStringLiteral("value"), read ? v : QJsonValue()}, {QStringLiteral("read"), read}};
}

} // namespace

namespace ReadingJson {

QByteArray format(const HeadlessRead::Reading &r)
{
    const auto slot = [&r](int s, qint64 v) { return value(v, r.read.read[std::size_t(s)]); };
    const auto unsignedSlot = [&r, &slot](int s) { return slot(s, qint64(std::uint32_t(r.data[s]))); };

    QJsonObject values;
    values.insert(QStringLiteral("status"), slot(Slot::DeviceStatusFlags, r.data.DeviceStatusFlags()));
    for (int i = 0; i < 16; ++i) {
        // Prices as the wire carries them: tenths of a yen for columns 1-4
        // and 9-16, yen for 5-8, as the window shows them.
        values.insert(QStringLiteral("price%1").arg(i + 1), slot(Slot::ColumnPrice + i, r.data.ColumnPrice(i)));
        values.insert(QStringLiteral("count%1").arg(i + 1), unsignedSlot(Slot::ColumnSalesCount + i));
    }
    values.insert(QStringLiteral("total"), unsignedSlot(Slot::SalesTotal));
    for (int k = 0; k < 6; ++k)
        values.insert(QStringLiteral("option%1").arg(k + 1), slot(Slot::OptionSelection + k, r.data.OptionSelection(k)));
    for (int line = 0; line < 3; ++line) {
        const auto x = r.settings.asRead(ValueOrigins::line(line, 0));
        const auto y = r.settings.asRead(ValueOrigins::line(line, 1));
        const auto t = r.settings.asRead(ValueOrigins::line(line, 2));
        const bool read = x && y && t;
        const QJsonObject whole{{QStringLiteral("x"), read ? QJsonValue(x->toInt()) : QJsonValue()},
                                {QStringLiteral("y"), read ? QJsonValue(y->toInt()) : QJsonValue()},
                                {QStringLiteral("text"), read ? text(t) : QJsonValue()}};
        values.insert(QStringLiteral("receipt%1").arg(line + 1), value(whole, read));
    }
    values.insert(QStringLiteral("earnC"), slot(Slot::EarnValueC, r.data.EarnValueC()));
    values.insert(QStringLiteral("coinReply"), slot(Slot::CoinReplyValue, r.data.CoinReplyValue()));

    const ControllerIdentity &id = r.identity;
    const QJsonObject controller{
        {QStringLiteral("port"), QStringLiteral("COM%1").arg(id.portNumber)},
        {QStringLiteral("device"), id.devicePath},
        // The identification as text, and as the code page 932 bytes it is.
        {QStringLiteral("identification"), value(id.identificationText(), id.identificationRead)},
        {QStringLiteral("identificationHex"),
         value(QString::fromLatin1(id.identification.toHex().toUpper()), id.identificationRead)},
        {QStringLiteral("version"), value(id.versionText(), id.versionRead)},
    };
    const QJsonObject all{{QStringLiteral("controller"), controller},
                          {QStringLiteral("time"), r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODate)},
                          {QStringLiteral("values"), values}};
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

} // namespace ReadingJson
