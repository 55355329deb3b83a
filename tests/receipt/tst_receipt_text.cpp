// Text measures of the receipt (cells in code page 932 bytes), line
// wrapping, magnification conversion and the byte-limit rule.
#include "receipt/layout/ByteLimit.h"
#include "receipt/layout/ReceiptText.h"

#include <QtTest>

#include <climits>

Q_DECLARE_METATYPE(ByteLimit::Verdict)

class TestReceiptText : public QObject {
    Q_OBJECT
private slots:
    void cells_data();
    void cells();
    void wrap_data();
    void wrap();
    void parseMagnification_data();
    void parseMagnification();
    void fontScale_data();
    void fontScale();
    void judge_data();
    void judge();
};

void TestReceiptText::cells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("measured");
    QTest::newRow("empty measures as one blank") << QString() << 0 << 1;
    QTest::newRow("ASCII") << QStringLiteral("abc") << 3 << 3;
    QTest::newRow("start text of line 1") << QStringLiteral("領 収 書") << 8 << 8;
    QTest::newRow("start text of line 2") << QStringLiteral("ご利用ありがとうございます") << 26 << 26;
    QTest::newRow("sixteen squares") << QString(16, QChar(0x25A1)) << 32 << 32;
    QTest::newRow("half-width katakana") << QStringLiteral("ｱｲｳ") << 3 << 3;
    QTest::newRow("wave dash both spellings") << QStringLiteral("～〜") << 4 << 4;
    QTest::newRow("date sample") << QStringLiteral("2015年 1月 1日 00時00分") << 23 << 23;
    QTest::newRow("unit with blanks") << QStringLiteral("枚    ") << 6 << 6;
    QTest::newRow("damaged character counts full width")
        << QStringLiteral("a\uFFFDb") << 4 << 4;
    QTest::newRow("emoji counts full width") << QStringLiteral("x😀") << 3 << 3;
}

void TestReceiptText::cells()
{
    QFETCH(QString, text);
    QFETCH(int, cells);
    QFETCH(int, measured);
    QCOMPARE(ReceiptText::cells(text), cells);
    QCOMPARE(ReceiptText::measuredCells(text), measured);
}

void TestReceiptText::wrap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxCells");
    QTest::addColumn<QStringList>("lines");

    // 428 px at X = 2 (24 px a cell) holds 17 cells: eight full-width characters.
    QTest::newRow("thirteen full-width at X = 2")
        << QStringLiteral("ご利用ありがとうございます") << 17
        << QStringList{QStringLiteral("ご利用ありがとう"), QStringLiteral("ございます")};
    QTest::newRow("fits") << QStringLiteral("領 収 書") << 17 << QStringList{QStringLiteral("領 収 書")};
    QTest::newRow("words break at blanks") << QStringLiteral("Thank you very much") << 10
                                           << QStringList{QStringLiteral("Thank you"),
                                                          QStringLiteral("very much")};
    QTest::newRow("a word longer than the line breaks anywhere")
        << QStringLiteral("abcdefghijkl") << 5
        << QStringList{QStringLiteral("abcde"), QStringLiteral("fghij"), QStringLiteral("kl")};
    QTest::newRow("a half-width word is kept whole after full-width text")
        << QStringLiteral("あいabcdef") << 7
        << QStringList{QStringLiteral("あい"), QStringLiteral("abcdef")};
    QTest::newRow("full-width fills up a line after half-width text")
        << QStringLiteral("abcdあいう") << 6
        << QStringList{QStringLiteral("abcdあ"), QStringLiteral("いう")};
    QTest::newRow("a full-width character is never split")
        << QStringLiteral("あいう") << 3
        << QStringList{QStringLiteral("あ"), QStringLiteral("い"), QStringLiteral("う")};
    QTest::newRow("character wider than the line gets a line of its own")
        << QStringLiteral("あい") << 1 << QStringList{QStringLiteral("あ"), QStringLiteral("い")};
    QTest::newRow("empty text is one empty line") << QString() << 10 << QStringList{QString()};
    QTest::newRow("exactly full") << QStringLiteral("abcde") << 5 << QStringList{QStringLiteral("abcde")};
    QTest::newRow("blanks at the break hang")
        << QStringLiteral("ab   cd") << 3 << QStringList{QStringLiteral("ab"), QStringLiteral("cd")};
    QTest::newRow("sixteen squares at X = 3 (11 cells)")
        << QString(16, QChar(0x25A1)) << 11
        << QStringList{QString(5, QChar(0x25A1)), QString(5, QChar(0x25A1)),
                       QString(5, QChar(0x25A1)), QString(1, QChar(0x25A1))};
    QTest::newRow("surrogate pair stays whole") << QStringLiteral("😀😀") << 2
                                                << QStringList{QStringLiteral("😀"), QStringLiteral("😀")};
}

void TestReceiptText::wrap()
{
    QFETCH(QString, text);
    QFETCH(int, maxCells);
    QFETCH(QStringList, lines);
    const QStringList got = ReceiptText::wrap(text, maxCells);
    QCOMPARE(got, lines);
    for (const QString &line : got)
        if (ReceiptText::cells(line) > maxCells)
            QCOMPARE(line.size(), qsizetype(line.at(0).isHighSurrogate() ? 2 : 1));
}

