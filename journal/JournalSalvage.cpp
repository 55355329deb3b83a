// Salvaging a journal found damaged: every row of it that can still be
// read, copied into the new journal in one transaction. With the file's
// life, the recording and the queries, the only places that speak SQL.
//
// First SQLite reads what it still can, table by table through key ranges
// that step around the damage; then the file's pages are read directly for
// rows on pages that no intact page leads to any more. Everything is read
// before the new journal is written: an error of the damaged file inside
// the transaction would end the transaction with it.
#include "journal/Journal.h"

#include "journal/JournalPages.h"
#include "journal/JournalRows.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <climits>
#include <limits>
#include <map>
#include <optional>

using namespace JournalRows;
using JournalPages::Shape;

namespace {

// The damaged file, attached read-only to the new journal's connection.
const QString Old = QStringLiteral("salvaged");

// The probes of key ranges one table may spend stepping around damage; past
// them, what SQLite did not reach is left to the pages read directly.
constexpr int ProbeBudget = 5000;

constexpr qint64 Lowest = std::numeric_limits<qint64>::min();
constexpr qint64 Highest = std::numeric_limits<qint64>::max();

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// Keys read whole, from the end the probe read them from: read the other
// way, the copy would step past the range's end into what is damaged.
struct Range {
    qint64 first;
    qint64 last;
    bool down;
};

// A table of the new journal and what of it the damaged file gives.
struct Table {
    QString name;
    QStringList columns;   // those both files have, by name
    QString key;           // the first column of the primary key
    bool inOld = false;    // SQLite can read the damaged file's schema, and it has the table
    int shape = -1;        // of the damaged file's pages
    QList<Range> copied;   // key ranges SQLite read whole, in order
    qint64 lowest = Highest;   // the keys seen, by SQLite or on the pages
    qint64 highest = Lowest;

    void see(qint64 k)
    {
        lowest = std::min(lowest, k);
        highest = std::max(highest, k);
    }
    // Both keys in one range SQLite read whole, and so every key between.
    bool covers(qint64 first, qint64 last) const
    {
        const auto after = std::upper_bound(copied.begin(), copied.end(), first,
                                            [](qint64 v, const Range &r) { return v < r.first; });
        return after != copied.begin() && last <= std::prev(after)->last;
    }
    bool whole() const { return covers(Lowest, Highest); }
    // Values need their event: one without it would be shown nowhere, and
    // would go with whatever event later takes its id.
    QString needsParent() const
    {
        return name == QLatin1String("item") ? QStringLiteral("event") : QString();
    }
};

bool withoutRowid(const QString &sql)
{
    static const QRegularExpression clause(QStringLiteral("\\bWITHOUT\\s+ROWID\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return clause.match(sql.mid(sql.lastIndexOf(QLatin1Char(')')))).hasMatch();
}

QList<JournalPages::Declared> declared(const QSqlDatabase &db, const QString &schema, const QString &table)
{
    QList<JournalPages::Declared> columns;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT name, type, \"notnull\", dflt_value IS NOT NULL, pk FROM pragma_table_info(?, ?)"));
    q.addBindValue(table);
    q.addBindValue(schema);
    if (q.exec())
        while (q.next())
            columns.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toBool(), q.value(3).toBool(),
                            q.value(4).toInt()});
    return columns;
}

// How `schema` keeps the rows of its tables and indexes; empty when its
// schema cannot be read.
QList<Shape> shapesOf(const QSqlDatabase &db, const QString &schema)
{
    QList<Shape> shapes;
    QList<QStringList> objects;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT type, name, tbl_name, sql FROM %1.sqlite_master"
                                   " WHERE type IN ('table', 'index')").arg(schema)))
            return shapes;
        while (q.next())
            objects.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
        if (q.lastError().isValid())
            return {};
    }
    for (const QStringList &o : std::as_const(objects)) {
        if (o[0] == QLatin1String("table")) {
            shapes.append(JournalPages::tableShape(o[1], declared(db, schema, o[1]), withoutRowid(o[3])));
            continue;
        }
        // Every column an index keeps: those it sorts by, then the row's key.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT count(*) FROM pragma_index_xinfo(?, ?)"));
        q.addBindValue(o[1]);
        q.addBindValue(schema);
        if (q.exec() && q.next())
            shapes.append(JournalPages::indexShape(o[1], o[2], q.value(0).toInt()));
    }
    return shapes;
}

