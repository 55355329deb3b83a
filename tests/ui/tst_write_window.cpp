// The window's write handlers in-process: the price cell and its dialog, the
// options write with the restart, the counter clear, against the fake port
// with a small controller model behind it.
#include "tests/support/FakeController.h"
#include "journal/Journal.h"
#include "tests/support/WindowFixture.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/JournalWindow.h"
#include "ui/StringGrid.h"
#include "ui/TPageControl.h"

#include <QComboBox>
#include <QLineEdit>
#include <QClipboard>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

struct WindowRig : WindowFixture {
    std::shared_ptr<FakeController> model = std::make_shared<FakeController>();

    WindowRig()
    {
        FakeController::attach(model, *port);
        openOnFakePort();
        form->show();
        showPage("TabSheet3");
        answerer();   // boxes are answered from the start
    }

    // Connects, then keeps the poll quiet so only the operation's commands
    // are recorded.
    void connectController()
    {
        form->ConBtnClick();
        if (auto *timer = form->findChild<QTimer *>(QStringLiteral("Timer")))
            timer->stop();
        port->commands.clear();
    }

    void setManualMode(bool manual)
    {
        auto *mode = child<QComboBox>("PanelMode");
        // The panel's own handler would send its commands; only the state matters here.
        QSignalBlocker block(mode);
        mode->setEnabled(true);
        mode->setCurrentIndex(manual ? 1 : 0);
    }

    // Runs `hook` on the line thread as each command reaches the controller.
    void onCommand(std::function<void(const QByteArray &)> hook)
    {
        port->fallback = [inner = port->fallback, hook](const QByteArray &c) {
            hook(c);
            return inner(c);
        };
    }

    // The commands up to (not including) the first one of the full read.
    QByteArrayList beforeFullRead() const
    {
        const int at = port->commands.indexOf("QVQ");
        return at < 0 ? port->commands : port->commands.mid(0, at);
    }
};

// From the line thread, while a command waits for its reply: has the
// window's thread do some work, and says whether it did within 5 s (a
// window blocked on the wire would not). The work crosses under a
// std::mutex and the call is posted by name, so that a thread sanitizer
// sees the hand-over.
class WindowErrand : public QObject {
    Q_OBJECT
public:
    bool run(std::function<void()> work)
    {
        std::unique_lock lock(mutex_);
        work_ = std::move(work);
        done_ = false;
        QMetaObject::invokeMethod(this, "carryOut", Qt::QueuedConnection);
        return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return done_; });
    }

private slots:
    void carryOut()
    {
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex_);
            work = work_;
        }
        work();
        const std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> work_;
    bool done_ = false;
};

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

const QString InfoCaption = QStringLiteral("Information");

} // namespace

class TestWriteWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void priceCellSelection_data();
    void priceCellSelection();
    void priceCellReselectAndArrowKeys();
    void priceWrite_data();
    void priceWrite();

    void optionsWrite();
    void optionsWriteCancelled();
    void optionsProvenOnItsOwnMachine_data();
    void optionsProvenOnItsOwnMachine();
    void twinMachinesAskedAndBound();
    void optionsWriteRejectsMagnification_data();
    void optionsWriteRejectsMagnification();
    void optionsWriteKeepsUnlistedOption();

    void counterClear_data();
    void counterClear();

    // What an ending leaves behind.
    void writeModeClosedAtEveryEnding_data();
    void writeModeClosedAtEveryEnding();
    void writeModeLeftByAnEarlierRunIsClosed_data();
    void writeModeLeftByAnEarlierRunIsClosed();
    void priceDialogOpensAfterEveryEnding_data();
    void priceDialogOpensAfterEveryEnding();
    void clickBelongsToItsConnection_data();
    void clickBelongsToItsConnection();

    // The line on its own thread.
    void windowAnswersDuringFullRead();
    void priceWriteWaitsForTheTick();
    void disconnectEndsTheFullRead();
    void disconnectDuringAWrite_data();
    void disconnectDuringAWrite();
    void noPollUnderABox_data();
    void noPollUnderABox();
    void queuedClickDropped_data();
    void queuedClickDropped();
};

void TestWriteWindow::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestWriteWindow::priceCellSelection_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QByteArray>("grid");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("title");   // empty: no dialog
    QTest::addColumn<QString>("hint");

    const QString tenths = QStringLiteral("[ 0.0 ～ 99.9 ]");
    QTest::newRow("not connected") << false << QByteArray("OptGrid1") << 1 << 2 << "" << "";
    QTest::newRow("column 0") << true << QByteArray("OptGrid1") << 0 << 2 << "" << "";
    QTest::newRow("row 10") << true << QByteArray("OptGrid1") << 1 << 10 << "" << "";
    QTest::newRow("row 15") << true << QByteArray("OptGrid1") << 1 << 15 << "" << "";
    QTest::newRow("count grid") << true << QByteArray("OptGrid2") << 1 << 2 << "" << "";
    QTest::newRow("row 0") << true << QByteArray("OptGrid1") << 1 << 0 << "コラム1 設定価格" << tenths;
    QTest::newRow("row 2") << true << QByteArray("OptGrid1") << 1 << 2 << "コラム3 設定価格" << tenths;
    QTest::newRow("row 4") << true << QByteArray("OptGrid1") << 1 << 4 << "コラム5 設定価格" << "[ 10 ～ 990 ]";
    QTest::newRow("row 5") << true << QByteArray("OptGrid1") << 1 << 5 << "コラム6 設定価格" << "[ 10 ～ 990 ]";
    QTest::newRow("row 6") << true << QByteArray("OptGrid1") << 1 << 6 << "コラム7 設定価格" << "[ 1 ～ 999 ]";
    QTest::newRow("row 7") << true << QByteArray("OptGrid1") << 1 << 7 << "コラム8 設定価格" << "[ 1 ～ 999 ]";
    QTest::newRow("row 8") << true << QByteArray("OptGrid1") << 1 << 8 << "コラム9 設定価格" << tenths;
    QTest::newRow("row 9") << true << QByteArray("OptGrid1") << 1 << 9 << "コラム10 設定価格" << tenths;
}

