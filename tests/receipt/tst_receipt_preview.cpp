// The receipt preview widgets offscreen, built in a stand-in for the
// settings page (the scroll box and the hidden reference label): objects,
// fonts, the start-up and relayout geometry, the conversion error, rulers,
// the selection frame with snapping, and the colours of what is painted.
#include "receipt/ReceiptItem.h"
#include "receipt/ReceiptPreview.h"
#include "receipt/ReceiptShape.h"
#include "receipt/RulerImage.h"
#include "tests/support/WindowProbes.h"
#include "ui/Fonts.h"

#include <QFontInfo>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <memory>

using Texts = ReceiptPreview::MagnificationTexts;

namespace {

const QStringList ItemNames{
    QStringLiteral("LblComment1"), QStringLiteral("LblComment2"), QStringLiteral("LblComment3"),
    QStringLiteral("LblComment4"), QStringLiteral("lblprint1"), QStringLiteral("lblprint2"),
    QStringLiteral("lblprint3"), QStringLiteral("lblprint4"), QStringLiteral("lblprint11"),
    QStringLiteral("lblprint22"), QStringLiteral("lblprint33"), QStringLiteral("lblprint44"),
    QStringLiteral("LblNo")};

const QList<int> StartTops{40, 112, 184, 232, 280, 352, 400, 448, 304, 376, 424, 472, 520};
const Texts StartMagnifications{QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("1"),
                                QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("1")};

// The settings page as far as the preview sees it: the scroll box as the
// layout designer makes it, and the hidden reference label.
struct Page {
    QWidget window;
    QScrollArea *scrImg;
    QLabel *lblBase;
    ReceiptPreview *preview;

    Page()
    {
        window.resize(812, 618);
        scrImg = new QScrollArea(&window);
        scrImg->setObjectName(QStringLiteral("ScrImg"));
        scrImg->setGeometry(244, 0, 531, 393);
        scrImg->setWidgetResizable(true);
        auto *contents = new QWidget;
        contents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
        scrImg->setWidget(contents);
        lblBase = new QLabel(QStringLiteral("基準-Base"), &window);
        lblBase->setObjectName(QStringLiteral("LblBase"));
        QFont font(QStringLiteral("ＭＳ ゴシック"));
        font.setPixelSize(24);
        lblBase->setFont(font);
        lblBase->move(30, 352);
        lblBase->hide();
        preview = new ReceiptPreview(scrImg, lblBase, &window);
        QObject::connect(preview, &ReceiptPreview::scrImgResized, preview,
                         &ReceiptPreview::ScrImgResize);
        preview->startUp();
    }

    ReceiptItem *item(const QString &name) const
    {
        return window.findChild<ReceiptItem *>(name);
    }
    ReceiptItem *line(int n) const { return preview->item(ReceiptLayout::Item(n - 1)); }
    QList<int> tops() const
    {
        QList<int> t;
        for (const QString &n : ItemNames)
            t.append(item(n)->y());
        return t;
    }
    QList<QRect> geometries() const
    {
        QList<QRect> g;
        for (const QString &n : ItemNames)
            g.append(item(n)->geometry());
        return g;
    }
    void setTexts(const QStringList &texts)
    {
        for (int i = 0; i < 3; ++i)
            preview->setCommentText(i + 1, texts.at(i));
    }
    void show()
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    // Where a point of an item lies in the window, after scrolling it into view.
    QPoint inWindow(QWidget *w, QPoint p)
    {
        scrImg->ensureWidgetVisible(w, 0, 0);
        QCoreApplication::processEvents();
        return w->mapTo(&window, p);
    }
};

Texts magnifications(const QStringList &six)
{
    Texts t;
    for (int i = 0; i < 6; ++i)
        t[i] = six.at(i);
    return t;
}

bool isDark(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

} // namespace

class TestReceiptPreview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void objects();
    void itemProperties_data();
    void itemProperties();
    void applyItemScale_data();
    void applyItemScale();
    void startUpLayout_data();
    void startUpLayout();
    void relayoutSameSettings_data();
    void relayoutSameSettings();
    void editRelayout_data();
    void editRelayout();
    void wrapDecisionFollowsEveryEdit();
    void connectRelayoutKeepsWrapMode();
    void conversionError_data();
    void conversionError();
    void topRulerPicture_data();
    void topRulerPicture();
    void leftRulerPicture();
    void scrollBoxResize_data();
    void scrollBoxResize();
    void identification_data();
    void identification();
    void pressShowsFrame_data();
    void pressShowsFrame();
    void releaseSnaps_data();
    void releaseSnaps();
    void releaseReachesPressedItem();
    void rightReleaseKeepsFrame();
    void paintedColours();
    void commentColours();
    void benchmarkEditRelayout();
};

