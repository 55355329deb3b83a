// The full read against a scripted controller: the 46 commands, what each
// reply becomes, what reaches the window mid-sequence, a receipt line no
// reply vouched for, a controller that answers only the probe, and the stop
// on a relayout that fails.
#include "device/FullRead.h"
#include "device/ValueOrigins.h"
#include "link/ShiftJis.h"
#include "tests/support/ScriptedController.h"

#include <QtTest>

namespace {

// The wire sequence, restated on purpose: command and expected payload length.
QList<QPair<QByteArray, int>> expectedSequence()
{
    QList<QPair<QByteArray, int>> s;
    s << qMakePair(QByteArray("QVQ"), 2);
    const char *idx = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i)
        s << qMakePair(QByteArray("QVRP") + idx[i], 4);
    for (int i = 0; i < 16; ++i)
        s << qMakePair(QByteArray("QVRC") + idx[i], 4);
    for (int k = 1; k <= 6; ++k)
        s << qMakePair(QByteArray("QVRO") + char('0' + k), 2);
    s << qMakePair(QByteArray("QVROA"), 40) << qMakePair(QByteArray("QVROB"), 40)
      << qMakePair(QByteArray("QVROC"), 40) << qMakePair(QByteArray("QVRON"), 10)
      << qMakePair(QByteArray("QVREA"), 8) << qMakePair(QByteArray("QVREC"), 4)
      << qMakePair(QByteArray("QVC"), 19);
    return s;
}

QByteArray hex4(int v) { return QByteArray::number(v, 16).toUpper().rightJustified(4, '0'); }

const QString lineA = QStringLiteral("領 収 書");
const QString lineB = QStringLiteral("ご利用ありがとうございます");
const QString lineC = QStringLiteral("ABC");

// A controller with a distinct value in every reply.
void scriptController(ScriptedLink &s)
{
    const char *idx = "0123456789ABCDEF";
    s.answer("QVQ", "01");
    for (int i = 0; i < 16; ++i) {
        s.answer(QByteArray("QVRP") + idx[i], hex4(100 + i * 10));
        s.answer(QByteArray("QVRC") + idx[i], hex4(i * 1000 + 7));
    }
    for (int k = 1; k <= 6; ++k)
        s.answer("QVRO" + QByteArray::number(k), "0" + QByteArray::number(k % 3));
    s.answer("QVROA", "21" + ShiftJis::encode(lineA));
    s.answer("QVROB", "12" + ShiftJis::encode(lineB));
    s.answer("QVROC", "43" + ShiftJis::encode(lineC));
    s.answer("QVRON", "ID-00042");
    s.answer("QVREA", "0001E240");
    s.answer("QVREC", "0010");
    s.answer("QVC", "00FF" + QByteArray(15, '9'));
    // Asked after a gap in the line: who answers now.
    s.answer("QVV", "QUVO ver2.05");
    s.answer("QV", QByteArray());
}

DeviceData sentinelData()
{
    DeviceData d;
    for (int i = 0; i < Slot::Count; ++i)
        d[i] = -7000 - i;
    return d;
}

} // namespace

class TestFullRead : public QObject {
    Q_OBJECT
private slots:
    void sequence();
    void table();
    void viewUpdates();
    void statusesNotExamined_data();
    void statusesNotExamined();
    void silentLine_data();
    void silentLine();
    void deadLineInARereadGroup();
    void gapInTheLine_data();
    void gapInTheLine();
    void unreadReceiptLine_data();
    void unreadReceiptLine();
    void relayoutFails();
    void origins_data();
    void origins();
};

void TestFullRead::sequence()
{
    ScriptedLink s;
    scriptController(s);
    DeviceData data;
    RecordingView view;
    const FullRead::Result r = FullRead::run(s.link, data, view);
    QVERIFY(r.completed);
    QVERIFY(r.error.isEmpty());

    const auto expected = expectedSequence();
    QCOMPARE(expected.size(), 46);
    QByteArrayList commands;
    QList<int> sizes;
    for (const auto &e : expected) {
        commands << e.first;
        sizes << e.second + 7;
    }
    QCOMPARE(s.state->commands, commands);
    QCOMPARE(s.state->readSizes, sizes);
}

