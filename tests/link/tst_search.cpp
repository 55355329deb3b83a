// The search for the controller over pseudo-terminals published at chosen
// COM numbers, and the version number read from the version text.
#include "link/ControllerSearch.h"
#include "link/SerialPortIo.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/PtyResponder.h"

#include <QtTest>

namespace {

PtyResponder::Script controllerScript()
{
    return [](const QByteArray &cmd) -> QByteArray {
        if (cmd == "QV")
            return "OK   :\r";
        return {};
    };
}

// One search, noting every port number it tried.
SearchOutcome searchNoting(DeviceLink &link, QList<int> &probed)
{
    return searchController(link, [&](int n) { probed.append(n); return true; });
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private slots:
    void highestControllerWins();
    void busyAnswerStopsTheSearch_data();
    void busyAnswerStopsTheSearch();
    void nothingAnywhere();
    void silentPortIsPassed();
    void searchAgainStartsAt255();
    void lowestPortFound();
    void abortStops();
    void portHeldByAnotherOpener();
    void notFoundMessage_data();
    void notFoundMessage();
    void firmwareVersion_data();
    void firmwareVersion();
};

void TestSearch::highestControllerWins()
{
    PortSandbox sandbox;
    PtyResponder com12(controllerScript()), com3(controllerScript());
    sandbox.publish(12, com12.devicePath());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = searchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::Found);
    QCOMPARE(out.portNumber, 12);
    QVERIFY(link.portHandleValid());
    QCOMPARE(link.devicePath(), com12.devicePath());
    QTest::qWait(100);
    QCOMPARE(com12.commands(), QByteArrayList({"QV"}));
    QVERIFY(com3.commands().isEmpty());
}

void TestSearch::busyAnswerStopsTheSearch_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("settling") << QByteArray("BBUSY:\r");
    QTest::newRow("resetting") << QByteArray("RBUSY:\r");
    QTest::newRow("reconciling") << QByteArray("EBUSY:\r");
    QTest::newRow("error 12") << QByteArray("ERR12:\r");
}

void TestSearch::busyAnswerStopsTheSearch()
{
    QFETCH(QByteArray, reply);
    PortSandbox sandbox;
    PtyResponder busy(PtyResponder::always(reply)), com3(controllerScript());
    sandbox.publish(120, busy.devicePath());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = searchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::Abnormal);
    QCOMPARE(out.portNumber, 120);
    QVERIFY(!link.portHandleValid());
    QTest::qWait(100);
    QVERIFY(com3.commands().isEmpty());
}

void TestSearch::nothingAnywhere()
{
    PortSandbox sandbox;
    DeviceLink link;
    QList<int> probed;
    searchNoting(link, probed);
    QCOMPARE(probed.size(), 255);
    QCOMPARE(probed.first(), 255);
    QCOMPARE(probed.last(), 1);
    QVERIFY(!link.portHandleValid());
    QCOMPARE(searchController(link, {}).kind, SearchOutcome::NotFound);
}

void TestSearch::silentPortIsPassed()
{
    PortSandbox sandbox;
    PtyResponder silent(PtyResponder::always(QByteArray())), com3(controllerScript());
    sandbox.publish(99, silent.devicePath());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = searchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::Found);
    QCOMPARE(out.portNumber, 3);
}

void TestSearch::searchAgainStartsAt255()
{
    PortSandbox sandbox;
    PtyResponder com200(controllerScript()), com12(controllerScript());
    sandbox.publish(12, com12.devicePath());
    DeviceLink link;
    QCOMPARE(searchController(link, {}).portNumber, 12);
    link.closePort();
    // A controller appearing higher up is found on the next search.
    sandbox.publish(200, com200.devicePath());
    QList<int> probed;
    const SearchOutcome again = searchNoting(link, probed);
    QCOMPARE(again.portNumber, 200);
    QCOMPARE(probed.first(), 255);
    QCOMPARE(probed.last(), 200);
}

void TestSearch::lowestPortFound()
{
    PortSandbox sandbox;
    PtyResponder com1(controllerScript());
    sandbox.publish(1, com1.devicePath());
    DeviceLink link;
    QList<int> probed;
    const SearchOutcome out = searchNoting(link, probed);
    QCOMPARE(out.kind, SearchOutcome::Found);
    QCOMPARE(out.portNumber, 1);
    QCOMPARE(probed.size(), 255);
}

void TestSearch::abortStops()
{
    PortSandbox sandbox;
    PtyResponder com3(controllerScript());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = searchController(link, [](int n) { return n > 100; });
    QCOMPARE(out.kind, SearchOutcome::Aborted);
    QVERIFY(!link.portHandleValid());
    QVERIFY(com3.commands().isEmpty());
}

