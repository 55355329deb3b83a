// The controller model without a wire: reply formats and lengths, write
// mode, store and restart, counter clear, reconciliation, input signals,
// the sales simulation and injected faults, on a clock the test turns.
#include "emulator/ControllerModel.h"
#include "emulator/EmulatorSession.h"
#include "emulator/Scenario.h"
#include "link/ShiftJis.h"

#include <QtTest>

namespace {

// "領 収 書" in code page 932, restated here on purpose.
const QByteArray Ryoshusho("\x97\xCC\x20\x8E\xFB\x20\x8F\x91", 8);

ControllerState fixture()
{
    ControllerState s;
    s.versionText = "QUVO ver2.05";
    s.statusFlags = 0x01;
    s.prices[2] = 125;
    s.prices[4] = 150;
    s.prices[10] = 999;
    s.counts[0] = 7;
    s.counts[15] = 65535;
    s.salesTotal = 123456;
    s.earnValueC = 0x1234;
    s.coinReplyValue = 0xBEEF;
    s.settings.options = {2, 1, 3, 0, 1, 0};
    s.settings.receipt[0] = ReceiptLine{2, 1, Ryoshusho};
    s.settings.receipt[1] = ReceiptLine{4, 4, "ABC"};
    s.settings.receipt[2] = ReceiptLine{1, 3, QByteArray()};
    s.settings.idText = "ST-01";
    s.settings.tubeStandard = {20, 20, 20, 20, 100, 50, 50, 10};
    s.tubeCurrent = {25, 20, 10, 0, 90, 50, 60, 10};
    s.reconciliationCounter = 0x000F;
    s.refundTotal = 5000;
    return s;
}

struct Rig {
    qint64 now = 0;
    ControllerModel model;
    explicit Rig(const ControllerState &s = fixture())
        : model(s, [this] { return now; }) {}
    QByteArray send(const QByteArray &c) { return model.handleCommand(c); }
};

QByteArray ok(const QByteArray &payload) { return "OK   :" + payload + "\r"; }

} // namespace

class TestEmulatorModel : public QObject {
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void replyLengths_data();
    void replyLengths();
    void writesNeedWriteMode_data();
    void writesNeedWriteMode();
    void badParameters_data();
    void badParameters();
    void storeAndRestart_data();
    void storeAndRestart();
    void busyWhileRestarting_data();
    void busyWhileRestarting();
    void pricesTakeEffectAtOnce();
    void counterClear();
    void reconciliationReport_data();
    void reconciliationReport();
    void reconciliationSequence();
    void reconciliationRefusals_data();
    void reconciliationRefusals();
    void inputSignals_data();
    void inputSignals();
    void firmwareVersion_data();
    void firmwareVersion();
    void salesSimulation_data();
    void salesSimulation();
    void noSalesWhileRestarting();
    void faults_data();
    void faults();
    void faultedCommandsCarriedOut_data();
    void faultedCommandsCarriedOut();
    void faultTiming_data();
    void faultTiming();
    void invalidTextIsInvalid();
};