void TestFullRead::table()
{
    ScriptedLink s;
    scriptController(s);
    DeviceData data = sentinelData();
    RecordingView view;
    QVERIFY(FullRead::run(s.link, data, view).completed);

    QCOMPARE(data.DeviceStatusFlags(), 1);
    for (int i = 0; i < 16; ++i) {
        QCOMPARE(data.ColumnPrice(i), 100 + i * 10);
        QCOMPARE(data.ColumnSalesCount(i), i * 1000 + 7);
    }
    for (int k = 0; k < 6; ++k)
        QCOMPARE(data.OptionSelection(k), (k + 1) % 3);
    QCOMPARE(data.SalesTotal(), 123456);
    QCOMPARE(data.EarnValueB(), 0);
    QCOMPARE(data.EarnValueC(), 16);
    QCOMPARE(data.CoinReplyValue(), 255);
    // Tubes and the version are no business of the full read.
    for (int slot = Slot::TubeCurrentCount; slot < Slot::SalesTotal; ++slot)
        QCOMPARE(data[slot], -7000 - slot);
    QCOMPARE(data.FirmwareVersion(), -7000 - Slot::FirmwareVersion);
}

void TestFullRead::viewUpdates()
{
    ScriptedLink s;
    scriptController(s);
    DeviceData data;
    RecordingView view;
    QVERIFY(FullRead::run(s.link, data, view).completed);
    const QStringList expected = {
        "text 0 " + lineA, "index 0 1", "index 1 0", "black 0",
        "text 1 " + lineB, "index 2 0", "index 3 1", "black 1",
        "text 2 " + lineC, "index 4 3", "index 5 2", "black 2",
        "ident ID-00042",
    };
    QCOMPARE(view.events, expected);
}

void TestFullRead::statusesNotExamined_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("price");
    QTest::addColumn<bool>("read");   // the value counts as read
    // No whole reply with a known status: its bytes may belong to another
    // command, so the prices are read again (and voided again: nothing of
    // them counts), and another controller may answer after it, so the read
    // ends by asking "QVRON" and "QVV" again.
    QTest::addColumn<bool>("gap");
    QTest::newRow("normal") << QByteArray("OK   :0078\r") << 0x78 << true << false;
    QTest::newRow("resetting") << QByteArray("RBUSY:0078\r") << 0x78 << false << false;
    QTest::newRow("settling") << QByteArray("BBUSY:0079\r") << 0x79 << false << false;
    QTest::newRow("error 12") << QByteArray("ERR12:007A\r") << 0x7A << false << false;
    QTest::newRow("LF for CR") << QByteArray("OK   :0078\n") << 0x78 << false << true;
    QTest::newRow("short payload") << QByteArray("OK   :12\r") << 0x12 << false << false;
    QTest::newRow("cut after a digit") << QByteArray("OK   :0078") << 0 << false << true;
    QTest::newRow("garbled status") << QByteArray("NG   :0078\r") << 0 << false << true;
    QTest::newRow("not hexadecimal") << QByteArray("OK   :00G8\r") << 0 << false << false;
}

void TestFullRead::statusesNotExamined()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, price);
    QFETCH(bool, read);
    QFETCH(bool, gap);
    ScriptedLink s;
    scriptController(s);
    s.answerRaw("QVRP3", reply);
    DeviceData data;
    RecordingView view;
    const FullRead::Result r = FullRead::run(s.link, data, view);
    QVERIFY(r.completed);
    QCOMPARE(data.ColumnPrice(3), price);
    QCOMPARE(bool(r.read[Slot::ColumnPrice + 3]), read);
    QCOMPARE(data.ColumnPrice(4), 140);   // the sequence went on
    QCOMPARE(bool(r.read[Slot::ColumnPrice + 4]), !gap);
    QCOMPARE(s.state->commands.size(), gap ? 46 + 17 + 2 : 46);
}

