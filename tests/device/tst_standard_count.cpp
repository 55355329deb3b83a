// Standard counts: what each tube accepts, the "QVSM" commands, and the
// write that sends all eight and restarts the controller.
#include "device/StandardCount.h"
#include "device/DeviceData.h"
#include "device/ValueOrigins.h"
#include "link/DeviceLink.h"
#include "tests/support/OperationLog.h"

#include <QtTest>

class TestStandardCount : public QObject {
    Q_OBJECT

private slots:
    void validate_data();
    void validate();
    void dialogTexts_data();
    void dialogTexts();
    void command_data();
    void command();
    void writeSequence_data();
    void writeSequence();
    void writeDeclined();
};

void TestStandardCount::validate_data()
{
    QTest::addColumn<int>("tube");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("stored");

    QTest::newRow("row 1: 0") << 0 << "0" << true << 0;
    QTest::newRow("row 1: 99") << 0 << "99" << true << 99;
    QTest::newRow("row 1: 100") << 0 << "100" << false << 0;
    QTest::newRow("row 4: 100") << 3 << "100" << false << 0;
    QTest::newRow("row 5: 100") << 4 << "100" << true << 100;
    QTest::newRow("row 5: 9999") << 4 << "9999" << true << 9999;
    QTest::newRow("row 8: 9999") << 7 << "9999" << true << 9999;
    QTest::newRow("row 8: 10000") << 7 << "10000" << false << 0;
    QTest::newRow("row 6: 1000 typed") << 5 << "1000" << true << 1000;
    QTest::newRow("row 1: -1") << 0 << "-1" << false << 0;
    QTest::newRow("row 5: -1") << 4 << "-1" << false << 0;
    QTest::newRow("row 1: hexadecimal 0x10") << 0 << "0x10" << true << 16;
    QTest::newRow("row 1: hexadecimal 0x64") << 0 << "0x64" << false << 0;
    QTest::newRow("row 5: hexadecimal $270F") << 4 << "$270F" << true << 9999;
    QTest::newRow("row 5: 0xFFFFFFFF is -1") << 4 << "0xFFFFFFFF" << false << 0;
    QTest::newRow("row 5: -0xFFFFFFFF beyond 32 bits") << 4 << "-0xFFFFFFFF" << false << 0;
    QTest::newRow("row 1: -$FFFFFFFF beyond 32 bits") << 0 << "-$FFFFFFFF" << false << 0;
    QTest::newRow("row 5: -0x80000000") << 4 << "-0x80000000" << false << 0;
    QTest::newRow("row 5: -0") << 4 << "-0" << true << 0;
    QTest::newRow("row 2: leading blank") << 1 << " 12" << true << 12;
    QTest::newRow("row 2: plus sign") << 1 << "+12" << true << 12;
    // Anything that is not an integer is refused on every row, also where
    // 1000 would fit.
    for (int t = 0; t < 8; ++t) {
        QTest::addRow("row %d: letters", t + 1) << t << "abc" << false << 0;
        QTest::addRow("row %d: empty", t + 1) << t << "" << false << 0;
    }
    QTest::newRow("row 6: trailing blank") << 5 << "12 " << false << 0;
    QTest::newRow("row 6: decimal point") << 5 << "12.5" << false << 0;
    QTest::newRow("row 6: sign only") << 5 << "-" << false << 0;
    QTest::newRow("row 6: prefix only") << 5 << "0x" << false << 0;
    QTest::newRow("row 6: hex digit without prefix") << 5 << "1A" << false << 0;
    QTest::newRow("row 7: full-width digits") << 6 << "１２" << false << 0;
    QTest::newRow("row 7: beyond 32 bits") << 6 << "4294967312" << false << 0;
    QTest::newRow("row 7: 2147483648") << 6 << "2147483648" << false << 0;
}

void TestStandardCount::validate()
{
    QFETCH(int, tube);
    QFETCH(QString, entry);
    QFETCH(bool, accepted);
    QFETCH(int, stored);

    const auto value = StandardCount::validate(tube, entry);
    QCOMPARE(value.has_value(), accepted);
    if (accepted)
        QCOMPARE(*value, stored);
}

void TestStandardCount::dialogTexts_data()
{
    QTest::addColumn<int>("tube");
    QTest::addColumn<int>("settableMax");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("hint");

    QTest::newRow("row 1") << 0 << 0 << "自動補充チューブ10円" << "基準枚数 [ 0 ～ 0,99 ]";
    QTest::newRow("row 4") << 3 << 0 << "自動補充チューブ500円" << "基準枚数 [ 0 ～ 0,99 ]";
    QTest::newRow("row 5") << 4 << 0 << "手動補充チューブ10円" << "基準枚数 [ 0 ～ 0,9999 ]";
    QTest::newRow("row 6") << 5 << 0 << "手動補充チューブ50円" << "基準枚数 [ 0 ～ 0,999 ]";
    QTest::newRow("row 8, settable 40") << 7 << 40 << "手動補充チューブ500円" << "基準枚数 [ 0 ～ 40,999 ]";
}

void TestStandardCount::dialogTexts()
{
    QFETCH(int, tube);
    QFETCH(int, settableMax);
    QFETCH(QString, title);
    QFETCH(QString, hint);

    QCOMPARE(StandardCount::dialogTitle(tube), title);
    QCOMPARE(StandardCount::dialogHint(tube, settableMax), hint);
}

