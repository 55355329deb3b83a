// The journal on disk: what a reading, a clear and a write keep, the place
// and permissions, the schema, and every fault that must leave the utility
// running with the journal "not kept" and nothing readable lost: a plain
// file where the directory goes, a read-only directory, a damaged file, a
// full disk, another instance holding it, two instances writing at once,
// a process killed while writing.
//   tst_journal --writer FILE COUNT [--as-nobody]: the child these tests start.
#include "journal/AuditExport.h"
#include "journal/Journal.h"
#include "journal/JournalPages.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ControllerIdentity machine(const char *id = "MACHINE1")
{
    ControllerIdentity c;
    c.portNumber = 12;
    c.devicePath = QStringLiteral("/dev/pts/9");
    c.identification = id;
    c.version = "ver1.23";
    c.identificationRead = c.versionRead = true;
    return c;
}

// Another connection straight to the file, as a second program would have.
struct RawSqlite {
    explicit RawSqlite(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~RawSqlite()
    {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    QVariant one(const QString &sql)
    {
        QSqlQuery q(QSqlDatabase::database(name));
        if (!q.exec(sql) || !q.next())
            return QVariant();
        return q.value(0);
    }
    bool exec(const QString &sql) { return QSqlQuery(QSqlDatabase::database(name)).exec(sql); }
    QString name = QStringLiteral("raw-%1").arg(quintptr(this));
};

// What a file dialog guessing a file's type does: open and close the file,
// which drops every POSIX lock this process holds on it.
void peekAt(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        file.read(16);
}

// The child: records COUNT readings, printing each id once committed.
// COUNT -2: a line of stdin at a time, "r" records one reading (its id),
// "p" peeks at the journal as a file dialog would ("peeked"), "q" closes
// the journal and ends ("bye").
int writer(const QString &path, int count, bool asNobody)
{
    if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return 3;
    Journal journal;
    if (!journal.open(path)) {
        if (journal.readOnly()) {
            QBuffer csv;
            csv.open(QIODevice::WriteOnly);
            std::printf("read-only %d %d\n", int(journal.events(nullptr).size()),
                        journal.exportCsv(csv, nullptr) ? int(csv.data().count('\n')) : -1);
            return 4;
        }
        std::printf("not-kept %s\n", qPrintable(journal.problem()));
        return 2;
    }
    DeviceData data;
    auto record = [&journal, &data](int i) {
        data.ColumnSalesCount(0) = i;
        const qint64 id = journal.recordReading(machine(), data, nullptr);
        if (id == 0)
            std::printf("failed %s\n", qPrintable(journal.problem()));
        else
            std::printf("%lld\n", static_cast<long long>(id));
        std::fflush(stdout);
        return id != 0;
    };
    if (count == -2) {
        char line[16];
        for (int i = 0; std::fgets(line, sizeof line, stdin); ++i) {
            if (line[0] == 'r' && !record(i))
                return 1;
            if (line[0] == 'p') {
                peekAt(path);
                std::printf("peeked\n");
                std::fflush(stdout);
            }
            if (line[0] == 'q')
                break;
        }
        journal.close();
        std::printf("bye\n");
        return 0;
    }
    for (int i = 0; i < count || count < 0; ++i)
        if (!record(i))
            return 1;
    return 0;
}

// In memory where the system offers it: a loop over hundreds of journals
// would otherwise spend most of its time waiting for the disk's syncs.
std::unique_ptr<QTemporaryDir> memoryDir()
{
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        auto dir = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tst_journal-XXXXXX"));
        if (dir->isValid())
            return dir;
    }
    return std::make_unique<QTemporaryDir>();
}

// Sends script lines to a writer started with COUNT -2 and waits, a bounded
// time, for its answer to each.
bool tell(QProcess &p, const QByteArray &lines)
{
    p.write(lines);
    QByteArray got;
    QDeadlineTimer deadline(30000);
    while (got.count('\n') < lines.count('\n') && !deadline.hasExpired())
        if (p.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            got += p.readAllStandardOutput();
    return got.count('\n') >= lines.count('\n') && !got.contains("failed");
}

// 1,000 readings of three named machines as the program records them: 500
// visits, each a reading at the connection and the counts kept at the
// disconnection; every seventh with its settings texts, every eleventh with
// values no reply carried; one machine reports an empty identification.
void recordThreeMachines(Journal &journal)
{
    const QByteArray ids[3] = {"MACHINE-A", "", QByteArray("\x8b\x40\x8a\x42", 4) + "C"};
    qint64 named[3];
    for (int m = 0; m < 3; ++m) {
        named[m] = journal.nameMachine(QStringLiteral("A-%1").arg(m + 1), QStringLiteral("駅%1番").arg(m + 1));
        QVERIFY(named[m] > 0);
    }
    int sold[3] = {};
    // A day between visits, as a round goes: time enough for what each sold.
    QDateTime at = QDateTime::currentDateTime().addDays(-600);
    journal.setClock([&at] { return at; });
    struct ClockBack {
        Journal &journal;
        ~ClockBack() { journal.setClock({}); }
    } const back{journal};
    for (int v = 0; v < 500; ++v) {
        const int m = v % 3;
        const ControllerIdentity identity = machine(ids[m].constData());
        at = at.addDays(1);
        journal.startVisit();
        for (const bool atEnd : {false, true}) {
            DeviceData data;
            ++sold[m];
            for (int c = 0; c < 16; ++c) {
                data.ColumnPrice(c) = 10 * c;
                data.ColumnSalesCount(c) = sold[m] + 1000 * c;
            }
            // What one piece of each column brings: 318 yen.
            data.SalesTotal() = 318 * sold[m];
            data.EarnValueC() = v;
            ValueOrigins origins;
            origins.read(ValueOrigins::Identification, QByteArray("\x8b\x40\x8a\x42", 4));
            origins.read(ValueOrigins::line(0, 0), "1");
            origins.read(ValueOrigins::line(0, 1), "2");
            origins.read(ValueOrigins::line(0, 2), "LINE " + QByteArray::number(v));
            std::bitset<Slot::Count> read;
            read.set();
            if (v % 11 == 0) {
                read.reset(Slot::ColumnSalesCount + 3);
                read.reset(Slot::EarnValueC);
            }
            QVERIFY(journal.recordReading(identity, data, v % 7 == 0 ? &origins : nullptr, atEnd, &read) > 0);
        }
        journal.endVisit();
        if (v < 3) {
            // The first visit of each names its machine; the later ones
            // go with it by themselves.
            JournalController history;
            history.identificationBytes = identity.identification;
            history.versionBytes = identity.version;
            QVERIFY(journal.assign(history, named[m]));
        }
    }
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void init();
    void mergeProperties();
    void networkFileSystemNamed();
    void readingKeepsExactValues();
    void counterClearBeforeAndAfter();
    void writeBeforeSentReported();
    void placeAndPermissions();
    void schemaVersion();
    void newerSchemaIsNotTouched();
    void olderSchemaMigrated_data();
    void olderSchemaMigrated();
    void cannotOpen_data();
    void cannotOpen();
    void damagedFileMovedAside();
    void damagedFileSalvaged();
    void salvageAroundEveryPage_data();
    void salvageAroundEveryPage();
    void salvageReadsTheLog();
    void pagesReadAsSqliteReads();
    void salvageCutOffLeavesJournalEmpty();
    void readOnlyJournalViewable();
    void fullDisk();
    void heldByAnotherInstance();
    void twoInstancesWriteAtOnce();
    void threeInstancesWithForeignCloses();
    void lockDroppedByForeignClose();
    void identityByBytesAndEmptyText();
    void exportsAndBackup();
    void visitsPutWithNamedMachines();
    void killedWhileWriting();
    void auditFileSinceInitialisation();

private:
    QString startWriter(QProcess &p, int count, const QStringList &extra = {});
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
    // The journal every page of which is damaged in turn, built once.
    std::unique_ptr<QTemporaryDir> built_;
};

QString TestJournal::startWriter(QProcess &p, int count, const QStringList &extra)
{
    p.start(QCoreApplication::applicationFilePath(),
            QStringList{QStringLiteral("--writer"), path_, QString::number(count)} + extra);
    return p.waitForStarted() ? QString() : p.errorString();
}

void TestJournal::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    path_ = dir_->filePath(QStringLiteral("quvo-utility/journal.sqlite"));
}

void TestJournal::readingKeepsExactValues()
{
    Journal journal;
    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    DeviceData data;
    data.ColumnSalesCount(0) = 12345;   // the screen shows 2345
    data.ColumnSalesCount(15) = 65535;
    data.ColumnPrice(2) = 1505;
    data.SalesTotal() = std::int32_t(0xFFFFFFFFu);
    ValueOrigins origins;
    origins.read(ValueOrigins::Identification, QByteArray("\x8b\x40\x8a\x42", 4));   // 機械 in code page 932
    QVERIFY(journal.recordReading(machine(), data, &origins) > 0);

    const QList<JournalEvent> events = journal.events(nullptr, true);
    QCOMPARE(events.size(), 1);
    const JournalEvent &e = events.first();
    QCOMPARE(e.kind, QStringLiteral("reading"));
    QCOMPARE(e.identification, QStringLiteral("MACHINE1"));
    QCOMPARE(e.port, 12);
    // ISO 8601 with the offset spelled out, the moment it was recorded.
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))
                 .match(e.time).hasMatch(),
             qPrintable(e.time));
    QVERIFY(std::abs(QDateTime::fromString(e.time, Qt::ISODate).secsTo(QDateTime::currentDateTime())) < 60);
    QHash<QString, QVariant> values;
    for (const JournalItem &i : e.items)
        values.insert(i.name, i.value);
    QCOMPARE(values.value(QStringLiteral("count1")).toLongLong(), 12345);
    QCOMPARE(values.value(QStringLiteral("count16")).toLongLong(), 65535);
    QCOMPARE(values.value(QStringLiteral("price3")).toLongLong(), 1505);
    QCOMPARE(values.value(QStringLiteral("total")).toLongLong(), 4294967295LL);
    QCOMPARE(values.value(QStringLiteral("identification")).toString(), QStringLiteral("機械"));
    // A line no reply carried is not recorded, not recorded as empty.
    QVERIFY(values.contains(QStringLiteral("line1")) && values.value(QStringLiteral("line1")).isNull());
}

