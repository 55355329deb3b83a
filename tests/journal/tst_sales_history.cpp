// The sales between two readings: across proven and unproven counter
// clears, across wraps of the counts and the total, flagged where unsure.
#include "journal/Collections.h"
#include "journal/Fleet.h"
#include "journal/SalesHistory.h"

#include <QtTest>

using SalesHistory::CountPoint;
Q_DECLARE_METATYPE(SalesHistory::CountPoint)
Q_DECLARE_METATYPE(QList<SalesHistory::CountPoint>)

namespace {

// A reading whose column 1 and total hold the figures given (-1: not
// recorded), column 1 priced `price` (the window shows 5.0 for 50); the
// other columns stand at 0.
CountPoint point(qint64 count, qint64 total, qint64 price = 50)
{
    CountPoint p;
    for (int f = 0; f < SalesHistory::Figures; ++f)
        p.counts[std::size_t(f)] = 0;
    if (count >= 0)
        p.counts[0] = count;
    else
        p.counts[0].reset();
    p.counts[SalesHistory::TotalFigure] = total;
    p.prices[0] = price;
    return p;
}

// A clear: the figures before it, then those read back (-1: not read back).
CountPoint clear(qint64 count, qint64 total, qint64 afterCount, qint64 afterTotal)
{
    CountPoint p = point(count, total);
    p.clear = true;
    p.prices = {};
    for (int f = 0; f < SalesHistory::Figures; ++f)
        p.after[std::size_t(f)] = 0;
    auto set = [](std::optional<qint64> &slot, qint64 v) { slot = v >= 0 ? std::optional<qint64>(v) : std::nullopt; };
    set(p.after[0], afterCount);
    set(p.after[SalesHistory::TotalFigure], afterTotal);
    return p;
}

// A reading of all sixteen columns: the counts given by column (1-16), the
// rest at 0; every price known, 101 yen unless given (stored as the
// controller does: tenths but for columns 5-8), a price no other adds up to.
using Figures = QMap<int, qint64>;
CountPoint machine(const Figures &counts, qint64 total, const Figures &prices = {})
{
    CountPoint p;
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        p.counts[std::size_t(c)] = counts.value(c + 1, 0);
        const bool wholeYen = c >= 4 && c <= 7;
        p.prices[std::size_t(c)] = prices.value(c + 1, wholeYen ? 101 : 1010);
    }
    p.counts[SalesHistory::TotalFigure] = total;
    return p;
}

// A clear of such a machine: its figures before, then those read back
// (empty: not read back).
CountPoint machineClear(const Figures &before, qint64 total, const std::optional<Figures> &after, qint64 afterTotal)
{
    CountPoint p = machine(before, total);
    p.clear = true;
    p.prices = {};
    if (after) {
        for (int c = 0; c < SalesHistory::Columns; ++c)
            p.after[std::size_t(c)] = after->value(c + 1, 0);
        p.after[SalesHistory::TotalFigure] = afterTotal;
    }
    return p;
}

} // namespace

class TestSalesHistory : public QObject {
    Q_OBJECT
private slots:
    void between_data();
    void between();
    void wrapsAndClears_data();
    void wrapsAndClears();
    void cumulativeMatchesBetween();
    void fromRecordedEvents();
    void collection_data();
    void collection();
    void fleetRow_data();
    void fleetRow();
};

