// The quvo-emulator program through a real pseudo-terminal, talked to by
// the utility's own link: published port, replies and faults as the link
// classifies them, pacing, log, restart, vanishing port, signals.
#include "emulator/PortPublisher.h"
#include "link/DeviceLink.h"
#include "link/PortNamespace.h"
#include "link/ShiftJis.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/Pty.h"

#include <QtTest>
#include <csignal>

namespace {

const QByteArray Ryoshusho("\x97\xCC\x20\x8E\xFB\x20\x8F\x91", 8);
constexpr int Com = 7;

// One emulator process in the test's sandbox.
struct Emulator : EmulatorProcess {
    explicit Emulator(const QTemporaryDir &dir) : EmulatorProcess(QStringLiteral(QUVO_EMULATOR), dir.path()) {}
};

QString linkPath(int com)
{
    return PortNamespace::portDirectory() + QStringLiteral("/COM%1").arg(com);
}

} // namespace

class TestEmulatorWire : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void transactions_data();
    void transactions();
    void lateReplyIsSwallowed();
    void replyTrailedOnTheLine_data();
    void replyTrailedOnTheLine();
    void noiseBetweenCommandsIsDiscarded();
    void invalidTextArrivesAsSent();
    void pacing_data();
    void pacing();
    void logRecordsCommands();
    void restartOverTheWire();
    void salesSimulationFromTheCommandLine();
    void linkWithdrawnOnSignal_data();
    void linkWithdrawnOnSignal();
    void publishedNumberIsNotTaken();
    void vanishingPort_data();
    void vanishingPort();
    void servesAnExistingDevice();

private:
    PortSandbox *sandbox_ = nullptr;
    QTemporaryDir dir_;
    Emulator *shared_ = nullptr;
    DeviceLink *link_ = nullptr;
};

void TestEmulatorWire::initTestCase()
{
    sandbox_ = new PortSandbox;
    QVERIFY(dir_.isValid());
    shared_ = new Emulator(dir_);
    QVERIFY(shared_->startAt(Com, R"({
        "statusFlags": 1,
        "prices": [0, 0, 125],
        "counts": [0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0, 0, 65535],
        "salesTotal": 123456,
        "receipt": [{"x": 2, "y": 1, "text": "領 収 書"}],
        "id": "ST-01",
        "faults": [
            {"command": "QVRC1", "fault": "lf", "times": "always"},
            {"command": "QVRC2", "fault": "overlong", "times": "always"},
            {"command": "QVRC3", "fault": "garble", "times": "always"},
            {"command": "QVRC4", "fault": "truncate", "keep": 8, "times": "always"},
            {"command": "QVRC5", "fault": "error", "number": 12, "times": "always"},
            {"command": "QVRC6", "fault": "error", "number": "AB", "times": "always"},
            {"command": "QVRC7", "fault": "bbusy", "times": "always"},
            {"command": "QVRC8", "fault": "silence", "times": "always"},
            {"command": "QVRC9", "fault": "late", "times": "always"},
            {"command": "QVRCA", "fault": "noise", "times": "always"},
            {"command": "QVRCB", "fault": "ebusy", "times": "always"},
            {"command": "QVRCC", "fault": "twice", "times": "always"},
            {"command": "QVRCD", "fault": "crlf", "times": "always"},
            {"command": "QVRON", "fault": "invalid-text", "hex": "41FF8120", "times": "always"}
        ]})"));
    link_ = new DeviceLink;
    link_->OpenPort(Com);
    QVERIFY(link_->portHandleValid());
    QVERIFY(link_->devicePath().startsWith(QStringLiteral("/dev/pts/")));
}

void TestEmulatorWire::cleanupTestCase()
{
    delete link_;
    delete shared_;
    delete sandbox_;
}

void TestEmulatorWire::init()
{
    // Whatever a fault left on the line (the rest of an over-long reply, a
    // late one) is discarded once the line has fallen quiet.
    link_->port().drain(50, 100, 3000);
}

