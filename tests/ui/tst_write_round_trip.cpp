// Round trips through the controller emulator on a pseudo-terminal: what the
// window writes, the emulator keeps, and the window then shows what the
// emulator reports.
#include "device/ValueOrigins.h"
#include "journal/Journal.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/WindowFixture.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/StringGrid.h"

#include <QComboBox>
#include <QMessageBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

constexpr int EmulatorCom = 200;
constexpr int RestartMs = 100;
// Where a test does not look at line timing, the window also waits less for
// a controller that stays silent.
constexpr int ShortReadTimeoutMs = 300;

struct EmulatorRig : WindowFixture {
    EmulatorProcess emulator{QStringLiteral(QUVO_EMULATOR), sandbox.runtimeDir()};
    // Faults that depend on when bytes arrive keep the real line speed and time-out.
    bool realLine = false;

    // The window lets go of its port before the emulator withdraws it.
    ~EmulatorRig() { form.reset(); }

    // Starts the emulator with a scenario and the window beside it.
    bool start(const QByteArray &scenarioJson)
    {
        emulator.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!emulator.startAt(EmulatorCom, scenarioJson, realLine ? QStringList() : EmulatorProcess::fastLine()))
            return false;
        openOnSerialPort();
        if (!realLine)
            form->link().setReadTimeoutMs(ShortReadTimeoutMs);
        form->show();
        showPage("TabSheet3");
        answerer();   // boxes are answered from the start
        return true;
    }

    // Starts both and clicks 接続; true once connected.
    bool startConnected(const QByteArray &scenarioJson)
    {
        if (!start(scenarioJson))
            return false;
        form->ConBtnClick();
        return form->Connected == 1;
    }

    QStringList commands() const { return emulator.commands(); }

    // The controller answers the probe normally again, its restart over. A
    // link of the test's own asks, while the window holds no port.
    bool restarted()
    {
        DeviceLink probe;
        probe.OpenPort(EmulatorCom);
        return probe.portHandleValid() && probe.Transact("QV", 0).status == 0;
    }
};

// Every "QVU1" the controller received was followed by its closing: "QVU0",
// or the restart ("QVF") of a write that ends with one.
bool writeModeLeft(const QStringList &commands)
{
    for (qsizetype i = commands.indexOf(QStringLiteral("QVU1")); i >= 0;
         i = commands.indexOf(QStringLiteral("QVU1"), i + 1)) {
        const qsizetype next = commands.indexOf(QStringLiteral("QVU1"), i + 1);
        const QStringList after = commands.mid(i + 1, next < 0 ? -1 : next - i - 1);
        if (!after.contains(QStringLiteral("QVU0")) && !after.contains(QStringLiteral("QVF")))
            return false;
    }
    return true;
}

// True when `wanted` appears in `got` in this order, with anything between.
bool inOrder(const QStringList &got, const QStringList &wanted, int *end = nullptr)
{
    int at = 0;
    for (const QString &w : wanted) {
        at = got.indexOf(w, at);
        if (at < 0)
            return false;
        ++at;
    }
    if (end)
        *end = at;
    return true;
}

const QByteArray BaseScenario = R"({
    "prices": [100, 200, 300, 400, 50, 60, 70, 80, 90, 100],
    "counts": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16],
    "salesTotal": 123456,
    "options": [0, 0, 0, 0, 0, 0],
    "receipt": [{"x": 2, "y": 2, "text": "領 収 書"},
                {"x": 1, "y": 2, "text": "ありがとう"},
                {"x": 1, "y": 1, "text": "ABC"}],
    "id": "OLD",
    "restartMs": 100
    FAULTS
})";

QByteArray scenario(const QByteArray &faults = QByteArray())
{
    QByteArray s = BaseScenario;
    return s.replace("FAULTS", faults.isEmpty() ? QByteArray() : ", \"faults\": " + faults);
}

} // namespace

class TestWriteRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void priceRoundTrip_data();
    void priceRoundTrip();
    void optionsRoundTrip();
    void faultyLineThenOptionsWrite_data();
    void faultyLineThenOptionsWrite();
    void counterClearRoundTrip();
    void guardedWrites_data();
    void guardedWrites();
    void writeProof_data();
    void writeProof();
    void cableMovedToAnotherController_data();
    void cableMovedToAnotherController();
    void proofFollowsItsController();
    void deadLine();
    void operationOnAVanishedDevice_data();
    void operationOnAVanishedDevice();
    void noWrongWrite_data();
    void noWrongWrite();
    void init();

private:
    std::unique_ptr<EmulatorRig> priceRig_;
};

void TestWriteRoundTrip::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestWriteRoundTrip::priceRoundTrip_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("typed");   // typed at once as the dialog opens, then Enter

    QTest::newRow("col3 12.5") << 2 << "12.5" << "QVSP2=007D" << "12.5" << false;
    QTest::newRow("col5 150") << 4 << "150" << "QVSP4=0096" << "150" << false;
    QTest::newRow("col10 0.3") << 9 << "0.3" << "QVSP9=0003" << "0.3" << false;
    // Not one key is lost: the typing replaces the value the dialog showed.
    QTest::newRow("col4 30 typed at once") << 3 << "30" << "QVSP3=012C" << "30.0" << true;
}

void TestWriteRoundTrip::priceRoundTrip()
{
    QFETCH(int, row);
    QFETCH(QString, entry);
    QFETCH(QString, command);
    QFETCH(QString, shown);
    QFETCH(bool, typed);

    // Each row writes a column of its own: one emulator and connection serve them all.
    if (!priceRig_) {
        priceRig_ = std::make_unique<EmulatorRig>();
        QVERIFY(priceRig_->startConnected(scenario()));
    }
    EmulatorRig &rig = *priceRig_;
    QCOMPARE(rig.form->Connected, 1);
    const int before = int(rig.commands().size());
    rig.answerer().actions << (typed ? ModalAnswerer::typeAtOnce(entry) : ModalAnswerer::enter(entry));

    rig.clickCell("OptGrid1", 1, row);

    QTRY_COMPARE(rig.child<StringGrid>("OptGrid1")->cells(1, row), shown);
    QCOMPARE(rig.child<StringGrid>("SalesGrid")->cells(1, row + 1), shown);
    QCOMPARE(rig.answerer().unexpected, 0);
    const QStringList after = rig.commands().mid(before);
    QVERIFY2(inOrder(after, {"QVU1", command, "QVU0", "QVQ", "QVRP0", "QVC"}), qPrintable(after.join(' ')));
}

