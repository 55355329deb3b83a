#include "receipt/layout/ByteLimit.h"

#include "link/ShiftJis.h"

namespace ByteLimit {

Measure measure(const QString &text)
{
    Measure m;
    const int whole = ShiftJis::byteLength(text);
    if (whole >= 0) {
        m.bytes = whole;
        return m;
    }
    for (int i = 0; i < text.size();) {
        const int units = (text.at(i).isHighSurrogate() && i + 1 < text.size()
                           && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const int n = ShiftJis::byteLength(text.mid(i, units));
        if (n >= 0)
            m.bytes += n;
        else
            ++m.unencodable;
        i += units;
    }
    return m;
}

Verdict judge(const QString &held, const QString &input, int limit, bool operatorEdit)
{
    const Measure in = measure(input);
    if (in.unencodable == 0 && in.bytes <= limit)
        return Verdict::Fits;
    if (!operatorEdit || input == held)
        return Verdict::Kept;
    // An over-long text set by the program may still be shortened, and a
    // damaged character read from the controller may stay while the operator
    // edits around it; neither may grow.
    const Measure was = measure(held);
    if (in.unencodable <= was.unencodable && (in.cost() <= limit || in.cost() < was.cost()))
        return Verdict::Kept;
    return Verdict::Refused;
}

} // namespace ByteLimit
