#include "journal/Journal.h"

#include "device/ValueFormats.h"
#include "journal/JournalCsv.h"
#include "link/ShiftJis.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QUuid>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

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

// SQLite's primary result codes that mean the file itself is damaged.
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;
constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;

int primaryCode(const QSqlError &e)
{
    return e.nativeErrorCode().toInt() & 0xff;
}

// Local time with its offset spelled out, also at UTC (+00:00, not Z).
QString now()
{
    const QDateTime local = QDateTime::currentDateTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QVariant unsignedValue(std::int32_t v)
{
    return QVariant(qint64(std::uint32_t(v)));
}

// Qt binds a null string as NULL, which the journal reads as not recorded;
// a text read as empty is an empty text.
QString nonNull(const QString &s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

QByteArray nonNullBytes(const QByteArray &b)
{
    return b.isNull() ? QByteArray("", 0) : b;
}

QVariant storable(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString && v.toString().isNull())
        return QStringLiteral("");
    if (v.typeId() == QMetaType::QByteArray && v.toByteArray().isNull())
        return QByteArray("", 0);
    return v;
}

QVariant text(const std::optional<QByteArray> &raw)
{
    return raw ? QVariant(nonNull(ShiftJis::decode(*raw))) : QVariant();
}

// A controller's text as it reported it, for a text given without its bytes.
QByteArray bytesOf(const QByteArray &bytes, const QString &text)
{
    if (!bytes.isNull())
        return bytes;
    bool ok = false;
    const QByteArray encoded = ShiftJis::encode(text, &ok);
    return nonNullBytes(ok ? encoded : text.toUtf8());
}

bool isOption(ValueOrigins::Field f)
{
    return f >= ValueOrigins::Option1 && f <= ValueOrigins::Option6;
}

bool isStandardCount(ValueOrigins::Field f)
{
    return f >= ValueOrigins::StandardCount1 && f <= ValueOrigins::StandardCount8;
}

// A setting as the journal keeps it: options and standard counts as the
// numbers their hexadecimal digits give, texts decoded.
QVariant settingValue(ValueOrigins::Field f, const std::optional<QByteArray> &raw)
{
    if (!raw)
        return QVariant();
    if (isOption(f) || isStandardCount(f)) {
        bool ok = false;
        const qint64 n = raw->toLongLong(&ok, 16);
        return ok ? QVariant(n) : QVariant(QString::fromLatin1(*raw));
    }
    return nonNull(ShiftJis::decode(*raw));
}

// A whole receipt line as it was read: X digit, Y digit, text; nothing
// unless all three were read.
std::optional<QByteArray> wholeLine(const ValueOrigins &origins, int line)
{
    const auto x = origins.asRead(ValueOrigins::line(line, 0));
    const auto y = origins.asRead(ValueOrigins::line(line, 1));
    const auto t = origins.asRead(ValueOrigins::line(line, 2));
    if (!x || !y || !t)
        return std::nullopt;
    return *x + *y + *t;
}

std::optional<QByteArray> settingAsRead(const ValueOrigins &origins, ValueOrigins::Field f)
{
    for (int line = 0; line < 3; ++line)
        if (f == ValueOrigins::line(line, 2))
            return wholeLine(origins, line);
    return origins.asRead(f);
}

JournalEvent eventFor(const QString &kind, const ControllerIdentity &identity)
{
    JournalEvent e;
    e.kind = kind;
    e.port = identity.portNumber;
    e.device = identity.devicePath;
    e.identification = identity.identificationText();
    e.version = identity.versionText();
    e.identificationBytes = nonNullBytes(identity.identification);
    e.versionBytes = nonNullBytes(identity.version);
    return e;
}

// Tells SQLite not to fold the write-ahead log into the file and delete it
// when this connection closes: another instance still writes into it. The
// setting is reached in the SQLite library Qt's driver has loaded.
bool keepLogOnClose(const QSqlDatabase &db)
{
    using DbConfig = int (*)(void *, int, ...);
    static const DbConfig config = [] {
        void *library = dlopen("libsqlite3.so.0", RTLD_LAZY | RTLD_NOLOAD);
        return library ? reinterpret_cast<DbConfig>(dlsym(library, "sqlite3_db_config")) : nullptr;
    }();
    constexpr int NoCheckpointOnClose = 1006;   // SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!config || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    void *sqlite = *static_cast<void *const *>(handle.constData());
    int set = 0;
    return sqlite && config(sqlite, NoCheckpointOnClose, 1, &set) == 0 && set == 1;
}

// An event row: id, time, kind, port, device, identification, version.
JournalEvent eventFromRow(const QSqlQuery &q)
{
    JournalEvent e;
    e.id = q.value(0).toLongLong();
    e.time = q.value(1).toString();
    e.kind = q.value(2).toString();
    e.port = q.value(3).toInt();
    e.device = q.value(4).toString();
    e.identification = q.value(5).toString();
    e.version = q.value(6).toString();
    return e;
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

QString Journal::defaultPath()
{
    // Named here rather than after the running program, so that every
    // program of the package (and its tests) finds the same journal.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/quvo-utility/journal.sqlite");
}

void Journal::close()
{
    if (QSqlDatabase::contains(connection_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection_, false);
            // Only the last instance out lets SQLite check the journal out.
            if (db.isOpen() && lock_.held() && !lock_.takeAlone())
                keepLogOnClose(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection_);
    }
    lock_.release();
    ok_ = false;
}

void Journal::fail(const QString &why)
{
    ok_ = false;
    problem_ = why;
}

std::optional<QString> Journal::takeNotKeptNotice()
{
    if (ok_ || noticeGiven_)
        return std::nullopt;
    noticeGiven_ = true;
    return QStringLiteral("履歴は記録されません: %1").arg(problem_);
}

bool Journal::open(const QString &path)
{
    close();
    path_ = QFileInfo(path).absoluteFilePath();
    problem_.clear();
    setAside_.clear();
    salvaged_ = -1;
    readOnly_ = false;

    const QFileInfo file(path_);
    const QString dir = file.absolutePath();
    if (!QFileInfo(dir).isDir()) {
        // mkpath fails on a plain file standing where a directory should be.
        if (!QDir().mkpath(dir)) {
            fail(QStringLiteral("フォルダ %1 を作れません").arg(dir));
            return false;
        }
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    if (!file.exists()) {
        // Created empty first, so that it is never readable by others. Another
        // instance may have created it meanwhile.
        QFile create(path_);
        if (!create.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QFileInfo::exists(path_)) {
            fail(QStringLiteral("%1 を作れません").arg(path_));
            return false;
        }
        if (create.isOpen())
            create.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // Another instance opening the same journal at the same moment may hold
    // it briefly in ways SQLite reports at once instead of waiting: retry.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        busy_ = false;
        lock_.share(path_, BusyTimeoutMs);
        if (openAt(path_) && prepare())
            break;
        // A journal not fully prepared takes no event: it may be of a newer
        // schema, or damaged in a way that could not be set aside.
        close();
        if (!busy_ && (!QFileInfo(path_).isWritable() || !QFileInfo(dir).isWritable()))
            return openReadOnly();
        if (!busy_ || clock.elapsed() > BusyTimeoutMs)
            return false;
        QThread::msleep(20);
    }
    ok_ = true;
    return true;
}

bool Journal::openReadOnly()
{
    // Read-only media: the journal is shown and exported, never written.
    // Without room for SQLite's shared-memory file beside it, the file is
    // read as it stands (a journal closed normally holds everything).
    const QString why = QStringLiteral("%1 は読み取り専用です").arg(path_);
    for (const bool immutable : {false, true}) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(immutable ? QStringLiteral("file:%1?immutable=1")
                                           .arg(QString::fromLatin1(QUrl::toPercentEncoding(path_, "/")))
                                     : path_);
        db.setConnectOptions(immutable ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI")
                                       : QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next() && q.value(0).toInt() == SchemaVersion) {
                q.finish();
                readOnly_ = true;
                fail(why);
                return false;
            }
        }
        db = QSqlDatabase();
        close();
    }
    fail(why);
    return false;
}

bool Journal::prepare()
{
    bool damaged = false;
    if (!checkSound(&damaged)) {
        if (!damaged)
            return false;
        // Never from under another instance that has it open.
        if (lock_.held() && !lock_.takeAlone()) {
            fail(QStringLiteral("%1 は壊れていますが, ほかのユーティリティが使っています").arg(path_));
            return false;
        }
        close();
        if (!moveAside())
            return false;
        QFile create(path_);
        if (!create.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            fail(QStringLiteral("%1 を作れません").arg(path_));
            return false;
        }
        create.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        create.close();
        lock_.share(path_, BusyTimeoutMs);
        if (!openAt(path_) || !checkSound(&damaged))
            return false;
    }
    // The write-ahead log lets a reader and a writer work at once and
    // survives a process killed mid-write; a full sync makes an event
    // durable before the utility goes on (a clear is sent only after).
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !exec(QStringLiteral("PRAGMA synchronous=FULL"))
        || !migrate())
        return false;
    if (!setAside_.isEmpty() && salvaged_ < 0)
        salvage();
    return true;
}

