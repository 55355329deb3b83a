// The transaction over a real pseudo-terminal and over the in-process fake:
// stale bytes, over-long replies, silence, a vanished peer, the buffer guard,
// and the port namespace that turns COM numbers into devices.
#include "link/DeviceLink.h"
#include "link/PortNamespace.h"
#include "tests/support/FakePort.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/PtyResponder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

class TestDeviceLink : public QObject {
    Q_OBJECT
private slots:
    void builtInTable_data();
    void builtInTable();
    void namespaceLinks();
    void overLongReplyDoesNotShiftTheNext();
    void staleBytesDiscarded();
    void silentPeerTimesOut();
    void vanishedPeerEndsTheRead();
    void bufferGuard_data();
    void bufferGuard();
    void closedPortSendsNothing();
};

void TestDeviceLink::builtInTable_data()
{
    // Names only: the table is checked as text, never opened.
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << 1 << QStringLiteral("/dev/ttyS0");
    QTest::newRow("COM32") << 32 << QStringLiteral("/dev/ttyS31");
    QTest::newRow("COM33") << 33 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("COM64") << 64 << QStringLiteral("/dev/ttyUSB31");
    QTest::newRow("COM65") << 65 << QStringLiteral("/dev/ttyACM0");
    QTest::newRow("COM96") << 96 << QStringLiteral("/dev/ttyACM31");
    QTest::newRow("COM97") << 97 << QString();
    QTest::newRow("COM255") << 255 << QString();
    QTest::newRow("COM0") << 0 << QString();
}

void TestDeviceLink::builtInTable()
{
    QFETCH(int, port);
    QFETCH(QString, device);
    QCOMPARE(PortNamespace::builtInDevice(port), device);
}

void TestDeviceLink::namespaceLinks()
{
    PortSandbox sandbox;
    QCOMPARE(PortNamespace::portDirectory(), sandbox.portDir());
    Pty a, b;
    QVERIFY(a.valid() && b.valid());
    sandbox.publish(10, a.slavePath());
    sandbox.publish(200, b.slavePath());
    QCOMPARE(PortNamespace::devicePath(10), a.slavePath());
    QCOMPARE(PortNamespace::devicePath(200), b.slavePath());
    // The masks of the sandbox hide the machine's own ports.
    QCOMPARE(PortNamespace::devicePath(1), QString());
    QCOMPARE(PortNamespace::devicePath(40), QString());
    QCOMPARE(PortNamespace::devicePath(150), QString());
    // A link that leads nowhere hides its number.
    sandbox.publish(200, sandbox.runtimeDir() + QStringLiteral("/gone"));
    QCOMPARE(PortNamespace::devicePath(200), QString());

    // COM10 and above open the same way as the low numbers.
    DeviceLink link;
    link.OpenPort(10);
    QVERIFY(link.PortHandleValid());
    QCOMPARE(link.devicePath(), a.slavePath());
    link.ClosePort();
    QVERIFY(!link.PortHandleValid());
    link.OpenPort(200);
    QVERIFY(!link.PortHandleValid());
}

void TestDeviceLink::overLongReplyDoesNotShiftTheNext()
{
    PortSandbox sandbox;
    PtyResponder controller([](const QByteArray &cmd) -> QByteArray {
        if (cmd == "QVQ")
            return "OK   :0A123456789\r"; // far more than the two characters asked for
        if (cmd == "QVRP0")
            return "OK   :007D\r";
        return {};
    });
    sandbox.publish(5, controller.devicePath());
    DeviceLink link;
    link.OpenPort(5);
    QVERIFY(link.PortHandleValid());
    TransactResult r = link.Transact("QVQ", 2);
    QCOMPARE(r.status, 100);
    QCOMPARE(r.payload, QByteArray("OK   :0A1"));
    QTest::qWait(50); // the rest of the long reply arrives and waits in the queue
    r = link.Transact("QVRP0", 4);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.payload, QByteArray("007D"));
    QCOMPARE(controller.commands(), QByteArrayList({"QVQ", "QVRP0"}));
}

void TestDeviceLink::staleBytesDiscarded()
{
    auto state = std::make_shared<FakePort::State>();
    state->replies.insert("QVQ", FakePort::ok("02"));
    state->staleInput = "OK   :99\rgarbage";
    DeviceLink link(std::make_unique<FakePort>(state));
    state->open = true;
    const TransactResult r = link.Transact("QVQ", 2);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.payload, QByteArray("02"));
    QCOMPARE(state->clearCount, 1);
}

void TestDeviceLink::silentPeerTimesOut()
{
    PortSandbox sandbox;
    PtyResponder silent(PtyResponder::Always(QByteArray()));
    sandbox.publish(7, silent.devicePath());
    DeviceLink link;
    link.OpenPort(7);
    QVERIFY(link.PortHandleValid());
    QElapsedTimer t;
    t.start();
    const TransactResult r = link.Transact("QV", 0);
    QCOMPARE(r.status, 100);
    QVERIFY(r.payload.isEmpty());
    QVERIFY2(t.elapsed() >= 700, "the read waits for its whole time-out");
    QCOMPARE(silent.commands(), QByteArrayList({"QV"}));
}

void TestDeviceLink::vanishedPeerEndsTheRead()
{
    PortSandbox sandbox;
    auto pty = std::make_unique<Pty>();
    sandbox.publish(8, pty->slavePath());
    DeviceLink link;
    link.OpenPort(8);
    QVERIFY(link.PortHandleValid());
    pty->write("OK   :1");
    pty.reset(); // the other end disappears with a partial reply in flight
    const TransactResult r = link.Transact("QVQ", 2);
    QCOMPARE(r.status, 100);
    // A later transaction on the dead port still returns.
    QCOMPARE(link.Transact("QVY", 2).status, 100);
}

void TestDeviceLink::bufferGuard_data()
{
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("sent");
    QTest::newRow("100, the longest the utility asks") << 100 << true;
    QTest::newRow("248 fills the buffer with its zero byte") << 248 << true;
    QTest::newRow("249 would overrun") << 249 << false;
    QTest::newRow("negative") << -1 << false;
}

void TestDeviceLink::bufferGuard()
{
    QFETCH(int, expected);
    QFETCH(bool, sent);
    auto state = std::make_shared<FakePort::State>();
    state->open = true;
    state->fallback = [](const QByteArray &) { return FakePort::ok(); };
    DeviceLink link(std::make_unique<FakePort>(state));
    const TransactResult r = link.Transact("QVV", expected);
    QCOMPARE(state->commands.size(), sent ? 1 : 0);
    if (!sent)
        QCOMPARE(r.status, 100);
}

void TestDeviceLink::closedPortSendsNothing()
{
    auto state = std::make_shared<FakePort::State>();
    DeviceLink link(std::make_unique<FakePort>(state));
    QCOMPARE(link.Transact("QVY", 2).status, 100);
    QVERIFY(state->commands.isEmpty());
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
