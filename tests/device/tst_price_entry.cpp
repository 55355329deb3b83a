// Checking typed prices and building the price write command.
#include "device/PriceEntry.h"

#include <QtTest>

class TestPriceEntry : public QObject {
    Q_OBJECT
private slots:
    void check_data();
    void check();
    void rangeText_data();
    void rangeText();
    void writeCommand_data();
    void writeCommand();
};

void TestPriceEntry::check_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("cell");

    // Tenths: values whose binary floating-point image is inexact must
    // still come out as whole tenths, and nothing finer may slip through.
    QTest::newRow("tenths 0.3") << 0 << "0.3" << true << 3 << "0.3";
    QTest::newRow("tenths 1.1") << 0 << "1.1" << true << 11 << "1.1";
    QTest::newRow("tenths 12.30") << 0 << "12.30" << true << 123 << "12.3";
    QTest::newRow("tenths 99.9") << 0 << "99.9" << true << 999 << "99.9";
    QTest::newRow("tenths 0") << 0 << "0" << true << 0 << "0.0";
    QTest::newRow("tenths 5") << 3 << "5" << true << 50 << "5.0";
    QTest::newRow("tenths 12.5 col3") << 2 << "12.5" << true << 125 << "12.5";
    QTest::newRow("tenths 1.2 col2") << 1 << "1.2" << true << 12 << "1.2";
    QTest::newRow("tenths 50.5 col9") << 8 << "50.5" << true << 505 << "50.5";
    QTest::newRow("tenths 99.9 col10") << 9 << "99.9" << true << 999 << "99.9";
    QTest::newRow("tenths trailing zeros") << 0 << "99.90000" << true << 999 << "99.9";
    QTest::newRow("tenths leading zeros") << 0 << "007.5" << true << 75 << "7.5";
    QTest::newRow("tenths .5") << 0 << ".5" << true << 5 << "0.5";
    QTest::newRow("tenths 5.") << 0 << "5." << true << 50 << "5.0";
    QTest::newRow("tenths blanks") << 0 << "  12.5 " << true << 125 << "12.5";
    QTest::newRow("tenths -0.0") << 0 << "-0.0" << true << 0 << "0.0";
    QTest::newRow("tenths 12.34") << 0 << "12.34" << false << 0 << "";
    QTest::newRow("tenths 1.25") << 1 << "1.25" << false << 0 << "";
    QTest::newRow("tenths 99.95") << 0 << "99.95" << false << 0 << "";
    QTest::newRow("tenths 0.01") << 0 << "0.01" << false << 0 << "";
    QTest::newRow("tenths 100") << 0 << "100" << false << 0 << "";
    QTest::newRow("tenths 100.0 col10") << 9 << "100.0" << false << 0 << "";
    QTest::newRow("tenths -1.0") << 0 << "-1.0" << false << 0 << "";
    QTest::newRow("tenths -0.1") << 0 << "-0.1" << false << 0 << "";
    QTest::newRow("tenths abc") << 0 << "abc" << false << 0 << "";
    QTest::newRow("tenths empty") << 0 << "" << false << 0 << "";
    QTest::newRow("tenths blank only") << 0 << "   " << false << 0 << "";
    QTest::newRow("tenths 12.5x") << 0 << "12.5x" << false << 0 << "";
    QTest::newRow("tenths point only") << 0 << "." << false << 0 << "";
    QTest::newRow("tenths two points") << 0 << "1.2.3" << false << 0 << "";
    QTest::newRow("tenths exponent") << 0 << "1e1" << false << 0 << "";
    QTest::newRow("tenths comma") << 0 << "12,5" << false << 0 << "";
    QTest::newRow("tenths inner blank") << 0 << "12 .5" << false << 0 << "";
    QTest::newRow("tenths full-width digits") << 0 << "１２.５" << false << 0 << "";
    QTest::newRow("tenths hex") << 0 << "0x10" << false << 0 << "";
    QTest::newRow("tenths huge") << 0 << "99999999999999999999.9" << false << 0 << "";
    QTest::newRow("tenths sign only") << 0 << "-" << false << 0 << "";

    // Steps of ten.
    QTest::newRow("tens 150") << 4 << "150" << true << 150 << "150";
    QTest::newRow("tens 990") << 4 << "990" << true << 990 << "990";
    QTest::newRow("tens 10") << 5 << "10" << true << 10 << "10";
    QTest::newRow("tens +20") << 5 << "+20" << true << 20 << "20";
    QTest::newRow("tens 155") << 4 << "155" << false << 0 << "";
    QTest::newRow("tens 1000") << 4 << "1000" << false << 0 << "";
    QTest::newRow("tens 5") << 4 << "5" << false << 0 << "";
    QTest::newRow("tens 0") << 5 << "0" << false << 0 << "";
    QTest::newRow("tens -10") << 5 << "-10" << false << 0 << "";
    QTest::newRow("tens 150.0") << 4 << "150.0" << false << 0 << "";
    QTest::newRow("tens abc") << 4 << "abc" << false << 0 << "";

    // Whole prices.
    QTest::newRow("whole 1") << 6 << "1" << true << 1 << "1";
    QTest::newRow("whole 999") << 6 << "999" << true << 999 << "999";
    QTest::newRow("whole 155") << 7 << "155" << true << 155 << "155";
    QTest::newRow("whole 0") << 6 << "0" << false << 0 << "";
    QTest::newRow("whole 1000") << 7 << "1000" << false << 0 << "";
    QTest::newRow("whole 12.5") << 7 << "12.5" << false << 0 << "";
    QTest::newRow("whole empty") << 7 << "" << false << 0 << "";
    QTest::newRow("whole abc") << 6 << "abc" << false << 0 << "";
}

