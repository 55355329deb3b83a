// The journal from the window: a counter clear against the emulator kept
// with the counts from before it and exported by the command line; the box
// before a clear whose counts cannot be kept; the history window's figures
// and the button that opens it; the program's command line without a display.
#include "device/ValueFormats.h"
#include "journal/Journal.h"
#include "journal/SalesHistory.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/WindowFixture.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/JournalWindow.h"

#include "ui/StringGrid.h"

#include <QBarSet>
#include <QBarSeries>
#include <QChartView>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTreeWidget>
#include <QScopeGuard>
#include <QtTest>
#include <csignal>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int EmulatorCom = 201;

struct JournalRig : WindowFixture {
    QTemporaryDir data;
    EmulatorProcess emulator{QStringLiteral(QUVO_EMULATOR), sandbox.runtimeDir()};
    Journal journal;
    ~JournalRig() { form.reset(); }

    QString journalPath() const { return data.filePath(QStringLiteral("quvo-utility/journal.sqlite")); }

    // The emulator with column 3 at 12345 (the screen shows 2345), the
    // window connected to it and recording into `journalAt`.
    bool startConnected(const QString &journalAt)
    {
        const QByteArray scenario = R"({"counts": [1, 2, 12345, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 65535],
                                        "salesTotal": 3000000000, "id": "JNL", "restartMs": 100})";
        if (!emulator.startAt(EmulatorCom, scenario, EmulatorProcess::fastLine()))
            return false;
        openOnSerialPort();
        form->link().setReadTimeoutMs(300);
        journal.open(journalAt);
        form->setJournal(&journal);
        form->show();
        answerer();
        form->ConBtnClick();
        return form->Connected == 1;
    }
};

// The program's environment on a machine with no window system, its
// journal under `dataHome`.
QProcessEnvironment withoutDisplay(const QString &dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

// A controller as a connection knows it, both texts read.
ControllerIdentity knownController(const QByteArray &identification, const QByteArray &version, int port)
{
    ControllerIdentity id;
    id.portNumber = port;
    id.identification = identification;
    id.version = version;
    id.identificationRead = id.versionRead = true;
    return id;
}

// A journal of three readings whose index of controllers is overwritten,
// as the bytes of its file.
QByteArray damagedJournal()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    {
        Journal journal;
        if (!journal.open(path))
            return {};
        for (int i = 0; i < 3; ++i)
            journal.recordReading(knownController("DMG", "v1", 3), DeviceData(), nullptr);
    }
    int page = 0, pageSize = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("damaged"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master"
                                      " WHERE name = 'event_by_controller'"))
                && q.next()) {
                page = q.value(0).toInt();
                pageSize = q.value(1).toInt();
            }
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("damaged"));
    }
    QFile file(path);
    if (page < 2 || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    bytes.replace(qsizetype(page - 1) * pageSize, pageSize, QByteArray(pageSize, '\x5a'));
    return bytes;
}

bool inOrder(const QStringList &got, const QStringList &wanted)
{
    int at = 0;
    for (const QString &w : wanted) {
        at = int(got.indexOf(w, at));
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

// Events of one controller as the journal keeps them; count1 and count2
// and the total. count2 passes 65535 between the third and fourth.
// Faults that silence every read of the full read: the probe and the
// version still answer.
QByteArray onlyProbeAndVersionAnswered()
{
    return R"([{"command": "QVQ", "fault": "silence", "times": "always"},
               {"command": "QVR*", "fault": "silence", "times": "always"},
               {"command": "QVC", "fault": "silence", "times": "always"}])";
}

void fillHistory(Journal &journal)
{
    auto event = [](const QString &kind, qint64 c1, qint64 c2, qint64 total, bool clear = false) {
        JournalEvent e;
        e.kind = kind;
        e.port = 5;
        e.identification = QStringLiteral("HIST");
        e.version = QStringLiteral("ver2.00");
        e.items = {{QStringLiteral("count1"), c1, {}, clear ? QVariant(0) : QVariant()},
                   {QStringLiteral("count2"), c2, {}, clear ? QVariant(0) : QVariant()},
                   {QStringLiteral("total"), total, {}, clear ? QVariant(0) : QVariant()}};
        return e;
    };
    journal.record(event(JournalKind::Reading, 100, 10, 10000));
    journal.record(event(JournalKind::CounterClear, 140, 12, 14000, true));
    journal.record(event(JournalKind::Reading, 25, 65530, 2500));
    journal.record(event(JournalKind::Reading, 30, 20, 3000));
    JournalEvent other = event(JournalKind::Reading, 1, 1, 1);
    other.identification = QStringLiteral("OTHER");
    journal.record(other);
}

} // namespace

class TestJournalWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void counterClearKeptAndExported();
    void auditFileOfAVisit();
    void writesKeptWithBeforeAndSent();
    void clearWhenCountsCannotBeKept_data();
    void clearWhenCountsCannotBeKept();
    void historyFigures_data();
    void historyFigures();
    void historyButtonInFreeSpace();
    void commandLineWithoutDisplay_data();
    void commandLineWithoutDisplay();
    void headlessRead_data();
    void headlessRead();
    void readIntoFolder_data();
    void readIntoFolder();
    void outputsWrittenThrough_data();
    void outputsWrittenThrough();
    void visitReport();
    void collectionReport();
    void disconnectionAsShown_data();
    void disconnectionAsShown();
    void lastVisitTableAndForms();
    void roundOfTwinMachines();
    void writesKeptBeforeSent_data();
    void writesKeptBeforeSent();
    void notKeptMarkUntilResumed();
    void clearAsksOutsideWriteMode_data();
    void clearAsksOutsideWriteMode();
    void exportDialogThenSecondInstance();
    void savedUnderTheNameTyped_data();
    void savedUnderTheNameTyped();
    void endsOnSignals_data();
    void endsOnSignals();
};

void TestJournalWindow::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestJournalWindow::counterClearKeptAndExported()
{
    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    QCOMPARE(rig.form->identity().identificationText(), QStringLiteral("JNL"));
    const int before = int(rig.emulator.commands().size());
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    rig.child<QPushButton>("CntClrBtn")->click();
    QCOMPARE(rig.answerer().unexpected, 0);
    QCOMPARE(rig.answerer().seen.size(), 1);   // only the confirmation
    // The counts come fresh from the controller in write mode just before
    // the clear, and again at once after it.
    const QStringList after = rig.emulator.commands().mid(before);
    QVERIFY2(inOrder(after, {"QVU1", "QVRC0", "QVRCF", "QVREA", "QVZ0", "QVRC0", "QVRCF", "QVREA", "QVU0"}),
             qPrintable(after.join(' ')));
    rig.form.reset();

    QProcess exporter;
    exporter.setProcessEnvironment(withoutDisplay(rig.data.path()));
    exporter.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--export-journal"), QStringLiteral("-")});
    QVERIFY(exporter.waitForFinished(30000));
    QCOMPARE(exporter.exitCode(), 0);
    const QByteArray csv = exporter.readAllStandardOutput();
    QVERIFY(csv.startsWith("time,port,device,controller,version,event,item,value,sent,reported,asset,location,visit\r\n"));
    QVERIFY2(csv.contains(",201,") && csv.contains(",JNL,"), csv.left(300).constData());
    // Before the clear, exactly; then what its read-back reported; no
    // machine named, the visit that of the connection.
    QVERIFY2(csv.contains(",counter-clear,count3,12345,,0,,,"), csv.constData());
    QVERIFY(csv.contains(",counter-clear,count16,65535,,0,,,"));
    QVERIFY(csv.contains(",counter-clear,total,3000000000,,0,,,"));
    // The connection's reading and the read-back's.
    QVERIFY(csv.contains(",reading,count3,12345,,,,,"));
    QVERIFY(csv.contains(",reading,count3,0,,,,,"));
}

// The technician's own flow (connect, the poll running, a price set, a
// clear, 切断), then --export-dex: every column's price and count in the
// file is the controller's, in the file's unit.
void TestJournalWindow::auditFileOfAVisit()
{
    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    QTRY_VERIFY_WITH_TIMEOUT(rig.emulator.commands().count(QStringLiteral("QVY")) >= 6, 15000);
    rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("12.5"));
    rig.clickCell("OptGrid1", 1, 2);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    rig.child<QPushButton>("CntClrBtn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.emulator.commands().count(QStringLiteral("QVY")) >= 12, 15000);
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 0);
    QCOMPARE(rig.answerer().unexpected, 0);

    QProcess dex;
    dex.setProcessEnvironment(withoutDisplay(rig.data.path()));
    dex.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--export-dex"), QStringLiteral("-")});
    QVERIFY(dex.waitForFinished(30000));
    QCOMPARE(dex.exitCode(), 0);
    const QList<QByteArray> lines = dex.readAllStandardOutput().split('\n');

    // What the controller holds, asked on a link of the test's own.
    DeviceLink link;
    link.OpenPort(EmulatorCom);
    QVERIFY(link.portHandleValid());
    int decimals = -1;
    QHash<int, QList<QByteArray>> pa1;
    QHash<int, QList<QByteArray>> pa2;
    int column = 0;
    for (const QByteArray &l : lines) {
        const QList<QByteArray> f = l.trimmed().split('*');
        if (f[0] == "ID4")
            decimals = f.value(1).toInt();
        if (f[0] == "PA1")
            pa1[column = f.value(1).toInt()] = f;
        if (f[0] == "PA2")
            pa2[column] = f;
    }
    QVERIFY(decimals == 0 || decimals == 1);
    QCOMPARE(pa1.size(), 16);
    for (int c = 0; c < 16; ++c) {
        const char index = "0123456789ABCDEF"[c];
        const qint64 stored = ValueFormats::hexValue(link.Transact(QByteArray("QVRP") + index, 4).payload);
        const qint64 count = ValueFormats::hexValue(link.Transact(QByteArray("QVRC") + index, 4).payload);
        const qint64 tenths = c >= 4 && c <= 7 ? stored * 10 : stored;
        const qint64 price = decimals == 1 ? tenths : tenths / 10;
        QCOMPARE(pa1[c + 1].value(2).toLongLong(), price);
        QCOMPARE(pa2[c + 1].value(3).toLongLong(), count);
        QCOMPARE(pa2[c + 1].value(4).toLongLong(), count * price);
    }
    // Column 3 was set to 12.5: the file is in tenths of a yen.
    QCOMPARE(decimals, 1);
    QCOMPARE(pa1[3].value(2), QByteArray("125"));
}

