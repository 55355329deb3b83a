#pragma once
// Paper, margins and scroll geometry of the receipt preview, in preview
// pixels at 8 pixels to the millimetre.
#include <QPoint>
#include <QRect>
#include <QSize>

namespace ReceiptGeometry {

inline constexpr int PixelsPerMm = 8;
// 57.5 mm paper.
inline constexpr int TicketWidth = 575 * PixelsPerMm / 10;
// Paper length before the first layout: 69 mm.
inline constexpr int ProvisionalTicketHeight = 69 * PixelsPerMm;
inline constexpr int RulerThickness = 35;
// Room kept beyond the paper's right and bottom edges.
inline constexpr int ScrollSlack = 10;

struct Margins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Margins &a, const Margins &b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

// The printer's margins in tenths of a millimetre.
inline constexpr Margins PrintMarginsTenthsMm{10, 50, 30, 20};

// Tenths of a millimetre to preview pixels (integer division, as the
// printer's own arithmetic does).
Margins marginsInPixels(const Margins &tenthsMm = PrintMarginsTenthsMm,
                        int pixelsPerMm = PixelsPerMm);

// The printable area of a ticket of the given size: the ticket less margins.
QRect printableArea(const QSize &ticket, const Margins &pixels);

// Ticket height that ends at the bottom margin below a printable height.
int ticketHeightFor(int printableHeight, const Margins &pixels);

// What the scroll box can scroll over: ruler, paper and slack.
QSize scrollExtent(const QSize &ticket);

// The aligned area fills the visible client area at least.
QSize alignedArea(const QSize &extent, const QSize &clientArea);

// Nearest grid line: remainders up to half the grid round down, beyond it
// up. The remainder is that of truncating division, so a negative value
// always goes to the line nearer zero.
int snapToGrid(int value, int grid = PixelsPerMm);
QPoint snapToGrid(const QPoint &p, int grid = PixelsPerMm);

} // namespace ReceiptGeometry