void TestReceiptText::parseMagnification_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("list item") << QStringLiteral("3") << true << 3;
    QTest::newRow("zero is taken as it stands") << QStringLiteral("0") << true << 0;
    QTest::newRow("negative") << QStringLiteral("-2") << true << -2;
    QTest::newRow("above four") << QStringLiteral("12") << true << 12;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("letters") << QStringLiteral("abc") << false << 0;
    QTest::newRow("decimal fraction") << QStringLiteral("2.5") << false << 0;
    QTest::newRow("hexadecimal") << QStringLiteral("0x2") << false << 0;
    QTest::newRow("full-width digit") << QStringLiteral("２") << false << 0;
    QTest::newRow("out of range") << QStringLiteral("99999999999") << false << 0;
}

void TestReceiptText::parseMagnification()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    QString message;
    const std::optional<int> got = ReceiptText::parseMagnification(text, &message);
    QCOMPARE(got.has_value(), ok);
    if (ok) {
        QCOMPARE(*got, value);
        QVERIFY(message.isEmpty());
    } else {
        // The operator is told which text failed.
        QVERIFY2(message.contains(QLatin1Char('\'') + text + QLatin1Char('\'')), qPrintable(message));
    }
}

void TestReceiptText::fontScale_data()
{
    QTest::addColumn<int>("magnification");
    QTest::addColumn<int>("scale");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("4") << 4 << 4;
    QTest::newRow("0 is the reference size") << 0 << 1;
    QTest::newRow("sign ignored") << -3 << 3;
    QTest::newRow("at the bound") << 40 << 40;
    QTest::newRow("beyond the bound") << 41 << 40;
    QTest::newRow("largest int") << INT_MAX << 40;
    QTest::newRow("smallest int") << INT_MIN << 40;
}

void TestReceiptText::fontScale()
{
    QFETCH(int, magnification);
    QFETCH(int, scale);
    QCOMPARE(ReceiptText::fontScale(magnification), scale);
}

void TestReceiptText::judge_data()
{
    using V = ByteLimit::Verdict;
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("operatorEdit");
    QTest::addColumn<V>("verdict");

    const QString full16 = QString(16, QChar(0x25A1)); // 32 bytes
    const QString ascii40(40, QLatin1Char('a'));
    QTest::newRow("eight half-width fit 8") << QString() << QStringLiteral("abcdefgh") << 8 << true << V::Fits;
    QTest::newRow("ninth half-width refused") << QStringLiteral("abcdefgh") << QStringLiteral("abcdefghi")
                                              << 8 << true << V::Refused;
    QTest::newRow("sixteen full-width fit 32") << QString() << full16 << 32 << true << V::Fits;
    QTest::newRow("seventeenth full-width refused") << full16 << full16 + QStringLiteral("□") << 32
                                                    << true << V::Refused;
    QTest::newRow("33rd byte refused") << full16 << full16 + QStringLiteral("a") << 32 << true
                                       << V::Refused;
    QTest::newRow("mixed, 32 bytes") << QString()
                                     << QStringLiteral("あいうえおかきくけこさしすせそab") << 32
                                     << true << V::Fits;
    QTest::newRow("mixed, 33 bytes") << QString()
                                     << QStringLiteral("あいうえおかきくけこさしすせそabc") << 32
                                     << true << V::Refused;
    QTest::newRow("half-width katakana one byte each") << QString() << QStringLiteral("ｱｲｳｴｵab")
                                                       << 8 << true << V::Fits;
    QTest::newRow("full-width needs two, one left") << QStringLiteral("abcdefg")
                                                    << QStringLiteral("abcdefgあ") << 8 << true
                                                    << V::Refused;
    QTest::newRow("emoji typed") << QStringLiteral("abc") << QStringLiteral("abc😀") << 8 << true
                                 << V::Refused;
    QTest::newRow("program sets an over-long text") << QStringLiteral("abc") << ascii40 << 32 << false
                                                    << V::Kept;
    QTest::newRow("program sets a damaged text") << QString() << QStringLiteral("ab\uFFFD") << 8
                                                 << false << V::Kept;
    QTest::newRow("shortening an over-long text") << ascii40 << ascii40.left(39) << 32 << true
                                                  << V::Kept;
    QTest::newRow("shortened to the limit fits") << ascii40.left(33) << ascii40.left(32) << 32
                                                 << true << V::Fits;
    QTest::newRow("growing an over-long text") << ascii40 << ascii40 + QLatin1Char('b') << 32 << true
                                               << V::Refused;
    QTest::newRow("swapping a character in an over-long text")
        << ascii40 << QStringLiteral("b") + ascii40.mid(1) << 32 << true << V::Refused;
    QTest::newRow("unchanged over-long text") << ascii40 << ascii40 << 32 << true << V::Kept;
    QTest::newRow("typing beside a damaged character") << QStringLiteral("ab\uFFFD")
                                                       << QStringLiteral("abc\uFFFD") << 8 << true
                                                       << V::Kept;
    QTest::newRow("a second unencodable character") << QStringLiteral("ab\uFFFD")
                                                    << QStringLiteral("ab\uFFFD😀") << 8 << true
                                                    << V::Refused;
    QTest::newRow("deleting the damaged character") << QStringLiteral("ab\uFFFD") << QStringLiteral("ab")
                                                    << 8 << true << V::Fits;
}

void TestReceiptText::judge()
{
    QFETCH(QString, held);
    QFETCH(QString, input);
    QFETCH(int, limit);
    QFETCH(bool, operatorEdit);
    QFETCH(ByteLimit::Verdict, verdict);
    QCOMPARE(ByteLimit::judge(held, input, limit, operatorEdit), verdict);
}

QTEST_APPLESS_MAIN(TestReceiptText)
#include "tst_receipt_text.moc"