void Journal::salvage()
{
    // What can still be read of the damaged file, read-only, event by event
    // in the order recorded; whatever fails to read ends the copy there.
    salvaged_ = 0;
    QList<JournalEvent> found;
    const QString name = connection_ + QStringLiteral("-salvage");
    {
        QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        old.setDatabaseName(setAside_);
        old.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (old.open()) {
            QSqlQuery events(old);
            events.setForwardOnly(true);
            const bool withBytes = events.exec(QStringLiteral(
                "SELECT id, time, kind, port, device, identification, version, summary, identification_bytes,"
                " version_bytes FROM event ORDER BY id"));
            if (withBytes
                || events.exec(QStringLiteral(
                    "SELECT id, time, kind, port, device, identification, version, summary FROM event ORDER BY id"))) {
                while (events.next()) {
                    JournalEvent e = eventFromRow(events);
                    e.summary = events.value(7).toString();
                    if (withBytes) {
                        e.identificationBytes = events.value(8).toByteArray();
                        e.versionBytes = events.value(9).toByteArray();
                    }
                    found.append(e);
                }
            }
            events.finish();
            QSqlQuery items(old);
            items.prepare(QStringLiteral("SELECT name, value, sent, reported FROM item WHERE event = ? ORDER BY position"));
            for (JournalEvent &e : found) {
                items.bindValue(0, e.id);
                if (items.exec())
                    while (items.next())
                        e.items.append({items.value(0).toString(), items.value(1), items.value(2), items.value(3)});
            }
            items.finish();
            old.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (found.isEmpty() || !begin())
        return;
    for (const JournalEvent &e : std::as_const(found)) {
        if (insertRows(e) == 0) {
            rollback();
            return;
        }
    }
    if (commit())
        salvaged_ = int(found.size());
}

bool Journal::openAt(const QString &path)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        fail(QStringLiteral("SQLiteのドライバがありません"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) {
        fail(db.lastError().text());
        return false;
    }
    return true;
}

bool Journal::checkSound(bool *damaged)
{
    *damaged = false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("PRAGMA quick_check(1)"))) {
        const int code = primaryCode(q.lastError());
        *damaged = code == SqliteCorrupt || code == SqliteNotADatabase;
        failWith(q.lastError());
        return false;
    }
    const bool sound = q.next() && q.value(0).toString() == QLatin1String("ok");
    q.finish();
    if (!sound) {
        *damaged = true;
        fail(QStringLiteral("%1 は壊れています").arg(path_));
        return false;
    }
    return true;
}