void TestEmulatorWire::transactions_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("probe") << QByteArray("QV") << 0 << 0 << QByteArray();
    QTest::newRow("version, shorter than asked") << QByteArray("QVV") << 100 << 0 << QByteArray("QUVO ver2.05");
    QTest::newRow("status flags") << QByteArray("QVQ") << 2 << 0 << QByteArray("01");
    QTest::newRow("price") << QByteArray("QVRP2") << 4 << 0 << QByteArray("007D");
    QTest::newRow("count FFFF") << QByteArray("QVRCF") << 4 << 0 << QByteArray("FFFF");
    QTest::newRow("receipt line") << QByteArray("QVROA") << 40 << 0 << QByteArray("21" + Ryoshusho);
    QTest::newRow("total") << QByteArray("QVREA") << 8 << 0 << QByteArray("0001E240");
    QTest::newRow("QVC") << QByteArray("QVC") << 19 << 0 << QByteArray("0000000000000000000");
    QTest::newRow("write outside write mode") << QByteArray("QVSP0=0010") << 4 << 5 << QByteArray("0000");
    QTest::newRow("LF for CR") << QByteArray("QVRC1") << 4 << 0 << QByteArray("0002");
    QTest::newRow("over-long") << QByteArray("QVRC2") << 4 << 100 << QByteArray("OK   :0003E");
    QTest::newRow("garbled status") << QByteArray("QVRC3") << 4 << 100 << QByteArray("NG   :");
    QTest::newRow("truncated") << QByteArray("QVRC4") << 4 << 100 << QByteArray("OK   :00");
    QTest::newRow("ERR12") << QByteArray("QVRC5") << 4 << 12 << QByteArray("0000");
    QTest::newRow("ERR with letters") << QByteArray("QVRC6") << 4 << 100 << QByteArray();
    QTest::newRow("BBUSY") << QByteArray("QVRC7") << 4 << -1 << QByteArray("0000");
    QTest::newRow("EBUSY") << QByteArray("QVRCB") << 4 << -2 << QByteArray("0000");
    QTest::newRow("silence") << QByteArray("QVRC8") << 4 << 100 << QByteArray();
}

void TestEmulatorWire::transactions()
{
    QFETCH(QByteArray, command);
    QFETCH(int, expected);
    QFETCH(int, status);
    QFETCH(QByteArray, payload);
    const TransactResult r = link_->Transact(command, expected);
    QCOMPARE(r.status, status);
    if (status != 100 || !payload.isEmpty())
        QCOMPARE(r.payload, payload);
}

void TestEmulatorWire::lateReplyIsSwallowed()
{
    QElapsedTimer t;
    t.start();
    const TransactResult late = link_->Transact("QVRC9", 4);
    QCOMPARE(late.status, 100);
    QVERIFY(late.payload.isEmpty());
    QVERIFY(t.elapsed() >= 700);
    // The late reply is swallowed before the next command goes out.
    const TransactResult next = link_->Transact("QVQ", 2);
    QCOMPARE(next.status, 0);
    QCOMPARE(next.payload, QByteArray("01"));
}

void TestEmulatorWire::replyTrailedOnTheLine_data()
{
    // Bytes right behind a full-length reply: no later command takes them
    // for its own answer ("QVRCF" has the same length and another value).
    // Straggling on a busy machine, they may spoil the next reply; never
    // the one after.
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("sent twice") << QByteArray("QVRCC");
    QTest::newRow("CR LF") << QByteArray("QVRCD");
}

void TestEmulatorWire::replyTrailedOnTheLine()
{
    QFETCH(QByteArray, command);
    const TransactResult first = link_->Transact(command, 4);
    QCOMPARE(first.status, 0);
    QCOMPARE(first.payload, QByteArray("0000"));
    const TransactResult next = link_->Transact("QVRCF", 4);
    if (next.usable())
        QCOMPARE(next.payload, QByteArray("FFFF"));
    const TransactResult after = link_->Transact("QVRCF", 4);
    QVERIFY(after.usable());
    QCOMPARE(after.payload, QByteArray("FFFF"));
}

void TestEmulatorWire::noiseBetweenCommandsIsDiscarded()
{
    const TransactResult first = link_->Transact("QVRCA", 4);
    QCOMPARE(first.status, 0);
    QCOMPARE(first.payload, QByteArray("000B"));
    // The noise comes 100 ms after the reply and waits in the queue.
    QVERIFY(link_->port().read(6, 500, 0, 0).bytes.startsWith("\x15NOISE"));
    link_->Transact("QVRCA", 4);
    // What is tested is noise that arrived while no command was out: it comes
    // 100 ms after the reply, so the next command goes out well after that.
    QTest::qWait(300);
    const TransactResult next = link_->Transact("QVQ", 2);
    QCOMPARE(next.status, 0);
    QCOMPARE(next.payload, QByteArray("01"));
}

void TestEmulatorWire::invalidTextArrivesAsSent()
{
    const TransactResult r = link_->Transact("QVRON", 10);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.payload, QByteArray("A\xFF\x81\x20"));
    QVERIFY(ShiftJis::decode(r.payload).contains(QChar(QChar::ReplacementCharacter)));
}

void TestEmulatorWire::pacing_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("9600") << 9600;
    QTest::newRow("2400") << 2400;
}