void TestSalesHistory::between_data()
{
    QTest::addColumn<QList<CountPoint>>("points");
    QTest::addColumn<qint64>("sold");
    QTest::addColumn<qint64>("soldYen");
    QTest::addColumn<bool>("fell");
    QTest::addColumn<bool>("unsure");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<int>("clears");
    QTest::addColumn<int>("unproven");

    QTest::newRow("plain rise") << QList<CountPoint>{point(100, 5000), point(130, 6500)}
                                << qint64(30) << qint64(1500) << false << false << false << 0 << 0;
    QTest::newRow("above four digits") << QList<CountPoint>{point(9990, 0), point(12345, 117750)}
                                       << qint64(2355) << qint64(117750) << false << false << false << 0 << 0;
    // 40 sold up to the clear, counting from 0 again, 25 after it.
    QTest::newRow("clear confirmed") << QList<CountPoint>{point(100, 5000), clear(140, 7000, 0, 0), point(25, 1250)}
                                     << qint64(65) << qint64(3250) << false << false << false << 1 << 0;
    // Three sold between the clear and its read-back: in the 25 after it.
    QTest::newRow("sales during the clear")
        << QList<CountPoint>{point(100, 5000), clear(140, 7000, 3, 150), point(25, 1250)}
        << qint64(65) << qint64(3250) << false << false << false << 1 << 0;
    QTest::newRow("two clears") << QList<CountPoint>{point(10, 500), clear(20, 1000, 0, 0), clear(5, 250, 0, 0),
                                                     point(7, 350)}
                                << qint64(22) << qint64(1100) << false << false << false << 2 << 0;
    // Killed before the read-back, never sent: the next reading is above.
    QTest::newRow("not confirmed, not carried out")
        << QList<CountPoint>{point(100, 5000), clear(140, 7000, -1, -1), point(150, 7500)}
        << qint64(50) << qint64(2500) << false << false << false << 1 << 1;
    QTest::newRow("not confirmed, decided later")
        << QList<CountPoint>{point(100, 5000), clear(140, 7000, -1, -1), point(25, 1250)}
        << qint64(65) << qint64(3250) << false << false << false << 1 << 0;
    QTest::newRow("not confirmed, not yet decided")
        << QList<CountPoint>{point(100, 5000), clear(140, 7000, -1, -1)}
        << qint64(40) << qint64(2000) << false << false << false << 1 << 1;
    // Read back unchanged: the controller did not take it.
    QTest::newRow("clear refused") << QList<CountPoint>{point(100, 5000), clear(140, 7000, 141, 7050), point(150, 7500)}
                                   << qint64(50) << qint64(2500) << false << false << false << 1 << 1;
    QTest::newRow("total kept at the clear")
        << QList<CountPoint>{point(100, 5000), clear(140, 7000, 0, 7000), point(25, 8250)}
        << qint64(65) << qint64(3250) << false << false << false << 1 << 0;
    // The total passed 2^32 while a clear was read back: refused, it runs on.
    QTest::newRow("clear refused, total wrapped")
        << QList<CountPoint>{point(100, 4294967000LL), clear(140, 4294967295LL, 141, 500), point(150, 1000)}
        << qint64(50) << qint64(1296) << false << false << false << 1 << 1;
    // Taken by a controller that keeps its total, one sale at 50.0 yen made
    // meanwhile (prices in tenths): 49 is the kept total past 2^32, not a
    // total restarted.
    QTest::newRow("total kept, wrapped at the clear")
        << QList<CountPoint>{point(100, 4294967000LL, 500), clear(140, 4294967295LL, 1, 49), point(5, 249, 500)}
        << qint64(45) << qint64(545) << false << false << false << 1 << 0;
    // Restarted from 0 with one sale at 5.0 yen: 5 yen, not a total kept
    // past 2^32 (which would be 6).
    QTest::newRow("total restarted, price in tenths")
        << QList<CountPoint>{point(100, 4294967000LL), clear(140, 4294967295LL, 1, 5), point(5, 205)}
        << qint64(45) << qint64(500) << false << false << false << 1 << 0;
    // Past 65535: exact modulo 65,536; one more wrap (65,562 x 5.0 yen) would not fit in 1,300 yen.
    QTest::newRow("count wrapped") << QList<CountPoint>{point(65530, 9000), point(20, 10300)}
                                   << qint64(26) << qint64(1300) << false << false << false << 0 << 0;
    // 26 sold at 0.1 yen, or 65,562 with one more wrap: 6,556.2 yen, which a
    // total of whole yen shows as 6,556 grown; so the wrap cannot be ruled out.
    QTest::newRow("wrap hidden in the kept tenths") << QList<CountPoint>{point(65530, 9000, 1), point(20, 15556, 1)}
                                                    << qint64(26) << qint64(6556) << false << true << false << 0 << 0;
    // No whole number of turns at 0.1 yen makes up the 10,997 yen no count
    // shows: column 1 is not flagged for it.
    QTest::newRow("money no turn explains") << QList<CountPoint>{point(65530, 9000, 1), point(20, 20000, 1)}
                                            << qint64(26) << qint64(11000) << false << false << false << 0 << 0;
    // A price of 0 explains no money: never flagged.
    QTest::newRow("priced 0") << QList<CountPoint>{point(10, 9000, 0), point(12, 9000, 0)}
                              << qint64(2) << qint64(0) << false << false << false << 0 << 0;
    QTest::newRow("total past 32 bits") << QList<CountPoint>{point(100, 4294967000LL), point(110, 204)}
                                        << qint64(10) << qint64(500) << false << false << false << 0 << 0;
    // The total fell too: cleared elsewhere, at least what was counted since.
    QTest::newRow("cleared elsewhere") << QList<CountPoint>{point(500, 9000), point(10, 500)}
                                       << qint64(10) << qint64(500) << true << false << false << 0 << 0;
    QTest::newRow("count not read between") << QList<CountPoint>{point(10, 0), point(-1, 0), point(25, 0, 0)}
                                            << qint64(15) << qint64(0) << false << false << true << 0 << 0;
    QTest::newRow("start not read") << QList<CountPoint>{point(-1, 0), point(25, 0), point(30, 250)}
                                    << qint64(5) << qint64(250) << false << false << true << 0 << 0;
}

