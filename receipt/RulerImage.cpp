#include "receipt/RulerImage.h"

#include "receipt/layout/RulerTicks.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

RulerImage::RulerImage(Edge edge, QWidget *parent) : QWidget(parent), edge_(edge)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RulerImage::draw()
{
    const int thickness = RulerTicks::Thickness;
    const int length = edge_ == Edge::Top ? width() : height();
    const QSize size = edge_ == Edge::Top ? QSize(length, thickness) : QSize(thickness, length);
    picture_ = QImage();
    if (size.isEmpty()) {
        update();
        return;
    }
    picture_ = QImage(size, QImage::Format_RGB32);
    picture_.fill(QColor(255, 255, 255));

    QPainter p(&picture_);
    p.setPen(QPen(QColor(0, 0, 0), 1, Qt::SolidLine));
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setPointSize(8);
    p.setFont(font);
    const QFontMetrics fm(font);

    const RulerTicks::Ruler ruler = edge_ == Edge::Top ? RulerTicks::topRuler(length)
                                                       : RulerTicks::leftRuler(length);
    auto labelAt = [&](int position) {
        for (const RulerTicks::Label &l : ruler.labels)
            if (l.position == position)
                return QString::number(l.centimetres);
        return QString();
    };
    for (const RulerTicks::Tick &t : ruler.ticks) {
        const QString label = labelAt(t.position);
        const int start = thickness - t.length;
        if (edge_ == Edge::Top) {
            if (!label.isEmpty()) {
                const int w = fm.horizontalAdvance(label);
                p.drawText(QRect(RulerTicks::labelStart(t.position, w), RulerTicks::LabelInset,
                                 w, fm.height()),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label);
            }
            p.drawLine(t.position, start, t.position, thickness - 1);
        } else {
            if (!label.isEmpty()) {
                // Offset by half the label's width, as the top ruler is.
                const int w = fm.horizontalAdvance(label);
                p.drawText(QRect(RulerTicks::LabelInset, RulerTicks::labelStart(t.position, w),
                                 w, fm.height()),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label);
            }
            p.drawLine(start, t.position, thickness - 1, t.position);
        }
    }
    p.end();
    update();
}

void RulerImage::paintEvent(QPaintEvent *)
{
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}