bool Journal::moveAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = path_ + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path_ + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(path_, target)) {
        fail(QStringLiteral("壊れた %1 を移せません").arg(path_));
        return false;
    }
    // Its log belongs with it: replayed into a new journal it would damage that too.
    for (const char *suffix : {"-wal", "-shm"})
        if (QFileInfo::exists(path_ + QLatin1String(suffix)))
            QFile::rename(path_ + QLatin1String(suffix), target + QLatin1String(suffix));
    setAside_ = target;
    return true;
}

bool Journal::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(sql)) {
        failWith(q.lastError());
        return false;
    }
    return true;
}

void Journal::failWith(const QSqlError &error)
{
    const int code = primaryCode(error);
    busy_ = code == SqliteBusy || code == SqliteLocked;
    fail(error.text());
}

bool Journal::begin()
{
    // Taking the write lock at the start means a second instance waits for
    // it here instead of failing halfway.
    return exec(QStringLiteral("BEGIN IMMEDIATE"));
}

bool Journal::commit()
{
    if (exec(QStringLiteral("COMMIT")))
        return true;
    rollback();
    return false;
}

void Journal::rollback()
{
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.exec(QStringLiteral("ROLLBACK"));
}

bool Journal::migrate()
{
    // Each step takes the journal from the version before it to its own;
    // a journal written by an older build is brought up step by step.
    static const QStringList steps[SchemaVersion] = {
        {
            QStringLiteral("CREATE TABLE event ("
                           "id INTEGER PRIMARY KEY, time TEXT NOT NULL, kind TEXT NOT NULL,"
                           "port INTEGER NOT NULL, device TEXT NOT NULL,"
                           "identification TEXT NOT NULL, version TEXT NOT NULL,"
                           "summary TEXT NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE INDEX event_by_controller ON event(identification, version, id)"),
            // Values without a declared type keep what they were given:
            // integers stay integers, texts stay texts.
            QStringLiteral("CREATE TABLE item ("
                           "event INTEGER NOT NULL REFERENCES event(id), position INTEGER NOT NULL,"
                           "name TEXT NOT NULL, value, sent, reported,"
                           "PRIMARY KEY (event, position)) WITHOUT ROWID"),
        },
        {
            // A controller is told apart by the bytes it reported: texts that
            // are not code page 932 decode alike.
            QStringLiteral("ALTER TABLE event ADD COLUMN identification_bytes BLOB"),
            QStringLiteral("ALTER TABLE event ADD COLUMN version_bytes BLOB"),
            QStringLiteral("CREATE INDEX event_by_bytes ON event(identification_bytes, version_bytes, id)"),
        },
        {
            // Machines the technician names, the visit (connection) each
            // event belongs to, and the visits kept apart until assigned.
            QStringLiteral("CREATE TABLE machine (id INTEGER PRIMARY KEY, asset TEXT NOT NULL, location TEXT NOT NULL,"
                           " identification_bytes BLOB, version_bytes BLOB)"),
            QStringLiteral("ALTER TABLE event ADD COLUMN visit INTEGER"),
            QStringLiteral("ALTER TABLE event ADD COLUMN machine INTEGER REFERENCES machine(id)"),
            QStringLiteral("ALTER TABLE event ADD COLUMN apart INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("CREATE INDEX event_by_machine ON event(machine, id)"),
            QStringLiteral("CREATE INDEX event_by_visit ON event(visit, id)"),
        },
    };
    {
        // A journal already of this version needs no write lock at all: an
        // instance holding it for a while does not stop this one opening it.
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            failWith(q.lastError());
            return false;
        }
        const int version = q.value(0).toInt();
        if (version == SchemaVersion)
            return true;
        if (version > SchemaVersion) {
            fail(QStringLiteral("%1 は新しい版のユーティリティのものです").arg(path_));
            return false;
        }
    }
    for (;;) {
        // The version is read under the write lock: another instance
        // opening the same new journal may have migrated it meanwhile.
        if (!begin())
            return false;
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            failWith(q.lastError());
            rollback();
            return false;
        }
        const int version = q.value(0).toInt();
        q.finish();   // an open statement would keep the step from committing
        if (version == SchemaVersion)
            return commit();
        if (version > SchemaVersion) {
            rollback();
            fail(QStringLiteral("%1 は新しい版のユーティリティのものです").arg(path_));
            return false;
        }
        for (const QString &sql : steps[version]) {
            if (!exec(sql)) {
                rollback();
                return false;
            }
        }
        if (version == 1 && !fillControllerBytes()) {
            rollback();
            return false;
        }
        if (!exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1)) || !commit()) {
            rollback();
            return false;
        }
    }
}