void TestWriteWindow::priceCellSelection()
{
    QFETCH(bool, connected);
    QFETCH(QByteArray, grid);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QString, title);
    QFETCH(QString, hint);

    WindowRig rig;
    if (connected)
        rig.connectController();
    // The field offers the price as the controller reports it now, read as
    // the dialog opens, whatever the grid showed before.
    const int held = (row + 1) * 10 + row;
    const QString shown = row >= 4 && row <= 7 ? QString::number(held) : QStringLiteral("%1.%2").arg(row + 1).arg(row);
    const QByteArray read = QByteArray("QVRP") + "0123456789ABCDEF"[row];
    rig.port->replies.insert(read, FakePort::ok(QByteArray::number(held, 16).toUpper().rightJustified(4, '0')));
    rig.port->commands.clear();
    rig.child<StringGrid>("SalesGrid")->setCell(1, row + 1, QStringLiteral("99.9"));
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("キャンセル"));

    rig.clickCell(grid.constData(), col, row);

    if (title.isEmpty()) {
        QCOMPARE(rig.answerer().seen.size(), 0);
    } else {
        QCOMPARE(rig.answerer().seen.size(), 1);
        const ModalAnswerer::Seen &s = rig.answerer().seen.first();
        QCOMPARE(s.text, title);
        QCOMPARE(s.hint, hint);
        QCOMPARE(s.field, shown);
        QCOMPARE(s.focus, QStringLiteral("Edit"));
    }
    // Cancelled or never opened: nothing but that one read goes to the controller.
    QCOMPARE(rig.port->commands, title.isEmpty() ? QByteArrayList{} : QByteArrayList{read});
    QCOMPARE(rig.answerer().stuck, 0);
}

void TestWriteWindow::priceCellReselectAndArrowKeys()
{
    WindowRig rig;
    rig.connectController();
    for (int i = 0; i < 4; ++i)
        rig.answerer().actions << ModalAnswerer::click(QStringLiteral("キャンセル"));

    rig.clickCell("OptGrid1", 1, 2);
    rig.clickCell("OptGrid1", 1, 2);   // the cell already selected
    auto *grid = rig.child<StringGrid>("OptGrid1");
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Up);
    // The fixed column is never current, so neither key nor click there
    // brings the dialog back.
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Home})
        QTest::keyClick(grid, key);
    rig.clickCell("OptGrid1", 0, 3);
    QTest::keyClick(grid, Qt::Key_Right);
    QCOMPARE(grid->currentColumn(), 1);
    QCOMPARE(grid->currentRow(), 2);

    QStringList titles;
    for (const auto &s : rig.answerer().seen)
        titles << s.text;
    QCOMPARE(titles, (QStringList{"コラム3 設定価格", "コラム3 設定価格",
                                  "コラム4 設定価格", "コラム3 設定価格"}));
    QCOMPARE(rig.answerer().unexpected, 0);
}

void TestWriteWindow::priceWrite_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QString>("cell");     // empty: rejected

    // The price is read as the dialog opens and once more after its OK:
    // the write goes out only over the value the dialog offered.
    QTest::newRow("col3 12.5") << 2 << "12.5" << false
        << QByteArrayList{"QVRP2", "QVRP2", "QVU1", "QVSP2=007D", "QVU0"} << "12.5";
    QTest::newRow("col3 12.5 manual") << 2 << "12.5" << true
        << QByteArrayList{"QVRP2", "QVRP2", "QVU1", "QVSP2=007D"} << "12.5";
    QTest::newRow("col5 150") << 4 << "150" << false
        << QByteArrayList{"QVRP4", "QVRP4", "QVU1", "QVSP4=0096", "QVU0"} << "150";
    QTest::newRow("col10 0.3") << 9 << " 0.3 " << false
        << QByteArrayList{"QVRP9", "QVRP9", "QVU1", "QVSP9=0003", "QVU0"} << "0.3";
    QTest::newRow("col1 abc") << 0 << "abc" << false << QByteArrayList{"QVRP0"} << "";
    QTest::newRow("col1 12.34") << 0 << "12.34" << false << QByteArrayList{"QVRP0"} << "";
    QTest::newRow("col1 100") << 0 << "100" << false << QByteArrayList{"QVRP0"} << "";
    QTest::newRow("col7 0 manual") << 6 << "0" << true << QByteArrayList{"QVRP6"} << "";
}

void TestWriteWindow::priceWrite()
{
    QFETCH(int, row);
    QFETCH(QString, entry);
    QFETCH(bool, manual);
    QFETCH(QByteArrayList, commands);
    QFETCH(QString, cell);

    WindowRig rig;
    rig.connectController();
    rig.setManualMode(manual);
    auto *opt = rig.child<StringGrid>("OptGrid1");
    auto *sales = rig.child<StringGrid>("SalesGrid");
    opt->setCell(1, row, QStringLiteral("old"));
    sales->setCell(1, row + 1, QStringLiteral("old"));
    rig.answerer().actions << ModalAnswerer::enter(entry);
    if (cell.isEmpty())
        rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));

    rig.clickCell("OptGrid1", 1, row);

    QCOMPARE(rig.answerer().unexpected, 0);
    QCOMPARE(rig.answerer().stuck, 0);
    if (cell.isEmpty()) {
        QCOMPARE(rig.answerer().seen.size(), 2);
        const ModalAnswerer::Seen &error = rig.answerer().seen.at(1);
        QCOMPARE(error.caption, QStringLiteral("Error"));
        QCOMPARE(error.text, QStringLiteral("値が正しくありません"));
        QCOMPARE(error.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(rig.port->commands, commands);
        // The grids keep the price the dialog read and offered.
        QCOMPARE(opt->cells(1, row), rig.answerer().seen.first().field);
        QCOMPARE(sales->cells(1, row + 1), rig.answerer().seen.first().field);
        return;
    }
    QCOMPARE(rig.beforeFullRead(), commands);
    // The read-back follows at once and the views show what the controller holds.
    QVERIFY(rig.port->commands.size() > commands.size());
    QCOMPARE(rig.port->commands.at(commands.size()), QByteArray("QVQ"));
    QCOMPARE(rig.form->data().ColumnPrice(row), rig.model->price[std::size_t(row)]);
    QCOMPARE(opt->cells(1, row), cell);
    QCOMPARE(sales->cells(1, row + 1), cell);
}