void TestJournalWindow::writesKeptWithBeforeAndSent()
{
    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    const QList<JournalEvent> connected = rig.journal.events(nullptr, true);
    QCOMPARE(connected.size(), 1);
    QVariant priceBefore, optionBefore;
    for (const JournalItem &i : connected.first().items) {
        if (i.name == QLatin1String("price5"))
            priceBefore = i.value;
        if (i.name == QLatin1String("option1"))
            optionBefore = i.value;
    }
    QVERIFY(priceBefore.isValid() && priceBefore.toLongLong() != 150);
    QVERIFY(optionBefore.isValid() && optionBefore.toLongLong() != 2);

    rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("150"));
    rig.clickCell("OptGrid1", 1, 4);
    QTRY_COMPARE(rig.child<StringGrid>("OptGrid1")->cells(1, 4), QStringLiteral("150"));
    rig.child<QComboBox>("Opt1Sel")->setCurrentIndex(2);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"));
    rig.child<QPushButton>("SendSalesBtn")->click();
    QCOMPARE(rig.answerer().unexpected, 0);
    QCOMPARE(rig.form->Connected, 0);

    QHash<QString, JournalItem> written;
    for (const JournalEvent &e : rig.journal.events(nullptr, true))
        for (const JournalItem &i : e.items)
            if (e.kind == JournalKind::Price || e.kind == JournalKind::Settings)
                written.insert(e.kind + QLatin1Char('/') + i.name, i);
    const JournalItem price = written.value(QStringLiteral("price/price5"));
    QCOMPARE(price.value, priceBefore);
    QCOMPARE(price.sent.toLongLong(), 150);
    QCOMPARE(price.reported.toLongLong(), 150);   // from the read-back
    const JournalItem option = written.value(QStringLiteral("settings/option1"));
    QCOMPARE(option.value, optionBefore);
    QCOMPARE(option.sent.toLongLong(), 2);
    // The controller reports it at the next connection, after its restart.
    QVERIFY(option.reported.isNull());
    QCOMPARE(written.value(QStringLiteral("settings/identification")).sent.toString(), QStringLiteral("JNL"));
}

void TestJournalWindow::clearWhenCountsCannotBeKept_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("operator goes ahead") << QStringLiteral("OK") << true;
    QTest::newRow("operator stops") << QStringLiteral("キャンセル") << false;
}

void TestJournalWindow::clearWhenCountsCannotBeKept()
{
    QFETCH(QString, answer);
    QFETCH(bool, cleared);
    JournalRig rig;
    // A plain file where the journal's directory should be.
    QFile plain(rig.data.filePath(QStringLiteral("quvo-utility")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(rig.startConnected(rig.journalPath()));
    QVERIFY(rig.child<QWidget>("JournalState")->isVisible());
    bool cancelIsDefault = false;
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"))
                           << [&](QWidget *w) {
                                  auto *box = qobject_cast<QMessageBox *>(w);
                                  cancelIsDefault = box && box->defaultButton() == box->button(QMessageBox::Cancel);
                                  ModalAnswerer::click(answer)(w);
                              };
    const int before = int(rig.emulator.commands().size());
    rig.child<QPushButton>("CntClrBtn")->click();
    QCOMPARE(rig.answerer().seen.size(), 2);
    QCOMPARE(rig.answerer().seen[1].caption, QStringLiteral("Information"));
    QVERIFY(rig.answerer().seen[1].text.contains(QStringLiteral("残りません")));
    QVERIFY(cancelIsDefault);
    QCOMPARE(rig.emulator.commands().mid(before).contains(QStringLiteral("QVZ0")), cleared);
}

void TestJournalWindow::historyFigures_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<qint64>("column1");
    QTest::addColumn<qint64>("column2");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("column2Fell");
    QTest::addColumn<QString>("text");
    QTest::newRow("across the clear") << 0 << 2 << qint64(65) << qint64(65532) << qint64(6500) << false
                                      << QStringLiteral("カウンタクリア1回");
    // Column 2 fell while the total grew: a wrap. Another turn, at any
    // price of a tenth of a yen or more, would cost more than the 500 yen
    // taken: nothing is flagged.
    QTest::newRow("count wrapped") << 2 << 3 << qint64(5) << qint64(26) << qint64(500) << false
                                   << QStringLiteral("この間の販売枚数 31枚, 売上 500円\n");
}

void TestJournalWindow::historyFigures()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(qint64, column1);
    QFETCH(qint64, column2);
    QFETCH(qint64, total);
    QFETCH(bool, column2Fell);
    QFETCH(QString, text);
    WindowFixture fixture;
    QTemporaryDir dir;
    Journal journal;
    QVERIFY(journal.open(dir.filePath(QStringLiteral("j.sqlite"))));
    fillHistory(journal);
    fixture.openOnFakePort();
    fixture.form->setJournal(&journal);
    fixture.form->show();
    fixture.child<QPushButton>("JournalBtn")->click();
    JournalWindow *history = fixture.form->journalWindow();
    QVERIFY(history && history->isVisible());
    QCOMPARE(history->controllers().size(), 2);
    QCOMPARE(history->controllers().first().identification, QStringLiteral("HIST"));
    QCOMPARE(history->points().size(), 4);
    history->chooseReadings(from, to);
    QCOMPARE(history->shownSales().sold[0], column1);
    QCOMPARE(history->shownSales().sold[1], column2);
    QCOMPARE(history->shownSales().sold[SalesHistory::TotalFigure], total);
    QCOMPARE(history->shownSales().fell[1], column2Fell);
    // What the chart draws is what was computed.
    auto *bars = qobject_cast<QBarSeries *>(
        history->findChild<QChartView *>(QStringLiteral("SalesChart"))->chart()->series().value(0));
    QVERIFY(bars);
    QCOMPARE(bars->barSets().value(0)->at(0), qreal(column1));
    QCOMPARE(bars->barSets().value(0)->at(1), qreal(column2));
    const QString shownText = history->findChild<QLabel *>(QStringLiteral("SalesText"))->text();
    QVERIFY2(shownText.contains(text), qPrintable(shownText));
    // An event opens to its items.
    auto *tree = history->findChild<QTreeWidget *>(QStringLiteral("EventTree"));
    QCOMPARE(tree->topLevelItemCount(), 4);
    tree->expandItem(tree->topLevelItem(1));
    QCOMPARE(tree->topLevelItem(1)->childCount(), 3);
    QCOMPARE(tree->topLevelItem(1)->child(0)->text(2), QStringLiteral("140"));
    // The export of the one shown, then of all.
    for (const bool all : {false, true}) {
        const QString file = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(history->exportTo(file, all ? JournalWindow::ExportScope::All : JournalWindow::ExportScope::History));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        QCOMPARE(text.count('\n'), all ? 1 + 4 * 3 + 3 : 1 + 4 * 3);
        QCOMPARE(text.contains(",OTHER,"), all);
    }
    // Closing the main window ends the program, the history open or not:
    // the event loop returns by itself, not by the time-out's exit(1).
    QTimer::singleShot(0, fixture.form.get(), [&fixture] { fixture.form->close(); });
    QTimer timeOut;
    timeOut.setSingleShot(true);
    connect(&timeOut, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    timeOut.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestJournalWindow::historyButtonInFreeSpace()
{
    WindowFixture fixture;
    fixture.openOnFakePort();
    fixture.form->show();
    auto *button = fixture.child<QPushButton>("JournalBtn");
    QVERIFY(button->isVisible());
    QVERIFY(!button->isEnabled());   // no journal: nothing to show
    const QRect r = button->geometry();
    QVERIFY(fixture.child<QWidget>("TopPanel")->rect().contains(r));
    for (const char *name : {"ConBtn", "ComStatus", "Label1"})
        QVERIFY2(!fixture.child<QWidget>(name)->geometry().intersects(r), name);
    QCOMPARE(fixture.child<QWidget>("ComStatus")->geometry(), QRect(88, 5, 89, 21));
}

void TestJournalWindow::commandLineWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");   // standard output, exactly
    QTest::addColumn<QByteArray>("err");   // within standard error
    QTest::addColumn<QByteArray>("journal");   // the file the user has, none when empty
    QTest::newRow("argument not taken") << QStringList{"COM5"} << 1 << QByteArray() << QByteArray("\"COM5\"")
                                        << QByteArray();
    QTest::newRow("options that exclude each other")
        << QStringList{"--journal", "j.sqlite", "--no-journal"} << 1 << QByteArray() << QByteArray("exclude")
        << QByteArray();
    QTest::newRow("export before any journal")
        << QStringList{"--export-journal", "-"} << 0
        << QByteArray("time,port,device,controller,version,event,item,value,sent,reported,asset,location,visit\r\n")
        << QByteArray()
        << QByteArray();
    QTest::newRow("export of a named journal not there")
        << QStringList{"--journal", "gone.sqlite", "--export-journal", "-"} << 1 << QByteArray()
        << QByteArray("no journal at") << QByteArray();
    QTest::newRow("report before any journal") << QStringList{"--report", "r.pdf"} << 1 << QByteArray()
                                               << QByteArray("no journal at") << QByteArray();
    // A port no device stands behind: were the refusal to fail, this run
    // without a runtime directory must not search the machine's own ports.
    QTest::newRow("report and read at once") << QStringList{"--report", "r.pdf", "--read", "COM250"} << 1
                                             << QByteArray() << QByteArray("exclude each other") << QByteArray();
    // Only the audit file has a name of its own to take in a folder.
    QTest::newRow("a reading as JSON into a folder") << QStringList{"--read", "COM250", "--output", "./"} << 1
                                                     << QByteArray() << QByteArray("takes --format dex") << QByteArray();
    // What came over of a damaged journal is said whatever the command.
    const QByteArray damaged = damagedJournal();
    QVERIFY(!damaged.isEmpty());
    const QByteArray salvaged("was damaged: kept as ");
    const QByteArray counted(", 3 readable events with 129 values and 0 named machines copied into a new journal\n");
    QTest::newRow("backup of a damaged journal") << QStringList{"--backup-journal", "b.sqlite"} << 0 << QByteArray()
                                                 << salvaged + "*" + counted << damaged;
    QTest::newRow("audit file of a damaged journal") << QStringList{"--export-dex", "-"} << 0 << QByteArray("*")
                                                     << salvaged + "*" + counted << damaged;
}

void TestJournalWindow::commandLineWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, journal);
    QTemporaryDir data;   // a user who has no journal yet, or this one
    QTemporaryDir tmp;
    const QString path = data.filePath(QStringLiteral("quvo-utility/journal.sqlite"));
    if (!journal.isEmpty()) {
        QFile file(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(journal), journal.size());
    }
    QProcess program;
    // As su or cron run it: no session runtime directory. Qt's own fallback
    // would go into TMPDIR.
    QProcessEnvironment env = withoutDisplay(data.path());
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(data.path());
    program.start(QStringLiteral(QUVO_UTILITY), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    // "*": anything; the rest in order around it.
    const QByteArray printed = program.readAllStandardOutput();
    QVERIFY2(out == "*" || printed == out, printed.constData());
    const QByteArray said = program.readAllStandardError();
    qsizetype at = 0;
    for (const QByteArray &part : err.split('*')) {
        at = said.indexOf(part, at);
        QVERIFY2(at >= 0, said.constData());
        at += part.size();
    }
    QVERIFY2(!said.contains("XDG_RUNTIME_DIR"), said.constData());
    QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QFileInfo::exists(path), !journal.isEmpty());
}

