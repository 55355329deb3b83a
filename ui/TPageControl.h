#pragma once
// The tab control with its tab row on the left, every tab drawn by the
// window's own handler (vertical captions in the page colours).
#include <QTabBar>
#include <QTabWidget>
#include <functional>

class TPageTabBar : public QTabBar {
    Q_OBJECT
public:
    using DrawTabHandler = std::function<void(QPainter &, int tabIndex, const QRect &rect, bool active)>;
    static constexpr int TabHeight = 28;  // across the row
    static constexpr int TabWidth = 100;  // along the row

    explicit TPageTabBar(QWidget *parent = nullptr) : QTabBar(parent) {}
    void setDrawTab(DrawTabHandler handler) { drawTab_ = std::move(handler); }

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent *event) override;

private:
    DrawTabHandler drawTab_;
};

class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget *parent = nullptr);
    TPageTabBar *tabRow() const { return bar_; }

protected:
    // A tab is named for a screen reader as its page is: the row draws its
    // own captions, which need not be the tab texts.
    void tabInserted(int index) override;

private:
    TPageTabBar *bar_;
};
