// Scenario files: what a valid one puts into the controller, and which
// mistakes are refused with the key named.
#include "emulator/Scenario.h"

#include <QtTest>

class TestEmulatorScenario : public QObject {
    Q_OBJECT
private slots:
    void fullScenario();
    void emptyScenarioKeepsDefaults();
    void shippedScenariosLoad_data();
    void shippedScenariosLoad();
    void refused_data();
    void refused();
    void faultRules_data();
    void faultRules();
};

void TestEmulatorScenario::fullScenario()
{
    const QByteArray json = R"({
        "version": "QUVO ver1.95",
        "statusFlags": 3,
        "prices": [100, 120, 0, 999, 150],
        "counts": [1, 2, 65535],
        "salesTotal": 4294967295,
        "earnValueC": 4660,
        "coinReplyValue": 65535,
        "coinReplyTail": "ABCDEFGHIJKLMNO",
        "options": [2, 1, 3, 1, 1, 1],
        "receipt": [{"x": 2, "y": 2, "text": "領 収 書"}, {"x": 4}, {"text": "ＱＵＶＯ"}],
        "id": "ST-01",
        "tubes": {"standard": [20, 20, 20, 20, 100, 50, 50, 9999], "current": [1, 2, 3]},
        "inputs": [1, 0, true, false],
        "writeMode": true,
        "reconciliationCounter": 16,
        "refundTotal": 5000,
        "restartMs": 300,
        "simulateSales": {"minIntervalMs": 100, "maxIntervalMs": 200, "seed": 9},
        "faults": [{"command": "QVY", "fault": "rbusy", "times": "always"}]
    })";
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromJson(json, &sc, &error), qPrintable(error));
    const ControllerState &s = sc.state;
    QCOMPARE(s.versionText, QByteArray("QUVO ver1.95"));
    QCOMPARE(s.statusFlags, 3);
    QCOMPARE(s.prices[1], 120);
    QCOMPARE(s.prices[4], 150);
    QCOMPARE(s.prices[5], 0);
    QCOMPARE(s.counts[2], 65535);
    QCOMPARE(s.salesTotal, 0xFFFFFFFFu);
    QCOMPARE(s.earnValueC, 0x1234);
    QCOMPARE(s.coinReplyTail, QByteArray("ABCDEFGHIJKLMNO"));
    QCOMPARE(s.settings.options[2], 3);
    QCOMPARE(s.settings.receipt[0].text, QByteArray("\x97\xCC\x20\x8E\xFB\x20\x8F\x91", 8));
    QCOMPARE(s.settings.receipt[1].x, 4);
    QCOMPARE(s.settings.receipt[1].y, 1);
    QCOMPARE(s.settings.receipt[2].text, QByteArray("\x82\x70\x82\x74\x82\x75\x82\x6E"));
    QCOMPARE(s.settings.idText, QByteArray("ST-01"));
    QCOMPARE(s.settings.tubeStandard[7], 9999);
    QCOMPARE(s.tubeCurrent[2], 3);
    QCOMPARE(s.tubeCurrent[3], 0);
    QCOMPARE(s.inputs[0], true);
    QCOMPARE(s.inputs[1], false);
    QCOMPARE(s.inputs[2], true);
    QCOMPARE(s.writeMode, true);
    QCOMPARE(s.reconciliationCounter, 16);
    QCOMPARE(s.refundTotal, 5000u);
    QCOMPARE(sc.restartMs, 300);
    QVERIFY(sc.sales.enabled);
    QCOMPARE(sc.sales.minIntervalMs, 100);
    QCOMPARE(sc.sales.maxIntervalMs, 200);
    QCOMPARE(sc.sales.seed, 9u);
    QCOMPARE(sc.faults.size(), 1);
}

void TestEmulatorScenario::emptyScenarioKeepsDefaults()
{
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromJson("{}", &sc, &error), qPrintable(error));
    QCOMPARE(sc.state.versionText, QByteArray("QUVO ver2.05"));
    QCOMPARE(sc.restartMs, 2000);
    QVERIFY(!sc.sales.enabled);
    QVERIFY(sc.faults.isEmpty());
}