void TestReceiptPreview::initTestCase()
{
    installFontSubstitutions();
    // The layout rests on the reference cell of the receipt font.
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setPixelSize(24);
    QCOMPARE(QFontInfo(font).family(), QStringLiteral("IPAGothic"));
    QCOMPARE(QFontMetrics(font).averageCharWidth(), 12);
}

void TestReceiptPreview::objects()
{
    Page page;
    QWidget *content = page.scrImg->widget();
    QVERIFY(content);
    for (const char *name : {"ImgTopRuler", "ImgLeftRuler", "PnlCvs"}) {
        QWidget *w = page.scrImg->findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(w, name);
        QCOMPARE(w->parentWidget(), content);
    }
    QWidget *canvas = page.preview->canvas();
    QCOMPARE(canvas->objectName(), QStringLiteral("PnlCvs"));

    // Stacking, bottom to top: paper, printable area, the items, the frame.
    QStringList order;
    for (QObject *child : canvas->children())
        if (child->isWidgetType())
            order.append(child->objectName());
    QStringList expected{QStringLiteral("ShpTicket"), QStringLiteral("ShpPrnArea")};
    expected += ItemNames;
    expected.append(QStringLiteral("ShpMF"));
    QCOMPARE(order, expected);
    QVERIFY(page.preview->selectionFrame()->isHidden());
    QCOMPARE(page.preview->lineUnit(), 24);
}

void TestReceiptPreview::itemProperties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("takesMouse");
    const int c = Qt::AlignHCenter, l = Qt::AlignLeft, r = Qt::AlignRight;
    QTest::newRow("line 1") << "LblComment1" << QStringLiteral("領 収 書") << c << false << true;
    QTest::newRow("line 2") << "LblComment2" << QStringLiteral("ご利用ありがとうございます") << c << true << true;
    QTest::newRow("line 3") << "LblComment3" << QStringLiteral("□□□□□□□□□□□□□□□□") << c << true << true;
    QTest::newRow("date") << "LblComment4" << QStringLiteral("2015年 1月 1日 00時00分") << c << true << false;
    QTest::newRow("caption 1") << "lblprint1" << QStringLiteral("【利用枚数】") << l << true << false;
    QTest::newRow("caption 2") << "lblprint2" << QStringLiteral("【合計金額】") << l << true << false;
    QTest::newRow("caption 3") << "lblprint3" << QStringLiteral("【入金金額】") << l << true << false;
    QTest::newRow("caption 4") << "lblprint4" << QStringLiteral("【おつり】") << l << true << false;
    QTest::newRow("unit 1") << "lblprint11" << QStringLiteral("枚    ") << r << true << false;
    QTest::newRow("unit 2") << "lblprint22" << QStringLiteral("円    ") << r << true << false;
    QTest::newRow("unit 3") << "lblprint33" << QStringLiteral("円    ") << r << true << false;
    QTest::newRow("unit 4") << "lblprint44" << QStringLiteral("円    ") << r << true << false;
    QTest::newRow("number") << "LblNo" << QStringLiteral("xxxxxxxx-No.0000") << c << true << true;
}

void TestReceiptPreview::itemProperties()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, alignment);
    QFETCH(bool, bold);
    QFETCH(bool, takesMouse);
    Page page;
    ReceiptItem *item = page.item(name);
    QVERIFY(item);
    QCOMPARE(item->text(), text);
    QCOMPARE(int(item->alignment()), alignment);
    QCOMPARE(item->font().bold(), bold);
    QCOMPARE(item->font().fixedPitch(), bold);
    QCOMPARE(QFontInfo(item->font()).family(), QStringLiteral("IPAGothic"));
    QVERIFY(item->font().styleStrategy() & QFont::PreferAntialias);
    QCOMPARE(item->textColour(), QColor(192, 192, 192));
    QCOMPARE(item->testAttribute(Qt::WA_TransparentForMouseEvents), !takesMouse);
}

void TestReceiptPreview::applyItemScale_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("halfWidth");
    QTest::addColumn<int>("fullWidth");
    QTest::addColumn<int>("height");
    QTest::newRow("1 x 1") << 1 << 1 << 12 << 24 << 24;
    QTest::newRow("2 x 2") << 2 << 2 << 24 << 48 << 48;
    QTest::newRow("1 x 2, narrow and tall") << 1 << 2 << 12 << 24 << 48;
    QTest::newRow("3 x 1, wide and low") << 3 << 1 << 36 << 72 << 24;
    QTest::newRow("4 x 4") << 4 << 4 << 48 << 96 << 96;
    QTest::newRow("4 x 1") << 4 << 1 << 48 << 96 << 24;
    QTest::newRow("0 x 0 takes the reference cell") << 0 << 0 << 12 << 24 << 24;
    QTest::newRow("negative sign ignored") << -2 << -1 << 24 << 48 << 24;
}

