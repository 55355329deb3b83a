// The transaction over a real pseudo-terminal and over the in-process fake:
// where a reply ends on the line, what an unusable reply leaves behind,
// a vanished peer and its return, the buffer guard, and the port namespace
// that turns COM numbers into devices.
#include "link/DeviceLink.h"
#include "link/LinkTrace.h"
#include "link/PortNamespace.h"
#include "link/SerialPortIo.h"
#include "tests/support/FakePort.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/PtyResponder.h"
#include "tests/support/VirtualLine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class TestDeviceLink : public QObject {
    Q_OBJECT
private slots:
    void builtInTable_data();
    void builtInTable();
    void namespaceLinks();
    void unusableRuntimeDirectory();
    void portDirectoryMustBeTheUsers_data();
    void portDirectoryMustBeTheUsers();
    void openErrorReasons_data();
    void openErrorReasons();
    void deniedToAnotherUser();
    void onTheLine_data();
    void onTheLine();
    void onTheVirtualLine_data();
    void onTheVirtualLine();
    void checkpointOfAGroup_data();
    void checkpointOfAGroup();
    void vanishedPeerComesBack();
    void bufferGuard_data();
    void bufferGuard();
    void closedPortSendsNothing();
    void cancelWaitsForTheHold_data();
    void cancelWaitsForTheHold();
    void traceLine_data();
    void traceLine();
    void traceOnlyWhenSwitchedOn();
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
    // A link that leads nowhere hides its number, as does one to itself.
    sandbox.publish(200, sandbox.runtimeDir() + QStringLiteral("/gone"));
    QCOMPARE(PortNamespace::devicePath(200), QString());
    sandbox.publish(200, sandbox.portDir() + QStringLiteral("/COM200"));
    QCOMPARE(PortNamespace::devicePath(200), QString());

    // COM10 and above open the same way as the low numbers.
    DeviceLink link;
    link.OpenPort(10);
    QVERIFY(link.portHandleValid());
    QCOMPARE(link.devicePath(), a.slavePath());
    link.closePort();
    QVERIFY(!link.portHandleValid());
    link.OpenPort(200);
    QVERIFY(!link.portHandleValid());
}

void TestDeviceLink::unusableRuntimeDirectory()
{
    // A runtime directory whose name is not UTF-8 cannot be named back: the
    // port directory is reported as not counting, not taken for absent.
    PortSandbox sandbox;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(sandbox.runtimeDir()) + "/r\xFFt");
    const PortNamespace::DirectoryCheck check = PortNamespace::checkPortDirectory();
    const QString problem = PortNamespace::directoryProblem(check);
    qputenv("XDG_RUNTIME_DIR", saved);
    QCOMPARE(int(check.verdict), int(PortNamespace::DirectoryCheck::UnreadableName));
    QVERIFY2(problem.contains(QStringLiteral("XDG_RUNTIME_DIR")), qPrintable(problem));
}

void TestDeviceLink::portDirectoryMustBeTheUsers_data()
{
    using D = PortNamespace::DirectoryCheck;
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<bool>("linkInstead"); // a symbolic link to a directory of the user's
    QTest::addColumn<int>("verdict");
    QTest::newRow("the user's, 0700") << 0700 << false << false << int(D::Usable);
    QTest::newRow("the user's, 0755") << 0755 << false << false << int(D::Usable);
    QTest::newRow("0777") << 0777 << false << false << int(D::OpenToOthers);
    QTest::newRow("group may write") << 0770 << false << false << int(D::OpenToOthers);
    QTest::newRow("another user's") << 0700 << true << false << int(D::OtherOwner);
    QTest::newRow("a link in its place") << 0700 << false << true << int(D::NotADirectory);
}