void TestWriteRoundTrip::init()
{
    // The price rows share one rig; no other test may meet its polling
    // window or its answerer, which would take that test's boxes.
    if (qstrcmp(QTest::currentTestFunction(), "priceRoundTrip") != 0)
        priceRig_.reset();
}

void TestWriteRoundTrip::optionsRoundTrip()
{
    EmulatorRig rig;
    QVERIFY(rig.start(scenario()));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QCOMPARE(rig.child<QLineEdit>("Edit2")->text(), QStringLiteral("ありがとう"));

    const int options[] = {2, 1, 3, 1, 1, 1};
    for (int k = 0; k < 6; ++k)
        rig.child<QComboBox>(qPrintable(QStringLiteral("Opt%1Sel").arg(k + 1)))->setCurrentIndex(options[k]);
    const QStringList texts = {QStringLiteral("ご利用ありがとう"), QStringLiteral("ｱｲｳ～ｴｵ"),
                               QStringLiteral("□□□□□□□□□□□□□□□□")};
    const char *names[] = {"Edit1", "Edit2", "Edit3"};
    for (int i = 0; i < 3; ++i)
        rig.child<QLineEdit>(names[i])->setText(texts[i]);
    const QStringList mags = {"4", "1", "3", "2", "1", "3"};
    for (int b = 0; b < 6; ++b)
        rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->setEditText(mags[b]);
    rig.child<QLineEdit>("xxxxxxxx")->setText(QStringLiteral("店No.7"));
    const int before = int(rig.commands().size());
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"))
                          << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer().unexpected, 0);
    QCOMPARE(rig.form->Connected, 0);
    const QStringList sent = rig.commands().mid(before);
    QVERIFY2(inOrder(sent, {"QVU1", "QVSO1=02", "QVSO3=03", "QVSO2=01", "QVSO4=01", "QVSO5=01",
                            "QVSO6=01", "QVSON=店No.7",
                            "QVSOA=41ご利用ありがとう", "QVSOB=32ｱｲｳ～ｴｵ",
                            "QVSOC=13□□□□□□□□□□□□□□□□", "QVW", "QVF", "QVF"}),
             qPrintable(sent.join(' ')));

    // The controller restarts; reconnect once it is back and read what it kept.
    for (int b = 0; b < 6; ++b)
        rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->setCurrentIndex(0);
    QTRY_VERIFY_WITH_TIMEOUT(rig.restarted(), 5000);
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QCOMPARE(rig.answerer().unexpected, 0);

    for (int k = 0; k < 6; ++k)
        QCOMPARE(rig.child<QComboBox>(qPrintable(QStringLiteral("Opt%1Sel").arg(k + 1)))->currentIndex(), options[k]);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rig.child<QLineEdit>(names[i])->text(), texts[i]);
    for (int b = 0; b < 6; ++b)
        QCOMPARE(rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->currentText(), mags[b]);
    QCOMPARE(rig.child<QLineEdit>("xxxxxxxx")->text(), QStringLiteral("店No.7"));
}

void TestWriteRoundTrip::faultyLineThenOptionsWrite_data()
{
    // One bad reply during the connect read; the rest of it must stay right,
    // so an options write with no edits sends what the controller holds.
    QTest::addColumn<QByteArray>("fault");
    QTest::newRow("late by 1.0 s") << QByteArray(R"({"command": "QVRP2", "fault": "late", "delayMs": 1000})");
    QTest::newRow("over-long") << QByteArray(R"({"command": "QVRP5", "fault": "overlong", "text": "123456789012345678901234567890"})");
    QTest::newRow("noise after a reply") << QByteArray(R"({"command": "QVRP5", "fault": "noise", "text": "#NOISE#"})");
}

void TestWriteRoundTrip::faultyLineThenOptionsWrite()
{
    QFETCH(QByteArray, fault);
    EmulatorRig rig;
    rig.realLine = true;
    QByteArray s = scenario("[" + fault + "]");
    QVERIFY(rig.start(s.replace("\"options\": [0, 0, 0, 0, 0, 0]", "\"options\": [2, 1, 3, 1, 0, 1]")));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QVERIFY(rig.commands().contains(QStringLiteral("QVC")));
    const int before = int(rig.commands().size());
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer().unexpected, 0);
    QStringList settings = rig.commands().mid(before);
    settings.removeIf([](const QString &c) { return !c.startsWith(QLatin1String("QVSO")); });
    QCOMPARE(settings, QStringList({"QVSO1=02", "QVSO3=03", "QVSO2=01", "QVSO4=01", "QVSO5=00", "QVSO6=01",
                                    "QVSON=OLD", "QVSOA=22領 収 書", "QVSOB=12ありがとう", "QVSOC=11ABC"}));
}

void TestWriteRoundTrip::counterClearRoundTrip()
{
    EmulatorRig rig;
    QVERIFY(rig.start(scenario()));
    rig.form->ConBtnClick();
    QCOMPARE(rig.child<StringGrid>("OptGrid2")->cells(1, 15), QStringLiteral("0016"));
    const int before = int(rig.commands().size());
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("CntClrBtn")->click();

    QCOMPARE(rig.answerer().unexpected, 0);
    QCOMPARE(rig.form->Connected, 1);
    const QStringList after = rig.commands().mid(before);
    QVERIFY2(inOrder(after, {"QVU1", "QVZ0", "QVU0", "QVQ", "QVC"}), qPrintable(after.join(' ')));
    auto *counts = rig.child<StringGrid>("OptGrid2");
    auto *sales = rig.child<StringGrid>("SalesGrid");
    for (int r = 0; r < 16; ++r) {
        QCOMPARE(counts->cells(1, r), QStringLiteral("0000"));
        QCOMPARE(sales->cells(2, r + 1), QStringLiteral("0000"));
    }
    QCOMPARE(counts->cells(1, 16), QStringLiteral("0"));
}