void TestReceiptPreview::applyItemScale()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, halfWidth);
    QFETCH(int, fullWidth);
    QFETCH(int, height);
    Page page;
    for (const char *name : {"LblComment1", "lblprint1"}) { // regular and bold
        ReceiptItem *item = page.item(QLatin1String(name));
        page.preview->ApplyItemScale(item, x, y);
        const QFontMetrics fm(item->font());
        QCOMPARE(fm.horizontalAdvance(QStringLiteral("A")), halfWidth);
        QCOMPARE(fm.horizontalAdvance(QStringLiteral("あ")), fullWidth);
        QCOMPARE(item->font().pixelSize(), height);
        QCOMPARE(item->lineHeight(), height);
        QCOMPARE(item->cellWidth(), halfWidth);
        QVERIFY(item->font().styleStrategy() & QFont::PreferAntialias);
    }
}

void TestReceiptPreview::startUpLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("height");
    const QList<int> heights{48, 48, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24};
    for (int i = 0; i < ItemNames.size(); ++i)
        QTest::newRow(qPrintable(ItemNames[i])) << ItemNames[i] << StartTops[i] << heights[i];
}

void TestReceiptPreview::startUpLayout()
{
    QFETCH(QString, name);
    QFETCH(int, top);
    QFETCH(int, height);
    Page page;
    QCOMPARE(page.item(name)->geometry(), QRect(8, top, 428, height));
    QCOMPARE(page.preview->printableArea()->geometry(), QRect(8, 40, 428, 512));
    QCOMPARE(page.preview->ticket()->geometry(), QRect(0, 0, 460, 568));
    // The scroll extent stays that of the provisional paper (552 px).
    QCOMPARE(page.preview->scrollExtent(), QSize(505, 597));
}

void TestReceiptPreview::relayoutSameSettings_data()
{
    QTest::addColumn<bool>("connect");
    QTest::newRow("edit relayout") << false;
    QTest::newRow("connect relayout") << true;
}

void TestReceiptPreview::relayoutSameSettings()
{
    QFETCH(bool, connect);
    Page page;
    const std::optional<QString> error =
        connect ? page.preview->RefreshReceiptPreview(StartMagnifications)
                : page.preview->editRelayout(StartMagnifications);
    QVERIFY(!error);
    QCOMPARE(page.tops(), StartTops);
    QCOMPARE(page.preview->printableArea()->geometry(), QRect(8, 40, 428, 504));
    QCOMPARE(page.preview->ticket()->geometry(), QRect(0, 0, 460, 560));
    QCOMPARE(page.preview->scrollExtent(), QSize(505, 605));
    // The canvas reaches at least to the paper's bottom plus the slack.
    QVERIFY(page.preview->canvas()->height() >= 570);
    QCOMPARE(page.preview->leftRuler()->height(), page.preview->canvas()->height());
}

void TestReceiptPreview::editRelayout_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("mags");
    QTest::addColumn<QList<int>>("tops");
    QTest::addColumn<QList<int>>("lineHeights");
    QTest::addColumn<QList<bool>>("wraps");
    QTest::addColumn<int>("ticketHeight");

    const QString l1 = QStringLiteral("領 収 書");
    const QString l2 = QStringLiteral("ご利用ありがとうございます");
    const QString l3(16, QChar(0x25A1));
    const QStringList start{"2", "2", "1", "2", "1", "1"};
    const QList<bool> noWrap{false, false, false};

    QTest::newRow("start settings") << QStringList{l1, l2, l3} << start << StartTops
                                    << QList<int>{48, 48, 24} << noWrap << 560;
    QTest::newRow("line 2 cleared takes no space")
        << QStringList{l1, QString(), l3} << start
        << QList<int>{40, 112, 112, 160, 208, 280, 328, 376, 232, 304, 352, 400, 448}
        << QList<int>{48, 48, 24} << noWrap << 488;
    // 13 full-width characters at X = 2: 26 cells x 24 px = 624 px.
    QTest::newRow("13 full-width at X = 2 wraps line 1")
        << QStringList{QStringLiteral("あいうえおかきくけこさしす"), l2, l3} << start
        << QList<int>{40, 160, 232, 280, 328, 400, 448, 496, 352, 424, 472, 520, 568}
        << QList<int>{96, 48, 24} << QList<bool>{true, false, false} << 608;
    // 36 half-width at X = 1: 432 px; 35: 420 px.
    QTest::newRow("36 half-width wrap line 2")
        << QStringList{l1, QString(36, QLatin1Char('a')), l3} << start
        << QList<int>{40, 112, 232, 280, 328, 400, 448, 496, 352, 424, 472, 520, 568}
        << QList<int>{48, 96, 24} << QList<bool>{false, true, false} << 608;
    QTest::newRow("35 half-width stay single")
        << QStringList{l1, QString(35, QLatin1Char('a')), l3} << start << StartTops
        << QList<int>{48, 48, 24} << noWrap << 560;
    QTest::newRow("ComboBox4 2 -> 1 lifts everything below line 2 by 24")
        << QStringList{l1, l2, l3} << QStringList{"2", "2", "1", "1", "1", "1"}
        << QList<int>{40, 112, 160, 208, 256, 328, 376, 424, 280, 352, 400, 448, 496}
        << QList<int>{48, 24, 24} << noWrap << 536;
    QTest::newRow("magnification 0 lays out at the reference size")
        << QStringList{l1, l2, l3} << QStringList{"2", "2", "1", "0", "1", "1"}
        << QList<int>{40, 112, 160, 208, 256, 328, 376, 424, 280, 352, 400, 448, 496}
        << QList<int>{48, 24, 24} << noWrap << 536;
    QTest::newRow("line 3 at Y = 4")
        << QStringList{l1, l2, l3} << QStringList{"2", "2", "1", "2", "1", "4"}
        << QList<int>{40, 112, 184, 304, 352, 424, 472, 520, 376, 448, 496, 544, 592}
        << QList<int>{48, 48, 96} << noWrap << 632;
    QTest::newRow("line 3 at X = 2 wraps the squares")
        << QStringList{l1, l2, l3} << QStringList{"2", "2", "1", "2", "2", "1"}
        << QList<int>{40, 112, 184, 256, 304, 376, 424, 472, 328, 400, 448, 496, 544}
        << QList<int>{48, 48, 48} << QList<bool>{false, false, true} << 584;
}