void TestJournal::counterClearBeforeAndAfter()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    LivePoll::Counters before;
    before.counts[3] = 40000;
    before.total = 123456;
    const qint64 id = journal.recordCounterClear(machine(), before);
    QVERIFY(id > 0);
    DeviceData readBack;
    readBack.ColumnSalesCount(3) = 7;   // a clear the controller did not fully take
    QVERIFY(journal.recordClearOutcome(id, readBack));
    const QList<JournalItem> items = journal.items(id);
    QCOMPARE(items.size(), 17);
    QCOMPARE(items[3].name, QStringLiteral("count4"));
    QCOMPARE(items[3].value.toLongLong(), 40000);
    QCOMPARE(items[3].reported.toLongLong(), 7);
    QCOMPARE(items[16].value.toLongLong(), 123456);
    QCOMPARE(items[16].reported.toLongLong(), 0);
}

void TestJournal::writeBeforeSentReported()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    QVERIFY(journal.recordPrice(machine(), 2, 120, 150, 150) > 0);
    ValueOrigins before;
    before.read(ValueOrigins::option(1), "01");
    const WriteProof::SentSettings sent{{ValueOrigins::option(1), "03", true},
                                        {ValueOrigins::standardCount(4), "0BB8", true},
                                        {ValueOrigins::standardCount(5), "0010", false}};
    const qint64 id = journal.recordSettingsWrite(JournalKind::Settings, machine(), sent, before);
    ValueOrigins after;
    after.read(ValueOrigins::option(1), "02");   // the controller kept another value
    QVERIFY(journal.recordSettingsOutcome(id, sent, after));

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QVERIFY(journal.exportCsv(csv, nullptr));
    const QList<QByteArray> rows = csv.data().split('\n');
    QCOMPARE(rows.size(), 6);   // header, four items, the empty rest after the last CR LF
    QVERIFY(rows[1].endsWith(",price,price3,120,150,150,,,\r"));
    QVERIFY(rows[2].endsWith(",settings,option2,1,3,2,,,\r"));
    QVERIFY(rows[3].endsWith(",settings,standard-count5,,3000,3000,,,\r"));
    QVERIFY(rows[4].endsWith(",settings,standard-count6,,16,,,,\r"));
}

void TestJournal::placeAndPermissions()
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_->path()));
    QCOMPARE(Journal::defaultPath(), path_);
    Journal journal;
    QVERIFY(journal.open(Journal::defaultPath()));
    struct stat folder{}, file{};
    QCOMPARE(::stat(QFile::encodeName(QFileInfo(path_).absolutePath()).constData(), &folder), 0);
    QCOMPARE(::stat(QFile::encodeName(path_).constData(), &file), 0);
    QCOMPARE(folder.st_mode & 0777, 0700u);
    QCOMPARE(file.st_mode & 0777, 0600u);
}

void TestJournal::schemaVersion()
{
    {
        Journal journal;
        QVERIFY(journal.open(path_));
    }
    RawSqlite raw(path_);
    QCOMPARE(raw.one(QStringLiteral("PRAGMA user_version")).toInt(), Journal::SchemaVersion);
    QCOMPARE(raw.one(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
}

void TestJournal::newerSchemaIsNotTouched()
{
    {
        Journal journal;
        QVERIFY(journal.open(path_));
        QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    }
    {
        RawSqlite raw(path_);
        QVERIFY(raw.exec(QStringLiteral("PRAGMA user_version = 7")));
    }
    Journal journal;
    QVERIFY(!journal.open(path_));
    QVERIFY(journal.takeNotKeptNotice().has_value());
    QVERIFY(!journal.takeNotKeptNotice().has_value());   // once per run
    QCOMPARE(journal.recordReading(machine(), DeviceData(), nullptr), qint64(0));
    RawSqlite raw(path_);
    QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt(), 1);
}

// A journal the first build wrote: its events keep their controller, now
// known by the bytes its text encodes to, and take visits and machines.
void TestJournal::olderSchemaMigrated_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("migrated") << false;
    // Found damaged instead, it is salvaged by the columns both schemas
    // have into a journal of this build's, which holds the same.
    QTest::newRow("salvaged") << true;
}

