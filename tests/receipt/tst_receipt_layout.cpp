// Layout arithmetic of the receipt preview: margins, the tops of the print
// items in each pass, wrap decisions, paper length, scroll extent, snapping
// and ruler ticks.
#include "receipt/layout/ReceiptGeometry.h"
#include "receipt/layout/ReceiptLayout.h"
#include "receipt/layout/RulerTicks.h"

#include <QtTest>

using namespace ReceiptLayout;
namespace Geo = ReceiptGeometry;

Q_DECLARE_METATYPE(ReceiptLayout::Pass)

namespace {

struct Line {
    bool empty;
    int width;
    int height;
    int wrappedLines;
    bool wrapBefore;
};

// Reads as a row of the table below: empty?, single-line width, line height,
// lines when wrapped, wrap mode before the pass.
QList<QVariant> lineRow(const Line &l)
{
    return {l.empty, l.width, l.height, l.wrappedLines, l.wrapBefore};
}

Input inputFrom(Pass pass, const QVariantList &lines)
{
    Input in;
    in.pass = pass;
    for (int i = 0; i < 3; ++i) {
        const QVariantList l = lines.at(i).toList();
        in.lines[i] = {l.at(0).toBool(), l.at(1).toInt(), l.at(2).toInt(), l.at(3).toInt()};
        in.wrap[i] = l.at(4).toBool();
    }
    for (int k = Date; k < ItemCount; ++k)
        in.fixedHeights[k] = 24;
    in.lineUnit = 24;
    in.margins = Geo::Margins{8, 40, 24, 16};
    in.printableWidth = 428;
    return in;
}

QVariantList lines(const Line &a, const Line &b, const Line &c)
{
    return {QVariant(lineRow(a)), QVariant(lineRow(b)), QVariant(lineRow(c))};
}

// The start texts: "領 収 書" at 2 x 2 (8 cells of 24 px), the thanks at
// 1 x 2 (26 cells of 12 px), sixteen squares at 1 x 1 (32 cells of 12 px).
const Line StartLine1{false, 192, 48, 1, false};
const Line StartLine2{false, 312, 48, 1, false};
const Line StartLine3{false, 384, 24, 1, false};

// Tops in item order: lines 1-3, date, captions 1-4, units 1-4, number.
const QList<int> StartTops{40, 112, 184, 232, 280, 352, 400, 448, 304, 376, 424, 472, 520};

} // namespace

class TestReceiptLayout : public QObject {
    Q_OBJECT
private slots:
    void margins();
    void layout_data();
    void layout();
    void emptyLineTakesNoSpace_data();
    void emptyLineTakesNoSpace();
    void scrollExtent_data();
    void scrollExtent();
    void snap_data();
    void snap();
    void topRuler_data();
    void topRuler();
    void leftRuler_data();
    void leftRuler();
};

void TestReceiptLayout::margins()
{
    // Tenths of a millimetre at 8 px/mm.
    const Geo::Margins px = Geo::marginsInPixels();
    QCOMPARE(px, (Geo::Margins{8, 40, 24, 16}));
    QCOMPARE(Geo::marginsInPixels({15, 5, 3, 19}, 8), (Geo::Margins{12, 4, 2, 15}));
    QCOMPARE(Geo::TicketWidth, 460);
    QCOMPARE(Geo::ProvisionalTicketHeight, 552);
    QCOMPARE(Geo::printableArea(QSize(460, 552), px), QRect(8, 40, 428, 496));
}

