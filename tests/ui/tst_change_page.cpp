// The change page and the I/O port panel in the real window: hidden from
// the tab row, reached here by their object names.
#include "device/DeviceData.h"
#include "tests/support/OperationLog.h"
#include "tests/support/WindowFixture.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/StringGrid.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QString Information = QStringLiteral("Information");

// Commands of the full read, left out where an operation's own commands
// are compared.
bool isFullRead(const QString &entry)
{
    static const QStringList prefixes = {"QVQ/", "QVRP", "QVRC", "QVRO", "QVREA/", "QVREC/", "QVC/"};
    for (const QString &p : prefixes)
        if (entry.startsWith(p))
            return true;
    return false;
}

QStringList own(const QStringList &log)
{
    QStringList out;
    for (const QString &e : log)
        if (!isFullRead(e))
            out.append(e);
    return out;
}

QColor pixel(const QImage &image, QPoint at)
{
    return image.pixelColor(at);
}

// A window wired to a fake controller that logs what it is sent.
struct Rig : WindowFixture {
    std::shared_ptr<OperationLog> log = std::make_shared<OperationLog>();

    explicit Rig(const QByteArray &version = "ver2.00")
    {
        port->replies["QV"] = FakePort::ok();
        port->replies["QVV"] = FakePort::ok(version);
        port->fallback = [](const QByteArray &command) {
            // Enough for a full read to pass: magnification digits 1 and 1.
            if (command == "QVROA" || command == "QVROB" || command == "QVROC")
                return FakePort::ok("11");
            return FakePort::ok();
        };
        openOnFakePort(std::make_unique<LoggingPort>(port, log));
    }

    StringGrid *coinGrid() const { return child<StringGrid>("CoinGrid"); }
    QLabel *image() const { return child<QLabel>("Image1"); }
    QComboBox *panelMode() const { return child<QComboBox>("PanelMode"); }

    void connectDevice()
    {
        form->ConBtnClick();
        QCOMPARE(form->Connected, 1);
        // The full read enables the change page when the controller uses
        // the automatic reconciliation; its flags here say it does.
        child<QPushButton>("SendCoinBtn")->setEnabled(true);
        child<QPushButton>("EarnBtn")->setEnabled(true);
        // The poll stays quiet so the log holds the operations' commands
        // alone: a tick may fall wherever a box is open.
        child<QTimer>("Timer")->stop();
        log->clear();
    }

    // Pointer events as the image receives them, in widget coordinates.
    void mouse(QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::NoButton)
    {
        QLabel *w = image();
        const QPointF at(x, y);
        QMouseEvent e(type, at, w->mapToGlobal(at), button,
                      type == QEvent::MouseMove ? Qt::MouseButtons() : Qt::MouseButtons(button),
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    void move(int x, int y) { mouse(QEvent::MouseMove, x, y); }
    void press(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        mouse(QEvent::MouseButtonPress, x, y, button);
        mouse(QEvent::MouseButtonRelease, x, y, button);
    }
    QImage picture() const { return image()->pixmap().toImage(); }
};

QImage lamp(const char *name)
{
    return QImage(QStringLiteral(":/bitmaps/%1.png").arg(QLatin1String(name)));
}

// The whole 12 x 12 lamp at (x, y) of the picture matches the bitmap.
bool lampAt(const QImage &picture, int x, int y, const QImage &bitmap)
{
    for (int dy = 0; dy < 12; ++dy)
        for (int dx = 0; dx < 12; ++dx)
            if (picture.pixelColor(x + dx, y + dy).rgb() != bitmap.pixelColor(dx, dy).rgb())
                return false;
    return true;
}

} // namespace

class TestChangePage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layout();
    void coinGridColours_data();
    void coinGridColours();
    void totalGrid2Colours();
    void standardCountEntry_data();
    void standardCountEntry();
    void entryIgnored_data();
    void entryIgnored();
    void sendCoin_data();
    void sendCoin();
    void earn_data();
    void earn();
    void panelPicture();
    void panelPointer_data();
    void panelPointer();
    void panelModes();
    void statesKeptAcrossConnections();
    void savePictures();
};

void TestChangePage::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
    QVERIFY(!lamp("LOFF").isNull());
}

