// The automatic change reconciliation: the report text built from the
// "QVER" payload, and the commands each answer of the operator sends.
#include "device/ChangeReconciliation.h"
#include "device/DeviceData.h"
#include "link/DeviceLink.h"
#include "tests/support/OperationLog.h"

#include <QtTest>

namespace {

// Written out here on purpose, so a change to any literal shows.
const QString Head = QStringLiteral("自動つり銭合せを開始しました.\n");
const QString Tail = QStringLiteral(
    "\nコインメカニズムの余剰硬貨払い出しが終わるまで,操作しないで下さい.\n\n"
    "不足硬貨の補充を行い基準枚数に合わせる場合は,補充後「OK」をクリックして下さい.\n"
    "不足硬貨の補充を行わずにつり銭合せ処理を終了する場合は「キャンセル」をクリックして下さい.\n");

QString figures(const char *counter, const char *sales, const char *refunds)
{
    return QStringLiteral("精算カウンタ:") + QLatin1String(counter) + u'\n'
        + QStringLiteral("総売上(円):") + QLatin1String(sales) + u'\n'
        + QStringLiteral("総返金(円):") + QLatin1String(refunds) + u'\n';
}

} // namespace

class TestChangeReconciliation : public QObject {
    Q_OBJECT

private slots:
    void reportLength_data();
    void reportLength();
    void reportText_data();
    void reportText();
    void sequence_data();
    void sequence();
    void reportShownFromReply();
};

void TestChangeReconciliation::reportLength_data()
{
    QTest::addColumn<int>("firmware");
    QTest::addColumn<int>("length");
    QTest::newRow("1.95") << 195 << 45;
    QTest::newRow("1.99") << 199 << 45;
    QTest::newRow("2.00") << 200 << 54;
    QTest::newRow("3.10") << 310 << 54;
    QTest::newRow("not read") << 0 << 45;
}

void TestChangeReconciliation::reportLength()
{
    QFETCH(int, firmware);
    QFETCH(int, length);
    QCOMPARE(ChangeReconciliation::reportLength(firmware), length);
}

void TestChangeReconciliation::reportText_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");

    const QByteArray none45 = "0001,000003E8,00,00,00,00,0000,0000,0000,0000";
    QCOMPARE(none45.size(), 45);
    QTest::newRow("45 characters, nothing short")
        << none45 << Head + figures("0001", "1000", "0") + Tail;

    const QByteArray none54 = "0001,000003E8,00,00,00,00,0000,0000,0000,0000,00000064";
    QCOMPARE(none54.size(), 54);
    QTest::newRow("54 characters, refunds 100")
        << none54 << Head + figures("0001", "1000", "100") + Tail;

    QTest::newRow("tube 4 short by 0A")
        << QByteArray("0002,00000000,00,00,00,00,000A,0000,0000,0000")
        << Head + figures("0002", "0", "0")
               + QStringLiteral("手動補充チューブ[10円]:10枚 不足\n") + Tail;

    QTest::newRow("several short, in tube order")
        << QByteArray("0003,00002710,03,00,1F,00,000A,0000,0100,0002,0000000A")
        << Head + figures("0003", "10000", "10")
               + QStringLiteral("自動補充チューブ[10円]:3枚 不足\n"
                                "自動補充チューブ[100円]:31枚 不足\n"
                                "手動補充チューブ[10円]:10枚 不足\n"
                                "手動補充チューブ[100円]:256枚 不足\n"
                                "手動補充チューブ[500円]:2枚 不足\n")
               + Tail;

    QTest::newRow("every tube short")
        << QByteArray("0000,00000000,01,02,03,04,0005,0006,0007,0008")
        << Head + figures("0000", "0", "0")
               + QStringLiteral("自動補充チューブ[10円]:1枚 不足\n"
                                "自動補充チューブ[50円]:2枚 不足\n"
                                "自動補充チューブ[100円]:3枚 不足\n"
                                "自動補充チューブ[500円]:4枚 不足\n"
                                "手動補充チューブ[10円]:5枚 不足\n"
                                "手動補充チューブ[50円]:6枚 不足\n"
                                "手動補充チューブ[100円]:7枚 不足\n"
                                "手動補充チューブ[500円]:8枚 不足\n")
               + Tail;

    QTest::newRow("counter 0010 shows 0016")
        << QByteArray("0010,00000000,00,00,00,00,0000,0000,0000,0000")
        << Head + figures("0016", "0", "0") + Tail;

    QTest::newRow("counter FFFF keeps four digits")
        << QByteArray("FFFF,00000000,00,00,00,00,0000,0000,0000,0000")
        << Head + figures("5535", "0", "0") + Tail;

    QTest::newRow("lower-case digits")
        << QByteArray("00ff,000003e8,0a,00,00,00,0000,0000,0000,0000")
        << Head + figures("0255", "1000", "0")
               + QStringLiteral("自動補充チューブ[10円]:10枚 不足\n") + Tail;

    // A reply that carries no numbers: every field reads as 0.
    QTest::newRow("not hexadecimal")
        << QByteArray("ERR12:GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG")
        << Head + figures("0000", "0", "0") + Tail;
    QTest::newRow("blank fields")
        << QByteArray("    ,        ,  ,  ,  ,  ,    ,    ,    ,    ,        ")
        << Head + figures("0000", "0", "0") + Tail;
    QTest::newRow("empty") << QByteArray() << Head + figures("0000", "0", "0") + Tail;
    // Cut short after tube 1: only what arrived is counted.
    QTest::newRow("truncated")
        << QByteArray("0004,00000064,02,0")
        << Head + figures("0004", "100", "0")
               + QStringLiteral("自動補充チューブ[10円]:2枚 不足\n") + Tail;
}