void TestDeviceLink::portDirectoryMustBeTheUsers()
{
    QFETCH(int, mode);
    QFETCH(bool, otherOwner);
    QFETCH(bool, linkInstead);
    QFETCH(int, verdict);
    PortSandbox sandbox;
    Pty controller;
    sandbox.publish(200, controller.slavePath());
    const QByteArray dir = QFile::encodeName(sandbox.portDir());
    QCOMPARE(::chmod(dir.constData(), mode_t(mode)), 0);
    if (linkInstead) {
        QVERIFY(QFile::rename(sandbox.portDir(), sandbox.runtimeDir() + QStringLiteral("/elsewhere")));
        QVERIFY(QFile::link(sandbox.runtimeDir() + QStringLiteral("/elsewhere"), sandbox.portDir()));
    }
    struct RestoreOwner {
        ~RestoreOwner() { PortNamespace::setExpectedOwnerForTesting(-1); }
    } restore;
    if (otherOwner) {
        // Root gives the directory away; anyone else has the check expect another user.
        if (geteuid() == 0)
            QCOMPARE(::lchown(dir.constData(), 65534, 65534), 0);
        else
            PortNamespace::setExpectedOwnerForTesting(long(getuid()) + 1);
    }

    const PortNamespace::DirectoryCheck check = PortNamespace::checkPortDirectory();
    QCOMPARE(int(check.verdict), verdict);
    QCOMPARE(check.path, sandbox.portDir());
    const bool used = verdict == PortNamespace::DirectoryCheck::Usable;
    QCOMPARE(PortNamespace::directoryProblem(check).isEmpty(), used);
    // Names only: where COM numbers lead, never opened. Ignored, the directory
    // neither publishes COM200 nor masks COM1 and COM33.
    QCOMPARE(PortNamespace::devicePath(200), used ? controller.slavePath() : QString());
    for (int n : {1, 33}) {
        const QFileInfo builtIn(PortNamespace::builtInDevice(n));
        QCOMPARE(PortNamespace::devicePath(n), used || !builtIn.exists() ? QString() : builtIn.canonicalFilePath());
    }
}

void TestDeviceLink::openErrorReasons_data()
{
    // QSerialPort says PermissionError for a denied access, a busy device and
    // a held lock alike; root, running these tests, is never denied.
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("mayReadWrite");
    QTest::addColumn<int>("reason");
    QTest::newRow("denied") << int(QSerialPort::PermissionError) << false << int(PortOpenError::PermissionDenied);
    QTest::newRow("busy or locked") << int(QSerialPort::PermissionError) << true << int(PortOpenError::InUse);
    QTest::newRow("vanished meanwhile") << int(QSerialPort::DeviceNotFoundError) << true << int(PortOpenError::None);
    QTest::newRow("no hardware behind it") << int(QSerialPort::ResourceError) << true << int(PortOpenError::Other);
}

void TestDeviceLink::openErrorReasons()
{
    QFETCH(int, error);
    QFETCH(bool, mayReadWrite);
    QFETCH(int, reason);
    const PortOpenError e = SerialPortIo::classifyOpenError(QSerialPort::SerialPortError(error),
                                                            QStringLiteral("system text"), mayReadWrite);
    QCOMPARE(int(e.reason), reason);
    if (e.reason != PortOpenError::None)
        QCOMPARE(e.systemText, QStringLiteral("system text"));
}

void TestDeviceLink::deniedToAnotherUser()
{
    // A pseudo-terminal only root may open, tried by an unprivileged user in
    // a child process: the real open and its reason, not the fake's.
    if (geteuid() != 0)
        QSKIP("needs root to try the device as another user; the fake port covers the reason");
    Pty pty;
    QVERIFY(pty.valid());
    const QByteArray path = QFile::encodeName(pty.slavePath());
    QCOMPARE(::chown(path.constData(), 0, 0), 0);
    QCOMPARE(::chmod(path.constData(), 0600), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        SerialPortIo io;
        const bool opened = io.open(pty.slavePath());
        ::_exit(opened ? 98 : int(io.openError().reason));
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), int(PortOpenError::PermissionDenied));
}

using Pieces = QList<PtyResponder::Piece>;
Q_DECLARE_METATYPE(Pieces)
Q_DECLARE_METATYPE(QList<Pieces>)

