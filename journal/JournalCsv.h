#pragma once
// The journal as CSV: UTF-8, RFC 4180 quoting (fields holding a comma, a
// quote or a line break are quoted, quotes doubled, rows end in CR LF), one
// header row, then one row per recorded item. A text that a spreadsheet
// would run as a formula (starting with =, +, -, @, a tab or a CR) gets an
// apostrophe before it; an empty text is "", a value not recorded nothing.
// The machine and the visit come last, after the columns the first version
// had, so that a script reading the columns by position goes on working.
#include "journal/JournalEvent.h"

#include <QByteArray>

namespace JournalCsv {

// time,port,device,controller,version,event,item,value,sent,reported,
// asset,location,visit
QByteArray header();
QByteArray field(const QString &text);
// A recorded value as the CSV shows it: integers in plain decimal, texts
// as they are, nothing for a value not recorded.
QString valueText(const QVariant &value);
// The row of one item of `event` (its own items are not looked at);
// `asset` and `location` name the machine the event went with, empty for
// none. The visit is the id of its connection's reading, empty outside one.
QByteArray row(const JournalEvent &event, const JournalItem &item, const QString &asset = QString(),
               const QString &location = QString());
// The same in parts, so that an export builds an event's own fields once:
// those before the item's with the comma after them, the item's, then the
// event's machine and visit with the comma before them.
QByteArray eventPrefix(const JournalEvent &event);
QByteArray eventSuffix(const JournalEvent &event, const QString &asset, const QString &location);
void appendItem(QByteArray &line, const JournalItem &item, const QByteArray &suffix);

} // namespace JournalCsv
