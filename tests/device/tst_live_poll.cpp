// The poll's cadence, its live re-read and the state sentences.
#include "device/LivePoll.h"
#include "tests/support/ScriptedController.h"

#include <QtTest>
#include <climits>

class TestLivePoll : public QObject {
    Q_OBJECT
private slots:
    void cadence();
    void refresh();
    void refreshOnASilentLine_data();
    void refreshOnASilentLine();
    void refreshDisturbed_data();
    void refreshDisturbed();
    void countersBeforeAClear_data();
    void countersBeforeAClear();
    void sentence_data();
    void sentence();
    void stateReply_data();
    void stateReply();
    void figuresFell_data();
    void figuresFell();
};

void TestLivePoll::cadence()
{
    int count = 0;   // as the connection leaves it
    QList<int> refreshedOn;
    QList<int> counts;
    for (int tick = 1; tick <= 16; ++tick) {
        if (LivePoll::advancePollTick(count))
            refreshedOn << tick;
        counts << count;
    }
    QCOMPARE(refreshedOn, (QList<int>{5, 10, 15}));
    QCOMPARE(counts, (QList<int>{1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1}));
}

void TestLivePoll::refresh()
{
    ScriptedLink s;
    const char *idx = "0123456789ABCDEF";
    QByteArrayList commands;
    QList<int> sizes;
    for (int i = 0; i < 16; ++i) {
        s.answer(QByteArray("QVRC") + idx[i], QByteArray::number(0x3039 + i, 16));
        commands << QByteArray("QVRC") + idx[i];
        sizes << 11;
    }
    s.answer("QVREA", "0001E240");
    s.answer("QVC", "0a0b" + QByteArray(15, 'Z'));
    commands << "QVREA" << "QVC";
    sizes << 15 << 26;

    DeviceData data;
    for (int i = 0; i < Slot::Count; ++i)
        data[i] = 9000 + i;
    LivePoll::refreshLiveValues(s.link, data);

    QCOMPARE(s.state->commands, commands);
    QCOMPARE(s.state->readSizes, sizes);
    for (int i = 0; i < 16; ++i)
        QCOMPARE(data.ColumnSalesCount(i), 12345 + i);
    QCOMPARE(data.SalesTotal(), 123456);
    QCOMPARE(data.EarnValueB(), 0);
    QCOMPARE(data.CoinReplyValue(), 0x0a0b);
    // Prices, options, flags and the rest are not re-read.
    for (int slot : {Slot::ColumnPrice, Slot::ColumnPrice + 15, Slot::TubeCurrentCount, Slot::EarnValueC,
                     Slot::OptionSelection, Slot::DeviceStatusFlags, Slot::FirmwareVersion})
        QCOMPARE(data[slot], 9000 + slot);
}

void TestLivePoll::refreshOnASilentLine_data()
{
    // The first command that gets no byte at all, and where the refresh ends.
    QTest::addColumn<QByteArray>("silentFrom");
    QTest::addColumn<int>("sent");
    // The sixth count's reply is cut short: its bytes may be another
    // command's, so nothing of the refresh counts.
    QTest::addColumn<bool>("cut");
    QTest::newRow("first read") << QByteArray("QVRC0") << 1 << false;
    QTest::newRow("eighth read") << QByteArray("QVRC7") << 8 << false;
    QTest::newRow("total") << QByteArray("QVREA") << 17 << false;
    QTest::newRow("QVC") << QByteArray("QVC") << 18 << false;
    QTest::newRow("QVC, a count cut before") << QByteArray("QVC") << 18 << true;
}

