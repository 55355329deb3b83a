// Value formats of the replies and the display forms of the grids.
#include "device/ValueFormats.h"
#include "link/ShiftJis.h"

#include <QtTest>
#include <climits>

class TestValueFormats : public QObject {
    Q_OBJECT
private slots:
    void hexValue_data();
    void hexValue();
    void indexChar_data();
    void indexChar();
    void priceText_data();
    void priceText();
    void countText_data();
    void countText();
    void receiptLine_data();
    void receiptLine();
};

void TestValueFormats::hexValue_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("two digits") << QByteArray("0A") << 10;
    QTest::newRow("lower case") << QByteArray("0a") << 10;
    QTest::newRow("mixed case") << QByteArray("aB") << 0xAB;
    QTest::newRow("count FFFF") << QByteArray("FFFF") << 65535;
    QTest::newRow("total 0001E240") << QByteArray("0001E240") << 123456;
    QTest::newRow("all ones is -1") << QByteArray("FFFFFFFF") << -1;
    QTest::newRow("largest positive") << QByteArray("7FFFFFFF") << INT_MAX;
    QTest::newRow("sign bit") << QByteArray("80000000") << INT_MIN;
    QTest::newRow("G1") << QByteArray("G1") << 0;
    QTest::newRow("1G") << QByteArray("1G") << 0;
    QTest::newRow("leading space") << QByteArray(" 1") << 0;
    QTest::newRow("trailing CR") << QByteArray("12\r") << 0;
    QTest::newRow("prefix written") << QByteArray("0x12") << 0;
    QTest::newRow("minus") << QByteArray("-1") << 0;
    QTest::newRow("status field") << QByteArray("OK   :") << 0;
    QTest::newRow("nine digits, leading zero") << QByteArray("00000000A") << 10;
    QTest::newRow("33 bits") << QByteArray("100000000") << 0;
    QTest::newRow("40 bits") << QByteArray("FFFFFFFFFF") << 0;
}

void TestValueFormats::hexValue()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, value);
    QCOMPARE(ValueFormats::hexValue(payload), value);
}

void TestValueFormats::indexChar_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<char>("ch");
    QTest::newRow("0") << 0 << '0';
    QTest::newRow("5") << 5 << '5';
    QTest::newRow("9") << 9 << '9';
    QTest::newRow("10") << 10 << 'A';
    QTest::newRow("12") << 12 << 'C';
    QTest::newRow("15") << 15 << 'F';
}

void TestValueFormats::indexChar()
{
    QFETCH(int, index);
    QFETCH(char, ch);
    QCOMPARE(ValueFormats::indexChar(index), ch);
}

void TestValueFormats::priceText_data()
{
    // Column index i is the grid's コラム i+1.
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("120 in column 1") << 0 << 120 << "12.0";
    QTest::newRow("120 in column 5") << 4 << 120 << "120";
    QTest::newRow("120 in column 9") << 8 << 120 << "12.0";
    QTest::newRow("0 in column 2") << 1 << 0 << "0.0";
    QTest::newRow("0 in column 6") << 5 << 0 << "0";
    QTest::newRow("5 in column 4") << 3 << 5 << "0.5";
    QTest::newRow("15 in column 16") << 15 << 15 << "1.5";
    QTest::newRow("999 in column 10") << 9 << 999 << "99.9";
    QTest::newRow("250 in column 8") << 7 << 250 << "250";
    QTest::newRow("50 in column 7") << 6 << 50 << "50";
    QTest::newRow("FFFF in column 3") << 2 << 65535 << "6553.5";
    QTest::newRow("FFFF in column 6") << 5 << 65535 << "65535";
    QTest::newRow("1234 in column 12") << 11 << 1234 << "123.4";
}

void TestValueFormats::priceText()
{
    QFETCH(int, column);
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(ValueFormats::priceText(column, value), text);
}

void TestValueFormats::countText_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0000";
    QTest::newRow("7") << 7 << "0007";
    QTest::newRow("1234") << 1234 << "1234";
    QTest::newRow("9999") << 9999 << "9999";
    QTest::newRow("10000") << 10000 << "0000";
    QTest::newRow("12345") << 12345 << "2345";
    QTest::newRow("65535") << 65535 << "5535";
}

void TestValueFormats::countText()
{
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(ValueFormats::countText(count), text);
}

void TestValueFormats::receiptLine_data()
{
    // value; text; X is a digit, its item; Y is a digit, its item.
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("xOk");
    QTest::addColumn<int>("xItem");
    QTest::addColumn<bool>("yOk");
    QTest::addColumn<int>("yItem");

    const QString title = QStringLiteral("領 収 書");
    QTest::newRow("2 1 and a title") << (QByteArray("21") + ShiftJis::encode(title)) << title
                                     << true << 1 << true << 0;
    QTest::newRow("two digits only") << QByteArray("44") << QString() << true << 3 << true << 3;
    QTest::newRow("0 and 5 select nothing") << QByteArray("05abc") << "abc" << true << -1 << true << -1;
    QTest::newRow("9 selects nothing") << QByteArray("91") << QString() << true << -1 << true << 0;
    QTest::newRow("X a letter") << QByteArray("x1abc") << "abc" << false << -1 << true << 0;
    QTest::newRow("Y a space") << QByteArray("2 abc") << "abc" << true << 1 << false << -1;
    QTest::newRow("one digit only") << QByteArray("2") << QString() << true << 1 << false << -1;
    QTest::newRow("empty") << QByteArray() << QString() << false << -1 << false << -1;
    // Positions count bytes: the first full-width digit fills both places.
    QTest::newRow("full-width digits") << ShiftJis::encode(QStringLiteral("１２")) << QStringLiteral("２")
                                      << false << -1 << false << -1;
}

void TestValueFormats::receiptLine()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, text);
    QFETCH(bool, xOk);
    QFETCH(int, xItem);
    QFETCH(bool, yOk);
    QFETCH(int, yItem);

    QCOMPARE(ValueFormats::receiptLineText(value), text);
    const bool ok[2] = {xOk, yOk};
    const int item[2] = {xItem, yItem};
    for (int axis = 0; axis < 2; ++axis) {
        const std::optional<int> digit = ValueFormats::magnificationDigit(value, axis);
        QCOMPARE(digit.has_value(), ok[axis]);
        if (digit)
            QCOMPARE(ValueFormats::magnificationIndex(*digit), item[axis]);
    }
}

QTEST_APPLESS_MAIN(TestValueFormats)
#include "tst_value_formats.moc"
