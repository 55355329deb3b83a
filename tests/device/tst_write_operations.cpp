// The write operations' command sequences against the in-process fake port
// and a recording stand-in for the window.
#include "device/WriteOperations.h"
#include "device/FigureContinuity.h"
#include "device/ValueOrigins.h"
#include "device/WriteProof.h"
#include "tests/support/OperationLog.h"

#include <QtTest>
#include <stdexcept>

using WriteOperations::OptionSettings;
using WriteOperations::ReceiptLine;

namespace {

struct Rig : OperationRig {
    DeviceData data;
    ValueOrigins origins;   // every value set by the operator unless a test says otherwise

    Rig()
    {
        for (int f = 0; f < ValueOrigins::FieldCount; ++f)
            origins.setByOperator(ValueOrigins::Field(f));
        host.link = &link;
        // A controller that accepts everything.
        port->fallback = [](const QByteArray &) { return FakePort::ok(); };
    }
};

OptionSettings usualSettings()
{
    OptionSettings s;
    s.selected = {1, 0, 3, 1, 0, 1};
    s.identification = QStringLiteral("ID01");
    s.lines[0] = {QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("領 収 書")};
    s.lines[1] = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("Thanks")};
    s.lines[2] = {QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("")};
    return s;
}

} // namespace

class TestWriteOperations : public QObject {
    Q_OBJECT
private slots:
    void figureContinuity_data();
    void figureContinuity();
    void setPrice_data();
    void setPrice();
    void setPriceOnADeadLine_data();
    void setPriceOnADeadLine();

    void optionValue_data();
    void optionValue();
    void magnification_data();
    void magnification();
    void receiptLineValue_data();
    void receiptLineValue();

    void optionsWriteSequence();
    void optionsWriteSendsControllerValueForNoSelection();
    void optionsWriteIgnoresStatuses_data();
    void optionsWriteIgnoresStatuses();
    void optionsWriteCancelled();
    void optionsWriteRejectsMagnification_data();
    void optionsWriteRejectsMagnification();
    void optionsWriteReenablesWindowOnFailure();
    void optionsWriteRefused_data();
    void optionsWriteRefused();

    void clearCounters_data();
    void clearCounters();

    void settingsNotTaken_data();
    void settingsNotTaken();
    void clearProof_data();
    void clearProof();

    void readPrice_data();
    void readPrice();
};

void TestWriteOperations::setPrice_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("stored");

    auto seq = [](const QString &cell, const QString &command, bool manual) {
        QStringList l{QStringLiteral("cell ") + cell, QStringLiteral("QVU1/2"), command + QStringLiteral("/4")};
        if (!manual)
            l << QStringLiteral("QVU0/2");
        return l;
    };
    QTest::newRow("col3 12.5") << 2 << "12.5" << false << seq("12.5", "QVSP2=007D", false) << 125;
    QTest::newRow("col3 12.5 manual") << 2 << "12.5" << true << seq("12.5", "QVSP2=007D", true) << 125;
    QTest::newRow("col1 99.9") << 0 << "99.9" << false << seq("99.9", "QVSP0=03E7", false) << 999;
    QTest::newRow("col1 0") << 0 << "0" << false << seq("0.0", "QVSP0=0000", false) << 0;
    QTest::newRow("col2 1.2") << 1 << "1.2" << false << seq("1.2", "QVSP1=000C", false) << 12;
    QTest::newRow("col5 150") << 4 << "150" << false << seq("150", "QVSP4=0096", false) << 150;
    QTest::newRow("col5 990 manual") << 4 << "990" << true << seq("990", "QVSP4=03DE", true) << 990;
    QTest::newRow("col7 999") << 6 << "999" << false << seq("999", "QVSP6=03E7", false) << 999;
    QTest::newRow("col9 50.5") << 8 << "50.5" << false << seq("50.5", "QVSP8=01F9", false) << 505;
    QTest::newRow("col1 100") << 0 << "100" << false << QStringList() << -1;
    QTest::newRow("col1 -1.0") << 0 << "-1.0" << false << QStringList() << -1;
    QTest::newRow("col2 1.25") << 1 << "1.25" << false << QStringList() << -1;
    QTest::newRow("col5 155") << 4 << "155" << false << QStringList() << -1;
    QTest::newRow("col7 0") << 6 << "0" << false << QStringList() << -1;
    QTest::newRow("col10 abc manual") << 9 << "abc" << true << QStringList() << -1;
    QTest::newRow("row -1") << -1 << "1.0" << false << QStringList() << -1;
    QTest::newRow("row 10") << 10 << "1.0" << false << QStringList() << -1;
    QTest::newRow("row 15") << 15 << "1.0" << false << QStringList() << -1;
}

