#pragma once
// A ruler of the receipt preview: an image control whose picture is drawn
// anew by the preview at the ruler's size of that moment.
#include <QImage>
#include <QWidget>

class RulerImage : public QWidget {
    Q_OBJECT
public:
    enum class Edge { Top, Left };
    explicit RulerImage(Edge edge, QWidget *parent = nullptr);

    // Discards the old picture and draws ticks and labels at the current size.
    void draw();
    const QImage &picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Edge edge_;
    QImage picture_;
};
