#pragma once
// One print item of the receipt preview: a transparent label that draws its
// text in cells of the receipt font, on one line or wrapped at its width.
#include <QColor>
#include <QString>
#include <QWidget>

class ReceiptItem : public QWidget {
    Q_OBJECT
public:
    explicit ReceiptItem(QWidget *parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString &text);

    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment);

    QColor textColour() const { return colour_; }
    void setTextColour(const QColor &colour);

    bool wordWrap() const { return wrap_; }
    void setWordWrap(bool on);

    // The cell of the current font: width of a half-width character and
    // height of one line (the character height, not the font's line height).
    void setCell(int cellWidth, int lineHeight);
    int cellWidth() const { return cellWidth_; }
    int lineHeight() const { return lineHeight_; }

    // The text on one line in the current cell; an empty text as one blank.
    int measuredWidth() const;
    // Lines the text needs wrapped at the given width.
    int wrappedLineCount(int width) const;
    // The lines as drawn at the current width and wrap mode.
    QStringList visualLines() const;

signals:
    void mousePressed(ReceiptItem *item, Qt::MouseButton button,
                      Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseMoved(ReceiptItem *item, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseReleased(ReceiptItem *item, Qt::MouseButton button,
                       Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString text_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    QColor colour_ = Qt::black;
    bool wrap_ = false;
    int cellWidth_ = 12;
    int lineHeight_ = 24;
};