void TestReceiptPreview::editRelayout()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, mags);
    QFETCH(QList<int>, tops);
    QFETCH(QList<int>, lineHeights);
    QFETCH(QList<bool>, wraps);
    QFETCH(int, ticketHeight);
    Page page;
    page.setTexts(texts);
    QVERIFY(!page.preview->editRelayout(magnifications(mags)));
    QCOMPARE(page.tops(), tops);
    QCOMPARE((QList<int>{page.line(1)->height(), page.line(2)->height(), page.line(3)->height()}),
             lineHeights);
    QCOMPARE((QList<bool>{page.line(1)->wordWrap(), page.line(2)->wordWrap(), page.line(3)->wordWrap()}),
             wraps);
    for (const QString &name : ItemNames) {
        QCOMPARE(page.item(name)->x(), 8);
        QCOMPARE(page.item(name)->width(), 428);
    }
    for (int i = 3; i < ItemNames.size(); ++i)
        QCOMPARE(page.item(ItemNames[i])->height(), 24);
    QCOMPARE(page.preview->ticket()->height(), ticketHeight);
    QCOMPARE(page.preview->printableArea()->height(), ticketHeight - 56);
}

void TestReceiptPreview::wrapDecisionFollowsEveryEdit()
{
    Page page;
    // Thirteen full-width characters at X = 2 wrap; deleting down to eight
    // (16 cells, 384 px) brings the line back to one.
    QString text = QStringLiteral("あいうえおかきくけこさしす");
    page.preview->setCommentText(1, text);
    QVERIFY(!page.preview->editRelayout(StartMagnifications));
    QVERIFY(page.line(1)->wordWrap());
    QCOMPARE(page.line(1)->visualLines(),
             (QStringList{QStringLiteral("あいうえおかきく"), QStringLiteral("けこさしす")}));
    while (text.size() > 8) {
        text.chop(1);
        page.preview->setCommentText(1, text);
        QVERIFY(!page.preview->editRelayout(StartMagnifications));
        // 9 full-width characters are 432 px, 8 are 384 px.
        QCOMPARE(page.line(1)->wordWrap(), text.size() > 8);
        QCOMPARE(page.line(1)->height(), text.size() > 8 ? 96 : 48);
    }
    QCOMPARE(page.tops(), StartTops);
}

void TestReceiptPreview::connectRelayoutKeepsWrapMode()
{
    Page page;
    // Sixteen squares at X = 3: 1152 px; 11 cells a line hold five squares,
    // so the text needs four lines.
    const Texts wide{QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("1"),
                     QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("1")};
    QVERIFY(!page.preview->editRelayout(wide));
    QVERIFY(page.line(3)->wordWrap());
    QCOMPARE(page.line(3)->height(), 48); // capped at two lines
    QVERIFY(!page.preview->RefreshReceiptPreview(wide));
    QVERIFY(page.line(3)->wordWrap());
    QCOMPARE(page.line(3)->height(), 96); // all four lines
    QCOMPARE(page.line(3)->visualLines().size(), 4);
    QCOMPARE(page.item(QStringLiteral("LblComment4"))->y(), 184 + 96 + 24);

    // A line the edit relayout left single stays single on connect, however
    // wide the boxes now say it is.
    Page other;
    QVERIFY(!other.preview->editRelayout(StartMagnifications));
    QVERIFY(!other.preview->RefreshReceiptPreview(wide));
    QVERIFY(!other.line(3)->wordWrap());
    QCOMPARE(other.line(3)->height(), 24);
}