void TestEmulatorModel::reads_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("probe") << QByteArray("QV") << ok("");
    QTest::newRow("version") << QByteArray("QVV") << ok("QUVO ver2.05");
    QTest::newRow("status flags") << QByteArray("QVQ") << ok("01");
    QTest::newRow("price 3 = 125") << QByteArray("QVRP2") << ok("007D");
    QTest::newRow("price 5 = 150") << QByteArray("QVRP4") << ok("0096");
    QTest::newRow("price 11 by letter A") << QByteArray("QVRPA") << ok("03E7");
    QTest::newRow("price never set") << QByteArray("QVRPF") << ok("0000");
    QTest::newRow("count 1 = 7") << QByteArray("QVRC0") << ok("0007");
    QTest::newRow("count 16 = FFFF") << QByteArray("QVRCF") << ok("FFFF");
    QTest::newRow("option 1") << QByteArray("QVRO1") << ok("02");
    QTest::newRow("option 3") << QByteArray("QVRO3") << ok("03");
    QTest::newRow("option 6") << QByteArray("QVRO6") << ok("00");
    QTest::newRow("receipt A: X, Y, code page 932 text") << QByteArray("QVROA") << ok("21" + Ryoshusho);
    QTest::newRow("receipt B") << QByteArray("QVROB") << ok("44ABC");
    QTest::newRow("receipt C, empty text") << QByteArray("QVROC") << ok("13");
    QTest::newRow("identification") << QByteArray("QVRON") << ok("ST-01");
    QTest::newRow("total 123456") << QByteArray("QVREA") << ok("0001E240");
    QTest::newRow("QVREC") << QByteArray("QVREC") << ok("1234");
    QTest::newRow("QVC, 19 characters") << QByteArray("QVC") << ok("BEEF000000000000000");
    QTest::newRow("poll") << QByteArray("QVY") << ok("01");
    QTest::newRow("lower-case index refused") << QByteArray("QVRPa") << QByteArray("ERR02:0000\r");
    QTest::newRow("index beyond F refused") << QByteArray("QVRCG") << QByteArray("ERR02:0000\r");
    QTest::newRow("option 7 unknown") << QByteArray("QVRO7") << QByteArray("ERR03:\r");
    QTest::newRow("unknown command") << QByteArray("QVZZ") << QByteArray("ERR03:\r");
    QTest::newRow("not a QV command") << QByteArray("AT") << QByteArray("ERR03:\r");
}

void TestEmulatorModel::reads()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    Rig rig;
    QCOMPARE(rig.send(command), reply);
}

void TestEmulatorModel::replyLengths_data()
{
    // Every command the utility sends, with the payload length it reads.
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("expected");
    const QByteArray v2 = "QUVO ver2.05";
    const QByteArray v1 = "QUVO ver1.95";
    const QList<QPair<QByteArray, int>> fixed = {
        {"QV", 0}, {"QVQ", 2}, {"QVRP0", 4}, {"QVRP9", 4}, {"QVRPF", 4}, {"QVRC0", 4}, {"QVRCA", 4},
        {"QVRO1", 2}, {"QVRO6", 2}, {"QVREA", 8}, {"QVREC", 4}, {"QVC", 19}, {"QVY", 2},
        {"QVU1", 2}, {"QVU0", 2}, {"QVSO1=01", 2}, {"QVSO3=03", 2}, {"QVSO6=01", 2},
        {"QVSON=ABCDEFGH", 10}, {"QVSON=", 10}, {"QVSOA=22" + Ryoshusho, 40}, {"QVSOC=13", 40},
        {"QVW", 3}, {"QVF", 3}, {"QVSP2=007D", 4}, {"QVSP9=03E7", 4}, {"QVZ0", 3},
        {"QVSM1=14", 2}, {"QVSM4=63", 2}, {"QVSM5=0096", 4}, {"QVSM8=270F", 4},
        {"QVX00000000000000000000", 6}, {"QVX*******************1", 6},
    };
    for (const auto &[command, expected] : fixed)
        QTest::newRow(command.constData()) << v2 << command << expected;
    QTest::newRow("QVER on 2.05") << v2 << QByteArray("QVER") << 54;
    QTest::newRow("QVER on 2.00") << QByteArray("ver2.00") << QByteArray("QVER") << 54;
    QTest::newRow("QVER on 1.95") << v1 << QByteArray("QVER") << 45;
    QTest::newRow("QVEJ") << v2 << QByteArray("QVEJ") << 45;
    QTest::newRow("QVEQ") << v2 << QByteArray("QVEQ") << 45;
}

void TestEmulatorModel::replyLengths()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, command);
    QFETCH(int, expected);
    ControllerState s = fixture();
    s.versionText = version;
    {
        // In write mode (and reconciling, for QVEJ): the normal reply.
        Rig rig(s);
        rig.send("QVU1");
        if (command == "QVEJ")
            rig.send("QVER");
        const QByteArray reply = rig.send(command);
        QCOMPARE(reply.size(), expected + 7);
        QVERIFY2(reply.startsWith("OK   :"), reply.constData());
        QVERIFY(reply.endsWith('\r'));
        QCOMPARE(reply.count('\r'), 1);
    }
    {
        // Refused or not, the length is the same, so the utility never waits it out.
        Rig rig(s);
        const QByteArray reply = rig.send(command);
        QCOMPARE(reply.size(), expected + 7);
    }
}

