#pragma once
// The picture of the I/O port panel: the controller's outputs on the left,
// its inputs on the right, a lamp and a name per signal. Drawing and the
// mapping of pointer positions to image pixels; what a click does lives in
// the window's handlers.
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <array>
#include <functional>

class QLabel;

namespace IoPanel {

// Indexes of the window's lamp bitmaps, in the order they are loaded.
enum Lamp { LOFF = 0, LONG1 = 1, LONG3 = 2, LONR1 = 3, LOFF3 = 4, LOFF4 = 5, LON4 = 6 };
using LampSet = std::array<QPixmap, 7>;

// The static picture: the two signal lines, the ＯＵＴ and ＩＮ heads, eight
// rows of dark lamps with their names and the two square lamps.
QPixmap drawPicture(const LampSet &lamps);

// Puts `lamp` over the input lamp of panel row `row`.
void drawInputLamp(QPixmap &picture, const QPixmap &lamp, int row);

// Lamp an input shows: on or off, with the ring while under the pointer.
Lamp inputLamp(bool on, bool hovered);

// Widget position over `label` as a pixel of the picture it shows.
QPoint imagePixel(const QLabel *label, const QPoint &widgetPos);

// Forwards the pointer's moves and presses over the picture, in image
// pixels. Switches on mouse tracking so moves arrive without a button held.
class MouseRelay : public QObject {
public:
    using Move = std::function<void(Qt::KeyboardModifiers, int x, int y)>;
    using Press = std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;

    MouseRelay(QLabel *image, Move move, Press press);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *image_;
    Move move_;
    Press press_;
};

} // namespace IoPanel
