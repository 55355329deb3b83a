// Reply classification: every frame shape the controller (or the wire) can
// produce, as the status and payload the callers rely on.
#include "link/Reply.h"

#include <QtTest>

class TestReply : public QObject {
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
};

void TestReply::classify_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("QVQ normal") << QByteArray("OK   :0A\r") << 0 << QByteArray("0A");
    QTest::newRow("probe, empty payload") << QByteArray("OK   :\r") << 0 << QByteArray();
    QTest::newRow("resetting") << QByteArray("RBUSY:00\r") << 1 << QByteArray("00");
    QTest::newRow("settling") << QByteArray("BBUSY:00\r") << -1 << QByteArray("00");
    QTest::newRow("reconciling") << QByteArray("EBUSY:00\r") << -2 << QByteArray("00");
    QTest::newRow("ERR 12") << QByteArray("ERR12:\r") << 12 << QByteArray();
    QTest::newRow("ERR 99 with payload") << QByteArray("ERR99:AB\r") << 99 << QByteArray("AB");
    QTest::newRow("ERR 00 looks normal") << QByteArray("ERR00:\r") << 0 << QByteArray();
    QTest::newRow("ERR letters") << QByteArray("ERRAB:\r") << 100 << QByteArray();
    QTest::newRow("ERR sign is not a number") << QByteArray("ERR-1:\r") << 100 << QByteArray();
    QTest::newRow("ERR blank digit") << QByteArray("ERR 1:\r") << 100 << QByteArray();
    QTest::newRow("unknown status field") << QByteArray("NG   :\r") << 100 << QByteArray("NG   :");
    QTest::newRow("lower-case ok") << QByteArray("ok   :12\r") << 100 << QByteArray("ok   :");
    QTest::newRow("nothing") << QByteArray() << 100 << QByteArray();
    QTest::newRow("six bytes") << QByteArray("OK   :") << 100 << QByteArray("OK   :");
    QTest::newRow("three bytes") << QByteArray("OK ") << 100 << QByteArray("OK ");
    QTest::newRow("CR missing, digit last") << QByteArray("OK   :1234") << 100 << QByteArray("OK   :1234");
    QTest::newRow("LF instead of CR") << QByteArray("OK   :12\n") << 0 << QByteArray("12");
    QTest::newRow("cut short after punctuation") << QByteArray("OK   :12-") << 0 << QByteArray("12");
    QTest::newRow("cut short after a blank") << QByteArray("OK   :1 ") << 0 << QByteArray("1");
    QTest::newRow("high byte last") << QByteArray("OK   :\x82\xa0") << 0 << QByteArray("\x82");
    QTest::newRow("inner CR kept") << QByteArray("OK   :A\rB\r") << 0 << QByteArray("A\rB");
    QTest::newRow("over-long, letter last") << QByteArray("OK   :12345") << 100 << QByteArray("OK   :12345");
    QTest::newRow("zero byte ends the text") << QByteArray("OK   :12\r\0ZZ", 12) << 0 << QByteArray("12");
    // Seven bytes and more read: the status field counts even when a zero
    // byte ends the text before the seventh.
    QTest::newRow("zero byte in a long reply")
        << QByteArray("ERR12.\0ABC\r", 11) << 100 << QByteArray("ERR12\r");
    QTest::newRow("zero byte in the status field") << QByteArray("OK\0   :12\r", 10) << 100 << QByteArray("OK");
    QTest::newRow("busy cut after a slash") << QByteArray("RBUSY:0/") << 1 << QByteArray("0");
    QTest::newRow("a colon (0x3A) is no terminator") << QByteArray("RBUSY:0:") << 100 << QByteArray("RBUSY:0:");
}

void TestReply::classify()
{
    QFETCH(QByteArray, received);
    QFETCH(int, status);
    QFETCH(QByteArray, payload);
    const TransactResult r = classifyReply(received);
    QCOMPARE(r.status, status);
    QCOMPARE(r.payload, payload);
}

QTEST_APPLESS_MAIN(TestReply)
#include "tst_reply.moc"