void TestEmulatorModel::writesNeedWriteMode_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("check");        // read afterwards
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("afterInWriteMode");
    QTest::newRow("price") << QByteArray("QVSP0=0010") << QByteArray("QVRP0") << ok("0000") << ok("0010");
    QTest::newRow("counter clear") << QByteArray("QVZ0") << QByteArray("QVRC0") << ok("0007") << ok("0000");
    QTest::newRow("option (pending, then stored and restarted)") << QByteArray("QVSO2=00") << QByteArray("QVRO2") << ok("01") << ok("00");
    QTest::newRow("identification") << QByteArray("QVSON=NEW") << QByteArray("QVRON") << ok("ST-01") << ok("NEW");
    QTest::newRow("receipt line") << QByteArray("QVSOB=12XY") << QByteArray("QVROB") << ok("44ABC") << ok("12XY");
}

void TestEmulatorModel::writesNeedWriteMode()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, check);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, afterInWriteMode);
    Rig rig;
    const QByteArray refused = rig.send(command);
    QVERIFY2(refused.startsWith("ERR05:"), refused.constData());
    rig.send("QVW");
    rig.send("QVF");
    rig.now += 5000;
    QCOMPARE(rig.send(check), before);

    QCOMPARE(rig.send("QVU1"), ok("01"));
    QVERIFY(rig.send(command).startsWith("OK   :"));
    QCOMPARE(rig.send("QVW"), ok("000"));
    QCOMPARE(rig.send("QVU0"), ok("00"));
    // Leaving write mode closes it again.
    QVERIFY(rig.send(command).startsWith("ERR05:"));
    rig.send("QVF");
    rig.now += 5000;
    QCOMPARE(rig.send(check), afterInWriteMode);
}

void TestEmulatorModel::badParameters_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("price above 999") << QByteArray("QVSP0=03E8") << QByteArray("ERR02:0000\r");
    QTest::newRow("price not hexadecimal") << QByteArray("QVSP0=00G0") << QByteArray("ERR02:0000\r");
    QTest::newRow("price without value") << QByteArray("QVSP0=") << QByteArray("ERR02:0000\r");
    QTest::newRow("price without =") << QByteArray("QVSP0007D") << QByteArray("ERR02:0000\r");
    QTest::newRow("option 1 has three items") << QByteArray("QVSO1=03") << QByteArray("ERR02:00\r");
    QTest::newRow("option 2 has two items") << QByteArray("QVSO2=02") << QByteArray("ERR02:00\r");
    QTest::newRow("option without selection (-1)") << QByteArray("QVSO4=FFFFFFFF") << QByteArray("ERR02:00\r");
    QTest::newRow("magnification 5") << QByteArray("QVSOA=51X") << QByteArray("ERR02:" + QByteArray(40, '0') + "\r");
    QTest::newRow("magnification not a digit") << QByteArray("QVSOB=1aX") << QByteArray("ERR02:" + QByteArray(40, '0') + "\r");
    QTest::newRow("one magnification only") << QByteArray("QVSOC=1") << QByteArray("ERR02:" + QByteArray(40, '0') + "\r");
    QTest::newRow("receipt text of 33 bytes") << QByteArray("QVSOA=11" + QByteArray(33, 'x')) << QByteArray("ERR02:" + QByteArray(40, '0') + "\r");
    QTest::newRow("identification of 11 bytes") << QByteArray("QVSON=" + QByteArray(11, 'x')) << QByteArray("ERR02:" + QByteArray(10, '0') + "\r");
    QTest::newRow("standard count 100 on tube 0") << QByteArray("QVSM1=64") << QByteArray("ERR02:00\r");
    QTest::newRow("standard count 10000 on tube 7") << QByteArray("QVSM8=2710") << QByteArray("ERR02:0000\r");
    QTest::newRow("tube 9") << QByteArray("QVSM9=00") << QByteArray("ERR02:00\r");
    QTest::newRow("signals too short") << QByteArray("QVX0000") << QByteArray("ERR02:000000\r");
    QTest::newRow("signal character x") << QByteArray("QVX0000000000000000000x") << QByteArray("ERR02:000000\r");
    QTest::newRow("unknown setting") << QByteArray("QVSOZ=1") << QByteArray("ERR03:\r");
}

