#pragma once
// Vertical layout of the receipt preview: where each print item goes, how
// high the comment lines are, and how long the paper becomes.
#include "receipt/layout/ReceiptGeometry.h"

#include <array>

namespace ReceiptLayout {

// Print items in layout order.
enum Item {
    Line1, Line2, Line3,
    Date,
    Caption1, Caption2, Caption3, Caption4,
    Unit1, Unit2, Unit3, Unit4,
    Number,
    ItemCount
};
inline constexpr int CommentLineCount = 3;

// Start-up (fixed magnifications, steps written in item heights), the edit
// relayout (decides the wrap mode, caps a wrapped line at two lines) and the
// connect relayout (keeps the wrap mode, a wrapped line takes all its lines).
enum class Pass { StartUp, Edit, Connect };

// A comment line as measured in its scaled font.
struct LineMeasure {
    bool empty = false;   // no text: the line takes no vertical space
    int width = 0;        // width of the text on one line
    int height = 0;       // height of one line (the character height)
    int wrappedLines = 1; // lines the text needs wrapped at the printable width
};

struct LinePlacement {
    int top = 0;
    int height = 0;
    bool wrap = false;
    int nextY = 0; // where the next item starts
};

LinePlacement placeLine(Pass pass, int y, const LineMeasure &line, bool wrapMode,
                        int printableWidth, int lineUnit);

using ItemValues = std::array<int, ItemCount>;

// Tops of the date, captions, units and number line from y (the top of the
// date), given the items' heights.
void placeFixedItems(Pass pass, int y, const ItemValues &heights, int lineUnit,
                     ItemValues &tops);

// Printable height once the number line is placed: at start-up one full line
// is left below the number line, a relayout ends the area at the number line.
int printableHeight(Pass pass, int numberTop, int numberHeight,
                    const ReceiptGeometry::Margins &margins);

struct Input {
    Pass pass = Pass::Edit;
    std::array<LineMeasure, CommentLineCount> lines{};
    std::array<bool, CommentLineCount> wrap{};   // wrap modes before the pass
    ItemValues fixedHeights{};                   // Date .. Number; lines ignored
    int lineUnit = 24;
    ReceiptGeometry::Margins margins = ReceiptGeometry::marginsInPixels();
    int printableWidth = 428;
};

struct Result {
    ItemValues top{};
    ItemValues height{};
    std::array<bool, CommentLineCount> wrap{};
    int printableHeight = 0;
    int ticketHeight = 0;
};

// The whole pass at once, the way the preview performs it step by step.
Result layout(const Input &input);

} // namespace ReceiptLayout
