// The main window's full read, poll and data views, driven in-process with
// the fake port behind the link and a scripted controller behind that.
#include "emulator/ControllerModel.h"
#include "device/ValueFormats.h"
#include "tests/support/WindowFixture.h"
#include "link/ShiftJis.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/StringGrid.h"
#include "ui/TMainForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

// A connected window on a fake port whose controller answers from the
// standard state, with `overrides` (command -> payload) on top.
// A controller in a plausible state: distinct prices and counts, the receipt
// lines and identification text, version 1.23, status flags 01.
ControllerState standardState()
{
    ControllerState c;
    for (std::size_t i = 0; i < Controller::Columns; ++i) {
        // 100, 110, ... yen in tenths; columns 5-8 count in whole yen.
        c.prices[i] = i >= 4 && i <= 7 ? 100 + int(i) * 10 : 1000 + int(i) * 100;
        c.counts[i] = int(i) * 37 + 7;
    }
    for (std::size_t k = 0; k < Controller::Options; ++k)
        c.settings.options[k] = int(k + 1) % 2;
    c.settings.receipt = {ReceiptLine{2, 2, ShiftJis::encode(QStringLiteral("領 収 書"))},
                          ReceiptLine{1, 2, ShiftJis::encode(QStringLiteral("ご利用ありがとうございます"))},
                          ReceiptLine{1, 1, ShiftJis::encode(QStringLiteral("□□□□□□□□□□□□□□□□"))}};
    c.settings.idText = "AB-12345";
    c.versionText = "QUVO-Vexa ver1.23";
    c.statusFlags = 1;
    c.salesTotal = 123456;
    return c;
}

struct Rig : WindowFixture {
    // The emulator's model answers behind the fake port.
    std::shared_ptr<ControllerModel> model = std::make_shared<ControllerModel>(standardState());

    explicit Rig(const QHash<QByteArray, QByteArray> &overrides = {})
    {
        port->fallback = [model = model](const QByteArray &c) { return model->handleCommand(c); };
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            port->replies.insert(it.key(), FakePort::ok(it.value()));
        openOnFakePort();
        // Selecting a price cell here only probes the views; no value dialog opens.
        form->setDataSetDialog(nullptr);
        form->show();
    }
    StringGrid *grid(const char *name) { return findControl<StringGrid>(form.get(), QString::fromLatin1(name)); }
    QTimer *timer() { return form->findChild<QTimer *>(QStringLiteral("Timer")); }
    QStatusBar *statusLine() { return findControl<QStatusBar>(form.get(), QStringLiteral("StatusLine")); }
    QByteArrayList commandsSince(int from) { return port->commands.mid(from); }
};

QByteArrayList refreshCommands()
{
    QByteArrayList c;
    for (const char ch : QByteArray("0123456789ABCDEF"))
        c << QByteArray("QVRC") + ch;
    c << "QVREA" << "QVC";
    return c;
}

struct CellRef {
    QString grid;
    int col;
    int row;
};

} // namespace
Q_DECLARE_METATYPE(QList<CellRef>)

class TestDataViews : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void displayForms_data();
    void displayForms();
    void optionSelectors_data();
    void optionSelectors();
    void receiptBoxes_data();
    void receiptBoxes();
    void autoChange_data();
    void autoChange();
    void connectionEnablesAndStartsPoll();
    void pollCadence();
    void pollOnTheTimer();
    void silentLineDuringRefresh();
    void liveRefreshGrids();
    void fallingFigures_data();
    void fallingFigures();
    void disconnectStopsPoll();
    void gridPainting_data();
    void gridPainting();
};