void TestChangePage::layout()
{
    Rig rig;
    StringGrid *g = rig.coinGrid();
    QCOMPARE(g->cells(2, 0), QStringLiteral("基準枚数"));
    QCOMPARE(g->cells(0, 5), QStringLiteral("手動補充チューブ10円硬貨"));
    QCOMPARE(rig.child<QPushButton>("EarnBtn")->text(),
             QStringLiteral("精算\n\rつり銭合わせ"));
    QVERIFY(!rig.child<QPushButton>("SendCoinBtn")->isEnabled());
    QVERIFY(!rig.child<QPushButton>("EarnBtn")->isEnabled());
    QCOMPARE(rig.image()->pixmap().size(), QSize(251, 335));
    QVERIFY(rig.image()->hasMouseTracking());
}

void TestChangePage::coinGridColours_data()
{
    QTest::addColumn<QString>("standard");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QString>("difference");

    const QColor window = QApplication::palette().color(QPalette::Base);
    const QColor excess(255, 232, 232), shortage(232, 232, 255);
    QTest::newRow("both empty") << "" << "" << window << "0";
    QTest::newRow("current 12, standard 10") << "10" << "12" << excess << "+2";
    QTest::newRow("current 3, standard 10") << "10" << "3" << shortage << "-7";
    QTest::newRow("equal") << "25" << "25" << window << "0";
    QTest::newRow("standard only") << "40" << "" << shortage << "-40";
    QTest::newRow("current only") << "" << "9999" << excess << "+9999";
    QTest::newRow("current not a number") << "5" << "abc" << shortage << "-5";
}

void TestChangePage::coinGridColours()
{
    QFETCH(QString, standard);
    QFETCH(QString, current);
    QFETCH(QColor, fill);
    QFETCH(QString, difference);

    Rig rig;
    StringGrid *g = rig.coinGrid();
    const QColor window = g->palette().color(QPalette::Base);
    for (int row = 1; row <= 8; ++row) {
        g->setCell(2, row, standard);
        g->setCell(3, row, current);
    }
    const QImage shot = g->viewport()->grab().toImage();
    const auto cellRect = [g](int col, int row) {
        return g->visualRect(g->model()->index(row, col));
    };
    for (int row : {1, 5, 8}) {
        // The texts are right-aligned: the left edge shows the fill.
        QCOMPARE(pixel(shot, cellRect(1, row).topLeft() + QPoint(2, 2)), window);
        for (int col = 2; col <= 4; ++col)
            QCOMPARE(pixel(shot, cellRect(col, row).topLeft() + QPoint(2, 2)), fill);
    }
    QCOMPARE(pixel(shot, cellRect(2, 0).topLeft() + QPoint(2, 2)), QColor(220, 202, 93));
    QCOMPARE(pixel(shot, cellRect(0, 3).topLeft() + QPoint(2, 2)), QColor(220, 202, 93));

    // Column 4 shows the difference: the cell looks like a grid cell of
    // the same size holding that text, right-aligned on the fill.
    const QRect r = cellRect(4, 2);
    const auto reference = [&](const QString &text) {
        StringGrid ref;
        ref.setFont(g->font());
        ref.setShape(1, 1, 0, 0, r.width(), r.height());
        ref.resize(r.width() + 10, r.height() + 10);
        ref.setCell(0, 0, text);
        ref.setDrawCell([&](QPainter &p, int c, int rr, const QRect &rect, bool) {
            StringGrid::paintCell(p, rect, fill, ref.cells(c, rr), false);
        });
        const QRect cell = ref.visualRect(ref.model()->index(0, 0));
        return ref.viewport()->grab().toImage().copy(cell).convertToFormat(QImage::Format_RGB32);
    };
    const QImage drawn = shot.copy(r).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(drawn, reference(difference));
    // A wrong sign or number would not match (guards the comparison itself).
    QVERIFY(drawn != reference(difference + u'1'));
    QVERIFY(drawn != reference(QString()));
    // The difference is drawn, never stored.
    QCOMPARE(g->cells(4, 2), QString());
}

void TestChangePage::totalGrid2Colours()
{
    Rig rig;
    StringGrid *g = rig.child<StringGrid>("TotalGrid2");
    QCOMPARE(g->cells(0, 0), QStringLiteral("前回のメモリクリアからの総売上(円)"));
    g->setCell(1, 0, QStringLiteral("12345"));
    const QImage shot = g->viewport()->grab().toImage();
    const QRect fixedCell = g->visualRect(g->model()->index(1, 0));
    const QRect dataCell = g->visualRect(g->model()->index(0, 1));
    QCOMPARE(pixel(shot, fixedCell.topLeft() + QPoint(2, 2)), QColor(255, 192, 192));
    QCOMPARE(pixel(shot, dataCell.topLeft() + QPoint(2, 2)), g->palette().color(QPalette::Base));
}

