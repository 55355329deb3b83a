#include "device/ReadingJson.h"

#include "link/ShiftJis.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantMap>

namespace ReadingJson {

QList<Value> values(const HeadlessRead::Reading &r)
{
    QList<Value> out;
    const auto slot = [&r, &out](const QString &name, int s, qint64 v) {
        const bool read = r.read.read[std::size_t(s)];
        out.append({name, read ? QVariant(v) : QVariant(), read});
    };
    const auto unsignedSlot = [&r, &slot](const QString &name, int s) { slot(name, s, qint64(std::uint32_t(r.data[s]))); };
    slot(QStringLiteral("status"), Slot::DeviceStatusFlags, r.data.DeviceStatusFlags());
    // Prices as the wire carries them: tenths of a yen for columns 1-4 and
    // 9-16, yen for 5-8, as the window shows them.
    for (int i = 0; i < 16; ++i)
        slot(QStringLiteral("price%1").arg(i + 1), Slot::ColumnPrice + i, r.data.ColumnPrice(i));
    for (int i = 0; i < 16; ++i)
        unsignedSlot(QStringLiteral("count%1").arg(i + 1), Slot::ColumnSalesCount + i);
    unsignedSlot(QStringLiteral("total"), Slot::SalesTotal);
    for (int k = 0; k < 6; ++k)
        slot(QStringLiteral("option%1").arg(k + 1), Slot::OptionSelection + k, r.data.OptionSelection(k));
    for (int line = 0; line < 3; ++line) {
        const auto x = r.settings.asRead(ValueOrigins::line(line, 0));
        const auto y = r.settings.asRead(ValueOrigins::line(line, 1));
        const auto t = r.settings.asRead(ValueOrigins::line(line, 2));
        const bool read = x && y && t;
        const QVariant whole = read ? QVariant(QVariantMap{{QStringLiteral("x"), x->toInt()},
                                                           {QStringLiteral("y"), y->toInt()},
                                                           {QStringLiteral("text"), ShiftJis::decode(*t)}})
                                    : QVariant();
        out.append({QStringLiteral("receipt%1").arg(line + 1), whole, read});
    }
    slot(QStringLiteral("earnC"), Slot::EarnValueC, r.data.EarnValueC());
    slot(QStringLiteral("coinReply"), Slot::CoinReplyValue, r.data.CoinReplyValue());
    return out;
}

namespace {

QJsonObject value(const QJsonValue &v, bool read)
{
    return QJsonObject{{QStringLiteral("value"), read ? v : QJsonValue()}, {QStringLiteral("read"), read}};
}

} // namespace

QList<Value> controller(const ControllerIdentity &id)
{
    return {{QStringLiteral("port"), QStringLiteral("COM%1").arg(id.portNumber), true},
            {QStringLiteral("device"), id.devicePath, true},
            {QStringLiteral("identification"), id.identificationText(), id.identificationRead},
            {QStringLiteral("identificationHex"), QString::fromLatin1(id.identification.toHex().toUpper()),
             id.identificationRead},
            {QStringLiteral("version"), id.versionText(), id.versionRead}};
}

QByteArray format(const HeadlessRead::Reading &r)
{
    QJsonObject all;
    for (const Value &v : values(r))
        all.insert(v.name, value(QJsonValue::fromVariant(v.value), v.read));
    QJsonObject who;
    for (const Value &v : controller(r.identity)) {
        if (v.name == QLatin1String("port") || v.name == QLatin1String("device"))
            who.insert(v.name, v.value.toString());
        else
            who.insert(v.name, value(v.value.toString(), v.read));
    }
    const QJsonObject doc{{QStringLiteral("controller"), who},
                          {QStringLiteral("time"), r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODate)},
                          {QStringLiteral("values"), all}};
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

} // namespace ReadingJson