void TestWriteWindow::optionsWrite()
{
    WindowRig rig;
    rig.connectController();
    const int indexes[] = {2, 1, 3, 1, 1, 1};
    for (int k = 0; k < 6; ++k)
        rig.child<QComboBox>(qPrintable(QStringLiteral("Opt%1Sel").arg(k + 1)))->setCurrentIndex(indexes[k]);
    const char *mags[] = {"3", "4", "1", "2", "1", "3"};
    for (int b = 0; b < 6; ++b)
        rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->setEditText(QString::fromLatin1(mags[b]));
    rig.child<QLineEdit>("Edit1")->setText(QStringLiteral("領 収 書"));
    rig.child<QLineEdit>("Edit2")->setText(QStringLiteral("ABC"));
    rig.child<QLineEdit>("Edit3")->setText(QString());
    rig.child<QLineEdit>("xxxxxxxx")->setText(QStringLiteral("No7"));
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"))
                          << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer().unexpected, 0);
    QCOMPARE(rig.answerer().stuck, 0);
    // After the OK, the ten settings are read once more against what the
    // connection read, before anything is written.
    QCOMPARE(rig.port->commands,
             (QByteArrayList{"QVRO1", "QVRO2", "QVRO3", "QVRO4", "QVRO5", "QVRO6", "QVROA", "QVROB", "QVROC",
                             "QVRON", "QVU1", "QVSO1=02", "QVSO3=03", "QVSO2=01", "QVSO4=01", "QVSO5=01",
                             "QVSO6=01", "QVSON=No7", "QVSOA=34\x97\xCC \x8E\xFB \x8F\x91",
                             "QVSOB=12ABC", "QVSOC=13", "QVW", "QVF", "QVF"}));
    QCOMPARE(rig.answerer().seen.size(), 2);
    const ModalAnswerer::Seen &ask = rig.answerer().seen.at(0);
    QCOMPARE(ask.caption, InfoCaption);
    QCOMPARE(ask.text, QStringLiteral("設定値を書き込み,QUVOを再起動します.\n"
                                      "QUVOとは一旦切断されますので,再起動後に接続し直して下さい.\n"
                                      "実行してもよろしいですか？"));
    QCOMPARE(sorted(ask.buttons), sorted({QStringLiteral("OK"), QStringLiteral("キャンセル")}));
    QVERIFY(ask.windowEnabled);
    const ModalAnswerer::Seen &notice = rig.answerer().seen.at(1);
    QCOMPARE(notice.caption, InfoCaption);
    QCOMPARE(notice.text, QStringLiteral("QUVOを再起動します."));
    QCOMPARE(notice.buttons, QStringList{QStringLiteral("OK")});
    // The window is off while the sequence runs; the notice still takes its OK.
    QVERIFY(!notice.windowEnabled);
    QVERIFY(notice.enabled);

    // Ends disconnected, as the connect button leaves it, with the window back.
    QCOMPARE(rig.form->Connected, 0);
    QVERIFY(!rig.form->link().portHandleValid());
    QVERIFY(rig.form->isEnabled());
    QCOMPARE(rig.child<QLineEdit>("ComStatus")->text(), QStringLiteral("未接続"));
    for (const char *name : {"SendSalesBtn", "CntClrBtn"})
        QVERIFY2(!rig.child<QWidget>(name)->isEnabled(), name);
    for (const char *name : {"Opt1Sel", "ComboBox1", "Edit1", "xxxxxxxx"})
        QVERIFY2(!rig.child<QWidget>(name)->isEnabled(), name);
    // What was shown stays shown.
    QCOMPARE(rig.child<QLineEdit>("Edit1")->text(), QStringLiteral("領 収 書"));
    // And the controller holds what was written.
    QCOMPARE(rig.model->option, (std::array<int, 6>{2, 1, 3, 1, 1, 1}));
    QCOMPARE(rig.model->line[0], QByteArray("34\x97\xCC \x8E\xFB \x8F\x91"));
    QCOMPARE(rig.model->identification, QByteArray("No7"));
}

void TestWriteWindow::optionsWriteCancelled()
{
    WindowRig rig;
    rig.connectController();
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("キャンセル"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer().seen.size(), 1);
    QCOMPARE(rig.port->commands, QByteArrayList{});
    QCOMPARE(rig.form->Connected, 1);
    QVERIFY(rig.form->link().portHandleValid());
    QVERIFY(rig.child<QWidget>("SendSalesBtn")->isEnabled());
    QVERIFY(rig.form->isEnabled());
}

void TestWriteWindow::optionsProvenOnItsOwnMachine_data()
{
    QTest::addColumn<bool>("another");
    QTest::newRow("the same machine back") << false;
    QTest::newRow("another machine with the same texts") << true;
}

// Options written to machine A (named in the journal), the controller
// restarts; then, with no connection between, a controller is connected
// that reports A's texts: A itself, or B with other settings and figures.
// B's settings are never compared with A's write, and B's visit is not
// filed under A.
void TestWriteWindow::optionsProvenOnItsOwnMachine()
{
    QFETCH(bool, another);
    QTemporaryDir dir;
    Journal journal;
    QVERIFY(journal.open(dir.filePath(QStringLiteral("journal.sqlite"))));
    WindowRig rig;
    rig.model->price[0] = 1000;
    rig.model->count[0] = 10;
    rig.model->salesTotal = 1000;
    rig.form->setJournal(&journal);
    rig.connectController();
    const qint64 a = journal.nameMachine(QStringLiteral("A-001"), QStringLiteral("駅東口"));
    QVERIFY(journal.assign(journal.controllers().value(0), a));
    rig.child<QComboBox>("Opt1Sel")->setCurrentIndex(2);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"));
    rig.child<QPushButton>("SendSalesBtn")->click();
    QCOMPARE(rig.form->Connected, 0);
    QCOMPARE(rig.model->option[0], 2);
    if (another) {
        rig.model->option = {0, 0, 0, 0, 0, 0};
        rig.model->count[0] = 300;
        rig.model->salesTotal = 30000;
    } else {
        rig.model->count[0] = 12;
        rig.model->salesTotal = 1200;
    }
    rig.answerer().seen.clear();
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    const QStringList texts = [&rig] {
        QStringList t;
        for (const ModalAnswerer::Seen &seen : rig.answerer().seen)
            t << seen.text;
        return t;
    }();
    QCOMPARE(texts.size(), another ? 1 : 0);
    if (another) {
        QVERIFY2(texts.first().contains(QStringLiteral("別のQUVO")), qPrintable(texts.first()));
        QVERIFY2(texts.first().contains(QStringLiteral("販売枚数と総売上が前のQUVOから続いていません")),
                 qPrintable(texts.first()));
    }
    // The connection's reading: with A's history when it is A.
    const QList<JournalEvent> events = journal.events(nullptr);
    const auto last = std::find_if(events.rbegin(), events.rend(),
                                   [](const JournalEvent &e) { return e.kind == JournalKind::Reading; });
    QVERIFY(last != events.rend());
    QCOMPARE(last->machine, another ? qint64(0) : a);
    // A's own return later is still proven against the write.
    if (another) {
        rig.form->ConBtnClick();
        rig.model->option[0] = 2;
        rig.model->count[0] = 11;
        rig.model->salesTotal = 1100;
        rig.answerer().seen.clear();
        rig.form->ConBtnClick();
        QCOMPARE(rig.answerer().seen.size(), 0);
        const QList<JournalEvent> again = journal.events(nullptr);
        QCOMPARE(std::find_if(again.rbegin(), again.rend(),
                              [](const JournalEvent &e) { return e.kind == JournalKind::Reading
                                                                 && e.summary.startsWith(QStringLiteral("読み取り")); })
                     ->machine,
                 a);
    }
}

