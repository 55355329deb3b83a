#include "journal/Fleet.h"

#include "journal/Collections.h"
#include "journal/Journal.h"
#include "journal/JournalCsv.h"

namespace Fleet {

Row row(const JournalController &history, const QList<SalesHistory::CountPoint> &points, const QString &technician,
        const QDateTime &now, int staleDays)
{
    Row r;
    r.asset = history.asset;
    r.location = history.location;
    r.identification = QStringLiteral("「%1」(%2)").arg(history.identification, history.version);
    r.technician = technician;
    int last = -1;
    for (int i = int(points.size()) - 1; i >= 0 && last < 0; --i)
        if (!points[i].clear)
            last = i;
    if (last < 0) {
        r.marks << QStringLiteral("no reading");
        return r;
    }
    r.lastVisit = points[last].time;
    const QList<int> clears = Collections::clearsBetween(points, 0, last);
    const int from = clears.isEmpty() ? 0 : clears.last();
    if (!clears.isEmpty())
        r.register_ = Collections::at(points, clears.last()).registered[SalesHistory::TotalFigure];
    const SalesHistory::Sales since = SalesHistory::between(points, from, last);
    for (int c = 0; c < SalesHistory::Columns; ++c)
        r.piecesSinceCollection += since.sold[std::size_t(c)];
    r.yenSinceCollection = since.sold[SalesHistory::TotalFigure];
    // What needs a look, in the words a script can match.
    if (since.unproven > 0)
        r.marks << QStringLiteral("clear not proven");
    qint64 inferred = 0;
    bool possible = false;
    bool fell = false;
    for (int f = 0; f < SalesHistory::Figures; ++f) {
        inferred += since.wraps[std::size_t(f)];
        possible = possible || since.unsure[std::size_t(f)];
        fell = fell || since.fell[std::size_t(f)];
    }
    if (inferred > 0)
        r.marks << QStringLiteral("wrap inferred");
    if (possible)
        r.marks << QStringLiteral("wrap possible");
    if (fell)
        r.marks << QStringLiteral("cleared elsewhere");
    if (SalesHistory::pricesUpTo(points, from) != SalesHistory::pricesUpTo(points, last))
        r.marks << QStringLiteral("price changed since the collection");
    const QDateTime at = QDateTime::fromString(r.lastVisit, Qt::ISODate);
    if (staleDays > 0 && at.isValid() && at.daysTo(now) > staleDays)
        r.marks << QStringLiteral("not visited for %1 days").arg(at.daysTo(now));
    return r;
}

QList<Row> rows(Journal &journal, const QDateTime &now, int staleDays)
{
    QList<Row> list;
    for (const JournalController &c : journal.controllers()) {
        Row r = row(c, journal.countPoints(c), journal.lastTechnician(c), now, staleDays);
        if (!journal.unconfirmedWrites(c).isEmpty())
            r.marks << QStringLiteral("write unconfirmed or interrupted");
        list.append(r);
    }
    return list;
}

QByteArray header()
{
    return QByteArrayLiteral("asset,location,controller,last_visit,technician,pieces_since_collection,"
                             "yen_since_collection,register_at_collection,marks\r\n");
}

QByteArray csv(const QList<Row> &rows)
{
    QByteArray out = header();
    for (const Row &r : rows) {
        out += JournalCsv::field(r.asset) + ',' + JournalCsv::field(r.location) + ','
            + JournalCsv::field(r.identification) + ',' + JournalCsv::field(r.lastVisit) + ','
            + JournalCsv::field(r.technician) + ',' + QByteArray::number(r.piecesSinceCollection) + ','
            + QByteArray::number(r.yenSinceCollection) + ','
            + (r.register_ ? QByteArray::number(*r.register_) : QByteArray()) + ','
            + JournalCsv::field(r.marks.join(QStringLiteral("; "))) + "\r\n";
    }
    return out;
}

} // namespace Fleet