void TestEmulatorScenario::shippedScenariosLoad_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(QUVO_SOURCE_DIR "/emulator/scenarios"));
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

void TestEmulatorScenario::shippedScenariosLoad()
{
    QFETCH(QString, path);
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromFile(path, &sc, &error), qPrintable(error));
}

void TestEmulatorScenario::refused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("named");
    QTest::newRow("not JSON") << QByteArray("{") << QStringLiteral("not JSON");
    QTest::newRow("an array") << QByteArray("[]") << QStringLiteral("JSON object");
    QTest::newRow("misspelt key") << QByteArray(R"({"price": [1]})") << QStringLiteral("scenario.price");
    QTest::newRow("price above 999") << QByteArray(R"({"prices": [1000]})") << QStringLiteral("prices[0]");
    QTest::newRow("17 prices") << QByteArray(R"({"prices": [0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]})") << QStringLiteral("prices");
    QTest::newRow("price not whole") << QByteArray(R"({"prices": [1.5]})") << QStringLiteral("whole");
    QTest::newRow("count as text") << QByteArray(R"({"counts": ["1"]})") << QStringLiteral("counts[0]");
    QTest::newRow("option 1 beyond its items") << QByteArray(R"({"options": [3]})") << QStringLiteral("options[0]");
    QTest::newRow("magnification 5") << QByteArray(R"({"receipt": [{"x": 5}]})") << QStringLiteral("receipt[0].x");
    QTest::newRow("receipt text of 33 bytes") << QByteArray(R"({"receipt": [{}, {"text": "123456789012345678901234567890123"}]})") << QStringLiteral("receipt[1].text");
    QTest::newRow("17 full-width characters") << QByteArray(R"({"receipt": [{"text": "あいうえおかきくけこさしすせそたち"}]})") << QStringLiteral("32 bytes");
    QTest::newRow("not in code page 932") << QByteArray(R"({"id": "😀"})") << QStringLiteral("code page 932");
    QTest::newRow("id of 11 bytes") << QByteArray(R"({"id": "ABCDEFGHIJK"})") << QStringLiteral("id");
    QTest::newRow("version with a CR") << QByteArray(R"({"version": "ver\r2.05"})") << QStringLiteral("version");
    // A zero byte or a CR would end the controller's reply inside the text.
    QTest::newRow("id with a zero byte") << QByteArray(R"({"id": "\u0000"})") << QStringLiteral("id: must not hold control");
    QTest::newRow("receipt text with a CR") << QByteArray(R"({"receipt": [{"text": "A\rB"}]})") << QStringLiteral("receipt[0].text");
    QTest::newRow("version with a tab") << QByteArray(R"({"version": "ver\t2.05"})") << QStringLiteral("version");
    QTest::newRow("tail with a zero byte") << QByteArray(R"({"coinReplyTail": "00000000000000\u0000"})") << QStringLiteral("coinReplyTail");
    QTest::newRow("tail of 14") << QByteArray(R"({"coinReplyTail": "00000000000000"})") << QStringLiteral("coinReplyTail");
    QTest::newRow("standard 100 tubes key") << QByteArray(R"({"tubes": {"standards": []}})") << QStringLiteral("tubes.standards");
    QTest::newRow("intervals reversed") << QByteArray(R"({"simulateSales": {"minIntervalMs": 500, "maxIntervalMs": 100}})") << QStringLiteral("maxIntervalMs");
    QTest::newRow("unknown fault") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "explode"}]})") << QStringLiteral("faults[0].fault");
    QTest::newRow("fault without command") << QByteArray(R"({"faults": [{"fault": "silence"}]})") << QStringLiteral("faults[0].command");
    QTest::newRow("ERR number 100") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "error", "number": 100}]})") << QStringLiteral("faults[0].number");
    QTest::newRow("ERR of three letters") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "error", "number": "ABC"}]})") << QStringLiteral("faults[0].number");
    QTest::newRow("garble of five") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "garble", "status": "NG  :"}]})") << QStringLiteral("faults[0].status");
    QTest::newRow("odd hex") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "noise", "hex": "ABC"}]})") << QStringLiteral("faults[0].hex");
    QTest::newRow("times 0") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "lf", "times": 0}]})") << QStringLiteral("faults[0].times");
    // Beyond what a 64-bit integer holds: refused by name, never converted.
    QTest::newRow("total 1e300") << QByteArray(R"({"salesTotal": 1e300})") << QStringLiteral("salesTotal: must be from");
    QTest::newRow("delay 1.2e22") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "late", "delayMs": 1.2e22}]})") << QStringLiteral("faults[0].delayMs");
    QTest::newRow("price -1e300") << QByteArray(R"({"prices": [-1e300]})") << QStringLiteral("prices[0]");
    QTest::newRow("times sometimes") << QByteArray(R"({"faults": [{"command": "QVY", "fault": "lf", "times": "often"}]})") << QStringLiteral("faults[0].times");
}