void TestEmulatorWire::pacing()
{
    QFETCH(int, baud);
    Emulator e(dir_);
    QVERIFY(e.startAt(Com + 1, QByteArray(), {QStringLiteral("--baud"), QString::number(baud)}));
    DeviceLink link;
    link.OpenPort(Com + 1);
    QVERIFY(link.portHandleValid());
    QCOMPARE(link.Transact("QVU1", 2).status, 0);
    QElapsedTimer t;
    t.start();
    const TransactResult r = link.Transact("QVER", 54);
    const qint64 ms = t.elapsed();
    QCOMPARE(r.status, 0);
    QCOMPARE(r.payload.size(), 54);
    // 61 bytes of ten bits each cannot arrive sooner than the line allows.
    const double lineMs = 61 * 10 * 1000.0 / baud;
    qInfo("QVER reply, 61 bytes at %d baud: %lld ms (line time %.1f ms)", baud, ms, lineMs);
    QVERIFY2(ms >= qint64(lineMs * 0.9), qPrintable(QStringLiteral("%1 ms").arg(ms)));
}

void TestEmulatorWire::logRecordsCommands()
{
    Emulator e(dir_);
    QVERIFY(e.startAt(Com + 2, R"({"faults": [{"command": "QVQ", "fault": "lf"}, {"command": "QVY", "fault": "silence"}]})"));
    DeviceLink link;
    link.OpenPort(Com + 2);
    const QList<QPair<QByteArray, int>> sent = {
        {"QV", 0}, {"QVQ", 2}, {"QVU1", 2}, {"QVSOA=22" + Ryoshusho, 40}, {"QVX" + QByteArray(20, '0'), 6}, {"QVY", 2}};
    for (const auto &[c, expected] : sent)
        link.Transact(c, expected);
    QFile f(e.logPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Each command, the fault that fired on it, and what went back.
    const QStringList expected = {
        "> QV", "< OK   :\\x0d",
        "> QVQ", "! lf", "< OK   :00\\x0a",
        "> QVU1", "< OK   :01\\x0d",
        QStringLiteral("> QVSOA=22領 収 書"), QStringLiteral("< OK   :22領 収 書") + QString(30, QLatin1Char(' ')) + "\\x0d",
        "> QVX" + QString(20, QLatin1Char('0')), "< OK   :000000\\x0d",
        "> QVY", "! silence"};
    QCOMPARE(lines.size(), expected.size());
    const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\S* COM9 (.*)$)"));
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = form.match(lines.at(i));
        QVERIFY2(m.hasMatch(), qPrintable(lines.at(i)));
        QCOMPARE(m.captured(1), expected.at(i));
    }
}

void TestEmulatorWire::restartOverTheWire()
{
    Emulator e(dir_);
    QVERIFY(e.startAt(Com + 3, R"({"restartMs": 500, "options": [2]})"));
    DeviceLink link;
    link.OpenPort(Com + 3);
    QCOMPARE(link.Transact("QVU1", 2).status, 0);
    QCOMPARE(link.Transact("QVSO1=01", 2).status, 0);
    QCOMPARE(link.Transact("QVW", 3).status, 0);
    QCOMPARE(link.Transact("QVF", 3).status, 0);
    QCOMPARE(link.Transact("QVY", 2).status, 1);
    QTRY_COMPARE_WITH_TIMEOUT(link.Transact("QVY", 2).status, 0, 5000);
    const TransactResult r = link.Transact("QVRO1", 2);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.payload, QByteArray("01"));
}

void TestEmulatorWire::salesSimulationFromTheCommandLine()
{
    Emulator e(dir_);
    QVERIFY(e.startAt(Com + 4,
                      R"({"prices": [100], "simulateSales": {"enabled": false, "minIntervalMs": 200, "maxIntervalMs": 200}})",
                      {QStringLiteral("--simulate-sales")}));
    DeviceLink link;
    link.OpenPort(Com + 4);
    const int before = link.Transact("QVRC0", 4).payload.toInt(nullptr, 16);
    const auto sold = [&] { return link.Transact("QVRC0", 4).payload.toInt(nullptr, 16) - before; };
    QTRY_VERIFY_WITH_TIMEOUT(sold() >= 3, 5000);
    // Column 1 is the only one with a price, so the total follows its count:
    // read between two totals, the count's worth lies between them. Its
    // price is in tenths of a yen (10.0), the total in yen.
    const auto total = [&] { return link.Transact("QVREA", 8).payload.toLongLong(nullptr, 16); };
    const qint64 first = total();
    const qint64 worth = qint64(sold() + before) * 100 / 10;
    const qint64 second = total();
    QVERIFY2(first <= worth && worth <= second, qPrintable(QStringLiteral("%1 <= %2 <= %3").arg(first).arg(worth).arg(second)));
}