int shapeNamed(const QList<Shape> &shapes, const QString &table)
{
    for (qsizetype i = 0; i < shapes.size(); ++i)
        if (shapes[i].name == table && shapes[i].table == table)
            return int(i);
    return -1;
}

// Keys of one table of the damaged file read in order from one end of a
// range, each with every value to be copied read whole (a long value's
// overflow pages too), as the copy will read them.
class Reach {
public:
    Reach(const QSqlDatabase &db, const Table &t) : up_(db), down_(db)
    {
        QStringList whole;
        for (const QString &c : t.columns)
            whole << QStringLiteral("length(CAST(%1 AS BLOB))").arg(quoted(c));
        const QString sql = QStringLiteral("SELECT %1, total(%2) FROM %3.%4 WHERE %1 BETWEEN ? AND ? GROUP BY %1"
                                           " ORDER BY %1")
                                .arg(quoted(t.key), whole.join(QLatin1Char('+')), Old, quoted(t.name));
        up_.setForwardOnly(true);
        down_.setForwardOnly(true);
        up_.prepare(sql);
        down_.prepare(sql + QStringLiteral(" DESC"));
    }
    struct Run {
        bool whole = false;   // the range read to its end
        bool any = false;     // some keys were read: up to `last`
        qint64 last = 0;
    };
    Run run(qint64 lo, qint64 hi, bool down)
    {
        ++probes;
        QSqlQuery &q = down ? down_ : up_;
        q.bindValue(0, lo);
        q.bindValue(1, hi);
        Run r;
        if (!q.exec()) {
            q.finish();
            return r;
        }
        // A key comes out once all its rows were read.
        while (q.next()) {
            r.any = true;
            r.last = q.value(0).toLongLong();
        }
        r.whole = !q.lastError().isValid();
        q.finish();
        return r;
    }
    int probes = 0;

private:
    QSqlQuery up_;
    QSqlQuery down_;
};

// The key ranges of [lo, hi] SQLite reads whole: from either end up to the
// damage, then the part between halved, each half read from both its ends
// again, as long as keys are known to lie there; `bound` finds keys on the
// pages when SQLite found none beyond the damage.
template<typename Bound>
void findReadable(Reach &reach, Table &t, qint64 lo, qint64 hi, const Bound &bound)
{
    if (lo > hi || reach.probes >= ProbeBudget)
        return;
    const Reach::Run up = reach.run(lo, hi, false);
    if (up.whole) {
        t.copied.append({lo, hi, false});
        if (up.any)
            t.see(up.last);
        return;
    }
    if (up.any) {
        t.copied.append({lo, up.last, false});
        t.see(up.last);
        if (up.last == hi)
            return;
        lo = up.last + 1;
    }
    const Reach::Run down = reach.run(lo, hi, true);
    if (down.any) {
        t.copied.append({down.whole ? lo : down.last, hi, true});
        t.see(down.last);
        if (down.whole || down.last == lo)
            return;
        hi = down.last - 1;
    } else if (down.whole) {
        t.copied.append({lo, hi, true});
        return;
    }
    if (lo == Lowest || hi == Highest)
        bound();
    lo = std::max(lo, t.lowest);
    hi = std::min(hi, t.highest);
    if (lo >= hi)
        return;
    const qint64 mid = lo + qint64((quint64(hi) - quint64(lo)) / 2);
    findReadable(reach, t, lo, mid, bound);
    findReadable(reach, t, mid + 1, hi, bound);
}

// Events the damaged file held, counted whole through the table or through
// one of its indexes, which keep every event's id apart from the table's
// pages; -1 when neither could be read to the end.
qint64 countedEvents(const QSqlDatabase &db)
{
    QStringList through{QStringLiteral("NOT INDEXED")};
    {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type = 'index' AND tbl_name = 'event'").arg(Old)))
            while (q.next())
                through << QStringLiteral("INDEXED BY ") + quoted(q.value(0).toString());
    }
    for (const QString &way : std::as_const(through)) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT count(*) FROM %1.event %2").arg(Old, way)) && q.next())
            return q.value(0).toLongLong();
    }
    return -1;
}