void TestDataViews::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestDataViews::displayForms_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QList<CellRef>>("cells");
    QTest::addColumn<QString>("text");

    auto price = [](int r) { return QList<CellRef>{{"SalesGrid", 1, r}, {"OptGrid1", 1, r - 1}}; };
    auto count = [](int r) { return QList<CellRef>{{"SalesGrid", 2, r}, {"OptGrid2", 1, r - 1}}; };
    QTest::newRow("120 in column 1") << QByteArray("QVRP0") << QByteArray("0078") << price(1) << "12.0";
    QTest::newRow("120 in column 5") << QByteArray("QVRP4") << QByteArray("0078") << price(5) << "120";
    QTest::newRow("120 in column 9") << QByteArray("QVRP8") << QByteArray("0078") << price(9) << "12.0";
    QTest::newRow("0 in column 2") << QByteArray("QVRP1") << QByteArray("0000") << price(2) << "0.0";
    QTest::newRow("0 in column 6") << QByteArray("QVRP5") << QByteArray("0000") << price(6) << "0";
    QTest::newRow("999 in column 16") << QByteArray("QVRPF") << QByteArray("03E7") << price(16) << "99.9";
    // A price no whole reply vouched for shows as nothing, never as 0.0.
    QTest::newRow("price not hexadecimal") << QByteArray("QVRP1") << QByteArray("00G7") << price(2) << "";
    QTest::newRow("count 0") << QByteArray("QVRC0") << QByteArray("0000") << count(1) << "0000";
    QTest::newRow("count 7") << QByteArray("QVRC6") << QByteArray("0007") << count(7) << "0007";
    QTest::newRow("count 12345") << QByteArray("QVRCA") << QByteArray("3039") << count(11) << "2345";
    QTest::newRow("count 65535") << QByteArray("QVRCF") << QByteArray("FFFF") << count(16) << "5535";
    QTest::newRow("count not hexadecimal") << QByteArray("QVRC3") << QByteArray("00G7") << count(4) << "0000";
    QTest::newRow("total 0001E240")
        << QByteArray("QVREA") << QByteArray("0001E240")
        << QList<CellRef>{{"TotalGrid1", 1, 0}, {"TotalGrid2", 1, 0}, {"OptGrid2", 1, 16}} << "123456";
    QTest::newRow("total FFFFFFFF")
        << QByteArray("QVREA") << QByteArray("FFFFFFFF")
        << QList<CellRef>{{"TotalGrid1", 1, 0}, {"TotalGrid2", 1, 0}, {"OptGrid2", 1, 16}} << "-1";
}

void TestDataViews::displayForms()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, payload);
    QFETCH(QList<CellRef>, cells);
    QFETCH(QString, text);
    Rig rig({{command, payload}});
    rig.form->ConBtnClick();
    for (const CellRef &c : cells)
        QCOMPARE(rig.grid(qPrintable(c.grid))->cells(c.col, c.row), text);
    // The settings grids hold exactly the sales grid's texts.
    for (int r = 0; r < 16; ++r) {
        QCOMPARE(rig.grid("OptGrid1")->cells(1, r), rig.grid("SalesGrid")->cells(1, r + 1));
        QCOMPARE(rig.grid("OptGrid2")->cells(1, r), rig.grid("SalesGrid")->cells(2, r + 1));
    }
    // Row labels and headings stay.
    QCOMPARE(rig.grid("SalesGrid")->cells(0, 1), QStringLiteral("コラム１"));
    QCOMPARE(rig.grid("OptGrid2")->cells(0, 16), QStringLiteral("総売上(円)"));
}

void TestDataViews::optionSelectors_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<int>("index");
    QTest::newRow("option 1 item 2") << QByteArray("QVRO1") << QByteArray("02") << "Opt1Sel" << 2;
    QTest::newRow("option 1 beyond its 3 items") << QByteArray("QVRO1") << QByteArray("03") << "Opt1Sel" << -1;
    QTest::newRow("G1 selects the first item") << QByteArray("QVRO2") << QByteArray("G1") << "Opt2Sel" << 0;
    QTest::newRow("option 2 item 1") << QByteArray("QVRO2") << QByteArray("01") << "Opt2Sel" << 1;
    QTest::newRow("option 3 item 3") << QByteArray("QVRO3") << QByteArray("03") << "Opt3Sel" << 3;
    QTest::newRow("option 3 beyond its 4 items") << QByteArray("QVRO3") << QByteArray("04") << "Opt3Sel" << -1;
    QTest::newRow("option 4 FF") << QByteArray("QVRO4") << QByteArray("FF") << "Opt4Sel" << -1;
    QTest::newRow("option 5 no payload") << QByteArray("QVRO5") << QByteArray() << "Opt5Sel" << 0;
    QTest::newRow("option 6 item 1") << QByteArray("QVRO6") << QByteArray("01") << "Opt6Sel" << 1;
}

void TestDataViews::optionSelectors()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, payload);
    QFETCH(QString, selector);
    QFETCH(int, index);
    Rig rig({{command, payload}});
    auto *box = findControl<QComboBox>(rig.form.get(), selector);
    box->setCurrentIndex(1); // something other than what the read brings
    if (index == 1)
        box->setCurrentIndex(0);
    rig.form->ConBtnClick();
    QCOMPARE(box->currentIndex(), index);
}