void TestFullRead::silentLine_data()
{
    // The commands that get no reply, whether the probe "QV" answers, the
    // commands sent in all (probes included).
    QTest::addColumn<QByteArrayList>("lost");
    QTest::addColumn<bool>("probeAnswers");
    QTest::addColumn<int>("commandsSent");
    QTest::newRow("first read") << QByteArrayList{"QVQ"} << false << 2;
    QTest::newRow("a price") << QByteArrayList{"QVRP3"} << false << 6;
    QTest::newRow("line A") << QByteArrayList{"QVROA"} << false << 41;
    QTest::newRow("the last read") << QByteArrayList{"QVC"} << false << 47;
    // A controller that answers the probe and nothing else: three reads in
    // a row are enough to tell, not 46 time-outs.
    QTest::newRow("only the probe answers") << QByteArrayList{"QVQ", "QVRP0", "QVRP1", "QVRP2", "QVRP3"} << true << 6;
    QTest::newRow("only the probe, from line B on")
        << QByteArrayList{"QVROB", "QVROC", "QVRON", "QVREA", "QVREC", "QVC"} << true << 40 + 6;
}

void TestFullRead::silentLine()
{
    // The read that tells a dead line ends the sequence: every further read
    // would cost its own time-out, and the slot and the boxes keep what
    // they held rather than turn into 0 or a conversion error.
    QFETCH(QByteArrayList, lost);
    QFETCH(bool, probeAnswers);
    QFETCH(int, commandsSent);
    ScriptedLink s;
    scriptController(s);
    for (const QByteArray &command : lost)
        s.answerRaw(command, QByteArray());
    if (!probeAnswers)
        s.answerRaw("QV", QByteArray());
    s.state->timed = true;
    DeviceData data = sentinelData();
    RecordingView view;
    const FullRead::Result r = FullRead::run(s.link, data, view);
    QVERIFY(!r.completed);
    QVERIFY(r.silent);
    QVERIFY(r.error.isEmpty());
    // The probe that told the dead line from one lost reply is the last command.
    QCOMPARE(s.state->commands.size(), commandsSent);
    QCOMPARE(s.state->commands.last(), QByteArray("QV"));
    // A controller silent from the first read is told within five seconds
    // of the line's time, whether or not the probe answers.
    if (lost.first() == "QVQ")
        QVERIFY2(s.state->clockMs < 5000, qPrintable(QString::number(s.state->clockMs)));
    QCOMPARE(data.ColumnPrice(3) == -7000 - Slot::ColumnPrice - 3,
             !s.state->commands.contains("QVRP3") || lost.contains("QVRP3"));
    QCOMPARE(data.CoinReplyValue(), -7000 - Slot::CoinReplyValue);
    if (lost.first() == "QVROA")
        QCOMPARE(view.events, QStringList());
}

void TestFullRead::deadLineInARereadGroup()
{
    // A copy voids the prices; the line dies while they are read again.
    // Nothing of either attempt passed a checkpoint, so nothing counts.
    ScriptedLink s;
    scriptController(s);
    s.state->queued["QVRP5"] << FakePort::ok("0096") + FakePort::ok("0096");
    s.state->queued["QVRP7"] << FakePort::ok("00AA") << QByteArray();
    s.answerRaw("QV", QByteArray());
    DeviceData data;
    RecordingView view;
    const FullRead::Result r = FullRead::run(s.link, data, view);
    QVERIFY(r.silent);
    QCOMPARE(s.state->commands.size(), 17 + 9 + 1);
    QVERIFY2(r.read.none(), r.read.to_string().c_str());
}

