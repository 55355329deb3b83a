// The journal's CSV: RFC 4180 quoting, the header, values in plain decimal.
#include "journal/JournalCsv.h"

#include <QtTest>

Q_DECLARE_METATYPE(JournalItem)

class TestJournalCsv : public QObject {
    Q_OBJECT
private slots:
    void field_data();
    void field();
    void row_data();
    void row();
};

void TestJournalCsv::field_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("plain") << QStringLiteral("reading") << QByteArray("reading");
    QTest::newRow("empty") << QString() << QByteArray("");
    QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
    QTest::newRow("quote") << QStringLiteral("5\"") << QByteArray("\"5\"\"\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
    QTest::newRow("formula") << QStringLiteral("=1+1") << QByteArray("'=1+1");
    QTest::newRow("formula at sign") << QStringLiteral("@SUM(A1)") << QByteArray("'@SUM(A1)");
    QTest::newRow("formula minus, quoted") << QStringLiteral("-1,2") << QByteArray("\"'-1,2\"");
    QTest::newRow("formula plus") << QStringLiteral("+81") << QByteArray("'+81");
    QTest::newRow("japanese in UTF-8") << QStringLiteral("領収書") << QByteArray("\xe9\xa0\x98\xe5\x8f\x8e\xe6\x9b\xb8");
}

void TestJournalCsv::field()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, csv);
    QCOMPARE(JournalCsv::field(text), csv);
}

void TestJournalCsv::row_data()
{
    QTest::addColumn<JournalItem>("item");
    // The machine the event went with and its visit (0: outside one).
    QTest::addColumn<QString>("asset");
    QTest::addColumn<QString>("location");
    QTest::addColumn<qint64>("visit");
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("count above four digits") << JournalItem{QStringLiteral("count1"), qint64(12345), {}, {}}
                                             << QString() << QString() << qint64(0)
                                             << QByteArray("count1,12345,,,,,");
    QTest::newRow("total above 2^31") << JournalItem{QStringLiteral("total"), qint64(4294967295LL), {}, {}}
                                      << QString() << QString() << qint64(0)
                                      << QByteArray("total,4294967295,,,,,");
    QTest::newRow("write") << JournalItem{QStringLiteral("price3"), 120, 150, 150} << QString() << QString()
                           << qint64(0) << QByteArray("price3,120,150,150,,,");
    QTest::newRow("not read") << JournalItem{QStringLiteral("line1"), QVariant(), QStringLiteral("11a,b"), QVariant()}
                              << QString() << QString() << qint64(0) << QByteArray("line1,,\"11a,b\",,,,");
    QTest::newRow("empty text") << JournalItem{QStringLiteral("identification"), QStringLiteral(""), {}, {}}
                                << QString() << QString() << qint64(0) << QByteArray("identification,\"\",,,,,");
    QTest::newRow("named machine in a visit") << JournalItem{QStringLiteral("count1"), qint64(7), {}, {}}
                                              << QStringLiteral("A-001") << QStringLiteral("駅東口") << qint64(41)
                                              << QByteArray("count1,7,,,A-001,\xe9\xa7\x85\xe6\x9d\xb1\xe5\x8f\xa3,41");
    QTest::newRow("machine's texts quoted as any") << JournalItem{QStringLiteral("count1"), qint64(7), {}, {}}
                                                   << QStringLiteral("-12") << QStringLiteral("Hall 2, east")
                                                   << qint64(0) << QByteArray("count1,7,,,'-12,\"Hall 2, east\",");
}

void TestJournalCsv::row()
{
    QFETCH(JournalItem, item);
    QFETCH(QString, asset);
    QFETCH(QString, location);
    QFETCH(qint64, visit);
    QFETCH(QByteArray, tail);
    JournalEvent e;
    e.time = QStringLiteral("2026-12-07T15:55:00+09:00");
    e.kind = QStringLiteral("reading");
    e.port = 12;
    e.device = QStringLiteral("/dev/pts/3");
    e.identification = QStringLiteral("MACHINE1");
    e.version = QStringLiteral("ver1.23");
    e.visit = visit;
    QCOMPARE(JournalCsv::row(e, item, asset, location),
             "2026-12-07T15:55:00+09:00,12,/dev/pts/3,MACHINE1,ver1.23,reading," + tail + "\r\n");
    // The columns of the first version first, in their order.
    QCOMPARE(JournalCsv::header(),
             QByteArray("time,port,device,controller,version,event,item,value,sent,reported,asset,location,visit\r\n"));
}

QTEST_GUILESS_MAIN(TestJournalCsv)
#include "tst_journal_csv.moc"