void TestDataViews::receiptBoxes_data()
{
    // Line A's payload; the text and the X, Y items it shows; whether the
    // box's text changed (its change handler ran).
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("xItem");
    QTest::addColumn<int>("yItem");
    QTest::addColumn<int>("textChanges");
    const QString title = QStringLiteral("領 収 書"); // the box's text at start
    QTest::newRow("2 1 and the same title") << ("21" + ShiftJis::encode(title)) << title << 1 << 0 << 0;
    QTest::newRow("4 3 and a new text") << ("43" + ShiftJis::encode(QStringLiteral("御礼"))) << QStringLiteral("御礼")
                                        << 3 << 2 << 1;
    QTest::newRow("exactly two digits") << QByteArray("11") << QString() << 0 << 0 << 1;
    QTest::newRow("0 and 5 select nothing") << QByteArray("05abc") << "abc" << -1 << -1 << 1;
    QTest::newRow("9 selects nothing") << QByteArray("19") << QString() << 0 << -1 << 1;
}

void TestDataViews::receiptBoxes()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    QFETCH(int, xItem);
    QFETCH(int, yItem);
    QFETCH(int, textChanges);
    Rig rig({{"QVROA", payload}, {"QVRON", "ID-1"}});
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    auto *edit = findControl<QLineEdit>(rig.form.get(), QStringLiteral("Edit1"));
    auto *x = findControl<QComboBox>(rig.form.get(), QStringLiteral("ComboBox1"));
    auto *y = findControl<QComboBox>(rig.form.get(), QStringLiteral("ComboBox2"));
    QSignalSpy textSpy(edit, &QLineEdit::textChanged);
    QSignalSpy xIndex(x, &QComboBox::currentIndexChanged);
    QSignalSpy xText(x, &QComboBox::currentTextChanged);
    QSignalSpy xEdit(x, &QComboBox::editTextChanged);
    QSignalSpy yIndex(y, &QComboBox::currentIndexChanged);
    QSignalSpy identSpy(findControl<QLineEdit>(rig.form.get(), QStringLiteral("xxxxxxxx")), &QLineEdit::textChanged);

    rig.form->ConBtnClick();
    QCOMPARE(edit->text(), text);
    QCOMPARE(x->currentIndex(), xItem);
    QCOMPARE(y->currentIndex(), yItem);
    if (xItem < 0)
        QCOMPARE(x->currentText(), QString());
    QCOMPARE(textSpy.count(), textChanges);
    // Choosing the items is not an edit: no change signal from the boxes.
    QCOMPARE(xIndex.count() + xText.count() + xEdit.count() + yIndex.count(), 0);
    QCOMPARE(findControl<QLineEdit>(rig.form.get(), QStringLiteral("xxxxxxxx"))->text(), QStringLiteral("ID-1"));
    QCOMPARE(identSpy.count(), 1);
    // The other lines come from the standard controller.
    QCOMPARE(findControl<QLineEdit>(rig.form.get(), QStringLiteral("Edit3"))->text(),
             QStringLiteral("□□□□□□□□□□□□□□□□"));
    QCOMPARE(findControl<QComboBox>(rig.form.get(), QStringLiteral("ComboBox3"))->currentIndex(), 0);
    QCOMPARE(findControl<QComboBox>(rig.form.get(), QStringLiteral("ComboBox4"))->currentIndex(), 1);
    // The read itself went through and filled the views either way.
    QCOMPARE(rig.port->commands.size(), 48);
    QCOMPARE(rig.grid("TotalGrid1")->cells(1, 0), QStringLiteral("123456"));
    // A box left without a selection is unread, not a bad entry: the
    // preview's layout takes it without a box, and the poll starts.
    QCOMPARE(answer.seen.size(), 0);
    QVERIFY(rig.timer()->isActive());
}