void TestWriteOperations::setPrice()
{
    QFETCH(int, row);
    QFETCH(QString, entry);
    QFETCH(bool, manual);
    QFETCH(QStringList, expected);
    QFETCH(int, stored);

    Rig rig;
    const int before = 4321;
    if (row >= 0 && row < 16)
        rig.data.ColumnPrice(row) = before;

    const WriteOperations::PriceWrite result = WriteOperations::setPrice(rig.link, rig.data, row, entry, manual);

    QStringList seen;
    if (result.sent)
        seen << QStringLiteral("cell ") + result.entry.cellText;
    seen << rig.log->entries;
    QCOMPARE(seen, expected);
    QCOMPARE(result.sent, stored >= 0);
    if (result.sent)
        QCOMPARE(result.entry.stored, stored);
    // Only the row written moves, and only when it went out.
    for (int i = 0; i < 16; ++i)
        QCOMPARE(rig.data.ColumnPrice(i), i != row ? 0 : stored >= 0 ? stored : before);
}

void TestWriteOperations::setPriceOnADeadLine_data()
{
    QTest::addColumn<QByteArray>("silent");   // the command whose reply is lost
    QTest::addColumn<bool>("dead");           // and nothing answers from it on
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("writeMode");
    // A reply lost while the controller still answers: write mode is left.
    QTest::newRow("QVU1's reply lost") << QByteArray("QVU1") << false
                                       << QStringList{"QVU1/2", "QV/0", "QVU0/2"} << int(WriteModeEnd::Closed);
    QTest::newRow("QVSP's reply lost") << QByteArray("QVSP2=007D") << false
                                       << QStringList{"QVU1/2", "QVSP2=007D/4", "QVU0/2"} << int(WriteModeEnd::Closed);
    // A dead line cannot be told: write mode may be open.
    QTest::newRow("dead from QVU1") << QByteArray("QVU1") << true << QStringList{"QVU1/2", "QV/0"}
                                    << int(WriteModeEnd::MayBeOpen);
    QTest::newRow("dead from QVSP") << QByteArray("QVSP2=007D") << true
                                    << QStringList{"QVU1/2", "QVSP2=007D/4", "QVU0/2", "QV/0"}
                                    << int(WriteModeEnd::MayBeOpen);
}

void TestWriteOperations::setPriceOnADeadLine()
{
    // The table keeps the price the controller last reported, not the entry.
    QFETCH(QByteArray, silent);
    QFETCH(bool, dead);
    QFETCH(QStringList, expected);
    QFETCH(int, writeMode);
    Rig rig;
    bool silenced = false;
    rig.port->fallback = [&](const QByteArray &c) {
        const bool now = c == silent || (dead && silenced);
        silenced = silenced || c == silent;
        return now ? QByteArray() : FakePort::ok();
    };
    rig.data.ColumnPrice(2) = 300;
    const WriteOperations::PriceWrite result = WriteOperations::setPrice(rig.link, rig.data, 2, "12.5", false);
    QVERIFY(result.sent);
    QVERIFY(!result.answered);
    QCOMPARE(rig.log->entries, expected);
    QCOMPARE(int(result.writeMode), writeMode);
    QCOMPARE(rig.data.ColumnPrice(2), 300);
}

void TestWriteOperations::optionValue_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("controller");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("first item") << 0 << 7 << QByteArray("00");
    QTest::newRow("second item") << 1 << 0 << QByteArray("01");
    QTest::newRow("fourth item") << 3 << 0 << QByteArray("03");
    QTest::newRow("none, controller 5") << -1 << 5 << QByteArray("05");
    QTest::newRow("none, controller 1A") << -1 << 0x1A << QByteArray("1A");
    QTest::newRow("none, controller FF") << -1 << 0xFF << QByteArray("FF");
    QTest::newRow("none, wider reading") << -1 << 0x12345 << QByteArray("45");
    QTest::newRow("none, controller -1") << -1 << -1 << QByteArray("FF");
}

void TestWriteOperations::optionValue()
{
    QFETCH(int, index);
    QFETCH(int, controller);
    QFETCH(QByteArray, value);
    QCOMPARE(WriteOperations::optionValue(index, controller), value);
}

void TestWriteOperations::magnification_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("2") << "2" << true;
    QTest::newRow("3") << "3" << true;
    QTest::newRow("4") << "4" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("5") << "5" << false;
    QTest::newRow("9") << "9" << false;
    QTest::newRow("12") << "12" << false;
    QTest::newRow("letter") << "a" << false;
    QTest::newRow("blank before") << " 2" << false;
    QTest::newRow("full-width 2") << "２" << false;
}

void TestWriteOperations::magnification()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(WriteOperations::magnificationValid(text), valid);
}