// Reads the damaged file for the new journal: what SQLite reaches first,
// then what only the pages still hold; writes it inside the transaction.
class Salvager {
public:
    Salvager(const QSqlDatabase &db, const QString &aside, bool logged);
    // Everything read before anything is written.
    void read();
    bool write(QSqlError *error);
    // The tables the salvage writes, and what it reached of each.
    const QList<Table> &tables() const { return tables_; }
    const Table *table(const QString &name) const
    {
        for (const Table &t : tables_)
            if (t.name == name)
                return &t;
        return nullptr;
    }
    // The highest key of a table seen anywhere, its pages read for it; 0 for none.
    qint64 highest(const QString &name)
    {
        const Table *t = table(name);
        if (!t)
            return 0;
        seeOnPages(pageShapes_[t->shape].indexPages);
        return std::max<qint64>(t->highest, 0);
    }

private:
    std::optional<qint64> keyOf(const Table &t, const JournalPages::Cell &cell) const;
    // Keys of `t` the pages hold: bounds for the probes.
    void seeOnPages(bool indexPages);
    bool copy(const Table &t, QSqlError *error);
    bool insertFromPages(bool indexPages, QSqlError *error);
    struct Insert {
        explicit Insert(const QSqlDatabase &db) : query(db) {}
        QSqlQuery query;
        QList<qsizetype> values;   // the row's values it takes, in order
        bool parent = false;       // then the key, for its parent's row
    };
    bool insertRow(const Table &t, int shape, const JournalPages::Cell &cell, qint64 key,
                   std::map<std::pair<int, qsizetype>, Insert> *inserts, QSqlError *error);

    QSqlDatabase db_;
    QList<Table> tables_;
    QList<Shape> pageShapes_;
    QFile file_;
    QFile log_;
    std::optional<JournalPages::File> pages_;
    QSet<quint32> skip_;
    bool seen_[2] = {false, false};
};

Salvager::Salvager(const QSqlDatabase &db, const QString &aside, bool logged)
    : db_(db), file_(aside), log_(aside + QStringLiteral("-wal"))
{
    file_.open(QIODevice::ReadOnly);
    pages_.emplace(file_);
    // Pages of the free list hold what was deleted or moved; pages the log
    // holds newer copies of are SQLite's to read.
    skip_ = pages_->freePages();
    if (logged && log_.open(QIODevice::ReadOnly))
        skip_.unite(JournalPages::walPages(log_));
}

void Salvager::read()
{
    // The tables of the new journal, with the columns both files have.
    const QList<Shape> oldShapes = shapesOf(db_, Old);
    const QList<Shape> newShapes = shapesOf(db_, QStringLiteral("main"));
    // Without the damaged file's schema, its pages are judged by this
    // build's: the journal it was most likely written by.
    pageShapes_ = oldShapes.isEmpty() ? newShapes : oldShapes;
    for (const Shape &s : newShapes) {
        if (s.name != s.table || s.name.startsWith(QLatin1String("sqlite_")))
            continue;
        Table t;
        t.name = s.name;
        t.inOld = shapeNamed(oldShapes, s.name) >= 0;
        t.shape = shapeNamed(pageShapes_, s.name);
        const QList<JournalPages::Declared> mine = declared(db_, QStringLiteral("main"), s.name);
        const QList<JournalPages::Declared> theirs = t.inOld ? declared(db_, Old, s.name) : mine;
        for (const JournalPages::Declared &d : mine) {
            if (std::any_of(theirs.begin(), theirs.end(), [&d](const auto &o) { return o.name == d.name; }))
                t.columns << d.name;
            if (d.primaryKey == 1)
                t.key = d.name;
        }
        if (!t.key.isEmpty() && t.columns.contains(t.key) && t.shape >= 0)
            tables_.append(t);
    }
    for (Table &t : tables_) {
        if (!t.inOld)
            continue;
        Reach reach(db_, t);
        const bool indexPages = pageShapes_[t.shape].indexPages;
        findReadable(reach, t, Lowest, Highest, [this, indexPages] { seeOnPages(indexPages); });
        std::sort(t.copied.begin(), t.copied.end(), [](const Range &a, const Range &b) { return a.first < b.first; });
    }
}

