#pragma once
// The journal as CSV: UTF-8, RFC 4180 quoting (fields holding a comma, a
// quote or a line break are quoted, quotes doubled, rows end in CR LF), one
// header row, then one row per recorded item. A text that a spreadsheet
// would run as a formula (starting with =, +, -, @, a tab or a CR) gets an
// apostrophe before it; an empty text is "", a value not recorded nothing.
#include "journal/JournalEvent.h"

#include <QByteArray>

namespace JournalCsv {

// time,port,device,controller,version,event,item,value,sent,reported
QByteArray header();
QByteArray field(const QString &text);
// A recorded value as the CSV shows it: integers in plain decimal, texts
// as they are, nothing for a value not recorded.
QString valueText(const QVariant &value);
// The row of one item of `event` (its own items are not looked at).
QByteArray row(const JournalEvent &event, const JournalItem &item);
// The same in two halves, so that an export builds an event's half once:
// the event's fields with the comma after them, then the item's.
QByteArray eventPrefix(const JournalEvent &event);
void appendItem(QByteArray &line, const JournalItem &item);

} // namespace JournalCsv