void TestWriteOperations::receiptLineValue_data()
{
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("asRead");   // "-": the text was not read
    QTest::addColumn<QByteArray>("value");    // "-": refused

    const QByteArray none("-");
    QTest::newRow("receipt title") << "2" << "2" << "領 収 書" << none
                                   << QByteArray("22\x97\xCC \x8E\xFB \x8F\x91");
    QTest::newRow("X before Y") << "1" << "3" << "AB" << none << QByteArray("13AB");
    QTest::newRow("empty text") << "4" << "1" << "" << none << QByteArray("41");
    QTest::newRow("wave dash") << "1" << "1" << "～" << none << QByteArray("11\x81\x60");
    QTest::newRow("wave dash typed") << "1" << "1" << "〜" << none << QByteArray("11\x81\x60");
    QTest::newRow("half-width kana") << "3" << "2" << "ｱ" << none << QByteArray("32\xB1");
    // Bytes that are not code page 932 go back as they came while the text is unedited.
    const QByteArray invalid("\x41\xFF\x42\x81\x20\x43\x85");
    const QString shown = QString::fromUtf8("A\uFFFDB\uFFFD C\uFFFD");
    QTest::newRow("invalid bytes, unedited") << "1" << "2" << shown << invalid
                                             << QByteArray("12") + invalid;
    QTest::newRow("invalid bytes, edited") << "1" << "2" << shown + "D" << invalid << none;
    QTest::newRow("read text, retyped") << "1" << "1" << "AB" << QByteArray("AB") << QByteArray("11AB");
    QTest::newRow("read text, edited") << "1" << "1" << "ABC" << QByteArray("AB") << QByteArray("11ABC");
    // A CR would end the command inside the text; no control byte goes out.
    QTest::newRow("CR typed") << "1" << "1" << "A\rB" << none << none;
    QTest::newRow("CR read, unedited") << "1" << "1" << "A\rB" << QByteArray("A\rB") << none;
    QTest::newRow("control byte read") << "1" << "1" << "A\x01" << QByteArray("A\x01") << none;
    QTest::newRow("tab") << "1" << "1" << "\t" << none << none;
    QTest::newRow("not in the code page") << "1" << "1" << "A\U0001F600" << none << none;
}

void TestWriteOperations::receiptLineValue()
{
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QString, text);
    QFETCH(QByteArray, asRead);
    QFETCH(QByteArray, value);
    const auto read = asRead == "-" ? std::nullopt : std::optional<QByteArray>(asRead);
    QCOMPARE(WriteOperations::receiptLineValue({x, y, text}, read).value_or("-"), value);
}

void TestWriteOperations::optionsWriteSequence()
{
    Rig rig;
    const QStringList expected{
        "confirm", "check", "disable",
        "QVU1/2",
        "QVSO1=01/2", "QVSO3=03/2", "QVSO2=00/2", "QVSO4=01/2", "QVSO5=00/2", "QVSO6=01/2",
        "QVSON=ID01/10",
        "QVSOA=22\\x97\\xCC \\x8E\\xFB \\x8F\\x91/40",
        "QVSOB=12Thanks/40",
        "QVSOC=13/40",
        "QVW/3",
        "QVF/3", "QVF/0",
        "notify",
        "disconnect", "enable",
    };

    QVERIFY(WriteOperations::writeOptionsAndRestart(rig.link, rig.host, rig.data, usualSettings(), rig.origins));

    QCOMPARE(rig.log->entries, expected);
    QCOMPARE(rig.host.confirmTexts,
             QStringList{QStringLiteral("設定値を書き込み,QUVOを再起動します.\n"
                                        "QUVOとは一旦切断されますので,再起動後に接続し直して下さい.\n"
                                        "実行してもよろしいですか？")});
    QCOMPARE(rig.host.noticeTexts, QStringList{QStringLiteral("QUVOを再起動します.")});
    // The controller is given its pause after storing, before the restart;
    // the notice comes once the restart has gone out, outside write mode.
    const int w = rig.log->entries.indexOf(QStringLiteral("QVW/3"));
    QVERIFY2(rig.log->times[w + 1] - rig.log->times[w] >= 299,
             qPrintable(QString::number(rig.log->times[w + 1] - rig.log->times[w])));
    QVERIFY(!rig.link.portHandleValid());
}

void TestWriteOperations::optionsWriteSendsControllerValueForNoSelection()
{
    Rig rig;
    OptionSettings s = usualSettings();
    s.selected = {-1, 1, -1, 0, 1, 0};
    rig.data.OptionSelection(0) = 0x05;
    rig.data.OptionSelection(2) = 0x0C;
    rig.data.OptionSelection(1) = 0x07;   // ignored: the selector shows item 1

    QVERIFY(WriteOperations::writeOptionsAndRestart(rig.link, rig.host, rig.data, s, rig.origins));

    const QByteArrayList options = rig.port->commands.mid(1, 6);
    QCOMPARE(options, (QByteArrayList{"QVSO1=05", "QVSO3=0C", "QVSO2=01",
                                      "QVSO4=00", "QVSO5=01", "QVSO6=00"}));
    for (const QByteArray &c : rig.port->commands)
        QVERIFY2(!c.contains("FFFFFFFF"), c.constData());
}