void TestReceiptPreview::conversionError_data()
{
    QTest::addColumn<QStringList>("mags");
    QTest::addColumn<QString>("badText");
    QTest::addColumn<int>("linesPlaced"); // lines laid out before the bad box
    QTest::newRow("line 1 X letters") << QStringList{"abc", "2", "1", "2", "1", "1"} << "abc" << 0;
    QTest::newRow("line 1 Y empty") << QStringList{"1", "", "1", "2", "1", "1"} << "" << 0;
    QTest::newRow("line 2 X empty") << QStringList{"1", "1", "", "1", "1", "1"} << "" << 1;
    QTest::newRow("line 3 Y fraction") << QStringList{"1", "1", "1", "1", "1", "2.5"} << "2.5" << 2;
}

void TestReceiptPreview::conversionError()
{
    QFETCH(QStringList, mags);
    QFETCH(QString, badText);
    QFETCH(int, linesPlaced);
    Page page;
    const QList<QRect> before = page.geometries();
    const QRect ticketBefore = page.preview->ticket()->geometry();
    const qint64 topPicture = page.preview->topRuler()->picture().cacheKey();
    const qint64 leftPicture = page.preview->leftRuler()->picture().cacheKey();

    const std::optional<QString> error = page.preview->editRelayout(magnifications(mags));
    QVERIFY(error);
    QVERIFY2(error->contains(QLatin1Char('\'') + badText + QLatin1Char('\'')), qPrintable(*error));

    // Lines before the bad box got their new geometry (1 x 1: 24 px each,
    // stacked from 40), the rest kept theirs; rulers and paper untouched.
    const QList<QRect> after = page.geometries();
    for (int i = 0; i < ItemNames.size(); ++i) {
        if (i < linesPlaced)
            QCOMPARE(after[i], QRect(8, 40 + 48 * i, 428, 24));
        else
            QCOMPARE(after[i], before[i]);
    }
    QCOMPARE(page.preview->ticket()->geometry(), ticketBefore);
    QCOMPARE(page.preview->topRuler()->picture().cacheKey(), topPicture);
    QCOMPARE(page.preview->leftRuler()->picture().cacheKey(), leftPicture);

    // The next relayout with valid texts repairs the picture.
    QVERIFY(!page.preview->editRelayout(StartMagnifications));
    QCOMPARE(page.tops(), StartTops);
    QCOMPARE(page.preview->ticket()->height(), 560);
}

void TestReceiptPreview::topRulerPicture_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("lastTick");
    QTest::newRow("515: 60 ticks") << 515 << 35 + 8 * 59;
    QTest::newRow("514: 59 ticks") << 514 << 35 + 8 * 58;
}

void TestReceiptPreview::topRulerPicture()
{
    QFETCH(int, width);
    QFETCH(int, lastTick);
    Page page;
    page.preview->topRuler()->resize(width, 35);
    page.preview->DrawTopRuler();
    const QImage img = page.preview->topRuler()->picture();
    QCOMPARE(img.size(), QSize(width, 35));

    // Tick lengths at the paper's edge (15), 5 mm (10) and 1 mm (5).
    for (auto [x, length] : {std::pair{35, 15}, std::pair{75, 10}, std::pair{43, 5}, std::pair{115, 15}}) {
        QVERIFY2(isDark(img, x, 34) && isDark(img, x, 35 - length), qPrintable(QString::number(x)));
        QVERIFY2(!isDark(img, x, 35 - length - 1) || x == 115, qPrintable(QString::number(x)));
        QVERIFY(!isDark(img, x + 1, 34));
    }
    // The last tick, and nothing after it.
    QVERIFY(isDark(img, lastTick, 34));
    for (int x = lastTick + 1; x < width; ++x)
        QVERIFY(!isDark(img, x, 34));
    // Labels 1..5 centred on their ticks, from y = 5.
    for (int k = 1; k <= 5; ++k) {
        const int tick = 35 + 80 * k;
        int minX = width, maxX = -1;
        for (int y = 5; y < 19; ++y)
            for (int x = tick - 12; x <= tick + 12; ++x)
                if (x != tick && qGray(img.pixel(x, y)) < 200) {
                    minX = qMin(minX, x);
                    maxX = qMax(maxX, x);
                }
        QVERIFY2(maxX >= 0, qPrintable(QStringLiteral("no label %1").arg(k)));
        QVERIFY2(qAbs((minX + maxX) / 2 - tick) <= 2,
                 qPrintable(QStringLiteral("label %1 spans %2..%3").arg(k).arg(minX).arg(maxX)));
        for (int x = tick - 12; x <= tick + 12; ++x)
            QVERIFY(qGray(img.pixel(x, 3)) > 200); // nothing above y = 5
    }
}