void TestJournal::olderSchemaMigrated()
{
    QFETCH(bool, damaged);
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    {
        RawSqlite raw(path_);
        for (const char *sql :
             {"CREATE TABLE event (id INTEGER PRIMARY KEY, time TEXT NOT NULL, kind TEXT NOT NULL,"
              " port INTEGER NOT NULL, device TEXT NOT NULL, identification TEXT NOT NULL, version TEXT NOT NULL,"
              " summary TEXT NOT NULL DEFAULT '')",
              "CREATE INDEX event_by_controller ON event(identification, version, id)",
              "CREATE TABLE item (event INTEGER NOT NULL REFERENCES event(id), position INTEGER NOT NULL,"
              " name TEXT NOT NULL, value, sent, reported, PRIMARY KEY (event, position)) WITHOUT ROWID",
              "INSERT INTO event VALUES (1, '2026-12-01T10:00:00+09:00', 'reading', 3, '/dev/pts/1', '機械', 'v1', '')",
              "INSERT INTO item VALUES (1, 0, 'total', 500, NULL, NULL)",
              // Values no build writes: a number as text, one with a comma.
              "INSERT INTO item VALUES (1, 1, 'count1', '7', NULL, NULL)",
              "INSERT INTO item VALUES (1, 2, 'count2', '8,9', NULL, NULL)",
              "INSERT INTO item VALUES (1, 3, 'count3', 10, NULL, NULL)", "PRAGMA user_version = 1"})
            QVERIFY2(raw.exec(QString::fromUtf8(sql)), sql);
        if (damaged) {
            const int page = raw.one(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'event_by_controller'")).toInt();
            const int pageSize = raw.one(QStringLiteral("PRAGMA page_size")).toInt();
            QFile file(path_);
            QVERIFY(page > 1 && file.open(QIODevice::ReadWrite) && file.seek(qint64(page - 1) * pageSize));
            QCOMPARE(file.write(QByteArray(pageSize, '\x5a')), qint64(pageSize));
        }
    }
    Journal journal;
    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    QCOMPARE(journal.setAsidePath().isEmpty(), !damaged);
    if (damaged) {
        QCOMPARE(journal.salvaged().events, 1);
        QCOMPARE(journal.salvaged().items, 4);
        RawSqlite raw(path_);
        QCOMPARE(raw.one(QStringLiteral("PRAGMA user_version")).toInt(), Journal::SchemaVersion);
        QCOMPARE(raw.one(QStringLiteral("SELECT typeof(value) FROM item WHERE name = 'count1'")).toString(),
                 QStringLiteral("text"));
    }
    const QList<JournalController> known = journal.controllers();
    QCOMPARE(known.size(), 1);
    QCOMPARE(known.first().identificationBytes, QByteArray("\x8b\x40\x8a\x42"));
    QCOMPARE(journal.countEvents(known.first()).size(), 1);
    const QList<SalesHistory::CountPoint> points = journal.countPoints(known.first());
    QCOMPARE(points.size(), 1);
    QCOMPARE(points[0].counts[0], std::optional<qint64>(7));
    QCOMPARE(points[0].counts[1], std::optional<qint64>());
    QCOMPARE(points[0].counts[2], std::optional<qint64>(10));
    QCOMPARE(points[0].counts[SalesHistory::TotalFigure], std::optional<qint64>(500));
    // The same controller met again goes with its old events.
    ControllerIdentity again = machine("\x8b\x40\x8a\x42");
    again.version = "v1";
    QVERIFY(journal.recordReading(again, DeviceData(), nullptr) > 0);
    QCOMPARE(journal.controllers().size(), 1);
    QCOMPARE(journal.controllers().first().events, 2);
}

void TestJournal::cannotOpen_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("plain file where the directory goes") << QStringLiteral("file-for-dir");
    QTest::newRow("read-only directory") << QStringLiteral("read-only");
    QTest::newRow("directory where the file goes") << QStringLiteral("dir-for-file");
}

void TestJournal::cannotOpen()
{
    QFETCH(QString, fault);
    const QString folder = QFileInfo(path_).absolutePath();
    if (fault == QLatin1String("file-for-dir")) {
        QFile plain(folder);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("kept");
    } else if (fault == QLatin1String("read-only")) {
        // Root ignores permissions: the child drops to nobody to meet them.
        QVERIFY(QDir().mkpath(folder));
        QFile::setPermissions(dir_->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ExeOther | QFileDevice::ReadOther);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther);
        QProcess child;
        QCOMPARE(startWriter(child, 1, {QStringLiteral("--as-nobody")}), QString());
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 2);
        QVERIFY(child.readAllStandardOutput().startsWith("not-kept"));
        QVERIFY(!QFileInfo::exists(path_));
        return;
    } else {
        QVERIFY(QDir().mkpath(path_));
    }
    Journal journal;
    QVERIFY(!journal.open(path_));
    QVERIFY(!journal.ok());
    QVERIFY(!journal.problem().isEmpty());
    QCOMPARE(journal.recordReading(machine(), DeviceData(), nullptr), qint64(0));
    QVERIFY(journal.takeNotKeptNotice().has_value());
    if (fault == QLatin1String("file-for-dir")) {
        QFile plain(folder);
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("kept"));
    }
}

void TestJournal::damagedFileMovedAside()
{
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    QFile damaged(path_);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    const QByteArray garbage = QByteArray("SQLite format 3").append('\0') + QByteArray(4080, '\x5a');
    damaged.write(garbage);
    damaged.close();

    Journal journal;
    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    // The old file is kept whole under a name carrying the time.
    const QString aside = journal.setAsidePath();
    QVERIFY(QFileInfo(aside).fileName().startsWith(QStringLiteral("journal.sqlite.damaged-")));
    QVERIFY(aside.contains(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd"))));
    QFile kept(aside);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), garbage);
    // Nothing could be read, and the box says so.
    QVERIFY(!journal.salvaged().failed);
    QCOMPARE(journal.salvaged().events, 0);
    const QString notice = journal.salvageNotice();
    QVERIFY2(notice.contains(QStringLiteral("読み取れた記録 0件 (値 0個) と名前を付けた機械 0台を新しい履歴に移しました"))
                 && notice.contains(aside),
             qPrintable(notice));
}

// A damaged page that leaves the events readable: they are copied into the
// new journal, the damaged file kept beside it.
void TestJournal::damagedFileSalvaged()
{
    {
        Journal journal;
        QVERIFY(journal.open(path_));
        for (int i = 0; i < 5; ++i)
            QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    }
    int page = 0, pageSize = 0;
    {
        RawSqlite raw(path_);
        page = raw.one(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'event_by_controller'")).toInt();
        pageSize = raw.one(QStringLiteral("PRAGMA page_size")).toInt();
    }
    QVERIFY(page > 1 && pageSize > 0);
    QFile file(path_);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(page - 1) * pageSize));
    file.write(QByteArray(pageSize, '\x5a'));
    file.close();

    Journal journal;
    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    QVERIFY(QFileInfo::exists(journal.setAsidePath()));
    QCOMPARE(journal.salvaged().events, 5);
    const QList<JournalEvent> events = journal.events(nullptr, true);
    QCOMPARE(events.size(), 5);
    QCOMPARE(events.last().items.size(), 17 + 1 + 16 + 6 + 3);
    QCOMPARE(journal.controllers().size(), 1);
    const QString notice = journal.salvageNotice();
    QVERIFY2(notice.startsWith(QStringLiteral("履歴のファイル %1 は壊れていました.\n読み取れた記録 5件 (値 215個) と"
                                              "名前を付けた機械 0台を新しい履歴に移しました.\n壊れたファイルは ")
                                   .arg(path_)),
             qPrintable(notice));
}