void TestWriteOperations::optionsWriteIgnoresStatuses_data()
{
    // The first command nobody answers (none: every one is answered), how
    // many commands go out, what the write returns and how it ends.
    QTest::addColumn<QByteArray>("silentFrom");
    QTest::addColumn<int>("sent");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QStringList>("ending");
    QTest::newRow("errors only: the sequence goes on") << QByteArray() << 14 << true
                                                       << QStringList{"notify", "disconnect", "enable"};
    // Then the probe: nothing answers it either.
    QTest::newRow("silent from QVU1") << QByteArray("QVU1") << 2 << false
                                      << QStringList{"no answer", "lost", "enable"};
    // Then the closing "QVU0" and the probe after it.
    QTest::newRow("silent from QVSON") << QByteArray("QVSON=ID01") << 10 << false
                                       << QStringList{"no answer", "lost", "enable"};
    // The store may have happened: the next connection's proof tells. The
    // window waits for the controller to answer again.
    QTest::newRow("silent at QVW") << QByteArray("QVW") << 13 << true
                                   << QStringList{"no answer", "lost", "enable"};
}

void TestWriteOperations::optionsWriteIgnoresStatuses()
{
    QFETCH(QByteArray, silentFrom);
    QFETCH(int, sent);
    QFETCH(bool, stored);
    QFETCH(QStringList, ending);
    Rig rig;
    // A controller that answers every setting with an error, and from one
    // command on nothing at all.
    bool silent = false;
    rig.port->fallback = [&](const QByteArray &c) {
        silent = silent || (!silentFrom.isEmpty() && c == silentFrom);
        return silent ? QByteArray() : c.startsWith("QVSO") ? QByteArray("ERR12:\r") : FakePort::ok();
    };
    WriteProof::SentSettings proof;

    QCOMPARE(WriteOperations::writeOptionsAndRestart(rig.link, rig.host, rig.data, usualSettings(), rig.origins,
                                                     &proof),
             stored);

    QCOMPARE(rig.port->commands.size(), sent);
    QCOMPARE(rig.port->commands.first(), QByteArray("QVU1"));
    if (sent == 14)
        QCOMPARE(rig.port->commands.mid(11), (QByteArrayList{"QVW", "QVF", "QVF"}));
    QCOMPARE(rig.log->entries.mid(rig.log->entries.size() - 3), ending);
    QCOMPARE(proof.size(), stored ? 10 : 0);
}

void TestWriteOperations::optionsWriteCancelled()
{
    Rig rig;
    rig.host.answers = {false};
    QVERIFY(!WriteOperations::writeOptionsAndRestart(rig.link, rig.host, rig.data, usualSettings(), rig.origins));
    QCOMPARE(rig.log->entries, QStringList{QStringLiteral("confirm")});
    QVERIFY(rig.port->commands.isEmpty());
    QVERIFY(rig.link.portHandleValid());
}

void TestWriteOperations::optionsWriteRejectsMagnification_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("yBox");
    QTest::addColumn<QString>("text");
    const char *bad[] = {"", "0", "5", "22", "x", "２"};
    for (int line = 0; line < 3; ++line) {
        for (bool y : {false, true}) {
            for (const char *b : bad)
                QTest::addRow("line %d %s '%s'", line + 1, y ? "Y" : "X", b)
                    << line << y << QString::fromUtf8(b);
        }
    }
}

void TestWriteOperations::optionsWriteRejectsMagnification()
{
    QFETCH(int, line);
    QFETCH(bool, yBox);
    QFETCH(QString, text);

    Rig rig;
    OptionSettings s = usualSettings();
    (yBox ? s.lines[std::size_t(line)].y : s.lines[std::size_t(line)].x) = text;

    QVERIFY(!WriteOperations::writeOptionsAndRestart(rig.link, rig.host, rig.data, s, rig.origins));
    QCOMPARE(rig.log->entries, QStringList{QStringLiteral("error")});
    // The box names the box at fault, as the operator knows it.
    QCOMPARE(rig.host.errorTexts,
             QStringList{QStringLiteral("値が正しくありません\n・領収書文字%1行目の倍率%2\n倍率は1～4のいずれかにして下さい.")
                             .arg(line + 1)
                             .arg(yBox ? QStringLiteral("Y") : QStringLiteral("X"))});
    QVERIFY(rig.port->commands.isEmpty());
    QVERIFY(rig.link.portHandleValid());
}