void TestChangePage::standardCountEntry_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("hint");

    const QString auto10 = QStringLiteral("自動補充チューブ10円");
    const QString hint99 = QStringLiteral("基準枚数 [ 0 ～ 0,99 ]");
    QTest::newRow("row 1: 20") << 1 << "20" << true << auto10 << hint99;
    QTest::newRow("row 1: 99") << 1 << "99" << true << auto10 << hint99;
    QTest::newRow("row 1: 100") << 1 << "100" << false << auto10 << hint99;
    QTest::newRow("row 1: letters") << 1 << "abc" << false << auto10 << hint99;
    QTest::newRow("row 2: letters") << 2 << "abc" << false
        << QStringLiteral("自動補充チューブ50円") << hint99;
    QTest::newRow("row 5: 100") << 5 << "100" << true
        << QStringLiteral("手動補充チューブ10円") << QStringLiteral("基準枚数 [ 0 ～ 0,9999 ]");
    QTest::newRow("row 6: letters") << 6 << "abc" << false
        << QStringLiteral("手動補充チューブ50円") << QStringLiteral("基準枚数 [ 0 ～ 0,999 ]");
    QTest::newRow("row 8: 9999") << 8 << "9999" << true
        << QStringLiteral("手動補充チューブ500円") << QStringLiteral("基準枚数 [ 0 ～ 0,999 ]");
    QTest::newRow("row 8: 10000") << 8 << "10000" << false
        << QStringLiteral("手動補充チューブ500円") << QStringLiteral("基準枚数 [ 0 ～ 0,999 ]");
    QTest::newRow("row 8: -1") << 8 << "-1" << false
        << QStringLiteral("手動補充チューブ500円") << QStringLiteral("基準枚数 [ 0 ～ 0,999 ]");
}

void TestChangePage::standardCountEntry()
{
    QFETCH(int, row);
    QFETCH(QString, entry);
    QFETCH(bool, accepted);
    QFETCH(QString, title);
    QFETCH(QString, hint);

    Rig rig;
    rig.connectDevice();
    StringGrid *g = rig.coinGrid();
    g->setCell(2, row, QStringLiteral("7"));
    rig.form->data().TubeStandardCount(row - 1) = 7;

    ModalAnswerer answers;
    answers.actions << ModalAnswerer::enter(entry);
    if (!accepted)
        answers.actions << ModalAnswerer::click(QStringLiteral("OK"));
    clickGridCell(g, 2, row);

    QCOMPARE(answers.seen.size(), accepted ? 1 : 2);
    QCOMPARE(answers.seen.at(0).text, title);
    QCOMPARE(answers.seen.at(0).hint, hint);
    QCOMPARE(answers.seen.at(0).field, QStringLiteral("7"));
    if (accepted) {
        QCOMPARE(g->cells(2, row), entry);
        QCOMPARE(rig.form->data().TubeStandardCount(row - 1), entry.toInt());
    } else {
        QCOMPARE(answers.seen.at(1).caption, QStringLiteral("Error"));
        QCOMPARE(answers.seen.at(1).text, QStringLiteral("値が正しくありません"));
        QCOMPARE(answers.seen.at(1).buttons, QStringList{"OK"});
        QCOMPARE(g->cells(2, row), QStringLiteral("7"));
        QCOMPARE(rig.form->data().TubeStandardCount(row - 1), 7);
    }
    QCOMPARE(answers.unexpected, 0);
    // Nothing goes to the controller until the write.
    QCOMPARE(own(rig.log->entries), QStringList());
}

void TestChangePage::entryIgnored_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("earnEnabled");
    QTest::addColumn<bool>("cancel");

    QTest::newRow("column 1") << 1 << 3 << true << true << false;
    QTest::newRow("column 3") << 3 << 3 << true << true << false;
    QTest::newRow("column 4") << 4 << 3 << true << true << false;
    QTest::newRow("heading row") << 2 << 0 << true << true << false;
    QTest::newRow("not connected") << 2 << 3 << false << true << false;
    QTest::newRow("EarnBtn disabled") << 2 << 3 << true << false << false;
    QTest::newRow("dialog cancelled") << 2 << 3 << true << true << true;
}

