#pragma once
// The to-scale receipt preview on the settings page: millimetre rulers, the
// paper with its printable area, the print items and the selection frame,
// all built inside the page's scroll box.
#include "receipt/layout/ReceiptLayout.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <array>
#include <optional>

class QLabel;
class QScrollArea;
class QWidget;
class ReceiptItem;
class ReceiptShape;
class RulerImage;

class ReceiptPreview : public QObject {
    Q_OBJECT
public:
    // The six magnification texts: line 1 X, line 1 Y, line 2 X, line 2 Y,
    // line 3 X, line 3 Y.
    using MagnificationTexts = std::array<QString, 6>;

    static const QColor CanvasColour;
    static const QColor UnreadColour;
    static const QColor ReadColour;
    static QString startText(ReceiptLayout::Item item);
    static QString numberText(const QString &identification);

    // scrImg: the page's scroll box; lblBase: the hidden label whose font is
    // the reference font of the receipt.
    ReceiptPreview(QScrollArea *scrImg, QLabel *lblBase, QObject *parent = nullptr);

    ReceiptItem *item(ReceiptLayout::Item which) const { return items_[which]; }
    QWidget *canvas() const;
    ReceiptShape *ticket() const { return ticket_; }
    ReceiptShape *printableArea() const { return prnArea_; }
    ReceiptShape *selectionFrame() const { return frame_; }
    RulerImage *topRuler() const { return topRuler_; }
    RulerImage *leftRuler() const { return leftRuler_; }
    int lineUnit() const { return lineUnit_; }
    QSize scrollExtent() const { return extent_; }

    // Measures the line unit once, draws the rulers and lays out the start-up
    // picture; the window's constructor calls it after setting the start texts.
    void startUp();

    void ApplyItemScale(ReceiptItem *item, int x, int y);
    void InitReceiptPreview();
    // The relayout that every edit of a receipt field runs. Returns the
    // conversion error of a magnification text that is not an integer; the
    // layout then stops at that line.
    std::optional<QString> editRelayout(const MagnificationTexts &magnifications);
    // The relayout after the connection's full read: wrap modes as the last
    // edit relayout left them, a wrapped line as high as all its lines.
    std::optional<QString> RefreshReceiptPreview(const MagnificationTexts &magnifications);
    void DrawTopRuler();
    void DrawLeftRuler();
    void ScrImgResize();

    // line 1..3
    void setCommentText(int line, const QString &text);
    QString commentText(int line) const;
    void setIdentificationText(const QString &identification);
    // Black once the full read has read the line, grey again on disconnect.
    void setCommentColour(int line, const QColor &colour);
    void setCommentsUnread();

    void LblPrnItemMouseDown(ReceiptItem *item, Qt::MouseButton button,
                             Qt::KeyboardModifiers shift, int x, int y);
    void LblPrnItemMouseMove(ReceiptItem *item, Qt::KeyboardModifiers shift, int x, int y);
    void LblPrnItemMouseUp(ReceiptItem *item, Qt::MouseButton button,
                           Qt::KeyboardModifiers shift, int x, int y);

signals:
    // The scroll box's client area changed size; the window's ScrImgResize
    // handler answers it.
    void scrImgResized();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::optional<QString> relayout(ReceiptLayout::Pass pass, const MagnificationTexts &m);
    void placeCommentLine(ReceiptLayout::Pass pass, int line, int &y);
    void placeFixedItems(ReceiptLayout::Pass pass, int y);
    void setScrollExtent(const QSize &ticket);
    void realign();
    ReceiptLayout::LineMeasure measure(const ReceiptItem *item) const;

    QScrollArea *scrImg_;
    // The scroll box's client area, watched for its resizes. Kept apart so
    // the filter never calls into a scroll box that is being destroyed.
    QPointer<QWidget> viewport_;
    QLabel *lblBase_;
    QWidget *content_ = nullptr;
    RulerImage *topRuler_ = nullptr;
    RulerImage *leftRuler_ = nullptr;
    QWidget *pnlCvs_ = nullptr;
    ReceiptShape *ticket_ = nullptr;
    ReceiptShape *prnArea_ = nullptr;
    ReceiptShape *frame_ = nullptr;
    std::array<ReceiptItem *, ReceiptLayout::ItemCount> items_{};
    int lineUnit_ = 24;
    QSize extent_;
};
