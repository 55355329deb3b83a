#pragma once
// Millimetre rulers of the receipt preview: one tick every millimetre, a
// longer one every 5 mm, the longest with a centimetre label every 10 mm.
#include <cstddef>
#include <vector>

namespace RulerTicks {

inline constexpr int Thickness = 35;
inline constexpr int Pitch = 8;           // pixels per millimetre
inline constexpr int LabelInset = 5;      // labels start 5 px from the outer edge

struct Tick {
    int position = 0; // along the ruler, pixels
    int length = 0;   // 5, 10 or 15, from the inner edge
};

struct Label {
    int centimetres = 0;
    int position = 0; // the tick the label is centred on
};

struct Ruler {
    std::vector<Tick> ticks;
    std::vector<Label> labels;
};

// The top ruler starts at the paper's left edge, which lies one ruler
// thickness right of the ruler's own left edge.
Ruler topRuler(int width);
// The left ruler starts at the paper's top edge, which is its own top.
Ruler leftRuler(int height);

// Leading edge of a label of the given extent centred on a tick (halving
// rounds toward zero).
int labelStart(int tickPosition, int labelExtent);

} // namespace RulerTicks