void TestDeviceLink::onTheLine_data()
{
    // The reply to the first command arrives in these pieces, each after its
    // pause; "QVQ" right after must get its own reply whatever came before,
    // except where a piece comes after the frame looked complete: it may
    // spoil that one "QVQ" (`spoils`), never a later one.
    QTest::addColumn<int>("expected");
    QTest::addColumn<Pieces>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("waitsTimeout");
    QTest::addColumn<int>("spoils");

    // Where a reply ends.
    QTest::newRow("full length ends at once") << 2 << Pieces{{0, "OK   :0A\r"}} << 0 << QByteArray("0A") << false << 0;
    QTest::newRow("shorter than asked, ends at its CR")
        << 100 << Pieces{{0, "OK   :QUVO ver1.23\r"}} << 0 << QByteArray("QUVO ver1.23") << false << 0;
    QTest::newRow("inner CR in one burst")
        << 40 << Pieces{{0, "OK   :22AB\rCD\r"}} << 0 << QByteArray("22AB\rCD") << false << 0;
    QTest::newRow("CR, then more after a pause: the rest is discarded")
        << 40 << Pieces{{0, "OK   :22AB\r"}, {150, "CD\r"}} << 0 << QByteArray("22AB") << false << 1;
    QTest::newRow("LF at full length") << 2 << Pieces{{0, "OK   :12\n"}} << 0 << QByteArray("12") << false << 0;
    QTest::newRow("LF short of the length") << 4 << Pieces{{0, "OK   :12\n"}} << 0 << QByteArray("12") << true << 0;
    QTest::newRow("CR missing") << 4 << Pieces{{0, "OK   :1234"}} << 100 << QByteArray("OK   :1234") << true << 0;
    QTest::newRow("six bytes") << 2 << Pieces{{0, "OK   :"}} << 100 << QByteArray("OK   :") << true << 0;
    QTest::newRow("CR inside the status field") << 2 << Pieces{{0, "OK\r"}} << 100 << QByteArray("OK\r") << true << 0;
    QTest::newRow("silent") << 0 << Pieces{} << 100 << QByteArray() << true << 0;

    // What an unusable reply leaves on the line.
    QTest::newRow("late by 1.0 s") << 4 << Pieces{{1000, "OK   :007D\r"}} << 100 << QByteArray() << true << 0;
    QTest::newRow("late, 450 ms after the time-out")
        << 4 << Pieces{{1200, "OK   :007D\r"}} << 100 << QByteArray() << true << 0;
    QTest::newRow("cut short, the rest late")
        << 4 << Pieces{{0, "OK   :00"}, {900, "7D\r"}} << 100 << QByteArray("OK   :00") << true << 0;
    QTest::newRow("over-long") << 2 << Pieces{{0, "OK   :0A123456789\r"}} << 100 << QByteArray("OK   :0A1")
                               << false << 0;
    QTest::newRow("over-long, its tail trickling")
        << 2 << Pieces{{0, "OK   :0A12"}, {10, "3456"}, {10, "789\r"}} << 100 << QByteArray("OK   :0A1") << false << 0;
    QTest::newRow("garbled, its tail trickling")
        << 2 << Pieces{{0, "NG   :0A"}, {10, "0B\r"}} << 100 << QByteArray("NG   :") << false << 0;
    QTest::newRow("noise still arriving after a reply")
        << 2 << Pieces{{0, "OK   :0A\r\x15N"}, {15, "OIS"}, {15, "E!"}} << 0 << QByteArray("0A") << false << 0;
}

