#include "ui/IoPanel.h"

#include "device/IoPort.h"

#include "ui/Fonts.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace IoPanel {

namespace {

const QColor OutColour(224, 128, 128);
const QColor InColour(128, 224, 128);

// Text with its top-left corner at (x, y) on an opaque background of `fill`,
// the way a canvas writes text over its current brush.
void textOut(QPainter &p, int x, int y, const QString &text, const QColor &fill)
{
    const QFontMetrics fm(p.font());
    p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), fill);
    p.setPen(Qt::black);
    p.drawText(x, y + fm.ascent(), text);
}

} // namespace

QPixmap drawPicture(const LampSet &lamps)
{
    using namespace IoPort;
    const int W = ImageWidth, H = ImageHeight, M = Mid;
    QPixmap picture(W, H);
    picture.fill(Qt::white);
    QPainter p(&picture);
    // The canvas's own small face; it has to hold the Japanese names.
    const QFont font = pixelFont(FontMsPGothic, 12);
    p.setFont(font);

    // Each side's lamps sit on its line.
    p.setPen(QPen(OutColour, 3));
    p.drawLine(M - 14, 0, M - 14, H + 1);
    p.setPen(QPen(InColour, 3));
    p.drawLine(M + 6, 0, M + 6, H + 1);

    // Rectangles by their corners, right and bottom edges excluded.
    p.fillRect(QRect(QPoint(0, 10), QPoint(M - 14 - 1, 40 - 1)), OutColour);
    textOut(p, 70, 20, QStringLiteral("ＯＵＴ"), OutColour);
    p.fillRect(QRect(QPoint(M + 6, 10), QPoint(W + 1 - 1, 40 - 1)), InColour);
    textOut(p, 150, 20, QStringLiteral("ＩＮ"), InColour);

    const QFontMetrics fm(font);
    for (int row = 0; row < RowCount; ++row) {
        const int s = rowSignal(row);
        const int y = rowY(row);
        p.drawPixmap(M - 20, y, lamps[LOFF]);
        const QString out = outputName(s);
        textOut(p, M - 20 - fm.horizontalAdvance(out), y, out, Qt::white);
        p.drawPixmap(M, y, lamps[LOFF]);
        textOut(p, M + 15, y, inputName(s), Qt::white);
    }
    // The two user inputs carry a square lamp at the right edge.
    p.drawPixmap(W - 18, 200, lamps[LOFF4]);
    p.drawPixmap(W - 18, 230, lamps[LOFF4]);
    return picture;
}

void drawInputLamp(QPixmap &picture, const QPixmap &lamp, int row)
{
    QPainter p(&picture);
    p.drawPixmap(IoPort::Mid, IoPort::rowY(row), lamp);
}

Lamp inputLamp(bool on, bool hovered)
{
    if (hovered)
        return on ? LONG3 : LOFF3;
    return on ? LONG1 : LOFF;
}

QPoint imagePixel(const QLabel *label, const QPoint &widgetPos)
{
    const QPixmap picture = label->pixmap();
    if (picture.isNull())
        return widgetPos;
    const QSize size = picture.deviceIndependentSize().toSize();
    const QRect shown = QStyle::alignedRect(label->layoutDirection(),
                                            QStyle::visualAlignment(label->layoutDirection(),
                                                                    label->alignment()),
                                            size, label->contentsRect());
    return widgetPos - shown.topLeft();
}

MouseRelay::MouseRelay(QLabel *image, Move move, Press press)
    : QObject(image), image_(image), move_(std::move(move)), press_(std::move(press))
{
    image_->setMouseTracking(true);
    image_->installEventFilter(this);
}

bool MouseRelay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == image_) {
        if (event->type() == QEvent::MouseMove) {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint at = imagePixel(image_, e->position().toPoint());
            move_(e->modifiers(), at.x(), at.y());
        } else if (event->type() == QEvent::MouseButtonPress
                   || event->type() == QEvent::MouseButtonDblClick) {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint at = imagePixel(image_, e->position().toPoint());
            press_(e->button(), e->modifiers(), at.x(), at.y());
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace IoPanel