void TestReceiptPreview::leftRulerPicture()
{
    Page page;
    QVERIFY(!page.preview->editRelayout(StartMagnifications));
    RulerImage *ruler = page.preview->leftRuler();
    const QImage img = ruler->picture();
    QCOMPARE(img.size(), QSize(35, ruler->height()));
    // Ticks from the paper's top edge, every 8 px; the centimetre ticks long.
    for (auto [y, length] : {std::pair{0, 15}, std::pair{8, 5}, std::pair{40, 10}, std::pair{80, 15}}) {
        QVERIFY2(isDark(img, 34, y) && isDark(img, 35 - length, y), qPrintable(QString::number(y)));
        QVERIFY(!isDark(img, 34, y + 1));
    }
    // Labels start 5 px from the left edge, centred on their ticks.
    for (int k = 1; k <= 5; ++k) {
        const int tick = 80 * k;
        int minY = img.height(), maxY = -1, minX = 35;
        for (int y = tick - 12; y <= tick + 12; ++y)
            for (int x = 0; x < 18; ++x)
                if (qGray(img.pixel(x, y)) < 200) {
                    minY = qMin(minY, y);
                    maxY = qMax(maxY, y);
                    minX = qMin(minX, x);
                }
        QVERIFY2(maxY >= 0, qPrintable(QStringLiteral("no label %1").arg(k)));
        QVERIFY(minX >= 5);
        // The label's top is the tick less half the label's width, so the
        // digit hangs below the tick.
        QVERIFY2(minY >= tick - 4 && minY <= tick + 6,
                 qPrintable(QStringLiteral("label %1 from y %2").arg(k).arg(minY)));
    }
}

void TestReceiptPreview::scrollBoxResize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("wider than the paper") << 700 << 393;
    QTest::newRow("taller than the paper") << 531 << 800;
    QTest::newRow("narrower than the paper") << 300 << 300;
}

void TestReceiptPreview::scrollBoxResize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    Page page;
    page.show();
    QVERIFY(!page.preview->editRelayout(StartMagnifications));
    page.scrImg->resize(width, height);
    QCoreApplication::processEvents();
    const QSize client = page.scrImg->viewport()->size();
    const QSize area = QSize(505, 605).expandedTo(client);
    QTRY_COMPARE(page.scrImg->widget()->size(), QSize(505, 605).expandedTo(page.scrImg->viewport()->size()));
    Q_UNUSED(area);
    RulerImage *top = page.preview->topRuler();
    RulerImage *left = page.preview->leftRuler();
    const QSize aligned = page.scrImg->widget()->size();
    QCOMPARE(top->geometry(), QRect(0, 0, aligned.width(), 35));
    QCOMPARE(left->geometry(), QRect(0, 35, 35, aligned.height() - 35));
    QCOMPARE(page.preview->canvas()->geometry(), QRect(35, 35, aligned.width() - 35, aligned.height() - 35));
    // Repainted at the new size.
    QCOMPARE(top->picture().size(), QSize(aligned.width(), 35));
    QCOMPARE(left->picture().size(), QSize(35, aligned.height() - 35));
}

void TestReceiptPreview::identification_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("number");
    QTest::newRow("empty") << QString() << QStringLiteral("-No.0000");
    QTest::newRow("eight half-width") << QStringLiteral("ABCDEFGH") << QStringLiteral("ABCDEFGH-No.0000");
    QTest::newRow("full-width") << QStringLiteral("識別") << QStringLiteral("識別-No.0000");
}

void TestReceiptPreview::identification()
{
    QFETCH(QString, id);
    QFETCH(QString, number);
    Page page;
    // A pending change that a relayout would show: the identification text
    // must not run one.
    page.preview->setCommentText(2, QString());
    const QList<QRect> before = page.geometries();
    page.preview->setIdentificationText(id);
    QCOMPARE(page.item(QStringLiteral("LblNo"))->text(), number);
    QCOMPARE(page.geometries(), before);
    QCOMPARE(page.preview->ticket()->height(), 568);
}