void TestDeviceLink::onTheLine()
{
    QFETCH(int, expected);
    QFETCH(Pieces, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, payload);
    QFETCH(bool, waitsTimeout);
    QFETCH(int, spoils);
    PortSandbox sandbox;
    PtyResponder controller([reply](const QByteArray &cmd) {
        return cmd == "QVQ" ? Pieces{{0, "OK   :01\r"}} : reply;
    });
    sandbox.publish(5, controller.devicePath());
    DeviceLink link;
    link.OpenPort(5);
    QVERIFY(link.portHandleValid());
    QElapsedTimer t;
    t.start();
    const TransactResult r = link.Transact("QVRX", expected);
    const qint64 took = t.elapsed();
    QCOMPARE(r.status, status);
    QCOMPARE(r.payload, payload);
    if (waitsTimeout)
        QVERIFY2(took >= 700, "without a CR after the status field the read waits its time-out");
    else
        QVERIFY2(took < DeviceLink::ReadTimeoutMs, "a complete frame ends the read");
    for (int i = 0; i < spoils; ++i)
        link.Transact("QVQ", 2);
    TransactResult next = link.Transact("QVQ", 2);
    // A piece that a busy machine held back past the quiet gap came after the
    // frame looked complete: like a scripted pause that long, it may spoil
    // this "QVQ", never a later one. (The responder has written the whole
    // first reply by the time it answered this one.)
    if (next.status != 0 && spoils == 0 && controller.longestGapMs() >= DeviceLink::QuietGapMs) {
        qInfo("a pause within the reply stretched to %d ms", controller.longestGapMs());
        spoils = 1;
        next = link.Transact("QVQ", 2);
    }
    QCOMPARE(next.status, 0);
    QCOMPARE(next.payload, QByteArray("01"));
    QCOMPARE(controller.commands().size(), 2 + spoils);
}

void TestDeviceLink::onTheVirtualLine_data()
{
    // The same on a line with exact timing (bytes 1.04 ms apart after each
    // piece's pause): whether the first reply is whole, and whether the
    // "QVQ" after it gets its own (`nextSpoiled`: it must then be unusable,
    // never a wrong value); the second "QVQ" always does.
    QTest::addColumn<int>("expected");
    QTest::addColumn<Pieces>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("nextSpoiled");
    // The first reply left a gap (the controller may have changed), and the
    // checkpoint after both voids what they read (a byte nobody waited for).
    QTest::addColumn<bool>("gap");
    QTest::addColumn<bool>("voided");
    QTest::newRow("full length, quiet behind it") << 2 << Pieces{{0, "OK   :0A\r"}} << 0 << QByteArray("0A") << true << false
                                                  << false << false;
    QTest::newRow("sent twice, the copy right behind")
        << 4 << Pieces{{0, "OK   :03DE\r"}, {0, "OK   :03DE\r"}} << 0 << QByteArray("03DE") << false << false << true << true;
    QTest::newRow("sent twice, the copy 3 ms behind")
        << 4 << Pieces{{0, "OK   :03DE\r"}, {3, "OK   :03DE\r"}} << 0 << QByteArray("03DE") << false << false << true << true;
    // An adapter may hold bytes back up to 16 ms: past the frame's 5 ms
    // confirmation, so only the checkpoint catches them.
    QTest::newRow("sent twice, the copy 12 ms behind")
        << 4 << Pieces{{0, "OK   :03DE\r"}, {12, "OK   :03DE\r"}} << 0 << QByteArray("03DE") << true << true << false << true;
    QTest::newRow("an LF 6 ms after the CR")
        << 2 << Pieces{{0, "OK   :0A\r"}, {6, "\n"}} << 0 << QByteArray("0A") << true << true << false << true;
    QTest::newRow("CR LF") << 2 << Pieces{{0, "OK   :0A\r\n"}} << 0 << QByteArray("0A") << false << false << true << true;
    QTest::newRow("shorter than asked, quiet behind it")
        << 40 << Pieces{{0, "OK   :11AB\r"}} << 0 << QByteArray("11AB") << true << false << false << false;
    Pieces trickle{{0, "OK   :11\r"}};
    for (int i = 0; i < 45; ++i)
        trickle.append({20, "A"});
    trickle.append({0, "\r"});
    QTest::newRow("cut by the deadline after a CR inside")
        << 40 << trickle << 0 << QByteArray("11") << false << false << true << true;
    QTest::newRow("late beyond the listening, the next reply behind it")
        << 2 << Pieces{{1400, "OK   :0A\r"}} << 100 << QByteArray() << false << true << true << true;
}

