// The sales between two readings: across recorded counter clears, and a
// count that fell with no clear recorded flagged, never negative.
#include "journal/SalesHistory.h"

#include <QtTest>

using SalesHistory::CountPoint;
Q_DECLARE_METATYPE(SalesHistory::CountPoint)

namespace {

// A point whose column 1 and total hold the figures given (-1: not recorded).
CountPoint point(qint64 count, qint64 total, bool clear = false, qint64 after = 0)
{
    CountPoint p;
    p.clear = clear;
    for (int f = 0; f < SalesHistory::Figures; ++f)
        p.counts[std::size_t(f)] = 0;
    if (count >= 0)
        p.counts[0] = count;
    else
        p.counts[0].reset();
    p.counts[SalesHistory::TotalFigure] = total;
    if (clear) {
        for (int f = 0; f < SalesHistory::Figures; ++f)
            p.after[std::size_t(f)] = 0;
        p.after[0] = after;
    }
    return p;
}

} // namespace

class TestSalesHistory : public QObject {
    Q_OBJECT
private slots:
    void between_data();
    void between();
    void cumulativeMatchesBetween();
    void fromRecordedEvents();
};

void TestSalesHistory::between_data()
{
    QTest::addColumn<QList<CountPoint>>("points");
    QTest::addColumn<qint64>("sold");
    QTest::addColumn<qint64>("soldYen");
    QTest::addColumn<bool>("fell");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<int>("clears");

    QTest::newRow("plain rise") << QList<CountPoint>{point(100, 5000), point(130, 6500)}
                                << qint64(30) << qint64(1500) << false << false << 0;
    QTest::newRow("no sales") << QList<CountPoint>{point(100, 5000), point(100, 5000)}
                              << qint64(0) << qint64(0) << false << false << 0;
    QTest::newRow("above four digits") << QList<CountPoint>{point(9990, 0), point(12345, 0)}
                                       << qint64(2355) << qint64(0) << false << false << 0;
    // 40 sold up to the clear, counting from 0 again, 25 after it.
    QTest::newRow("across a clear") << QList<CountPoint>{point(100, 5000), point(140, 7000, true), point(25, 1250)}
                                    << qint64(65) << qint64(3250) << false << false << 1;
    QTest::newRow("two clears") << QList<CountPoint>{point(10, 100), point(20, 200, true), point(5, 50, true),
                                                     point(7, 70)}
                                << qint64(22) << qint64(220) << false << false << 2;
    // A clear the controller did not take: its read-back still held 140.
    QTest::newRow("clear not taken") << QList<CountPoint>{point(100, 0), point(140, 0, true, 140), point(150, 0)}
                                     << qint64(50) << qint64(0) << false << false << 1;
    // A count past 65535 or a clear made elsewhere: at least the 20 since.
    QTest::newRow("wrapped") << QList<CountPoint>{point(65530, 9000), point(20, 9100)}
                             << qint64(20) << qint64(100) << true << false << 0;
    QTest::newRow("fell then rose") << QList<CountPoint>{point(500, 0), point(10, 0), point(30, 0)}
                                    << qint64(30) << qint64(0) << true << false << 0;
    QTest::newRow("count not read between") << QList<CountPoint>{point(10, 0), point(-1, 0), point(25, 0)}
                                            << qint64(15) << qint64(0) << false << true << 0;
    QTest::newRow("start not read") << QList<CountPoint>{point(-1, 0), point(25, 0), point(30, 0)}
                                    << qint64(5) << qint64(0) << false << true << 0;
}

void TestSalesHistory::between()
{
    QFETCH(QList<CountPoint>, points);
    QFETCH(qint64, sold);
    QFETCH(qint64, soldYen);
    QFETCH(bool, fell);
    QFETCH(bool, gap);
    QFETCH(int, clears);
    const SalesHistory::Sales s = SalesHistory::between(points, 0, int(points.size()) - 1);
    QCOMPARE(s.sold[0], sold);
    QCOMPARE(s.sold[SalesHistory::TotalFigure], soldYen);
    QCOMPARE(s.fell[0], fell);
    QCOMPARE(s.gap[0], gap);
    QCOMPARE(s.clears, clears);
    // The other columns stood at 0 throughout.
    QCOMPARE(s.sold[1], qint64(0));
    QVERIFY(!s.fell[1]);
}

void TestSalesHistory::cumulativeMatchesBetween()
{
    const QList<CountPoint> points{point(100, 10), point(140, 20, true), point(25, 30), point(3, 40),
                                   point(8, 45)};
    const QList<SalesHistory::Sales> sums = SalesHistory::cumulative(points);
    QCOMPARE(sums.size(), points.size());
    for (int i = 0; i < points.size(); ++i) {
        QCOMPARE(sums[i].sold[0], SalesHistory::between(points, 0, i).sold[0]);
        QCOMPARE(sums[i].fell[0], SalesHistory::between(points, 0, i).fell[0]);
    }
    // From a clear chosen as the start, counting begins at what it left.
    QCOMPARE(SalesHistory::between(points, 1, 2).sold[0], qint64(25));
}

void TestSalesHistory::fromRecordedEvents()
{
    // Only readings and clears carry counts; a write between them is skipped.
    JournalEvent reading{1, QStringLiteral("t1"), JournalKind::Reading, 3, {}, {}, {}, {}, {}};
    reading.items = {{QStringLiteral("price1"), 120, {}, {}}, {QStringLiteral("count1"), 70000 - 4465, {}, {}},
                     {QStringLiteral("total"), 900, {}, {}}};
    JournalEvent price{2, QStringLiteral("t2"), JournalKind::Price, 3, {}, {}, {}, {}, {}};
    price.items = {{QStringLiteral("price1"), 120, 150, 150}};
    JournalEvent clear{3, QStringLiteral("t3"), JournalKind::CounterClear, 3, {}, {}, {}, {}, {}};
    clear.items = {{QStringLiteral("count1"), 65535, {}, 0}, {QStringLiteral("total"), 1000, {}, QVariant()}};
    const QList<CountPoint> points = SalesHistory::countPoints({reading, price, clear});
    QCOMPARE(points.size(), 2);
    QCOMPARE(points[0].counts[0], std::optional<qint64>(65535));
    QVERIFY(!points[0].counts[1]);
    QVERIFY(points[1].clear);
    QCOMPARE(points[1].after[0], std::optional<qint64>(0));
    QVERIFY(!points[1].after[SalesHistory::TotalFigure]);
    QCOMPARE(SalesHistory::between(points, 0, 1).sold[SalesHistory::TotalFigure], qint64(100));
}

QTEST_GUILESS_MAIN(TestSalesHistory)
#include "tst_sales_history.moc"
