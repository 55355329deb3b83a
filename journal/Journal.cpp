// Reading the journal back: its histories, their events and figures, the
// CSV export. With the file's life, the salvage and the recording, the only
// places that speak SQL.
#include "journal/Journal.h"

#include "journal/JournalRows.h"
#include "journal/JournalCsv.h"

#include "journal/OutputFile.h"

#include <QFile>
#include <QUuid>
#include <charconv>

using namespace JournalRows;

namespace {

// The items the sales arithmetic takes: "count1" to "count16", "price1" to
// "price16" and "total", each by its exact name.
const QString FigureItems = [] {
    QStringList names{QStringLiteral("'total'")};
    for (int c = 0; c < SalesHistory::Columns; ++c)
        names << QLatin1Char('\'') + JournalItemName::count(c) + QLatin1Char('\'')
              << QLatin1Char('\'') + JournalItemName::price(c) + QLatin1Char('\'');
    return QStringLiteral("i.name IN (%1)").arg(names.join(QStringLiteral(", ")));
}();

// The figure an item gives: 0-15 the counts, 16 the total, 100-115 the
// prices; -1 for another item.
int figureOf(QByteArrayView name)
{
    if (name == "total")
        return SalesHistory::TotalFigure;
    const bool count = name.startsWith("count");
    if (!count && !name.startsWith("price"))
        return -1;
    const QByteArrayView digits = name.sliced(5);
    int column = 0;
    const auto [end, error] = std::from_chars(digits.begin(), digits.end(), column);
    if (error != std::errc() || end != digits.end() || column < 1 || column > SalesHistory::Columns
        || digits.startsWith('0'))
        return -1;
    return count ? column - 1 : 99 + column;
}

// The columns every event query selects first, in this order.
const QString EventColumns = QStringLiteral("e.id, e.time, e.kind, e.port, e.device, e.identification, e.version");


// "12" or "" (NULL) from the figures' text; false for anything else.
// std::from_chars: hundreds of thousands of figures in a long history.
bool readFigure(QByteArrayView text, std::optional<qint64> *value)
{
    if (text.isEmpty()) {
        value->reset();
        return true;
    }
    qint64 n = 0;
    const auto [end, error] = std::from_chars(text.begin(), text.end(), n);
    if (error != std::errc() || end != text.end())
        return false;
    *value = n;
    return true;
}

} // namespace

Journal::Journal()
    : connection_(QStringLiteral("journal-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Journal::~Journal()
{
    close();
}

QList<Journal::OpenWriteMode> Journal::openWriteModes()
{
    QList<OpenWriteMode> open;
    if (!QSqlDatabase::contains(connection_))
        return open;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral(
        "SELECT e.id, e.time, e.identification_bytes, e.version_bytes, e.visit,"
        " (SELECT value FROM item WHERE event = e.id AND name = 'operation'),"
        " (SELECT value FROM item WHERE event = e.id AND name = 'detail'),"
        " (SELECT reported FROM item WHERE event = e.id AND name = 'sent'),"
        " (SELECT value FROM item WHERE event = e.id AND name = 'column')"
        " FROM event e JOIN item w ON w.event = e.id AND w.name = 'write-mode'"
        " WHERE e.kind = ? AND w.value = 'open' AND (w.reported IS NULL OR w.reported = ?)"
        " ORDER BY e.id DESC"));
    q.addBindValue(JournalKind::WriteMode);
    q.addBindValue(QStringLiteral("may-be-open"));
    if (!q.exec())
        return open;
    while (q.next()) {
        open.append({q.value(0).toLongLong(), q.value(1).toString(), nonNullBytes(q.value(2).toByteArray()),
                     nonNullBytes(q.value(3).toByteArray()), q.value(5).toString(), q.value(6).toString(),
                     q.value(8).isNull() ? -1 : q.value(8).toInt() - 1, q.value(7).toString(), std::nullopt});
        if (!q.value(4).isNull())
            open.last().figures = lastFigures(QStringLiteral("e.visit = ? AND e.id < ?"), {q.value(4), q.value(0)});
    }
    return open;
}

QList<JournalController> Journal::controllers()
{
    QList<JournalController> list;
    if (!QSqlDatabase::contains(connection_))
        return list;
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // Each history's last event tells what it last reported and where it
    // was last met. Named machines first, each found through the index of
    // its own events; then the events of no machine, by identity, and the
    // visits kept apart.
    const QString columns = QStringLiteral(
        "SELECT e.identification, e.version, g.n, e.time, e.port, e.device, e.identification_bytes,"
        " e.version_bytes, e.machine, g.apartVisit, m.asset, m.location FROM ");
    const QStringList queries = {
        columns
            + QStringLiteral(
                "(SELECT (SELECT MAX(id) FROM event WHERE machine = n.id) AS last,"
                " (SELECT COUNT(*) FROM event WHERE machine = n.id) AS n, 0 AS apartVisit FROM machine n) g"
                " JOIN event e ON e.id = g.last JOIN machine m ON m.id = e.machine ORDER BY m.asset, m.location, m.id"),
        columns
            + QStringLiteral(
                "(SELECT COUNT(*) AS n, MAX(id) AS last, CASE WHEN apart = 1 THEN visit ELSE 0 END AS apartVisit"
                " FROM event WHERE machine IS NULL GROUP BY apartVisit,"
                " CASE WHEN apart = 0 THEN identification_bytes END, CASE WHEN apart = 0 THEN version_bytes END) g"
                " JOIN event e ON e.id = g.last LEFT JOIN machine m ON m.id = e.machine"
                " ORDER BY e.identification, e.version, e.identification_bytes, e.version_bytes, g.apartVisit"),
    };
    for (const QString &sql : queries) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql))
            return list;
        while (q.next()) {
            JournalController c{q.value(0).toString(), q.value(1).toString(), q.value(2).toInt(),
                                q.value(3).toString(), q.value(4).toInt(), q.value(5).toString(),
                                nonNullBytes(q.value(6).toByteArray()), nonNullBytes(q.value(7).toByteArray()),
                                q.value(8).toLongLong(), q.value(10).toString(), q.value(11).toString(),
                                q.value(9).toLongLong()};
            list.append(c);
        }
    }
    return list;
}

