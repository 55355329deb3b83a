// The I/O panel's signals: rows, names, the lamp squares and the "QVX"
// strings of the manual drive.
#include "device/IoPort.h"
#include "link/DeviceLink.h"
#include "tests/support/OperationLog.h"

#include <QtTest>

class TestIoPort : public QObject {
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void lampRowAt_data();
    void lampRowAt();
    void fullState_data();
    void fullState();
    void singleSignal_data();
    void singleSignal();
    void modeCommands();
    void toggleTwice_data();
    void toggleTwice();
};

void TestIoPort::rows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("in");

    QTest::newRow("0") << 0 << 0 << 50 << "コラム1販売可信号" << "コラム1購入選択信号";
    QTest::newRow("1") << 1 << 1 << 80 << "コラム2販売可信号" << "コラム2購入選択信号";
    QTest::newRow("3") << 3 << 3 << 140 << "コラム4販売可信号" << "コラム4購入選択信号";
    QTest::newRow("4") << 4 << 16 << 170 << "販売受理信号" << "返金予約信号";
    QTest::newRow("5") << 5 << 17 << 200 << "100円つり切れ信号" << "[ユーザ入力#1]";
    QTest::newRow("6") << 6 << 18 << 230 << "10円つり切れ信号" << "[ユーザ入力#2]";
    QTest::newRow("7") << 7 << 19 << 260 << "正常動作信号" << "入金可信号";
}

void TestIoPort::rows()
{
    QFETCH(int, row);
    QFETCH(int, signal);
    QFETCH(int, y);
    QFETCH(QString, out);
    QFETCH(QString, in);

    QCOMPARE(IoPort::rowSignal(row), signal);
    QCOMPARE(IoPort::rowY(row), y);
    QCOMPARE(IoPort::outputName(signal), out);
    QCOMPARE(IoPort::inputName(signal), in);
}

void TestIoPort::lampRowAt_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("row");

    // The square of row 0 runs from (125, 50) to (137, 62) inclusive.
    QTest::newRow("row 0 top-left") << 125 << 50 << 0;
    QTest::newRow("row 0 bottom-right") << 137 << 62 << 0;
    QTest::newRow("right of row 0 (M + 13)") << 138 << 55 << -1;
    QTest::newRow("left of row 0 (M - 1)") << 124 << 55 << -1;
    QTest::newRow("below row 0 (Y = 63)") << 130 << 63 << -1;
    QTest::newRow("above the rows (Y = 49)") << 130 << 49 << -1;
    QTest::newRow("far above the rows (Y = 30)") << 130 << 30 << -1;
    QTest::newRow("row 1 top") << 125 << 80 << 1;
    QTest::newRow("gap before row 1") << 125 << 79 << -1;
    QTest::newRow("row 7 bottom") << 137 << 272 << 7;
    QTest::newRow("below row 7") << 130 << 273 << -1;
    QTest::newRow("where row 8 would be") << 130 << 290 << -1;
    QTest::newRow("output lamp of row 0") << 105 << 55 << -1;
}

void TestIoPort::lampRowAt()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, row);
    QCOMPARE(IoPort::lampRowAt(x, y), row);
}

void TestIoPort::fullState_data()
{
    QTest::addColumn<QList<int>>("onSignals");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("all off") << QList<int>{} << QByteArray("00000000000000000000");
    QTest::newRow("signal 0") << QList<int>{0} << QByteArray("00000000000000000001");
    QTest::newRow("signal 19") << QList<int>{19} << QByteArray("10000000000000000000");
    QTest::newRow("signals 1, 16, 17")
        << QList<int>{1, 16, 17} << QByteArray("00110000000000000010");
}

void TestIoPort::fullState()
{
    QFETCH(QList<int>, onSignals);
    QFETCH(QByteArray, text);
    IoPort::SignalStates states{};
    for (int s : onSignals)
        states[std::size_t(s)] = -1;
    QCOMPARE(IoPort::fullStateString(states), text);
}

void TestIoPort::singleSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("row 0 on") << 0 << true << QByteArray("*******************1");
    QTest::newRow("row 0 off") << 0 << false << QByteArray("*******************0");
    QTest::newRow("row 7 on") << 19 << true << QByteArray("1*******************");
    QTest::newRow("row 7 off") << 19 << false << QByteArray("0*******************");
    QTest::newRow("row 4 on") << 16 << true << QByteArray("***1****************");
}

void TestIoPort::singleSignal()
{
    QFETCH(int, signal);
    QFETCH(bool, on);
    QFETCH(QByteArray, text);
    QCOMPARE(IoPort::singleSignalString(signal, on), text);
}

void TestIoPort::modeCommands()
{
    OperationRig rig;
    IoPort::SignalStates states{};
    states[2] = -1;

    IoPort::enterManualMode(rig.link, states);
    IoPort::leaveManualMode(rig.link);
    QCOMPARE(rig.log->entries, (QStringList{"QVX00000000000000000100/6", "QVU1/2", "QVU0/2"}));
}

void TestIoPort::toggleTwice_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("row 0") << 0
        << QStringList{"QVX*******************1/6", "QVX*******************0/6"};
    QTest::newRow("row 7") << 19
        << QStringList{"QVX1*******************/6", "QVX0*******************/6"};
}

void TestIoPort::toggleTwice()
{
    QFETCH(int, signal);
    QFETCH(QStringList, expected);
    OperationRig rig;
    IoPort::SignalStates states{};

    QVERIFY(IoPort::toggleSignal(rig.link, states, signal));
    QCOMPARE(states[std::size_t(signal)], -1);
    QVERIFY(!IoPort::toggleSignal(rig.link, states, signal));
    QCOMPARE(states[std::size_t(signal)], 0);
    QCOMPARE(rig.log->entries, expected);
    // The other signals are untouched.
    for (int s = 0; s < IoPort::SignalCount; ++s)
        QCOMPARE(states[std::size_t(s)], 0);
}

QTEST_GUILESS_MAIN(TestIoPort)
#include "tst_io_port.moc"
