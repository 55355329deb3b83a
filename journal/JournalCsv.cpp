#include "journal/JournalCsv.h"

#include <cstring>

namespace JournalCsv {

QByteArray header()
{
    return QByteArrayLiteral("time,port,device,controller,version,event,item,value,sent,reported,asset,location,visit\r\n");
}

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    // A spreadsheet runs a cell that starts like a formula: with an
    // apostrophe before it, it shows the text instead.
    if (!bytes.isEmpty() && std::strchr("=+-@\t\r", bytes.front()) != nullptr)
        bytes.prepend('\'');
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

namespace {

void appendValue(QByteArray &line, const QVariant &value)
{
    switch (value.isNull() ? QMetaType::UnknownType : value.typeId()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        line += QByteArray::number(value.toLongLong());
        break;
    default: {
        // An empty text is quoted, a value not recorded left empty.
        const QString text = valueText(value);
        line += text.isEmpty() ? QByteArray("\"\"") : field(text);
        break;
    }
    }
}

} // namespace

QByteArray eventPrefix(const JournalEvent &event)
{
    QByteArray line;
    for (const QString &f : {event.time, QString::number(event.port), event.device, event.identification,
                             event.version, event.kind}) {
        line += field(f);
        line += ',';
    }
    return line;
}

QByteArray eventSuffix(const JournalEvent &event, const QString &asset, const QString &location)
{
    QByteArray line = ',' + field(asset) + ',' + field(location) + ',';
    if (event.visit != 0)
        line += QByteArray::number(event.visit);
    return line;
}

void appendItem(QByteArray &line, const JournalItem &item, const QByteArray &suffix)
{
    line += field(item.name);
    line += ',';
    appendValue(line, item.value);
    line += ',';
    appendValue(line, item.sent);
    line += ',';
    appendValue(line, item.reported);
    line += suffix;
    line += "\r\n";
}

QByteArray row(const JournalEvent &event, const JournalItem &item, const QString &asset, const QString &location)
{
    QByteArray line = eventPrefix(event);
    appendItem(line, item, eventSuffix(event, asset, location));
    return line;
}

} // namespace JournalCsv