bool Journal::fillControllerBytes()
{
    // Events recorded before the bytes were kept: their texts encoded again,
    // exact for every text that decoded without a replacement.
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery pairs(db);
    if (!pairs.exec(QStringLiteral("SELECT DISTINCT identification, version FROM event"))) {
        failWith(pairs.lastError());
        return false;
    }
    QList<QPair<QString, QString>> texts;
    while (pairs.next())
        texts.append({pairs.value(0).toString(), pairs.value(1).toString()});
    pairs.finish();
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE event SET identification_bytes = ?, version_bytes = ?"
                                  " WHERE identification = ? AND version = ?"));
    for (const auto &[identification, version] : texts) {
        update.addBindValue(bytesOf(QByteArray(), identification));
        update.addBindValue(bytesOf(QByteArray(), version));
        update.addBindValue(identification);
        update.addBindValue(version);
        if (!update.exec()) {
            failWith(update.lastError());
            return false;
        }
    }
    return true;
}

qint64 Journal::record(JournalEvent event)
{
    if (readOnly_)
        return 0;
    if (!QSqlDatabase::contains(connection_) || !QSqlDatabase::database(connection_, false).isOpen()) {
        if (problem_.isEmpty())
            fail(QStringLiteral("履歴が開かれていません"));
        return 0;
    }
    if (event.time.isEmpty())
        event.time = now();
    const qint64 id = insert(event);
    if (id == 0) {
        if (missed_++ == 0)
            missedSince_ = event.time;
        return 0;
    }
    ok_ = true;
    return id;
}

void Journal::startVisit(qint64 sameMachineAs)
{
    startingVisit_ = true;
    sameMachineAs_ = sameMachineAs;
    visit_ = 0;
}

void Journal::endVisit()
{
    startingVisit_ = false;
    sameMachineAs_ = 0;
    visit_ = 0;
}

namespace {

std::optional<qint64> itemValue(const JournalEvent &e, const QString &name)
{
    for (const JournalItem &i : e.items)
        if (i.name == name && !i.value.isNull()) {
            bool ok = false;
            const qint64 v = i.value.toLongLong(&ok);
            return ok ? std::optional<qint64>(v) : std::nullopt;
        }
    return std::nullopt;
}

} // namespace

bool Journal::continues(const QString &where, const QVariantList &bind, const JournalEvent &reading)
{
    // Against the last reading or clear of the history. After a clear the
    // counts start again. Otherwise the reading goes on from it only when
    // the total did not fall (past 2^32 is a wrap) and grew by at least what
    // the counts sold at their prices, give or take a few sales made while
    // it was read (a count past 65535 is a wrap too):
    // a controller whose counts and total disagree so is another machine,
    // or one cleared elsewhere.
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT e.id, e.kind FROM event e WHERE ") + where
              + QStringLiteral(" AND e.kind IN ('reading', 'counter-clear') ORDER BY e.id DESC LIMIT 1"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec() || !q.next() || q.value(1).toString() == JournalKind::CounterClear)
        return true;
    const qint64 last = q.value(0).toLongLong();
    q.finish();
    JournalEvent before;
    before.items = items(last);
    const std::optional<qint64> total = itemValue(reading, JournalItemName::Total);
    const std::optional<qint64> lastTotal = itemValue(before, JournalItemName::Total);
    if (!total || !lastTotal)
        return true;
    constexpr qint64 Span = qint64(1) << 32;
    const qint64 grew = ((*total - *lastTotal) % Span + Span) % Span;
    if (grew >= Span / 2)
        return false;
    qint64 sold = 0;
    qint64 dearest = 0;
    for (int c = 0; c < 16; ++c) {
        const std::optional<qint64> count = itemValue(reading, JournalItemName::count(c));
        const std::optional<qint64> lastCount = itemValue(before, JournalItemName::count(c));
        std::optional<qint64> price = itemValue(reading, JournalItemName::price(c));
        const std::optional<qint64> lastPrice = itemValue(before, JournalItemName::price(c));
        if (lastPrice)
            price = price ? std::min(*price, *lastPrice) : *lastPrice;
        // In tenths of a yen, as the prices of all but columns 5-8 are.
        if (count && lastCount && price && *price > 0) {
            const qint64 tenths = SalesHistory::priceTenths(c, *price);
            sold += ((*count - *lastCount) % 65536 + 65536) % 65536 * tenths;
            dearest = std::max(dearest, tenths);
        }
    }
    // The counts and the total are read one after the other, so a sale or
    // two made meanwhile can sit in one and not yet in the other.
    return sold <= grew * 10 + 4 * dearest;
}