void TestEmulatorModel::badParameters()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    Rig rig;
    rig.send("QVU1");
    const ControllerSettings pendingBefore = rig.model.pendingSettings();
    const auto pricesBefore = rig.model.state().prices;
    QCOMPARE(rig.send(command), reply);
    QVERIFY(rig.model.pendingSettings() == pendingBefore);
    QVERIFY(rig.model.state().prices == pricesBefore);
}

void TestEmulatorModel::storeAndRestart_data()
{
    QTest::addColumn<bool>("store");
    QTest::addColumn<QByteArray>("option1");
    QTest::addColumn<QByteArray>("lineC");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("standard5");
    QTest::newRow("stored by QVW") << true << ok("01") << ok("13" + Ryoshusho) << ok("NEWID") << QByteArray("0096");
    QTest::newRow("lost without QVW") << false << ok("02") << ok("13") << ok("ST-01") << QByteArray("0064");
}

void TestEmulatorModel::storeAndRestart()
{
    QFETCH(bool, store);
    QFETCH(QByteArray, option1);
    QFETCH(QByteArray, lineC);
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, standard5);
    Rig rig;
    rig.send("QVU1");
    QCOMPARE(rig.send("QVSO1=01"), ok("01"));
    QCOMPARE(rig.send("QVSOC=13" + Ryoshusho), ok(("13" + Ryoshusho).leftJustified(40, ' ')));
    QCOMPARE(rig.send("QVSON=NEWID"), ok("NEWID     "));
    QCOMPARE(rig.send("QVSM5=0096"), ok("0096"));
    if (store)
        rig.send("QVW");
    // Nothing written shows before the restart.
    QCOMPARE(rig.send("QVRO1"), ok("02"));
    QCOMPARE(rig.send("QVF"), ok("000"));
    rig.now += ControllerModel::DefaultRestartMs - 1;
    QCOMPARE(rig.send("QVRO1"), QByteArray("RBUSY:00\r"));
    rig.now += 1;
    QCOMPARE(rig.send("QVRO1"), option1);
    QCOMPARE(rig.send("QVROC"), lineC);
    QCOMPARE(rig.send("QVRON"), id);
    QCOMPARE(QByteArray::number(rig.model.state().settings.tubeStandard[4], 16).toUpper().rightJustified(4, '0'), standard5);
    // The restart ends write mode.
    QVERIFY(rig.send("QVSO1=00").startsWith("ERR05:"));
}

void TestEmulatorModel::busyWhileRestarting_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("probe") << QByteArray("QV") << QByteArray("RBUSY:\r");
    QTest::newRow("poll") << QByteArray("QVY") << QByteArray("RBUSY:00\r");
    QTest::newRow("second QVF") << QByteArray("QVF") << QByteArray("RBUSY:000\r");
    QTest::newRow("price read") << QByteArray("QVRP0") << QByteArray("RBUSY:0000\r");
    QTest::newRow("version, a text") << QByteArray("QVV") << QByteArray("RBUSY:\r");
    QTest::newRow("signals, not taken") << QByteArray("QVX11111111111111111111") << QByteArray("RBUSY:000000\r");
}

void TestEmulatorModel::busyWhileRestarting()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    Rig rig;
    rig.model.setRestartDurationMs(300);
    rig.send("QVF");
    rig.now += 299;
    QCOMPARE(rig.send(command), reply);
    QVERIFY(rig.model.resetting());
    QCOMPARE(rig.model.state().inputs[0], false);
    rig.now += 1;
    QCOMPARE(rig.send("QVY"), ok("01"));
}

void TestEmulatorModel::pricesTakeEffectAtOnce()
{
    Rig rig;
    rig.send("QVU1");
    QCOMPARE(rig.send("QVSP4=03DE"), ok("03DE"));
    QCOMPARE(rig.send("QVRP4"), ok("03DE"));
    rig.send("QVF");
    rig.now += 10000;
    QCOMPARE(rig.send("QVRP4"), ok("03DE"));
}

void TestEmulatorModel::counterClear()
{
    Rig rig;
    rig.send("QVU1");
    QCOMPARE(rig.send("QVZ0"), ok("000"));
    for (char c : QByteArray("0123456789ABCDEF"))
        QCOMPARE(rig.send(QByteArray("QVRC") + c), ok("0000"));
    QCOMPARE(rig.send("QVREA"), ok("00000000"));
    QCOMPARE(rig.send("QVRP2"), ok("007D"));
}