void TestSalesHistory::between()
{
    QFETCH(QList<CountPoint>, points);
    QFETCH(qint64, sold);
    QFETCH(qint64, soldYen);
    QFETCH(bool, fell);
    QFETCH(bool, unsure);
    QFETCH(bool, gap);
    QFETCH(int, clears);
    QFETCH(int, unproven);
    const SalesHistory::Sales s = SalesHistory::between(points, 0, int(points.size()) - 1);
    QCOMPARE(s.sold[0], sold);
    QCOMPARE(s.sold[SalesHistory::TotalFigure], soldYen);
    QCOMPARE(s.fell[0], fell);
    QCOMPARE(s.unsure[0], unsure);
    QCOMPARE(s.gap[0], gap);
    QCOMPARE(s.clears, clears);
    QCOMPARE(s.unproven, unproven);
    // The other columns stood at 0 throughout.
    QCOMPARE(s.sold[1], qint64(0));
    QVERIFY(!s.fell[1]);
}

void TestSalesHistory::wrapsAndClears_data()
{
    // The readings and clears, then per column (1-16, others 0) the pieces
    // sold, the turns of 65,536 placed, the turns flagged; and the money.
    QTest::addColumn<QList<CountPoint>>("points");
    QTest::addColumn<Figures>("sold");
    QTest::addColumn<Figures>("wraps");
    QTest::addColumn<Figures>("mayWrap");
    QTest::addColumn<qint64>("yen");

    // Column 6 at 150 yen sold 65,566: its count grew 30, the register
    // 9,834,900 yen, which only one more turn of column 6 explains.
    const Figures at150{{6, 150}};
    QTest::newRow("one wrap")
        << QList<CountPoint>{machine({{6, 10}}, 1000, at150), machine({{6, 40}}, 1000 + 65566 * 150, at150)}
        << Figures{{6, 65566}} << Figures{{6, 1}} << Figures() << qint64(65566 * 150);
    // Within the tenths the total keeps: column 1 at 12.3 yen sold 5 (61.5 yen).
    const Figures withTenths{{1, 123}, {6, 150}};
    QTest::newRow("one wrap, the total rounding tenths")
        << QList<CountPoint>{machine({{1, 2}, {6, 10}}, 1000, withTenths),
                             machine({{1, 7}, {6, 40}}, 1000 + 65566 * 150 + 61, withTenths)}
        << Figures{{1, 5}, {6, 65566}} << Figures{{6, 1}} << Figures() << qint64(65566 * 150 + 61);
    QTest::newRow("two wraps on one column")
        << QList<CountPoint>{machine({{6, 10}}, 1000, at150), machine({{6, 40}}, 1000 + 131102 * 150, at150)}
        << Figures{{6, 131102}} << Figures{{6, 2}} << Figures() << qint64(131102 * 150);
    // Column 1 at 12.3 yen and column 6 at 150 yen turned once each; no
    // other split of the money fits.
    const Figures twoPrices{{1, 123}, {6, 150}};
    QTest::newRow("one wrap on each of two columns")
        << QList<CountPoint>{machine({{1, 100}, {6, 10}}, 0, twoPrices),
                             machine({{1, 100}, {6, 10}}, 65536 * 1623 / 10, twoPrices)}
        << Figures{{1, 65536}, {6, 65536}} << Figures{{1, 1}, {6, 1}} << Figures() << qint64(65536 * 1623 / 10);
    // Column 6 went from 150 to 160 yen: which price the pieces sold at is
    // not known, so nothing is placed; column 6 is flagged.
    QTest::newRow("a price changed between the readings")
        << QList<CountPoint>{machine({{6, 10}}, 1000, at150), machine({{6, 40}}, 1000 + 65566 * 150, {{6, 160}})}
        << Figures{{6, 30}} << Figures() << Figures{{6, 1}} << qint64(65566 * 150);
    // Columns 6 and 7 both at 150 yen: either could have turned. Column 8
    // at 0 yen explains no money and is never flagged.
    const Figures twins{{6, 150}, {7, 150}, {8, 0}};
    QTest::newRow("ambiguous")
        << QList<CountPoint>{machine({{6, 10}, {8, 3}}, 1000, twins), machine({{6, 40}, {8, 9}}, 1000 + 65566 * 150, twins)}
        << Figures{{6, 30}, {8, 6}} << Figures() << Figures{{6, 1}, {7, 1}} << qint64(65566 * 150);

    // A controller that keeps its total: a clear not read back, then three
    // pieces at 5 yen, then a second clear. The second clear's figures
    // decide the first.
    const Figures at5{{1, 50}};
    QTest::newRow("clear not read back, then a second clear")
        << QList<CountPoint>{machine({{1, 40}}, 1000, at5), machineClear({{1, 40}}, 1000, std::nullopt, 0),
                             machineClear({{1, 3}}, 1015, Figures(), 1015), machine({}, 1015, at5)}
        << Figures{{1, 3}} << Figures() << Figures() << qint64(15);
    // The same controller cleared with another tool: 3 pieces at 10 yen
    // sold since, the total grew 30 yen; 52,247 would be worth far more.
    const Figures at10{{1, 100}};
    QTest::newRow("cleared with another tool, total kept")
        << QList<CountPoint>{machine({{1, 13292}}, 5000, at10), machine({{1, 3}}, 5030, at10)}
        << Figures{{1, 3}} << Figures() << Figures() << qint64(30);
    // Not read back; column 1 sold back up to its old 1, but 60 yen came in:
    // one piece of column 1 and ten of column 2, so the clear happened.
    const Figures two{{1, 100}, {2, 50}};
    QTest::newRow("clear not read back, a column sold back to its figure")
        << QList<CountPoint>{machine({{1, 1}, {2, 50}}, 1000, two),
                             machineClear({{1, 1}, {2, 50}}, 1000, std::nullopt, 0),
                             machine({{1, 1}, {2, 10}}, 1060, two)}
        << Figures{{1, 1}, {2, 10}} << Figures() << Figures() << qint64(60);
}