void Journal::placeVisit(JournalEvent &e)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const QByteArray id = bytesOf(e.identificationBytes, e.identification);
    const QByteArray version = bytesOf(e.versionBytes, e.version);
    QList<qint64> named;
    if (sameMachineAs_ != 0) {
        // A controller whose identification this utility just changed.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT machine FROM event WHERE id = ? AND machine IS NOT NULL"));
        q.addBindValue(sameMachineAs_);
        if (q.exec() && q.next())
            named.append(q.value(0).toLongLong());
    }
    if (named.isEmpty()) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT id FROM machine WHERE identification_bytes = ? AND version_bytes = ?"));
        q.addBindValue(id);
        q.addBindValue(version);
        if (q.exec())
            while (q.next())
                named.append(q.value(0).toLongLong());
    }
    e.machine = 0;
    e.apart = false;
    if (named.size() > 1) {
        e.apart = true;
    } else if (named.size() == 1) {
        if (continues(QStringLiteral("e.machine = ?"), {named.first()}, e))
            e.machine = named.first();
        else
            e.apart = true;
    } else {
        e.apart = !continues(QStringLiteral("e.machine IS NULL AND e.apart = 0 AND e.identification_bytes = ?"
                                            " AND e.version_bytes = ?"),
                             {id, version}, e);
    }
}

qint64 Journal::insert(const JournalEvent &given)
{
    if (!begin())
        return 0;
    JournalEvent event = given;
    const bool starting = startingVisit_ && event.kind == JournalKind::Reading;
    if (starting) {
        placeVisit(event);
    } else if (visit_ != 0 && bytesOf(event.identificationBytes, event.identification) == visitIdentification_
               && bytesOf(event.versionBytes, event.version) == visitVersion_) {
        event.visit = visit_;
        event.machine = visitMachine_;
        event.apart = visitApart_;
    }
    // The events that could not be kept leave a mark where they belong.
    if (missed_ > 0) {
        JournalEvent gap;
        gap.time = event.time;
        gap.kind = JournalKind::Gap;
        gap.port = event.port;
        gap.device = event.device;
        gap.identification = event.identification;
        gap.version = event.version;
        gap.identificationBytes = event.identificationBytes;
        gap.versionBytes = event.versionBytes;
        gap.visit = event.visit;
        gap.machine = event.machine;
        gap.apart = event.apart;
        gap.summary = QStringLiteral("記録できなかった記録 %1件 (%2 から)").arg(missed_).arg(missedSince_);
        gap.items = {{QStringLiteral("missed"), qint64(missed_), {}, {}},
                     {QStringLiteral("since"), missedSince_, {}, {}}};
        if (insertRows(gap) == 0) {
            rollback();
            return 0;
        }
    }
    const qint64 id = insertRows(event);
    if (id == 0) {
        rollback();
        return 0;
    }
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (starting) {
        // A visit is known by its connection's reading.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE event SET visit = ? WHERE id = ?"));
        q.addBindValue(id);
        q.addBindValue(id);
        if (!q.exec()) {
            failWith(q.lastError());
            rollback();
            return 0;
        }
    }
    if (event.machine != 0 && !noteMachineIdentity(event.machine, event)) {
        rollback();
        return 0;
    }
    if (!commit())
        return 0;
    missed_ = 0;
    if (starting) {
        startingVisit_ = false;
        sameMachineAs_ = 0;
        visit_ = id;
        visitMachine_ = event.machine;
        visitApart_ = event.apart;
        visitIdentification_ = bytesOf(event.identificationBytes, event.identification);
        visitVersion_ = bytesOf(event.versionBytes, event.version);
    }
    return id;
}

bool Journal::noteMachineIdentity(qint64 machine, const JournalEvent &e)
{
    // What the machine last reported of itself: a later visit with the same
    // identity is put with it.
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("UPDATE machine SET identification_bytes = ?, version_bytes = ? WHERE id = ?"));
    q.addBindValue(bytesOf(e.identificationBytes, e.identification));
    q.addBindValue(bytesOf(e.versionBytes, e.version));
    q.addBindValue(machine);
    if (!q.exec()) {
        failWith(q.lastError());
        return false;
    }
    return true;
}

qint64 Journal::insertRows(const JournalEvent &event)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO event (time, kind, port, device, identification, version, summary,"
                             " identification_bytes, version_bytes, visit, machine, apart)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(event.time);
    q.addBindValue(nonNull(event.kind));
    q.addBindValue(event.port);
    q.addBindValue(nonNull(event.device));
    q.addBindValue(nonNull(event.identification));
    q.addBindValue(nonNull(event.version));
    q.addBindValue(nonNull(event.summary));
    q.addBindValue(bytesOf(event.identificationBytes, event.identification));
    q.addBindValue(bytesOf(event.versionBytes, event.version));
    q.addBindValue(event.visit != 0 ? QVariant(event.visit) : QVariant(QMetaType(QMetaType::LongLong)));
    q.addBindValue(event.machine != 0 ? QVariant(event.machine) : QVariant(QMetaType(QMetaType::LongLong)));
    q.addBindValue(event.apart ? 1 : 0);
    if (!q.exec()) {
        fail(q.lastError().text());
        return 0;
    }
    const qint64 id = q.lastInsertId().toLongLong();
    QSqlQuery item(db);
    item.prepare(QStringLiteral("INSERT INTO item (event, position, name, value, sent, reported)"
                                " VALUES (?, ?, ?, ?, ?, ?)"));
    int position = 0;
    for (const JournalItem &i : std::as_const(event.items)) {
        item.bindValue(0, id);
        item.bindValue(1, position++);
        item.bindValue(2, i.name);
        item.bindValue(3, storable(i.value));
        item.bindValue(4, storable(i.sent));
        item.bindValue(5, storable(i.reported));
        if (!item.exec()) {
            fail(item.lastError().text());
            return 0;
        }
    }
    return id;
}