void TestLivePoll::refreshOnASilentLine()
{
    QFETCH(QByteArray, silentFrom);
    QFETCH(int, sent);
    QFETCH(bool, cut);
    ScriptedLink s;
    QByteArrayList order;
    for (int i = 0; i < 16; ++i)
        order << QByteArray("QVRC") + "0123456789ABCDEF"[i];
    order << "QVREA" << "QVC";
    bool silent = false;
    for (const QByteArray &c : order) {
        silent = silent || c == silentFrom;
        if (!silent)
            s.answer(c, c == "QVC" ? QByteArray(19, '1') : QByteArray(c == "QVREA" ? "00000001" : "0001"));
    }
    // An unusable reply is still a reply: the refresh goes on, and the
    // count keeps what it showed instead of flashing 0000.
    s.answerRaw("QVRC2", "OK   :zz\r");
    s.answerRaw("QVRC4", "RBUSY:0005\r");
    s.answerRaw("QVRC5", cut ? QByteArray("OK   :05") : QByteArray("OK   :05\r"));
    DeviceData data;
    for (int i = 0; i < Slot::Count; ++i)
        data[i] = 9000 + i;
    QCOMPARE(LivePoll::refreshLiveValues(s.link, data), false);
    QCOMPARE(s.state->commands, order.mid(0, sent));
    for (int i = 0; i < 16; ++i) {
        const bool kept = cut || i >= sent - 1 || (i >= 2 && i <= 5 && i != 3);
        const int expected = kept ? 9000 + Slot::ColumnSalesCount + i : 1;
        QCOMPARE(data.ColumnSalesCount(i), expected);
    }
    QCOMPARE(data.SalesTotal(), sent > 17 && !cut ? 1 : 9000 + Slot::SalesTotal);
    QCOMPARE(data.EarnValueB(), sent > 17 && !cut ? 0 : 9000 + Slot::EarnValueB);
    QCOMPARE(data.CoinReplyValue(), 9000 + Slot::CoinReplyValue);
}

void TestLivePoll::refreshDisturbed_data()
{
    // A byte nobody asked for behind one reply: any value of the refresh may
    // be another command's reply, so none is taken.
    QTest::addColumn<QByteArray>("strayAfter");
    QTest::newRow("behind a count") << QByteArray("QVRC3");
    QTest::newRow("behind the last reply") << QByteArray("QVC");
}

void TestLivePoll::refreshDisturbed()
{
    QFETCH(QByteArray, strayAfter);
    ScriptedLink s;
    for (int i = 0; i < 16; ++i)
        s.answer(QByteArray("QVRC") + "0123456789ABCDEF"[i], "0001");
    s.answer("QVREA", "00000001");
    s.answer("QVC", QByteArray(19, '1'));
    s.answerRaw(strayAfter, s.state->replies.value(strayAfter) + "X");
    DeviceData data;
    for (int i = 0; i < Slot::Count; ++i)
        data[i] = 9000 + i;
    const DeviceData before = data;

    LivePoll::refreshLiveValues(s.link, data);

    QCOMPARE(s.state->commands.size(), 18);   // the refresh ran to its end
    for (int i = 0; i < Slot::Count; ++i)
        QCOMPARE(data[i], before[i]);
}

void TestLivePoll::countersBeforeAClear_data()
{
    // The reply of "QVRC5" (column 6); anything but a whole one with the
    // normal status and four hex digits leaves nothing to keep.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count6");   // -1: nothing read
    QTest::newRow("whole") << QByteArray("OK   :FFFF\r") << 65535;
    QTest::newRow("above four decimal digits") << QByteArray("OK   :3039\r") << 12345;
    QTest::newRow("two digits") << QByteArray("OK   :01\r") << -1;
    QTest::newRow("not hex") << QByteArray("OK   :12G4\r") << -1;
    QTest::newRow("three digits") << QByteArray("OK   :123\r") << -1;
    QTest::newRow("cut short") << QByteArray("OK   :12") << -1;
    QTest::newRow("error") << QByteArray("ERR  :05\r") << -1;
    QTest::newRow("silent") << QByteArray() << -1;
}

void TestLivePoll::countersBeforeAClear()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, count6);
    ScriptedLink s;
    for (int i = 0; i < 16; ++i)
        s.answer(QByteArray("QVRC") + "0123456789ABCDEF"[i], "000" + QByteArray::number(i % 10));
    s.answerRaw("QVRC5", reply);
    s.answer("QVREA", "B2D05E00");   // 3,000,000,000: past a signed 32-bit value
    const std::optional<LivePoll::Counters> c = LivePoll::readCounters(s.link);
    QCOMPARE(c.has_value(), count6 >= 0);
    if (!c)
        return;
    QCOMPARE(c->counts[5], std::uint32_t(count6));
    QCOMPARE(c->counts[15], 5u);
    QCOMPARE(c->total, 3000000000u);
}