QString Journal::historyWhere(const JournalController &c, QVariantList *bind)
{
    if (c.machine != 0) {
        bind->append(c.machine);
        return QStringLiteral("e.machine = ?");
    }
    if (c.apartVisit != 0) {
        bind->append(c.apartVisit);
        return QStringLiteral("e.machine IS NULL AND e.apart = 1 AND e.visit = ?");
    }
    bind->append(bytesOf(c.identificationBytes, c.identification));
    bind->append(bytesOf(c.versionBytes, c.version));
    return QStringLiteral("e.machine IS NULL AND e.apart = 0 AND e.identification_bytes = ? AND e.version_bytes = ?");
}

QList<JournalController> Journal::machines()
{
    QList<JournalController> list;
    if (!QSqlDatabase::contains(connection_))
        return list;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT id, asset, location FROM machine ORDER BY asset, location, id")))
        return list;
    while (q.next()) {
        JournalController c;
        c.machine = q.value(0).toLongLong();
        c.asset = q.value(1).toString();
        c.location = q.value(2).toString();
        list.append(c);
    }
    return list;
}

QList<JournalEvent> Journal::events(const JournalController *only, bool withItems)
{
    QList<JournalEvent> list;
    if (!QSqlDatabase::contains(connection_))
        return list;
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QVariantList bind;
    const QString where = only ? QStringLiteral(" WHERE ") + historyWhere(*only, &bind) : QString();
    q.prepare(QStringLiteral("SELECT ") + EventColumns + QStringLiteral(", e.summary, e.visit, e.machine, e.apart"
                                                                       " FROM event e")
              + where + QStringLiteral(" ORDER BY e.id"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec())
        return list;
    while (q.next()) {
        JournalEvent e = eventFromRow(q);
        e.summary = q.value(7).toString();
        e.visit = q.value(8).toLongLong();
        e.machine = q.value(9).toLongLong();
        e.apart = q.value(10).toInt() != 0;
        list.append(e);
    }
    if (withItems) {
        for (JournalEvent &e : list)
            e.items = items(e.id);
    }
    return list;
}

QList<JournalItem> Journal::items(qint64 eventId)
{
    QList<JournalItem> list;
    if (!QSqlDatabase::contains(connection_))
        return list;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT name, value, sent, reported FROM item WHERE event = ? ORDER BY position"));
    q.addBindValue(eventId);
    if (!q.exec())
        return list;
    while (q.next())
        list.append({q.value(0).toString(), q.value(1), q.value(2), q.value(3)});
    return list;
}

QList<JournalEvent> Journal::countEvents(const JournalController &only)
{
    QList<JournalEvent> list;
    if (!QSqlDatabase::contains(connection_))
        return list;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    QVariantList bind;
    q.prepare(QStringLiteral(
                  "SELECT e.id, e.time, e.kind, i.name, i.value, i.reported, e.visit FROM event e"
                  " JOIN item i ON i.event = e.id WHERE ")
              + historyWhere(only, &bind)
              + QStringLiteral(" AND e.kind IN ('reading', 'counter-clear')"
                               " AND (i.name = 'total' OR i.name GLOB 'count[0-9]*' OR i.name GLOB 'price[0-9]*')"
                               " ORDER BY e.id, i.position"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec())
        return list;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (list.isEmpty() || list.last().id != id) {
            JournalEvent e;
            e.id = id;
            e.time = q.value(1).toString();
            e.kind = q.value(2).toString();
            e.visit = q.value(6).toLongLong();
            list.append(e);
        }
        list.last().items.append({q.value(3).toString(), q.value(4), {}, q.value(5)});
    }
    return list;
}

QList<SalesHistory::CountPoint> Journal::countPoints(const JournalController &only)
{
    QList<SalesHistory::CountPoint> points;
    if (!QSqlDatabase::contains(connection_))
        return points;
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QVariantList bind;
    const QString where = historyWhere(only, &bind)
        + QStringLiteral(" AND e.kind IN ('reading', 'counter-clear')");
    // One row per event, its figures as three lists gathered by SQLite (the
    // names, the values, the values reported), row for row alike: a history
    // of thousands of readings is thousands of rows, not one row per figure,
    // and no text is put together for each figure. The names are exact and
    // the values integers as this program writes them; an event with any
    // other value is read again item by item.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT e.id, e.time, e.kind, e.visit, group_concat(i.name),"
                             " group_concat(ifnull(i.value, '')), group_concat(ifnull(i.reported, ''))"
                             " FROM event e LEFT JOIN item i ON i.event = e.id AND ")
              + FigureItems + QStringLiteral(" WHERE ") + where + QStringLiteral(" GROUP BY e.id ORDER BY e.id"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec())
        return points;
    while (q.next()) {
        SalesHistory::CountPoint p;
        p.eventId = q.value(0).toLongLong();
        p.time = q.value(1).toString();
        p.clear = q.value(2).toString() == JournalKind::CounterClear;
        p.visit = q.value(3).toLongLong();
        const QByteArray names = q.value(4).toString().toLatin1();
        const QByteArray values = q.value(5).toString().toLatin1();
        const QByteArray reports = q.value(6).toString().toLatin1();
        bool hasFigure = false;
        const auto take = [&p, &hasFigure](int f, std::optional<qint64> value, std::optional<qint64> reported) {
            if (f >= 0 && f < SalesHistory::Figures) {
                p.counts[std::size_t(f)] = value;
                p.after[std::size_t(f)] = reported;
                hasFigure = true;
            } else if (f >= 100 && f < 100 + SalesHistory::Columns) {
                p.prices[std::size_t(f - 100)] = value;
            }
        };
        // The next field of a list, or nothing past its end.
        const auto next = [](const QByteArray &list, qsizetype &at) -> std::optional<QByteArrayView> {
            if (at > list.size())
                return std::nullopt;
            qsizetype end = list.indexOf(',', at);
            if (end < 0)
                end = list.size();
            const QByteArrayView field = QByteArrayView(list).sliced(at, end - at);
            at = end + 1;
            return field;
        };
        bool plain = values.count(',') == names.count(',') && reports.count(',') == names.count(',');
        qsizetype n = 0, v = 0, r = 0;
        while (plain && !names.isEmpty()) {
            const std::optional<QByteArrayView> name = next(names, n);
            const std::optional<QByteArrayView> value = next(values, v);
            const std::optional<QByteArrayView> reported = next(reports, r);
            if (!name || !value || !reported)
                break;
            std::optional<qint64> number;
            std::optional<qint64> after;
            plain = readFigure(*value, &number) && readFigure(*reported, &after);
            if (plain)
                take(figureOf(*name), number, after);
        }
        if (!plain) {
            // A value that is not a plain integer (a text, a real, one with
            // a comma): this event's items one by one, taken as the values
            // they are.
            p.counts = {};
            p.after = {};
            p.prices = {};
            hasFigure = false;
            const auto integer = [](const QVariant &value) -> std::optional<qint64> {
                bool ok = false;
                const qint64 number = value.toLongLong(&ok);
                return !value.isNull() && ok ? std::optional<qint64>(number) : std::nullopt;
            };
            for (const JournalItem &i : items(p.eventId))
                take(figureOf(i.name.toLatin1()), integer(i.value), integer(i.reported));
        }
        // A reading that got no count at all says nothing of the sales.
        if (hasFigure)
            points.append(p);
    }
    return points;
}

