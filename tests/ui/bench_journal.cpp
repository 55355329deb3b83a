// Benchmark, prints figures and never fails on speed: the time to record a
// full reading (target 10 ms), then on a journal of 10,000 readings the time
// to open and check it, the time the history window takes to open (target
// 1 s), the audit file of the machine at 5,000 and at 10,000 readings
// (target 0.1 s at 5,000) and the CSV export of all of it (target 2 s).
//   bench_journal --large: a journal of 1,000,000 readings across 500 named
// machines, filled directly; the time to open and check it, and the time the
// history window takes to open on one machine's last visit (target 1 s).
// Both runs time the report of 500 machines (target 20 ms a page). The
// journal of 10,000 readings is also salvaged, from a copy with one page
// overwritten.
#include "journal/AuditExport.h"
#include "journal/Journal.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/JournalWindow.h"
#include "ui/VisitReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <vector>
#include <cstdio>

namespace {

constexpr int Readings = 10000;
// The audit file is timed on the way, when this many are kept.
constexpr int AuditReadings = 5000;

ControllerIdentity machine()
{
    ControllerIdentity c;
    c.portNumber = 5;
    c.devicePath = QStringLiteral("/dev/pts/3");
    c.identification = "BENCH";
    c.version = "ver1.00";
    c.identificationRead = c.versionRead = true;
    return c;
}

// Every settings value as a full read notes it read.
ValueOrigins allRead()
{
    ValueOrigins o;
    for (int k = 0; k < 6; ++k)
        o.read(ValueOrigins::option(k), "01");
    for (int line = 0; line < 3; ++line) {
        o.read(ValueOrigins::line(line, 0), "1");
        o.read(ValueOrigins::line(line, 1), "2");
        o.read(ValueOrigins::line(line, 2), "RECEIPT LINE");
    }
    o.read(ValueOrigins::Identification, "BENCH");
    return o;
}

double percentile(QList<qint64> ns, double p)
{
    std::sort(ns.begin(), ns.end());
    return ns.isEmpty() ? 0 : ns[std::min<qsizetype>(ns.size() - 1, qsizetype(p * ns.size()))] / 1e6;
}

// The audit file of the machine's history, read from the journal and
// formatted, in seconds, five times over: the best and the median (the
// machine may be busy with other work); nothing when there is no reading.
struct Seconds {
    double best = -1;   // -1: not measured
    double median = -1;
};

Seconds auditFileSeconds(Journal &journal)
{
    QList<qint64> ns;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer clock;
        clock.start();
        const QList<JournalController> histories = journal.controllers();
        const std::optional<AuditFile::Reading> audit =
            histories.isEmpty() ? std::nullopt : AuditExport::reading(journal, histories.first());
        if (!audit || AuditFile::format(*audit).isEmpty())
            return {};
        ns << clock.nsecsElapsed();
    }
    return {percentile(ns, 0), percentile(ns, 0.5)};
}

void printAudit(int readings, const Seconds &seconds)
{
    if (seconds.best >= 0)
        std::printf("audit file (EVA-DTS) of a machine with %d readings: best %.0f ms, median %.0f ms of 5"
                    " (target 100 ms at 5,000)\n",
                    readings, seconds.best, seconds.median);
}

constexpr int LargeReadings = 1000000;
constexpr int LargeMachines = 500;
constexpr int ReadingsPerVisit = 4;