void TestChangePage::entryIgnored()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(bool, connected);
    QFETCH(bool, earnEnabled);
    QFETCH(bool, cancel);

    Rig rig;
    if (connected)
        rig.connectDevice();
    rig.child<QPushButton>("EarnBtn")->setEnabled(earnEnabled);
    StringGrid *g = rig.coinGrid();
    g->setCell(2, 3, QStringLiteral("7"));

    ModalAnswerer answers;
    if (cancel)
        answers.actions << ModalAnswerer::click(QStringLiteral("キャンセル"));
    clickGridCell(g, col, row);
    // A real click on the cell, and once more by the grid's own event.
    emit g->selectCell(col, row);
    QCOMPARE(answers.seen.size(), cancel ? 2 : 0);
    QCOMPARE(answers.unexpected, cancel ? 1 : 0);
    QCOMPARE(g->cells(2, 3), QStringLiteral("7"));
    QCOMPARE(rig.form->data().TubeStandardCount(2), 0);
}

void TestChangePage::sendCoin_data()
{
    QTest::addColumn<bool>("agree");
    QTest::addColumn<QStringList>("counts");   // per tube; empty: not entered
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("refusal");      // the box instead of the confirmation

    const QStringList all{"20", "0", "0", "99", "150", "0", "0", "9999"};
    QTest::newRow("cancel") << false << all << QStringList() << QString();
    QTest::newRow("OK")
        << true << all
        << QStringList{"QVU1/2", "QVSM1=14/2", "QVSM2=00/2", "QVSM3=00/2", "QVSM4=63/2",
                       "QVSM5=0096/4", "QVSM6=0000/4", "QVSM7=0000/4", "QVSM8=270F/4",
                       "QVW/3", "QVF/3", "QVF/0"}
        << QString();
    // Tubes never entered would have their counts overwritten with 0.
    QTest::newRow("four never entered")
        << true << QStringList{"20", "", "", "99", "150", "", "", "9999"} << QStringList()
        << QStringLiteral("次のチューブの基準枚数がまだ入力されていないため,送信しませんでした.\n"
                          "・自動補充チューブ50円\n・自動補充チューブ100円\n"
                          "・手動補充チューブ50円\n・手動補充チューブ100円\n"
                          "全てのチューブの基準枚数を入力してから,もう一度実行して下さい.");
}

void TestChangePage::sendCoin()
{
    QFETCH(bool, agree);
    QFETCH(QStringList, counts);
    QFETCH(QStringList, expected);
    QFETCH(QString, refusal);

    Rig rig;
    rig.connectDevice();
    // Entered through the page, as the operator would.
    {
        ModalAnswerer entries;
        for (int t = 0; t < 8; ++t) {
            if (counts.at(t).isEmpty())
                continue;
            entries.actions << ModalAnswerer::enter(counts.at(t));
            clickGridCell(rig.coinGrid(), 2, t + 1);
        }
        QCOMPARE(entries.unexpected, 0);
    }
    ModalAnswerer answers;
    answers.actions << ModalAnswerer::click(agree ? QStringLiteral("OK") : QStringLiteral("キャンセル"));
    rig.child<QPushButton>("SendCoinBtn")->click();

    const bool sent = agree && refusal.isEmpty();
    QCOMPARE(answers.seen.size(), 1);
    if (refusal.isEmpty()) {
        QCOMPARE(answers.seen.at(0).caption, Information);
        QCOMPARE(answers.seen.at(0).buttons, (QStringList{"OK", "キャンセル"}));
        QVERIFY(answers.seen.at(0).text.startsWith(QStringLiteral("設定値を書き込み,QUVOを再起動します.")));
    } else {
        QCOMPARE(answers.seen.at(0).caption, QStringLiteral("Error"));
        QCOMPARE(answers.seen.at(0).buttons, QStringList{"OK"});
        QCOMPARE(answers.seen.at(0).text, refusal);
    }
    QCOMPARE(own(rig.log->entries), expected);
    QCOMPARE(rig.form->Connected, sent ? 0 : 1);
    QCOMPARE(rig.form->link().portHandleValid(), !sent);
    QCOMPARE(rig.child<QPushButton>("SendCoinBtn")->isEnabled(), !sent);
    QCOMPARE(rig.child<QPushButton>("EarnBtn")->isEnabled(), !sent);
    QVERIFY(rig.form->isEnabled());
    // The grid keeps what was entered.
    QCOMPARE(rig.coinGrid()->cells(2, 8), QStringLiteral("9999"));
}