void TestEmulatorModel::reconciliationReport_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("report");
    // Counter 000F+1, total 123456, shortages of tubes 2, 3, 4 (10, 20, 10), refunds 5000.
    QTest::newRow("2.05: with refunds") << QByteArray("QUVO ver2.05")
        << QByteArray("0010,0001E240,00,00,0A,14,000A,0000,0000,0000,00001388");
    QTest::newRow("1.95: without") << QByteArray("QUVO ver1.95")
        << QByteArray("0010,0001E240,00,00,0A,14,000A,0000,0000,0000");
}

void TestEmulatorModel::reconciliationReport()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, report);
    ControllerState s = fixture();
    s.versionText = version;
    Rig rig(s);
    rig.send("QVU1");
    QCOMPARE(rig.send("QVER"), ok(report));
    // The surplus went out: tubes 0 and 6 are down to their standard counts.
    QCOMPARE(rig.model.state().tubeCurrent[0], 20);
    QCOMPARE(rig.model.state().tubeCurrent[6], 50);
    QCOMPARE(rig.model.state().tubeCurrent[2], 10);
}

void TestEmulatorModel::reconciliationSequence()
{
    Rig rig;
    rig.send("QVU1");
    QCOMPARE(rig.send("QVY"), ok("01"));
    rig.send("QVER");
    QCOMPARE(rig.send("QVY"), QByteArray("EBUSY:01\r"));
    // The live reads go on normally meanwhile.
    QCOMPARE(rig.send("QVRC0"), ok("0007"));
    QCOMPARE(rig.send("QVEJ"), ok("0010,0001E240,00,00,00,00,0000,0000,0000,0000"));
    QVERIFY(rig.model.state().tubeCurrent == rig.model.state().settings.tubeStandard);
    QCOMPARE(rig.send("QVY"), QByteArray("EBUSY:01\r"));
    QCOMPARE(rig.send("QVEQ"), ok("0010,0001E240,00,00,00,00,0000,0000,0000,0000"));
    QCOMPARE(rig.send("QVY"), ok("01"));
    QVERIFY(rig.send("QVEJ").startsWith("ERR07:"));
}

void TestEmulatorModel::reconciliationRefusals_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("writeMode");
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("outside write mode") << 0x01 << false << QByteArray("ERR05:");
    QTest::newRow("automatic change off") << 0x03 << true << QByteArray("ERR06:");
    QTest::newRow("allowed") << 0x01 << true << QByteArray("OK   :");
}

void TestEmulatorModel::reconciliationRefusals()
{
    QFETCH(int, flags);
    QFETCH(bool, writeMode);
    QFETCH(QByteArray, status);
    ControllerState s = fixture();
    s.statusFlags = flags;
    Rig rig(s);
    if (writeMode)
        rig.send("QVU1");
    const QByteArray reply = rig.send("QVER");
    QCOMPARE(reply.left(6), status);
    QCOMPARE(reply.size(), 54 + 7);
    QCOMPARE(rig.model.reconciling(), status == "OK   :");
    QCOMPARE(rig.model.state().tubeCurrent[0], status == "OK   :" ? 20 : 25);
}

void TestEmulatorModel::inputSignals_data()
{
    QTest::addColumn<QByteArrayList>("sequence");
    QTest::addColumn<QByteArray>("lastReply");
    const QByteArray stars(19, '*');
    QTest::newRow("all off") << QByteArrayList{"QVX" + QByteArray(20, '0')} << ok("000000");
    QTest::newRow("last position is signal 0") << QByteArrayList{"QVX" + stars + "1"} << ok("000001");
    QTest::newRow("first position is signal 19") << QByteArrayList{"QVX1" + stars} << ok("080000");
    QTest::newRow("stars keep the others") << QByteArrayList{"QVX1" + stars, "QVX" + stars + "1"} << ok("080001");
    QTest::newRow("on then off") << QByteArrayList{"QVX" + stars + "1", "QVX" + stars + "0"} << ok("000000");
    QTest::newRow("all on") << QByteArrayList{"QVX" + QByteArray(20, '1')} << ok("0FFFFF");
}