void TestChangeReconciliation::reportText()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    QCOMPARE(ChangeReconciliation::reportText(payload), text);
}

void TestChangeReconciliation::sequence_data()
{
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("readErrors"); // per read-back; empty for none

    using O = ChangeReconciliation::Outcome;
    QTest::newRow("declined")
        << 200 << QList<bool>{false} << false << int(O::Declined) << QStringList{"confirm"} << QStringList();
    QTest::newRow("OK, firmware 2.00")
        << 200 << QList<bool>{true, true} << false << int(O::Refilled)
        << QStringList{"confirm", "QVU1/2", "QVER/54", "confirm", "QVEJ/45", "fullread",
                       "QVEQ/45", "fullread", "QVU0/2"} << QStringList();
    QTest::newRow("Cancel, firmware 2.00")
        << 200 << QList<bool>{true, false} << false << int(O::Ended)
        << QStringList{"confirm", "QVU1/2", "QVER/54", "confirm", "QVEQ/45", "fullread",
                       "QVU0/2"} << QStringList();
    QTest::newRow("OK, firmware 1.95")
        << 195 << QList<bool>{true, true} << false << int(O::Refilled)
        << QStringList{"confirm", "QVU1/2", "QVER/45", "confirm", "QVEJ/45", "fullread",
                       "QVEQ/45", "fullread", "QVU0/2"} << QStringList();
    QTest::newRow("OK in manual mode")
        << 200 << QList<bool>{true, true} << true << int(O::Refilled)
        << QStringList{"confirm", "QVU1/2", "QVER/54", "confirm", "QVEJ/45", "fullread",
                       "QVEQ/45", "fullread"} << QStringList();
    QTest::newRow("Cancel in manual mode")
        << 195 << QList<bool>{true, false} << true << int(O::Ended)
        << QStringList{"confirm", "QVU1/2", "QVER/45", "confirm", "QVEQ/45", "fullread"} << QStringList();
    // A read-back that fails does not keep the controller in the
    // reconciliation: QVEQ and QVU0 still go out, and the error is shown
    // once, at the end.
    const QStringList okAndBoth{"confirm", "QVU1/2", "QVER/54", "confirm", "QVEJ/45", "fullread",
                                "QVEQ/45", "fullread", "QVU0/2", "conversion error"};
    QTest::newRow("both read-backs fail")
        << 200 << QList<bool>{true, true} << false << int(O::Refilled) << okAndBoth
        << QStringList{"first", "second"};
    QTest::newRow("second read-back fails")
        << 200 << QList<bool>{true, true} << false << int(O::Refilled) << okAndBoth
        << QStringList{"", "second"};
    QTest::newRow("Cancel, read-back fails in manual mode")
        << 200 << QList<bool>{true, false} << true << int(O::Ended)
        << QStringList{"confirm", "QVU1/2", "QVER/54", "confirm", "QVEQ/45", "fullread",
                       "conversion error"}
        << QStringList{"only"};
}

void TestChangeReconciliation::sequence()
{
    QFETCH(int, firmware);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, manual);
    QFETCH(int, outcome);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, readErrors);

    // A controller that answers nothing: the sequence must not depend on it.
    OperationRig rig;
    rig.host.answers = answers;
    for (const QString &e : readErrors)
        rig.host.readErrors.append(e.isEmpty() ? std::nullopt : std::optional<QString>(e));
    rig.host.manual = manual;
    DeviceData data;
    data[Slot::FirmwareVersion] = firmware;

    QCOMPARE(int(ChangeReconciliation::run(rig.link, rig.host, data)), outcome);
    QCOMPARE(rig.log->entries, expected);
    const QStringList shown = readErrors.filter(QRegularExpression(QStringLiteral(".")));
    QCOMPARE(rig.host.errorTexts, shown.mid(0, 1));
    QCOMPARE(rig.host.confirmTexts.value(0),
             QStringLiteral("自動つり銭合せ（精算）処理を開始します.\n実行してもよろしいですか？"));
}

void TestChangeReconciliation::reportShownFromReply()
{
    OperationRig rig;
    rig.port->replies["QVER"] =
        FakePort::ok("0010,00000BB8,00,05,00,00,000A,0000,0000,0000,000001F4");
    rig.host.answers = {true, false};
    DeviceData data;
    data[Slot::FirmwareVersion] = 200;

    ChangeReconciliation::run(rig.link, rig.host, data);
    QCOMPARE(rig.host.confirmTexts.size(), 2);
    QCOMPARE(rig.host.confirmTexts.at(1),
             Head + figures("0016", "3000", "500")
                 + QStringLiteral("自動補充チューブ[50円]:5枚 不足\n"
                                  "手動補充チューブ[10円]:10枚 不足\n")
                 + Tail);
}

QTEST_GUILESS_MAIN(TestChangeReconciliation)
#include "tst_change_reconciliation.moc"