void TestJournalWindow::headlessRead_data()
{
    // The emulator's faults (none: no emulator at all), the port asked for,
    // the exit code, what standard error says, and column 3's price as the
    // JSON gives it (null: not read; empty: no JSON).
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QByteArray>("price3");
    // A second controller on the port above, which answers the probe and
    // the version and then nothing.
    QTest::addColumn<bool>("probeOnlyAbove");
    const QString com = QStringLiteral("COM%1").arg(EmulatorCom);
    const QByteArray probeOnly = onlyProbeAndVersionAnswered();
    QTest::newRow("every value read") << QByteArray("[]") << com << 0 << QByteArray() << QByteArray("300") << false;
    QTest::newRow("searched") << QByteArray("[]") << QStringLiteral("auto") << 0 << QByteArray() << QByteArray("300")
                              << false;
    QTest::newRow("a refused value") << QByteArray(R"([{"command": "QVRP2", "fault": "error", "number": 12}])") << com
                                     << 3 << QByteArray("could not be read") << QByteArray("null") << false;
    QTest::newRow("no controller answers")
        << QByteArray(R"([{"command": "*", "fault": "silence", "times": "always"}])") << com << 2
        << QByteArray("no QUVO answered") << QByteArray() << false;
    QTest::newRow("only the probe answers") << probeOnly << com << 2 << QByteArray("stopped answering") << QByteArray()
                                            << false;
    // The search goes on below a port where only the probe answers.
    QTest::newRow("searched past a port where only the probe answers")
        << QByteArray("[]") << QStringLiteral("auto") << 0 << QByteArray() << QByteArray("300") << true;
    QTest::newRow("a port with no device") << QByteArray() << QStringLiteral("COM6") << 1
                                           << QByteArray("COM6 has no device") << QByteArray() << false;
    QTest::newRow("not a port") << QByteArray() << QStringLiteral("COM0") << 1 << QByteArray("not a port")
                                << QByteArray() << false;
}

void TestJournalWindow::headlessRead()
{
    QFETCH(QByteArray, faults);
    QFETCH(QString, port);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, price3);
    QFETCH(bool, probeOnlyAbove);
    PortSandbox sandbox;
    EmulatorProcess emulator(QStringLiteral(QUVO_EMULATOR), sandbox.runtimeDir());
    const auto scenario = [](const QByteArray &f) {
        return R"({"prices": [100, 200, 300], "counts": [1, 2, 12345], "salesTotal": 3000000000,
                   "id": "JNL", "faults": )" + f + "}";
    };
    if (!faults.isNull())
        QVERIFY(emulator.startAt(EmulatorCom, scenario(faults), EmulatorProcess::fastLine()));
    QTemporaryDir aboveDir;
    EmulatorProcess above(QStringLiteral(QUVO_EMULATOR), aboveDir.path());
    if (probeOnlyAbove) {
        QVERIFY(above.startAt(EmulatorCom + 1, scenario(onlyProbeAndVersionAnswered()), EmulatorProcess::fastLine()));
    }
    QTemporaryDir data;
    QProcess program;
    program.setProcessEnvironment(withoutDisplay(data.path()));
    program.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--read"), port});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray said = program.readAllStandardError();
    QVERIFY2(err.isEmpty() ? said.isEmpty() : said.contains(err), said.constData());
    const QByteArray out = program.readAllStandardOutput();
    const bool kept = QFileInfo::exists(data.filePath(QStringLiteral("quvo-utility/journal.sqlite")));
    if (price3.isEmpty()) {
        QCOMPARE(out, QByteArray());
        QVERIFY(!kept);
        return;
    }
    // The controller's own figures, and the reading kept in the journal.
    const QJsonObject values = QJsonDocument::fromJson(out).object().value(QStringLiteral("values")).toObject();
    const auto value = [&values](const char *name) { return values.value(QLatin1String(name)).toObject(); };
    QCOMPARE(QJsonDocument(QJsonArray{value("price3").value(QStringLiteral("value"))}).toJson(QJsonDocument::Compact),
             "[" + price3 + "]");
    QCOMPARE(value("price3").value(QStringLiteral("read")).toBool(), price3 != "null");
    QCOMPARE(value("count3").value(QStringLiteral("value")).toInteger(), 12345);
    QCOMPARE(value("total").value(QStringLiteral("value")).toInteger(), 3000000000LL);
    QCOMPARE(QJsonDocument::fromJson(out).object().value(QStringLiteral("controller")).toObject()
                 .value(QStringLiteral("identification")).toObject().value(QStringLiteral("value")).toString(),
             QStringLiteral("JNL"));
    QVERIFY(kept);
    // The reading's audit file carries the controller's prices and counts,
    // money in whole yen, as no price of this machine has tenths (column 3
    // at 30 yen); the total of 3,000,000,000 yen rolls over its eight digits.
    QProcess dex;
    dex.setProcessEnvironment(withoutDisplay(data.path()));
    dex.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--export-dex"), QStringLiteral("-")});
    QVERIFY(dex.waitForFinished(30000));
    QCOMPARE(dex.exitCode(), 0);
    const QByteArray audit = dex.readAllStandardOutput();
    QVERIFY2(audit.contains("\r\nID1*JNL*QUVO*") && audit.contains("\r\nID4*0*392\r\n"), audit.constData());
    const QByteArray told = dex.readAllStandardError();
    QVERIFY2(told.contains("rolled over: VA101"), told.constData());
    QVERIFY2(price3 == "null" || audit.contains("\r\nPA1*3*30\r\nPA2*12345*370350*12345*370350\r\n"),
             audit.constData());
    // A price never read is no price of 0: the column is left out, and said so.
    QVERIFY2(price3 != "null" || (!audit.contains("\r\nPA1*3*") && told.contains("column 3 left out")),
             audit.constData());
    // The same controller as CSV (the emulator's fault has fired): name, value, read.
    QProcess csv;
    csv.setProcessEnvironment(withoutDisplay(data.path()));
    csv.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--read"), port, QStringLiteral("--format"),
                                             QStringLiteral("csv"), QStringLiteral("--no-journal")});
    QVERIFY(csv.waitForFinished(60000));
    QCOMPARE(csv.exitCode(), 0);
    const QByteArray rows = csv.readAllStandardOutput();
    QVERIFY2(rows.startsWith("name,value,read\r\n") && rows.contains("\r\ncount3,12345,1\r\n")
                 && rows.contains("\r\nprice3,300,1\r\n") && rows.contains("\r\nidentification,JNL,1\r\n"),
             rows.constData());
    // The history window's DEX出力 writes the same file, owner-only.
    Journal journal;
    QVERIFY(journal.open(data.filePath(QStringLiteral("quvo-utility/journal.sqlite"))));
    JournalWindow history(journal);
    history.reload();
    const QString dexFile = data.filePath(QStringLiteral("shown.dex"));
    ModalAnswerer windowTold(ModalAnswerer::press(QMessageBox::Ok));
    QVERIFY(history.exportAuditTo(dexFile));
    // What the file could not carry is said in the window too.
    QCOMPARE(windowTold.seen.size(), 1);
    QVERIFY2(windowTold.seen.first().text.contains(QStringLiteral("VA101")), qPrintable(windowTold.seen.first().text));
    QCOMPARE(windowTold.seen.first().text.contains(QStringLiteral("コラム3は")), price3 == "null");
    QFile written(dexFile);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), audit);
    QCOMPARE(written.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    // The read prints its own audit file: of itself alone without a
    // journal, else as the journal's second reading of the controller,
    // which is the named machine's.
    QVERIFY(journal.assign(journal.controllers().value(0), journal.nameMachine(QStringLiteral("AS-7"), QString())));
    for (const char *readings : {"1", "2"}) {
        QProcess own;
        own.setProcessEnvironment(withoutDisplay(data.path()));
        QStringList arguments{QStringLiteral("--read"), port, QStringLiteral("--format"), QStringLiteral("dex")};
        if (readings == QByteArray("1"))
            arguments << QStringLiteral("--no-journal");
        own.start(QStringLiteral(QUVO_UTILITY), arguments);
        QVERIFY(own.waitForFinished(60000));
        QCOMPARE(own.exitCode(), 0);
        const QByteArray file = own.readAllStandardOutput();
        QVERIFY2(file.startsWith("DXS*") && file.contains("\r\nPA1*3*30\r\nPA2*12345*370350*12345*370350\r\n")
                     && file.contains("\r\nEA3*" + QByteArray(readings) + "*")
                     && file.contains(readings == QByteArray("2") ? "\r\nID1*AS-7*" : "\r\nID1*JNL*"),
                 file.constData());
    }
    // Nothing was written to the controller.
    for (const QString &c : emulator.commands())
        QVERIFY2(!c.startsWith(QLatin1String("QVS")) && c != QLatin1String("QVU1") && c != QLatin1String("QVZ0"),
                 qPrintable(c));
}

