#pragma once
// The office's table of every machine: where it is, when it was last
// visited and by whom, what it sold since its last collection, the
// register at that collection, and what needs a look. A plain function of
// each history's readings and clears.
#include "journal/JournalEvent.h"
#include "journal/SalesHistory.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <optional>

class Journal;

namespace Fleet {

struct Row {
    QString asset;
    QString location;
    QString identification;   // 「text」(version)
    QString lastVisit;        // the time of the last reading, as recorded
    QString technician;       // who made it
    qint64 piecesSinceCollection = 0;
    qint64 yenSinceCollection = 0;
    std::optional<qint64> register_;   // the total read just before the last collection
    QStringList marks;
};

// One history's row from its points; `stale` marks a last reading older
// than that.
Row row(const JournalController &history, const QList<SalesHistory::CountPoint> &points,
        const QString &technician, const QDateTime &now, int staleDays);

// Every history of the journal.
QList<Row> rows(Journal &journal, const QDateTime &now, int staleDays);

// asset,location,controller,last_visit,technician,pieces_since_collection,
// yen_since_collection,register_at_collection,marks (marks joined by "; ").
QByteArray header();
QByteArray csv(const QList<Row> &rows);

} // namespace Fleet