void TestDataViews::autoChange_data()
{
    QTest::addColumn<QByteArray>("flags");
    QTest::addColumn<bool>("buttonsBefore");
    QTest::addColumn<bool>("buttonsAfter");
    QTest::addColumn<bool>("labelShown");
    QTest::addColumn<bool>("coinGridFollows");
    QTest::newRow("03, buttons off") << QByteArray("03") << false << false << true << false;
    // Whatever they showed before, a connection whose read finds automatic
    // change unused leaves them off: they follow the connection's state.
    QTest::newRow("03, buttons on") << QByteArray("03") << true << false << true << false;
    QTest::newRow("02") << QByteArray("02") << false << false << true << false;
    QTest::newRow("01") << QByteArray("01") << false << true << false << true;
    QTest::newRow("00") << QByteArray("00") << false << true << false << true;
    QTest::newRow("FD: only bit 1 counts") << QByteArray("FD") << false << true << false << true;
}

void TestDataViews::autoChange()
{
    QFETCH(QByteArray, flags);
    QFETCH(bool, buttonsBefore);
    QFETCH(bool, buttonsAfter);
    QFETCH(bool, labelShown);
    QFETCH(bool, coinGridFollows);
    Rig rig({{"QVQ", flags}});
    QWidget *coin = findControl(rig.form.get(), QStringLiteral("SendCoinBtn"));
    QWidget *earn = findControl(rig.form.get(), QStringLiteral("EarnBtn"));
    QWidget *label = findControl(rig.form.get(), QStringLiteral("LabelAutoFlag"));
    coin->setEnabled(buttonsBefore);
    earn->setEnabled(buttonsBefore);
    label->setHidden(labelShown); // the opposite of what the read must leave
    StringGrid *coins = rig.grid("CoinGrid");
    for (int t = 0; t < 8; ++t) {
        coins->setCell(3, t + 1, QStringLiteral("keep"));
        rig.form->data().TubeCurrentCount(t) = 10 * t + 3;
    }

    rig.form->ConBtnClick();
    QCOMPARE(coin->isEnabled(), buttonsAfter);
    QCOMPARE(earn->isEnabled(), buttonsAfter);
    QCOMPARE(!label->isHidden(), labelShown);

    rig.timer()->stop();
    for (int tick = 0; tick < 5; ++tick)
        rig.form->TimerTimer();
    for (int t = 0; t < 8; ++t)
        QCOMPARE(coins->cells(3, t + 1), coinGridFollows ? QString::number(10 * t + 3) : QStringLiteral("keep"));

    rig.form->ConBtnClick(); // disconnect
    QVERIFY(!coin->isEnabled());
    QVERIFY(!earn->isEnabled());
    QVERIFY(label->isHidden());
}

void TestDataViews::connectionEnablesAndStartsPoll()
{
    Rig rig;
    auto *mode = findControl<QComboBox>(rig.form.get(), QStringLiteral("PanelMode"));
    mode->setCurrentIndex(1);
    QSignalSpy modeSpy(mode, &QComboBox::currentIndexChanged);
    rig.form->ConBtnClick();
    QCOMPARE(mode->currentIndex(), 0);
    QVERIFY(mode->isEnabled());
    QCOMPARE(modeSpy.count(), 0);
    QVERIFY(rig.timer()->isActive());
    QCOMPARE(rig.timer()->interval(), 100);
    // Nothing polled inside the click: QV, QVV and the 46 reads only.
    QCOMPARE(rig.port->commands.size(), 48);
    QVERIFY(!rig.port->commands.contains("QVY"));
}

void TestDataViews::pollCadence()
{
    Rig rig;
    rig.form->ConBtnClick();
    QTimer *timer = rig.timer();
    timer->stop();
    bool activeDuringTick = false;
    rig.port->fallback = [timer, &activeDuringTick, model = rig.model](const QByteArray &c) {
        activeDuringTick = activeDuringTick || timer->isActive();
        return model->handleCommand(c);
    };
    int from = int(rig.port->commands.size());
    for (int tick = 1; tick <= 11; ++tick) {
        rig.form->TimerTimer();
        const QByteArrayList sent = rig.commandsSince(from);
        from = int(rig.port->commands.size());
        if (tick % 5 == 0)
            QCOMPARE(sent, refreshCommands() << "QVY");
        else
            QCOMPARE(sent, QByteArrayList{"QVY"});
        QVERIFY(timer->isActive());
    }
    QVERIFY(!activeDuringTick);
    QCOMPARE(rig.statusLine()->currentMessage(), QStringLiteral("通常状態です."));
    rig.port->replies.insert("QVY", "ERR12:00\r");
    rig.form->TimerTimer();
    QCOMPARE(rig.statusLine()->currentMessage(), QStringLiteral("エラー12発生中です."));
    // A status request nobody answers is a dead line: the window stops
    // polling it and waits for the controller to answer again.
    rig.port->replies.insert("QVY", QByteArray());
    rig.port->replies.insert("QV", QByteArray());
    rig.form->TimerTimer();
    QCOMPARE(rig.child<QLineEdit>("ComStatus")->text(), QStringLiteral("COM7接続断"));
    QVERIFY(rig.form->deviceLost());
    QVERIFY(!timer->isActive());
}