// Two named machines whose controllers report the same texts, and a
// connection whose figures either could have (both were cleared since):
// the technician is asked which, with each one's last figures, and the
// visit goes with the answer. From the history window the machine is then
// bound: its asset number written as the identification text through the
// options write, after a box that says what that changes.
void TestWriteWindow::twinMachinesAskedAndBound()
{
    QTemporaryDir dir;
    Journal journal;
    QVERIFY(journal.open(dir.filePath(QStringLiteral("journal.sqlite"))));
    QDateTime at = QDateTime::currentDateTime().addDays(-10);
    journal.setClock([&at] { return at; });
    const ControllerIdentity twin{WindowFixture::FakeCom, QStringLiteral("/dev/null"), "ID", "ver1.05", true, true};
    QList<qint64> visits;
    for (const int count : {10, 50}) {
        DeviceData data;
        data.ColumnPrice(0) = 1000;
        data.ColumnSalesCount(0) = count;
        data.SalesTotal() = count * 100;
        journal.startVisit();
        visits << journal.recordReading(twin, data, nullptr);
        journal.endVisit();
        at = at.addDays(1);
    }
    const qint64 a = journal.nameMachine(QStringLiteral("A-001"), QStringLiteral("駅東口"));
    QVERIFY(journal.assign(journal.controllers().value(0), a));
    const qint64 b = journal.nameMachine(QStringLiteral("B-002"), QStringLiteral("駅西口"));
    QVERIFY(journal.moveVisit(visits[1], b));
    at = QDateTime::currentDateTime();

    WindowRig rig;
    rig.model->price[0] = 1000;
    rig.form->setJournal(&journal);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("B-002"));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QCOMPARE(rig.answerer().seen.size(), 1);
    const ModalAnswerer::Seen asked = rig.answerer().seen.first();
    QCOMPARE(sorted(asked.buttons), sorted({QStringLiteral("A-001"), QStringLiteral("B-002"), QStringLiteral("どれでもない")}));
    for (const char *shown : {"A-001 駅東口", "総売上 1000円", "B-002 駅西口", "総売上 5000円"})
        QVERIFY2(asked.text.contains(QString::fromUtf8(shown)), qPrintable(asked.text));
    QCOMPARE(journal.currentMachine(), b);

    rig.child<QPushButton>("JournalBtn")->click();
    JournalWindow *history = rig.form->journalWindow();
    QVERIFY(history);
    QCOMPARE(history->twinsOfShown(), QStringList{QStringLiteral("A-001")});
    if (auto *timer = rig.form->findChild<QTimer *>(QStringLiteral("Timer")))
        timer->stop();
    rig.port->commands.clear();
    rig.answerer().seen.clear();
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"))
                          << ModalAnswerer::click(QStringLiteral("OK"));
    QVERIFY(history->bindShown(QStringLiteral("B-002")));
    QVERIFY(rig.answerer().seen.size() >= 1);
    const QString told = rig.answerer().seen.first().text;
    for (const char *said : {"8バイトまで", "領収書に印刷されます", "再起動します"})
        QVERIFY2(told.contains(QString::fromUtf8(said)), qPrintable(told));
    QVERIFY2(rig.port->commands.contains("QVSON=B-002"), qPrintable(rig.port->commands.join(' ')));
    QCOMPARE(rig.model->identification, QByteArray("B-002"));
}

void TestWriteWindow::optionsWriteRejectsMagnification_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("X1 empty") << 1 << "";
    QTest::newRow("Y1 5") << 2 << "5";
    QTest::newRow("X2 0") << 3 << "0";
    QTest::newRow("Y2 12") << 4 << "12";
    QTest::newRow("X3 letter") << 5 << "a";
    QTest::newRow("Y3 full-width") << 6 << "３";
}

void TestWriteWindow::optionsWriteRejectsMagnification()
{
    QFETCH(int, box);
    QFETCH(QString, text);

    WindowRig rig;
    rig.connectController();
    auto *combo = rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(box)));
    {
        // The preview reports a text that is no number on its own; only the write is looked at here.
        QSignalBlocker block(combo);
        combo->setEditText(text);
    }
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer().seen.size(), 1);
    QCOMPARE(rig.answerer().seen.first().caption, QStringLiteral("Error"));
    // The refusal names the box at fault.
    QVERIFY2(rig.answerer().seen.first().text.startsWith(QStringLiteral("値が正しくありません\n・領収書文字")),
             qPrintable(rig.answerer().seen.first().text));
    QCOMPARE(rig.answerer().seen.first().buttons, QStringList{QStringLiteral("OK")});
    QCOMPARE(rig.port->commands, QByteArrayList{});
    QCOMPARE(rig.form->Connected, 1);
    QVERIFY(rig.form->link().portHandleValid());
}

void TestWriteWindow::optionsWriteKeepsUnlistedOption()
{
    WindowRig rig;
    rig.connectController();
    // The controller reported a value beyond the buzzer selector's two items.
    rig.form->data().OptionSelection(1) = 0x0B;
    rig.child<QComboBox>("Opt2Sel")->setCurrentIndex(-1);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"))
                          << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QVERIFY(rig.port->commands.contains("QVSO2=0B"));
    QCOMPARE(rig.model->option[1], 0x0B);
}