void TestWriteOperations::optionsWriteReenablesWindowOnFailure()
{
    Rig rig;
    struct Throwing : RecordingHost {
        using RecordingHost::RecordingHost;
        void notify(const QString &) override { throw std::runtime_error("box failed"); }
    } host(rig.log);

    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
        WriteOperations::writeOptionsAndRestart(rig.link, host, rig.data, usualSettings(), rig.origins));
    QCOMPARE(rig.log->entries.first(3), (QStringList{"confirm", "check", "disable"}));
    QCOMPARE(rig.log->entries.last(), QStringLiteral("enable"));
}

void TestWriteOperations::optionsWriteRefused_data()
{
    QTest::addColumn<QList<int>>("lost");          // fields no read obtained
    QTest::addColumn<QString>("line2");            // text of line 2
    QTest::addColumn<QString>("message");

    using F = ValueOrigins;
    const auto unread = [](const QString &names) {
        return QStringLiteral("次の設定値をQUVOから読み込めていないため,送信しませんでした.\n・") + names
            + QStringLiteral("\n接続し直して設定値を読み込んでから,もう一度実行して下さい.\n"
                             "(画面で設定し直した項目は,そのまま送信できます.)");
    };
    const auto uncarriable = [](const QString &field) {
        return QStringLiteral("「") + field
            + QStringLiteral("」にQUVOへ送信できない文字が含まれているため,送信しませんでした.\n"
                             "文字を修正してから,もう一度実行して下さい.");
    };
    QTest::newRow("option 2 silent") << QList<int>{F::Option2} << "Thanks"
        << unread(QStringLiteral("エラー・警告時／操作時のブザー音"));
    QTest::newRow("read stopped at line 2")
        << QList<int>{F::Line2X, F::Line2Y, F::Line2Text, F::Line3X, F::Line3Y, F::Line3Text,
                      F::Identification}
        << "Thanks"
        << unread(QStringLiteral("領収書文字2行目\n・領収書文字3行目\n・識別文字"));
    QTest::newRow("one magnification") << QList<int>{F::Line1Y} << "Thanks"
        << unread(QStringLiteral("領収書文字1行目の倍率Y"));
    QTest::newRow("CR in line 2") << QList<int>() << "A\rB" << uncarriable(QStringLiteral("領収書文字2行目"));
    QTest::newRow("emoji in line 2") << QList<int>() << "\U0001F600"
        << uncarriable(QStringLiteral("領収書文字2行目"));
    // Unread values are named first; the operator can do nothing else until they are.
    QTest::newRow("unread and CR") << QList<int>{F::Option6} << "A\rB"
        << unread(QStringLiteral("減算モード"));
}

void TestWriteOperations::optionsWriteRefused()
{
    QFETCH(QList<int>, lost);
    QFETCH(QString, line2);
    QFETCH(QString, message);

    Rig rig;
    for (int f : lost)
        rig.origins.lost(ValueOrigins::Field(f));
    OptionSettings s = usualSettings();
    s.lines[1].text = line2;

    QVERIFY(!WriteOperations::writeOptionsAndRestart(rig.link, rig.host, rig.data, s, rig.origins));
    QCOMPARE(rig.log->entries, QStringList{QStringLiteral("error")});
    QCOMPARE(rig.host.errorTexts, QStringList{message});
    QVERIFY(rig.port->commands.isEmpty());
    QVERIFY(rig.link.portHandleValid());
}

