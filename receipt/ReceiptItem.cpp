#include "receipt/ReceiptItem.h"

#include "receipt/layout/ReceiptText.h"

#include <QMouseEvent>
#include <QPainter>

ReceiptItem::ReceiptItem(QWidget *parent) : QWidget(parent)
{
    // Transparent: the paper and the printable area show through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void ReceiptItem::setText(const QString &text)
{
    if (text_ == text)
        return;
    text_ = text;
    update();
}

void ReceiptItem::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment & Qt::AlignHorizontal_Mask;
    update();
}

void ReceiptItem::setTextColour(const QColor &colour)
{
    colour_ = colour;
    update();
}

void ReceiptItem::setWordWrap(bool on)
{
    wrap_ = on;
    update();
}

void ReceiptItem::setCell(int cellWidth, int lineHeight)
{
    cellWidth_ = qMax(1, cellWidth);
    lineHeight_ = qMax(1, lineHeight);
    update();
}

int ReceiptItem::measuredWidth() const
{
    return ReceiptText::measuredCells(text_) * cellWidth_;
}

int ReceiptItem::wrappedLineCount(int width) const
{
    return int(ReceiptText::wrap(text_, width / cellWidth_).size());
}

QStringList ReceiptItem::visualLines() const
{
    if (!wrap_)
        return {text_};
    return ReceiptText::wrap(text_, width() / cellWidth_);
}

void ReceiptItem::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.setPen(colour_);
    const QFontMetrics fm(font());
    const QStringList lines = visualLines();
    for (int k = 0; k < lines.size(); ++k) {
        const int top = k * lineHeight_;
        if (top >= height())
            break; // lines beyond the item's height are cut off
        const int advance = fm.horizontalAdvance(lines[k]);
        int x = 0;
        if (alignment_ & Qt::AlignRight)
            x = width() - advance;
        else if (alignment_ & Qt::AlignHCenter)
            x = (width() - advance) / 2; // a wider text is cut at both edges
        // The character cell starts at the line's top; the font's own line
        // height (taller than the cell) plays no part.
        p.drawText(QPoint(x, top + fm.ascent()), lines[k]);
    }
}

void ReceiptItem::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(this, event->button(), event->modifiers(), event->position().toPoint());
}

void ReceiptItem::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(this, event->modifiers(), event->position().toPoint());
}

void ReceiptItem::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseReleased(this, event->button(), event->modifiers(), event->position().toPoint());
}