void TestDeviceLink::onTheVirtualLine()
{
    QFETCH(int, expected);
    QFETCH(Pieces, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, payload);
    QFETCH(bool, complete);
    QFETCH(bool, nextSpoiled);
    QFETCH(bool, gap);
    QFETCH(bool, voided);
    auto port = std::make_unique<VirtualLine>([reply](VirtualLine &line, const QByteArray &command, qint64 atUs) {
        if (command == "QVQ\r") {
            line.send("OK   :01\r", atUs, 1);
            return;
        }
        qint64 at = atUs;
        for (const PtyResponder::Piece &piece : reply) {
            line.send(piece.bytes, std::max(at, line.queuedUntilUs()) + piece.pauseMs * 1000, 0);
            at = line.queuedUntilUs();
        }
    });
    DeviceLink link(std::move(port));
    const TransactResult r = link.Transact("QVRX", expected);
    QCOMPARE(r.status, status);
    QCOMPARE(r.payload, payload);
    QCOMPARE(r.complete, complete);
    QCOMPARE(link.generation() != 0, gap);
    const TransactResult next = link.Transact("QVQ", 2);
    QCOMPARE(next.usable(), !nextSpoiled);
    if (next.usable())
        QCOMPARE(next.payload, QByteArray("01"));
    QCOMPARE(!link.checkpoint(), voided);
    const TransactResult after = link.Transact("QVQ", 2);
    QVERIFY(after.usable());
    QCOMPARE(after.payload, QByteArray("01"));
}

void TestDeviceLink::checkpointOfAGroup_data()
{
    // A group of reads "QVRP0", "QVRP1", ... (four payload characters each)
    // on a line with exact timing: each command's reply pieces, the first
    // after its arrival, each later one after the piece before; the time the
    // caller spends before each command; and whether the checkpoint behind
    // the group finds it clean. Whenever a value may have been taken from
    // another command's reply, it must not.
    QTest::addColumn<QList<Pieces>>("replies");
    QTest::addColumn<QList<int>>("idleMs");
    QTest::addColumn<bool>("clean");
    const QByteArray noise11("\x15\x85\x15\x15\x85\x15\x15\x85\x15\x15\x85");
    QTest::newRow("every reply its own")
        << QList<Pieces>{{{0, "OK   :0064\r"}}, {{0, "OK   :0065\r"}}, {{0, "OK   :0066\r"}}} << QList<int>() << true;
    // One lost reply and a refused one are answers of the controller, not strays.
    QTest::newRow("a lost reply") << QList<Pieces>{{{0, "OK   :0064\r"}}, {}, {{0, "OK   :0066\r"}}} << QList<int>()
                                  << true;
    QTest::newRow("an ERR reply") << QList<Pieces>{{{0, "OK   :0064\r"}}, {{0, "ERR12:\r"}}, {{0, "OK   :0066\r"}}}
                                  << QList<int>() << true;
    QTest::newRow("a late reply owed") << QList<Pieces>{{{0, "OK   :0064\r"}}, {{900, "OK   :0065\r"}}, {{0, "OK   :0066\r"}}}
                                       << QList<int>() << true;
    // Noise fills the first read; its reply comes 700 ms late and is taken
    // whole by the second command, which never answers itself.
    QTest::newRow("noise fills a read, its reply taken by the next")
        << QList<Pieces>{{{0, noise11}, {700, "OK   :0064\r"}}, {}} << QList<int>() << false;
    // The first reply's copy is taken by the second command; the second's own
    // reply, cut, lands in the third read, which ends at its deadline; the
    // third's reply comes late and is drained as the one owed.
    QTest::newRow("a copy, then a cut reply in the next read")
        << QList<Pieces>{{{0, "OK   :0064\r"}, {12, "OK   :0064\r"}}, {{20, "OK   :00"}}, {{800, "OK   :0066\r"}}}
        << QList<int>() << false;
    // An adapter holds the last reply's copy back 12 ms: only the quiet
    // time of the checkpoint hears it.
    QTest::newRow("a copy 12 ms behind the last reply")
        << QList<Pieces>{{{0, "OK   :0064\r"}}, {{0, "OK   :0065\r"}, {12, "OK   :0065\r"}}} << QList<int>() << false;
    // Noise arrives while the caller works between two commands: it waits
    // before the second command, which drains it.
    QTest::newRow("bytes waiting before a command")
        << QList<Pieces>{{{0, "OK   :0064\r"}, {30, "\x15\x15"}}, {{0, "OK   :0065\r"}}} << QList<int>{0, 100} << false;
}