void TestWriteWindow::counterClear_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QByteArrayList>("commands");
    // The controller is named once more before its counts are cleared; in
    // write mode its counts and total are read just before "QVZ0" and again
    // at once after it.
    QByteArrayList counts;
    for (const char *i : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"})
        counts << QByteArray("QVRC") + i;
    counts << "QVREA";
    const QByteArrayList cleared = QByteArrayList{"QVRON", "QVV", "QVU1"} + counts + QByteArrayList{"QVZ0"} + counts;
    QTest::newRow("monitor mode") << true << false << cleared + QByteArrayList{"QVU0"};
    QTest::newRow("manual mode") << true << true << cleared;
    QTest::newRow("cancelled") << false << false << QByteArrayList{};
}

void TestWriteWindow::counterClear()
{
    QFETCH(bool, confirm);
    QFETCH(bool, manual);
    QFETCH(QByteArrayList, commands);

    WindowRig rig;
    rig.model->count.fill(7);
    rig.connectController();
    rig.setManualMode(manual);
    rig.answerer().actions << ModalAnswerer::click(confirm ? QStringLiteral("OK") : QStringLiteral("キャンセル"));

    rig.child<QPushButton>("CntClrBtn")->click();

    QCOMPARE(rig.answerer().seen.size(), 1);
    const ModalAnswerer::Seen &ask = rig.answerer().seen.first();
    QCOMPARE(ask.caption, InfoCaption);
    QCOMPARE(ask.text, QStringLiteral("カウンタのクリアを行います.\n実行してもよろしいですか？"));
    QCOMPARE(sorted(ask.buttons), sorted({QStringLiteral("OK"), QStringLiteral("キャンセル")}));
    QCOMPARE(rig.beforeFullRead(), commands);
    QCOMPARE(rig.form->Connected, 1);
    if (!confirm) {
        QCOMPARE(rig.port->commands, QByteArrayList{});
        return;
    }
    QVERIFY(rig.port->commands.size() > commands.size());
    QCOMPARE(rig.port->commands.at(commands.size()), QByteArray("QVQ"));
    // The read-back shows the cleared counts.
    auto *counts = rig.child<StringGrid>("OptGrid2");
    for (int r = 0; r < 16; ++r)
        QCOMPARE(counts->cells(1, r), QStringLiteral("0000"));
}

void TestWriteWindow::writeModeClosedAtEveryEnding_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("lost");      // the command whose reply is lost
    QTest::addColumn<bool>("disconnect");      // 切断 pressed as it goes out
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QByteArrayList>("after"); // what goes out right after it

    // A lost reply may be only the reply: a controller that still answers
    // is told to leave write mode, whatever the write was doing.
    QTest::newRow("price: QVU1 lost") << "price" << QByteArray("QVU1") << false << false
                                      << QByteArrayList{"QV", "QVU0"};
    QTest::newRow("price: QVSP lost") << "price" << QByteArray("QVSP2") << false << false
                                      << QByteArrayList{"QVU0", "QVQ"};
    QTest::newRow("price: QVSP lost, manual") << "price" << QByteArray("QVSP2") << false << true
                                              << QByteArrayList{"QV", "QVQ"};
    QTest::newRow("price: 切断 during QVSP's wait") << "price" << QByteArray("QVSP2") << true << false
                                                     << QByteArrayList{"QVU0"};
    QTest::newRow("price: 切断 as QVSP goes out") << "price" << QByteArray() << true << false
                                                   << QByteArrayList{"QVU0"};
    QTest::newRow("clear: QVU1 lost") << "clear" << QByteArray("QVU1") << false << false
                                      << QByteArrayList{"QV", "QVU0"};
    QTest::newRow("clear: QVZ0 lost") << "clear" << QByteArray("QVZ0") << false << false
                                      << QByteArrayList{"QVU0", "QVQ"};
    QTest::newRow("clear: 切断 during QVZ0's wait") << "clear" << QByteArray("QVZ0") << true << false
                                                     << QByteArrayList{"QVU0"};
    QTest::newRow("options: QVU1 lost") << "options" << QByteArray("QVU1") << false << false
                                        << QByteArrayList{"QV", "QVU0"};
    QTest::newRow("options: QVSO3 lost") << "options" << QByteArray("QVSO3") << false << false
                                         << QByteArrayList{"QVU0"};
    // Every setting is on the controller: the restart ends write mode.
    QTest::newRow("options: QVW lost") << "options" << QByteArray("QVW") << false << false
                                       << QByteArrayList{"QV", "QVF", "QVF"};
}

void TestWriteWindow::writeModeClosedAtEveryEnding()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, lost);
    QFETCH(bool, disconnect);
    QFETCH(bool, manual);
    QFETCH(QByteArrayList, after);

    WindowRig rig;
    WindowErrand errand;
    rig.connectController();
    rig.setManualMode(manual);
    const QByteArray at = lost.isEmpty() ? QByteArray("QVSP2") : lost;
    bool seen = false;
    bool pressed = false;
    rig.port->fallback = [model = rig.model, fallback = rig.port->fallback, &lost, &seen](const QByteArray &c) {
        const QByteArray reply = fallback(c);
        if (!lost.isEmpty() && !seen && c.startsWith(lost)) {
            seen = true;
            return QByteArray();   // taken, but its reply never comes
        }
        return reply;
    };
    rig.onCommand([&](const QByteArray &c) {
        if (disconnect && !pressed && c.startsWith(at))
            pressed = errand.run([&] { QTest::mouseClick(rig.child<QPushButton>("ConBtn"), Qt::LeftButton); });
    });
    for (int i = 0; i < 6; ++i)
        rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("12.5"));

    if (operation == QLatin1String("price"))
        rig.clickCell("OptGrid1", 1, 2);
    else if (operation == QLatin1String("clear"))
        rig.child<QPushButton>("CntClrBtn")->click();
    else
        rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(disconnect, pressed);
    const QByteArrayList &sent = rig.port->commands;
    qsizetype i = 0;
    while (i < sent.size() && !sent[i].startsWith(at))
        ++i;
    QVERIFY2(i < sent.size(), at.constData());
    QCOMPARE(sent.mid(i + 1, after.size()), after);
    // However it ended, write mode was left (or kept by manual mode on purpose).
    const qsizetype opened = sent.lastIndexOf("QVU1");
    QVERIFY(opened >= 0);
    const QByteArrayList rest = sent.mid(opened);
    QCOMPARE(manual || rest.contains("QVU0") || rest.contains("QVF"), true);
    QVERIFY(!rig.form->writeModeLeftOpen());
    if (disconnect) {
        // Cut off before its read-back: the price is not shown as the entry.
        QCOMPARE(rig.form->Connected, 0);
        if (operation == QLatin1String("price")) {
            QCOMPARE(rig.child<StringGrid>("OptGrid1")->cells(1, 2), QString());
            QVERIFY(std::any_of(rig.answerer().seen.begin(), rig.answerer().seen.end(), [](const auto &b) {
                return b.text.contains(QStringLiteral("コラム3の価格が書き込まれたか確認できていません"));
            }));
        }
    }
}