void TestReceiptLayout::layout_data()
{
    QTest::addColumn<Pass>("pass");
    QTest::addColumn<QVariantList>("lines");
    QTest::addColumn<QList<int>>("tops");
    QTest::addColumn<QList<int>>("lineHeights");
    QTest::addColumn<QList<bool>>("wraps");
    QTest::addColumn<int>("printableHeight");
    QTest::addColumn<int>("ticketHeight");

    const QVariantList start = lines(StartLine1, StartLine2, StartLine3);
    QTest::newRow("start-up, start texts") << Pass::StartUp << start << StartTops
                                           << QList<int>{48, 48, 24}
                                           << QList<bool>{false, false, false} << 512 << 568;
    QTest::newRow("edit, same settings") << Pass::Edit << start << StartTops
                                         << QList<int>{48, 48, 24}
                                         << QList<bool>{false, false, false} << 504 << 560;
    QTest::newRow("connect, same settings") << Pass::Connect << start << StartTops
                                            << QList<int>{48, 48, 24}
                                            << QList<bool>{false, false, false} << 504 << 560;

    // Line 2 at Y = 1 instead of 2: everything below it 24 px higher up.
    QTest::newRow("edit, line 2 one line unit lower")
        << Pass::Edit << lines(StartLine1, Line{false, 312, 24, 1, false}, StartLine3)
        << QList<int>{40, 112, 160, 208, 256, 328, 376, 424, 280, 352, 400, 448, 496}
        << QList<int>{48, 24, 24} << QList<bool>{false, false, false} << 480 << 536;

    QTest::newRow("edit, line 2 one px too wide wraps to two lines")
        << Pass::Edit << lines(StartLine1, Line{false, 429, 48, 3, false}, StartLine3)
        << QList<int>{40, 112, 232, 280, 328, 400, 448, 496, 352, 424, 472, 520, 568}
        << QList<int>{48, 96, 24} << QList<bool>{false, true, false} << 552 << 608;
    QTest::newRow("edit, line 2 exactly the printable width stays single")
        << Pass::Edit << lines(StartLine1, Line{false, 428, 48, 1, false}, StartLine3)
        << StartTops << QList<int>{48, 48, 24} << QList<bool>{false, false, false} << 504 << 560;
    QTest::newRow("edit, a line that fits again leaves wrap mode")
        << Pass::Edit << lines(StartLine1, Line{false, 300, 48, 1, true}, StartLine3)
        << StartTops << QList<int>{48, 48, 24} << QList<bool>{false, false, false} << 504 << 560;

    // The connect relayout keeps what the last edit relayout chose.
    QTest::newRow("connect, wrapped line takes all its lines")
        << Pass::Connect << lines(StartLine1, Line{false, 900, 48, 3, true}, StartLine3)
        << QList<int>{40, 112, 280, 328, 376, 448, 496, 544, 400, 472, 520, 568, 616}
        << QList<int>{48, 144, 24} << QList<bool>{false, true, false} << 600 << 656;
    QTest::newRow("connect, wide line in single-line mode stays one line")
        << Pass::Connect << lines(StartLine1, Line{false, 900, 48, 3, false}, StartLine3)
        << StartTops << QList<int>{48, 48, 24} << QList<bool>{false, false, false} << 504 << 560;
    QTest::newRow("connect, wrap mode kept though the text now fits")
        << Pass::Connect << lines(StartLine1, Line{false, 300, 48, 1, true}, StartLine3)
        << StartTops << QList<int>{48, 48, 24} << QList<bool>{false, true, false} << 504 << 560;

    // Start-up makes no wrap test.
    QTest::newRow("start-up, wide line stays single")
        << Pass::StartUp << lines(Line{false, 1000, 48, 3, false}, StartLine2, StartLine3)
        << StartTops << QList<int>{48, 48, 24} << QList<bool>{false, false, false} << 512 << 568;

    QTest::newRow("edit, every line wide")
        << Pass::Edit
        << lines(Line{false, 624, 48, 2, false}, Line{false, 432, 48, 2, false},
                 Line{false, 500, 24, 2, false})
        << QList<int>{40, 160, 280, 352, 400, 472, 520, 568, 424, 496, 544, 592, 640}
        << QList<int>{96, 96, 48} << QList<bool>{true, true, true} << 624 << 680;
}

void TestReceiptLayout::layout()
{
    QFETCH(Pass, pass);
    QFETCH(QVariantList, lines);
    QFETCH(QList<int>, tops);
    QFETCH(QList<int>, lineHeights);
    QFETCH(QList<bool>, wraps);
    QFETCH(int, printableHeight);
    QFETCH(int, ticketHeight);

    const Result r = ReceiptLayout::layout(inputFrom(pass, lines));
    QList<int> gotTops(r.top.begin(), r.top.end());
    QCOMPARE(gotTops, tops);
    QCOMPARE((QList<int>{r.height[Line1], r.height[Line2], r.height[Line3]}), lineHeights);
    QCOMPARE((QList<bool>{r.wrap[0], r.wrap[1], r.wrap[2]}), wraps);
    for (int k = Date; k < ItemCount; ++k)
        QCOMPARE(r.height[k], 24);
    QCOMPARE(r.printableHeight, printableHeight);
    QCOMPARE(r.ticketHeight, ticketHeight);
}