// --read auto --format dex --output FOLDER, as a timer runs it: the
// reading's audit file appears in the folder under the machine's name and
// the time, whole and owner-only, with nothing beside it, and the exit code
// says how the read went. A folder that cannot take the file ends the run
// before any port is opened.
void TestJournalWindow::readIntoFolder_data()
{
    // The emulator's faults; the folder as given ("out" and "out/" one that
    // is there, "gone/" one that is not, "locked/" one nobody may write
    // into, "plain/" a file); the exit code; what standard error says;
    // whether a file is made, and whether column 3 is in it.
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<bool>("made");
    QTest::addColumn<bool>("column3");
    QTest::newRow("every value read") << QByteArray("[]") << "out" << 0 << QByteArray() << true << true;
    QTest::newRow("a folder named with /") << QByteArray("[]") << "out/" << 0 << QByteArray() << true << true;
    QTest::newRow("a refused value") << QByteArray(R"([{"command": "QVRP2", "fault": "error", "number": 12}])")
                                     << "out/" << 3 << QByteArray("column 3 left out") << true << false;
    QTest::newRow("no controller answers")
        << QByteArray(R"([{"command": "*", "fault": "silence", "times": "always"}])") << "out/" << 2
        << QByteArray("no QUVO answered on any port") << false << false;
    QTest::newRow("a folder not there") << QByteArray("[]") << "gone/" << 1 << QByteArray("gone/: no such folder")
                                        << false << false;
    QTest::newRow("a folder not writable") << QByteArray("[]") << "locked/" << 1
                                           << QByteArray("locked/: Permission denied") << false << false;
    QTest::newRow("a file, not a folder") << QByteArray("[]") << "plain/" << 1 << QByteArray("plain/: not a folder")
                                          << false << false;
}

void TestJournalWindow::readIntoFolder()
{
    QFETCH(QByteArray, faults);
    QFETCH(QString, folder);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, err);
    QFETCH(bool, made);
    QFETCH(bool, column3);
    PortSandbox sandbox;
    EmulatorProcess emulator(QStringLiteral(QUVO_EMULATOR), sandbox.runtimeDir());
    QVERIFY(emulator.startAt(EmulatorCom,
                             R"({"prices": [100, 200, 300], "counts": [1, 2, 12345], "id": "JNL", "faults": )" + faults
                                 + "}",
                             EmulatorProcess::fastLine()));
    QTemporaryDir data;
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")) && QDir(dir.path()).mkdir(QStringLiteral("locked")));
    QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QProcess program;
    program.setProcessEnvironment(withoutDisplay(data.path()));
    // Root writes wherever it likes; the program runs without that power,
    // as an office's user would.
    if (geteuid() == 0) {
        program.setChildProcessModifier([] {
            if (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 || ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH) != 0)
                ::_exit(77);
        });
    }
    const QDateTime before = QDateTime::currentDateTime();
    program.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--read"), QStringLiteral("auto"), QStringLiteral("--format"),
                                                 QStringLiteral("dex"), QStringLiteral("--output"), dir.filePath(folder)});
    QVERIFY(program.waitForFinished(60000));
    const QDateTime after = QDateTime::currentDateTime();
    if (program.exitCode() == 77)
        QSKIP("root's power over file permissions cannot be dropped here");
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray said = program.readAllStandardError();
    QVERIFY2(err.isEmpty() ? said.isEmpty() : said.contains(err), said.constData());
    const QByteArray out = program.readAllStandardOutput();
    const auto entries = [&dir](const char *name) {
        return QDir(dir.filePath(QLatin1String(name)))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    };
    QCOMPARE(entries("locked"), QStringList());
    if (!made) {
        QCOMPARE(entries("out"), QStringList());
        QCOMPARE(out, QByteArray());
        // A folder that cannot take the file is found before the port is.
        if (exitCode == 1)
            QCOMPARE(emulator.commands(), QStringList());
        return;
    }
    // The machine's name and the minute of the reading, nothing else: no
    // hidden file left over. Its path on standard output.
    const QStringList names = entries("out");
    QCOMPARE(names.size(), 1);
    const QString format = QStringLiteral("yyyyMMdd-HHmm");
    QVERIFY2(names.first() == "JNL_" + before.toString(format) + ".dex"
                 || names.first() == "JNL_" + after.toString(format) + ".dex",
             qPrintable(names.first()));
    const QString path = QDir(dir.filePath(QStringLiteral("out"))).filePath(names.first());
    QCOMPARE(out, QFile::encodeName(path) + '\n');
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    // The same file the export gives of the reading the journal now holds,
    // a column not read left out.
    QProcess dex;
    dex.setProcessEnvironment(withoutDisplay(data.path()));
    dex.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--export-dex"), QStringLiteral("-")});
    QVERIFY(dex.waitForFinished(30000));
    QCOMPARE(dex.exitCode(), 0);
    QCOMPARE(written, dex.readAllStandardOutput());
    QVERIFY2(written.startsWith("DXS*") && written.contains("\r\nPA1*1*10\r\n"), written.constData());
    QCOMPARE(written.contains("\r\nPA1*3*30\r\n"), column3);
}

// Every output and export to a FIFO (as a pipe's name, /dev/stdout or a
// device would be given) or to standard output ("-"): written through, the
// FIFO still a FIFO afterwards, nothing left beside it. "FIFO" in the
// arguments stands for the FIFO's name; without it the output is standard
// output.
void TestJournalWindow::outputsWrittenThrough_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("head");   // how the output begins
    const QString com = QStringLiteral("COM%1").arg(EmulatorCom);
    QTest::newRow("--read --output") << QStringList{"--read", com, "--no-journal", "--output", "FIFO"} << QByteArray("{");
    QTest::newRow("--export-journal") << QStringList{"--export-journal", "FIFO"} << QByteArray("time,port,");
    QTest::newRow("--export-dex") << QStringList{"--export-dex", "FIFO"} << QByteArray("DXS*");
    QTest::newRow("--report") << QStringList{"--report", "FIFO"} << QByteArray("%PDF");
    QTest::newRow("--report -") << QStringList{"--report", "-"} << QByteArray("%PDF");
    QTest::newRow("--backup-journal") << QStringList{"--backup-journal", "FIFO"} << QByteArray("SQLite format 3");
    QTest::newRow("--backup-journal -") << QStringList{"--backup-journal", "-"} << QByteArray("SQLite format 3");
}