void TestPriceEntry::check()
{
    QFETCH(int, row);
    QFETCH(QString, entry);
    QFETCH(bool, ok);
    QFETCH(int, stored);
    QFETCH(QString, cell);

    const PriceEntry::Checked c = PriceEntry::check(row, entry);
    QCOMPARE(c.ok, ok);
    if (ok) {
        QCOMPARE(c.stored, stored);
        QCOMPARE(c.cellText, cell);
    }
}

void TestPriceEntry::rangeText_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("range");
    const QString tenths = QStringLiteral("[ 0.0 ～ 99.9 ]");
    const QString tens = QStringLiteral("[ 10 ～ 990 ]");
    const QString whole = QStringLiteral("[ 1 ～ 999 ]");
    const QString expected[10] = {tenths, tenths, tenths, tenths, tens,
                                  tens, whole, whole, tenths, tenths};
    for (int r = 0; r < 10; ++r)
        QTest::addRow("row %d", r) << r << expected[r];
}

void TestPriceEntry::rangeText()
{
    QFETCH(int, row);
    QFETCH(QString, range);
    QCOMPARE(PriceEntry::rangeText(row), range);
}

void TestPriceEntry::writeCommand_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("col3 12.5") << 2 << 125 << QByteArray("QVSP2=007D");
    QTest::newRow("col5 150") << 4 << 150 << QByteArray("QVSP4=0096");
    QTest::newRow("col1 99.9") << 0 << 999 << QByteArray("QVSP0=03E7");
    QTest::newRow("col1 0") << 0 << 0 << QByteArray("QVSP0=0000");
    QTest::newRow("col2 1.2") << 1 << 12 << QByteArray("QVSP1=000C");
    QTest::newRow("col5 990") << 4 << 990 << QByteArray("QVSP4=03DE");
    QTest::newRow("col7 999") << 6 << 999 << QByteArray("QVSP6=03E7");
    QTest::newRow("col9 50.5") << 8 << 505 << QByteArray("QVSP8=01F9");
    QTest::newRow("col10 171") << 9 << 171 << QByteArray("QVSP9=00AB");
}

void TestPriceEntry::writeCommand()
{
    QFETCH(int, row);
    QFETCH(int, stored);
    QFETCH(QByteArray, command);
    QCOMPARE(PriceEntry::writeCommand(row, stored), command);
}

QTEST_GUILESS_MAIN(TestPriceEntry)
#include "tst_price_entry.moc"