void TestFullRead::gapInTheLine_data()
{
    // One command's replies in turn (one-shot), and what the read then counts.
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QList<int>>("unread");   // slots among those checked
    QTest::addColumn<QStringList>("unknown");  // settings then not known
    QTest::addColumn<bool>("identityChanged");
    QTest::addColumn<int>("commandsSent");
    QTest::addColumn<QByteArrayList>("alsoLost");   // their first replies lost as well

    const QByteArray copied = FakePort::ok("03DE") + FakePort::ok("03DE");
    // One lost reply: the probe answers, the value stays unread, the read
    // goes on and ends by asking who answers now.
    QTest::newRow("QVREC lost") << QByteArray("QVREC") << QByteArrayList{QByteArray()} << QList<int>{Slot::EarnValueC}
                                << QStringList() << false << 46 + 1 + 2 << QByteArrayList();
    QTest::newRow("two replies lost in a row") << QByteArray("QVRP3") << QByteArrayList{QByteArray()}
                                               << QList<int>{Slot::ColumnPrice + 3} << QStringList() << false
                                               << 46 + 2 + 2 << QByteArrayList{"QVRP2"};
    // Lost replies with answered reads between them are each one lost reply.
    QTest::newRow("three lost, answered reads between") << QByteArray("QVRP3") << QByteArrayList{QByteArray()}
                                                        << QList<int>{Slot::ColumnPrice + 3, Slot::ColumnPrice + 5}
                                                        << QStringList() << false << 46 + 3 + 2 << QByteArrayList{"QVRP1", "QVRP5"};
    QTest::newRow("a price lost") << QByteArray("QVRP3") << QByteArrayList{QByteArray()}
                                  << QList<int>{Slot::ColumnPrice + 3} << QStringList() << false << 46 + 1 + 2 << QByteArrayList();
    // A lost receipt line converts nothing: no error box, the line unread.
    QTest::newRow("line 1 lost") << QByteArray("QVROA") << QByteArrayList{QByteArray()} << QList<int>()
                                 << QStringList{"領収書文字1行目"} << false << 46 + 1 + 2 << QByteArrayList();
    // A cut reply may hold another command's bytes: its group is read again.
    QTest::newRow("line 1 cut once") << QByteArray("QVROA") << QByteArrayList{"OK   :2"} << QList<int>()
                                     << QStringList() << false << 46 + 4 + 2 << QByteArrayList();
    // Another controller at the end of a read with a gap: nothing counts.
    QTest::newRow("identification changed after a gap")
        << QByteArray("QVRON") << QByteArrayList{FakePort::ok("ID-00042"), FakePort::ok("OTHER")}
        << QList<int>() << QStringList{"領収書の発行時間", "精算時の端数処理", "エラー・警告時／操作時のブザー音",
                                                  "５円有効／無効", "プリンタ接続", "減算モード", "領収書文字1行目",
                                                  "領収書文字2行目", "領収書文字3行目", "識別文字"}
        << true << 46 + 1 + 2 << QByteArrayList{"QVREC"};
    // A copy behind a reply voids the group, which is read once more.
    QTest::newRow("a reply copied once") << QByteArray("QVRP5") << QByteArrayList{copied} << QList<int>() << QStringList()
                                         << false << 46 + 17 + 2 << QByteArrayList();
    QTest::newRow("a reply copied twice") << QByteArray("QVRP5") << QByteArrayList{copied, copied}
                                          << QList<int>{Slot::ColumnPrice, Slot::ColumnPrice + 3, Slot::ColumnPrice + 5} << QStringList() << false << 46 + 17 + 2 << QByteArrayList();
    // Bytes that are not code page 932 are no text the controller holds.
    QTest::newRow("line 2 not code page 932") << QByteArray("QVROB") << QByteArrayList{FakePort::ok("12A\xFF" "B\x81 C\x85")}
                                              << QList<int>() << QStringList{"領収書文字2行目"} << false << 46 << QByteArrayList();
    QTest::newRow("identification not code page 932") << QByteArray("QVRON") << QByteArrayList{FakePort::ok("AB\xFF")}
                                                      << QList<int>() << QStringList{"識別文字"} << false << 46 << QByteArrayList();
    // Bytes that decode, but to text that encodes to other bytes (NEC row 13's
    // approximately-equal sign): not what the controller holds either.
    QTest::newRow("identification not its own round trip") << QByteArray("QVRON") << QByteArrayList{FakePort::ok("AB\x87\x90")}
                                                          << QList<int>() << QStringList{"識別文字"} << false << 46 << QByteArrayList();
}

void TestFullRead::gapInTheLine()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArrayList, replies);
    QFETCH(QList<int>, unread);
    QFETCH(QStringList, unknown);
    QFETCH(bool, identityChanged);
    QFETCH(int, commandsSent);
    QFETCH(QByteArrayList, alsoLost);

    ScriptedLink s;
    scriptController(s);
    for (const QByteArray &c : alsoLost)
        s.state->queued[c] << QByteArray();
    s.answer("QVV", "QUVO ver2.05");
    for (const QByteArray &r : replies)
        s.state->queued[command] << r;
    DeviceData data;
    RecordingView view;
    ValueOrigins origins;
    const FullRead::Result r = FullRead::run(s.link, data, view, &origins);

    QVERIFY(r.completed);
    QVERIFY(!r.silent);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.identityChanged, identityChanged);
    QCOMPARE(s.state->commands.size(), commandsSent);
    for (int slot : {int(Slot::ColumnPrice), int(Slot::ColumnPrice + 3), int(Slot::ColumnPrice + 5),
                     int(Slot::ColumnSalesCount + 15), int(Slot::EarnValueC)})
        QCOMPARE(bool(r.read[std::size_t(slot)]), !unread.contains(slot) && !identityChanged);
    QCOMPARE(origins.unknownNames(ValueOrigins::Option1, ValueOrigins::Identification), unknown);
}