void TestWriteRoundTrip::guardedWrites_data()
{
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QStringList>("boxes");   // captions of the boxes the write shows
    QTest::addColumn<QString>("sent");        // the QVSOB command, empty: nothing sent

    // A refused receipt line is left unread by the connect read, and the
    // write will not send it.
    QTest::newRow("ERR02 on line 1")
        << QByteArray(R"([{"command": "QVROA", "fault": "error", "number": 2}])")
        << QStringList{"Error"} << QString();
    // A refused or cut reply vouches for nothing: the write is refused
    // instead of sending 00 or a cut text over the controller's setting.
    QTest::newRow("ERR12 on option 2")
        << QByteArray(R"([{"command": "QVRO2", "fault": "error", "number": 12}])")
        << QStringList{"Error"} << QString();
    QTest::newRow("RBUSY on option 3")
        << QByteArray(R"([{"command": "QVRO3", "fault": "rbusy"}])") << QStringList{"Error"} << QString();
    // Cut at every read: a line cut once is read again with its group.
    QTest::newRow("line 1 cut after a blank")
        << QByteArray(R"([{"command": "QVROA", "fault": "truncate", "keep": 11, "times": "always"}])")
        << QStringList{"Error"} << QString();
    // Line 2 holds bytes that are not code page 932: no text the controller
    // can hold, so it is not written back.
    QTest::newRow("invalid text in line 2")
        << QByteArray(R"([{"command": "QVROB", "fault": "invalid-text"}])") << QStringList{"Error"} << QString();
}

void TestWriteRoundTrip::guardedWrites()
{
    QFETCH(QByteArray, faults);
    QFETCH(QStringList, boxes);
    QFETCH(QString, sent);

    EmulatorRig rig;
    QVERIFY(rig.start(scenario(faults)));
    rig.answerer().actions << ModalAnswerer::press(QMessageBox::Ok);   // a conversion error, if any
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    rig.answerer().seen.clear();
    rig.answerer().actions.clear();
    // The operator picks option 1's second item.
    auto *option1 = rig.child<QComboBox>("Opt1Sel");
    option1->setFocus();
    QTest::keyClick(option1, Qt::Key_Down);
    const int before = int(rig.commands().size());
    for (int i = 0; i < boxes.size(); ++i)
        rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QStringList captions;
    for (const ModalAnswerer::Seen &seen : rig.answerer().seen)
        captions << seen.caption;
    QCOMPARE(captions, boxes);
    const QStringList after = rig.commands().mid(before).filter(QRegularExpression("^QV(U1|S|W|F)"));
    if (sent.isEmpty()) {
        QCOMPARE(after, QStringList());
        QVERIFY2(rig.answerer().seen.first().text.contains(QStringLiteral("接続し直して")),
                 qPrintable(rig.answerer().seen.first().text));
        QCOMPARE(rig.form->Connected, 1);
        return;
    }
    QVERIFY2(inOrder(after, {"QVU1", "QVSO1=01", "QVSO3=00", "QVSO2=00", sent, "QVW", "QVF", "QVF"}),
             qPrintable(after.join(' ')));
}