std::optional<qint64> Salvager::keyOf(const Table &t, const JournalPages::Cell &cell) const
{
    const Shape &shape = pageShapes_[t.shape];
    for (qsizetype i = 0; i < shape.columns.size(); ++i) {
        if (shape.columns[i].name != t.key)
            continue;
        if (shape.columns[i].rowid)
            return cell.rowid;
        if (i < cell.values.size() && cell.values[i].typeId() == QMetaType::LongLong)
            return cell.values[i].toLongLong();
        return std::nullopt;
    }
    return std::nullopt;
}

void Salvager::seeOnPages(bool indexPages)
{
    if (std::exchange(seen_[indexPages], true))
        return;
    // The first and last rows of each page, of whichever table they fit.
    for (quint32 page = 2; page <= pages_->pageCount(); ++page) {
        if (skip_.contains(page))
            continue;
        const JournalPages::Kind kind = pages_->kind(page);
        const bool index = kind == JournalPages::Kind::IndexLeaf || kind == JournalPages::Kind::IndexInterior;
        if (index != indexPages || (!index && kind != JournalPages::Kind::TableLeaf))
            continue;
        for (const JournalPages::Cell &cell : pages_->ends(page))
            for (Table &t : tables_)
                if (pageShapes_[t.shape].indexPages == indexPages && JournalPages::fits(pageShapes_[t.shape], cell))
                    if (const std::optional<qint64> k = keyOf(t, cell))
                        t.see(*k);
    }
}

bool Salvager::copy(const Table &t, QSqlError *error)
{
    QStringList names;
    for (const QString &c : t.columns)
        names << quoted(c);
    // In key order, from the end the probe read: through the parent's keys
    // instead, SQLite would seek keys the damage hides ("+").
    const QString parent = t.needsParent();
    // A row the new journal cannot take is left out, not the whole salvage.
    const QString sql = QStringLiteral("INSERT OR IGNORE INTO main.%1 (%2) SELECT %2 FROM %3.%1 WHERE %4 BETWEEN ? AND ?")
                            .arg(quoted(t.name), names.join(QLatin1Char(',')), Old, quoted(t.key))
        + (parent.isEmpty() ? QString()
                            : QStringLiteral(" AND +%1 IN (SELECT id FROM main.%2)").arg(quoted(t.key), quoted(parent)))
        + QStringLiteral(" ORDER BY %1").arg(quoted(t.key));
    QSqlQuery up(db_), down(db_);
    up.prepare(sql);
    down.prepare(sql + QStringLiteral(" DESC"));
    for (const Range &r : t.copied) {
        QSqlQuery &q = r.down ? down : up;
        q.bindValue(0, r.first);
        q.bindValue(1, r.last);
        if (!q.exec()) {
            *error = q.lastError();
            return false;
        }
    }
    return true;
}

bool Salvager::insertFromPages(bool indexPages, QSqlError *error)
{
    if (std::none_of(tables_.begin(), tables_.end(), [this, indexPages](const Table &t) {
            return pageShapes_[t.shape].indexPages == indexPages && !t.whole();
        }))
        return true;
    std::map<std::pair<int, qsizetype>, Insert> inserts;
    for (quint32 page = 2; page <= pages_->pageCount(); ++page) {
        if (skip_.contains(page))
            continue;
        const JournalPages::Kind kind = pages_->kind(page);
        const bool index = kind == JournalPages::Kind::IndexLeaf || kind == JournalPages::Kind::IndexInterior;
        if (index != indexPages || (!index && kind != JournalPages::Kind::TableLeaf))
            continue;
        // A page whose first and last keys SQLite copied holds nothing more.
        const QList<JournalPages::Cell> ends = pages_->ends(page);
        if (!ends.isEmpty()
            && std::any_of(tables_.begin(), tables_.end(), [&](const Table &t) {
                   if (pageShapes_[t.shape].indexPages != indexPages || !JournalPages::fits(pageShapes_[t.shape], ends.first())
                       || !JournalPages::fits(pageShapes_[t.shape], ends.last()))
                       return false;
                   const std::optional<qint64> first = keyOf(t, ends.first());
                   const std::optional<qint64> last = keyOf(t, ends.last());
                   return first && last && t.covers(*first, *last);
               }))
            continue;
        const QList<JournalPages::Cell> cells = pages_->cells(page);
        const int shape = JournalPages::shapeOf(pageShapes_, kind, cells);
        const auto t = std::find_if(tables_.begin(), tables_.end(), [shape](const Table &t) { return t.shape == shape; });
        if (shape < 0 || t == tables_.end())
            continue;
        for (const JournalPages::Cell &cell : cells) {
            const std::optional<qint64> k = keyOf(*t, cell);
            if (k && !t->covers(*k, *k) && !insertRow(*t, shape, cell, *k, &inserts, error))
                return false;
        }
    }
    return true;
}