void TestDataViews::pollOnTheTimer()
{
    Rig rig;
    rig.form->ConBtnClick();
    const int from = int(rig.port->commands.size());
    // The real timer: seven ticks, the fifth with the refresh before its QVY.
    QTRY_VERIFY_WITH_TIMEOUT(rig.commandsSince(from).count("QVY") >= 7, 5000);
    QByteArrayList expected{"QVY", "QVY", "QVY", "QVY"};
    expected << refreshCommands() << "QVY" << "QVY" << "QVY";
    QCOMPARE(rig.commandsSince(from).mid(0, expected.size()), expected);
    QCOMPARE(rig.statusLine()->currentMessage(), QStringLiteral("通常状態です."));
}

void TestDataViews::silentLineDuringRefresh()
{
    Rig rig;
    rig.form->ConBtnClick();
    rig.timer()->stop();
    StringGrid *sales = rig.grid("SalesGrid");
    const QString count1 = sales->cells(2, 1);
    const QString count2 = sales->cells(2, 2);
    // Only QVRC0 is still answered; then the line falls silent.
    rig.port->replies.insert("QVRC0", FakePort::ok("3039"));
    rig.port->fallback = [](const QByteArray &) { return QByteArray(); };
    for (int tick = 1; tick <= 4; ++tick)
        rig.form->TimerTimer();
    const int from = int(rig.port->commands.size());
    rig.form->TimerTimer();
    // The refresh ends at its first silent read and no status request
    // follows; nothing read in a refresh with a gap is shown, since who
    // answered it is not known.
    QCOMPARE(rig.commandsSince(from), QByteArrayList({"QVRC0", "QVRC1"}));
    QCOMPARE(sales->cells(2, 1), count1);
    QCOMPARE(sales->cells(2, 2), count2);
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(rig.child<QLineEdit>("ComStatus")->text(), QStringLiteral("COM7接続断"));
    QVERIFY(!rig.child<QWidget>("SendSalesBtn")->isEnabled());
    // A click on 切断 then: nothing more is sent.
    rig.form->ConBtnClick();
    QCoreApplication::processEvents();
    QCOMPARE(rig.commandsSince(from), QByteArrayList({"QVRC0", "QVRC1"}));
    QCOMPARE(rig.child<QLineEdit>("ComStatus")->text(), QStringLiteral("未接続"));
    QCOMPARE(rig.statusLine()->currentMessage(), QString());
}

void TestDataViews::liveRefreshGrids()
{
    Rig rig;
    rig.form->ConBtnClick();
    rig.timer()->stop();
    StringGrid *sales = rig.grid("SalesGrid");
    const QString price3 = sales->cells(1, 3);
    // A price written by the price setting survives the refresh.
    sales->setCell(1, 4, QStringLiteral("55.5"));
    rig.port->replies.insert("QVRC0", FakePort::ok("3039"));
    rig.port->replies.insert("QVRC9", FakePort::ok("0007"));
    rig.port->replies.insert("QVRCF", FakePort::ok("ZZZZ"));
    rig.port->replies.insert("QVREA", FakePort::ok("000F4240"));
    rig.port->replies.insert("QVRP2", FakePort::ok("0001")); // prices are not re-read
    rig.form->data().EarnValueB() = 77;

    for (int tick = 1; tick <= 4; ++tick)
        rig.form->TimerTimer();
    QCOMPARE(sales->cells(2, 1), QStringLiteral("0007")); // 0 * 37 + 7 from the full read
    rig.form->TimerTimer();

    QCOMPARE(sales->cells(2, 1), QStringLiteral("2345"));
    QCOMPARE(sales->cells(2, 10), QStringLiteral("0007"));
    // An unusable reply keeps what the cell showed.
    QCOMPARE(sales->cells(2, 16), ValueFormats::countText(rig.form->data().ColumnSalesCount(15)));
    QVERIFY(sales->cells(2, 16) != QStringLiteral("0000"));
    QCOMPARE(rig.form->data().EarnValueB(), 0);
    for (const char *g : {"TotalGrid1", "TotalGrid2"})
        QCOMPARE(rig.grid(g)->cells(1, 0), QStringLiteral("1000000"));
    QCOMPARE(rig.grid("OptGrid2")->cells(1, 16), QStringLiteral("1000000"));
    QCOMPARE(rig.grid("OptGrid2")->cells(1, 0), QStringLiteral("2345"));
    QCOMPARE(rig.grid("OptGrid2")->cells(1, 15), sales->cells(2, 16));
    QCOMPARE(rig.grid("OptGrid1")->cells(1, 3), QStringLiteral("55.5"));
    QCOMPARE(sales->cells(1, 3), price3);
}

