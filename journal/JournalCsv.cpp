#include "journal/JournalCsv.h"

namespace JournalCsv {

QByteArray header()
{
    return QByteArrayLiteral("time,port,device,controller,version,event,item,value,sent,reported\r\n");
}

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
        return bytes;
    bytes.replace('"', QByteArrayLiteral("\"\""));
    return '"' + bytes + '"';
}

QString valueText(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        // SQLite gives back whole numbers it stored as integers; a real
        // would only come from a damaged or foreign row.
        return QString::number(value.toDouble(), 'g', 17);
    default:
        return value.toString();
    }
}

QByteArray row(const JournalEvent &event, const JournalItem &item)
{
    QByteArray line;
    line.reserve(128);
    const QString fields[] = {event.time, QString::number(event.port), event.device, event.identification,
                              event.version, event.kind, item.name, valueText(item.value),
                              valueText(item.sent), valueText(item.reported)};
    bool first = true;
    for (const QString &f : fields) {
        if (!first)
            line += ',';
        first = false;
        line += field(f);
    }
    line += "\r\n";
    return line;
}

} // namespace JournalCsv