void TestFullRead::unreadReceiptLine_data()
{
    // The line's command, its raw reply, whether that reply comes only after
    // the read's deadline, and the line's number (0-2).
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("late");
    QTest::addColumn<int>("line");
    // The reply held bytes that were no whole reply, so the lines and the
    // identification were read again, and cut again: none of them counts.
    QTest::addColumn<bool>("groupVoided");
    QTest::newRow("A lost") << QByteArray("QVROA") << QByteArray() << false << 0 << false;
    QTest::newRow("A cut after a digit") << QByteArray("QVROA") << QByteArray("OK   :2") << false << 0 << true;
    QTest::newRow("A late") << QByteArray("QVROA") << FakePort::ok("21abc") << true << 0 << false;
    QTest::newRow("A: noise before the status") << QByteArray("QVROA") << QByteArray("\x15\x15OK   :21abc\r") << false
                                                << 0 << true;
    QTest::newRow("A: X a letter") << QByteArray("QVROA") << FakePort::ok("x1abc") << false << 0 << false;
    QTest::newRow("B: Y a letter") << QByteArray("QVROB") << FakePort::ok("2Zdef") << false << 1 << false;
    QTest::newRow("B: Y missing") << QByteArray("QVROB") << FakePort::ok("3") << false << 1 << false;
    QTest::newRow("C: busy, X a space") << QByteArray("QVROC") << QByteArray("RBUSY: 1\r") << false << 2 << false;
    QTest::newRow("C lost") << QByteArray("QVROC") << QByteArray() << false << 2 << false;
}

void TestFullRead::unreadReceiptLine()
{
    // A receipt line no usable reply carried is one lost value: shown as
    // unread (no text, no magnification, the comment left grey), noted as
    // not known, and the read goes on to its end; nothing off the wire is
    // a conversion error.
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(bool, late);
    QFETCH(int, line);
    QFETCH(bool, groupVoided);
    const QStringList names{"領収書文字1行目", "領収書文字2行目", "領収書文字3行目"};

    ScriptedLink s;
    scriptController(s);
    s.answerRaw(command, reply);
    if (late)
        s.state->late << command;
    DeviceData data = sentinelData();
    RecordingView view;
    ValueOrigins origins;
    const FullRead::Result r = FullRead::run(s.link, data, view, &origins);

    QVERIFY(r.completed);
    QVERIFY(!r.silent);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QVERIFY(s.state->commands.contains("QVC"));
    QCOMPARE(data.SalesTotal(), 123456);
    QCOMPARE(origins.unknownNames(ValueOrigins::Option1, ValueOrigins::Identification),
             groupVoided ? names + QStringList{"識別文字"} : QStringList{names[line]});
    const QStringList unread{QStringLiteral("text %1 ").arg(line), QStringLiteral("index %1 -1").arg(line * 2),
                             QStringLiteral("index %1 -1").arg(line * 2 + 1)};
    const qsizetype at = view.events.indexOf(unread[0]);
    QVERIFY2(at >= 0, qPrintable(view.events.join(" | ")));
    QCOMPARE(view.events.mid(at, 3), unread);
    for (int other = 0; other < 3; ++other)
        QCOMPARE(view.events.contains(QStringLiteral("black %1").arg(other)), other != line);
}

