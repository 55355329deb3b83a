// The search for the controller over pseudo-terminals published at chosen
// COM numbers, and the version number read from the version text.
#include "link/ControllerSearch.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/PtyResponder.h"

#include <QtTest>

namespace {

PtyResponder::Script Controller()
{
    return [](const QByteArray &cmd) -> QByteArray {
        if (cmd == "QV")
            return "OK   :\r";
        return {};
    };
}

// One search, noting every port number it tried.
SearchOutcome SearchNoting(DeviceLink &link, QList<int> &probed)
{
    return SearchController(link, [&](int n) { probed.append(n); return true; });
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
    void firmwareVersion_data();
    void firmwareVersion();
};

void TestSearch::highestControllerWins()
{
    PortSandbox sandbox;
    PtyResponder com12(Controller()), com3(Controller());
    sandbox.publish(12, com12.devicePath());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = SearchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::Found);
    QCOMPARE(out.portNumber, 12);
    QVERIFY(link.PortHandleValid());
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
    PtyResponder busy(PtyResponder::Always(reply)), com3(Controller());
    sandbox.publish(120, busy.devicePath());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = SearchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::Abnormal);
    QCOMPARE(out.portNumber, 120);
    QVERIFY(!link.PortHandleValid());
    QTest::qWait(100);
    QVERIFY(com3.commands().isEmpty());
}

void TestSearch::nothingAnywhere()
{
    PortSandbox sandbox;
    DeviceLink link;
    QList<int> probed;
    SearchNoting(link, probed);
    QCOMPARE(probed.size(), 255);
    QCOMPARE(probed.first(), 255);
    QCOMPARE(probed.last(), 1);
    QVERIFY(!link.PortHandleValid());
    QCOMPARE(SearchController(link, {}).kind, SearchOutcome::NotFound);
}

void TestSearch::silentPortIsPassed()
{
    PortSandbox sandbox;
    PtyResponder silent(PtyResponder::Always(QByteArray())), com3(Controller());
    sandbox.publish(99, silent.devicePath());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = SearchController(link, {});
    QCOMPARE(out.kind, SearchOutcome::Found);
    QCOMPARE(out.portNumber, 3);
}

void TestSearch::searchAgainStartsAt255()
{
    PortSandbox sandbox;
    PtyResponder com200(Controller()), com12(Controller());
    sandbox.publish(12, com12.devicePath());
    DeviceLink link;
    QCOMPARE(SearchController(link, {}).portNumber, 12);
    link.ClosePort();
    // A controller appearing higher up is found on the next search.
    sandbox.publish(200, com200.devicePath());
    QList<int> probed;
    const SearchOutcome again = SearchNoting(link, probed);
    QCOMPARE(again.portNumber, 200);
    QCOMPARE(probed.first(), 255);
    QCOMPARE(probed.last(), 200);
}

void TestSearch::lowestPortFound()
{
    PortSandbox sandbox;
    PtyResponder com1(Controller());
    sandbox.publish(1, com1.devicePath());
    DeviceLink link;
    QList<int> probed;
    const SearchOutcome out = SearchNoting(link, probed);
    QCOMPARE(out.kind, SearchOutcome::Found);
    QCOMPARE(out.portNumber, 1);
    QCOMPARE(probed.size(), 255);
}

void TestSearch::abortStops()
{
    PortSandbox sandbox;
    PtyResponder com3(Controller());
    sandbox.publish(3, com3.devicePath());
    DeviceLink link;
    const SearchOutcome out = SearchController(link, [](int n) { return n > 100; });
    QCOMPARE(out.kind, SearchOutcome::Aborted);
    QVERIFY(!link.PortHandleValid());
    QVERIFY(com3.commands().isEmpty());
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
    QCOMPARE(FirmwareVersionFromReply(reply), version);
}

QTEST_GUILESS_MAIN(TestSearch)
#include "test_search.moc"
