#include "journal/AuditExport.h"

#include "journal/Journal.h"
#include "journal/SalesHistory.h"
#include "link/ControllerSearch.h"
#include "link/ShiftJis.h"

#include <QSaveFile>

namespace AuditExport {

std::optional<AuditFile::Reading> reading(Journal &journal, const JournalController &history)
{
    const QList<SalesHistory::CountPoint> points = journal.countPoints(history);
    int first = -1;
    int last = -1;
    int readings = 0;
    for (int i = 0; i < points.size(); ++i) {
        if (points[i].clear)
            continue;
        if (first < 0)
            first = i;
        last = i;
        ++readings;
    }
    if (first < 0)
        return std::nullopt;
    const SalesHistory::CountPoint &a = points[first];
    const SalesHistory::CountPoint &z = points[last];
    const SalesHistory::Sales sold = SalesHistory::between(points, first, last);

    AuditFile::Reading r;
    r.serial = history.asset.isEmpty() ? history.identificationBytes : ShiftJis::encode(history.asset);
    r.location = ShiftJis::encode(history.location);
    r.version = ShiftJis::decode(history.versionBytes);
    r.firmware = firmwareVersionFromReply(history.versionBytes);
    r.readings = readings;
    r.time = QDateTime::fromString(z.time, Qt::ISODate);
    const auto figure = [](const std::optional<qint64> &v) { return v.value_or(0); };
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        AuditFile::Column col;
        col.number = c + 1;
        const qint64 price = SalesHistory::priceTenths(c, figure(z.prices[std::size_t(c)]));
        col.priceTenths = price;
        col.countSinceInit = figure(a.counts[std::size_t(c)]) + sold.sold[std::size_t(c)];
        col.valueSinceInit = col.countSinceInit * price;
        col.countSinceReset = figure(z.counts[std::size_t(c)]);
        col.valueSinceReset = col.countSinceReset * price;
        r.countSinceInit += col.countSinceInit;
        r.countSinceReset += col.countSinceReset;
        r.columns.append(col);
    }
    // The total is whole yen; the file's money is tenths.
    r.valueSinceInit = (figure(a.counts[SalesHistory::TotalFigure]) + sold.sold[SalesHistory::TotalFigure]) * 10;
    r.valueSinceReset = figure(z.counts[SalesHistory::TotalFigure]) * 10;
    return r;
}

std::optional<JournalController> historyOf(Journal &journal, const QByteArray &identification,
                                           const QByteArray &version)
{
    std::optional<JournalController> found;
    for (const JournalController &c : journal.controllers())
        if (c.identificationBytes == identification && c.versionBytes == version
            && (!found || c.lastTime >= found->lastTime))
            found = c;
    return found;
}

bool write(const AuditFile::Reading &reading, const QString &file, const QString &journalPath, QString *error)
{
    if (Journal::isJournalFile(journalPath, file)) {
        *error = QStringLiteral("%1 is the journal's own file").arg(file);
        return false;
    }
    QSaveFile out(file);
    const QByteArray text = AuditFile::format(reading);
    if (out.open(QIODevice::WriteOnly) && out.write(text) == text.size()
        && out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && out.commit())
        return true;
    *error = out.errorString();
    return false;
}

QString fileName(const AuditFile::Reading &reading)
{
    // Only what any file system takes: a '/' in an asset number is no folder.
    QString name = QString::fromLatin1(AuditFile::field(reading.serial, 20));
    for (QChar &c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    }
    return name + QLatin1Char('_') + reading.time.toString(QStringLiteral("yyyyMMdd-HHmm")) + QStringLiteral(".dex");
}

} // namespace AuditExport