// Readings as the window records them, round the machines in turn: a visit
// of four, its first with the prices; with `clears`, its third a counter
// clear that left 0 and a dozen price writes after it. Straight into the
// file, unsynced.
bool fillLarge(const QString &path, int readings = LargeReadings, bool clears = false)
{
    {
        Journal schema;
        if (!schema.open(path))
            return false;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        ok = ok && q.exec(QStringLiteral("PRAGMA synchronous=OFF")) && db.transaction();
        QSqlQuery machine(db);
        machine.prepare(QStringLiteral("INSERT INTO machine (id, asset, location, identification_bytes, version_bytes)"
                                       " VALUES (?, ?, ?, ?, ?)"));
        for (int m = 1; ok && m <= LargeMachines; ++m) {
            machine.addBindValue(m);
            machine.addBindValue(QStringLiteral("M-%1").arg(m, 3, 10, QLatin1Char('0')));
            machine.addBindValue(QStringLiteral("駅%1番出口").arg(m));
            machine.addBindValue(QByteArray("BENCH") + QByteArray::number(m));
            machine.addBindValue(QByteArray("ver1.00"));
            ok = machine.exec();
        }
        QSqlQuery event(db);
        event.prepare(QStringLiteral(
            "INSERT INTO event (id, time, kind, port, device, identification, version, summary, identification_bytes,"
            " version_bytes, visit, machine, apart) VALUES (?, ?, ?, 5, '/dev/pts/3', ?, 'ver1.00', ?, ?,"
            " 'ver1.00', ?, ?, 0)"));
        QSqlQuery item(db);
        item.prepare(QStringLiteral("INSERT INTO item (event, position, name, value, sent, reported) VALUES (?, ?, ?, ?, ?, ?)"));
        std::vector<qint64> visitOf(LargeMachines + 1, 0);
        // Writes get ids above the readings'.
        qint64 writeId = readings;
        for (int i = 0; ok && i < readings; ++i) {
            const int m = i % LargeMachines + 1;
            const int k = i / LargeMachines;   // the machine's own reading number
            const qint64 id = i + 1;
            if (k % ReadingsPerVisit == 0)
                visitOf[std::size_t(m)] = id;
            const QString name = QStringLiteral("BENCH%1").arg(m);
            const bool clear = clears && k % ReadingsPerVisit == 2;
            event.addBindValue(id);
            event.addBindValue(QDateTime::fromSecsSinceEpoch(1767225600 + qint64(k) * 600 + m)
                                   .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss+09:00")));
            event.addBindValue(clear ? QStringLiteral("counter-clear") : QStringLiteral("reading"));
            event.addBindValue(name);
            event.addBindValue(QStringLiteral("読み取り 総売上%1").arg(k * 1000));
            event.addBindValue(name.toLatin1());
            event.addBindValue(visitOf[std::size_t(m)]);
            event.addBindValue(m);
            ok = event.exec();
            int position = 0;
            auto add = [&](const QString &n, qint64 v) {
                item.addBindValue(id);
                item.addBindValue(position++);
                item.addBindValue(n);
                item.addBindValue(v);
                item.addBindValue(QVariant());
                item.addBindValue(clear ? QVariant(0) : QVariant());
                ok = ok && item.exec();
            };
            if (k % ReadingsPerVisit == 0)
                for (int c = 0; c < 16; ++c)
                    add(JournalItemName::price(c), 100);
            for (int c = 0; c < 16; ++c)
                add(JournalItemName::count(c), (qint64(k) * (c + 1)) % 65536);
            add(JournalItemName::Total, qint64(k) * 13600 % (qint64(1) << 32));
            for (int w = 0; clear && ok && w < 12; ++w) {
                ++writeId;
                event.addBindValue(writeId);
                event.addBindValue(QDateTime::fromSecsSinceEpoch(1767225600 + qint64(k) * 600 + m + 1)
                                       .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss+09:00")));
                event.addBindValue(QStringLiteral("price"));
                event.addBindValue(name);
                event.addBindValue(QStringLiteral("価格"));
                event.addBindValue(name.toLatin1());
                event.addBindValue(visitOf[std::size_t(m)]);
                event.addBindValue(m);
                ok = ok && event.exec();
                item.addBindValue(writeId);
                item.addBindValue(0);
                item.addBindValue(JournalItemName::price(w));
                item.addBindValue(100);
                item.addBindValue(110);
                item.addBindValue(110);
                ok = ok && item.exec();
            }
        }
        ok = ok && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// The report of every machine as --report writes it: the pages read from
// the journal, then drawn into one PDF, in milliseconds a page.
void printReport(Journal &journal, const QString &file)
{
    QElapsedTimer clock;
    clock.start();
    QList<VisitReport::Page> pages;
    for (const JournalController &c : journal.controllers())
        if (const std::optional<VisitReport::Page> page = VisitReport::page(journal, c))
            pages << *page;
    const double readMs = clock.nsecsElapsed() / 1e6;
    qsizetype collections = 0;
    for (const VisitReport::Page &p : std::as_const(pages))
        collections += p.collections.size();
    clock.start();
    QString error;
    int sheets = 0;
    const bool written = VisitReport::write(pages, file, journal.path(), &error, &sheets);
    const double writeMs = clock.nsecsElapsed() / 1e6;
    const double perSheet = sheets > 0 ? (readMs + writeMs) / sheets : 0;
    std::printf("report of %lld machines (%lld collections), %d A4 sheets: %s, read in %.0f ms and drawn in %.0f ms, "
                "%.1f ms a sheet (target 20 ms a page), %.1f MB\n",
                static_cast<long long>(pages.size()), static_cast<long long>(collections), sheets,
                written ? "written" : qPrintable(QStringLiteral("FAILED (%1)").arg(error)), readMs, writeMs, perSheet,
                QFileInfo(file).size() / 1e6);
}

// A copy of the journal at `path` with one page overwritten, opened: the
// time its salvage takes and what came over, for a page in the middle of
// the values and for the values' root, under which SQLite then finds none.
void printSalvage(const QString &path)
{
    int pageSize = 0, root = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pages"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT (SELECT page_size FROM pragma_page_size),"
                                      " (SELECT rootpage FROM sqlite_master WHERE name = 'item')"))
                && q.next()) {
                pageSize = q.value(0).toInt();
                root = q.value(1).toInt();
            }
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("pages"));
    }
    if (pageSize <= 0 || root <= 1) {
        std::printf("bench_journal: no pages to overwrite; no salvage figures\n");
        return;
    }
    const qint64 pages = QFileInfo(path).size() / pageSize;
    for (const auto &[which, page] : {std::pair{"a page in the middle", pages / 2}, std::pair{"the values' root page", qint64(root)}}) {
        const QString copy = path + QStringLiteral(".salvage");
        QFile::remove(copy);
        QFile file(copy);
        if (!QFile::copy(path, copy) || !file.open(QIODevice::ReadWrite) || !file.seek((page - 1) * pageSize)
            || file.write(QByteArray(pageSize, '\x5a')) != pageSize) {
            std::printf("bench_journal: the copy could not be damaged; no salvage figures\n");
            return;
        }
        file.close();
        QElapsedTimer clock;
        clock.start();
        Journal journal;
        const bool opened = journal.open(copy);
        const Journal::Salvage &s = journal.salvaged();
        std::printf("salvage of %lld pages with %s (%lld) overwritten: %s in %.3f s, %d events with %d values came"
                    " over, %d could not be read\n",
                    static_cast<long long>(pages), which, static_cast<long long>(page),
                    opened && !s.failed ? "kept" : "FAILED", clock.nsecsElapsed() / 1e9, s.events, s.items,
                    s.unreachedEvents);
        journal.close();
        for (const QString &f : QDir(QFileInfo(copy).absolutePath()).entryList({QFileInfo(copy).fileName() + QLatin1Char('*')}))
            QFile::remove(QFileInfo(copy).absoluteDir().filePath(f));
    }
}