void TestWriteRoundTrip::writeProof_data()
{
    // The operation, the fault, and the error boxes that must follow.
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QStringList>("boxes");

    const auto fault = [](const char *command, const char *kind) {
        return QByteArray(R"([{"command": ")") + command + R"(", "fault": ")" + kind
            + (QByteArray(kind) == "error" ? R"(", "number": 2}])" : R"("}])");
    };
    const auto box = [](const QString &heading, const QStringList &rows, const char *advice) {
        QString text = heading + u'\n';
        for (const QString &r : rows)
            text += QStringLiteral("・") + r + u'\n';
        return QStringList{text + QString::fromUtf8(advice)};
    };
    const QStringList noAnswer{QStringLiteral("COM200のQUVOから応答がありません.\n送信と読み込みを中止しました.\n"
                                              "ケーブルとQUVOの電源を確かめて下さい.")};
    const QStringList price = box(QStringLiteral("設定価格がQUVOに反映されていません."),
                                  {QStringLiteral("コラム3: 送信値 12.5 → 現在値 30.0")}, "もう一度設定して下さい.");
    // Only the sixteen counts are checked: the total is the controller's business.
    QStringList counts;
    for (int i = 1; i <= 16; ++i)
        counts << QStringLiteral("コラム%1枚数: クリア前 %2 → 現在値 %2").arg(i).arg(i);
    const QStringList clear = box(QStringLiteral("カウンタのクリアがQUVOに反映されていません."), counts,
                                  "もう一度カウンタクリアを実行して下さい.");
    // The proof names the controller it concerns.
    const QString again = QStringLiteral("前回の書き込みで,次の設定値がQUVOに反映されていません.\n"
                                         "書き込み先: QUVO「OLD」(QUVO ver2.05, COM200)");
    const char *advice = "設定し直して,もう一度送信して下さい.";
    const QStringList option3 = box(again, {QStringLiteral("精算時の端数処理: 送信値 切り捨て → 現在値 切り上げ")}, advice);
    const QStringList tubes{"自動補充チューブ10円", "自動補充チューブ50円", "自動補充チューブ100円",
                            "自動補充チューブ500円", "手動補充チューブ10円", "手動補充チューブ50円",
                            "手動補充チューブ100円", "手動補充チューブ500円"};
    const QStringList counted{"20", "0", "0", "0", "150", "0", "0", "0"};
    QStringList allTubes;
    for (int t = 0; t < 8; ++t)
        allTubes << tubes[t] + QStringLiteral("の基準枚数: 送信値 ") + counted[t]
                + QStringLiteral(" → 現在値 (受け付けを確認できませんでした)");
    // No read reports a standard count: unacknowledged is not called refused.
    QString unconfirmed = again;
    unconfirmed.replace(QStringLiteral("反映されていません."), QStringLiteral("反映されたか確認できませんでした."));
    const QStringList oneTube = box(unconfirmed, {allTubes[1]}, advice);
    const QStringList everyTube = box(unconfirmed, allTubes, advice);

    QTest::newRow("price taken") << "price" << QByteArray() << QStringList();
    QTest::newRow("price: ERR on QVSP") << "price" << fault("QVSP*", "error") << price;
    // Nothing follows a command nobody answered; the grids keep the price read.
    // The price command went out: the controller answers the probe, and the
    // read-back tells it did not take the price.
    QTest::newRow("price: QVSP silent") << "price" << fault("QVSP*", "silence") << price;
    QTest::newRow("price: ERR on QVU1") << "price" << fault("QVU1", "error") << price;
    // No "QVW" here: the closing "QVU0" unanswered loses nothing.
    QTest::newRow("price: QVU0 silent") << "price" << fault("QVU0", "silence") << QStringList();
    QTest::newRow("clear taken") << "clear" << QByteArray() << QStringList();
    QTest::newRow("clear: ERR on QVZ0") << "clear" << fault("QVZ0", "error") << clear;
    // The reply was lost, the controller still answers: write mode is left
    // and the read-back tells whether the counts were cleared.
    QTest::newRow("clear: QVZ0 silent") << "clear" << fault("QVZ0", "silence") << clear;
    QTest::newRow("clear: QVU1 silent") << "clear" << fault("QVU1", "silence") << noAnswer;
    QTest::newRow("price: QVU1 silent") << "price" << fault("QVU1", "silence") << noAnswer;
    QTest::newRow("clear: ERR on QVU1") << "clear" << fault("QVU1", "error") << clear;
    QTest::newRow("clear: QVU0 silent") << "clear" << fault("QVU0", "silence") << QStringList();
    // Which counters "QVZ0" clears is the controller's business.
    QTest::newRow("clear: total kept") << "clear" << QByteArray(R"([], "clearKeepsTotal": true)") << QStringList();
    // Sales go on while the clear is read back: a count of a few pieces the
    // money taken meanwhile explains is no clear refused.
    QTest::newRow("clear while the machine sells")
        << "clear" << QByteArray(R"([], "simulateSales": {"minIntervalMs": 5, "maxIntervalMs": 15, "seed": 7})")
        << QStringList();
    QTest::newRow("clear while the machine sells, total kept")
        << "clear"
        << QByteArray(R"([], "clearKeepsTotal": true, "simulateSales": {"minIntervalMs": 5, "maxIntervalMs": 15, "seed": 3})")
        << QStringList();
    QTest::newRow("options taken") << "options" << QByteArray() << QStringList();
    QTest::newRow("options: ERR on QVSO3") << "options" << fault("QVSO3*", "error") << option3;
    // Stopped before the store: nothing to prove at the next connection.
    QTest::newRow("options: QVSO3 silent") << "options" << fault("QVSO3*", "silence") << noAnswer;
    QTest::newRow("options: ERR on QVU1") << "options" << fault("QVU1", "error") << option3;
    // Every setting was sent and the controller still answers: the restart
    // follows, and its proof tells the store did not happen.
    QTest::newRow("options: QVW silent") << "options" << fault("QVW", "silence") << option3;
    QTest::newRow("options: QVW answered 1.5 s late")
        << "options" << QByteArray(R"([{"command": "QVW", "fault": "late", "delayMs": 1500}])") << QStringList();
    QTest::newRow("options: QVU1 silent") << "options" << fault("QVU1", "silence") << noAnswer;
    // The controller cannot be named after the restart: the operator hears
    // why no proof is shown (QVRON's third read: the connection's, the
    // check after the box, the reconnection's).
    QTest::newRow("options: no identification afterwards")
        << "options" << QByteArray(R"([{"command": "QVRON", "fault": "error", "number": 2, "skip": 2}])")
        << QStringList{QStringLiteral("COM200のQUVOの識別文字またはバージョンを読み込めないため,"
                                      "前回の書き込みが反映されたか確認できません.\n"
                                      "書き込み先: QUVO「OLD」(QUVO ver2.05, COM200)\n接続し直して下さい.")};
    QTest::newRow("counts taken") << "counts" << QByteArray() << QStringList();
    QTest::newRow("counts: ERR on QVSM2") << "counts" << fault("QVSM2*", "error") << oneTube;
    QTest::newRow("counts: QVSM2 silent") << "counts" << fault("QVSM2*", "silence") << oneTube;
    QTest::newRow("counts: ERR on QVU1") << "counts" << fault("QVU1", "error") << everyTube;
    QTest::newRow("counts: QVW silent") << "counts" << fault("QVW", "silence") << everyTube;
}

void TestWriteRoundTrip::writeProof()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, faults);
    QFETCH(QStringList, boxes);

    EmulatorRig rig;
    QVERIFY(rig.startConnected(scenario(faults)));
    // Every box is answered with OK; the value dialog takes 12.5.
    for (int i = 0; i < 4; ++i)
        rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("12.5"));

    if (operation == QLatin1String("price")) {
        rig.clickCell("OptGrid1", 1, 2);
    } else if (operation == QLatin1String("clear")) {
        rig.child<QPushButton>("CntClrBtn")->click();
    } else {
        if (operation == QLatin1String("options")) {
            rig.child<QComboBox>("Opt3Sel")->setCurrentIndex(2);
            rig.child<QPushButton>("SendSalesBtn")->click();
        } else {
            const int counts[8] = {20, 0, 0, 0, 150, 0, 0, 0};
            for (int t = 0; t < 8; ++t) {
                rig.form->data().TubeStandardCount(t) = counts[t];
                rig.form->origins().setByOperator(ValueOrigins::standardCount(t));
            }
            rig.child<QPushButton>("SendCoinBtn")->click();
        }
        if (rig.form->Connected == 0) {
            // The proof waits for the operator's reconnection after the restart.
            QTRY_VERIFY_WITH_TIMEOUT(rig.restarted(), 5000);
            rig.form->ConBtnClick();
        } else {
            // A write stopped by a silent line waits for the controller and
            // connects to it again by itself.
            QVERIFY(rig.form->deviceLost());
            QTRY_VERIFY_WITH_TIMEOUT(!rig.form->deviceLost(), 10000);
        }
        QCOMPARE(rig.form->Connected, 1);
    }

    QStringList errors;
    for (const ModalAnswerer::Seen &s : rig.answerer().seen) {
        if (s.caption == QLatin1String("Error")) {
            QCOMPARE(s.buttons, QStringList{QStringLiteral("OK")});
            errors << s.text;
        }
    }
    QCOMPARE(errors, boxes);
    QVERIFY2(writeModeLeft(rig.commands()), qPrintable(rig.commands().join(u' ')));
    if (operation == QLatin1String("price"))   // the grids show what the controller reports
        QCOMPARE(rig.child<StringGrid>("OptGrid1")->cells(1, 2),
                 boxes.isEmpty() ? QStringLiteral("12.5") : QStringLiteral("30.0"));
    // Compared once: a later connection shows nothing more.
    rig.answerer().seen.clear();
    rig.form->ConBtnClick();
    rig.form->ConBtnClick();
    QCOMPARE(rig.answerer().seen.size(), 0);
}