void TestWriteOperations::clearCounters_data()
{
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QByteArray>("silent");   // a command nobody answers
    QTest::addColumn<bool>("goOn");           // what the journal's side says once the counts are read
    QTest::addColumn<QStringList>("expected");
    // The counts and the total in write mode before the clear, and at once after it.
    QStringList counts;
    for (const char *i : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"})
        counts << QStringLiteral("QVRC%1/4").arg(QLatin1String(i));
    counts << QStringLiteral("QVREA/8");
    const QStringList open = QStringList{"QVU1/2"} + counts;
    QTest::newRow("monitor mode") << false << QByteArray() << true
                                  << open + QStringList{"QVZ0/3"} + counts + QStringList{"QVU0/2"};
    QTest::newRow("manual mode") << true << QByteArray() << true << open + QStringList{"QVZ0/3"} + counts;
    // A lost reply while the controller answers: write mode is left all the same.
    QTest::newRow("QVU1 silent") << false << QByteArray("QVU1") << true << QStringList{"QVU1/2", "QV/0", "QVU0/2"};
    QTest::newRow("QVZ0 silent") << false << QByteArray("QVZ0") << true
                                 << open + QStringList{"QVZ0/3", "QVU0/2"};
    // The closing command unanswered: the probe, and once more.
    QTest::newRow("QVU0 silent") << false << QByteArray("QVU0") << true
                                 << open + QStringList{"QVZ0/3"} + counts + QStringList{"QVU0/2", "QV/0", "QVU0/2"};
    // The counts could not be kept and the operator chose not to clear.
    QTest::newRow("not kept, not cleared") << false << QByteArray() << false << open + QStringList{"QVU0/2"};
}

void TestWriteOperations::clearCounters()
{
    QFETCH(bool, manual);
    QFETCH(QByteArray, silent);
    QFETCH(bool, goOn);
    QFETCH(QStringList, expected);

    Rig rig;
    rig.port->fallback = [](const QByteArray &c) {
        return c.startsWith("QVRC") ? FakePort::ok("0010") : c == "QVREA" ? FakePort::ok("00000100") : FakePort::ok();
    };
    if (!silent.isEmpty())
        rig.port->replies.insert(silent, QByteArray());
    bool handed = false;
    const WriteOperations::CounterClear clear =
        WriteOperations::clearCounters(rig.link, manual, [&](const std::optional<LivePoll::Counters> &before) {
            handed = before.has_value() && before->counts[3] == 0x10 && before->total == 0x100;
            return goOn;
        });
    QCOMPARE(clear.answered, goOn && silent != "QVU1" && silent != "QVZ0");
    QCOMPARE(clear.cancelled, !goOn);
    QCOMPARE(handed, silent != "QVU1");
    QCOMPARE(clear.after.has_value(), clear.answered);
    QCOMPARE(clear.clearSent, goOn && silent != "QVU1");
    QCOMPARE(rig.log->entries, expected);
    // A standing silence of "QVU0" is a controller that never hears the closing.
    QCOMPARE(clear.writeMode, manual ? WriteModeEnd::KeptManual
                                     : silent == "QVU0" ? WriteModeEnd::MayBeOpen : WriteModeEnd::Closed);
    QVERIFY(rig.link.portHandleValid());
}

void TestWriteOperations::settingsNotTaken_data()
{
    // What the next connection read (raw bytes per field, "-" for not read)
    // against what the write sent, and the lines of the box (none: no box).
    QTest::addColumn<QByteArray>("option2");
    QTest::addColumn<QByteArray>("line1");     // X, Y and text as read
    QTest::addColumn<QByteArray>("ident");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("all taken") << QByteArray("0B") << QByteArray("22AB") << QByteArray("ID7") << QStringList();
    QTest::newRow("lower-case digits are the same value") << QByteArray("0b") << QByteArray("22AB")
        << QByteArray("ID7") << QStringList();
    QTest::newRow("option differs") << QByteArray("01") << QByteArray("22AB") << QByteArray("ID7")
        << QStringList{"エラー・警告時／操作時のブザー音: 送信値 0B → 現在値 item 1"};
    QTest::newRow("option beyond its items, not read")
        << QByteArray("-") << QByteArray("22AB") << QByteArray("ID7")
        << QStringList{"エラー・警告時／操作時のブザー音: 送信値 0B → 現在値 (読み込めませんでした)"};
    QTest::newRow("line and identification differ")
        << QByteArray("0B") << QByteArray("13AB") << QByteArray("ID")
        << QStringList{"領収書文字1行目: 送信値 倍率X2 Y2 「AB」 → 現在値 倍率X1 Y3 「AB」",
                       "識別文字: 送信値 「ID7」 → 現在値 「ID」"};
}

void TestWriteOperations::settingsNotTaken()
{
    QFETCH(QByteArray, option2);
    QFETCH(QByteArray, line1);
    QFETCH(QByteArray, ident);
    QFETCH(QStringList, rows);

    using F = ValueOrigins;
    const WriteProof::SentSettings sent{{F::Option2, "0B"}, {F::line(0, 2), "22AB"}, {F::Identification, "ID7"}};
    ValueOrigins origins;
    if (option2 != "-")
        origins.read(F::Option2, option2);
    origins.read(F::line(0, 0), line1.mid(0, 1));
    origins.read(F::line(0, 1), line1.mid(1, 1));
    origins.read(F::line(0, 2), line1.mid(2));
    origins.read(F::Identification, ident);
    // The selector has two items; 0B is beyond them and shows as its digits.
    const auto items = [](int, int v) { return v < 2 ? QStringLiteral("item %1").arg(v) : QString(); };

    const std::optional<QString> text = WriteProof::settingsNotTaken(sent, origins, items);
    if (rows.isEmpty()) {
        QVERIFY2(!text, qPrintable(text.value_or(QString())));
        return;
    }
    // A value not read back is not called refused.
    const bool unconfirmed = rows.size() == 1 && rows.first().endsWith(QStringLiteral("(読み込めませんでした)"));
    QCOMPARE(text.value_or(QString()),
             (unconfirmed ? QStringLiteral("前回の書き込みで,次の設定値がQUVOに反映されたか確認できませんでした.\n・")
                          : QStringLiteral("前回の書き込みで,次の設定値がQUVOに反映されていません.\n・"))
                 + rows.join(QStringLiteral("\n・")) + QStringLiteral("\n設定し直して,もう一度送信して下さい."));
}

void TestWriteOperations::clearProof_data()
{
    // Counts and total just before "QVZ0" (empty: not read) and right after
    // it (-1: not read); column 1 at 150 yen, column 2 at 12.5, the rest
    // at 100 yen; the box, if any.
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<int>("totalBefore");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<int>("totalAfter");
    QTest::addColumn<QString>("box");
    const QList<int> was{10, 4, 12345, 0, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    const QList<int> cleared(16, 0);
    QTest::newRow("all 0") << was << 5000 << cleared << 0 << QString();
    // The total is a total since the last memory clear: it may stay.
    QTest::newRow("counts cleared, total kept") << was << 5000 << cleared << 5000 << QString();
    // The machine sold while the clear was read back: a count of 1 is a sale.
    QList<int> oneSale = cleared;
    oneSale[0] = 1;
    QTest::newRow("a sale after QVZ0, total kept") << was << 5000 << oneSale << 5150 << QString();
    QTest::newRow("a sale after QVZ0, total cleared") << was << 5000 << oneSale << 150 << QString();
    // A column at 0 before that sold one: no refusal either.
    QList<int> fromZero = cleared;
    fromZero[3] = 1;
    QTest::newRow("a column at 0 sold one") << was << 5000 << fromZero << 100 << QString();
    // 12.5 yen buys eight pieces of column 2 for 100 yen: four before, five now.
    QList<int> five = cleared;
    five[1] = 5;
    QTest::newRow("column 2 sold back above its count") << was << 5000 << five << 100 << QString();
    QList<int> left = cleared;
    left[2] = 12345;
    QTest::newRow("one count left")
        << was << 5000 << left << 5000
        << QStringLiteral("カウンタのクリアがQUVOに反映されていません.\n・コラム3枚数: クリア前 12345 → 現在値 12345\n"
                          "もう一度カウンタクリアを実行して下さい.");
    // No money came in: a count that merely fell is still not cleared.
    QList<int> fell = cleared;
    fell[0] = 9;
    QTest::newRow("a count fell, no money")
        << was << 5000 << fell << 5000
        << QStringLiteral("カウンタのクリアがQUVOに反映されていません.\n・コラム1枚数: クリア前 10 → 現在値 9\n"
                          "もう一度カウンタクリアを実行して下さい.");
    QList<int> unread = cleared;
    unread[0] = -1;
    QTest::newRow("a count not read")
        << was << 5000 << unread << 5000
        << QStringLiteral("カウンタのクリアがQUVOに反映されたか確認できませんでした.\n"
                          "・コラム1枚数: クリア前 10 → 現在値 (読み込めませんでした)\n接続し直して枚数を確かめて下さい.");
    // Nothing read before the clear: the counts against the total alone.
    QTest::newRow("no figures before, one left")
        << QList<int>() << 0 << left << 0
        << QStringLiteral("カウンタのクリアがQUVOに反映されていません.\n・コラム3枚数: 期待値 0 → 現在値 12345\n"
                          "もう一度カウンタクリアを実行して下さい.");
    QTest::newRow("no figures before, a sale") << QList<int>() << 0 << oneSale << 150 << QString();
}

void TestWriteOperations::clearProof()
{
    QFETCH(QList<int>, before);
    QFETCH(int, totalBefore);
    QFETCH(QList<int>, after);
    QFETCH(int, totalAfter);
    QFETCH(QString, box);
    std::optional<WriteProof::ClearFigures> was;
    if (!before.isEmpty()) {
        was.emplace();
        for (int i = 0; i < 16; ++i)
            was->counts[std::size_t(i)] = before[i];
        was->total = totalBefore;
    }
    WriteProof::ClearFigures now;
    for (int i = 0; i < 16; ++i)
        if (after[i] >= 0)
            now.counts[std::size_t(i)] = after[i];
    now.total = totalAfter;
    std::array<std::optional<qint64>, 16> prices{};
    prices.fill(1000);
    prices[0] = 1500;
    prices[1] = 125;
    QCOMPARE(WriteProof::countersNotCleared(was, now, prices).value_or(QString()), box);
    // A price the read-back did not read is not called refused.
    QCOMPARE(WriteProof::priceNotTaken(2, 125, 0, false).value_or(QString()),
             QStringLiteral("設定価格がQUVOに反映されたか確認できませんでした.\n"
                            "・コラム3: 送信値 12.5 → 現在値 (読み込めませんでした)\n接続し直して価格を確かめて下さい."));
}

void TestWriteOperations::readPrice_data()
{
    // What waits on the line before "QVRP2", its reply, and the price the
    // dialog may offer.
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("price");   // -1: nothing to offer
    QTest::newRow("whole") << QByteArray() << QByteArray("OK   :007D\r") << 125;
    QTest::newRow("not hexadecimal") << QByteArray() << QByteArray("OK   :00G7\r") << -1;
    // A byte nobody asked for: the reply may have been another command's.
    QTest::newRow("stray byte before") << QByteArray("X") << QByteArray("OK   :007D\r") << -1;
    QTest::newRow("stray byte behind") << QByteArray() << QByteArray("OK   :007D\rX") << -1;
}

void TestWriteOperations::readPrice()
{
    QFETCH(QByteArray, waiting);
    QFETCH(QByteArray, reply);
    QFETCH(int, price);
    Rig rig;
    rig.port->staleInput = waiting;
    rig.port->replies.insert("QVRP2", reply);
    const std::optional<std::int32_t> read = WriteOperations::readPrice(rig.link, 2);
    QCOMPARE(read.value_or(-1), price);
    QCOMPARE(rig.port->commands, QByteArrayList{"QVRP2"});
}

namespace {

// Columns 1-3 at 100 yen (1000 tenths); only the figures a row gives.
FigureContinuity::Figures figures(std::initializer_list<qint64> counts, std::optional<qint64> total,
                                  std::optional<qint64> at)
{
    FigureContinuity::Figures f;
    std::size_t c = 0;
    for (const qint64 n : counts) {
        f.counts[c] = n;
        f.priceTenths[c++] = 1000;
    }
    f.total = total;
    f.at = at;
    return f;
}

constexpr qint64 Month = 30 * 86400;

} // namespace

void TestWriteOperations::figureContinuity_data()
{
    using V = FigureContinuity::Verdict;
    QTest::addColumn<FigureContinuity::Figures>("before");
    QTest::addColumn<FigureContinuity::Figures>("after");
    QTest::addColumn<V>("verdict");
    const auto row = [](const char *name, FigureContinuity::Figures b, FigureContinuity::Figures a, V v) {
        QTest::newRow(name) << b << a << v;
    };
    row("sold a month", figures({100, 200, 300}, 60000, 0), figures({150, 260, 300}, 71000, Month), V::Continues);
    row("a count wrapped, the money explains it", figures({65530, 0, 0}, 1000000, 0),
        figures({10, 0, 0}, 1001600, Month), V::Continues);
    row("two sales read between count and total", figures({10, 0, 0}, 1000, 0), figures({12, 0, 0}, 1000, 60),
        V::Continues);
    row("nothing sold", figures({10, 20, 30}, 6000, 0), figures({10, 20, 30}, 6000, 5), V::Continues);
    row("cleared elsewhere, a month", figures({100, 200, 300}, 60000, 0), figures({5, 0, 2}, 700, Month),
        V::ClearedElsewhere);
    row("cleared during a gap of a minute", figures({100, 200, 300}, 60000, 0), figures({1, 0, 0}, 100, 60),
        V::ClearedElsewhere);
    row("cleared, the controller keeps its total", figures({100, 200, 300}, 60000, 0),
        figures({0, 1, 0}, 60100, 60), V::ClearedElsewhere);
    row("cleared, no time known", figures({100, 200, 300}, 60000, std::nullopt), figures({0, 0, 0}, 0, 0),
        V::ClearedElsewhere);
    row("a machine ahead, five minutes later", figures({100, 200, 300}, 60000, 0),
        figures({600, 700, 800}, 210000, 300), V::Another);
    row("a machine behind, five seconds later", figures({100, 200, 300}, 60000, 0),
        figures({90, 150, 160}, 40000, 5), V::Another);
    row("the total fell, a count rose", figures({100, 200, 300}, 60000, 0), figures({50, 250, 100}, 40000, Month),
        V::Another);
    row("the total grew, a count fell", figures({100, 200, 300}, 60000, 0), figures({100, 150, 300}, 70000, Month),
        V::Another);
    row("the counts grew more than the money", figures({100, 200, 300}, 60000, 0),
        figures({200, 200, 300}, 61000, Month), V::Another);
    row("a whole turn of a column in the money", figures({100, 200, 300}, 60000, 0),
        figures({101, 200, 300}, 60000 + 6553600 + 100, Month), V::Continues);
    row("money no count shows", figures({100, 200, 300}, 60000, 0), figures({101, 200, 300}, 110000, Month),
        V::Another);
    row("the total fell to more than the counts brought", figures({100, 200, 300}, 60000, 0),
        figures({5, 0, 2}, 9000, Month), V::Another);
    row("a total not read", figures({100, 200, 300}, std::nullopt, 0), figures({100, 200, 300}, 60000, 5),
        V::Unknown);
}

void TestWriteOperations::figureContinuity()
{
    QFETCH(FigureContinuity::Figures, before);
    QFETCH(FigureContinuity::Figures, after);
    QFETCH(FigureContinuity::Verdict, verdict);
    QCOMPARE(FigureContinuity::judge(before, after), verdict);
}

QTEST_GUILESS_MAIN(TestWriteOperations)
#include "tst_write_operations.moc"
