#pragma once
// A rectangle on the receipt canvas: the paper, the printable area, the
// selection frame. The outline lies inside the rectangle.
#include <QColor>
#include <QWidget>

class ReceiptShape : public QWidget {
    Q_OBJECT
public:
    // An invalid fill colour leaves the inside transparent.
    ReceiptShape(const QColor &fill, const QColor &outline, int outlineWidth,
                 QWidget *parent = nullptr);

    QColor fillColour() const { return fill_; }
    QColor outlineColour() const { return outline_; }
    int outlineWidth() const { return outlineWidth_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor fill_;
    QColor outline_;
    int outlineWidth_;
};