void TestWriteWindow::writeModeLeftByAnEarlierRunIsClosed_data()
{
    // Column 1 at 100 yen: the figures read in the write's visit before it
    // (a count of -1: none read), and the controller's when connected now.
    QTest::addColumn<int>("countBefore");
    QTest::addColumn<int>("countNow");
    QTest::addColumn<bool>("closed");
    QTest::newRow("nothing read before the write") << -1 << 300 << true;
    QTest::newRow("figures that go on") << 10 << 12 << true;
    QTest::newRow("cleared elsewhere since") << 10 << 0 << true;
    QTest::newRow("the same texts, another machine's figures") << 10 << 300 << false;
}

void TestWriteWindow::writeModeLeftByAnEarlierRunIsClosed()
{
    QFETCH(int, countBefore);
    QFETCH(int, countNow);
    QFETCH(bool, closed);
    // A run killed after "QVU1" left its record; the next run closes write
    // mode on that controller before reading it, and says so once; a
    // controller that only reports the same texts is left as it is.
    QTemporaryDir dir;
    Journal journal;
    QVERIFY(journal.open(dir.filePath(QStringLiteral("journal.sqlite"))));
    ControllerIdentity written{WindowFixture::FakeCom, QStringLiteral("/dev/null"), "ID", "ver1.05", true, true};
    ControllerIdentity other = written;
    other.identification = "OTHER";
    QVERIFY(journal.recordWriteModeOpened(other, QStringLiteral("price"), QStringLiteral("コラム1の価格の書き込み"), 0, false) > 0);
    journal.startVisit();
    if (countBefore >= 0) {
        DeviceData data;
        data.ColumnPrice(0) = 1000;
        data.ColumnSalesCount(0) = countBefore;
        data.SalesTotal() = countBefore * 100;
        QVERIFY(journal.recordReading(written, data, nullptr) > 0);
    }
    QVERIFY(journal.recordWriteModeOpened(written, QStringLiteral("price"), QStringLiteral("コラム3の価格の書き込み (12.5)"), 2, false) > 0);
    journal.endVisit();
    QCOMPARE(journal.openWriteModes().size(), 2);

    WindowRig rig;
    rig.model->price[2] = 125;
    rig.model->price[0] = 1000;
    rig.model->count[0] = countNow;
    rig.model->salesTotal = std::uint32_t(countNow * 100);
    rig.form->setJournal(&journal);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    rig.form->ConBtnClick();

    QCOMPARE(rig.form->Connected, 1);
    const QByteArrayList &sent = rig.port->commands;
    QCOMPARE(sent.count("QVU0"), closed ? 1 : 0);
    if (!closed) {
        QCOMPARE(rig.answerer().seen.size(), 0);
        QCOMPARE(journal.openWriteModes().size(), 2);
        return;
    }
    // After the identification, and the counts and total where the figures decide.
    QCOMPARE(sent.indexOf("QVU0"), sent.indexOf("QVRON") + (countBefore >= 0 ? 18 : 1));
    QVERIFY(sent.indexOf("QVU0") < sent.indexOf("QVQ"));
    QCOMPARE(rig.answerer().seen.size(), 1);
    const QString text = rig.answerer().seen.first().text;
    QVERIFY2(text.contains(QStringLiteral("前回のコラム3の価格の書き込み (12.5)が途中で終わり")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("読み込んだコラム3の価格: 12.5")), qPrintable(text));
    // Closed once: the other controller's record stays for that controller.
    QCOMPARE(journal.openWriteModes().size(), 1);
    rig.answerer().seen.clear();
    rig.form->ConBtnClick();
    rig.form->ConBtnClick();
    QCOMPARE(rig.port->commands.count("QVU0"), 1);
    QCOMPARE(rig.answerer().seen.size(), 0);
}

void TestWriteWindow::priceDialogOpensAfterEveryEnding_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("options write, restart, reconnection") << "options";
    QTest::newRow("standard-count write") << "counts";
    QTest::newRow("counter clear") << "clear";
    QTest::newRow("price write") << "price";
    QTest::newRow("cable moved during the price's read-back") << "moved";
    QTest::newRow("price write ended by 切断") << "cut";
    QTest::newRow("write refused") << "refused";
}

void TestWriteWindow::priceDialogOpensAfterEveryEnding()
{
    QFETCH(QString, ending);

    WindowRig rig;
    WindowErrand errand;
    rig.connectController();
    bool done = false;
    if (ending == QLatin1String("moved")) {
        rig.onCommand([&](const QByteArray &c) {
            if (c == "QVQ" && rig.port->commands.contains("QVU0") && !done) {
                done = true;
                rig.port->gone = true;
            }
        });
    } else if (ending == QLatin1String("cut")) {
        rig.onCommand([&](const QByteArray &c) {
            if (c.startsWith("QVSP") && !done)
                done = errand.run([&] { QTest::mouseClick(rig.child<QPushButton>("ConBtn"), Qt::LeftButton); });
        });
    }
    for (int i = 0; i < 6; ++i)
        rig.answerer().actions << ModalAnswerer::enter(ending == QLatin1String("refused") ? QStringLiteral("abc")
                                                                                          : QStringLiteral("12.5"));
    if (ending == QLatin1String("options")) {
        rig.child<QPushButton>("SendSalesBtn")->click();
    } else if (ending == QLatin1String("counts")) {
        for (int t = 0; t < 8; ++t)
            rig.form->origins().setByOperator(ValueOrigins::standardCount(t));
        rig.child<QPushButton>("SendCoinBtn")->click();
    } else if (ending == QLatin1String("clear")) {
        rig.child<QPushButton>("CntClrBtn")->click();
    } else {
        rig.clickCell("OptGrid1", 1, 2);
    }
    if (ending == QLatin1String("moved")) {
        QTRY_VERIFY(rig.form->deviceLost());
        rig.port->gone = false;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.form->deviceLost() && rig.form->Connected == 1, 10000);
    }
    if (rig.form->Connected == 0)
        rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    if (auto *timer = rig.form->findChild<QTimer *>(QStringLiteral("Timer")))
        timer->stop();
    rig.answerer().seen.clear();
    rig.answerer().actions.clear();
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("キャンセル"));
    rig.port->commands.clear();

    rig.clickCell("OptGrid1", 1, 3);

    QCOMPARE(rig.answerer().seen.size(), 1);
    QCOMPARE(rig.answerer().seen.first().text, QStringLiteral("コラム4 設定価格"));
    QCOMPARE(rig.port->commands, QByteArrayList{"QVRP3"});
    // The other controls are as the connection says.
    for (const char *name : {"SendSalesBtn", "CntClrBtn", "Opt1Sel", "Edit1", "ComboBox1", "OptGrid1"})
        QVERIFY2(rig.child<QWidget>(name)->isEnabled(), name);
}

