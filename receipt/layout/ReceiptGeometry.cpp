#include "receipt/layout/ReceiptGeometry.h"

#include <climits>

namespace ReceiptGeometry {

Margins marginsInPixels(const Margins &tenthsMm, int pixelsPerMm)
{
    return {tenthsMm.left * pixelsPerMm / 10, tenthsMm.top * pixelsPerMm / 10,
            tenthsMm.right * pixelsPerMm / 10, tenthsMm.bottom * pixelsPerMm / 10};
}

QRect printableArea(const QSize &ticket, const Margins &pixels)
{
    return QRect(pixels.left, pixels.top,
                 ticket.width() - (pixels.left + pixels.right),
                 ticket.height() - (pixels.top + pixels.bottom));
}

int ticketHeightFor(int printableHeight, const Margins &pixels)
{
    return printableHeight + pixels.top + pixels.bottom;
}

QSize scrollExtent(const QSize &ticket)
{
    return QSize(RulerThickness + ticket.width() + ScrollSlack,
                 RulerThickness + ticket.height() + ScrollSlack);
}

QSize alignedArea(const QSize &extent, const QSize &clientArea)
{
    return extent.expandedTo(clientArea);
}

int snapToGrid(int value, int grid)
{
    if (grid <= 0)
        return value;
    const int q = value / grid;
    const int r = value % grid;
    const qint64 snapped = qint64(r > grid / 2 ? q + 1 : q) * grid;
    // Past the last grid line an int holds, the line below is the nearest.
    return snapped > INT_MAX ? q * grid : int(snapped);
}

QPoint snapToGrid(const QPoint &p, int grid)
{
    return QPoint(snapToGrid(p.x(), grid), snapToGrid(p.y(), grid));
}

} // namespace ReceiptGeometry