void TestEmulatorWire::linkWithdrawnOnSignal_data()
{
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestEmulatorWire::linkWithdrawnOnSignal()
{
    QFETCH(int, sig);
    const int com = Com + 5;
    const QString mask = PortPublisher::readLink(linkPath(com));
    QVERIFY(!mask.isEmpty());   // the sandbox masks it
    QVERIFY(PortNamespace::devicePath(com).isEmpty());
    Emulator e(dir_);
    QVERIFY(e.startAt(com, QByteArray()));
    const QString pts = PortNamespace::devicePath(com);
    QVERIFY2(pts.startsWith(QStringLiteral("/dev/pts/")), qPrintable(pts));
    e.process().waitForReadyRead(1000);
    const QString shown = QString::fromLocal8Bit(e.process().readAllStandardOutput());
    QVERIFY2(shown.startsWith(linkPath(com) + QStringLiteral(" -> /dev/pts/")), qPrintable(shown));
    e.signal(sig);
    QVERIFY(e.waitForExit());
    QCOMPARE(e.process().exitStatus(), QProcess::NormalExit);
    // The mask is back: the number does not fall through to a real device.
    QCOMPARE(PortPublisher::readLink(linkPath(com)), mask);
    QVERIFY(PortNamespace::devicePath(com).isEmpty());
}

void TestEmulatorWire::publishedNumberIsNotTaken()
{
    Emulator second(dir_);
    QVERIFY(!second.startAt(Com, QByteArray()));
    second.waitForExit();
    QCOMPARE(second.process().exitCode(), 2);
    QVERIFY(second.process().readAllStandardError().contains("already published"));
    // The first one still answers.
    QCOMPARE(link_->Transact("QV", 0).status, 0);
}

void TestEmulatorWire::vanishingPort_data()
{
    QTest::addColumn<int>("reappearMs");
    QTest::newRow("gone for good") << -1;
    QTest::newRow("back after 300 ms") << 300;
}

void TestEmulatorWire::vanishingPort()
{
    QFETCH(int, reappearMs);
    const int com = Com + 6;
    Emulator e(dir_);
    const QByteArray scenario = R"({"faults": [{"command": "QVREC", "fault": "vanish", "reappearMs": )"
        + QByteArray::number(reappearMs < 0 ? 0 : reappearMs) + "}]}";
    QVERIFY(e.startAt(com, reappearMs < 0 ? QByteArray(R"({"faults": [{"command": "QVREC", "fault": "vanish"}]})") : scenario));
    DeviceLink link;
    link.OpenPort(com);
    QCOMPARE(link.Transact("QV", 0).status, 0);
    const QString device = link.devicePath();
    QElapsedTimer t;
    t.start();
    const TransactResult gone = link.Transact("QVREC", 4);
    qInfo("transaction on the vanished port ended after %lld ms", t.elapsed());
    QCOMPARE(gone.status, 100);
    QVERIFY(gone.payload.isEmpty());
    t.restart();
    QCOMPARE(link.Transact("QV", 0).status, 100);
    QVERIFY2(t.elapsed() < 100, "no wait while the device is gone");
    if (reappearMs < 0) {
        // The number leads nowhere: not to the path of the closed
        // pseudo-terminal, which may soon be another program's terminal.
        QTRY_VERIFY_WITH_TIMEOUT(PortPublisher::readLink(linkPath(com)) != device, 5000);
        QVERIFY(PortNamespace::devicePath(com).isEmpty());
        QVERIFY(e.process().state() == QProcess::Running);
        return;
    }
    // Once the number is published anew, reopening it reaches the emulator.
    QTRY_VERIFY_WITH_TIMEOUT(!link.deviceGone() || link.reopenPort(), 5000);
    QCOMPARE(link.Transact("QV", 0).status, 0);
}

void TestEmulatorWire::servesAnExistingDevice()
{
    // A pseudo-terminal stands in for the serial device here.
    Pty pty;
    QVERIFY(pty.valid());
    Emulator e(dir_);
    QVERIFY(e.start(R"({"prices": [0, 0, 125]})", {QStringLiteral("--device"), pty.slavePath()}));
    pty.write("QVRP2\r");
    QCOMPARE(pty.readAvailable(2000, '\r'), QByteArray("OK   :007D\r"));
    pty.write("QV\r");
    QCOMPARE(pty.readAvailable(2000, '\r'), QByteArray("OK   :\r"));
}

QTEST_GUILESS_MAIN(TestEmulatorWire)
#include "tst_emulator_wire.moc"