void TestChangePage::earn_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("declined") << QByteArray("ver2.00") << QStringList{"キャンセル"} << false
                              << QStringList();
    QTest::newRow("OK, 2.00") << QByteArray("ver2.00") << QStringList{"OK", "OK"} << false
        << QStringList{"QVU1/2", "QVER/54", "QVEJ/45", "QVEQ/45", "QVU0/2"};
    QTest::newRow("Cancel, 2.00") << QByteArray("ver2.00") << QStringList{"OK", "キャンセル"} << false
        << QStringList{"QVU1/2", "QVER/54", "QVEQ/45", "QVU0/2"};
    QTest::newRow("OK, 1.95") << QByteArray("ver1.95") << QStringList{"OK", "OK"} << false
        << QStringList{"QVU1/2", "QVER/45", "QVEJ/45", "QVEQ/45", "QVU0/2"};
    QTest::newRow("OK, manual mode") << QByteArray("ver2.00") << QStringList{"OK", "OK"} << true
        << QStringList{"QVU1/2", "QVER/54", "QVEJ/45", "QVEQ/45"};
    QTest::newRow("Cancel, manual mode") << QByteArray("ver1.95") << QStringList{"OK", "キャンセル"} << true
        << QStringList{"QVU1/2", "QVER/45", "QVEQ/45"};
}

void TestChangePage::earn()
{
    QFETCH(QByteArray, version);
    QFETCH(QStringList, answers);
    QFETCH(bool, manual);
    QFETCH(QStringList, expected);

    Rig rig(version);
    rig.port->replies["QVER"] =
        FakePort::ok("0010,00000BB8,00,05,00,00,000A,0000,0000,0000,000001F4");
    rig.connectDevice();
    if (manual) {
        rig.panelMode()->setCurrentIndex(1);
        rig.log->clear();
    }
    ModalAnswerer boxes;
    for (const QString &answer : answers)
        boxes.actions << ModalAnswerer::click(answer);
    rig.child<QPushButton>("EarnBtn")->click();

    QCOMPARE(boxes.seen.size(), answers.size());
    QCOMPARE(boxes.unexpected, 0);
    QCOMPARE(boxes.seen.at(0).text,
             QStringLiteral("自動つり銭合せ（精算）処理を開始します.\n実行してもよろしいですか？"));
    if (answers.size() > 1) {
        const auto &report = boxes.seen.at(1);
        QCOMPARE(report.caption, Information);
        QCOMPARE(report.buttons, (QStringList{"OK", "キャンセル"}));
        QVERIFY(report.text.startsWith(QStringLiteral("自動つり銭合せを開始しました.\n精算カウンタ:0016\n")));
        // The short report of older firmware leaves the refunds out.
        QVERIFY(report.text.contains(version == "ver2.00" ? QStringLiteral("総返金(円):500\n")
                                                          : QStringLiteral("総返金(円):0\n")));
        QVERIFY(report.text.contains(QStringLiteral("手動補充チューブ[10円]:10枚 不足\n")));
    }
    QCOMPARE(own(rig.log->entries), expected);
    QCOMPARE(rig.form->Connected, 1);
}

