// The journal file's life: opening and creating it, setting a damaged one
// aside, bringing an older schema up to date, copying it whole. With the
// salvage, the recording and the queries, the only places that speak SQL.
#include "journal/Journal.h"

#include "journal/JournalRows.h"
#include "journal/OutputFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

using namespace JournalRows;

namespace {

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

} // namespace

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
    salvageDone_ = false;
    salvage_ = Salvage();
    readOnly_ = false;

    const QFileInfo file(path_);
    const QString dir = file.absolutePath();
    // SQLite's locks cannot be trusted on a network file system: two
    // instances could write at once and damage the file. Read, never kept.
    networkFileSystem_ = networkFileSystemOf(QFileInfo(dir).isDir() ? dir : QFileInfo(dir).absolutePath());
    if (!networkFileSystem_.isEmpty()) {
        if (file.exists())
            openReadOnly(QStringLiteral("%1 はネットワーク上のファイルシステム (%2) にあるため記録できません")
                             .arg(path_, networkFileSystem_));
        else
            fail(QStringLiteral("%1 はネットワーク上のファイルシステム (%2) にあるため記録できません")
                     .arg(path_, networkFileSystem_));
        return false;
    }
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

bool Journal::openReadOnly(const QString &reason)
{
    // Read-only media: the journal is shown and exported, never written.
    // Without room for SQLite's shared-memory file beside it, the file is
    // read as it stands (a journal closed normally holds everything).
    const QString why = reason.isEmpty() ? QStringLiteral("%1 は読み取り専用です").arg(path_) : reason;
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
        // Set aside as it was found: a log that holds anything is not
        // folded into it on the way.
        if (QFileInfo(path_ + QStringLiteral("-wal")).size() > 0)
            keepLogOnClose(QSqlDatabase::database(connection_, false));
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
    // Events salvaged from a journal of before the ids get theirs as the
    // migration gives them.
    if (!setAside_.isEmpty() && !salvageDone_) {
        salvageAside();
        if (begin() && (!fillEventUids() || !commit()))
            rollback();
    }
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    technician_.clear();
    if (q.exec(QStringLiteral("SELECT value FROM setting WHERE name = 'technician'")) && q.next())
        technician_ = q.value(0).toString();
    return true;
}

bool Journal::openAt(const QString &path)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        fail(QStringLiteral("SQLiteのドライバがありません"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path);
    // URIs: a damaged journal set aside is attached read-only by one.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_URI").arg(BusyTimeoutMs));
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
        {
            // An id unique across laptops, so that journals merge without
            // doubling an event, and the technician who recorded it.
            QStringLiteral("ALTER TABLE event ADD COLUMN uid TEXT"),
            QStringLiteral("ALTER TABLE event ADD COLUMN technician TEXT NOT NULL DEFAULT ''"),
            QStringLiteral("CREATE TABLE setting (name TEXT PRIMARY KEY, value TEXT NOT NULL)"),
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
        if ((version == 1 && !fillControllerBytes()) || (version == 3 && !fillEventUids())) {
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
    if (OutputFile::wayOf(file) != OutputFile::Way::Replace) {
        // Standard output, a device or a FIFO gets the copy's bytes; SQLite
        // writes the copy into a file first, in a directory of our own.
        QTemporaryDir dir;
        if (!dir.isValid())
            return failed(dir.errorString());
        const QString copy = dir.filePath(QStringLiteral("journal.sqlite"));
        if (!backupTo(copy, error))
            return false;
        QFile in(copy);
        if (!in.open(QIODevice::ReadOnly))
            return failed(in.errorString());
        return OutputFile::write(
            file,
            [&in](QIODevice &out, QString *) {
                for (QByteArray chunk; !(chunk = in.read(1 << 16)).isEmpty();)
                    if (out.write(chunk) != chunk.size())
                        return false;
                return in.error() == QFileDevice::NoError;
            },
            true, error);
    }
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

bool Journal::fillEventUids()
{
    // Events recorded before ids were given get one their content decides:
    // two copies of one journal, merged, give their events the same ids.
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery events(db);
    events.setForwardOnly(true);
    if (!events.exec(QStringLiteral("SELECT id FROM event WHERE uid IS NULL ORDER BY id"))) {
        failWith(events.lastError());
        return false;
    }
    QList<qint64> ids;
    while (events.next())
        ids.append(events.value(0).toLongLong());
    events.finish();
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE event SET uid = ? WHERE id = ?"));
    for (const qint64 id : std::as_const(ids)) {
        update.addBindValue(contentUid(db, id));
        update.addBindValue(id);
        if (!update.exec()) {
            failWith(update.lastError());
            return false;
        }
    }
    return exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS event_by_uid ON event(uid)"));
}

QString Journal::networkFileSystemName(qint64 type)
{
    // The magic numbers statfs reports (linux/magic.h and the file systems').
    switch (quint32(type)) {
    case 0x6969:
        return QStringLiteral("NFS");
    case 0x517B:
        return QStringLiteral("SMB");
    case 0xFF534D42:
        return QStringLiteral("CIFS");
    case 0xFE534D42:
        return QStringLiteral("SMB2");
    default:
        return QString();
    }
}

QString Journal::networkFileSystemOf(const QString &dir)
{
    struct statfs fs{};
    if (::statfs(QFile::encodeName(dir).constData(), &fs) != 0)
        return QString();
    return networkFileSystemName(qint64(fs.f_type));
}