void TestEmulatorModel::inputSignals()
{
    QFETCH(QByteArrayList, sequence);
    QFETCH(QByteArray, lastReply);
    Rig rig;   // not in write mode: the signals are always taken
    QByteArray reply;
    for (const QByteArray &c : sequence)
        reply = rig.send(c);
    QCOMPARE(reply, lastReply);
}

void TestEmulatorModel::firmwareVersion_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("reportLength");
    QTest::newRow("ver2.05") << QByteArray("QUVO ver2.05") << 205 << 54;
    QTest::newRow("ver1.95") << QByteArray("QUVO ver1.95") << 195 << 45;
    QTest::newRow("ver2.00") << QByteArray("ver2.00") << 200 << 54;
    QTest::newRow("no ver: characters 3, 5, 6") << QByteArray("AB2C05") << 205 << 54;
    QTest::newRow("letters read as 0") << QByteArray("QUVO verX.YZ") << 0 << 45;
}

void TestEmulatorModel::firmwareVersion()
{
    QFETCH(QByteArray, text);
    QFETCH(int, version);
    QFETCH(int, reportLength);
    ControllerState s = fixture();
    s.versionText = text;
    Rig rig(s);
    QCOMPARE(rig.model.firmwareVersion(), version);
    QCOMPARE(rig.send("QVV"), ok(text));
    rig.send("QVU1");
    QCOMPARE(rig.send("QVER").size(), reportLength + 7);
}

void TestEmulatorModel::salesSimulation_data()
{
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("runMs");
    QTest::newRow("every 2-5 s for a minute") << 2000 << 5000 << 1u << 60000;
    QTest::newRow("every 100 ms for ten seconds") << 100 << 100 << 7u << 10000;
    QTest::newRow("another seed") << 1000 << 3000 << 12345u << 30000;
}

void TestEmulatorModel::salesSimulation()
{
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    QFETCH(unsigned, seed);
    QFETCH(int, runMs);
    Rig rig;
    const ControllerState before = rig.model.state();
    rig.model.setSalesSimulation(SalesSimulation{true, minMs, maxMs, seed});
    // Observed a little at a time, as the poll does.
    for (int t = 0; t < runMs; t += 500) {
        rig.now += 500;
        rig.send("QVY");
    }
    const ControllerState &after = rig.model.state();
    qint64 sold = 0;
    qint64 earned = 0;
    for (int i = 0; i < Controller::Columns; ++i) {
        const int delta = (after.counts[std::size_t(i)] - before.counts[std::size_t(i)] + 0x10000) & 0xFFFF;
        if (before.prices[std::size_t(i)] == 0)
            QCOMPARE(delta, 0);   // only priced columns sell
        sold += delta;
        // In tenths of a yen: columns 5-8 are priced in yen, the others in tenths.
        earned += qint64(delta) * before.prices[std::size_t(i)] * (i >= 4 && i <= 7 ? 10 : 1);
    }
    QCOMPARE(sold, qint64(rig.model.simulatedSales()));
    // The total is whole yen, the tenths carried until they make one.
    QCOMPARE(qint64(after.salesTotal) - qint64(before.salesTotal), earned / 10);
    QVERIFY2(sold >= runMs / maxMs - 1 && sold <= runMs / minMs,
             qPrintable(QStringLiteral("%1 sales in %2 ms").arg(sold).arg(runMs)));
    // The reads report the moved figures.
    QCOMPARE(rig.send("QVREA"), ok(QByteArray::number(after.salesTotal, 16).toUpper().rightJustified(8, '0')));
}

void TestEmulatorModel::noSalesWhileRestarting()
{
    Rig rig;
    rig.model.setSalesSimulation(SalesSimulation{true, 100, 100, 3});
    rig.model.setRestartDurationMs(2000);
    rig.send("QVF");
    const int salesAtRestart = rig.model.simulatedSales();
    rig.now += 1999;
    rig.model.advance();
    QCOMPARE(rig.model.simulatedSales(), salesAtRestart);
    rig.now += 301;
    rig.model.advance();
    QVERIFY(rig.model.simulatedSales() > salesAtRestart);
    QVERIFY(rig.model.simulatedSales() <= salesAtRestart + 4);
}