void TestDeviceLink::checkpointOfAGroup()
{
    QFETCH(QList<Pieces>, replies);
    QFETCH(QList<int>, idleMs);
    QFETCH(bool, clean);
    int index = -1;
    auto port = std::make_unique<VirtualLine>([&replies, &index](VirtualLine &line, const QByteArray &, qint64 atUs) {
        ++index;
        qint64 at = atUs;
        for (const PtyResponder::Piece &piece : replies.value(index)) {
            line.send(piece.bytes, std::max(at, line.queuedUntilUs()) + piece.pauseMs * 1000, index);
            at = line.queuedUntilUs();
        }
    });
    VirtualLine *line = port.get();
    DeviceLink link(std::move(port));
    bool misread = false;   // a value taken from bytes not sent for its command
    for (int i = 0; i < replies.size(); ++i) {
        line->idle(qint64(idleMs.value(i)) * 1000);
        const TransactResult r = link.Transact("QVRP" + QByteArray::number(i), 4);
        const QList<int> tags = line->lastReadTags();
        if (r.usable())
            misread = misread || std::any_of(tags.begin(), tags.end(), [i](int tag) { return tag != i; });
        link.answered(r);   // as a read does: listens for a late reply
    }
    QVERIFY(!misread || !clean);
    QCOMPARE(link.checkpoint(), clean);
    QCOMPARE(link.checkpoint(), true);   // the next group starts clean
}

void TestDeviceLink::vanishedPeerComesBack()
{
    PortSandbox sandbox;
    auto pty = std::make_unique<Pty>();
    sandbox.publish(8, pty->slavePath());
    DeviceLink link;
    link.OpenPort(8);
    QVERIFY(link.portHandleValid());
    pty->write("OK   :1");
    pty.reset(); // the other end disappears with a partial reply in flight
    QCOMPARE(link.Transact("QVQ", 2).status, 100);
    // Released, not spinning: every later transaction reports at once, and
    // the link still stands for COM8.
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i)
        QCOMPARE(link.Transact("QVY", 2).status, 100);
    QVERIFY2(t.elapsed() < DeviceLink::ReadTimeoutMs, "no transaction waits for a device that is gone");
    QVERIFY(link.portHandleValid());

    // A new device under the same number: a transaction alone does not take
    // it for the one before; reopening does.
    PtyResponder controller(PtyResponder::always("OK   :00\r"));
    sandbox.publish(8, controller.devicePath());
    QCOMPARE(link.Transact("QVY", 2).status, 100);
    QVERIFY(link.deviceGone());
    QVERIFY(link.reopenPort());
    QVERIFY(!link.deviceGone());
    const TransactResult r = link.Transact("QVY", 2);
    QCOMPARE(r.status, 0);
    QCOMPARE(link.devicePath(), controller.devicePath());
    QCOMPARE(controller.commands(), QByteArrayList({"QVY"}));
    // Closed on purpose, the link forgets the number.
    link.closePort();
    QVERIFY(!link.portHandleValid());
    QCOMPARE(link.Transact("QVY", 2).status, 100);
    QCOMPARE(controller.commands().size(), 1);
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

void TestDeviceLink::cancelWaitsForTheHold_data()
{
    // Whether 切断 has been pressed, and how many steps that must finish
    // are under way (a write mode open, settings before their restart).
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<int>("holds");
    QTest::addColumn<bool>("sent");
    QTest::newRow("not cancelled") << false << 0 << true;
    QTest::newRow("cancelled") << true << 0 << false;
    QTest::newRow("cancelled under a hold") << true << 1 << true;
    QTest::newRow("cancelled under two holds") << true << 2 << true;
}

