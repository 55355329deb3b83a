#include "journal/AuditExport.h"

#include "journal/Journal.h"
#include "journal/OutputFile.h"
#include "journal/SalesHistory.h"
#include "link/ControllerSearch.h"
#include "link/ShiftJis.h"

#include <QStringList>
#include <array>

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
    const SalesHistory::Sales sold = SalesHistory::between(points, first, last);
    // Each figure as first and last read among the readings, and each price
    // as last read up to the last reading: never a later one, never 0 for
    // one not read.
    std::array<std::optional<qint64>, SalesHistory::Figures> firstRead{};
    std::array<std::optional<qint64>, SalesHistory::Figures> lastRead{};
    for (int i = first; i <= last; ++i) {
        if (points[i].clear)
            continue;
        for (std::size_t f = 0; f < std::size_t(SalesHistory::Figures); ++f) {
            if (!points[i].counts[f])
                continue;
            if (!firstRead[f])
                firstRead[f] = points[i].counts[f];
            lastRead[f] = points[i].counts[f];
        }
    }
    const std::array<std::optional<qint64>, SalesHistory::Columns> prices = SalesHistory::pricesUpTo(points, last);

    AuditFile::Reading r;
    r.serial = history.asset.isEmpty() ? history.identificationBytes : ShiftJis::encode(history.asset);
    r.location = ShiftJis::encode(history.location);
    r.version = ShiftJis::decode(history.versionBytes);
    r.firmware = firmwareVersionFromReply(history.versionBytes);
    r.readings = readings;
    r.time = QDateTime::fromString(points[last].time, Qt::ISODate);
    // One unit for the machine whatever the visit: whole yen unless one of
    // its recorded prices ever had tenths.
    r.decimals = 0;
    for (const SalesHistory::CountPoint &p : points)
        for (int c = 0; c < SalesHistory::Columns; ++c)
            if (p.prices[std::size_t(c)] && SalesHistory::priceTenths(c, *p.prices[std::size_t(c)]) % 10 != 0)
                r.decimals = 1;
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        const std::size_t i = std::size_t(c);
        if (!prices[i] || !firstRead[i] || !lastRead[i]) {
            r.leftOut.append(c + 1);
            continue;
        }
        AuditFile::Column col;
        col.number = c + 1;
        if (sold.wraps[i] > 0)
            r.inferredWraps.append({c + 1, sold.wraps[i]});
        const qint64 price = SalesHistory::priceTenths(c, *prices[i]);
        col.priceTenths = price;
        col.countSinceInit = *firstRead[i] + sold.sold[i];
        col.valueSinceInit = col.countSinceInit * price;
        col.countSinceReset = *lastRead[i];
        col.valueSinceReset = col.countSinceReset * price;
        r.countSinceInit += col.countSinceInit;
        r.countSinceReset += col.countSinceReset;
        r.columns.append(col);
    }
    // The total is whole yen; the file's money is kept in tenths.
    const std::size_t total = std::size_t(SalesHistory::TotalFigure);
    if (firstRead[total] && lastRead[total]) {
        r.valueSinceInit = (*firstRead[total] + sold.sold[total]) * 10;
        r.valueSinceReset = *lastRead[total] * 10;
    } else {
        r.totalUnread = true;
    }
    return r;
}

QString leftOutText(const AuditFile::Reading &reading)
{
    if (reading.leftOut.isEmpty())
        return QString();
    QStringList columns;
    for (int c : reading.leftOut)
        columns << QString::number(c);
    return QStringLiteral("コラム%1は価格か販売枚数を読み込めていないため,DEXファイルに含めていません.")
        .arg(columns.join(QStringLiteral(", ")));
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
    return OutputFile::write(file, AuditFile::format(reading), true, error);
}

QString fileName(const AuditFile::Reading &reading)
{
    // Only what any file system takes: a '/' in an asset number is no folder.
    QString name = QString::fromLatin1(AuditFile::serialNumber(reading.serial));
    for (QChar &c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('.') && c != QLatin1Char('~'))
            c = QLatin1Char('_');
    }
    return name + QLatin1Char('_') + reading.time.toString(QStringLiteral("yyyyMMdd-HHmm")) + QStringLiteral(".dex");
}

} // namespace AuditExport