void TestLivePoll::sentence_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    const QString comm = QStringLiteral("通信エラーが起きています.");
    QTest::newRow("0") << 0 << QStringLiteral("通常状態です.");
    QTest::newRow("1") << 1 << QStringLiteral("リセット中です.");
    QTest::newRow("-1") << -1 << QStringLiteral("清算(返金・収納)処理中です.");
    QTest::newRow("-2") << -2 << QStringLiteral("つり銭合せ処理中です.");
    QTest::newRow("2") << 2 << QStringLiteral("エラー2発生中です.");
    QTest::newRow("12") << 12 << QStringLiteral("エラー12発生中です.");
    QTest::newRow("99") << 99 << QStringLiteral("エラー99発生中です.");
    QTest::newRow("100") << 100 << comm;
    QTest::newRow("101") << 101 << comm;
    QTest::newRow("-3") << -3 << comm;
    QTest::newRow("INT_MIN") << INT_MIN << comm;
    QTest::newRow("INT_MAX") << INT_MAX << comm;
}

void TestLivePoll::sentence()
{
    QFETCH(int, status);
    QFETCH(QString, text);
    QCOMPARE(LivePoll::stateSentence(status), text);
}

void TestLivePoll::stateReply_data()
{
    // From the bytes of the "QVY" reply to the sentence the bar shows.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("normal") << QByteArray("OK   :00\r") << QStringLiteral("通常状態です.");
    QTest::newRow("RBUSY") << QByteArray("RBUSY:00\r") << QStringLiteral("リセット中です.");
    QTest::newRow("EBUSY") << QByteArray("EBUSY:00\r") << QStringLiteral("つり銭合せ処理中です.");
    QTest::newRow("ERR99") << QByteArray("ERR99:00\r") << QStringLiteral("エラー99発生中です.");
    QTest::newRow("ERR01 reads as resetting") << QByteArray("ERR01:00\r") << QStringLiteral("リセット中です.");
    QTest::newRow("silent") << QByteArray() << QStringLiteral("通信エラーが起きています.");
}

void TestLivePoll::stateReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    ScriptedLink s;
    s.answerRaw("QVY", reply);
    QCOMPARE(LivePoll::stateSentence(LivePoll::requestDeviceState(s.link)), text);
    QCOMPARE(s.state->commands, QByteArrayList{"QVY"});
    QCOMPARE(s.state->readSizes, QList<int>{9});
}

void TestLivePoll::figuresFell_data()
{
    // Column 3's count and the total before and after; whether only another
    // machine explains it.
    QTest::addColumn<int>("countBefore");
    QTest::addColumn<int>("countAfter");
    QTest::addColumn<qint64>("totalBefore");
    QTest::addColumn<qint64>("totalAfter");
    QTest::addColumn<bool>("fell");
    QTest::newRow("sales") << 10 << 12 << qint64(1000) << qint64(1240) << false;
    QTest::newRow("nothing sold") << 10 << 10 << qint64(1000) << qint64(1000) << false;
    QTest::newRow("total fell") << 10 << 12 << qint64(1000) << qint64(900) << true;
    QTest::newRow("count fell, total the same") << 10 << 3 << qint64(1000) << qint64(1000) << true;
    // A count passing 65535 wraps while the total grows: a sale.
    QTest::newRow("count wrapped") << 65535 << 1 << qint64(1000) << qint64(1240) << false;
    // The total is 32 bits unsigned: above 0x7FFFFFFF it still grows.
    QTest::newRow("total past 2^31") << 10 << 11 << qint64(0x7FFFFFFF) << qint64(0x80000010) << false;
}

void TestLivePoll::figuresFell()
{
    QFETCH(int, countBefore);
    QFETCH(int, countAfter);
    QFETCH(qint64, totalBefore);
    QFETCH(qint64, totalAfter);
    QFETCH(bool, fell);
    DeviceData before;
    DeviceData after;
    before.ColumnSalesCount(2) = countBefore;
    after.ColumnSalesCount(2) = countAfter;
    before.SalesTotal() = std::int32_t(std::uint32_t(totalBefore));
    after.SalesTotal() = std::int32_t(std::uint32_t(totalAfter));
    QCOMPARE(LivePoll::figuresFell(before, after), fell);
}

QTEST_APPLESS_MAIN(TestLivePoll)
#include "tst_live_poll.moc"