bool Journal::recordOutcome(qint64 eventId, const QList<JournalItem> &reported)
{
    if (eventId <= 0 || !QSqlDatabase::contains(connection_))
        return false;
    if (!begin())
        return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("UPDATE item SET reported = ? WHERE event = ? AND name = ?"));
    for (const JournalItem &i : reported) {
        q.bindValue(0, storable(i.reported));
        q.bindValue(1, eventId);
        q.bindValue(2, i.name);
        if (!q.exec()) {
            fail(q.lastError().text());
            rollback();
            return false;
        }
    }
    if (!commit())
        return false;
    ok_ = true;
    return true;
}

qint64 Journal::recordReading(const ControllerIdentity &identity, const DeviceData &data,
                              const ValueOrigins *settings, bool countsOnly, const std::bitset<Slot::Count> *read)
{
    const auto slot = [read](int s, const QVariant &value) {
        return !read || read->test(std::size_t(s)) ? value : QVariant();
    };
    JournalEvent e = eventFor(JournalKind::Reading, identity);
    const qint64 total = qint64(std::uint32_t(data.SalesTotal()));
    e.summary = countsOnly ? QStringLiteral("切断時の販売枚数 総売上%1").arg(total)
                           : QStringLiteral("読み取り 総売上%1").arg(total);
    auto add = [&e](const QString &name, const QVariant &value) { e.items.append({name, value, {}, {}}); };
    if (!countsOnly) {
        add(QStringLiteral("status"), slot(Slot::DeviceStatusFlags, data.DeviceStatusFlags()));
        for (int i = 0; i < 16; ++i)
            add(JournalItemName::price(i), slot(Slot::ColumnPrice + i, data.ColumnPrice(i)));
    }
    for (int i = 0; i < 16; ++i)
        add(JournalItemName::count(i), slot(Slot::ColumnSalesCount + i, unsignedValue(data.ColumnSalesCount(i))));
    add(JournalItemName::Total, slot(Slot::SalesTotal, unsignedValue(data.SalesTotal())));
    if (countsOnly)
        return record(e);
    for (int k = 0; k < 6; ++k) {
        const bool known = !settings || settings->asRead(ValueOrigins::option(k));
        add(settingName(ValueOrigins::option(k)),
            known ? slot(Slot::OptionSelection + k, data.OptionSelection(k)) : QVariant());
    }
    if (settings) {
        for (int line = 0; line < 3; ++line)
            add(settingName(ValueOrigins::line(line, 2)), text(wholeLine(*settings, line)));
        add(settingName(ValueOrigins::Identification), text(settings->asRead(ValueOrigins::Identification)));
    }
    add(QStringLiteral("earn-c"), slot(Slot::EarnValueC, data.EarnValueC()));
    add(QStringLiteral("coin-reply"), slot(Slot::CoinReplyValue, data.CoinReplyValue()));
    add(QStringLiteral("firmware-version"), slot(Slot::FirmwareVersion, data.FirmwareVersion()));
    return record(e);
}

qint64 Journal::recordCounterClear(const ControllerIdentity &identity, const LivePoll::Counters &before)
{
    JournalEvent e = eventFor(JournalKind::CounterClear, identity);
    e.summary = QStringLiteral("カウンタクリア 直前の総売上%1").arg(before.total);
    for (int i = 0; i < 16; ++i)
        e.items.append({JournalItemName::count(i), qint64(before.counts[std::size_t(i)]), {}, {}});
    e.items.append({JournalItemName::Total, qint64(before.total), {}, {}});
    return record(e);
}

bool Journal::recordClearOutcome(qint64 eventId, const DeviceData &readBack, const std::bitset<Slot::Count> *read)
{
    const auto slot = [read](int s, const QVariant &value) {
        return !read || read->test(std::size_t(s)) ? value : QVariant();
    };
    QList<JournalItem> reported;
    for (int i = 0; i < 16; ++i)
        reported.append({JournalItemName::count(i), {}, {},
                         slot(Slot::ColumnSalesCount + i, unsignedValue(readBack.ColumnSalesCount(i)))});
    reported.append({JournalItemName::Total, {}, {}, slot(Slot::SalesTotal, unsignedValue(readBack.SalesTotal()))});
    return recordOutcome(eventId, reported);
}