bool Salvager::insertRow(const Table &t, int shape, const JournalPages::Cell &cell, qint64 key,
                         std::map<std::pair<int, qsizetype>, Insert> *inserts, QSqlError *error)
{
    // One statement for each shape and length of row: a row older than a
    // column added later has fewer values.
    const auto [found, fresh] = inserts->try_emplace({shape, cell.values.size()}, db_);
    Insert &insert = found->second;
    if (fresh) {
        const QList<JournalPages::Column> &columns = pageShapes_[shape].columns;
        QStringList names;
        for (qsizetype i = 0; i < cell.values.size(); ++i)
            if (t.columns.contains(columns[i].name)) {
                names << quoted(columns[i].name);
                insert.values << i;
            }
        const QString parent = t.needsParent();
        insert.query.prepare(
            QStringLiteral("INSERT OR IGNORE INTO main.%1 (%2) SELECT %3")
                .arg(quoted(t.name), names.join(QLatin1Char(',')),
                     QStringList(names.size(), QStringLiteral("?")).join(QLatin1Char(',')))
            + (parent.isEmpty() ? QString()
                                : QStringLiteral(" WHERE EXISTS (SELECT 1 FROM main.%1 WHERE id = ?)").arg(quoted(parent))));
        insert.parent = !parent.isEmpty();
    }
    const QList<JournalPages::Column> &columns = pageShapes_[shape].columns;
    int bound = 0;
    for (const qsizetype i : std::as_const(insert.values))
        insert.query.bindValue(bound++, columns[i].rowid ? QVariant(cell.rowid) : cell.values[i]);
    if (insert.parent)
        insert.query.bindValue(bound, key);
    if (!insert.query.exec()) {
        *error = insert.query.lastError();
        return false;
    }
    return true;
}

bool Salvager::write(QSqlError *error)
{
    // Rows of table pages first: the values go only with events that came over.
    for (const bool indexPages : {false, true}) {
        for (const Table &t : std::as_const(tables_))
            if (pageShapes_[t.shape].indexPages == indexPages && !copy(t, error))
                return false;
        if (!insertFromPages(indexPages, error))
            return false;
    }
    return true;
}

} // namespace