void TestJournalWindow::outputsWrittenThrough()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, head);
    PortSandbox sandbox;
    EmulatorProcess emulator(QStringLiteral(QUVO_EMULATOR), sandbox.runtimeDir());
    if (arguments.contains(QStringLiteral("--read")))
        QVERIFY(emulator.startAt(EmulatorCom, R"({"id": "FIFO"})", EmulatorProcess::fastLine()));
    QTemporaryDir data;
    {
        Journal journal;
        QVERIFY(journal.open(data.filePath(QStringLiteral("quvo-utility/journal.sqlite"))));
        DeviceData d;
        d.ColumnPrice(0) = 100;
        d.ColumnSalesCount(0) = 7;
        journal.startVisit();
        QVERIFY(journal.recordReading(knownController("FIFO", "QUVO ver2.05", 5), d, nullptr) != 0);
        journal.endVisit();
    }
    QTemporaryDir out;
    const QString fifo = out.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const bool toFifo = arguments.contains(QStringLiteral("FIFO"));
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^FIFO$")), fifo);
    // The reader, there before the writer opens the FIFO; what it reads
    // goes to a file, so that neither waits on the other.
    QProcess reader;
    reader.setStandardOutputFile(out.filePath(QStringLiteral("read")));
    if (toFifo) {
        reader.start(QStringLiteral("cat"), {fifo});
        QVERIFY(reader.waitForStarted());
    }
    QProcess program;
    program.setProcessEnvironment(withoutDisplay(data.path()));
    program.setWorkingDirectory(data.path());
    program.start(QStringLiteral(QUVO_UTILITY), arguments);
    const bool ended = program.waitForFinished(60000);
    // A FIFO the program did not open leaves the reader waiting: ended here.
    if (toFifo && !reader.waitForFinished(10000))
        reader.kill();
    QVERIFY(ended);
    QVERIFY2(program.exitCode() == 0, program.readAllStandardError().constData());
    QByteArray written = program.readAllStandardOutput();
    if (toFifo) {
        QCOMPARE(written, QByteArray());
        QFile read(out.filePath(QStringLiteral("read")));
        QVERIFY(read.open(QIODevice::ReadOnly));
        written = read.readAll();
    }
    QVERIFY2(written.startsWith(head), written.left(80).constData());
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
             toFifo ? QStringList({"pipe", "read"}) : QStringList({"pipe"}));
}

namespace {

// The PDF's text, page by page as pdftotext lays it out; empty when it
// cannot be read.
QString pdfText(const QString &file, int page = 0)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    QStringList args{QStringLiteral("-layout")};
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    QProcess text;
    text.start(pdftotext, args << file << QStringLiteral("-"));
    if (!text.waitForFinished(30000) || text.exitCode() != 0)
        return QString();
    return QString::fromUtf8(text.readAllStandardOutput());
}

} // namespace

// The visit report of a named machine with known prices and sales and a
// price write in its last visit, then more writes than a page holds, from
// the window and from the command line without a display, read back as
// text: every write is there, the table going on under its heading.
void TestJournalWindow::visitReport()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("quvo-utility/journal.sqlite"));
    Journal journal;
    QVERIFY(journal.open(path));
    const ControllerIdentity id = knownController("RPT", "QUVO ver2.05", 5);
    // Columns 5-8 at 150 yen, the others at 10.0, 11.0, ... (tenths); each
    // column sells 11 x its number, the total growing by what they cost.
    DeviceData before;
    DeviceData after;
    QStringList rows;
    for (int c = 0; c < 16; ++c) {
        const bool whole = c >= 4 && c <= 7;
        before.ColumnPrice(c) = after.ColumnPrice(c) = whole ? 150 : 100 + 10 * c;
        before.ColumnSalesCount(c) = 1000 + c;
        const int sold = 11 * (c + 1);
        after.ColumnSalesCount(c) = 1000 + c + sold;
        const int yen = whole ? 150 : 10 + c;
        after.SalesTotal() += sold * yen;
        rows << QStringLiteral("^ *%1 +%2 +%3 +%4\\b")
                    .arg(c + 1)
                    .arg(whole ? QStringLiteral("150") : QStringLiteral("%1.0").arg(10 + c))
                    .arg(sold)
                    .arg(sold * yen);
    }
    after.SalesTotal() += 50000;
    before.SalesTotal() = 50000;
    // A month between the visits: time enough for what was sold.
    QDateTime at = QDateTime::currentDateTime().addMonths(-1);
    journal.setClock([&at] { return at; });
    journal.startVisit();
    QVERIFY(journal.recordReading(id, before, nullptr) != 0);
    journal.endVisit();
    at = at.addMonths(1);
    journal.startVisit();
    QVERIFY(journal.recordReading(id, after, nullptr) != 0);
    QVERIFY(journal.recordPrice(id, 2, 120, 135, 135) != 0);
    constexpr int Writes = 100;
    for (int i = 0; i < Writes; ++i)
        QVERIFY(journal.recordPrice(id, 4, 300 + i, 500 + i, 700 + i) != 0);
    journal.endVisit();
    const qint64 machine = journal.nameMachine(QStringLiteral("ST-0042"), QStringLiteral("駅前ロータリー"));
    QVERIFY(journal.assign(journal.controllers().value(0), machine));

    JournalWindow history(journal);
    history.reload();
    const QString shown = data.filePath(QStringLiteral("shown.pdf"));
    QVERIFY(history.writeReportTo(shown));
    const QString written = data.filePath(QStringLiteral("written.pdf"));
    QProcess program;
    program.setProcessEnvironment(withoutDisplay(data.path()));
    program.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--report"), written, QStringLiteral("--controller"),
                                                 QStringLiteral("ST-0042")});
    QVERIFY(program.waitForFinished(30000));
    QVERIFY2(program.exitCode() == 0, program.readAllStandardError().constData());
    for (const QString &file : {shown, written}) {
        QProcess text;
        text.start(pdftotext, {QStringLiteral("-layout"), file, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        QCOMPARE(text.exitCode(), 0);
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        for (const char *named : {"ST-0042", "駅前ロータリー", "RPT", "QUVO ver2.05"})
            QVERIFY2(page.contains(QString::fromUtf8(named)), qPrintable(named + QStringLiteral(" in\n") + page));
        // Column number, price, sales count and value on one row.
        for (const QString &row : std::as_const(rows))
            QVERIFY2(page.contains(QRegularExpression(row, QRegularExpression::MultilineOption)),
                     qPrintable(row + QStringLiteral(" in\n") + page));
        // The price write of the visit: before, sent, reported.
        QVERIFY2(page.contains(QRegularExpression(QStringLiteral(" 12\\.0 +13\\.5 +13\\.5\\b"))), qPrintable(page));
        for (int i = 0; i < Writes; ++i)
            QVERIFY2(page.contains(QRegularExpression(QStringLiteral(" %1 +%2 +%3\\b").arg(300 + i).arg(500 + i).arg(700 + i))),
                     qPrintable(QStringLiteral("write %1 in\n").arg(i) + page));
        // The last sheet goes on with the table, its heading and column names first.
        const QString last = pdfText(file, 3);
        QVERIFY2(last.contains(QRegularExpression(QStringLiteral("訪問中のカウンタクリアと書き込み \\(続き\\)\\s+時刻 +種類"))),
                 qPrintable(last));
        QVERIFY2(last.contains(QStringLiteral(" %1 ").arg(300 + Writes - 1)), qPrintable(last));
        QVERIFY(pdfText(file, 4).isEmpty());
    }
}


// Two visits, a clear in each, sales between them and on during the second
// visit, before its clear and after it. The report heads with the cash of
// the second clear: the sales since the first clear up to the figures read
// just before the second, beside that register; the sales after the clear
// are the next collection's, and the window shows the same.
void TestJournalWindow::collectionReport()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    JournalRig rig;
    QVERIFY(rig.journal.open(rig.journalPath()));
    rig.openOnSerialPort();
    rig.form->setJournal(&rig.journal);
    rig.form->show();
    auto *total = rig.child<StringGrid>("TotalGrid1");
    // A sale while a clear is checked has its own box, not what this test
    // is about.
    rig.answerer().setAlways(ModalAnswerer::click(QStringLiteral("OK")));
    // A day between visits: time enough for what each sold.
    QDateTime at = QDateTime::currentDateTime().addDays(-30);
    rig.journal.setClock([&at] { return at; });
    const auto clockBack = qScopeGuard([&rig] { rig.journal.setClock({}); });
    // Column 1 at 10.0 yen, column 5 at 150 yen; the rest unpriced.
    auto visit = [&](int column1, int column5, bool selling) {
        at = at.addDays(1);
        rig.emulator.stop();
        const QByteArray scenario = QStringLiteral(
            R"({"id": "COLL", "prices": [100, 0, 0, 0, 150, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0],
                "counts": [%1, 0, 0, 0, %2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], "salesTotal": %3,
                "simulateSales": {"enabled": %4, "minIntervalMs": 1000, "maxIntervalMs": 1000}})")
                                        .arg(column1).arg(column5).arg(column1 * 10 + column5 * 150)
                                        .arg(selling ? "true" : "false").toUtf8();
        if (!rig.emulator.startAt(EmulatorCom, scenario, EmulatorProcess::fastLine()))
            return false;
        rig.form->link().setReadTimeoutMs(300);
        rig.answerer();
        rig.form->ConBtnClick();
        return rig.form->Connected == 1;
    };
    auto clear = [&] {
        rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
        rig.child<QPushButton>("CntClrBtn")->click();
    };
    QVERIFY(visit(100, 40, false));
    clear();
    rig.form->ConBtnClick();
    QVERIFY(visit(7, 3, true));   // sold since the first clear
    const QString atConnection = total->cells(1, 0);
    QTRY_VERIFY_WITH_TIMEOUT(total->cells(1, 0) != atConnection, 10000);   // sold during the visit
    clear();
    QTRY_VERIFY_WITH_TIMEOUT(total->cells(1, 0).toLongLong() > 0, 10000);   // and after the clear
    rig.form->ConBtnClick();

    // The register: what was read just before the second clear.
    QList<JournalEvent> clears;
    for (const JournalEvent &e : rig.journal.events(nullptr, true))
        if (e.kind == JournalKind::CounterClear)
            clears << e;
    QCOMPARE(clears.size(), 2);
    QHash<QString, qint64> registered;
    for (const JournalItem &i : clears[1].items)
        registered.insert(i.name, i.value.toLongLong());
    const qint64 count1 = registered.value(QStringLiteral("count1"));
    const qint64 count5 = registered.value(QStringLiteral("count5"));
    const qint64 yen = registered.value(QStringLiteral("total"));
    QVERIFY(count1 * 10 + count5 * 150 > 7 * 10 + 3 * 150);
    QCOMPARE(yen, count1 * 10 + count5 * 150);

    rig.child<QPushButton>("JournalBtn")->click();
    JournalWindow *history = rig.form->journalWindow();
    QVERIFY(history);
    const QString file = rig.data.filePath(QStringLiteral("collection.pdf"));
    QVERIFY(history->writeReportTo(file));
    const QString page = pdfText(file);
    // The first rows of column 1 and 5 and the first totals are the
    // collection's: counted from the first clear, which left 0.
    const auto first = [&page](const QString &pattern) {
        return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(page).captured(0).simplified();
    };
    QCOMPARE(first(QStringLiteral("^ *1 +10\\.0 +\\d+ +\\d+ +\\d+")),
             QStringLiteral("1 10.0 %1 %2 %1").arg(count1).arg(count1 * 10));
    QCOMPARE(first(QStringLiteral("^ *5 +150 +\\d+ +\\d+ +\\d+")),
             QStringLiteral("5 150 %1 %2 %1").arg(count5).arg(count5 * 150));
    QCOMPARE(first(QStringLiteral("合計 +\\d+ +\\d+ +\\d+")),
             QStringLiteral("合計 %1 %2 %2").arg(count1 + count5).arg(yen));
    QVERIFY2(page.contains(QStringLiteral("クリア直前の総売上 %1円").arg(yen)), qPrintable(page));

    // The window, from one collection to the next.
    int second = -1;
    for (int i = 0; i < history->points().size(); ++i)
        if (history->points()[i].clear)
            second = i;
    history->chooseCollection(second);
    QCOMPARE(history->shownSales().sold[0], count1);
    QCOMPARE(history->shownSales().sold[4], count5);
    QCOMPARE(history->shownSales().sold[SalesHistory::TotalFigure], yen);
    QCOMPARE(history->shownSales().clears, 0);
    QVERIFY(history->findChild<QLabel *>(QStringLiteral("SalesText"))->text().contains(
        QStringLiteral("クリア直前の総売上 %1円").arg(yen)));
}

