#include "receipt/ReceiptPreview.h"

#include "receipt/ReceiptItem.h"
#include "receipt/ReceiptShape.h"
#include "receipt/RulerImage.h"
#include "receipt/layout/ReceiptGeometry.h"
#include "receipt/layout/ReceiptText.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

using namespace ReceiptLayout;
namespace Geo = ReceiptGeometry;

const QColor ReceiptPreview::CanvasColour(0, 128, 0);
const QColor ReceiptPreview::UnreadColour(192, 192, 192);
const QColor ReceiptPreview::ReadColour(0, 0, 0);

namespace {

const char *const ItemNames[ItemCount] = {
    "LblComment1", "LblComment2", "LblComment3", "LblComment4",
    "lblprint1", "lblprint2", "lblprint3", "lblprint4",
    "lblprint11", "lblprint22", "lblprint33", "lblprint44",
    "LblNo",
};

const QString ReceiptFontFamily = QStringLiteral("ＭＳ ゴシック");
const QString NumberSuffix = QStringLiteral("-No.0000");

Qt::Alignment alignmentOf(Item item)
{
    if (item >= Caption1 && item <= Caption4)
        return Qt::AlignLeft;
    if (item >= Unit1 && item <= Unit4)
        return Qt::AlignRight;
    return Qt::AlignHCenter;
}

bool takesMouse(Item item)
{
    return item == Line1 || item == Line2 || item == Line3 || item == Number;
}

// Start-up magnifications of the three comment lines.
constexpr int StartScale[CommentLineCount][2] = {{2, 2}, {1, 2}, {1, 1}};

} // namespace

QString ReceiptPreview::startText(Item item)
{
    switch (item) {
    case Line1: return QStringLiteral("領 収 書");
    case Line2: return QStringLiteral("ご利用ありがとうございます");
    case Line3: return QString(16, QChar(0x25A1));
    case Date: return QStringLiteral("2015年 1月 1日 00時00分");
    case Caption1: return QStringLiteral("【利用枚数】");
    case Caption2: return QStringLiteral("【合計金額】");
    case Caption3: return QStringLiteral("【入金金額】");
    case Caption4: return QStringLiteral("【おつり】");
    case Unit1: return QStringLiteral("枚    ");
    case Unit2:
    case Unit3:
    case Unit4: return QStringLiteral("円    ");
    case Number: return numberText(QStringLiteral("xxxxxxxx"));
    case ItemCount: break;
    }
    return QString();
}

QString ReceiptPreview::numberText(const QString &identification)
{
    return identification + NumberSuffix;
}