void TestWriteWindow::clickBelongsToItsConnection_data()
{
    QTest::addColumn<QByteArray>("during");   // the command the click comes during
    // Not connected yet: the version is being read.
    QTest::newRow("connection's version read") << QByteArray("QVV");
    // Connected, but the controller's values are not read yet.
    QTest::newRow("connection's full read") << QByteArray("QVRP5");
}

void TestWriteWindow::clickBelongsToItsConnection()
{
    QFETCH(QByteArray, during);

    WindowRig rig;
    WindowErrand errand;
    bool clicked = false;
    rig.onCommand([&](const QByteArray &c) {
        if (c == during && !clicked)
            clicked = errand.run([&] { rig.clickCell("OptGrid1", 1, 2); });
    });
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("キャンセル"));
    rig.form->ConBtnClick();
    QVERIFY(clicked);
    QCOMPARE(rig.form->Connected, 1);
    // A click waiting for the line would have run by the next tick.
    QTest::qWait(300);   // the wait is the check: nothing may open meanwhile
    QCOMPARE(rig.answerer().seen.size(), 0);
    // Only the full read asked for column 3's price: no dialog's read followed.
    QCOMPARE(rig.port->commands.count("QVRP2"), 1);
}

void TestWriteWindow::windowAnswersDuringFullRead()
{
    WindowRig rig;
    WindowErrand errand;
    auto *pages = rig.child<TPageControl>("PageControl");
    auto *sales = rig.child<StringGrid>("SalesGrid");
    QApplication::clipboard()->clear();
    bool answered = false;
    rig.onCommand([&](const QByteArray &c) {
        if (c != "QVRP3" || answered)
            return;
        answered = errand.run([&] {
            QTest::mouseClick(pages->tabRow(), Qt::LeftButton, {}, pages->tabRow()->tabRect(0).center());
            QTest::keyClick(sales, Qt::Key_C, Qt::ControlModifier);
        });
    });
    rig.form->ConBtnClick();
    QVERIFY(answered);
    QCOMPARE(pages->currentWidget(), rig.child<QWidget>("TabSheet1"));
    QVERIFY(QApplication::clipboard()->text().contains(QStringLiteral("コラム")));
    // The read went on to its end.
    QCOMPARE(rig.form->Connected, 1);
    QVERIFY(rig.port->commands.contains("QVC"));
}

void TestWriteWindow::priceWriteWaitsForTheTick()
{
    WindowRig rig;
    WindowErrand errand;
    rig.connectController();
    bool clicked = false;
    rig.onCommand([&](const QByteArray &c) {
        if (c == "QVRC0" && !clicked)
            clicked = errand.run([&] { rig.clickCell("OptGrid1", 1, 2); });
    });
    rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("12.5"));
    rig.form->findChild<QTimer *>(QStringLiteral("Timer"))->start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.port->commands.contains("QVSP2=007D"), 10000);
    QVERIFY(clicked);
    // The whole tick (its refresh, then the status request) before the
    // write's first command; the write's own commands in their order.
    const QByteArrayList &sent = rig.port->commands;
    const qsizetype tickStart = sent.indexOf("QVRC0");
    const qsizetype status = sent.indexOf("QVY", tickStart);
    const qsizetype priceRead = sent.indexOf("QVRP2", tickStart);
    QVERIFY(status > tickStart);
    QCOMPARE(priceRead, status + 1);
    QCOMPARE(sent.mid(priceRead, 5), QByteArrayList({"QVRP2", "QVRP2", "QVU1", "QVSP2=007D", "QVU0"}));
}

void TestWriteWindow::disconnectEndsTheFullRead()
{
    WindowRig rig;
    WindowErrand errand;
    bool clicked = false;
    rig.onCommand([&](const QByteArray &c) {
        if (c == "QVRP3" && !clicked)
            clicked = errand.run([&] { QTest::mouseClick(rig.child<QPushButton>("ConBtn"), Qt::LeftButton); });
    });
    rig.form->ConBtnClick();
    QVERIFY(clicked);
    // Ended at its next command: nothing went out after the one it was on.
    QCOMPARE(rig.port->commands.last(), QByteArray("QVRP3"));
    QVERIFY(!rig.port->open);
    QCOMPARE(rig.form->Connected, 0);
    QCOMPARE(rig.child<QLineEdit>("ComStatus")->text(), QStringLiteral("未接続"));
    QVERIFY(rig.answerer().seen.isEmpty());
}