namespace {

const QByteArray ScenarioA = R"({
    "options": [2, 1, 3, 1, 1, 1], "id": "MACHINE1", "restartMs": 100,
    "prices": [120, 200, 300, 400, 50, 990, 1, 80], "salesTotal": 5000,
    "counts": [11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26],
    "receipt": [{"x": 3, "y": 1, "text": "AAA"}, {"x": 1, "y": 4, "text": "AAAA"}, {"x": 2, "y": 3, "text": "AAAAA"}]
    FAULTS
})";
const QByteArray ScenarioB = R"({
    "options": [0, 0, 0, 0, 0, 0], "id": "MACHINE2", "restartMs": 100,
    "receipt": [{"x": 1, "y": 1, "text": "BBB"}, {"x": 1, "y": 1, "text": "BBBB"}, {"x": 1, "y": 1, "text": "BBBBB"}]
})";

QByteArray withFaults(QByteArray s, const QByteArray &faults)
{
    return s.replace("FAULTS", faults.isEmpty() ? QByteArray() : ", \"faults\": " + faults);
}

QString noAnswerBox(int com)
{
    return QStringLiteral("COM%1のQUVOから応答がありません.\n送信と読み込みを中止しました.\n"
                          "ケーブルとQUVOの電源を確かめて下さい.")
        .arg(com);
}

QStringList gridTexts(const StringGrid *g)
{
    QStringList l;
    for (int r = 0; r < g->rowCount(); ++r)
        for (int c = 0; c < g->columnCount(); ++c)
            l << g->cells(c, r);
    return l;
}

QStringList captionsAndTexts(const QList<ModalAnswerer::Seen> &seen)
{
    QStringList l;
    for (const ModalAnswerer::Seen &s : seen)
        l << s.caption + u'|' + s.text;
    return l;
}

} // namespace

void TestWriteRoundTrip::cableMovedToAnotherController_data()
{
    // What answers under A's number after A vanished; the texts the box
    // names (none: no box); whether the visit goes on.
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<bool>("sameVisit");
    QByteArray twin = ScenarioB;
    twin.replace("\"MACHINE2\"", "\"MACHINE1\", \"prices\": [120], \"counts\": [500], \"salesTotal\": 11000");
    QTest::newRow("another identification")
        << ScenarioB << QStringList{QStringLiteral("「MACHINE1」"), QStringLiteral("「MACHINE2」")} << false;
    QTest::newRow("the same texts, figures that do not go on")
        << twin << QStringList{QStringLiteral("販売枚数と総売上が前のQUVOから続いていません")} << false;
    QTest::newRow("the same controller back") << withFaults(ScenarioA, "") << QStringList() << true;
}

void TestWriteRoundTrip::cableMovedToAnotherController()
{
    QFETCH(QByteArray, second);
    QFETCH(QStringList, told);
    QFETCH(bool, sameVisit);
    // Controller A vanishes at the first poll; B appears under the same number.
    EmulatorRig rig;
    QTemporaryDir dir;
    Journal journal;
    QVERIFY(journal.open(dir.filePath(QStringLiteral("journal.sqlite"))));
    QVERIFY(rig.start(withFaults(ScenarioA, R"([{"command": "QVY", "fault": "vanish"}])")));
    rig.form->setJournal(&journal);
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->identity().identificationText(), QStringLiteral("MACHINE1"));
    auto *status = rig.child<QLineEdit>("ComStatus");
    QTRY_COMPARE(status->text(), QStringLiteral("COM%1接続断").arg(EmulatorCom));
    QVERIFY(rig.form->deviceLost());
    QVERIFY(!rig.child<QPushButton>("SendSalesBtn")->isEnabled());
    // The values stay in view; none of them may be written anywhere.
    QCOMPARE(rig.child<QLineEdit>("xxxxxxxx")->text(), QStringLiteral("MACHINE1"));
    QVERIFY(!rig.form->origins().known(ValueOrigins::Option1));

    // A's link is taken away first: its pseudo-terminal's name may already
    // belong to another one on a busy machine.
    rig.sandbox.unpublish(EmulatorCom);
    EmulatorProcess b(QStringLiteral(QUVO_EMULATOR), rig.sandbox.runtimeDir());
    if (!told.isEmpty())
        rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    QVERIFY(b.startAt(EmulatorCom, second, EmulatorProcess::fastLine()));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("COM%1接続中").arg(EmulatorCom), 10000);
    QVERIFY(b.commands().mid(0, 3) == QStringList({"QV", "QVV", "QVQ"}));
    // One box names both controllers, or what tells them apart.
    if (told.isEmpty()) {
        QTRY_VERIFY(rig.form->Connected == 1 && !rig.form->deviceLost());
        QCOMPARE(rig.answerer().seen.size(), 0);
    } else {
        QTRY_COMPARE(rig.answerer().seen.size(), 1);
        const ModalAnswerer::Seen seen = rig.answerer().seen.first();
        QCOMPARE(seen.caption, QStringLiteral("Information"));
        for (const QString &t : told)
            QVERIFY2(seen.text.contains(t), qPrintable(seen.text));
    }
    // The connection's reading goes on in A's visit only when it is A.
    QList<JournalEvent> readings = journal.events(nullptr);
    readings.removeIf([](const JournalEvent &e) {
        return e.kind != JournalKind::Reading || !e.summary.startsWith(QStringLiteral("読み取り"));
    });
    QCOMPARE(readings.size(), 2);
    QCOMPARE(readings[1].visit == readings[0].visit, sameVisit);
    if (sameVisit)
        return;

    // An unedited write sends B its own settings, never A's.
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"));
    rig.child<QPushButton>("SendSalesBtn")->click();
    QStringList settings = b.commands();
    settings.removeIf([](const QString &c) { return !c.startsWith(QLatin1String("QVSO")); });
    QCOMPARE(settings, QStringList({"QVSO1=00", "QVSO3=00", "QVSO2=00", "QVSO4=00", "QVSO5=00", "QVSO6=00",
                                    QStringLiteral("QVSON=%1").arg(rig.child<QLineEdit>("xxxxxxxx")->text()),
                                    "QVSOA=11BBB", "QVSOB=11BBBB", "QVSOC=11BBBBB"}));
    QCOMPARE(rig.answerer().unexpected, 0);
}