void TestChangePage::panelPicture()
{
    Rig rig;
    const QImage pic = rig.picture();
    const int M = 125, W = 251;
    QCOMPARE(pic.size(), QSize(251, 335));
    const QImage off = lamp("LOFF"), square = lamp("LOFF4");
    QVERIFY(off != lamp("LONG1"));
    for (int row = 0; row < 8; ++row) {
        const int y = 50 + 30 * row;
        QVERIFY2(lampAt(pic, M - 20, y, off), qPrintable(QStringLiteral("out lamp %1").arg(row)));
        QVERIFY2(lampAt(pic, M, y, off), qPrintable(QStringLiteral("in lamp %1").arg(row)));
        // Each name is written in black on white beside its lamp.
        bool outText = false, inText = false;
        for (int dy = 0; dy < 12; ++dy) {
            for (int x = 0; x < M - 20; ++x)
                outText |= qGray(pic.pixel(x, y + dy)) < 100;
            for (int x = M + 15; x < W; ++x)
                inText |= qGray(pic.pixel(x, y + dy)) < 100;
        }
        QVERIFY2(outText && inText, qPrintable(QStringLiteral("names of row %1").arg(row)));
    }
    QVERIFY(lampAt(pic, W - 18, 200, square));
    QVERIFY(lampAt(pic, W - 18, 230, square));
    // No lamp where a ninth row would be.
    QVERIFY(!lampAt(pic, M, 290, off));
    // The two lines, three pixels wide, and the two heads.
    const QColor red(224, 128, 128), green(128, 224, 128), white(Qt::white);
    for (int y : {2, 45, 300, 334}) {
        QCOMPARE(pic.pixelColor(M - 15, y), red);
        QCOMPARE(pic.pixelColor(M - 13, y), red);
        QCOMPARE(pic.pixelColor(M + 5, y), green);
        QCOMPARE(pic.pixelColor(M + 7, y), green);
        QCOMPARE(pic.pixelColor(M - 2, y), white);
    }
    QCOMPARE(pic.pixelColor(2, 12), red);
    QCOMPARE(pic.pixelColor(60, 38), red);
    QCOMPARE(pic.pixelColor(2, 9), white);
    QCOMPARE(pic.pixelColor(2, 40), white);
    QCOMPARE(pic.pixelColor(M + 10, 12), green);
    QCOMPARE(pic.pixelColor(W - 1, 38), green);
    QCOMPARE(pic.pixelColor(M + 10, 41), white);
    bool outHead = false, inHead = false;
    for (int y = 20; y < 32; ++y) {
        for (int x = 70; x < 100; ++x)
            outHead |= qGray(pic.pixel(x, y)) < 80;
        for (int x = 150; x < 175; ++x)
            inHead |= qGray(pic.pixel(x, y)) < 80;
    }
    QVERIFY(outHead && inHead);
}

void TestChangePage::panelPointer_data()
{
    // Steps: "m x y" moves, "l x y" / "r x y" left or right presses.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("lamp0");   // lamp shown on row 0 afterwards
    QTest::addColumn<QString>("lamp7");   // lamp shown on row 7 afterwards

    QTest::newRow("hover row 0") << QStringList{"m 125 50"} << QStringList() << "LOFF3" << "LOFF";
    QTest::newRow("hover bottom-right corner") << QStringList{"m 137 62"} << QStringList() << "LOFF3" << "LOFF";
    QTest::newRow("hover then leave") << QStringList{"m 130 55", "m 130 63"} << QStringList() << "LOFF" << "LOFF";
    QTest::newRow("hover moves to row 7") << QStringList{"m 130 55", "m 130 265"} << QStringList() << "LOFF" << "LOFF3";
    QTest::newRow("click row 0")
        << QStringList{"l 130 55"} << QStringList{"QVX*******************1/6"} << "LONG3" << "LOFF";
    QTest::newRow("click row 0 twice")
        << QStringList{"l 130 55", "l 130 55"}
        << QStringList{"QVX*******************1/6", "QVX*******************0/6"} << "LOFF3" << "LOFF";
    QTest::newRow("click row 0, move away")
        << QStringList{"l 130 55", "m 10 10"} << QStringList{"QVX*******************1/6"} << "LONG1" << "LOFF";
    QTest::newRow("click row 7")
        << QStringList{"l 137 272"} << QStringList{"QVX1*******************/6"} << "LOFF" << "LONG3";
    QTest::newRow("click row 7 twice")
        << QStringList{"l 137 272", "l 137 272"}
        << QStringList{"QVX1*******************/6", "QVX0*******************/6"} << "LOFF" << "LOFF3";
    QTest::newRow("X = M + 13") << QStringList{"l 138 55"} << QStringList() << "LOFF" << "LOFF";
    QTest::newRow("Y = 63") << QStringList{"l 130 63"} << QStringList() << "LOFF" << "LOFF";
    QTest::newRow("above Y = 50") << QStringList{"l 130 49"} << QStringList() << "LOFF" << "LOFF";
    QTest::newRow("hovered, then X = M + 13")
        << QStringList{"m 130 55", "l 138 55"} << QStringList() << "LOFF" << "LOFF";
    QTest::newRow("right click") << QStringList{"r 130 55"} << QStringList() << "LOFF3" << "LOFF";
}

