#include "receipt/ReceiptShape.h"

#include <QPainter>

ReceiptShape::ReceiptShape(const QColor &fill, const QColor &outline, int outlineWidth,
                           QWidget *parent)
    : QWidget(parent), fill_(fill), outline_(outline), outlineWidth_(outlineWidth)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ReceiptShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    if (fill_.isValid())
        p.fillRect(r, fill_);
    const int w = qMin(outlineWidth_, qMin(r.width(), r.height()) / 2 + 1);
    if (w <= 0)
        return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), w), outline_);
    p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), outline_);
    p.fillRect(QRect(r.left(), r.top(), w, r.height()), outline_);
    p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), outline_);
}