bool Journal::exportCsv(QIODevice &out, const JournalController *only, QString *error, qint64 visit)
{
    auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QSqlDatabase::contains(connection_) || !QSqlDatabase::database(connection_, false).isOpen())
        return failed(problem_.isEmpty() ? QStringLiteral("履歴が開かれていません") : problem_);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    QVariantList bind;
    QStringList conditions;
    if (only)
        conditions << historyWhere(*only, &bind);
    if (visit != 0) {
        conditions << QStringLiteral("e.visit = ?");
        bind.append(visit);
    }
    const QString where = conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    q.prepare(QStringLiteral("SELECT ") + EventColumns
              + QStringLiteral(", i.name, i.value, i.sent, i.reported, m.asset, m.location, e.visit"
                               " FROM event e JOIN item i ON i.event = e.id LEFT JOIN machine m ON m.id = e.machine")
              + where + QStringLiteral(" ORDER BY e.id, i.position"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec())
        return failed(q.lastError().text());
    QByteArray buffer = JournalCsv::header();
    buffer.reserve(1 << 17);
    auto flush = [&out, &buffer] {
        const bool written = out.write(buffer) == buffer.size();
        buffer.clear();
        return written;
    };
    // An event's own fields are the same on each of its rows: made once.
    qint64 eventId = -1;
    QByteArray prefix;
    QByteArray suffix;
    JournalItem item;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (id != eventId) {
            eventId = id;
            JournalEvent e = eventFromRow(q);
            e.visit = q.value(13).toLongLong();
            prefix = JournalCsv::eventPrefix(e);
            suffix = JournalCsv::eventSuffix(e, q.value(11).toString(), q.value(12).toString());
        }
        item.name = q.value(7).toString();
        item.value = q.value(8);
        item.sent = q.value(9);
        item.reported = q.value(10);
        buffer += prefix;
        JournalCsv::appendItem(buffer, item, suffix);
        if (buffer.size() > (1 << 16) && !flush())
            return failed(out.errorString());
    }
    if (q.lastError().isValid())
        return failed(q.lastError().text());
    if (!flush())
        return failed(out.errorString());
    return true;
}