void TestChangePage::panelPointer()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, sent);
    QFETCH(QString, lamp0);
    QFETCH(QString, lamp7);

    Rig rig;
    rig.connectDevice();
    rig.panelMode()->setCurrentIndex(1);
    QCOMPARE(rig.log->entries, (QStringList{"QVX00000000000000000000/6", "QVU1/2"}));
    rig.log->clear();
    for (const QString &step : steps) {
        const QStringList f = step.split(u' ');
        const int x = f.at(1).toInt(), y = f.at(2).toInt();
        if (f.at(0) == u"m")
            rig.move(x, y);
        else
            rig.press(x, y, f.at(0) == u"l" ? Qt::LeftButton : Qt::RightButton);
    }
    QCOMPARE(rig.log->entries, sent);
    const QImage pic = rig.picture();
    QVERIFY2(lampAt(pic, 125, 50, lamp(qPrintable(lamp0))), qPrintable(lamp0));
    QVERIFY2(lampAt(pic, 125, 260, lamp(qPrintable(lamp7))), qPrintable(lamp7));
    // The output lamps never change.
    QVERIFY(lampAt(pic, 105, 50, lamp("LOFF")));
}

void TestChangePage::panelModes()
{
    Rig rig;
    QComboBox *mode = rig.panelMode();
    // No port: choosing a mode sends nothing.
    mode->setEnabled(true);
    mode->setCurrentIndex(1);
    mode->setCurrentIndex(0);
    QVERIFY(rig.log->entries.isEmpty());

    rig.connectDevice();
    QCOMPARE(mode->currentIndex(), 0);
    QVERIFY(mode->isEnabled());
    // Monitor mode: the lamps ignore the pointer.
    rig.press(130, 55);
    QVERIFY(rig.log->entries.isEmpty());
    QVERIFY(lampAt(rig.picture(), 125, 50, lamp("LOFF")));

    mode->setCurrentIndex(1);
    rig.press(130, 85); // row 1 on
    rig.move(130, 145); // row 3 under the pointer
    mode->setCurrentIndex(0);
    // A ring left from manual mode does not make a click act in monitor mode.
    rig.press(130, 145);
    mode->setCurrentIndex(1);
    QCOMPARE(rig.log->entries, (QStringList{"QVX00000000000000000000/6", "QVU1/2",
                                            "QVX******************1*/6", "QVU0/2",
                                            "QVX00000000000000000010/6", "QVU1/2"}));
    // Leaving manual mode keeps the lamps as they are.
    QVERIFY(lampAt(rig.picture(), 125, 80, lamp("LONG1")));
}

void TestChangePage::statesKeptAcrossConnections()
{
    Rig rig;
    rig.connectDevice();
    QComboBox *mode = rig.panelMode();
    mode->setCurrentIndex(1);
    rig.press(130, 235); // row 6: user input #2 on
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 0);
    QVERIFY(!mode->isEnabled());
    // With the port gone a stale ring sends nothing.
    rig.press(130, 235);
    rig.log->clear();
    rig.connectDevice();
    // The connection resets the mode without a word to the controller.
    QCOMPARE(mode->currentIndex(), 0);
    QVERIFY(mode->isEnabled());
    mode->setCurrentIndex(1);
    QCOMPARE(rig.log->entries, (QStringList{"QVX01000000000000000000/6", "QVU1/2"}));
}

void TestChangePage::savePictures()
{
    Rig rig;
    rig.connectDevice();
    StringGrid *g = rig.coinGrid();
    const char *standard[] = {"10", "10", "20", "5", "100", "", "50", "0"};
    const char *current[] = {"12", "3", "20", "", "90", "7", "50", "1"};
    for (int t = 0; t < 8; ++t) {
        g->setCell(2, t + 1, QString::fromLatin1(standard[t]));
        g->setCell(3, t + 1, QString::fromLatin1(current[t]));
    }
    rig.child<StringGrid>("TotalGrid2")->setCell(1, 0, QStringLiteral("123456"));
    rig.panelMode()->setCurrentIndex(1);
    rig.press(130, 55);
    rig.press(130, 265);
    rig.move(130, 85);
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    const QPixmap page = rig.child<QWidget>("TabSheet2")->grab();
    const QPixmap panel = rig.child<QWidget>("Panel1")->grab();
    QVERIFY(page.save(dir + QStringLiteral("/change-page.png")));
    QVERIFY(panel.save(dir + QStringLiteral("/io-panel.png")));
    QVERIFY(page.width() > 500 && panel.width() == 257);
}

QTEST_MAIN(TestChangePage)
#include "tst_change_page.moc"