void TestReceiptPreview::pressShowsFrame_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("frame");
    QTest::newRow("line 1, left") << "LblComment1" << Qt::LeftButton << true;
    QTest::newRow("line 1, right") << "LblComment1" << Qt::RightButton << false;
    QTest::newRow("line 2, middle") << "LblComment2" << Qt::MiddleButton << false;
    QTest::newRow("line 3, left") << "LblComment3" << Qt::LeftButton << true;
    QTest::newRow("number, left") << "LblNo" << Qt::LeftButton << true;
    QTest::newRow("number, right") << "LblNo" << Qt::RightButton << false;
    QTest::newRow("date takes no mouse") << "LblComment4" << Qt::LeftButton << false;
    QTest::newRow("caption takes no mouse") << "lblprint2" << Qt::LeftButton << false;
    QTest::newRow("unit takes no mouse") << "lblprint44" << Qt::LeftButton << false;
}

void TestReceiptPreview::pressShowsFrame()
{
    QFETCH(QString, name);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, frame);
    Page page;
    page.show();
    ReceiptItem *item = page.item(name);
    const QRect geometry = item->geometry();
    const QPoint at = page.inWindow(item, QPoint(20, 10));
    QWindow *window = page.window.windowHandle();
    ReceiptShape *shape = page.preview->selectionFrame();

    QTest::mousePress(window, button, {}, at);
    QCOMPARE(!shape->isHidden(), frame);
    if (frame) {
        QCOMPARE(shape->geometry(), geometry);
        QCOMPARE(shape->outlineColour(), QColor(255, 0, 0));
        QCOMPARE(shape->outlineWidth(), 2);
        QVERIFY(!shape->fillColour().isValid());
    }
    // Moving with the button held moves nothing.
    QTest::mouseMove(window, at + QPoint(30, 17));
    QCOMPARE(item->geometry(), geometry);
    if (frame)
        QCOMPARE(shape->geometry(), geometry);
    QTest::mouseRelease(window, button, {}, at + QPoint(30, 17));
    QVERIFY(shape->isHidden());
    QCOMPARE(item->geometry(), geometry); // already on the grid
}

void TestReceiptPreview::releaseSnaps_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("placed");
    QTest::addColumn<QPoint>("snapped");
    QTest::newRow("top 45 -> 48") << "LblComment1" << QPoint(8, 45) << QPoint(8, 48);
    QTest::newRow("top 44 -> 40") << "LblComment1" << QPoint(8, 44) << QPoint(8, 40);
    QTest::newRow("left 13 -> 16") << "LblComment2" << QPoint(13, 112) << QPoint(16, 112);
    QTest::newRow("left 12 -> 8, top 189 -> 192") << "LblComment3" << QPoint(12, 189) << QPoint(8, 192);
    QTest::newRow("number 3 past") << "LblNo" << QPoint(11, 523) << QPoint(8, 520);
}

void TestReceiptPreview::releaseSnaps()
{
    QFETCH(QString, name);
    QFETCH(QPoint, placed);
    QFETCH(QPoint, snapped);
    Page page;
    page.show();
    ReceiptItem *item = page.item(name);
    item->move(placed);
    const QSize size = item->size();
    const QPoint at = page.inWindow(item, QPoint(30, 10));
    QTest::mousePress(page.window.windowHandle(), Qt::LeftButton, {}, at);
    QCOMPARE(page.preview->selectionFrame()->geometry(), QRect(placed, size));
    QTest::mouseRelease(page.window.windowHandle(), Qt::LeftButton, {}, at);
    QCOMPARE(item->geometry(), QRect(snapped, size));
    QVERIFY(page.preview->selectionFrame()->isHidden());
}

void TestReceiptPreview::releaseReachesPressedItem()
{
    Page page;
    page.show();
    ReceiptItem *line2 = page.line(2);
    ReceiptItem *line3 = page.line(3);
    line2->move(8, 115);
    const QRect line3Before = line3->geometry();
    QWindow *window = page.window.windowHandle();
    QTest::mousePress(window, Qt::LeftButton, {}, page.inWindow(line2, QPoint(50, 10)));
    QVERIFY(!page.preview->selectionFrame()->isHidden());
    // Released over line 3: the pressed item gets the release.
    const QPoint over3 = line3->mapTo(&page.window, QPoint(50, 10));
    QTest::mouseMove(window, over3);
    QTest::mouseRelease(window, Qt::LeftButton, {}, over3);
    QCOMPARE(line2->pos(), QPoint(8, 112));
    QCOMPARE(line3->geometry(), line3Before);
    QVERIFY(page.preview->selectionFrame()->isHidden());
}