void TestEmulatorModel::faults_data()
{
    QTest::addColumn<QByteArray>("fault");      // one entry of "faults"
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    const QByteArray price = ok("007D");
    QTest::newRow("RBUSY once") << QByteArray(R"({"command":"QVQ","fault":"rbusy"})") << QByteArray("QVQ") << QByteArray("RBUSY:00\r") << ok("01");
    QTest::newRow("BBUSY always") << QByteArray(R"({"command":"QVQ","fault":"bbusy","times":"always"})") << QByteArray("QVQ") << QByteArray("BBUSY:00\r") << QByteArray("BBUSY:00\r");
    QTest::newRow("EBUSY twice") << QByteArray(R"({"command":"QVY","fault":"ebusy","times":2})") << QByteArray("QVY") << QByteArray("EBUSY:00\r") << QByteArray("EBUSY:00\r");
    QTest::newRow("ERR12") << QByteArray(R"({"command":"QVRP2","fault":"error","number":12})") << QByteArray("QVRP2") << QByteArray("ERR12:0000\r") << price;
    QTest::newRow("ERR99 on the probe") << QByteArray(R"({"command":"QV","fault":"error","number":99})") << QByteArray("QV") << QByteArray("ERR99:\r") << ok("");
    QTest::newRow("ERR with letters") << QByteArray(R"({"command":"QVRP2","fault":"error","number":"AB"})") << QByteArray("QVRP2") << QByteArray("ERRAB:0000\r") << price;
    QTest::newRow("silence") << QByteArray(R"({"command":"QVRP2","fault":"silence"})") << QByteArray("QVRP2") << QByteArray() << price;
    QTest::newRow("truncated to 8") << QByteArray(R"({"command":"QVRP2","fault":"truncate","keep":8})") << QByteArray("QVRP2") << QByteArray("OK   :00") << price;
    QTest::newRow("truncated by half") << QByteArray(R"({"command":"QVRP2","fault":"truncate"})") << QByteArray("QVRP2") << QByteArray("OK   ") << price;
    QTest::newRow("garbled status") << QByteArray(R"({"command":"QVRP2","fault":"garble"})") << QByteArray("QVRP2") << QByteArray("NG   :007D\r") << price;
    QTest::newRow("garbled, own text") << QByteArray(R"({"command":"QVRP2","fault":"garble","status":"ok   :"})") << QByteArray("QVRP2") << QByteArray("ok   :007D\r") << price;
    QTest::newRow("over-long") << QByteArray(R"({"command":"QVRP2","fault":"overlong"})") << QByteArray("QVRP2") << QByteArray("OK   :007DEXTRA1\r") << price;
    QTest::newRow("over-long, own bytes") << QByteArray(R"({"command":"QVRP2","fault":"overlong","text":"99"})") << QByteArray("QVRP2") << QByteArray("OK   :007D99\r") << price;
    QTest::newRow("LF for CR") << QByteArray(R"({"command":"QVRP2","fault":"lf"})") << QByteArray("QVRP2") << QByteArray("OK   :007D\n") << price;
    QTest::newRow("invalid text keeps the digits") << QByteArray(R"({"command":"QVROA","fault":"invalid-text","hex":"FF 81 20"})") << QByteArray("QVROA") << QByteArray("OK   :21\xFF\x81\x20\r") << ok("21" + Ryoshusho);
    QTest::newRow("invalid identification") << QByteArray(R"({"command":"QVRON","fault":"invalid-text","hex":"85"})") << QByteArray("QVRON") << QByteArray("OK   :\x85\r") << ok("ST-01");
    QTest::newRow("skip one, then fault") << QByteArray(R"({"command":"QVRP2","fault":"lf","skip":1})") << QByteArray("QVRP2") << price << QByteArray("OK   :007D\n");
    QTest::newRow("prefix pattern") << QByteArray(R"({"command":"QVRP*","fault":"garble","times":"always"})") << QByteArray("QVRP2") << QByteArray("NG   :007D\r") << QByteArray("NG   :007D\r");
    QTest::newRow("pattern not matching") << QByteArray(R"({"command":"QVRC*","fault":"garble","times":"always"})") << QByteArray("QVRP2") << price << price;
}

