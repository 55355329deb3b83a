#include "receipt/layout/RulerTicks.h"

namespace RulerTicks {
namespace {

Ruler ticksFrom(int offset, int count)
{
    Ruler r;
    if (count <= 0)
        return r;
    r.ticks.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const int pos = offset + Pitch * i;
        const int length = i % 10 == 0 ? 15 : i % 5 == 0 ? 10 : 5;
        r.ticks.push_back({pos, length});
        if (i % 10 == 0 && i != 0)
            r.labels.push_back({i / 10, pos});
    }
    return r;
}

} // namespace

Ruler topRuler(int width)
{
    return ticksFrom(Thickness, (width - Thickness) / Pitch);
}

Ruler leftRuler(int height)
{
    return ticksFrom(0, height / Pitch);
}

int labelStart(int tickPosition, int labelExtent)
{
    return tickPosition - labelExtent / 2;
}

} // namespace RulerTicks