// With sales going on, the counts kept at the end of a visit are the
// figures the grids showed last: at 切断 between polls or while a refresh
// is on the wire (it ends that refresh at its next command), and when a
// late reply inside a refresh makes the window doubt the controller (the
// figures of that refresh are never shown, so they are not kept either).
void TestJournalWindow::disconnectionAsShown_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("faults");
    QTest::newRow("between polls") << "click" << QByteArray("[]");
    QTest::newRow("during a refresh") << "click on the wire" << QByteArray("[]");
    QTest::newRow("late reply in a refresh")
        << "lost" << QByteArray(R"([{"command": "QVREA", "fault": "late", "delayMs": 500, "skip": 3}])");
}

void TestJournalWindow::disconnectionAsShown()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, faults);
    JournalRig rig;
    const QByteArray scenario = R"({"id": "LIVE", "prices": [100, 100, 100, 100, 150, 150, 150, 150, 0, 0, 0, 0, 0, 0, 0, 0],
                                    "simulateSales": {"minIntervalMs": 5, "maxIntervalMs": 15, "seed": 11},
                                    "faults": )" + faults + "}";
    QVERIFY(rig.emulator.startAt(EmulatorCom, scenario, EmulatorProcess::fastLine()));
    rig.openOnSerialPort();
    rig.form->link().setReadTimeoutMs(300);
    QVERIFY(rig.journal.open(rig.journalPath()));
    rig.form->setJournal(&rig.journal);
    rig.form->show();
    rig.answerer();
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    auto *sales = rig.child<StringGrid>("SalesGrid");
    auto *total = rig.child<StringGrid>("TotalGrid1");
    auto shown = [&] {
        QStringList cells;
        for (int r = 1; r <= 16; ++r)
            cells << sales->cells(2, r);
        return cells << total->cells(1, 0);
    };
    auto ended = [&] {
        for (const JournalEvent &e : rig.journal.events(nullptr))
            if (e.summary.startsWith(QStringLiteral("切断時")))
                return true;
        return false;
    };
    // Two refreshes that moved the figures.
    for (int i = 0; i < 2 && how != QLatin1String("lost"); ++i) {
        const QStringList before = shown();
        QTRY_VERIFY_WITH_TIMEOUT(shown() != before, 10000);
    }
    QStringList last;
    if (how == QLatin1String("click")) {
        last = shown();
        rig.form->ConBtnClick();
        QCOMPARE(rig.form->Connected, 0);
    } else {
        // The figures shown, taken from the window's loop until the visit
        // ends: while a refresh waits on the line, the click lands there.
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, rig.form.get(), [&] {
            if (ended()) {
                watch.stop();
                return;
            }
            last = shown();
            if (how == QLatin1String("click on the wire") && rig.form->line().waiting()) {
                const QStringList sent = rig.emulator.commands();
                if (!sent.isEmpty() && sent.last().startsWith(QStringLiteral("QVRC")))
                    rig.child<QPushButton>("ConBtn")->click();
            }
        });
        watch.start();
        QTRY_VERIFY_WITH_TIMEOUT(!watch.isActive(), 10000);
    }
    QList<JournalEvent> kept;
    for (const JournalEvent &e : rig.journal.events(nullptr, true))
        if (e.summary.startsWith(QStringLiteral("切断時")))
            kept << e;
    QCOMPARE(kept.size(), 1);
    QStringList recorded;
    for (const JournalItem &i : kept.first().items)
        recorded << (i.name == JournalItemName::Total ? i.value.toString()
                                                       : ValueFormats::countText(std::int32_t(i.value.toLongLong())));
    QCOMPARE(recorded, last);
}