void TestFullRead::relayoutFails()
{
    // The relayout that line B's new text runs fails (the operator left a
    // box of line A without a number): the read ends there with that
    // error, the texts before it shown.
    ScriptedLink s;
    scriptController(s);
    DeviceData data = sentinelData();
    RecordingView view;
    view.failingLine = 1;
    const FullRead::Result r = FullRead::run(s.link, data, view);

    QVERIFY(!r.completed);
    QCOMPARE(r.error, QStringLiteral("relayout failed"));
    QCOMPARE(s.state->commands.size(), 41);
    QCOMPARE(s.state->commands.last(), QByteArray("QVROB"));
    QCOMPARE(view.events, (QStringList{"text 0 " + lineA, "index 0 1", "index 1 0", "black 0", "text 1 " + lineB}));
    // What came before the failing line is in the table, what follows is not.
    QCOMPARE(data.ColumnPrice(15), 250);
    QCOMPARE(data.OptionSelection(5), 0);
    QCOMPARE(data.SalesTotal(), -7000 - Slot::SalesTotal);
    QCOMPARE(data.EarnValueB(), -7000 - Slot::EarnValueB);
    QCOMPARE(data.CoinReplyValue(), -7000 - Slot::CoinReplyValue);
}

void TestFullRead::origins_data()
{
    // A reply of the failing command and the settings then not known.
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("unknown");

    // In the order of the screen: option 3's selector is above option 2's.
    const QStringList everything{"領収書の発行時間", "精算時の端数処理", "エラー・警告時／操作時のブザー音",
                                 "５円有効／無効", "プリンタ接続", "減算モード",
                                 "領収書文字1行目", "領収書文字2行目", "領収書文字3行目", "識別文字"};
    QTest::newRow("all usable") << QByteArray() << QByteArray() << QStringList();
    // A lost reply is no dead line: the probe answers and the read goes on.
    QTest::newRow("option 2 silent") << QByteArray("QVRO2") << QByteArray() << QStringList{everything[2]};
    QTest::newRow("option 2 ERR") << QByteArray("QVRO2") << QByteArray("ERR12:00\r")
                                  << QStringList{everything[2]};
    QTest::newRow("option 3 busy") << QByteArray("QVRO3") << QByteArray("RBUSY:00\r")
                                   << QStringList{everything[1]};
    QTest::newRow("option 3 not hexadecimal") << QByteArray("QVRO3") << FakePort::ok("G1")
                                              << QStringList{everything[1]};
    QTest::newRow("option 4 one digit") << QByteArray("QVRO4") << FakePort::ok("1")
                                        << QStringList{everything[3]};
    QTest::newRow("option 5 ERR") << QByteArray("QVRO5") << QByteArray("ERR05:\r")
                                  << QStringList{everything[4]};
    // A cut reply may hold another command's bytes: its whole group is
    // read again, and counts for nothing when cut again.
    QTest::newRow("option 6 cut short") << QByteArray("QVRO6") << QByteArray("OK   :01") << everything.mid(0, 6);
    QTest::newRow("line 3 busy") << QByteArray("QVROC") << QByteArray("RBUSY:11abc\r") << QStringList{everything[8]};
    QTest::newRow("line 1 cut after a stop") << QByteArray("QVROA") << QByteArray("OK   :11abc.") << everything.mid(6);
    QTest::newRow("line 2 magnification 5") << QByteArray("QVROB") << FakePort::ok("51abc")
                                            << QStringList{everything[7]};
    QTest::newRow("identification ERR") << QByteArray("QVRON") << QByteArray("ERR12:AB\r")
                                        << QStringList{everything[9]};
    // After a gap nothing counts unless the controller can be named again.
    QTest::newRow("identification never answered") << QByteArray("QVRON") << QByteArray() << everything;
    // A magnification that is no digit leaves only its line unread.
    QTest::newRow("line 2: X a letter") << QByteArray("QVROB") << FakePort::ok("x1") << QStringList{everything[7]};
}

void TestFullRead::origins()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, unknown);

    ScriptedLink s;
    scriptController(s);
    if (!command.isEmpty())
        s.answerRaw(command, reply);
    DeviceData data;
    RecordingView view;
    ValueOrigins origins;
    FullRead::run(s.link, data, view, &origins);

    QCOMPARE(origins.unknownNames(ValueOrigins::Option1, ValueOrigins::Identification), unknown);
    if (origins.known(ValueOrigins::Line1Text))
        QCOMPARE(origins.asRead(ValueOrigins::Line1Text).value_or("-"), ShiftJis::encode(lineA));
}

QTEST_APPLESS_MAIN(TestFullRead)
#include "tst_full_read.moc"