void TestSearch::portHeldByAnotherOpener()
{
    PortSandbox sandbox;
    PtyResponder com3(controllerScript());
    sandbox.publish(3, com3.devicePath());
    SerialPortIo holder;
    QVERIFY(holder.open(com3.devicePath()));
    DeviceLink link;
    const SearchOutcome out = searchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::NotFound);
    QCOMPARE(out.unopened.size(), 1);
    QCOMPARE(out.unopened.at(0).portNumber, 3);
    QCOMPARE(out.unopened.at(0).devicePath, com3.devicePath());
    QCOMPARE(out.unopened.at(0).error.reason, PortOpenError::InUse);
    QVERIFY(com3.commands().isEmpty());
    // Once the other program lets go, the same search finds the controller.
    holder.close();
    const SearchOutcome again = searchController(link, {});
    QCOMPARE(again.kind, SearchOutcome::Found);
    QVERIFY(again.unopened.isEmpty());
}

void TestSearch::notFoundMessage_data()
{
    using D = PortNamespace::DirectoryCheck;
    QTest::addColumn<int>("ports");       // unopened ports, COM200 downwards
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("directory");   // DirectoryCheck::Verdict
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("group");   // the group that would admit the user
    const QString head = QStringLiteral("QUVOが見つかりません");
    const QString denied = QStringLiteral("COM200 (/dev/x200): アクセス権がありません");
    QTest::newRow("denied, the group admits")
        << 1 << int(PortOpenError::PermissionDenied) << int(D::Usable)
        << QStringList{head, denied,
                       QStringLiteral("dialoutグループに参加して下さい: sudo usermod -aG dialout $USER を実行し,"
                                      "ログアウトしてから再度ログインして下さい.")}
        << QStringLiteral("dialout");
    // Joining a group cannot help with a device only root may open.
    QTest::newRow("denied, root only")
        << 1 << int(PortOpenError::PermissionDenied) << int(D::Usable) << QStringList{head, denied} << QString();
    QTest::newRow("other failure, in the system's words")
        << 1 << int(PortOpenError::Other) << int(D::Usable)
        << QStringList{head, QStringLiteral("COM200 (/dev/x200): 開けません(Input/output error)")} << QString();
    QStringList many{head};
    for (int n = 200; n > 192; --n)
        many << QStringLiteral("COM%1 (/dev/x%1): 他のプログラムが使用中です").arg(n);
    many << QStringLiteral("ほか 3 ポートも開けませんでした");
    QTest::newRow("eight lines at most") << 11 << int(PortOpenError::InUse) << int(D::Absent) << many << QString();
    QTest::newRow("directory of another user")
        << 0 << 0 << int(D::OtherOwner)
        << QStringList{head, QStringLiteral("ポートディレクトリ /tmp/quvo-ports-1000 は使用しませんでした(所有者が別のユーザーです).")} << QString();
    QTest::newRow("directory open to others")
        << 0 << 0 << int(D::OpenToOthers)
        << QStringList{head, QStringLiteral("ポートディレクトリ /tmp/quvo-ports-1000 は使用しませんでした(他のユーザーが書き込めます).")} << QString();
}

void TestSearch::notFoundMessage()
{
    QFETCH(int, ports);
    QFETCH(int, reason);
    QFETCH(int, directory);
    QFETCH(QStringList, lines);
    QFETCH(QString, group);
    SearchOutcome out;
    for (int n = 200; n > 200 - ports; --n)
        out.unopened.append({n, QStringLiteral("/dev/x%1").arg(n),
                             {PortOpenError::Reason(reason), QStringLiteral("Input/output error")}, group});
    out.directory.verdict = PortNamespace::DirectoryCheck::Verdict(directory);
    out.directory.path = QStringLiteral("/tmp/quvo-ports-1000");
    QCOMPARE(notFoundText(out).split(QLatin1Char('\n')), lines);
}

void TestSearch::firmwareVersion_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("version");
    QTest::newRow("ver1.05") << QByteArray("QUVO ver1.05") << 105;
    QTest::newRow("ver2.05") << QByteArray("QUVO ver2.05") << 205;
    QTest::newRow("ver1.23 inside") << QByteArray("xx ver1.23 2015/01/01") << 123;
    QTest::newRow("first ver counts") << QByteArray("ver3.10 ver9.99") << 310;
    QTest::newRow("without ver: characters 3, 5, 6") << QByteArray("AB1C23") << 123;
    QTest::newRow("without ver, letters") << QByteArray("QUVO V2") << 0;
    QTest::newRow("cut after the point") << QByteArray("ver2.") << 200;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestSearch::firmwareVersion()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, version);
    QCOMPARE(firmwareVersionFromReply(reply), version);
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