void TestWriteRoundTrip::proofFollowsItsController()
{
    // A write that A does not fully take, then a connection to B elsewhere:
    // B hears nothing of A's write.
    EmulatorRig rig;
    QVERIFY(rig.start(withFaults(ScenarioA, R"([{"command": "QVSO3*", "fault": "error", "number": 2}])")));
    rig.form->ConBtnClick();
    rig.child<QComboBox>("Opt3Sel")->setCurrentIndex(0);
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"));
    rig.child<QPushButton>("SendSalesBtn")->click();
    QCOMPARE(rig.form->Connected, 0);
    rig.emulator.stop();

    EmulatorProcess b(QStringLiteral(QUVO_EMULATOR), rig.sandbox.runtimeDir());
    QVERIFY(b.startAt(EmulatorCom - 1, ScenarioB, EmulatorProcess::fastLine()));
    rig.answerer().seen.clear();
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QCOMPARE(rig.form->identity().portNumber, EmulatorCom - 1);
    QCOMPARE(captionsAndTexts(rig.answerer().seen), QStringList());
}

void TestWriteRoundTrip::deadLine()
{
    // Answers the probe and the version, then nothing more.
    EmulatorRig rig;
    rig.realLine = true;
    QVERIFY(rig.start(withFaults(ScenarioA, R"([{"command": "*", "fault": "silence", "skip": 2, "times": "always"}])")));
    auto *sales = rig.child<StringGrid>("SalesGrid");
    sales->setCell(2, 1, QStringLiteral("1234"));
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    QElapsedTimer clicked;
    clicked.start();
    rig.form->ConBtnClick();
    qInfo("the dead line was told %lld ms after the click", clicked.elapsed());

    // One read and the probe after it tell: nothing further is sent, nothing written.
    QCOMPARE(rig.commands(), QStringList({"QV", "QVV", "QVQ", "QV"}));
    QCOMPARE(captionsAndTexts(rig.answerer().seen), QStringList{"Error|" + noAnswerBox(EmulatorCom)});
    QCOMPARE(rig.form->Connected, 0);
    QCOMPARE(sales->cells(2, 1), QStringLiteral("1234"));
}

void TestWriteRoundTrip::operationOnAVanishedDevice_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("vanishAt");
    QTest::addColumn<QString>("interrupted");   // the box after the return names it; empty: no return
    QTest::newRow("price setting") << "price" << QByteArray("QVU1") << QString();
    QTest::newRow("counter clear") << "clear" << QByteArray("QVU1") << QString();
    // The same controller back under the same number: write mode is closed
    // before it is read, and the operator told which write was cut short.
    QTest::newRow("price setting, back") << "price" << QByteArray("QVSP*")
                                         << QStringLiteral("前回のコラム1の価格の書き込み (9.5)が途中で終わり");
    QTest::newRow("counter clear, back") << "clear" << QByteArray("QVZ0")
                                         << QStringLiteral("前回のカウンタクリアが途中で終わり");
    QTest::newRow("options write, back") << "options" << QByteArray("QVSO2*")
                                         << QStringLiteral("前回の設定値の書き込みが途中で終わり");
}

void TestWriteRoundTrip::operationOnAVanishedDevice()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, vanishAt);
    QFETCH(QString, interrupted);
    EmulatorRig rig;
    const QByteArray reappear = interrupted.isEmpty() ? QByteArray() : QByteArray(R"(, "reappearMs": 1500)");
    QVERIFY(rig.startConnected(
        withFaults(ScenarioA, R"([{"command": ")" + vanishAt + R"(", "fault": "vanish")" + reappear + "}]")));
    QStringList shown;
    for (const char *g : {"SalesGrid", "OptGrid1", "OptGrid2", "TotalGrid1"})
        shown << gridTexts(rig.child<StringGrid>(g));
    const QString line1 = rig.child<QLineEdit>("Edit1")->text();
    rig.answerer().actions << ModalAnswerer::enter(QStringLiteral("9.5")) << ModalAnswerer::click(QStringLiteral("OK"));

    if (operation == QLatin1String("price"))
        rig.clickCell("OptGrid1", 1, 0);
    else if (operation == QLatin1String("clear"))
        rig.child<QPushButton>("CntClrBtn")->click();
    else
        rig.child<QPushButton>("SendSalesBtn")->click();

    // The grids show what the controller last reported: not the entry, not 0000.
    QStringList after;
    for (const char *g : {"SalesGrid", "OptGrid1", "OptGrid2", "TotalGrid1"})
        after << gridTexts(rig.child<StringGrid>(g));
    QCOMPARE(after, shown);
    QCOMPARE(rig.child<QLineEdit>("Edit1")->text(), line1);
    // The write may have opened write mode: the box says it may be open.
    QCOMPARE(captionsAndTexts(rig.answerer().seen.mid(1, 1)),
             QStringList{"Error|" + noAnswerBox(EmulatorCom)
                         + QStringLiteral("\nQUVOが書き込みモードのままになっている可能性があります.\n"
                                          "次の書き込みかQUVOの再起動で書き込みモードは終了します.")});
    QCOMPARE(rig.child<QLineEdit>("ComStatus")->text(), QStringLiteral("COM%1接続断").arg(EmulatorCom));
    if (interrupted.isEmpty())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(rig.form->Connected == 1 && !rig.form->deviceLost(), 15000);
    const QStringList sent = rig.commands();
    QVERIFY2(writeModeLeft(sent), qPrintable(sent.join(u' ')));
    // Closed before anything of the controller is read again, once its
    // texts and its counts and total show the machine written to.
    const qsizetype closed = sent.lastIndexOf(QStringLiteral("QVU0"));
    QStringList closing{"QVV", "QVRON"};
    for (const char c : QByteArray("0123456789ABCDEF"))
        closing << QStringLiteral("QVRC") + QLatin1Char(c);
    closing << "QVREA" << "QVU0" << "QVQ";
    QCOMPARE(sent.mid(closed - 19, 21), closing);
    const QString told = rig.answerer().seen.last().text;
    QVERIFY2(told.startsWith(interrupted), qPrintable(told));
    QVERIFY(!rig.form->writeModeLeftOpen());
}