void TestDataViews::fallingFigures_data()
{
    // A live figure below what the connection read: no sale makes it fall,
    // so another controller answers.
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("column 3's count") << QByteArray("QVRC2") << QByteArray("0001");   // read as 81
    QTest::newRow("column 16's count") << QByteArray("QVRCF") << QByteArray("0001");   // read as 562
    QTest::newRow("the total") << QByteArray("QVREA") << QByteArray("00000001");     // read as 123456
}

void TestDataViews::fallingFigures()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, payload);
    Rig rig;
    rig.form->ConBtnClick();
    rig.timer()->stop();
    StringGrid *sales = rig.grid("SalesGrid");
    const QString count3 = sales->cells(2, 3);
    const QString total = rig.grid("TotalGrid1")->cells(1, 0);
    rig.port->replies.insert(command, FakePort::ok(payload));
    for (int tick = 1; tick <= 4; ++tick)
        rig.form->TimerTimer();
    const int from = int(rig.port->commands.size());
    rig.form->TimerTimer();
    // No status request for this controller: the window first finds out who answers.
    QCOMPARE(rig.commandsSince(from), refreshCommands());
    QCOMPARE(rig.statusLine()->currentMessage(), QStringLiteral("COM7のQUVOを確認しています."));
    // Nor are the figures shown as this controller's.
    QCOMPARE(sales->cells(2, 3), count3);
    QCOMPARE(rig.grid("TotalGrid1")->cells(1, 0), total);
}

void TestDataViews::disconnectStopsPoll()
{
    Rig rig;
    rig.form->ConBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.statusLine()->currentMessage().isEmpty(), 3000);
    const QString total = rig.grid("TotalGrid1")->cells(1, 0);
    const QString edit = findControl<QLineEdit>(rig.form.get(), QStringLiteral("Edit2"))->text();
    rig.form->ConBtnClick();
    QVERIFY(!rig.timer()->isActive());
    QCOMPARE(rig.statusLine()->currentMessage(), QString());
    const qsizetype sent = rig.port->commands.size();
    // The wait is the check: longer than a poll interval, and nothing is sent.
    QTest::qWait(350);
    QCOMPARE(rig.port->commands.size(), sent);
    // The last values stay in the disabled controls.
    QCOMPARE(rig.grid("TotalGrid1")->cells(1, 0), total);
    QCOMPARE(total, QStringLiteral("123456"));
    QCOMPARE(findControl<QLineEdit>(rig.form.get(), QStringLiteral("Edit2"))->text(), edit);
    QVERIFY(!findControl(rig.form.get(), QStringLiteral("Edit2"))->isEnabled());
    QVERIFY(!findControl(rig.form.get(), QStringLiteral("PanelMode"))->isEnabled());
}

void TestDataViews::gridPainting_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QColor>("fixedFill");
    QTest::addColumn<int>("dataCol");
    QTest::addColumn<int>("dataRow");
    QTest::addColumn<int>("fixedCol");
    QTest::addColumn<int>("fixedRow");
    QTest::newRow("SalesGrid") << "SalesGrid" << QColor(124, 185, 120) << 1 << 1 << 0 << 1;
    QTest::newRow("SalesGrid heading") << "SalesGrid" << QColor(124, 185, 120) << 2 << 16 << 1 << 0;
    QTest::newRow("TotalGrid1") << "TotalGrid1" << QColor(255, 192, 192) << 1 << 0 << 0 << 0;
    // Row 4 holds "140": a value that fills its cell cannot show its alignment.
    QTest::newRow("OptGrid1") << "OptGrid1" << QColor(173, 175, 229) << 1 << 4 << 0 << 15;
    QTest::newRow("OptGrid2") << "OptGrid2" << QColor(173, 175, 229) << 1 << 3 << 0 << 16;
}