ReceiptPreview::ReceiptPreview(QScrollArea *scrImg, QLabel *lblBase, QObject *parent)
    : QObject(parent), scrImg_(scrImg), lblBase_(lblBase)
{
    // The aligned area is sized here, not by the scroll box.
    scrImg_->setWidgetResizable(false);
    content_ = scrImg_->widget();
    if (!content_) {
        content_ = new QWidget;
        scrImg_->setWidget(content_);
    }

    topRuler_ = new RulerImage(RulerImage::Edge::Top, content_);
    topRuler_->setObjectName(QStringLiteral("ImgTopRuler"));
    leftRuler_ = new RulerImage(RulerImage::Edge::Left, content_);
    leftRuler_->setObjectName(QStringLiteral("ImgLeftRuler"));

    pnlCvs_ = new QWidget(content_);
    pnlCvs_->setObjectName(QStringLiteral("PnlCvs"));
    QPalette pal = pnlCvs_->palette();
    pal.setColor(QPalette::Window, CanvasColour);
    pnlCvs_->setPalette(pal);
    pnlCvs_->setAutoFillBackground(true);

    ticket_ = new ReceiptShape(QColor(192, 192, 192), QColor(128, 128, 128), 1, pnlCvs_);
    ticket_->setObjectName(QStringLiteral("ShpTicket"));
    ticket_->setGeometry(0, 0, Geo::TicketWidth, Geo::ProvisionalTicketHeight);
    prnArea_ = new ReceiptShape(QColor(255, 255, 255), QColor(255, 255, 255), 1, pnlCvs_);
    prnArea_->setObjectName(QStringLiteral("ShpPrnArea"));
    prnArea_->setGeometry(Geo::printableArea(ticket_->size(), Geo::marginsInPixels()));

    for (int i = 0; i < ItemCount; ++i) {
        const Item which = Item(i);
        auto *item = new ReceiptItem(pnlCvs_);
        item->setObjectName(QLatin1String(ItemNames[i]));
        QFont font(ReceiptFontFamily);
        font.setPixelSize(24);
        font.setStyleStrategy(QFont::PreferAntialias);
        if (which != Line1) {
            font.setBold(true);
            font.setFixedPitch(true);
        }
        item->setFont(font);
        item->setText(startText(which));
        item->setAlignment(alignmentOf(which));
        item->setTextColour(UnreadColour);
        if (takesMouse(which)) {
            connect(item, &ReceiptItem::mousePressed, this,
                    [this](ReceiptItem *it, Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint p) {
                        LblPrnItemMouseDown(it, b, m, p.x(), p.y());
                    });
            connect(item, &ReceiptItem::mouseReleased, this,
                    [this](ReceiptItem *it, Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint p) {
                        LblPrnItemMouseUp(it, b, m, p.x(), p.y());
                    });
            if (which != Number)
                connect(item, &ReceiptItem::mouseMoved, this,
                        [this](ReceiptItem *it, Qt::KeyboardModifiers m, QPoint p) {
                            LblPrnItemMouseMove(it, m, p.x(), p.y());
                        });
        } else {
            item->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        items_[i] = item;
    }

    frame_ = new ReceiptShape(QColor(), QColor(255, 0, 0), 2, pnlCvs_);
    frame_->setObjectName(QStringLiteral("ShpMF"));
    frame_->hide();
    frame_->raise();

    setScrollExtent(ticket_->size());
    viewport_ = scrImg_->viewport();
    viewport_->installEventFilter(this);
}

QWidget *ReceiptPreview::canvas() const
{
    return pnlCvs_;
}

void ReceiptPreview::startUp()
{
    ReceiptItem *date = items_[Date];
    ApplyItemScale(date, 1, 1);
    lineUnit_ = date->lineHeight();
    DrawTopRuler();
    DrawLeftRuler();
    InitReceiptPreview();
}

void ReceiptPreview::ApplyItemScale(ReceiptItem *item, int x, int y)
{
    // The reference cell: character height and average width of the hidden
    // reference label's font.
    const QFont reference = lblBase_->font();
    const int href = reference.pixelSize() > 0 ? reference.pixelSize()
                                               : QFontInfo(reference).pixelSize();
    const int wref = QFontMetrics(reference).averageCharWidth();
    const int sx = ReceiptText::fontScale(x);
    const int sy = ReceiptText::fontScale(y);

    QFont font = item->font();
    font.setPixelSize(sy * href);
    font.setStretch(QFont::Unstretched);
    // The font's own width at that height decides how far to stretch it so
    // that its average character is sx reference widths wide.
    const int natural = QFontMetrics(font).averageCharWidth();
    if (natural > 0) {
        const double stretch = 100.0 * sx * wref / natural;
        font.setStretch(qBound(1, int(std::lround(stretch)), 4000));
    }
    font.setStyleStrategy(QFont::PreferAntialias);
    item->setFont(font);
    item->setCell(sx * wref, sy * href);
}

LineMeasure ReceiptPreview::measure(const ReceiptItem *item) const
{
    LineMeasure m;
    m.empty = item->text().isEmpty();
    m.width = item->measuredWidth();
    m.height = item->lineHeight();
    m.wrappedLines = item->wrappedLineCount(prnArea_->width());
    return m;
}

void ReceiptPreview::InitReceiptPreview()
{
    const Geo::Margins margins = Geo::marginsInPixels();
    ticket_->setGeometry(0, 0, Geo::TicketWidth, Geo::ProvisionalTicketHeight);
    prnArea_->setGeometry(Geo::printableArea(ticket_->size(), margins));
    setScrollExtent(ticket_->size());
    realign();
    DrawTopRuler();
    DrawLeftRuler();

    int y = prnArea_->y();
    for (int line = 0; line < CommentLineCount; ++line) {
        ApplyItemScale(items_[line], StartScale[line][0], StartScale[line][1]);
        placeCommentLine(Pass::StartUp, line, y);
    }
    placeFixedItems(Pass::StartUp, y);

    const QRect prn = prnArea_->geometry();
    const ReceiptItem *number = items_[Number];
    const int height = printableHeight(Pass::StartUp, number->y(), number->height(), margins);
    prnArea_->setGeometry(prn.x(), prn.y(), prn.width(), height);
    ticket_->resize(ticket_->width(), Geo::ticketHeightFor(height, margins));
}

void ReceiptPreview::placeCommentLine(Pass pass, int line, int &y)
{
    ReceiptItem *item = items_[line];
    if (pass == Pass::Edit)
        item->setWordWrap(false);
    const QRect prn = prnArea_->geometry();
    const LinePlacement p = placeLine(pass, y, measure(item), item->wordWrap(),
                                      prn.width(), lineUnit_);
    item->setWordWrap(p.wrap);
    item->setGeometry(prn.x(), p.top, prn.width(), p.height);
    item->setAlignment(Qt::AlignHCenter);
    item->update();
    y = p.nextY;
}

void ReceiptPreview::placeFixedItems(Pass pass, int y)
{
    ItemValues heights{};
    for (int i = Date; i < ItemCount; ++i) {
        ReceiptItem *item = items_[i];
        if (i != Number)
            item->setText(startText(Item(i)));
        ApplyItemScale(item, 1, 1);
        heights[i] = item->lineHeight();
    }
    ItemValues tops{};
    ReceiptLayout::placeFixedItems(pass, y, heights, lineUnit_, tops);
    const QRect prn = prnArea_->geometry();
    for (int i = Date; i < ItemCount; ++i) {
        ReceiptItem *item = items_[i];
        item->setGeometry(prn.x(), tops[i], prn.width(), heights[i]);
        item->setAlignment(alignmentOf(Item(i)));
        item->update();
    }
}

std::optional<QString> ReceiptPreview::editRelayout(const MagnificationTexts &m)
{
    return relayout(Pass::Edit, m);
}

std::optional<QString> ReceiptPreview::RefreshReceiptPreview(const MagnificationTexts &m)
{
    return relayout(Pass::Connect, m);
}

std::optional<QString> ReceiptPreview::relayout(Pass pass, const MagnificationTexts &m)
{
    const Geo::Margins margins = Geo::marginsInPixels();
    int y = prnArea_->y();
    for (int line = 0; line < CommentLineCount; ++line) {
        // X first, then Y; a text that is no integer stops the layout here,
        // leaving the lines before it placed and the rest as they were.
        QString error;
        const std::optional<int> x = ReceiptText::parseMagnification(m[2 * line], &error);
        if (!x)
            return error;
        const std::optional<int> yScale = ReceiptText::parseMagnification(m[2 * line + 1], &error);
        if (!yScale)
            return error;
        ApplyItemScale(items_[line], *x, *yScale);
        placeCommentLine(pass, line, y);
    }
    placeFixedItems(pass, y);

    const QRect prn = prnArea_->geometry();
    const ReceiptItem *number = items_[Number];
    const int height = printableHeight(pass, number->y(), number->height(), margins);
    prnArea_->setGeometry(prn.x(), prn.y(), prn.width(), height);
    ticket_->resize(ticket_->width(), Geo::ticketHeightFor(height, margins));

    setScrollExtent(ticket_->size());
    realign();
    DrawTopRuler();
    DrawLeftRuler();
    return std::nullopt;
}

void ReceiptPreview::setScrollExtent(const QSize &ticket)
{
    extent_ = Geo::scrollExtent(ticket);
}

void ReceiptPreview::realign()
{
    const QSize area = Geo::alignedArea(extent_, scrImg_->viewport()->size());
    const int t = Geo::RulerThickness;
    content_->resize(area);
    topRuler_->setGeometry(0, 0, area.width(), t);
    leftRuler_->setGeometry(0, t, t, area.height() - t);
    pnlCvs_->setGeometry(t, t, area.width() - t, area.height() - t);
}

void ReceiptPreview::DrawTopRuler()
{
    topRuler_->draw();
}

void ReceiptPreview::DrawLeftRuler()
{
    leftRuler_->draw();
}

void ReceiptPreview::ScrImgResize()
{
    realign();
    DrawTopRuler();
    DrawLeftRuler();
}

bool ReceiptPreview::eventFilter(QObject *watched, QEvent *event)
{
    // Only the viewport's own resize; every other event (many arrive while
    // the window is torn down) passes untouched.
    if (event->type() == QEvent::Resize && watched == viewport_)
        emit scrImgResized();
    return QObject::eventFilter(watched, event);
}

void ReceiptPreview::setCommentText(int line, const QString &text)
{
    if (line >= 1 && line <= CommentLineCount)
        items_[line - 1]->setText(text);
}

QString ReceiptPreview::commentText(int line) const
{
    if (line >= 1 && line <= CommentLineCount)
        return items_[line - 1]->text();
    return QString();
}

void ReceiptPreview::setIdentificationText(const QString &identification)
{
    // Position and size stay; the centred text re-centres.
    items_[Number]->setText(numberText(identification));
}

void ReceiptPreview::setCommentColour(int line, const QColor &colour)
{
    if (line >= 1 && line <= CommentLineCount)
        items_[line - 1]->setTextColour(colour);
}

void ReceiptPreview::setCommentsUnread()
{
    for (int line = 1; line <= CommentLineCount; ++line)
        setCommentColour(line, UnreadColour);
}

void ReceiptPreview::LblPrnItemMouseDown(ReceiptItem *item, Qt::MouseButton button,
                                         Qt::KeyboardModifiers, int, int)
{
    if (button != Qt::LeftButton)
        return;
    frame_->setGeometry(item->geometry());
    frame_->raise();
    frame_->show();
}

void ReceiptPreview::LblPrnItemMouseMove(ReceiptItem *, Qt::KeyboardModifiers, int, int)
{
    // Neither the item nor the frame follows the mouse.
}

void ReceiptPreview::LblPrnItemMouseUp(ReceiptItem *item, Qt::MouseButton button,
                                       Qt::KeyboardModifiers, int, int)
{
    if (button != Qt::LeftButton)
        return;
    // Without a press there is no frame to snap from.
    if (frame_->isHidden())
        return;
    item->move(Geo::snapToGrid(frame_->pos()));
    frame_->hide();
}