bool Journal::exportCsvTo(const QString &file, const JournalController *only, bool bom, QString *error,
                          qint64 visit)
{
    auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (isJournalFile(path_, file))
        return failed(QStringLiteral("履歴のファイル %1 には出力できません").arg(path_));
    return OutputFile::write(
        file,
        [&](QIODevice &out, QString *why) {
            return (!bom || out.write("\xEF\xBB\xBF", 3) == 3) && exportCsv(out, only, why, visit);
        },
        true, error);
}

QString Journal::lastTechnician(const JournalController &history)
{
    if (!QSqlDatabase::contains(connection_))
        return QString();
    QVariantList bind;
    const QString where = historyWhere(history, &bind);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT e.technician FROM event e WHERE ") + where
              + QStringLiteral(" AND e.kind = 'reading' ORDER BY e.id DESC LIMIT 1"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    return q.exec() && q.next() ? q.value(0).toString() : QString();
}

QList<qint64> Journal::unconfirmedWrites(const JournalController &history)
{
    QList<qint64> ids;
    if (!QSqlDatabase::contains(connection_))
        return ids;
    QVariantList bind;
    const QString where = historyWhere(history, &bind);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT DISTINCT e.id FROM event e JOIN item i ON i.event = e.id WHERE ") + where
              + QStringLiteral(" AND ((e.kind = 'write-mode' AND i.name = 'write-mode' AND i.value = 'open'"
                               " AND (i.reported IS NULL OR i.reported = 'may-be-open'))"
                               " OR (e.kind = 'price' AND i.name LIKE 'price%' AND i.reported IS NULL))"
                               " ORDER BY e.id"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (q.exec())
        while (q.next())
            ids.append(q.value(0).toLongLong());
    return ids;
}