void TestDataViews::gridPainting()
{
    QFETCH(QString, grid);
    QFETCH(QColor, fixedFill);
    QFETCH(int, dataCol);
    QFETCH(int, dataRow);
    QFETCH(int, fixedCol);
    QFETCH(int, fixedRow);
    Rig rig;
    rig.form->ConBtnClick();
    rig.timer()->stop();
    StringGrid *g = rig.grid(qPrintable(grid));
    findControl<QTabWidget>(rig.form.get(), QStringLiteral("PageControl"))
        ->setCurrentWidget(grid.startsWith(QLatin1String("Opt")) ? findControl(rig.form.get(), QStringLiteral("TabSheet3"))
                                                                  : findControl(rig.form.get(), QStringLiteral("TabSheet1")));
    // The probed data cell is the current one and the grid has the focus:
    // neither may show.
    g->setCurrentCell(dataRow, dataCol);
    rig.form->activateWindow();
    g->setFocus();
    QCoreApplication::processEvents();
    QVERIFY(g->hasFocus());
    QCOMPARE(g->currentRow(), dataRow);
    const QImage img = g->viewport()->grab().toImage();
    // Nor does the focus change the grid's border.
    const QImage focused = g->grab().toImage();
    g->clearFocus();
    QCoreApplication::processEvents();
    const QImage unfocused = g->grab().toImage();
    for (const QPoint &pt : {QPoint(0, g->height() / 2), QPoint(g->width() / 2, 0), QPoint(1, 1)})
        QCOMPARE(QColor(focused.pixel(pt)), QColor(unfocused.pixel(pt)));
    const QColor window = QApplication::palette().color(QPalette::Base);
    QVERIFY(!g->cells(dataCol, dataRow).isEmpty());
    QVERIFY(!g->cells(fixedCol, fixedRow).isEmpty());

    struct Probe { int col, row; QColor fill; bool centred; };
    for (const Probe &p : {Probe{dataCol, dataRow, window, false}, Probe{fixedCol, fixedRow, fixedFill, true}}) {
        const QRect r = g->visualRect(g->model()->index(p.row, p.col));
        const QString where = QStringLiteral("%1 cell (%2,%3)").arg(grid).arg(p.col).arg(p.row);
        // The corners carry the fill, whatever the state of the cell.
        for (const QPoint &pt : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
            QVERIFY2(QColor(img.pixel(pt)) == p.fill, qPrintable(where + QStringLiteral(" corner")));
        // The grid line right of and below the cell is neither fill.
        const QColor line(img.pixel(r.right() + 1, r.center().y()));
        QVERIFY2(line != p.fill && line != window, qPrintable(where + QStringLiteral(" grid line")));
        // (The last row's line may lie past the viewport, as the heights add up.)
        if (r.bottom() + 1 < img.height())
            QVERIFY2(QColor(img.pixel(r.center().x(), r.bottom() + 1)) == line, qPrintable(where));
        // Ink: one line, vertically centred; centred or right-aligned.
        int n = 0, minX = r.right(), maxX = r.left(), minY = r.bottom(), maxY = r.top();
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c(img.pixel(x, y));
                if (qGray(c.rgb()) < 110) {
                    ++n;
                    minX = qMin(minX, x), maxX = qMax(maxX, x), minY = qMin(minY, y), maxY = qMax(maxY, y);
                }
            }
        QVERIFY2(n > 10, qPrintable(where + QStringLiteral(" has no text")));
        QVERIFY2(qAbs((minY + maxY) / 2.0 - r.center().y()) <= 3.0, qPrintable(where + QStringLiteral(" vertical")));
        if (p.centred) {
            QVERIFY2(qAbs((minX + maxX) / 2.0 - r.center().x()) <= 3.0, qPrintable(where + QStringLiteral(" centred")));
        } else {
            QVERIFY2(r.right() - maxX <= 3, qPrintable(where + QStringLiteral(" right edge")));
            QVERIFY2(minX - r.left() > r.right() - maxX + 2, qPrintable(where + QStringLiteral(" right-aligned")));
        }
    }
}

QTEST_MAIN(TestDataViews)
#include "tst_data_views.moc"
