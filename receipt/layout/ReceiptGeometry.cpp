#include "receipt/layout/ReceiptGeometry.h"

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
    const int q = value / grid;
    const int r = value % grid;
    return r > grid / 2 ? (q + 1) * grid : q * grid;
}

QPoint snapToGrid(const QPoint &p, int grid)
{
    return QPoint(snapToGrid(p.x(), grid), snapToGrid(p.y(), grid));
}

} // namespace ReceiptGeometry