void TestStandardCount::command_data()
{
    QTest::addColumn<int>("tube");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("replyLength");

    QTest::newRow("20 on tube 0") << 0 << 20 << QByteArray("QVSM1=14") << 2;
    QTest::newRow("150 on tube 4") << 4 << 150 << QByteArray("QVSM5=0096") << 4;
    QTest::newRow("99 on tube 3") << 3 << 99 << QByteArray("QVSM4=63") << 2;
    QTest::newRow("9999 on tube 7") << 7 << 9999 << QByteArray("QVSM8=270F") << 4;
    QTest::newRow("0 on tube 1") << 1 << 0 << QByteArray("QVSM2=00") << 2;
    QTest::newRow("10 on tube 2") << 2 << 10 << QByteArray("QVSM3=0A") << 2;
    QTest::newRow("0 on tube 6") << 6 << 0 << QByteArray("QVSM7=0000") << 4;
    QTest::newRow("171 on tube 5") << 5 << 171 << QByteArray("QVSM6=00AB") << 4;
}

void TestStandardCount::command()
{
    QFETCH(int, tube);
    QFETCH(int, count);
    QFETCH(QByteArray, command);
    QFETCH(int, replyLength);

    QCOMPARE(StandardCount::command(tube, count), command);
    QCOMPARE(StandardCount::replyLength(tube), replyLength);
}

void TestStandardCount::writeSequence_data()
{
    QTest::addColumn<QList<int>>("counts");   // -1: not entered since connecting
    QTest::addColumn<QByteArray>("qvsmReply");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("error");

    // This controller answers no restart: write mode is closed ("QVU0",
    // then a probe when that is not heard either) before the disconnection.
    const QStringList tail = {"QVW/3", "QVF/3", "QVF/0", "QVU0/2", "QV/0", "disconnect"};

    QTest::newRow("all zero")
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << FakePort::ok("00")
        << (QStringList{"confirm", "check", "QVU1/2", "QVSM1=00/2", "QVSM2=00/2", "QVSM3=00/2",
                        "QVSM4=00/2", "QVSM5=0000/4", "QVSM6=0000/4", "QVSM7=0000/4",
                        "QVSM8=0000/4"} + tail) << QString();
    QTest::newRow("edited counts")
        << QList<int>{20, 0, 0, 99, 150, 0, 0, 9999} << FakePort::ok("00")
        << (QStringList{"confirm", "check", "QVU1/2", "QVSM1=14/2", "QVSM2=00/2", "QVSM3=00/2",
                        "QVSM4=63/2", "QVSM5=0096/4", "QVSM6=0000/4", "QVSM7=0000/4",
                        "QVSM8=270F/4"} + tail) << QString();
    // A controller that refuses every count does not stop the sequence.
    QTest::newRow("ERR to every QVSM")
        << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << QByteArray("ERR12:\r")
        << (QStringList{"confirm", "check", "QVU1/2", "QVSM1=01/2", "QVSM2=02/2", "QVSM3=03/2",
                        "QVSM4=04/2", "QVSM5=0005/4", "QVSM6=0006/4", "QVSM7=0007/4",
                        "QVSM8=0008/4"} + tail) << QString();
    // A count never entered would overwrite the controller's own with 0.
    QTest::newRow("two tubes never entered")
        << QList<int>{20, -1, 0, 99, 150, 0, -1, 9999} << FakePort::ok("00")
        << QStringList{"error"}
        << QStringLiteral("次のチューブの基準枚数がまだ入力されていないため,送信しませんでした.\n"
                          "・自動補充チューブ50円\n・手動補充チューブ100円\n"
                          "全てのチューブの基準枚数を入力してから,もう一度実行して下さい.");
}

void TestStandardCount::writeSequence()
{
    QFETCH(QList<int>, counts);
    QFETCH(QByteArray, qvsmReply);
    QFETCH(QStringList, expected);
    QFETCH(QString, error);

    OperationRig rig;
    rig.port->fallback = [&](const QByteArray &command) {
        return command.startsWith("QVSM") ? qvsmReply : QByteArray();
    };
    rig.host.answers = {true};
    DeviceData data;
    ValueOrigins origins;
    for (int t = 0; t < 8; ++t) {
        data[Slot::TubeStandardCount + t] = qMax(0, counts.at(t));
        if (counts.at(t) >= 0)
            origins.setByOperator(ValueOrigins::standardCount(t));
    }

    QCOMPARE(StandardCount::write(rig.link, rig.host, data, origins), error.isEmpty());
    QCOMPARE(rig.log->entries, expected);
    QCOMPARE(rig.host.errorTexts, error.isEmpty() ? QStringList() : QStringList{error});
    if (!error.isEmpty())
        return;
    QCOMPARE(rig.host.confirmTexts.value(0),
             QStringLiteral("設定値を書き込み,QUVOを再起動します.\n"
                            "QUVOとは一旦切断されますので,再起動後に接続し直して下さい.\n"
                            "実行してもよろしいですか？"));
    // No pause and no notice: the window is never disabled and only the
    // confirmation is shown.
    QVERIFY(!rig.log->entries.contains("disable"));
    QVERIFY(!rig.log->entries.contains("notify"));
}

void TestStandardCount::writeDeclined()
{
    OperationRig rig;
    rig.host.answers = {false};
    DeviceData data;
    ValueOrigins origins;
    for (int t = 0; t < 8; ++t)
        origins.setByOperator(ValueOrigins::standardCount(t));

    QVERIFY(!StandardCount::write(rig.link, rig.host, data, origins));
    QCOMPARE(rig.log->entries, QStringList{"confirm"});
    QVERIFY(rig.port->commands.isEmpty());
}

QTEST_GUILESS_MAIN(TestStandardCount)
#include "tst_standard_count.moc"