void TestReceiptLayout::emptyLineTakesNoSpace_data()
{
    QTest::addColumn<Pass>("pass");
    QTest::addColumn<int>("emptyLine");
    QTest::newRow("edit, line 1") << Pass::Edit << 0;
    QTest::newRow("edit, line 2") << Pass::Edit << 1;
    QTest::newRow("edit, line 3") << Pass::Edit << 2;
    QTest::newRow("connect, line 2") << Pass::Connect << 1;
    QTest::newRow("start-up, line 2") << Pass::StartUp << 1;
}

void TestReceiptLayout::emptyLineTakesNoSpace()
{
    QFETCH(Pass, pass);
    QFETCH(int, emptyLine);
    const Line normal[3] = {StartLine1, StartLine2, StartLine3};
    Line changed[3] = {StartLine1, StartLine2, StartLine3};
    changed[emptyLine].empty = true;
    // An empty text measures as one blank: one line high.
    changed[emptyLine].width = 12;
    const Result before = ReceiptLayout::layout(inputFrom(pass, lines(normal[0], normal[1], normal[2])));
    const Result after = ReceiptLayout::layout(inputFrom(pass, lines(changed[0], changed[1], changed[2])));

    // The empty line sits where it would have, and the next item starts there too.
    QCOMPARE(after.top[emptyLine], before.top[emptyLine]);
    QCOMPARE(after.top[emptyLine + 1], after.top[emptyLine]);
    const int gap = before.height[emptyLine] + 24;
    for (int k = emptyLine + 1; k < ItemCount; ++k)
        QCOMPARE(after.top[k], before.top[k] - gap);
    QCOMPARE(after.ticketHeight, before.ticketHeight - gap);
}

void TestReceiptLayout::scrollExtent_data()
{
    QTest::addColumn<QSize>("ticket");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QSize>("extent");
    QTest::addColumn<QSize>("aligned");
    QTest::newRow("start-up paper in the settings page's box")
        << QSize(460, 552) << QSize(515, 389) << QSize(505, 597) << QSize(515, 597);
    QTest::newRow("after a relayout") << QSize(460, 560) << QSize(515, 389) << QSize(505, 605)
                                      << QSize(515, 605);
    QTest::newRow("short paper in a tall box") << QSize(460, 200) << QSize(515, 389)
                                               << QSize(505, 245) << QSize(515, 389);
    QTest::newRow("narrow box") << QSize(460, 560) << QSize(300, 389) << QSize(505, 605)
                                << QSize(505, 605);
}

void TestReceiptLayout::scrollExtent()
{
    QFETCH(QSize, ticket);
    QFETCH(QSize, client);
    QFETCH(QSize, extent);
    QFETCH(QSize, aligned);
    QCOMPARE(Geo::scrollExtent(ticket), extent);
    QCOMPARE(Geo::alignedArea(Geo::scrollExtent(ticket), client), aligned);
}

void TestReceiptLayout::snap_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("snapped");
    QTest::newRow("on the grid") << 40 << 40;
    QTest::newRow("1 past") << 41 << 40;
    QTest::newRow("4 past rounds down") << 44 << 40;
    QTest::newRow("5 past rounds up") << 45 << 48;
    QTest::newRow("7 past") << 47 << 48;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("left margin") << 8 << 8;
    QTest::newRow("13 -> 16") << 13 << 16;
    QTest::newRow("12 -> 8") << 12 << 8;
    QTest::newRow("large") << 1021 << 1024;
    // No grid line beyond the largest int: the one below is the nearest there is.
    QTest::newRow("largest int") << INT_MAX << INT_MAX - 7;
    QTest::newRow("smallest int") << INT_MIN << INT_MIN;
    QTest::newRow("negative, 5 past") << -45 << -40;
}