qint64 Journal::recordPrice(const ControllerIdentity &identity, int column, qint64 before, qint64 sent,
                            std::optional<qint64> reported)
{
    JournalEvent e = eventFor(JournalKind::Price, identity);
    // In the forms the window shows (8.5, not 85).
    e.summary = QStringLiteral("コラム%1の価格 %2 → %3")
                    .arg(column + 1)
                    .arg(ValueFormats::priceText(column, std::int32_t(before)).trimmed(),
                         ValueFormats::priceText(column, std::int32_t(sent)).trimmed());
    e.items.append({JournalItemName::price(column), before, sent,
                    reported ? QVariant(*reported) : QVariant()});
    return record(e);
}

qint64 Journal::recordWriteModeOpened(const ControllerIdentity &identity, const QString &operation,
                                      const QString &detail, int column, bool manual)
{
    JournalEvent e = eventFor(JournalKind::WriteMode, identity);
    e.summary = manual ? QStringLiteral("書き込みモード開始 (%1, マニュアルモードのため開いたまま)").arg(detail)
                       : QStringLiteral("書き込みモード開始 (%1)").arg(detail);
    e.items.append({QStringLiteral("write-mode"), manual ? QStringLiteral("manual") : QStringLiteral("open"), {}, {}});
    e.items.append({QStringLiteral("operation"), operation, {}, {}});
    e.items.append({QStringLiteral("detail"), detail, {}, {}});
    e.items.append({QStringLiteral("column"), column >= 0 ? QVariant(column + 1) : QVariant(), {}, {}});
    e.items.append({QStringLiteral("sent"), {}, {}, {}});
    return record(e);
}

bool Journal::recordWriteModeEnded(qint64 eventId, const QString &how, const QString &sent)
{
    QList<JournalItem> outcome{{QStringLiteral("write-mode"), {}, {}, how}};
    if (!sent.isNull())
        outcome.append({QStringLiteral("sent"), {}, {}, sent});
    return recordOutcome(eventId, outcome);
}

QList<Journal::OpenWriteMode> Journal::openWriteModes()
{
    QList<OpenWriteMode> open;
    if (!QSqlDatabase::contains(connection_))
        return open;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral(
        "SELECT e.id, e.time, e.identification_bytes, e.version_bytes,"
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
                     nonNullBytes(q.value(3).toByteArray()), q.value(4).toString(), q.value(5).toString(),
                     q.value(7).isNull() ? -1 : q.value(7).toInt() - 1, q.value(6).toString()});
    }
    return open;
}

qint64 Journal::recordSettingsWrite(const QString &kind, const ControllerIdentity &identity,
                                    const WriteProof::SentSettings &sent, const ValueOrigins &before)
{
    JournalEvent e = eventFor(kind, identity);
    // What the write changes; every field is sent, most as they were.
    int changed = 0;
    for (const WriteProof::SentSetting &s : sent)
        if (settingValue(s.field, settingAsRead(before, s.field)) != settingValue(s.field, s.value))
            ++changed;
    e.summary = QStringLiteral("%1 %2項目を変更 (送信%3項目)")
                    .arg(kind == JournalKind::StandardCount ? QStringLiteral("基準枚数の書き込み")
                                                            : QStringLiteral("設定の書き込み"))
                    .arg(changed)
                    .arg(sent.size());
    for (const WriteProof::SentSetting &s : sent)
        e.items.append({settingName(s.field), settingValue(s.field, settingAsRead(before, s.field)),
                        settingValue(s.field, s.value), {}});
    return record(e);
}

bool Journal::recordSettingsOutcome(qint64 eventId, const WriteProof::SentSettings &sent, const ValueOrigins &now)
{
    QList<JournalItem> reported;
    for (const WriteProof::SentSetting &s : sent) {
        // No read reports a standard count: the controller's acknowledgement
        // of its command and of the store is all it says of it.
        const QVariant value = isStandardCount(s.field)
            ? (s.acknowledged ? settingValue(s.field, s.value) : QVariant())
            : settingValue(s.field, settingAsRead(now, s.field));
        reported.append({settingName(s.field), {}, {}, value});
    }
    return recordOutcome(eventId, reported);
}