void TestWriteWindow::disconnectDuringAWrite_data()
{
    // The button that starts the write, the command during which 切断 is
    // pressed, and how the write must still end: write mode closed again,
    // settings once begun stored and applied by the restart.
    QTest::addColumn<QByteArray>("button");   // empty: the price cell of column 3
    QTest::addColumn<QByteArray>("pressedAt");
    QTest::addColumn<QByteArrayList>("tail");
    QByteArrayList counts;
    for (const char *i : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"})
        counts << QByteArray("QVRC") + i;
    counts << "QVREA";
    QTest::newRow("price write") << QByteArray() << QByteArray("QVSP2=007D")
                                 << QByteArrayList{"QVSP2=007D", "QVU0"};
    QTest::newRow("counter clear") << QByteArray("CntClrBtn") << QByteArray("QVZ0")
                                   << QByteArrayList{"QVZ0"} + counts + QByteArrayList{"QVU0"};
    QTest::newRow("options write") << QByteArray("SendSalesBtn") << QByteArray("QVSO1=02")
                                   << QByteArrayList{"QVW", "QVF", "QVF"};
}

void TestWriteWindow::disconnectDuringAWrite()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, pressedAt);
    QFETCH(QByteArrayList, tail);

    WindowRig rig;
    WindowErrand errand;
    rig.connectController();
    rig.child<QComboBox>("Opt1Sel")->setCurrentIndex(2);
    // Every box is confirmed, the value dialog given 12.5.
    rig.answerer().setAlways(ModalAnswerer::enter(QStringLiteral("12.5")));
    bool pressed = false;
    bool startersOff = false;
    rig.onCommand([&](const QByteArray &c) {
        if (c != pressedAt || pressed)
            return;
        pressed = errand.run([&] {
            // No second operation can start meanwhile.
            startersOff = !rig.child<QWidget>("OptGrid1")->isEnabled() && !rig.child<QWidget>("SendSalesBtn")->isEnabled()
                && !rig.child<QWidget>("CntClrBtn")->isEnabled();
            // What a click on 切断 calls; the options write has the whole window off.
            rig.form->ConBtnClick();
        });
    });

    if (button.isEmpty())
        rig.clickCell("OptGrid1", 1, 2);
    else
        rig.child<QPushButton>(button.constData())->click();

    QVERIFY(pressed);
    QVERIFY(startersOff);
    const QByteArrayList &sent = rig.port->commands;
    QVERIFY(sent.size() >= tail.size());
    QCOMPARE(sent.mid(sent.size() - tail.size()), tail);
    // The 切断 took effect once the write was through.
    QCOMPARE(rig.form->Connected, 0);
    QVERIFY(!rig.port->open);
}

void TestWriteWindow::noPollUnderABox_data()
{
    // What opens the box: the price cell of column 3, a button, or a
    // magnification that is no number (the error box of the preview).
    QTest::addColumn<QByteArray>("opener");
    QTest::newRow("value dialog") << QByteArray("OptGrid1");
    QTest::newRow("counter clear's confirmation") << QByteArray("CntClrBtn");
    QTest::newRow("magnification error") << QByteArray("ComboBox1");
}

void TestWriteWindow::noPollUnderABox()
{
    QFETCH(QByteArray, opener);
    WindowRig rig;
    rig.connectController();
    auto *timer = rig.form->findChild<QTimer *>(QStringLiteral("Timer"));
    QSignalSpy ticks(timer, &QTimer::timeout);
    timer->start();
    QByteArrayList whenOpened;
    QByteArrayList whenClosing;
    rig.answerer().actions << [&](QWidget *box) {
        whenOpened = rig.port->commands;
        // Three ticks come and go while the box is open.
        const qsizetype at = ticks.count();
        QTRY_VERIFY(ticks.count() >= at + 3);
        whenClosing = rig.port->commands;
        ModalAnswerer::click(QStringLiteral("キャンセル"))(box);
        if (box->isVisible())
            ModalAnswerer::click(QStringLiteral("OK"))(box);
    };

    if (opener == "OptGrid1")
        rig.clickCell("OptGrid1", 1, 2);
    else if (opener == "ComboBox1")
        rig.child<QComboBox>("ComboBox1")->setEditText(QStringLiteral("a"));
    else
        rig.child<QPushButton>(opener.constData())->click();

    QTRY_COMPARE(rig.answerer().seen.size(), 1);
    QCOMPARE(rig.answerer().stuck, 0);
    QCOMPARE(whenClosing, whenOpened);
}

void TestWriteWindow::queuedClickDropped_data()
{
    // 確定・送信 clicked while a sequence is on the wire waits for the line;
    // the connection then ends or is lost before the sequence is through,
    // and the click must not come back later on any controller.
    QTest::addColumn<QByteArray>("clickedAt");   // QVRC0: a poll tick; QVRP3: the connection's read
    QTest::addColumn<bool>("silentAfter");       // else 切断 is pressed, then 接続 again
    QTest::addColumn<int>("boxes");
    QTest::newRow("切断 during a tick, then 接続") << QByteArray("QVRC0") << false << 0;
    QTest::newRow("line falls silent during a tick") << QByteArray("QVRC0") << true << 0;
    // Only the box that says nothing answers.
    QTest::newRow("line falls silent during the connection's read") << QByteArray("QVRP3") << true << 1;
}

void TestWriteWindow::queuedClickDropped()
{
    QFETCH(QByteArray, clickedAt);
    QFETCH(bool, silentAfter);
    QFETCH(int, boxes);
    WindowRig rig;
    WindowErrand errand;
    rig.answerer().setAlways(ModalAnswerer::click(QStringLiteral("OK")));
    const bool duringTick = clickedAt == "QVRC0";
    if (duringTick)
        rig.connectController();
    bool clicked = false;
    std::atomic<bool> silent{false};
    rig.port->fallback = [&, inner = rig.port->fallback](const QByteArray &c) {
        if (c == clickedAt && !clicked) {
            clicked = errand.run([&] {
                rig.child<QPushButton>("SendSalesBtn")->click();
                if (!silentAfter)
                    rig.form->ConBtnClick();
            });
            silent = silentAfter;
        }
        return silent ? QByteArray() : inner(c);
    };
    if (duringTick)
        rig.form->findChild<QTimer *>(QStringLiteral("Timer"))->start();
    else
        rig.form->ConBtnClick();
    if (silentAfter) {
        QTRY_VERIFY_WITH_TIMEOUT(rig.child<QLineEdit>("ComStatus")->text() != QStringLiteral("COM7接続中"), 10000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->Connected, 0, 10000);
        rig.form->ConBtnClick();
        QCOMPARE(rig.form->Connected, 1);
    }
    QVERIFY(clicked);
    // A click still queued would run at the next pass of the event loop
    // and open a box.
    QTest::qWait(100);   // the wait is the check: nothing may open meanwhile
    QCOMPARE(rig.answerer().seen.size(), boxes);
}

QTEST_MAIN(TestWriteWindow)
#include "tst_write_window.moc"
