#include "journal/ReadingCsv.h"

#include "device/ReadingJson.h"
#include "journal/JournalCsv.h"

#include <QVariantMap>

namespace ReadingCsv {

QByteArray format(const HeadlessRead::Reading &r)
{
    QByteArray out = "name,value,read\r\n";
    const auto row = [&out](const QString &name, const QString &text, bool read) {
        out += JournalCsv::field(name) + ',' + JournalCsv::field(text) + ',' + (read ? "1" : "0") + "\r\n";
    };
    for (const ReadingJson::Value &v : ReadingJson::controller(r.identity))
        row(v.name, v.read ? v.value.toString() : QString(), v.read);
    row(QStringLiteral("time"), r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODate), true);
    for (const ReadingJson::Value &v : ReadingJson::values(r)) {
        QString text;
        if (v.read && v.value.typeId() == QMetaType::QVariantMap) {
            // A receipt line as the controller keeps it: X digit, Y digit, text.
            const QVariantMap m = v.value.toMap();
            text = m.value(QStringLiteral("x")).toString() + m.value(QStringLiteral("y")).toString()
                + m.value(QStringLiteral("text")).toString();
        } else if (v.read) {
            text = v.value.toString();
        }
        row(v.name, text, v.read);
    }
    return out;
}

} // namespace ReadingCsv
