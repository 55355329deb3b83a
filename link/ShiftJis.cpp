#include "link/ShiftJis.h"

#include <iconv.h>
#include <cerrno>

namespace {

// glibc's "CP932" is the Windows mapping (U+FF5E <-> 81 60) and also takes
// the variants Linux input methods produce (U+301C, U+2212).
class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Converter() { if (valid()) iconv_close(cd_); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return cd_; }
    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }
private:
    iconv_t cd_;
};

Converter &toCp932()
{
    static Converter c("CP932", "UTF-16LE");
    return c;
}

Converter &fromCp932()
{
    static Converter c("UTF-16LE", "CP932");
    return c;
}

} // namespace

namespace ShiftJis {

QByteArray encode(const QString &text, bool *ok)
{
    bool allEncoded = true;
    QByteArray out;
    Converter &conv = toCp932();
    if (!conv.valid()) {
        if (ok) *ok = false;
        return out;
    }
    conv.reset();
    // One character (one or two UTF-16 units) at a time, so an unmappable
    // one is skipped without losing the rest.
    for (int i = 0; i < text.size();) {
        int units = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QByteArray in(reinterpret_cast<const char *>(text.utf16() + i), units * 2);
        char buf[16];
        char *inPtr = in.data();
        size_t inLeft = size_t(in.size());
        char *outPtr = buf;
        size_t outLeft = sizeof buf;
        size_t r = iconv(conv.handle(), &inPtr, &inLeft, &outPtr, &outLeft);
        if (r == size_t(-1)) {
            allEncoded = false;
            conv.reset();
        } else {
            out.append(buf, int(outPtr - buf));
        }
        i += units;
    }
    if (ok) *ok = allEncoded;
    return out;
}

QString decode(const QByteArray &bytes)
{
    QString out;
    Converter &conv = fromCp932();
    if (!conv.valid())
        return QString::fromLatin1(bytes);
    conv.reset();
    QByteArray in = bytes;
    char *inPtr = in.data();
    size_t inLeft = size_t(in.size());
    QByteArray buf(int(in.size()) * 2 + 4, '\0');
    while (inLeft > 0) {
        char *outPtr = buf.data();
        size_t outLeft = size_t(buf.size());
        size_t r = iconv(conv.handle(), &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(QString::fromUtf16(reinterpret_cast<const char16_t *>(buf.constData()),
                                      int((outPtr - buf.data()) / 2)));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // Invalid or truncated sequence: one replacement character, skip a byte.
            out.append(QChar(QChar::ReplacementCharacter));
            ++inPtr;
            --inLeft;
            conv.reset();
        }
    }
    return out;
}

int byteLength(const QString &text)
{
    bool ok = false;
    QByteArray b = encode(text, &ok);
    return ok ? int(b.size()) : -1;
}

bool exact(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        return false;
    bool ok = false;
    return encode(text, &ok) == bytes && ok;
}

} // namespace ShiftJis
