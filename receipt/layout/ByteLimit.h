#pragma once
// The byte limit of the receipt text fields: what the controller stores is
// code page 932 text of a fixed number of bytes.
#include <QString>

namespace ByteLimit {

struct Measure {
    int bytes = 0;       // bytes of the characters code page 932 can hold
    int unencodable = 0; // characters it cannot hold
    int cost() const { return bytes + 2 * unencodable; }
};

Measure measure(const QString &text);

enum class Verdict {
    Fits,    // encodable and within the limit
    Kept,    // over the limit or not encodable, but not made worse by the operator
    Refused, // the operator's change would add bytes beyond the limit or an
             // unencodable character
};

// held: the field's text before the change; input: the text after it;
// operatorEdit: typed, pasted or dropped (a text the program sets is never cut).
Verdict judge(const QString &held, const QString &input, int limit, bool operatorEdit);

} // namespace ByteLimit