void TestReceiptLayout::snap()
{
    QFETCH(int, value);
    QFETCH(int, snapped);
    QCOMPARE(Geo::snapToGrid(value), snapped);
    QCOMPARE(Geo::snapToGrid(QPoint(value, 45)), QPoint(snapped, 48));
}

void TestReceiptLayout::topRuler_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("lastTick");
    QTest::addColumn<QList<int>>("labelCentres");
    QTest::newRow("515") << 515 << 60 << 507 << QList<int>{115, 195, 275, 355, 435};
    QTest::newRow("514") << 514 << 59 << 499 << QList<int>{115, 195, 275, 355, 435};
    QTest::newRow("505, the scroll extent") << 505 << 58 << 491 << QList<int>{115, 195, 275, 355, 435};
    QTest::newRow("one tick") << 43 << 1 << 35 << QList<int>{};
    QTest::newRow("ruler thickness only") << 35 << 0 << -1 << QList<int>{};
    QTest::newRow("narrower than the thickness") << 20 << 0 << -1 << QList<int>{};
    QTest::newRow("123: tick 10 fits") << 123 << 11 << 115 << QList<int>{115};
    QTest::newRow("122: tick 10 does not") << 122 << 10 << 107 << QList<int>{};
}

void TestReceiptLayout::topRuler()
{
    QFETCH(int, width);
    QFETCH(int, ticks);
    QFETCH(int, lastTick);
    QFETCH(QList<int>, labelCentres);
    const RulerTicks::Ruler r = RulerTicks::topRuler(width);
    QCOMPARE(int(r.ticks.size()), ticks);
    if (ticks > 0) {
        QCOMPARE(r.ticks.front().position, 35);
        QCOMPARE(r.ticks.back().position, lastTick);
    }
    QList<int> centres;
    for (size_t k = 0; k < r.labels.size(); ++k) {
        QCOMPARE(r.labels[k].centimetres, int(k) + 1);
        centres.append(r.labels[k].position);
    }
    QCOMPARE(centres, labelCentres);
    // Tick lengths: 15 every centimetre, 10 every half, 5 otherwise.
    for (size_t i = 0; i < r.ticks.size(); ++i)
        QCOMPARE(r.ticks[i].length, i % 10 == 0 ? 15 : i % 5 == 0 ? 10 : 5);
}

void TestReceiptLayout::leftRuler_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("labelCentres");
    QTest::addColumn<int>("labelWidth");
    QTest::addColumn<QList<int>>("labelStarts");
    QTest::newRow("after a relayout (605 - 35)") << 570 << 71
                                                 << QList<int>{80, 160, 240, 320, 400, 480, 560}
                                                 << 5 << QList<int>{78, 158, 238, 318, 398, 478, 558};
    QTest::newRow("one tick") << 8 << 1 << QList<int>{} << 5 << QList<int>{};
    QTest::newRow("no tick") << 7 << 0 << QList<int>{} << 5 << QList<int>{};
    QTest::newRow("two-digit label width") << 808 << 101
                                           << QList<int>{80, 160, 240, 320, 400, 480, 560, 640, 720, 800}
                                           << 10 << QList<int>{75, 155, 235, 315, 395, 475, 555, 635, 715, 795};
}

void TestReceiptLayout::leftRuler()
{
    QFETCH(int, height);
    QFETCH(int, ticks);
    QFETCH(QList<int>, labelCentres);
    QFETCH(int, labelWidth);
    QFETCH(QList<int>, labelStarts);
    const RulerTicks::Ruler r = RulerTicks::leftRuler(height);
    QCOMPARE(int(r.ticks.size()), ticks);
    if (ticks > 0)
        QCOMPARE(r.ticks.front().position, 0); // the paper's top edge
    QList<int> centres;
    QList<int> starts;
    for (const RulerTicks::Label &l : r.labels) {
        centres.append(l.position);
        starts.append(RulerTicks::labelStart(l.position, labelWidth));
    }
    QCOMPARE(centres, labelCentres);
    QCOMPARE(starts, labelStarts);
}

QTEST_APPLESS_MAIN(TestReceiptLayout)
#include "tst_receipt_layout.moc"