// A journal left with its log (the program killed) and a page of the file
// overwritten: what SQLite reads through the log comes over too, the events
// the log alone holds among them, and the log stays as it was.
void TestJournal::salvageReadsTheLog()
{
    const QString live = dir_->filePath(QStringLiteral("live.sqlite"));
    Journal journal;
    QVERIFY(journal.open(live));
    for (int i = 0; i < 60; ++i) {
        DeviceData data;
        data.ColumnSalesCount(0) = i;
        QVERIFY(journal.recordReading(machine(), data, nullptr) > 0);
        if (i == 39) {
            RawSqlite raw(live);
            QVERIFY(raw.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        }
    }
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    QVERIFY(QFile::copy(live, path_) && QFile::copy(live + QStringLiteral("-wal"), path_ + QStringLiteral("-wal")));
    journal.close();
    int page = 0, pageSize = 0;
    {
        // The values of the first events: a page no later event changed.
        RawSqlite raw(live);
        page = raw.one(QStringLiteral("SELECT pageno FROM dbstat WHERE name = 'item' AND pagetype = 'leaf'"
                                      " ORDER BY path LIMIT 1")).toInt();
        pageSize = raw.one(QStringLiteral("PRAGMA page_size")).toInt();
    }
    QFile file(path_);
    QVERIFY(page > 1 && file.open(QIODevice::ReadWrite) && file.seek(qint64(page - 1) * pageSize));
    QCOMPARE(file.write(QByteArray(pageSize, '\x5a')), qint64(pageSize));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray damaged = file.readAll();
    file.close();
    QFile log(path_ + QStringLiteral("-wal"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    log.close();
    QVERIFY(logged.size() > pageSize);

    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    QVERIFY(!journal.setAsidePath().isEmpty());
    QCOMPARE(journal.salvaged().events, 60);
    QCOMPARE(journal.salvaged().unreachedEvents, 0);
    const QList<JournalEvent> events = journal.events(nullptr, true);
    QCOMPARE(events.size(), 60);
    QCOMPARE(events.last().items.size(), 43);
    QCOMPARE(events.last().items[17].value, QVariant(qint64(59)));   // count1
    QVERIFY(journal.salvaged().items < 60 * 43);
    QFile kept(journal.setAsidePath());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QVERIFY(kept.readAll() == damaged);
    QFile keptLog(journal.setAsidePath() + QStringLiteral("-wal"));
    QVERIFY(keptLog.open(QIODevice::ReadOnly));
    QVERIFY(keptLog.readAll() == logged);
}

// The rows a file's pages give, bound as the salvage binds them, are those
// SQLite reads, every one once: integers of each width and sign, reals,
// texts, empty blobs, and texts and blobs that go on in overflow pages, on
// pages of 512 bytes where values sit on inner pages too.
void TestJournal::pagesReadAsSqliteReads()
{
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    const QStringList values{"NULL", "0", "1", "-1", "127", "-32768", "8388607", "-2147483648", "140737488355327",
                             "-9223372036854775808", "9223372036854775807", "2.5", "-1e300", "''", "'機械'", "X''",
                             "X'00ff'", "randomblob(1500)", "replace(hex(zeroblob(700)), '0', '長')"};
    RawSqlite raw(path_);
    QVERIFY(raw.exec(QStringLiteral("PRAGMA page_size = 512")));
    QVERIFY(raw.exec(QStringLiteral("CREATE TABLE event (id INTEGER PRIMARY KEY, summary TEXT NOT NULL)")));
    QVERIFY(raw.exec(QStringLiteral("CREATE TABLE item (event INTEGER NOT NULL, position INTEGER NOT NULL,"
                                    " name TEXT NOT NULL, value, sent, reported, PRIMARY KEY (event, position))"
                                    " WITHOUT ROWID")));
    QVERIFY(raw.exec(QStringLiteral("BEGIN")));
    for (int round = 0; round < 20; ++round)
        for (qsizetype i = 0; i < values.size(); ++i) {
            const qsizetype n = round * values.size() + i;
            QVERIFY(raw.exec(QStringLiteral("INSERT INTO item VALUES (%1, %2, 'n%1', %3, %3, NULL)")
                                 .arg(n / 7).arg(n % 7).arg(values[i])));
            QVERIFY(raw.exec(QStringLiteral("INSERT INTO event VALUES (%1, quote(%2))").arg(n + 1).arg(values[i])));
        }
    QVERIFY(raw.exec(QStringLiteral("COMMIT")));
    QFile file(path_);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const JournalPages::File pages(file);
    QVERIFY(pages.headerValid());
    QCOMPARE(pages.pageSize(), 512);
    QSqlQuery item(QSqlDatabase::database(raw.name));
    item.prepare(QStringLiteral("SELECT COUNT(*) FROM item WHERE event = ? AND position = ? AND name = ?"
                                " AND quote(value) = quote(?) AND quote(sent) = quote(?) AND reported IS ?"));
    QSqlQuery event(QSqlDatabase::database(raw.name));
    event.prepare(QStringLiteral("SELECT COUNT(*) FROM event WHERE id = ? AND summary = ? AND typeof(?) = 'null'"));
    int items = 0, events = 0;
    for (quint32 page = 2; page <= pages.pageCount(); ++page) {
        int broken = 0;
        for (const JournalPages::Cell &cell : pages.cells(page, &broken)) {
            const bool isItem = pages.kind(page) != JournalPages::Kind::TableLeaf;
            QSqlQuery &q = isItem ? item : event;
            if (isItem) {
                QCOMPARE(cell.values.size(), 6);
                for (int v = 0; v < 6; ++v)
                    q.bindValue(v, cell.values[v]);
            } else {
                QCOMPARE(cell.values.size(), 2);
                q.bindValue(0, cell.rowid);
                q.bindValue(1, cell.values[1]);
                q.bindValue(2, cell.values[0]);
            }
            QVERIFY2(q.exec() && q.next() && q.value(0).toInt() == 1,
                     qPrintable(QStringLiteral("page %1: %2 %3").arg(page).arg(cell.rowid).arg(cell.values.value(0).toString())));
            ++(isItem ? items : events);
        }
        QCOMPARE(broken, 0);
    }
    QCOMPARE(items, raw.one(QStringLiteral("SELECT COUNT(*) FROM item")).toInt());
    QCOMPARE(events, raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt());
}

// A salvage that cannot be written whole (the disk full part of the way)
// leaves the new journal empty, says so, and the journal goes on.
void TestJournal::salvageCutOffLeavesJournalEmpty()
{
    {
        Journal journal;
        QVERIFY(journal.open(path_));
        for (int i = 0; i < 200; ++i)
            QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    }
    int page = 0, pageSize = 0;
    {
        RawSqlite raw(path_);
        page = raw.one(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'event_by_controller'")).toInt();
        pageSize = raw.one(QStringLiteral("PRAGMA page_size")).toInt();
    }
    QFile file(path_);
    QVERIFY(page > 1 && file.open(QIODevice::ReadWrite) && file.seek(qint64(page - 1) * pageSize));
    QCOMPARE(file.write(QByteArray(pageSize, '\x5a')), qint64(pageSize));
    file.close();

    // Room for the new journal's schema, not for the 8,600 values.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{rlim_t(16 * pageSize), saved.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    Journal journal;
    const bool opened = journal.open(path_);
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY2(opened, qPrintable(journal.problem()));
    QVERIFY(journal.salvaged().failed);
    QVERIFY(QFileInfo(journal.setAsidePath()).size() > 16 * pageSize);
    QCOMPARE(journal.events(nullptr).size(), 0);
    const QString notice = journal.salvageNotice();
    QVERIFY2(notice.contains(QStringLiteral("読み取れた記録を新しい履歴に移せませんでした")) && notice.contains(QStringLiteral("新しい履歴は空です")),
             qPrintable(notice));
    QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    QCOMPARE(journal.events(nullptr).size(), 1);
}

// Every page overwritten in turn, the first too: every row on another page
// comes back exactly as recorded, with the visit and machine of each event,
// the machines with their names unless theirs was the page lost; the box
// counts what came over and what did not.
void TestJournal::salvageAroundEveryPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("holds");   // the table or index the page is of
    QTest::addColumn<int>("rows");        // its rows
    if (!built_) {
        built_ = memoryDir();
        Journal journal;
        QVERIFY(journal.open(built_->filePath(QStringLiteral("journal.sqlite"))));
        recordThreeMachines(journal);
        QCOMPARE(journal.events(nullptr).size(), 1000);
        QCOMPARE(journal.machines().size(), 3);
    }
    const QString source = built_->filePath(QStringLiteral("journal.sqlite"));
    RawSqlite raw(source);
    QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event WHERE machine IS NULL OR visit IS NULL")).toInt(), 0);
    QSqlQuery pages(QSqlDatabase::database(raw.name));
    // SQLite's page statistics name the b-tree of each page.
    QVERIFY2(pages.exec(QStringLiteral("SELECT pageno, name, ncell FROM dbstat ORDER BY pageno")),
             qPrintable(pages.lastError().text()));
    int listed = 0;
    for (; pages.next(); ++listed)
        QTest::addRow("page %d", pages.value(0).toInt())
            << pages.value(0).toInt() << pages.value(1).toString() << pages.value(2).toInt();
    QCOMPARE(qint64(listed), QFileInfo(source).size() / raw.one(QStringLiteral("PRAGMA page_size")).toInt());
}

void TestJournal::salvageAroundEveryPage()
{
    QFETCH(int, page);
    QFETCH(QString, holds);
    QFETCH(int, rows);
    const QString source = built_->filePath(QStringLiteral("journal.sqlite"));
    int pageSize = 0;
    {
        RawSqlite raw(source);
        pageSize = raw.one(QStringLiteral("PRAGMA page_size")).toInt();
    }
    QVERIFY(pageSize >= 512);
    QCOMPARE(QFileInfo(source).size() % pageSize, 0);
    QDir row(built_->filePath(QStringLiteral("row")));
    QVERIFY(row.removeRecursively() && row.mkpath(QStringLiteral(".")));
    path_ = row.filePath(QStringLiteral("journal.sqlite"));
    QVERIFY(QFile::copy(source, path_));
    QByteArray damaged;
    {
        QFile file(path_);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray garbage(pageSize, '\0');
        QRandomGenerator(quint32(page)).fillRange(reinterpret_cast<quint32 *>(garbage.data()), pageSize / 4);
        QVERIFY(file.seek(qint64(page - 1) * pageSize));
        QCOMPARE(file.write(garbage), qint64(pageSize));
        QVERIFY(file.seek(0));
        damaged = file.readAll();
    }

    Journal journal;
    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    const QString where = QStringLiteral("page %1 (%2): ").arg(page).arg(holds);
    QVERIFY2(!journal.setAsidePath().isEmpty(), qPrintable(where + QStringLiteral("not found damaged")));
    // The damaged file as it was, nothing beside it.
    QFile aside(journal.setAsidePath());
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QVERIFY2(aside.readAll() == damaged, qPrintable(where + QStringLiteral("the damaged file was changed")));
    QVERIFY(!QFileInfo::exists(journal.setAsidePath() + QStringLiteral("-wal")));
    const Journal::Salvage &salvaged = journal.salvaged();
    QVERIFY2(!salvaged.failed, qPrintable(where + salvaged.failure));

    RawSqlite raw(path_);
    QVERIFY(raw.exec(QStringLiteral("ATTACH DATABASE '%1' AS recorded").arg(source)));
    auto count = [&raw](const QString &sql) { return raw.one(sql).toInt(); };
    // Events of the new journal not exactly as recorded: a value of another
    // kind, a text for an integer, an empty blob for NULL all differ.
    QVERIFY2(count(QStringLiteral("SELECT COUNT(*) FROM (SELECT * FROM main.event EXCEPT SELECT * FROM recorded.event)"))
                 == 0,
             qPrintable(where + QStringLiteral("events not as recorded")));
    // The values recorded of the events that came over, those of them that
    // came over, and those that came over changed.
    QSqlQuery values(QSqlDatabase::database(raw.name));
    QVERIFY(values.exec(QStringLiteral(
        "SELECT COUNT(*), COUNT(n.event), TOTAL(n.event IS NOT NULL AND (n.name IS NOT r.name"
        " OR n.value IS NOT r.value OR typeof(n.value) <> typeof(r.value) OR n.sent IS NOT r.sent"
        " OR typeof(n.sent) <> typeof(r.sent) OR n.reported IS NOT r.reported OR typeof(n.reported) <> typeof(r.reported)))"
        " FROM main.event e JOIN recorded.item r ON r.event = e.id"
        " LEFT JOIN main.item n ON n.event = r.event AND n.position = r.position")));
    QVERIFY(values.next());
    const int cameOver = values.value(1).toInt();
    const int lostItems = values.value(0).toInt() - cameOver;
    QVERIFY2(values.value(2).toInt() == 0, qPrintable(where + QStringLiteral("values not as recorded")));
    values.finish();
    const int events = count(QStringLiteral("SELECT COUNT(*) FROM main.event"));
    const int items = count(QStringLiteral("SELECT COUNT(*) FROM main.item"));
    QCOMPARE(items, cameOver);
    const int recordedItems = count(QStringLiteral("SELECT COUNT(*) FROM recorded.item"));
    QVERIFY2(2 * items >= recordedItems,
             qPrintable(where + QStringLiteral("%1 of %2 values").arg(items).arg(recordedItems)));
    // Only the rows the page held are lost: an inner page of a table holds
    // none, of the values' table (kept on index pages) some.
    QVERIFY2(1000 - events <= (holds == QLatin1String("event") ? rows : 0),
             qPrintable(where + QStringLiteral("%1 events lost").arg(1000 - events)));
    QVERIFY2(lostItems <= (holds == QLatin1String("item") ? rows : 0),
             qPrintable(where + QStringLiteral("%1 values of events kept lost").arg(lostItems)));
    if (holds != QLatin1String("machine")) {
        QVERIFY2(count(QStringLiteral("SELECT COUNT(*) FROM (SELECT * FROM main.machine INTERSECT"
                                      " SELECT * FROM recorded.machine)"))
                     == 3,
                 qPrintable(where + QStringLiteral("machines not as named")));
    } else {
        // Their names lost with the page; their events stay together under
        // each, nameless.
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM main.machine WHERE asset = '' AND location = ''"
                                      " AND id IN (SELECT id FROM recorded.machine)")),
                 3);
    }
    QCOMPARE(salvaged.events, events);
    QCOMPARE(salvaged.items, items);
    QCOMPARE(salvaged.machines, holds == QLatin1String("machine") ? 0 : 3);
    QCOMPARE(salvaged.unnamedMachines, holds == QLatin1String("machine") ? 3 : 0);
    QCOMPARE(salvaged.events + salvaged.unreachedEvents, 1000);
    // Counted through an index unless the schema itself was lost.
    QCOMPARE(salvaged.unreachedExact, page != 1);
    // Every event that came over is shown with its machine.
    const QList<JournalController> histories = journal.controllers();
    QCOMPARE(histories.size(), 3);
    int shown = 0;
    for (const JournalController &c : histories) {
        QVERIFY(c.machine != 0);
        shown += c.events;
    }
    QCOMPARE(shown, events);
}