namespace {

QProcessEnvironment programEnvironment(const QString &dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// The events a kill would leave: the files on disk copied as they are.
int eventsOnDisk(const QString &journal, bool withLog)
{
    QTemporaryDir copy;
    const QString target = copy.filePath(QStringLiteral("j.sqlite"));
    QFile::copy(journal, target);
    if (withLog)
        QFile::copy(journal + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
    Journal j;
    if (!j.open(target))
        return -1;
    return int(j.events(nullptr).size());
}

} // namespace

// Three visits of one controller: the history opens on the last against the
// one before, with a table of numbers beside the chart, values in the
// window's forms; the technician names the machine.
void TestJournalWindow::lastVisitTableAndForms()
{
    WindowFixture fixture;
    QTemporaryDir dir;
    Journal journal;
    QVERIFY(journal.open(dir.filePath(QStringLiteral("j.sqlite"))));
    const ControllerIdentity who = knownController("VISIT", "ver1.00", 4);
    DeviceData data;
    data.ColumnPrice(0) = 85;   // the window shows 8.5
    data.ColumnPrice(4) = 120;  // and 120
    data.OptionSelection(0) = 1;
    QDateTime at = QDateTime::currentDateTime().addDays(-30);
    journal.setClock([&at] { return at; });
    for (const auto &[c1, c5] : {std::pair{10, 3}, std::pair{14, 5}, std::pair{20, 9}}) {
        at = at.addDays(7);
        data.ColumnSalesCount(0) = c1;
        data.ColumnSalesCount(4) = c5;
        data.SalesTotal() = c1 * 85 / 10 + c5 * 120;   // whole yen
        journal.startVisit();
        QVERIFY(journal.recordReading(who, data, nullptr) > 0);
        QVERIFY(journal.recordReading(who, data, nullptr, true) > 0);
        journal.endVisit();
    }
    fixture.openOnFakePort();
    fixture.form->setJournal(&journal);
    fixture.form->show();
    fixture.child<QPushButton>("JournalBtn")->click();
    JournalWindow *history = fixture.form->journalWindow();
    QCOMPARE(history->points().size(), 6);
    QCOMPARE(history->chosenReadings(), std::make_pair(3, 5));
    auto *table = history->findChild<QTableWidget *>(QStringLiteral("SalesTable"));
    QVERIFY(table);
    const QStringList column1 = {table->item(0, 0)->text(), table->item(0, 1)->text(), table->item(0, 2)->text()};
    QCOMPARE(column1, (QStringList{QStringLiteral("8.5"), QStringLiteral("6"), QStringLiteral("51")}));
    QCOMPARE(table->item(4, 0)->text(), QStringLiteral("120"));
    QCOMPARE(table->item(4, 1)->text(), QStringLiteral("4"));
    QCOMPARE(table->item(16, 1)->text(), QStringLiteral("10"));
    QCOMPARE(table->item(16, 2)->text(), QStringLiteral("531"));
    QCOMPARE(table->item(16, 3)->text(), QString());   // the columns add up to the total
    auto *bars = qobject_cast<QBarSeries *>(
        history->findChild<QChartView *>(QStringLiteral("SalesChart"))->chart()->series().value(0));
    QVERIFY(bars && bars->isLabelsVisible());
    QCOMPARE(bars->barSets().value(0)->labelColor().alpha(), 255);
    auto *tree = history->findChild<QTreeWidget *>(QStringLiteral("EventTree"));
    tree->expandItem(tree->topLevelItem(0));
    QHash<QString, QString> shown;
    for (int i = 0; i < tree->topLevelItem(0)->childCount(); ++i)
        shown.insert(tree->topLevelItem(0)->child(i)->text(1), tree->topLevelItem(0)->child(i)->text(2));
    QCOMPARE(shown.value(QStringLiteral("コラム1価格")), QStringLiteral("8.5"));
    QCOMPARE(shown.value(QStringLiteral("領収書の発行時間")), QStringLiteral("タイムアウト２０秒"));
    QCOMPARE(shown.value(QStringLiteral("コラム5枚数")), QStringLiteral("3"));
    QVERIFY(history->nameShown(QStringLiteral("A-001"), QStringLiteral("駅東口")));
    QCOMPARE(history->controllers().size(), 1);
    QCOMPARE(history->controllers().first().asset, QStringLiteral("A-001"));
    QVERIFY(history->windowTitle().contains(QStringLiteral("駅東口")));
    // Its last visit was another machine's: moved to it, and from there out
    // to a history of its own; the named machine keeps its other visits.
    const qint64 other = journal.nameMachine(QStringLiteral("B-009"), QString());
    history->reload();
    history->showController(0);
    QCOMPARE(history->controllers().first().asset, QStringLiteral("A-001"));
    const qint64 last = history->shownVisit();
    QVERIFY(last != 0);
    QVERIFY(history->assignShown(other));
    QCOMPARE(history->windowTitle(), QStringLiteral("履歴 B-009 "));
    QCOMPARE(history->points().size(), 2);
    QVERIFY(history->assignShown(0));
    QCOMPARE(history->points().size(), 2);
    QCOMPARE(history->shownVisit(), last);
    history->showController(0);
    QCOMPARE(history->controllers().first().asset, QStringLiteral("A-001"));
    QCOMPARE(history->points().size(), 4);
}

// A round through the real window: two controllers that report the same
// identification, visited in turn (each visit a fresh emulator holding that
// controller's figures), a clear through the window, then a clear cut off
// before it was sent (what a kill leaves: the clear's event without its
// read-back). The other controller's visit is kept apart, and the history's
// table shows exactly what was sold.
void TestJournalWindow::roundOfTwinMachines()
{
    JournalRig rig;
    QVERIFY(rig.journal.open(rig.journalPath()));
    rig.openOnSerialPort();
    rig.form->setJournal(&rig.journal);
    rig.form->show();
    // A day between visits: time enough for what each sold.
    QDateTime at = QDateTime::currentDateTime().addDays(-30);
    rig.journal.setClock([&at] { return at; });
    const auto clockBack = qScopeGuard([&rig] { rig.journal.setClock({}); });
    auto visit = [&rig, &at](int column1, int column5, int total, bool clear) {
        at = at.addDays(1);
        rig.emulator.stop();
        const QByteArray scenario = QStringLiteral(
            R"({"id": "TWIN", "prices": [100, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0],
                "counts": [%1, 0, 0, 0, %2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], "salesTotal": %3})")
                                        .arg(column1).arg(column5).arg(total).toUtf8();
        if (!rig.emulator.startAt(EmulatorCom, scenario, EmulatorProcess::fastLine()))
            return false;
        rig.form->link().setReadTimeoutMs(300);
        rig.answerer();
        rig.form->ConBtnClick();
        if (rig.form->Connected != 1)
            return false;
        if (clear) {
            rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
            rig.child<QPushButton>("CntClrBtn")->click();
        }
        rig.form->ConBtnClick();
        return rig.form->Connected == 0;
    };
    QVERIFY(visit(100, 40, 12000, false));   // the first, A
    QVERIFY(visit(7, 3, 900, false));        // the other, B
    QVERIFY(visit(110, 45, 12350, true));    // A: 10 and 5 sold (350 yen), then cleared
    QVERIFY(visit(6, 2, 160, false));        // A: 6 and 2 since the clear
    LivePoll::Counters before;
    before.counts[0] = 6;
    before.counts[4] = 2;
    before.total = 160;
    QVERIFY(rig.journal.recordCounterClear(rig.form->identity(), before) > 0);
    QVERIFY(visit(9, 2, 190, false));        // the clear never went out: 3 more sold, 30 yen
    QCOMPARE(rig.answerer().unexpected, 0);

    rig.child<QPushButton>("JournalBtn")->click();
    JournalWindow *history = rig.form->journalWindow();
    const QList<JournalController> histories = history->controllers();
    QCOMPARE(histories.size(), 2);
    QCOMPARE(histories[0].apartVisit, qint64(0));   // A
    QVERIFY(histories[1].apartVisit != 0);           // B, for the technician to assign
    history->showController(0);
    history->chooseReadings(0, int(history->points().size()) - 1);
    auto *table = history->findChild<QTableWidget *>(QStringLiteral("SalesTable"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("19"));
    QCOMPARE(table->item(4, 1)->text(), QStringLiteral("7"));
    QCOMPARE(table->item(16, 2)->text(), QStringLiteral("540"));
    QCOMPARE(history->shownSales().clears, 2);
    QCOMPARE(history->shownSales().unproven, 1);
}

// A write is kept before it goes out: a clear, a price or settings write
// whose controller stops answering (neither its reply nor the closing
// "QVU0" nor the probe after it heard) leaves its record with the values before
// it and sent, and nothing reported; a clear never proven adds no sales.
void TestJournalWindow::writesKeptBeforeSent_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("silent");   // the command the controller never answers
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("sent");
    QTest::newRow("clear") << "clear" << QByteArray("QVZ0") << JournalKind::CounterClear << "count3"
                           << QVariant(12345) << QVariant();
    QTest::newRow("price") << "price" << QByteArray("QVSP*") << JournalKind::Price << "price1" << QVariant(100)
                           << QVariant(95);
    QTest::newRow("settings") << "options" << QByteArray("QVSO1*") << JournalKind::Settings << "option1"
                              << QVariant(0) << QVariant(1);
}

void TestJournalWindow::writesKeptBeforeSent()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, silent);
    QFETCH(QString, kind);
    QFETCH(QString, item);
    QFETCH(QVariant, before);
    QFETCH(QVariant, sent);
    JournalRig rig;
    QVERIFY(rig.journal.open(rig.journalPath()));
    const QByteArray scenario = R"({"id": "KEPT", "prices": [100], "counts": [1, 2, 12345], "salesTotal": 5000,
        "faults": [{"command": ")" + silent + R"(", "fault": "silence"}, {"command": "QVU0", "fault": "silence"},
                   {"command": "QV", "fault": "silence", "skip": 1}]})";
    QVERIFY(rig.emulator.startAt(EmulatorCom, scenario, EmulatorProcess::fastLine()));
    rig.openOnSerialPort();
    rig.form->link().setReadTimeoutMs(300);
    rig.form->setJournal(&rig.journal);
    rig.form->show();
    rig.answerer().setAlways(ModalAnswerer::press(QMessageBox::Ok));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    if (operation == QLatin1String("clear")) {
        rig.child<QPushButton>("CntClrBtn")->click();
    } else if (operation == QLatin1String("price")) {
        rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("9.5"));
        rig.clickCell("OptGrid1", 1, 0);
    } else {
        rig.child<QComboBox>("Opt1Sel")->setCurrentIndex(1);
        rig.child<QPushButton>("SendSalesBtn")->click();
    }
    // The controller answers again and the window reads it afresh.
    QTRY_VERIFY_WITH_TIMEOUT(rig.form->Connected == 1 && !rig.form->deviceLost(), 10000);
    rig.form->ConBtnClick();

    const QList<JournalEvent> events = rig.journal.events(nullptr, true);
    const auto written = std::find_if(events.begin(), events.end(), [&](const JournalEvent &e) { return e.kind == kind; });
    QVERIFY(written != events.end());
    const auto it = std::find_if(written->items.begin(), written->items.end(),
                                 [&](const JournalItem &i) { return i.name == item; });
    QVERIFY(it != written->items.end());
    QCOMPARE(it->value.toLongLong(), before.toLongLong());
    QCOMPARE(it->sent.isValid() && !it->sent.isNull(), sent.isValid());
    if (sent.isValid())
        QCOMPARE(it->sent.toLongLong(), sent.toLongLong());
    if (kind != JournalKind::Settings)   // the settings' proof comes at the controller's restart
        QVERIFY(it->reported.isNull());
    // Across a clear that never happened, nothing was sold.
    const QList<SalesHistory::CountPoint> points = SalesHistory::countPoints(events);
    const SalesHistory::Sales sales = SalesHistory::between(points, 0, int(points.size()) - 1);
    for (int f = 0; f < SalesHistory::Figures; ++f)
        QCOMPARE(sales.sold[std::size_t(f)], qint64(0));
}

