#include "ui/TPageControl.h"

#include <QPainter>

QSize TPageTabBar::tabSizeHint(int) const
{
    // Tabs on the left: narrow across the row, long along it.
    return QSize(TabHeight, TabWidth);
}

void TPageTabBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setFont(font());
    for (int i = 0; i < count(); ++i) {
        if (!isTabVisible(i))
            continue;
        if (drawTab_)
            drawTab_(p, i, tabRect(i), i == currentIndex());
    }
}

TPageControl::TPageControl(QWidget *parent) : QTabWidget(parent), bar_(new TPageTabBar(this))
{
    setTabBar(bar_);
    setTabPosition(QTabWidget::West);
    setDocumentMode(false);
    setUsesScrollButtons(false);
}

void TPageControl::tabInserted(int index)
{
    QTabWidget::tabInserted(index);
    const QString name = widget(index)->accessibleName();
    if (!name.isEmpty())
        bar_->setAccessibleTabName(index, name);
}
