#include "receipt/layout/ReceiptLayout.h"

namespace ReceiptLayout {

LinePlacement placeLine(Pass pass, int y, const LineMeasure &line, bool wrapMode,
                        int printableWidth, int lineUnit)
{
    LinePlacement p;
    p.top = y;
    p.wrap = wrapMode;
    p.height = line.height;
    switch (pass) {
    case Pass::StartUp:
        break;
    case Pass::Edit:
        // Strictly wider than the paper allows: two lines, the rest cut off.
        p.wrap = line.width > printableWidth;
        if (p.wrap)
            p.height = 2 * line.height;
        break;
    case Pass::Connect:
        if (p.wrap)
            p.height = line.wrappedLines * line.height;
        break;
    }
    p.nextY = line.empty ? y : y + p.height + lineUnit;
    return p;
}

void placeFixedItems(Pass pass, int y, const ItemValues &h, int lineUnit, ItemValues &top)
{
    top[Date] = y;
    if (pass == Pass::StartUp) {
        top[Caption1] = top[Date] + 2 * h[Date];
        top[Caption2] = top[Caption1] + 3 * h[Caption1];
        top[Caption3] = top[Caption2] + 2 * h[Caption2];
        top[Caption4] = top[Caption3] + 2 * h[Caption3];
    } else {
        top[Caption1] = top[Date] + h[Date] + lineUnit;
        // Caption 1's unit line and one blank line lie between.
        top[Caption2] = top[Caption1] + h[Caption1] + 2 * lineUnit;
        top[Caption3] = top[Caption2] + h[Caption2] + lineUnit;
        top[Caption4] = top[Caption3] + h[Caption3] + lineUnit;
    }
    for (int k = 0; k < 4; ++k)
        top[Unit1 + k] = top[Caption1 + k] + h[Caption1 + k];
    top[Number] = pass == Pass::StartUp ? top[Unit4] + 2 * h[Unit4]
                                        : top[Unit4] + h[Unit4] + lineUnit;
}

int printableHeight(Pass pass, int numberTop, int numberHeight,
                    const ReceiptGeometry::Margins &m)
{
    if (pass == Pass::StartUp)
        return numberTop + 2 * numberHeight - (m.top + m.bottom);
    return numberTop + numberHeight - m.top;
}

Result layout(const Input &in)
{
    Result r;
    int y = in.margins.top;
    for (int i = 0; i < CommentLineCount; ++i) {
        const LinePlacement p = placeLine(in.pass, y, in.lines[i], in.wrap[i],
                                          in.printableWidth, in.lineUnit);
        r.top[Line1 + i] = p.top;
        r.height[Line1 + i] = p.height;
        r.wrap[i] = p.wrap;
        y = p.nextY;
    }
    for (int k = Date; k < ItemCount; ++k)
        r.height[k] = in.fixedHeights[k];
    placeFixedItems(in.pass, y, r.height, in.lineUnit, r.top);
    r.printableHeight = printableHeight(in.pass, r.top[Number], r.height[Number], in.margins);
    r.ticketHeight = ReceiptGeometry::ticketHeightFor(r.printableHeight, in.margins);
    return r;
}

} // namespace ReceiptLayout