void Journal::salvageAside()
{
    salvageDone_ = true;
    salvage_ = Salvage();
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // Read-only; with no log beside it, as it stands, so that nothing at all
    // is created or changed beside it.
    const bool logged = QFileInfo(setAside_ + QStringLiteral("-wal")).size() > 0;
    const QString uri = QStringLiteral("file:%1?%2")
                            .arg(QString::fromLatin1(QUrl::toPercentEncoding(setAside_, "/")),
                                 logged ? QStringLiteral("mode=ro") : QStringLiteral("immutable=1"));
    {
        QSqlQuery attach(db);
        attach.prepare(QStringLiteral("ATTACH DATABASE ? AS %1").arg(Old));
        attach.addBindValue(uri);
        attach.exec();
    }
    {
        Salvager salvager(db, setAside_, logged);
        salvager.read();
        const Table *events = salvager.table(QStringLiteral("event"));
        const qint64 eventsHeld = events && events->inOld ? countedEvents(db) : -1;
        QSqlError error;
        QSqlQuery q(db);
        bool done = !salvager.tables().isEmpty() && q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!done)
            error = q.lastError();
        done = done && salvager.write(&error);
        // Machines whose events came over without their names: kept, nameless,
        // under the identity their last event reported, for the technician to
        // name again.
        if (done && !q.exec(QStringLiteral(
                "INSERT INTO main.machine (id, asset, location, identification_bytes, version_bytes)"
                " SELECT e.machine, '', '', e.identification_bytes, e.version_bytes FROM main.event e"
                " WHERE e.id IN (SELECT max(id) FROM main.event WHERE machine IS NOT NULL GROUP BY machine)"
                " AND e.machine NOT IN (SELECT id FROM main.machine)"))) {
            error = q.lastError();
            done = false;
        }
        salvage_.unnamedMachines = done ? q.numRowsAffected() : 0;
        // Events of a journal older than the controllers' bytes: their texts
        // encoded again, as the migration does.
        if (done) {
            QList<QPair<QString, QString>> texts;
            if (q.exec(QStringLiteral("SELECT DISTINCT identification, version FROM main.event"
                                      " WHERE identification_bytes IS NULL OR version_bytes IS NULL")))
                while (q.next())
                    texts.append({q.value(0).toString(), q.value(1).toString()});
            q.prepare(QStringLiteral("UPDATE main.event SET identification_bytes = coalesce(identification_bytes, ?),"
                                     " version_bytes = coalesce(version_bytes, ?) WHERE identification = ?"
                                     " AND version = ? AND (identification_bytes IS NULL OR version_bytes IS NULL)"));
            for (const auto &[identification, version] : std::as_const(texts)) {
                q.addBindValue(bytesOf(QByteArray(), identification));
                q.addBindValue(bytesOf(QByteArray(), version));
                q.addBindValue(identification);
                q.addBindValue(version);
                if (!q.exec()) {
                    error = q.lastError();
                    done = false;
                    break;
                }
            }
        }
        if (done && q.exec(QStringLiteral("SELECT (SELECT count(*) FROM main.event), (SELECT count(*) FROM main.item),"
                                          " (SELECT count(*) FROM main.machine)"))
            && q.next()) {
            salvage_.events = q.value(0).toInt();
            salvage_.items = q.value(1).toInt();
            salvage_.machines = q.value(2).toInt() - salvage_.unnamedMachines;
        }
        q.finish();
        if (done && !q.exec(QStringLiteral("COMMIT"))) {
            error = q.lastError();
            done = false;
        }
        if (!done) {
            // Nothing half copied: the new journal stays empty, and says why.
            if (!salvager.tables().isEmpty())
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            salvage_ = Salvage();
            salvage_.failed = true;
            salvage_.failure = error.text();
        } else if (eventsHeld >= 0) {
            salvage_.unreachedEvents = int(std::max<qint64>(0, eventsHeld - salvage_.events));
        } else {
            // Ids are handed out one after another and events are never
            // deleted: the ids up to the highest seen anywhere (SQLite's
            // reads, the pages, the values' events) that did not come over
            // are taken as lost. A journal salvaged before counts the gaps
            // of that salvage again.
            qint64 highest = salvager.highest(QStringLiteral("event"));
            for (const Table &t : salvager.tables())
                if (t.needsParent() == QLatin1String("event"))
                    highest = std::max(highest, salvager.highest(t.name));
            salvage_.unreachedEvents = int(std::min<qint64>(std::max<qint64>(highest - salvage_.events, 0), INT_MAX));
            salvage_.unreachedExact = false;
        }
    }
    QSqlQuery(db).exec(QStringLiteral("DETACH DATABASE ") + Old);
}

QString Journal::salvageNotice() const
{
    if (setAside_.isEmpty())
        return QString();
    QString text = QStringLiteral("履歴のファイル %1 は壊れていました.\n").arg(path_);
    if (salvage_.failed) {
        text += QStringLiteral("読み取れた記録を新しい履歴に移せませんでした (%1). 新しい履歴は空です.\n")
                    .arg(salvage_.failure);
    } else {
        text += QStringLiteral("読み取れた記録 %1件 (値 %2個) と名前を付けた機械 %3台を新しい履歴に移しました.\n")
                    .arg(salvage_.events)
                    .arg(salvage_.items)
                    .arg(salvage_.machines);
        if (salvage_.unnamedMachines > 0)
            text += QStringLiteral("名前の読み取れなかった機械 %1台は名前なしで残しました.\n").arg(salvage_.unnamedMachines);
        if (salvage_.unreachedEvents > 0)
            text += (salvage_.unreachedExact ? QStringLiteral("読み取れなかった記録は %1件です.\n")
                                             : QStringLiteral("読み取れなかった記録はおよそ %1件です.\n"))
                        .arg(salvage_.unreachedEvents);
    }
    return text + QStringLiteral("壊れたファイルは %1 として残しました.").arg(setAside_);
}