void TestSalesHistory::wrapsAndClears()
{
    QFETCH(QList<CountPoint>, points);
    QFETCH(Figures, sold);
    QFETCH(Figures, wraps);
    QFETCH(Figures, mayWrap);
    QFETCH(qint64, yen);
    const SalesHistory::Sales s = SalesHistory::between(points, 0, int(points.size()) - 1);
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        const std::size_t i = std::size_t(c);
        QVERIFY2(s.sold[i] == sold.value(c + 1, 0), qPrintable(QStringLiteral("column %1: %2").arg(c + 1).arg(s.sold[i])));
        QCOMPARE(s.wraps[i], wraps.value(c + 1, 0));
        QCOMPARE(s.mayWrap[i], mayWrap.value(c + 1, 0));
        QCOMPARE(s.unsure[i], mayWrap.value(c + 1, 0) > 0);
    }
    QCOMPARE(s.sold[SalesHistory::TotalFigure], yen);
    QCOMPARE(s.unproven, 0);
}

void TestSalesHistory::cumulativeMatchesBetween()
{
    const QList<CountPoint> points{point(100, 10), clear(140, 20, 0, 0), point(25, 30), point(3, 40),
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
    JournalEvent reading{1, QStringLiteral("t1"), JournalKind::Reading, 3, {}, {}, {}, {}, {}, {}, {}};
    reading.items = {{QStringLiteral("price1"), 120, {}, {}}, {QStringLiteral("count1"), 70000 - 4465, {}, {}},
                     {QStringLiteral("total"), 900, {}, {}}};
    JournalEvent price{2, QStringLiteral("t2"), JournalKind::Price, 3, {}, {}, {}, {}, {}, {}, {}};
    price.items = {{QStringLiteral("price1"), 120, 150, 150}};
    JournalEvent clear{3, QStringLiteral("t3"), JournalKind::CounterClear, 3, {}, {}, {}, {}, {}, {}, {}};
    clear.items = {{QStringLiteral("count1"), 65535, {}, 0}, {QStringLiteral("total"), 1000, {}, QVariant()}};
    const QList<CountPoint> points = SalesHistory::countPoints({reading, price, clear});
    QCOMPARE(points.size(), 2);
    QCOMPARE(points[0].counts[0], std::optional<qint64>(65535));
    QCOMPARE(points[0].prices[0], std::optional<qint64>(120));
    QVERIFY(!points[0].counts[1]);
    QVERIFY(points[1].clear);
    QCOMPARE(points[1].after[0], std::optional<qint64>(0));
    QVERIFY(!points[1].after[SalesHistory::TotalFigure]);
    QCOMPARE(SalesHistory::between(points, 0, 1).sold[SalesHistory::TotalFigure], qint64(100));
}

// The cash taken at the last clear of the points pays for the sales since
// the clear before it up to the figures read just before the last: what
// the last clear itself then did is the next collection's business.
void TestSalesHistory::collection_data()
{
    QTest::addColumn<QList<CountPoint>>("points");
    QTest::addColumn<int>("previous");
    QTest::addColumn<qint64>("sold");
    QTest::addColumn<qint64>("soldYen");
    QTest::addColumn<int>("clears");
    QTest::addColumn<int>("unproven");

    // 3 sold while the first clear was read back belong to this collection.
    QTest::newRow("clear to clear") << QList<CountPoint>{point(100, 5000), clear(140, 7000, 3, 150), point(25, 1250),
                                                         clear(30, 1500, 0, 0), point(2, 100)}
                                    << 1 << qint64(30) << qint64(1500) << 0 << 0;
    // The cash is counted against the figures before: a clear refused at
    // the end still closes them.
    QTest::newRow("this clear refused") << QList<CountPoint>{clear(40, 2000, 0, 0), point(25, 1250),
                                                             clear(30, 1500, 31, 1550)}
                                        << 0 << qint64(30) << qint64(1500) << 0 << 0;
    // The clear before was refused: the counts went on from its figures.
    QTest::newRow("previous refused") << QList<CountPoint>{clear(40, 2000, 41, 2050), point(45, 2250),
                                                           clear(52, 2600, 0, 0)}
                                      << 0 << qint64(12) << qint64(600) << 0 << 0;
    // Killed before its read-back: the next clear's figures below it decide
    // that it was carried out.
    QTest::newRow("previous decided by this") << QList<CountPoint>{clear(40, 2000, -1, -1), clear(12, 600, 0, 0)}
                                              << 0 << qint64(12) << qint64(600) << 0 << 0;
    QTest::newRow("no clear before") << QList<CountPoint>{point(100, 5000), point(120, 6000), clear(130, 6500, 0, 0)}
                                     << -1 << qint64(30) << qint64(1500) << 0 << 0;
}

void TestSalesHistory::collection()
{
    QFETCH(QList<CountPoint>, points);
    QFETCH(int, previous);
    QFETCH(qint64, sold);
    QFETCH(qint64, soldYen);
    QFETCH(int, clears);
    QFETCH(int, unproven);
    const int last = int(points.size()) - 1;
    int at = last;
    while (!points[at].clear)
        --at;
    const Collections::Collection c = Collections::at(points, at);
    QCOMPARE(c.clear, at);
    QCOMPARE(c.previous, previous);
    QCOMPARE(c.sales.sold[0], sold);
    QCOMPARE(c.sales.sold[SalesHistory::TotalFigure], soldYen);
    QCOMPARE(c.sales.clears, clears);
    QCOMPARE(c.sales.unproven, unproven);
    // The register is the figures read just before the clear.
    QCOMPARE(c.registered[0], points[at].counts[0]);
    QCOMPARE(c.registered[SalesHistory::TotalFigure], points[at].counts[SalesHistory::TotalFigure]);
}

void TestSalesHistory::fleetRow_data()
{
    // Column 1 at 5.0 yen; the points dated a day apart, the last on
    // 2026-12-01. What the fleet table shows of the machine on 2026-12-08.
    QTest::addColumn<QList<CountPoint>>("points");
    QTest::addColumn<qint64>("pieces");
    QTest::addColumn<qint64>("yen");
    QTest::addColumn<qint64>("registered");   // -1: never collected
    QTest::addColumn<QStringList>("marks");
    QTest::newRow("sold since the collection") << QList<CountPoint>{point(100, 500), clear(120, 600, 0, 0), point(7, 35)}
                                               << qint64(7) << qint64(35) << qint64(600) << QStringList();
    QTest::newRow("never collected") << QList<CountPoint>{point(10, 50), point(15, 75)} << qint64(5) << qint64(25)
                                     << qint64(-1) << QStringList();
    QTest::newRow("a clear not proven") << QList<CountPoint>{point(10, 50), clear(12, 60, -1, -1), point(14, 70)}
                                        << qint64(2) << qint64(10) << qint64(60)
                                        << QStringList{QStringLiteral("clear not proven")};
    QTest::newRow("a price changed since") << QList<CountPoint>{point(10, 50), clear(12, 60, 0, 0), point(2, 12, 60)}
                                           << qint64(2) << qint64(12) << qint64(60)
                                           << QStringList{QStringLiteral("price changed since the collection")};
    QTest::newRow("cleared elsewhere") << QList<CountPoint>{point(10, 50), point(3, 15)} << qint64(3) << qint64(15)
                                       << qint64(-1) << QStringList{QStringLiteral("cleared elsewhere")};
}

void TestSalesHistory::fleetRow()
{
    QFETCH(QList<CountPoint>, points);
    QFETCH(qint64, pieces);
    QFETCH(qint64, yen);
    QFETCH(qint64, registered);
    QFETCH(QStringList, marks);
    const QDateTime last = QDateTime::fromString(QStringLiteral("2026-12-01T10:00:00+09:00"), Qt::ISODate);
    for (int i = 0; i < points.size(); ++i) {
        points[i].eventId = i + 1;
        points[i].time = last.addDays(i + 1 - points.size()).toString(Qt::ISODateWithMs).left(19) + QStringLiteral("+09:00");
    }
    JournalController machine;
    machine.asset = QStringLiteral("A-001");
    for (const int stale : {30, 5}) {
        const Fleet::Row row = Fleet::row(machine, points, QStringLiteral("佐藤"), last.addDays(7), stale);
        QCOMPARE(row.piecesSinceCollection, pieces);
        QCOMPARE(row.yenSinceCollection, yen);
        QCOMPARE(row.register_.value_or(-1), registered);
        QCOMPARE(row.lastVisit, points.last().time);
        QCOMPARE(row.marks, stale == 30 ? marks : marks + QStringList{QStringLiteral("not visited for 7 days")});
    }
}

QTEST_GUILESS_MAIN(TestSalesHistory)
#include "tst_sales_history.moc"
