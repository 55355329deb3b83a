// Text and code page 932 bytes: the mapping the controller and the byte
// limits rely on, and what happens to text the code page cannot hold.
#include "link/ShiftJis.h"

#include <QtTest>

class TestShiftJis : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void decodeInvalid_data();
    void decodeInvalid();
    void exact_data();
    void exact();
};

void TestShiftJis::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("length");
    QTest::newRow("ascii") << QStringLiteral("QUVO ver2.05") << QByteArray("QUVO ver2.05") << true << 12;
    QTest::newRow("full-width") << QStringLiteral("領 収 書") << QByteArray("\x97\xcc\x20\x8e\xfb\x20\x8f\x91") << true << 8;
    QTest::newRow("white square") << QStringLiteral("□") << QByteArray("\x81\xa0") << true << 2;
    QTest::newRow("fullwidth tilde") << QString(QChar(0xFF5E)) << QByteArray("\x81\x60") << true << 2;
    QTest::newRow("wave dash typed on Linux") << QString(QChar(0x301C)) << QByteArray("\x81\x60") << true << 2;
    QTest::newRow("minus sign") << QString(QChar(0x2212)) << QByteArray("\x81\x7c") << true << 2;
    QTest::newRow("half-width katakana") << QStringLiteral("ｱ") << QByteArray("\xb1") << true << 1;
    QTest::newRow("emoji is refused") << QStringLiteral("A\U0001F600B") << QByteArray("AB") << false << -1;
    QTest::newRow("empty") << QString() << QByteArray() << true << 0;
}

void TestShiftJis::encode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, length);
    bool encoded = !ok;
    QCOMPARE(ShiftJis::encode(text, &encoded), bytes);
    QCOMPARE(encoded, ok);
    QCOMPARE(ShiftJis::byteLength(text), length);
    // The Linux variants come back as the Windows characters.
    if (ok && !text.contains(QChar(0x301C)) && !text.contains(QChar(0x2212)))
        QCOMPARE(ShiftJis::decode(bytes), text);
}

void TestShiftJis::decodeInvalid_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QChar bad(QChar::ReplacementCharacter);
    QTest::newRow("lone lead byte at the end") << QByteArray("AB\x82") << QStringLiteral("AB") + bad;
    QTest::newRow("invalid pair in the middle") << QByteArray("A\x85\x40Z") << QString(QStringLiteral("A") + bad + QStringLiteral("@Z"));
    QTest::newRow("0xFF") << QByteArray("\xff" "1") << QString(bad + QStringLiteral("1"));
}

void TestShiftJis::decodeInvalid()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(ShiftJis::decode(bytes), text);
}

void TestShiftJis::exact_data()
{
    // Bytes the controller could hold as text: they decode, and encode back
    // to the very same bytes.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exact");
    QTest::newRow("ascii and kanji") << QByteArray("No7 \x97\xcc") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("invalid pair") << QByteArray("A\x85\x40") << false;
    // Duplicates in the code page: each decodes, but encodes to its twin.
    QTest::newRow("NEC row 13 approximately equal") << QByteArray("\x87\x90") << false;
    QTest::newRow("NEC-selected IBM kanji") << QByteArray("A\xed\x40") << false;
    QTest::newRow("NEC-selected not sign") << QByteArray("\xee\xf9") << false;
}

void TestShiftJis::exact()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exact);
    QCOMPARE(ShiftJis::exact(bytes), exact);
}

QTEST_APPLESS_MAIN(TestShiftJis)
#include "tst_shift_jis.moc"