void TestReceiptPreview::rightReleaseKeepsFrame()
{
    Page page;
    ReceiptItem *line1 = page.line(1);
    line1->move(8, 45);
    page.preview->LblPrnItemMouseDown(line1, Qt::LeftButton, {}, 5, 5);
    page.preview->LblPrnItemMouseUp(line1, Qt::RightButton, {}, 5, 5);
    QVERIFY(!page.preview->selectionFrame()->isHidden());
    QCOMPARE(line1->pos(), QPoint(8, 45));
    page.preview->LblPrnItemMouseUp(line1, Qt::LeftButton, {}, 5, 5);
    QVERIFY(page.preview->selectionFrame()->isHidden());
    QCOMPARE(line1->pos(), QPoint(8, 48));
    // A release with no frame shown moves nothing.
    page.preview->LblPrnItemMouseUp(page.line(2), Qt::LeftButton, {}, 5, 5);
    QCOMPARE(page.line(2)->pos(), QPoint(8, 112));
}

void TestReceiptPreview::paintedColours()
{
    Page page;
    page.show();
    // After a relayout: paper 460 x 560, printable area 428 x 504 from (8, 40).
    QVERIFY(!page.preview->editRelayout(StartMagnifications));
    QWidget *canvas = page.preview->canvas();
    QImage img = canvas->grab().toImage();
    QCOMPARE(img.height(), 570); // the paper plus the slack

    QCOMPARE(img.pixelColor(470, 10), QColor(0, 128, 0));   // canvas right of the paper
    QCOMPARE(img.pixelColor(200, 565), QColor(0, 128, 0));  // below the paper
    QCOMPARE(img.pixelColor(0, 10), QColor(128, 128, 128)); // paper outline
    QCOMPARE(img.pixelColor(459, 300), QColor(128, 128, 128));
    QCOMPARE(img.pixelColor(200, 559), QColor(128, 128, 128));
    QCOMPARE(img.pixelColor(4, 20), QColor(192, 192, 192)); // left margin
    QCOMPARE(img.pixelColor(200, 20), QColor(192, 192, 192)); // top margin
    QCOMPARE(img.pixelColor(200, 550), QColor(192, 192, 192)); // bottom margin
    QCOMPARE(img.pixelColor(440, 300), QColor(192, 192, 192)); // right margin
    QCOMPARE(img.pixelColor(8, 40), QColor(255, 255, 255));  // printable area
    QCOMPARE(img.pixelColor(435, 543), QColor(255, 255, 255));
    QCOMPARE(img.pixelColor(12, 270), QColor(255, 255, 255)); // between date and caption 1

    // The items are drawn over the printable area, in grey.
    for (const QString &name : ItemNames) {
        ReceiptItem *item = page.item(name);
        QCOMPARE(darkestChannel(img, item->geometry()), 192);
    }

    // The frame lies over everything while an item is pressed.
    ReceiptItem *line1 = page.line(1);
    QTest::mousePress(page.window.windowHandle(), Qt::LeftButton, {},
                      page.inWindow(line1, QPoint(200, 20)));
    img = canvas->grab().toImage();
    const QRect g = line1->geometry();
    for (const QPoint p : {g.topLeft(), g.topLeft() + QPoint(1, 1), g.bottomRight(),
                           QPoint(g.center().x(), g.top() + 1), QPoint(g.left() + 1, g.center().y())})
        QCOMPARE(img.pixelColor(p), QColor(255, 0, 0));
    QCOMPARE(img.pixelColor(g.topLeft() + QPoint(2, 2)), QColor(255, 255, 255)); // no fill
    QTest::mouseRelease(page.window.windowHandle(), Qt::LeftButton, {},
                        page.inWindow(line1, QPoint(200, 20)));
    img = canvas->grab().toImage();
    QCOMPARE(img.pixelColor(g.topLeft()), QColor(255, 255, 255));
}

void TestReceiptPreview::commentColours()
{
    Page page;
    page.show();
    page.preview->setCommentColour(1, ReceiptPreview::ReadColour);
    page.preview->setCommentColour(3, ReceiptPreview::ReadColour);
    QImage img = page.preview->canvas()->grab().toImage();
    QVERIFY(darkestChannel(img, page.line(1)->geometry()) < 20);
    QCOMPARE(darkestChannel(img, page.line(2)->geometry()), 192);
    QVERIFY(darkestChannel(img, page.line(3)->geometry()) < 20);
    QCOMPARE(darkestChannel(img, page.item(QStringLiteral("LblComment4"))->geometry()), 192);

    page.preview->setCommentsUnread();
    img = page.preview->canvas()->grab().toImage();
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(darkestChannel(img, page.line(n)->geometry()), 192);
}

// Every keystroke in a receipt field lays the whole preview out again.
void TestReceiptPreview::benchmarkEditRelayout()
{
    Page page;
    page.preview->setCommentText(1, QStringLiteral("あいうえおかきくけこさしす"));
    QBENCHMARK {
        page.preview->editRelayout(StartMagnifications);
    }
}

QTEST_MAIN(TestReceiptPreview)
#include "tst_receipt_preview.moc"