void TestDeviceLink::cancelWaitsForTheHold()
{
    QFETCH(bool, cancelled);
    QFETCH(int, holds);
    QFETCH(bool, sent);
    auto state = std::make_shared<FakePort::State>();
    state->open = true;
    state->fallback = [](const QByteArray &) { return FakePort::ok("00"); };
    DeviceLink link(std::make_unique<FakePort>(state));
    const std::atomic<bool> flag{cancelled};
    link.setCancelFlag(&flag);
    std::vector<std::unique_ptr<DeviceLink::CancelHold>> held;
    for (int i = 0; i < holds; ++i)
        held.push_back(std::make_unique<DeviceLink::CancelHold>(link));
    bool threw = false;
    try {
        link.Transact("QVU0", 2);
    } catch (const LineCancelled &) {
        threw = true;
    }
    QCOMPARE(threw, !sent);
    QCOMPARE(state->commands, sent ? QByteArrayList{"QVU0"} : QByteArrayList{});
    // Once the last hold ends, the cancel takes effect at the next command.
    held.clear();
    if (cancelled)
        QVERIFY_THROWS_EXCEPTION(LineCancelled, link.Transact("QVRC0", 4));
}

void TestDeviceLink::traceLine_data()
{
    QTest::addColumn<QString>("devicePath");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("commandShown");
    QTest::addColumn<QString>("replyShown");
    QTest::newRow("printable as it is, the rest in hex")
        << QStringLiteral("/dev/pts/3") << QByteArray("QVSOA=22\x97\xcc\"") << QByteArray("OK   :0A\\\r")
        << QStringLiteral(R"(QVSOA=22\x97\xCC\x22)") << QStringLiteral(R"(OK   :0A\x5C\x0D)");
    // A percent sign and a digit are text, never a place for a value.
    QTest::newRow("percent and digit")
        << QStringLiteral("/dev/pts/%1") << QByteArray("QVSON=%2%7") << QByteArray("OK   :AB%1CD\r")
        << QStringLiteral("QVSON=%2%7") << QStringLiteral(R"(OK   :AB%1CD\x0D)");
}

void TestDeviceLink::traceLine()
{
    QFETCH(QString, devicePath);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, commandShown);
    QFETCH(QString, replyShown);
    TraceEntry e;
    e.started = QDateTime(QDate(2026, 12, 7), QTime(11, 2, 37, 123));
    e.portNumber = 5;
    e.devicePath = devicePath;
    e.command = command;
    e.reply = reply;
    e.status = 0;
    e.elapsedMs = 12;
    const QRegularExpression form(QStringLiteral(R"re(^(\S+) (\S+) (\S+) "(.*)" -> "(.*)" status (-?\d+) (\d+) ms$)re"));
    const QRegularExpressionMatch m = form.match(formatTrace(e));
    QVERIFY2(m.hasMatch(), qPrintable(formatTrace(e)));
    QCOMPARE(m.captured(1), QStringLiteral("2026-12-07T11:02:37.123"));
    QCOMPARE(m.captured(2), QStringLiteral("COM5"));
    QCOMPARE(m.captured(3), devicePath);
    QCOMPARE(m.captured(4), commandShown);
    QCOMPARE(m.captured(5), replyShown);
    QCOMPARE(m.captured(6), QStringLiteral("0"));
    QCOMPARE(m.captured(7), QStringLiteral("12"));
}

namespace {
QStringList traced;
void noteTrace(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QByteArray(context.category) == "quvo.link")
        traced << message;
}
} // namespace

void TestDeviceLink::traceOnlyWhenSwitchedOn()
{
    PortSandbox sandbox;
    sandbox.publish(7, QStringLiteral("/dev/null")); // the fake port stands behind it
    auto state = std::make_shared<FakePort::State>();
    state->replies.insert("QVQ", FakePort::ok("0A"));
    DeviceLink link(std::make_unique<FakePort>(state));
    link.OpenPort(7);
    traced.clear();
    const QtMessageHandler previous = qInstallMessageHandler(noteTrace);
    link.Transact("QVQ", 2);               // off by default
    QLoggingCategory::setFilterRules(QStringLiteral("quvo.link.debug=true"));
    link.Transact("QVQ", 2);
    link.Transact("QVY", 2);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    QCOMPARE(traced.size(), 2);
    QVERIFY2(traced.at(0).contains(QStringLiteral(R"( COM7 /dev/null "QVQ" -> "OK   :0A\x0D" status 0 )")),
             qPrintable(traced.at(0)));
    QVERIFY2(traced.at(1).contains(QStringLiteral(R"("QVY" -> "" status 100 )")), qPrintable(traced.at(1)));
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_device_link.moc"