QString Journal::settingName(ValueOrigins::Field f)
{
    if (isOption(f))
        return QStringLiteral("option%1").arg(f - ValueOrigins::Option1 + 1);
    if (isStandardCount(f))
        return QStringLiteral("standard-count%1").arg(f - ValueOrigins::StandardCount1 + 1);
    if (f == ValueOrigins::Identification)
        return QStringLiteral("identification");
    for (int line = 0; line < 3; ++line) {
        if (f == ValueOrigins::line(line, 2))
            return QStringLiteral("line%1").arg(line + 1);
        if (f == ValueOrigins::line(line, 0))
            return QStringLiteral("line%1-x").arg(line + 1);
        if (f == ValueOrigins::line(line, 1))
            return QStringLiteral("line%1-y").arg(line + 1);
    }
    return QStringLiteral("field%1").arg(int(f));
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

qint64 Journal::nameMachine(const QString &asset, const QString &location)
{
    if (readOnly_ || !QSqlDatabase::contains(connection_))
        return 0;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("INSERT INTO machine (asset, location) VALUES (?, ?)"));
    q.addBindValue(nonNull(asset));
    q.addBindValue(nonNull(location));
    if (!q.exec()) {
        failWith(q.lastError());
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

bool Journal::renameMachine(qint64 machine, const QString &asset, const QString &location)
{
    if (readOnly_ || !QSqlDatabase::contains(connection_))
        return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("UPDATE machine SET asset = ?, location = ? WHERE id = ?"));
    q.addBindValue(nonNull(asset));
    q.addBindValue(nonNull(location));
    q.addBindValue(machine);
    return q.exec() && q.numRowsAffected() == 1;
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

bool Journal::assign(const JournalController &history, qint64 machine)
{
    if (readOnly_ || machine == 0 || !QSqlDatabase::contains(connection_) || !begin())
        return false;
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QVariantList bind;
    const QString where = historyWhere(history, &bind);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE event SET machine = ?, apart = 0 WHERE id IN (SELECT e.id FROM event e WHERE ")
              + where + QStringLiteral(")"));
    q.addBindValue(machine);
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec()) {
        failWith(q.lastError());
        rollback();
        return false;
    }
    // The machine is now met under the identity of its last event.
    QSqlQuery last(db);
    last.prepare(QStringLiteral("SELECT identification_bytes, version_bytes FROM event WHERE machine = ?"
                                " ORDER BY id DESC LIMIT 1"));
    last.addBindValue(machine);
    if (last.exec() && last.next()) {
        JournalEvent e;
        e.identificationBytes = nonNullBytes(last.value(0).toByteArray());
        e.versionBytes = nonNullBytes(last.value(1).toByteArray());
        last.finish();
        if (!noteMachineIdentity(machine, e)) {
            rollback();
            return false;
        }
    }
    // The visit under way goes on with its machine.
    if (visit_ != 0) {
        QSqlQuery v(db);
        v.prepare(QStringLiteral("SELECT machine FROM event WHERE id = ?"));
        v.addBindValue(visit_);
        if (v.exec() && v.next()) {
            visitMachine_ = v.value(0).toLongLong();
            visitApart_ = false;
        }
    }
    return commit();
}

namespace {

// The columns every event query selects first, in this order.
const QString EventColumns = QStringLiteral("e.id, e.time, e.kind, e.port, e.device, e.identification, e.version");


} // namespace

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

namespace {

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
              + QStringLiteral(", i.name, i.value, i.sent, i.reported FROM event e JOIN item i ON i.event = e.id")
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
    JournalItem item;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (id != eventId) {
            eventId = id;
            prefix = JournalCsv::eventPrefix(eventFromRow(q));
        }
        item.name = q.value(7).toString();
        item.value = q.value(8);
        item.sent = q.value(9);
        item.reported = q.value(10);
        buffer += prefix;
        JournalCsv::appendItem(buffer, item);
        if (buffer.size() > (1 << 16) && !flush())
            return failed(out.errorString());
    }
    if (q.lastError().isValid())
        return failed(q.lastError().text());
    if (!flush())
        return failed(out.errorString());
    return true;
}

bool Journal::isJournalFile(const QString &journalPath, const QString &file)
{
    const QFileInfo journal(journalPath);
    const QFileInfo target(file);
    // Through links and relative names: the folder as the system finds it.
    const QString journalDir = QFileInfo(journal.absolutePath()).canonicalFilePath();
    const QString targetDir = QFileInfo(target.absolutePath()).canonicalFilePath();
    if (journalDir.isEmpty() || targetDir != journalDir)
        return false;
    if (target.fileName().startsWith(journal.fileName()))
        return true;
    // A link in the folder that leads to the journal itself.
    const QString canonical = target.canonicalFilePath();
    return !canonical.isEmpty() && canonical == journal.canonicalFilePath();
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
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return failed(out.errorString());
    if (!out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed(out.errorString());
    if (bom && out.write("\xEF\xBB\xBF", 3) != 3)
        return failed(out.errorString());
    QString why;
    if (!exportCsv(out, only, &why, visit))
        return failed(why);
    if (!out.commit())
        return failed(out.errorString());
    return true;
}

bool Journal::backupTo(const QString &file, QString *error)
{
    auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QSqlDatabase::contains(connection_) || !QSqlDatabase::database(connection_, false).isOpen())
        return failed(problem_.isEmpty() ? QStringLiteral("履歴が開かれていません") : problem_);
    if (isJournalFile(path_, file))
        return failed(QStringLiteral("履歴のファイル %1 には出力できません").arg(path_));
    // SQLite writes the copy into an empty file of ours, made owner-only
    // first; it replaces the target only once complete.
    const QString absolute = QFileInfo(file).absoluteFilePath();
    QString temporary;
    int fd = -1;
    for (int n = 0; fd < 0 && n < 100; ++n) {
        temporary = absolute + QStringLiteral(".part-%1-%2").arg(QCoreApplication::applicationPid()).arg(n);
        fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return failed(QStringLiteral("%1 を作れません").arg(temporary));
    ::close(fd);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("VACUUM INTO ?"));
    q.addBindValue(temporary);
    if (!q.exec()) {
        QFile::remove(temporary);
        return failed(q.lastError().text());
    }
    q.finish();
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(absolute).constData()) != 0) {
        QFile::remove(temporary);
        return failed(QStringLiteral("%1 に書き込めません").arg(absolute));
    }
    return true;
}