void TestEmulatorScenario::refused()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, named);
    Scenario sc;
    sc.restartMs = 12345;   // untouched on failure
    QString error;
    QVERIFY(!Scenario::fromJson(json, &sc, &error));
    QVERIFY2(error.contains(named), qPrintable(error));
    QCOMPARE(sc.restartMs, 12345);
}

void TestEmulatorScenario::faultRules_data()
{
    QTest::addColumn<QByteArray>("rule");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QList<bool>>("faulted");
    QTest::newRow("once by default") << QByteArray(R"({"command":"QVY","fault":"lf"})")
        << QByteArrayList{"QVY", "QVY", "QVY"} << QList<bool>{true, false, false};
    QTest::newRow("always") << QByteArray(R"({"command":"QVY","fault":"lf","times":"always"})")
        << QByteArrayList{"QVY", "QVQ", "QVY"} << QList<bool>{true, false, true};
    QTest::newRow("skip two, then twice") << QByteArray(R"({"command":"QVY","fault":"lf","skip":2,"times":2})")
        << QByteArrayList{"QVY", "QVY", "QVY", "QVQ", "QVY", "QVY"} << QList<bool>{false, false, true, false, true, false};
    QTest::newRow("prefix") << QByteArray(R"({"command":"QVRC*","fault":"lf","times":"always"})")
        << QByteArrayList{"QVRC0", "QVRP0", "QVRCF", "QVR"} << QList<bool>{true, false, true, false};
    QTest::newRow("every command") << QByteArray(R"({"command":"*","fault":"lf","skip":1,"times":"always"})")
        << QByteArrayList{"QV", "QVV", "QVQ"} << QList<bool>{false, true, true};
    QTest::newRow("exact only") << QByteArray(R"({"command":"QVRC1","fault":"lf","times":"always"})")
        << QByteArrayList{"QVRC1", "QVRC10", "QVRC"} << QList<bool>{true, false, false};
    // Every kind the emulator's --help lists is one a scenario can name.
    for (const FaultKindName &kind : faultKindNames())
        QTest::newRow(kind.name) << QByteArray(R"({"command":"QVY","number":2,"scenario":{},"fault":")") + kind.name + "\"}"
            << QByteArrayList{"QVY", "QVY"} << QList<bool>{true, false};
}

void TestEmulatorScenario::faultRules()
{
    QFETCH(QByteArray, rule);
    QFETCH(QByteArrayList, commands);
    QFETCH(QList<bool>, faulted);
    Scenario sc;
    QString error;
    QVERIFY2(Scenario::fromJson(R"({"faults":[)" + rule + "]}", &sc, &error), qPrintable(error));
    for (int i = 0; i < commands.size(); ++i)
        QCOMPARE(sc.faults.take(commands.at(i)).has_value(), faulted.at(i));
}

QTEST_GUILESS_MAIN(TestEmulatorScenario)
#include "tst_emulator_scenario.moc"