void TestEmulatorModel::faults()
{
    QFETCH(QByteArray, fault);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromJson(R"({"faults":[)" + fault + "]}", &sc, &error), qPrintable(error));
    Rig rig;
    EmulatorSession session(rig.model, sc.faults);
    QCOMPARE(session.respond(command).reply, first);
    QCOMPARE(session.respond(command).reply, second);
}

void TestEmulatorModel::faultedCommandsCarriedOut_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<bool>("carriedOut");
    QTest::newRow("busy") << QByteArray("rbusy") << false;
    QTest::newRow("ERR") << QByteArray("error\",\"number\":\"12") << false;
    QTest::newRow("silence") << QByteArray("silence") << false;
    QTest::newRow("vanish") << QByteArray("vanish") << false;
    QTest::newRow("truncated") << QByteArray("truncate") << true;
    QTest::newRow("garbled") << QByteArray("garble") << true;
    QTest::newRow("late") << QByteArray("late") << true;
    QTest::newRow("LF") << QByteArray("lf") << true;
    QTest::newRow("noise") << QByteArray("noise") << true;
}

void TestEmulatorModel::faultedCommandsCarriedOut()
{
    QFETCH(QByteArray, fault);
    QFETCH(bool, carriedOut);
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromJson(R"({"faults":[{"command":"QVSP0=0010","fault":")" + fault + R"("}]})", &sc, &error),
             qPrintable(error));
    Rig rig;
    EmulatorSession session(rig.model, sc.faults);
    session.respond("QVU1");
    session.respond("QVSP0=0010");
    QCOMPARE(session.respond("QVRP0").reply, carriedOut ? ok("0010") : ok("0000"));
}

void TestEmulatorModel::faultTiming_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QByteArray>("noise");
    QTest::addColumn<int>("noiseDelayMs");
    QTest::addColumn<bool>("vanish");
    QTest::addColumn<int>("reappearMs");
    QTest::newRow("late, past the 750 ms time-out") << QByteArray(R"("fault":"late")") << 1000 << QByteArray() << 0 << false << -1;
    QTest::newRow("late by 200 ms") << QByteArray(R"("fault":"late","delayMs":200)") << 200 << QByteArray() << 0 << false << -1;
    QTest::newRow("noise") << QByteArray(R"("fault":"noise")") << 0 << QByteArray("\x15NOISE") << 100 << false << -1;
    QTest::newRow("noise, own bytes") << QByteArray(R"("fault":"noise","hex":"4F4B0D","delayMs":5)") << 0 << QByteArray("OK\r") << 5 << false << -1;
    QTest::newRow("vanish for good") << QByteArray(R"("fault":"vanish")") << 0 << QByteArray() << 0 << true << -1;
    QTest::newRow("vanish and come back") << QByteArray(R"("fault":"vanish","reappearMs":300)") << 0 << QByteArray() << 0 << true << 300;
}

void TestEmulatorModel::faultTiming()
{
    QFETCH(QByteArray, fault);
    QFETCH(int, delayMs);
    QFETCH(QByteArray, noise);
    QFETCH(int, noiseDelayMs);
    QFETCH(bool, vanish);
    QFETCH(int, reappearMs);
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromJson(R"({"faults":[{"command":"QVQ",)" + fault + "}]}", &sc, &error), qPrintable(error));
    Rig rig;
    EmulatorSession session(rig.model, sc.faults);
    const Outcome o = session.respond("QVQ");
    QCOMPARE(o.delayMs, delayMs);
    QCOMPARE(o.noise, noise);
    if (!noise.isEmpty())
        QCOMPARE(o.noiseDelayMs, noiseDelayMs);
    QCOMPARE(o.vanish, vanish);
    QCOMPARE(o.reappearMs, reappearMs);
    QCOMPARE(o.reply, vanish ? QByteArray() : ok("01"));
}

void TestEmulatorModel::invalidTextIsInvalid()
{
    // The default bytes of the fault must really fail to decode.
    const QString decoded = ShiftJis::decode(Fault::defaultBytes(Fault::InvalidText));
    QVERIFY(decoded.count(QChar(QChar::ReplacementCharacter)) >= 3);
}

QTEST_GUILESS_MAIN(TestEmulatorModel)
#include "tst_emulator_model.moc"