int large()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    QElapsedTimer clock;
    clock.start();
    if (!fillLarge(path)) {
        std::printf("bench_journal: the large journal could not be filled; no figures\n");
        return 0;
    }
    std::printf("fill a journal of %d readings across %d machines: %.1f s, %.1f MB\n", LargeReadings,
                LargeMachines, clock.nsecsElapsed() / 1e9, QFileInfo(path).size() / 1e6);
    Journal journal;
    clock.start();
    const bool opened = journal.open(path);
    std::printf("open and check it: %s in %.3f s\n", opened ? "kept" : "NOT KEPT", clock.nsecsElapsed() / 1e9);
    // Its parts: the list of histories, then one machine's events and counts.
    clock.start();
    const QList<JournalController> histories = journal.controllers();
    const double listS = clock.nsecsElapsed() / 1e9;
    const JournalController *machine = histories.size() > 250 ? &histories[250] : nullptr;
    clock.start();
    const qsizetype events = machine ? journal.events(machine).size() : 0;
    const double eventsS = clock.nsecsElapsed() / 1e9;
    clock.start();
    const qsizetype counts = machine ? journal.countPoints(*machine).size() : 0;
    std::printf("  of which: %lld histories listed in %.3f s, %lld events of one in %.3f s, its %lld readings' counts"
                " in %.3f s\n",
                static_cast<long long>(histories.size()), listS, static_cast<long long>(events), eventsS,
                static_cast<long long>(counts), clock.nsecsElapsed() / 1e9);
    ControllerIdentity one;
    one.identification = "BENCH250";
    one.version = "ver1.00";
    one.identificationRead = one.versionRead = true;
    clock.start();
    JournalWindow window(journal);
    window.reload(one);
    window.show();
    QCoreApplication::processEvents();
    const auto [from, to] = window.chosenReadings();
    std::printf("history window on one machine's last visit (%lld histories, %lld of its readings, readings %d to %d):"
                " open and first drawn in %.3f s (target 1 s)\n",
                static_cast<long long>(window.controllers().size()), static_cast<long long>(window.points().size()),
                from, to, clock.nsecsElapsed() / 1e9);
    printReport(journal, dir.filePath(QStringLiteral("report.pdf")));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initUiResources();
    // The report's fonts as the program maps them.
    installFontSubstitutions();
    if (argc > 1 && qstrcmp(argv[1], "--large") == 0)
        return large();
    QTemporaryDir dir;
    Journal journal;
    if (!journal.open(dir.filePath(QStringLiteral("journal.sqlite")))) {
        std::printf("bench_journal: journal not kept (%s); no figures\n", qPrintable(journal.problem()));
        return 0;
    }
    const ControllerIdentity id = machine();
    const ValueOrigins origins = allRead();
    DeviceData data;
    QList<qint64> recordNs;
    recordNs.reserve(Readings);
    QElapsedTimer clock;
    Seconds auditAt5000;
    for (int i = 0; i < Readings; ++i) {
        for (int c = 0; c < 16; ++c)
            data.ColumnSalesCount(c) = (i * (c + 1)) % 65536;
        data.SalesTotal() = i * 1000;
        clock.start();
        if (journal.recordReading(id, data, &origins) == 0) {
            std::printf("bench_journal: recording failed (%s); no figures\n", qPrintable(journal.problem()));
            return 0;
        }
        recordNs << clock.nsecsElapsed();
        if (i + 1 == AuditReadings)
            auditAt5000 = auditFileSeconds(journal);
    }
    std::printf("record a full reading (%lld items, one transaction, synced): median %.2f ms, 99%% %.2f ms, "
                "max %.2f ms (target 10 ms)\n",
                static_cast<long long>(journal.items(1).size()), percentile(recordNs, 0.5),
                percentile(recordNs, 0.99), percentile(recordNs, 1.0));

    printAudit(AuditReadings, auditAt5000);

    // The program checks the file at every start before it records.
    journal.close();
    clock.start();
    const bool reopened = journal.open(dir.filePath(QStringLiteral("journal.sqlite")));
    std::printf("open and check a journal of %d readings (%.1f MB): %s in %.3f s\n", Readings,
                QFileInfo(dir.filePath(QStringLiteral("journal.sqlite"))).size() / 1e6,
                reopened ? "kept" : "NOT KEPT", clock.nsecsElapsed() / 1e9);
    printSalvage(dir.filePath(QStringLiteral("journal.sqlite")));

    clock.start();
    JournalWindow window(journal);
    window.reload();
    window.show();
    QCoreApplication::processEvents();
    std::printf("history window with %d readings: open and first drawn in %.3f s (target 1 s)\n", Readings,
                clock.nsecsElapsed() / 1e9);
    if (!window.controllers().isEmpty()) {
        const JournalController shown = window.controllers().first();
        clock.start();
        const qsizetype events = journal.events(&shown).size();
        const double eventsS = clock.nsecsElapsed() / 1e9;
        clock.start();
        const QList<SalesHistory::CountPoint> points = journal.countPoints(shown);
        const double countsS = clock.nsecsElapsed() / 1e9;
        clock.start();
        const QList<SalesHistory::Sales> sums = SalesHistory::cumulative(points);
        std::printf("  of which: %lld events listed in %.3f s, their counts read in %.3f s, the sales across %lld"
                    " readings in %.3f s\n",
                    static_cast<long long>(events), eventsS, countsS, static_cast<long long>(sums.size()),
                    clock.nsecsElapsed() / 1e9);
    }

    // The audit file reads the machine's figures once and formats them.
    printAudit(Readings, auditFileSeconds(journal));

    QSaveFile out(dir.filePath(QStringLiteral("export.csv")));
    clock.start();
    const bool exported = out.open(QIODevice::WriteOnly) && journal.exportCsv(out, nullptr) && out.commit();
    const double exportS = clock.nsecsElapsed() / 1e9;
    std::printf("export of %d readings as CSV: %s in %.3f s, %.1f MB (target 2 s)\n", Readings,
                exported ? "written" : "FAILED", exportS,
                QFileInfo(dir.filePath(QStringLiteral("export.csv"))).size() / 1e6);

    // Five hundred machines, two visits each with a clear and a dozen writes.
    const QString round = dir.filePath(QStringLiteral("round.sqlite"));
    Journal machines;
    if (fillLarge(round, LargeMachines * ReadingsPerVisit * 2, true) && machines.open(round))
        printReport(machines, dir.filePath(QStringLiteral("report.pdf")));
    else
        std::printf("bench_journal: the journal of 500 machines could not be filled; no report figures\n");
    return 0;
}