void TestWriteRoundTrip::noWrongWrite_data()
{
    // Scenario A's faults; what the technician does once the window has
    // settled ("options": an unedited 確定・送信, "price N": an unedited OK
    // on column N+1, "price N=V": V entered there, "clear"); whether the
    // cable moves (SIGUSR1) while the first box of the step is open; the
    // option 1 item to wait for before the step (-1: none); the window's
    // end ("A", "B": connected to it and polling, "back": 接続断 and then
    // connected again, "off": disconnected by a restart); a box that must
    // have been shown ("no answer", "another", "unread", "" for none); and
    // every write command the emulator logged. An unedited write may only
    // carry what the controller it reaches reported.
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("moveDuringBox");
    QTest::addColumn<int>("waitOption1");
    QTest::addColumn<bool>("realLine");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QStringList>("written");

    const QByteArray b = R"({"options": [0, 0, 0, 0, 0, 0], "id": "MACHINE2", "prices": [7],
        "receipt": [{"x": 1, "y": 1, "text": "BBB"}, {"x": 1, "y": 1, "text": "BBBB"}, {"x": 1, "y": 1, "text": "BBBBB"}]})";
    QByteArray bWithAsText = b;
    bWithAsText.replace("MACHINE2", "MACHINE1");
    const auto swap = [](const char *trigger, int silenceMs, const QByteArray &next) {
        return QByteArray(R"([{"command": ")") + trigger + R"(", "fault": "swap", "skip": 2, "delayMs": )"
            + QByteArray::number(silenceMs) + R"(, "scenario": )" + next + "}]";
    };
    const QStringList bSettings{"QVSO1=00", "QVSO3=00", "QVSO2=00", "QVSO4=00", "QVSO5=00", "QVSO6=00",
                                "QVSON=MACHINE2", "QVSOA=11BBB", "QVSOB=11BBBB", "QVSOC=11BBBBB"};
    QStringList bSettingsWithAsText = bSettings;
    bSettingsWithAsText[6] = "QVSON=MACHINE1";
    const QStringList options{"options"};

    QTest::newRow("cable moved, 3 s silent") << swap("QVY", 3000, b) << options << false << 0 << false
                                             << "off" << "another" << bSettings;
    QTest::newRow("cable moved, 0.3 s silent") << swap("QVY", 300, b) << options << false << 0 << false
                                               << "off" << "another" << bSettings;
    // Two machines may carry one text: B is read in full all the same.
    QTest::newRow("cable moved to a machine with A's text")
        << swap("QVY", 300, bWithAsText) << options << false << 0 << false << "off" << "" << bSettingsWithAsText;

    // A price no reply vouched for is never offered: the dialog reads it afresh.
    const QList<QPair<const char *, QByteArray>> priceFaults{
        {"QVRP2 ERR12", R"({"fault": "error", "number": 12})"},
        {"QVRP2 RBUSY", R"({"fault": "rbusy"})"},
        {"QVRP2 BBUSY", R"({"fault": "bbusy"})"},
        {"QVRP2 EBUSY", R"({"fault": "ebusy"})"},
        {"QVRP2 unknown status", R"({"fault": "garble"})"},
        {"QVRP2 cut after 8 bytes", R"({"fault": "truncate", "keep": 8})"},
        {"QVRP2 late by 1 s", R"({"fault": "late", "delayMs": 1000})"},
    };
    for (const auto &f : priceFaults) {
        QByteArray rule = f.second;
        rule.insert(1, R"("command": "QVRP2", )");
        QTest::newRow(f.first) << "[" + rule + "]" << QStringList{"price 2"} << false << -1 << false << "A" << ""
                               << QStringList{"QVSP2=012C"};
    }
    // A refused read-back leaves the column unread; its next edit reads it first.
    QTest::newRow("read-back of QVRP3 refused")
        << QByteArray(R"([{"command": "QVRP3", "fault": "error", "number": 12, "skip": 1}])")
        << QStringList{"price 0=9.5", "price 3"} << false << -1 << false << "A" << ""
        << QStringList{"QVSP0=005F", "QVSP3=0190"};
    // Bytes that are not code page 932 are no setting the controller holds.
    QTest::newRow("invalid text in line 2 and the identification")
        << QByteArray(R"([{"command": "QVROB", "fault": "invalid-text"}, {"command": "QVRON", "fault": "invalid-text"}])")
        << options << false << -1 << false << "A" << "unread" << QStringList();
    // A dead line after an operation is told as a lost device (the probe
    // after the silent "QVU1" gets nothing either); write mode is closed
    // once the controller answers again.
    const QByteArray deadAtQvu1 = R"([{"command": "QVU1", "fault": "silence"},
                                      {"command": "QV", "fault": "silence", "skip": 1}])";
    QTest::newRow("dead line at a price write")
        << deadAtQvu1 << QStringList{"price 0=9.5"} << false << -1 << false << "back" << "no answer" << QStringList();
    QTest::newRow("dead line at a clear")
        << deadAtQvu1 << QStringList{"clear"} << false << -1 << false << "back" << "no answer" << QStringList();
    // One lost reply while the controller answers: no dead line, write mode
    // left at once, and the controller checked again.
    QTest::newRow("QVU1's reply lost at a price write")
        << QByteArray(R"([{"command": "QVU1", "fault": "silence"}])") << QStringList{"price 0=9.5"} << false << -1
        << false << "A" << "no answer" << QStringList();
    // Taken, only late: the read-back says so.
    QTest::newRow("QVSP answered 1.5 s late")
        << QByteArray(R"([{"command": "QVSP*", "fault": "late", "delayMs": 1500}])") << QStringList{"price 0=9.9"}
        << false << -1 << true << "A" << "" << QStringList{"QVSP0=0063"};
    QTest::newRow("vanish during the connection's read")
        << QByteArray(R"([{"command": "QVRC3", "fault": "vanish", "reappearMs": 300}])") << QStringList()
        << false << -1 << false << "back" << "no answer" << QStringList();
    QTest::newRow("vanish during the options write")
        << QByteArray(R"([{"command": "QVSO2*", "fault": "vanish", "reappearMs": 300}])") << options << false << -1
        << false << "back" << "no answer" << QStringList{"QVSO1=02", "QVSO3=03", "QVSO2=01"};
    // A copy an adapter held back must not become column 7's price.
    QTest::newRow("reply copied 12 ms later, next reply 40 ms late")
        << QByteArray(R"([{"command": "QVRP5", "fault": "twice", "delayMs": 12}, {"command": "QVRP6", "fault": "late", "delayMs": 40}])")
        << QStringList{"price 6"} << false << -1 << true << "A" << "" << QStringList{"QVSP6=0001"};
    // The cable moves while the operator reads a box.
    const QByteArray onSignal = swap("SIGUSR1", 0, b).replace(R"("skip": 2, )", "");
    QTest::newRow("moved under the options box") << onSignal << options << true << -1 << false << "B" << "another"
                                                 << QStringList();
    QTest::newRow("moved under the clear box") << onSignal << QStringList{"clear"} << true << -1 << false << "B"
                                               << "another" << QStringList();
    QTest::newRow("moved under the value dialog") << onSignal << QStringList{"price 2=50"} << true << -1 << false
                                                  << "B" << "another" << QStringList();
    // One lost reply is no dead line.
    QTest::newRow("QVREC unanswered at the connection") << QByteArray(R"([{"command": "QVREC", "fault": "silence"}])")
                                                        << QStringList() << false << -1 << false << "A" << ""
                                                        << QStringList();
    QTest::newRow("QVV unanswered at the connection") << QByteArray(R"([{"command": "QVV", "fault": "silence"}])")
                                                      << QStringList() << false << -1 << false << "A" << ""
                                                      << QStringList();
}

