// Code page 932 texts, their byte limits and the texts that go on the wire.
// What must hold for any text (and any bytes it was read as):
// - a text that encodes has as many bytes as byteLength and the measure
//   say, and decoding its bytes and encoding again gives the same bytes;
// - decoding any bytes never fails;
// - a text the wire takes never holds a byte below 0x20, and is its own
//   code page 932 bytes unless it still shows exactly what was read;
// - a receipt line (magnifications accepted as the window accepts them)
//   never carries a byte below 0x20 into its command;
// - a text judged to fit is encodable and within its limit.
#include "device/WriteOperations.h"
#include "link/ShiftJis.h"
#include "receipt/layout/ByteLimit.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

namespace {
void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

QString textFrom(FuzzInput &in, std::size_t maxChars)
{
    // UTF-16 units as they come: unpaired surrogates and controls included.
    QString s;
    const std::size_t n = in.inRange<std::size_t>(0, maxChars);
    for (std::size_t i = 0; i < n && in.remaining() > 0; ++i) {
        const bool wide = in.flag();
        s += QChar(wide ? char16_t(in.unit()) : char16_t(in.byte()));
    }
    return s;
}

bool anyControl(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (uchar(c) < 0x20)
            return true;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QString text = textFrom(in, 48);
    const std::optional<QByteArray> asRead =
        in.flag() ? std::optional<QByteArray>(in.someBytes(48))
                         : std::nullopt;
    const int limit = in.inRange<int>(0, 48);
    const QString held = textFrom(in, 48);

    bool ok = false;
    const QByteArray bytes = ShiftJis::encode(text, &ok);
    const ByteLimit::Measure measure = ByteLimit::measure(text);
    if (ok) {
        if (ShiftJis::byteLength(text) != bytes.size() || measure.bytes != bytes.size() || measure.unencodable != 0)
            fail("byte counts disagree");
        bool again = false;
        if (ShiftJis::encode(ShiftJis::decode(bytes), &again) != bytes || !again)
            fail("decoding and encoding again changes the bytes");
    } else if (ShiftJis::byteLength(text) != -1 || measure.unencodable == 0) {
        fail("an unencodable text is counted as encodable");
    }
    if (asRead)
        ShiftJis::decode(*asRead);

    const std::optional<QByteArray> wire = WriteOperations::wireText(text, asRead);
    if (wire) {
        if (anyControl(*wire))
            fail("a byte below 0x20 on the wire");
        const bool shownAsRead = asRead && ShiftJis::decode(*asRead) == text;
        if (!shownAsRead && *wire != bytes)
            fail("the wire text is not the text's own bytes");
        if (shownAsRead && *wire != *asRead)
            fail("the wire text is not the bytes it was read as");
    } else if (ok && !anyControl(bytes) && !asRead) {
        fail("an encodable text without controls refused");
    }

    WriteOperations::ReceiptLine line;
    line.x = QString(QChar(char16_t(in.byte())));
    line.y = QString(QChar(char16_t(in.byte())));
    line.text = text;
    if (WriteOperations::magnificationValid(line.x) && WriteOperations::magnificationValid(line.y)) {
        const std::optional<QByteArray> value = WriteOperations::receiptLineValue(line, asRead);
        if (value && anyControl(*value))
            fail("a byte below 0x20 in a receipt line's command");
    }

    const bool edit = in.flag();
    if (ByteLimit::judge(held, text, limit, edit) == ByteLimit::Verdict::Fits
        && (!ok || bytes.size() > limit))
        fail("a text judged to fit does not");
    return 0;
}
