#pragma once
// What the window tests reach and read: controls by their object names, a
// click on a grid cell, the darkest ink in a painted area.
#include "ui/StringGrid.h"

#include <QtTest>

// The child of `root` with this name; a missing one ends the run at once.
template <typename T = QWidget>
T *findControl(const QObject *root, const QString &name)
{
    T *w = root->findChild<T *>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}
template <typename T = QWidget>
T *findControl(const QObject *root, const char *name)
{
    return findControl<T>(root, QString::fromLatin1(name));
}

inline void clickGridCell(StringGrid *g, int col, int row)
{
    const QRect r = g->visualRect(g->model()->index(row, col));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, r.center());
}

// The lowest colour channel anywhere in `r`: 255 for white, low for ink.
inline int darkestChannel(const QImage &image, const QRect &r)
{
    int darkest = 255;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            darkest = qMin(darkest, qMin(c.red(), qMin(c.green(), c.blue())));
        }
    return darkest;
}