// While events cannot be kept (another program holds the journal), 履歴なし
// stays in the status bar; once recording resumes it goes, and the journal
// counts what it missed.
void TestJournalWindow::notKeptMarkUntilResumed()
{
    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    auto *mark = rig.child<QWidget>("JournalState");
    QVERIFY(!mark->isVisible());
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        other.setDatabaseName(rig.journalPath());
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        rig.form->ConBtnClick();   // the counts at disconnection: not kept
        QVERIFY(mark->isVisible());
        QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QVERIFY(!mark->isVisible());
    const QList<JournalEvent> events = rig.journal.events(nullptr);
    QCOMPARE(events.size(), 3);
    QCOMPARE(events[1].kind, JournalKind::Gap);
}

// A clear whose counts the journal cannot keep asks the operator, but never
// inside write mode, and the controller is checked after the answer: held
// from the start, the question comes before the check; failing inside
// write mode, the clear leaves write mode, asks, and starts afresh.
void TestJournalWindow::clearAsksOutsideWriteMode_data()
{
    QTest::addColumn<bool>("failedBefore");   // the journal had already failed
    QTest::addColumn<QStringList>("sequence");
    QStringList counts;
    for (const char *i : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"})
        counts << QStringLiteral("QVRC%1").arg(QLatin1String(i));
    counts << QStringLiteral("QVREA");
    const QStringList check{"QVRON", "QVV"};
    const QStringList clear = QStringList{"QVU1"} + counts + QStringList{"QVZ0"} + counts + QStringList{"QVU0"};
    QTest::newRow("failed before the clear") << true << QStringList{"?"} + check + clear;
    QTest::newRow("fails inside write mode")
        << false << check + QStringList{"QVU1"} + counts + QStringList{"QVU0", "?"} + check + clear;
}

void TestJournalWindow::clearAsksOutsideWriteMode()
{
    QFETCH(bool, failedBefore);
    QFETCH(QStringList, sequence);

    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    if (auto *timer = rig.form->findChild<QTimer *>(QStringLiteral("Timer")))
        timer->stop();
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    other.setDatabaseName(rig.journalPath());
    QVERIFY(other.open());
    QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    if (failedBefore)
        QVERIFY(rig.journal.recordReading(rig.form->identity(), DeviceData(), nullptr, true) == 0);
    const qsizetype from = rig.emulator.commands().size();
    // The question's place among the commands is marked "?".
    QStringList asked;
    rig.answerer().actions << ModalAnswerer::press(QMessageBox::Ok);
    rig.answerer().actions << [&](QWidget *box) {
        asked = rig.emulator.commands().mid(from);
        ModalAnswerer::press(QMessageBox::Ok)(box);
    };
    rig.child<QPushButton>("CntClrBtn")->click();
    QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
    other.close();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));

    QVERIFY2(rig.answerer().seen.size() >= 2, qPrintable(rig.emulator.commands().mid(from).join(u' ')));
    QVERIFY2(rig.answerer().seen.at(1).text.startsWith(QStringLiteral("現在の販売枚数と総売上を履歴に記録できませんでした")),
             qPrintable(rig.answerer().seen.at(1).text));
    QStringList got = asked;
    got << QStringLiteral("?");
    got += rig.emulator.commands().mid(from + asked.size());
    QCOMPARE(got.mid(0, sequence.size()), sequence);
    // Cleared once the operator said so.
    QCOMPARE(rig.child<StringGrid>("OptGrid2")->cells(1, 2), QStringLiteral("0000"));
}

// The history window's file dialog saves each format under the name typed,
// with the format's extension when none was typed.
void TestJournalWindow::savedUnderTheNameTyped_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::newRow("report, named") << QByteArray("ReportBtn") << "report-C.pdf" << "report-C.pdf";
    QTest::newRow("report, no extension") << QByteArray("ReportBtn") << "report-C" << "report-C.pdf";
    QTest::newRow("audit file, named") << QByteArray("DexBtn") << "C.dex" << "C.dex";
    QTest::newRow("audit file, no extension") << QByteArray("DexBtn") << "C" << "C.dex";
    QTest::newRow("CSV, no extension") << QByteArray("ExportOneBtn") << "C" << "C.csv";
}

void TestJournalWindow::savedUnderTheNameTyped()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    rig.form->ConBtnClick();
    rig.child<QPushButton>("JournalBtn")->click();
    JournalWindow *history = rig.form->journalWindow();
    history->showController(0);
    QTemporaryDir out;
    rig.answerer().actions << [&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        QVERIFY(dialog);
        dialog->setDirectory(out.path());
        dialog->selectFile(typed);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    };
    rig.answerer().setAlways(ModalAnswerer::press(QMessageBox::Ok));
    history->findChild<QPushButton *>(QString::fromLatin1(button))->click();
    QTRY_COMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{saved});
    // What was written is of the format chosen, whatever the name.
    QFile file(QDir(out.path()).filePath(saved));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(4);
    QCOMPARE(head, button == "ReportBtn" ? QByteArray("%PDF") : button == "DexBtn" ? QByteArray("DXS*") : head);
}

// The export dialog browsing the journal's folder, then the command line's
// export (another instance opening and closing the journal), then more
// events: what is on disk holds them all.
void TestJournalWindow::exportDialogThenSecondInstance()
{
    JournalRig rig;
    QVERIFY(rig.startConnected(rig.journalPath()));
    rig.child<QPushButton>("JournalBtn")->click();
    QFileDialog *dialog = rig.form->journalWindow()->exportDialog();
    const QString folder = QFileInfo(rig.journalPath()).absolutePath();
    QVERIFY(dialog->directory().absolutePath() != folder);   // it starts elsewhere
    dialog->setDirectory(folder);
    dialog->open();
    auto *model = dialog->findChild<QFileSystemModel *>();
    QVERIFY(model);
    // Listed, with a type told from its name alone.
    QTRY_COMPARE(model->type(model->index(rig.journalPath())), QStringLiteral("SQLITE ファイル"));
    dialog->reject();

    QProcess exporter;
    exporter.setProcessEnvironment(programEnvironment(rig.data.path()));
    exporter.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--export-journal"), QStringLiteral("-")});
    QVERIFY(exporter.waitForFinished(30000));
    QCOMPARE(exporter.exitCode(), 0);
    for (int i = 0; i < 3; ++i)
        QVERIFY(rig.journal.recordReading(rig.form->identity(), DeviceData(), nullptr, true) > 0);
    const int recorded = int(rig.journal.events(nullptr).size());
    QVERIFY(recorded >= 4);
    QCOMPARE(eventsOnDisk(rig.journalPath(), true), recorded);
    // A copy in one file while this instance holds the journal.
    QProcess backup;
    backup.setProcessEnvironment(programEnvironment(rig.data.path()));
    const QString copy = rig.data.filePath(QStringLiteral("backup.sqlite"));
    backup.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--backup-journal"), copy});
    QVERIFY(backup.waitForFinished(30000));
    QCOMPARE(backup.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(copy + QStringLiteral("-wal")));
    QCOMPARE(eventsOnDisk(copy, false), recorded);
    // Nor can an export replace it.
    QVERIFY(!rig.journal.exportCsvTo(rig.journalPath(), nullptr, true));
}

void TestJournalWindow::endsOnSignals_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// Told to end by a signal, the program closes its journal as closing the
// window does: the events another instance left in the log are folded into
// the journal's own file.
void TestJournalWindow::endsOnSignals()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    Journal writer;
    QVERIFY(writer.open(path));
    for (int i = 0; i < 8; ++i)
        QVERIFY(writer.recordReading(ControllerIdentity(), DeviceData(), nullptr) > 0);
    QProcess program;
    program.setProcessEnvironment(programEnvironment(dir.path()));
    program.start(QStringLiteral(QUVO_UTILITY), {QStringLiteral("--journal"), path});
    QVERIFY(program.waitForStarted());
    // Up once it holds the journal's lock file.
    const QString fds = QStringLiteral("/proc/%1/fd").arg(program.processId());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const QFileInfo &fd : QDir(fds).entryInfoList(QDir::Files | QDir::System))
                if (fd.symLinkTarget().endsWith(QStringLiteral("journal.sqlite.lock")))
                    return true;
            return false;
        }(),
        20000);
    writer.close();   // another instance holds it: the events stay in the log
    QCOMPARE(eventsOnDisk(path, false), 0);
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(eventsOnDisk(path, false), 8);
}

QTEST_MAIN(TestJournalWindow)
#include "tst_journal_window.moc"