// On read-only media (a folder and file nobody may write): shown and
// exported, nothing recorded, nothing created beside it.
void TestJournal::readOnlyJournalViewable()
{
    {
        Journal journal;
        QVERIFY(journal.open(path_));
        for (int i = 0; i < 3; ++i)
            QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    }
    const QString folder = QFileInfo(path_).absolutePath();
    QFile::remove(JournalLock::lockPath(path_));
    QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0 || geteuid() != 0);
    QVERIFY(::chown(QFile::encodeName(path_).constData(), 65534, 65534) == 0 || geteuid() != 0);
    QFile::setPermissions(dir_->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ExeOther | QFileDevice::ReadOther);
    QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther);
    QProcess child;
    QCOMPARE(startWriter(child, 1, {QStringLiteral("--as-nobody")}), QString());
    QVERIFY(child.waitForFinished(30000));
    const QByteArray out = child.readAllStandardOutput();
    QCOMPARE(child.exitCode(), 4);
    QCOMPARE(out, QByteArray("read-only 3 130\n"));   // the header and 3 x 43 items
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("journal.sqlite")});
}

void TestJournal::fullDisk()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    // No file of this process may grow past the size the log has now: the
    // next events meet a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{rlim_t(QFileInfo(path_ + QStringLiteral("-wal")).size()), saved.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    qint64 id = 1;
    for (int i = 0; i < 50 && id != 0; ++i)
        id = journal.recordReading(machine(), DeviceData(), nullptr);
    setrlimit(RLIMIT_FSIZE, &saved);
    QCOMPARE(id, qint64(0));
    QVERIFY(!journal.ok());
    QVERIFY(journal.takeNotKeptNotice().has_value());
    // Room again: the journal goes on, with the first event in it, and a
    // mark of the events it could not keep just before the next.
    const qint64 next = journal.recordReading(machine(), DeviceData(), nullptr);
    QVERIFY(next > 0);
    QVERIFY(journal.ok());
    const QList<JournalEvent> events = journal.events(nullptr);
    QVERIFY(events.size() >= 3);
    QCOMPARE(events.last().id, next);
    const JournalEvent &gap = events[events.size() - 2];
    QCOMPARE(gap.kind, QStringLiteral("gap"));
    QVERIFY2(gap.summary.contains(QStringLiteral(" 1件")), qPrintable(gap.summary));
    journal.close();
    RawSqlite raw(path_);
    QCOMPARE(raw.one(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QVERIFY(raw.one(QStringLiteral("SELECT COUNT(*) FROM event WHERE id = 1")).toInt() == 1);
}

void TestJournal::heldByAnotherInstance()
{
    {
        Journal first;
        QVERIFY(first.open(path_));
    }
    RawSqlite other(path_);
    QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    Journal journal;
    journal.open(path_);
    QCOMPARE(journal.recordReading(machine(), DeviceData(), nullptr), qint64(0));
    QVERIFY(!journal.ok());
    QVERIFY(journal.takeNotKeptNotice().has_value());
    other.exec(QStringLiteral("ROLLBACK"));
    QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
}

void TestJournal::twoInstancesWriteAtOnce()
{
    QProcess a, b;
    QCOMPARE(startWriter(a, 150), QString());
    QCOMPARE(startWriter(b, 150), QString());
    QVERIFY(a.waitForFinished(120000) && b.waitForFinished(120000));
    QVERIFY2(a.exitCode() == 0, a.readAllStandardOutput().right(200).constData());
    QVERIFY2(b.exitCode() == 0, b.readAllStandardOutput().right(200).constData());
    RawSqlite raw(path_);
    QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt(), 300);
    QCOMPARE(raw.one(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

// The sequence that lost events: one instance's SQLite locks dropped by a
// peek while it stays open; a second records and closes, the first records
// on, a third records and closes, and the first closes last.
void TestJournal::threeInstancesWithForeignCloses()
{
    QProcess a, b, c;
    QCOMPARE(startWriter(a, -2), QString());
    QVERIFY(tell(a, "r\nr\np\n"));
    QCOMPARE(startWriter(b, -2), QString());
    QVERIFY(tell(b, "r\nr\nq\n"));
    QVERIFY(tell(a, "r\nr\n"));
    QCOMPARE(startWriter(c, -2), QString());
    QVERIFY(tell(c, "r\nr\nq\n"));
    QVERIFY(tell(a, "q\n"));
    for (QProcess *p : {&a, &b, &c})
        QVERIFY(p->waitForFinished(30000) && p->exitCode() == 0);
    RawSqlite raw(path_);
    QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt(), 8);
    QCOMPARE(raw.one(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

// This instance's locks dropped by a peek, another instance opens and
// closes the journal (the command line's export), this one writes on and
// is killed: what is on disk then holds every event.
void TestJournal::lockDroppedByForeignClose()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    peekAt(path_);
    QProcess other;
    QCOMPARE(startWriter(other, 0), QString());
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 0);
    for (int i = 0; i < 3; ++i)
        QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    // The files as a kill would leave them.
    QTemporaryDir copy;
    for (const char *suffix : {"", "-wal"})
        QFile::copy(path_ + QLatin1String(suffix), copy.filePath(QStringLiteral("j.sqlite")) + QLatin1String(suffix));
    RawSqlite raw(copy.filePath(QStringLiteral("j.sqlite")));
    QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt(), 4);
}

void TestJournal::identityByBytesAndEmptyText()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    ValueOrigins origins;
    origins.read(ValueOrigins::Identification, QByteArray(""));
    // Two texts that are not code page 932 and decode alike.
    QVERIFY(journal.recordReading(machine("\xED"), DeviceData(), &origins) > 0);
    QVERIFY(journal.recordReading(machine("\xF5"), DeviceData(), nullptr) > 0);
    const QList<JournalController> known = journal.controllers();
    QCOMPARE(known.size(), 2);
    QCOMPARE(journal.events(&known[0]).size(), 1);
    QCOMPARE(journal.countEvents(known[1]).size(), 1);
    const QList<JournalItem> items = journal.events(&known[0], true).first().items;
    const auto identification = std::find_if(items.begin(), items.end(), [](const JournalItem &i) {
        return i.name == QLatin1String("identification");
    });
    QVERIFY(identification != items.end());
    QVERIFY(!identification->value.isNull());
    QCOMPARE(identification->value.toString(), QString());
}

void TestJournal::exportsAndBackup()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    QVERIFY(journal.recordReading(machine(), DeviceData(), nullptr) > 0);
    const QString folder = QFileInfo(path_).absolutePath();
    // Never over the journal or beside it under its name.
    for (const QString &name : {QStringLiteral("journal.sqlite"), QStringLiteral("journal.sqlite-wal"),
                                QStringLiteral("journal.sqlite.csv")}) {
        QString error;
        QVERIFY2(!journal.exportCsvTo(folder + QLatin1Char('/') + name, nullptr, false, &error), qPrintable(name));
        QVERIFY(!error.isEmpty());
        QVERIFY(!journal.backupTo(folder + QStringLiteral("/./") + name));
    }
    QCOMPARE(journal.events(nullptr).size(), 1);
    // Owner-only, a byte-order mark when asked; the backup a journal of its own.
    const QString csv = dir_->filePath(QStringLiteral("out.csv"));
    QVERIFY(journal.exportCsvTo(csv, nullptr, true));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("\xEF\xBB\xBFtime,port,"));
    const QString copy = dir_->filePath(QStringLiteral("backup.sqlite"));
    QVERIFY(journal.backupTo(copy));
    for (const QString &f : {csv, copy}) {
        struct stat st{};
        QCOMPARE(::stat(QFile::encodeName(f).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }
    RawSqlite raw(copy);
    QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt(), 1);
    // A file is replaced only by a complete output: an export or a copy
    // that fails (here, the journal closed under it) leaves it as it was.
    const QString old = dir_->filePath(QStringLiteral("old.csv"));
    {
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("kept\n") == 5);
    }
    journal.close();
    QVERIFY(!journal.exportCsvTo(old, nullptr, false));
    QVERIFY(!journal.backupTo(old));
    QFile kept(old);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept\n"));
    QCOMPARE(QDir(dir_->path()).entryList({QStringLiteral("old.csv*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("old.csv")});
}

// Two controllers that report the same identity (A and B), one named: a
// visit whose counts and total cannot go on from the machine's is another
// machine's, in a history of its own; once both are named, each visit goes
// with the one whose figures it continues, a clear made elsewhere with the
// one it can only be, and two that fit alike are kept apart until the
// technician says which; a change of identification made by this utility
// keeps the machine.
void TestJournal::visitsPutWithNamedMachines()
{
    Journal journal;
    QVERIFY(journal.open(path_));
    auto visit = [&journal](const char *id, qint64 count, qint64 total, qint64 sameAs = 0, qint64 chosen = 0) {
        DeviceData data;
        data.ColumnPrice(0) = 100;
        data.ColumnSalesCount(0) = std::int32_t(count);
        data.SalesTotal() = std::int32_t(total);
        journal.startVisit(sameAs, chosen);
        const qint64 first = journal.recordReading(machine(id), data, nullptr);
        journal.recordReading(machine(id), data, nullptr, true);
        journal.endVisit();
        return first;
    };
    auto historyOf = [&journal](qint64 event) {
        for (const JournalController &c : journal.controllers())
            for (const JournalEvent &e : journal.events(&c))
                if (e.id == event)
                    return c;
        return JournalController();
    };
    auto clearedElsewhere = [&journal, &historyOf](qint64 event) {
        const JournalController c = historyOf(event);
        for (const JournalEvent &e : journal.events(&c, true))
            if (e.id == event)
                return std::any_of(e.items.begin(), e.items.end(), [](const JournalItem &i) {
                    return i.name == QLatin1String("continuity") && i.value == QStringLiteral("cleared-elsewhere");
                });
        return false;
    };
    const qint64 a1 = visit("SAME", 10, 100);
    const qint64 a = journal.nameMachine(QStringLiteral("A-001"), QStringLiteral("駅東口"));
    QVERIFY(journal.assign(historyOf(a1), a));
    QCOMPARE(historyOf(a1).machine, a);
    QCOMPARE(historyOf(a1).asset, QStringLiteral("A-001"));
    // The other controller: 5 pieces at 10.0 yen cannot be 10 before and
    // 49,900 yen more, nor 5 sold since a clear a moment ago.
    const qint64 b1 = visit("SAME", 5, 50000);
    QCOMPARE(historyOf(b1).machine, qint64(0));
    QCOMPARE(journal.events(nullptr).size(), 4);
    QCOMPARE(journal.countEvents(historyOf(b1)).size(), 2);
    // The named one again: 3 sold, one of them not yet in the total as it
    // was read.
    const qint64 a2 = visit("SAME", 13, 120);
    QCOMPARE(historyOf(a2).machine, a);
    QCOMPARE(journal.countEvents(historyOf(a2)).size(), 4);
    const QList<SalesHistory::CountPoint> points = journal.countPoints(historyOf(a2));
    QCOMPARE(points.size(), 4);
    QCOMPARE(points[2].prices[0], std::optional<qint64>(100));
    QCOMPARE(points[2].visit, a2);
    QCOMPARE(SalesHistory::between(points, 0, 3).sold[0], qint64(3));
    const qint64 b = journal.nameMachine(QStringLiteral("B-002"), QStringLiteral("駅西口"));
    QVERIFY(journal.assign(historyOf(b1), b));
    const JournalController named = historyOf(b1);
    QCOMPARE(named.machine, b);
    QCOMPARE(journal.events(&named).size(), 2);
    // Two named machines with this identity: each visit by its figures.
    const qint64 b2 = visit("SAME", 6, 50010);
    QCOMPARE(historyOf(b2).machine, b);
    const qint64 a3 = visit("SAME", 14, 140);
    QCOMPARE(historyOf(a3).machine, a);
    // A clear made elsewhere that either could have had: kept apart, until
    // the technician says which; then it is A's, recorded as such.
    DeviceData one;
    one.ColumnPrice(0) = 100;
    one.ColumnSalesCount(0) = 1;
    one.SalesTotal() = 10;
    QList<qint64> asked;
    for (const Journal::Candidate &c : journal.candidates(machine("SAME"), one))
        asked << c.machine;
    QCOMPARE(asked, (QList<qint64>{a, b}));
    const qint64 cleared = visit("SAME", 1, 10);
    QCOMPARE(historyOf(cleared).apartVisit, cleared);
    // Moved to A, then out again: only that visit moves, and each move is
    // recorded with it.
    const int bEvents = int(journal.events(&named).size());
    QVERIFY(journal.moveVisit(cleared, a));
    QCOMPARE(historyOf(cleared).machine, a);
    QVERIFY(journal.moveVisit(cleared, 0));
    QCOMPARE(historyOf(cleared).apartVisit, cleared);
    QCOMPARE(int(journal.events(&named).size()), bEvents);
    const JournalController apart = historyOf(cleared);
    QStringList moves;
    for (const JournalEvent &e : journal.events(&apart))
        if (e.kind == JournalKind::VisitMoved)
            moves << e.summary.section(QLatin1Char(' '), 1);
    QCOMPARE(moves, (QStringList{QStringLiteral("名前のない機械 から A-001 へ移しました"), QStringLiteral("A-001 から 名前のない機械 へ移しました")}));
    const qint64 chosen = visit("SAME", 1, 10, 0, a);
    QCOMPARE(historyOf(chosen).machine, a);
    QVERIFY(clearedElsewhere(chosen));
    QVERIFY(!clearedElsewhere(a3));
    // Renamed by this utility: the write's event vouches for the machine.
    const qint64 a4 = visit("RENAMED", 2, 20, chosen);
    QCOMPARE(historyOf(a4).machine, a);

    // The export tells A's rows from B's, alike in identity and version, by
    // the machine's asset number and location and the visit; a visit kept
    // apart names no machine, and an event outside a visit no visit.
    QVERIFY(journal.recordReading(machine("OUTSIDE"), DeviceData(), nullptr) > 0);
    const QString csv = dir_->filePath(QStringLiteral("machines.csv"));
    QVERIFY(journal.exportCsvTo(csv, nullptr, false));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> rows = file.readAll().split('\n');
    QCOMPARE(rows.takeFirst(), QByteArray("time,port,device,controller,version,event,item,value,sent,reported,"
                                          "asset,location,visit\r"));
    QSet<QByteArray> machinesAndVisits;
    for (const QByteArray &row : rows) {
        const QList<QByteArray> fields = row.chopped(row.endsWith('\r') ? 1 : 0).split(',');
        if (fields.size() > 3)
            machinesAndVisits.insert(fields.mid(fields.size() - 3).join(','));
    }
    const auto machineVisit = [](const char *asset, const QString &location, qint64 visit) {
        return QByteArray(asset) + ',' + location.toUtf8() + ',' + QByteArray::number(visit);
    };
    QSet<QByteArray> expected{machineVisit("B-002", QStringLiteral("駅西口"), b1),
                              machineVisit("B-002", QStringLiteral("駅西口"), b2), ",," + QByteArray::number(cleared), ",,"};
    for (const qint64 v : {a1, a2, a3, chosen, a4})
        expected.insert(machineVisit("A-001", QStringLiteral("駅東口"), v));
    QCOMPARE(machinesAndVisits, expected);
}

void TestJournal::killedWhileWriting()
{
    for (int round = 0; round < 3; ++round) {
        QProcess child;
        QCOMPARE(startWriter(child, -1), QString());
        QByteArray out;
        // Killed at some moment after a few events, mid-write or between.
        const int wanted = 20 + 37 * round;
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).count('\n') >= wanted, 60000);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        out += child.readAllStandardOutput();
        const QList<QByteArray> ids = out.trimmed().split('\n');
        RawSqlite raw(path_);
        QCOMPARE(raw.one(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QVERIFY(raw.one(QStringLiteral("SELECT COUNT(*) FROM event WHERE id = %1").arg(QString::fromLatin1(ids.last())))
                    .toInt() == 1);
        QVERIFY(raw.one(QStringLiteral("SELECT COUNT(*) FROM event")).toInt() >= ids.size());
    }
}

void TestJournal::auditFileSinceInitialisation()
{
    // Column 1 at 10.0 yen: a first reading near the count's end, ten sales
    // across its wrap, a clear, then three sales. Since initialisation: the
    // first reading's figures plus every sale after it; since the reset:
    // the controller's own counters.
    Journal journal;
    QVERIFY2(journal.open(path_), qPrintable(journal.problem()));
    const auto reading = [&journal](int count, int total) {
        DeviceData d;
        d.ColumnPrice(0) = 100;
        d.ColumnSalesCount(0) = count;
        d.SalesTotal() = total;
        return journal.recordReading(machine(), d, nullptr) > 0;
    };
    QVERIFY(reading(65530, 1000));
    QVERIFY(reading(4, 1100));
    LivePoll::Counters before;
    before.counts[0] = 4;
    before.total = 1100;
    const qint64 clear = journal.recordCounterClear(machine(), before);
    QVERIFY(clear > 0);
    QVERIFY(journal.recordClearOutcome(clear, DeviceData()));
    QVERIFY(reading(3, 30));

    const QList<JournalController> histories = journal.controllers();
    QCOMPARE(histories.size(), 1);
    const std::optional<AuditFile::Reading> r = AuditExport::reading(journal, histories.first());
    QVERIFY(r);
    QCOMPARE(r->columns.first().priceTenths, qint64(100));
    QCOMPARE(r->columns.first().countSinceInit, qint64(65530 + 10 + 3));
    QCOMPARE(r->columns.first().valueSinceInit, qint64(65543 * 100));
    QCOMPARE(r->columns.first().countSinceReset, qint64(3));
    QCOMPARE(r->valueSinceInit, qint64((1000 + 100 + 30) * 10));
    QCOMPARE(r->valueSinceReset, qint64(300));
    QCOMPARE(r->readings, 3);
    // No price of this machine has tenths: the file is in whole yen.
    QCOMPARE(r->decimals, 0);
    QVERIFY(AuditFile::format(*r).contains("\r\nPA2*65543*655430*3*30\r\n"));
}

namespace {

// A laptop's journal: readings of controller `id` by technician `who`, a
// day apart, the machine named `asset` at `location` (none when empty).
// Closed when it returns.
void laptop(const QString &path, const QString &who, const char *id, const QString &asset, const QString &location,
            std::initializer_list<int> counts)
{
    Journal j;
    QVERIFY(j.open(path));
    QVERIFY(j.setTechnician(who));
    QDateTime at = QDateTime::fromString(QStringLiteral("2026-11-01T09:00:00+09:00"), Qt::ISODate);
    j.setClock([&at] { return at; });
    for (const int count : counts) {
        DeviceData d;
        d.ColumnPrice(0) = 100;
        d.ColumnSalesCount(0) = count;
        d.SalesTotal() = count * 10;
        j.startVisit();
        QVERIFY(j.recordReading(machine(id), d, nullptr) > 0);
        j.endVisit();
        at = at.addDays(1);
    }
    if (!asset.isEmpty())
        QVERIFY(j.assign(j.controllers().value(0), j.nameMachine(asset, location)));
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1) : QByteArray();
}

QSet<QString> uids(const QString &path)
{
    QSet<QString> set;
    RawSqlite raw(path);
    QSqlQuery q(QSqlDatabase::database(raw.name));
    q.exec(QStringLiteral("SELECT uid FROM event"));
    while (q.next())
        set.insert(q.value(0).toString());
    return set;
}

} // namespace

// Two technicians' laptops merged into the office journal: each event once
// however often it is merged, the same events whichever way two journals
// are merged, the laptops' files untouched, a machine matched by its asset
// number and a location told differently left for the office, each event
// with its technician; a file that is no journal merges nothing.
void TestJournal::mergeProperties()
{
    const QString a = dir_->filePath(QStringLiteral("sato.sqlite"));
    const QString b = dir_->filePath(QStringLiteral("suzuki.sqlite"));
    laptop(a, QStringLiteral("佐藤"), "SAME", QStringLiteral("A-001"), QStringLiteral("駅東口"), {10, 20});
    laptop(b, QStringLiteral("鈴木"), "SAME", QStringLiteral("A-001"), QStringLiteral("東口"), {30});
    {
        Journal j;
        QVERIFY(j.open(b));
        QVERIFY(j.recordReading(machine("OTHER"), DeviceData(), nullptr) > 0);
    }
    const QByteArray before = fileHash(a);
    Journal office;
    QVERIFY(office.open(path_));
    Journal::MergeReport r = office.mergeFrom(a);
    QCOMPARE(r.error, QString());
    QCOMPARE(r.added, 2);
    QCOMPARE(r.machinesAdded, 1);
    r = office.mergeFrom(a);
    QCOMPARE(r.added, 0);
    QCOMPARE(r.alreadyHere, 2);
    QCOMPARE(fileHash(a), before);
    r = office.mergeFrom(b);
    QCOMPARE(r.added, 2);
    QCOMPARE(r.machinesAdded, 0);
    QCOMPARE(r.conflicts.size(), 1);
    QVERIFY2(r.conflicts.first().contains(QStringLiteral("「東口」")), qPrintable(r.conflicts.first()));
    // The machine's history holds both technicians' visits.
    QList<JournalController> named;
    for (const JournalController &c : office.controllers())
        if (c.machine != 0)
            named << c;
    QCOMPARE(named.size(), 1);
    const QList<SalesHistory::CountPoint> points = office.countPoints(named.first());
    QCOMPARE(points.size(), 3);
    QCOMPARE(SalesHistory::between(points, 0, 2).sold[0], qint64(20));
    {
        RawSqlite raw(path_);
        QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(DISTINCT technician) FROM event")).toInt(), 2);
        QCOMPARE(raw.one(QStringLiteral("SELECT COUNT(*) FROM event WHERE visit = id")).toInt(), 3);
    }
    // Both ways: the same events.
    const QString a2 = dir_->filePath(QStringLiteral("a2.sqlite"));
    const QString b2 = dir_->filePath(QStringLiteral("b2.sqlite"));
    QVERIFY(QFile::copy(a, a2) && QFile::copy(b, b2));
    {
        Journal ja;
        QVERIFY(ja.open(a2));
        QCOMPARE(ja.mergeFrom(b).error, QString());
        Journal jb;
        QVERIFY(jb.open(b2));
        QCOMPARE(jb.mergeFrom(a).error, QString());
    }
    QCOMPARE(uids(a2), uids(b2));
    QCOMPARE(uids(a2), uids(path_));
    // Not a journal: nothing merged, said why.
    const QString junk = dir_->filePath(QStringLiteral("junk.sqlite"));
    {
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'x')) == 8192);
    }
    const int events = int(office.events(nullptr).size());
    r = office.mergeFrom(junk);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(int(office.events(nullptr).size()), events);
}


// The file systems whose locks SQLite cannot trust are named, a local one
// (this test's own directory, ext4 and tmpfs) is not.
void TestJournal::networkFileSystemNamed()
{
    QCOMPARE(Journal::networkFileSystemName(0x6969), QStringLiteral("NFS"));
    QCOMPARE(Journal::networkFileSystemName(0xFF534D42), QStringLiteral("CIFS"));
    QCOMPARE(Journal::networkFileSystemName(0xFE534D42), QStringLiteral("SMB2"));
    QCOMPARE(Journal::networkFileSystemName(0x517B), QStringLiteral("SMB"));
    for (const qint64 local : {qint64(0xEF53), qint64(0x01021994), qint64(0x794C7630)})
        QCOMPARE(Journal::networkFileSystemName(local), QString());
    QCOMPARE(Journal::networkFileSystemOf(dir_->path()), QString());
    Journal journal;
    QVERIFY(journal.open(path_));
    QCOMPARE(journal.networkFileSystem(), QString());
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc >= 4 && qstrcmp(argv[1], "--writer") == 0)
        return writer(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(),
                      argc >= 5 && qstrcmp(argv[4], "--as-nobody") == 0);
    TestJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journal.moc"