void TestWriteRoundTrip::noWrongWrite()
{
    QFETCH(QByteArray, faults);
    QFETCH(QStringList, steps);
    QFETCH(bool, moveDuringBox);
    QFETCH(int, waitOption1);
    QFETCH(bool, realLine);
    QFETCH(QString, end);
    QFETCH(QString, told);
    QFETCH(QStringList, written);

    EmulatorRig rig;
    rig.realLine = realLine;
    QVERIFY(rig.start(withFaults(ScenarioA, faults)));
    // Every box and the value dialog are answered with OK, unedited.
    ModalAnswerer &answerer = rig.answerer();
    answerer.setAlways(ModalAnswerer::press(QMessageBox::Ok));
    auto *status = rig.child<QLineEdit>("ComStatus");
    const QString lost = QStringLiteral("COM%1接続断").arg(EmulatorCom);
    bool sawLost = false;
    QObject::connect(status, &QLineEdit::textChanged, [&](const QString &t) { sawLost = sawLost || t == lost; });
    rig.form->ConBtnClick();
    const auto settled = [&] { return rig.form->Connected == 1 && !rig.form->deviceLost(); };
    if (!steps.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 15000);
    if (waitOption1 >= 0)
        QTRY_COMPARE_WITH_TIMEOUT(rig.child<QComboBox>("Opt1Sel")->currentIndex(), waitOption1, 15000);

    for (const QString &step : steps) {
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 15000);
        if (moveDuringBox) {
            answerer.actions << [&rig](QWidget *box) {
                rig.emulator.signal(SIGUSR1);
                const auto swapped = [&rig] {
                    QFile f(rig.emulator.logPath());
                    return f.open(QIODevice::ReadOnly) && f.readAll().contains("swap");
                };
                QTRY_VERIFY(swapped());
                ModalAnswerer::press(QMessageBox::Ok)(box);
            };
        }
        if (step == QLatin1String("options")) {
            rig.child<QPushButton>("SendSalesBtn")->click();
        } else if (step == QLatin1String("clear")) {
            rig.child<QPushButton>("CntClrBtn")->click();
        } else {
            const QStringList parts = step.mid(6).split(u'=');
            if (parts.size() == 2 && !moveDuringBox)
                answerer.actions << ModalAnswerer::enter(parts[1]);
            rig.clickCell("OptGrid1", 1, parts[0].toInt());
        }
    }

    const auto identity = [&] { return rig.form->identity().identificationText(); };
    if (end == QLatin1String("off")) {
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->Connected, 0, 15000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(settled() && rig.commands().contains(QStringLiteral("QVY")), 15000);
        if (told == QLatin1String("unread"))
            QVERIFY(!rig.form->identity().identificationRead);
        else
            QCOMPARE(identity(), end == QLatin1String("B") ? QStringLiteral("MACHINE2") : QStringLiteral("MACHINE1"));
        QCOMPARE(status->text(), QStringLiteral("COM%1接続中").arg(EmulatorCom));
        QVERIFY2(sawLost == (end == QLatin1String("back")), qPrintable(rig.commands().join(' ')));
    }

    QStringList boxes;
    for (const ModalAnswerer::Seen &seen : answerer.seen)
        boxes << seen.caption + u'|' + seen.text;
    const QString all = boxes.join(u'\n');
    if (told == QLatin1String("no answer"))
        QVERIFY2(all.contains(QStringLiteral("応答がありません")), qPrintable(all));
    else if (told == QLatin1String("another"))
        QVERIFY2(all.contains(QStringLiteral("「MACHINE1」")) && all.contains(QStringLiteral("「MACHINE2」")), qPrintable(all));
    else if (told == QLatin1String("unread"))
        QVERIFY2(all.contains(QStringLiteral("読み込めていない")), qPrintable(all));
    else
        QVERIFY2(!all.contains(QStringLiteral("Error|")), qPrintable(all));
    QCOMPARE(answerer.stuck, 0);

    QVERIFY2(writeModeLeft(rig.commands()), qPrintable(rig.commands().join(u' ')));
    QStringList writes = rig.commands();
    writes.removeIf([](const QString &c) {
        return !(c.startsWith(QLatin1String("QVSO")) || c.startsWith(QLatin1String("QVSP")) || c == QLatin1String("QVZ0"));
    });
    QCOMPARE(writes, written);
}

QTEST_MAIN(TestWriteRoundTrip)
#include "tst_write_round_trip.moc"
