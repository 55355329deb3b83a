#include "device/ValueFormats.h"

namespace ValueFormats {

std::int32_t HexValue(const QByteArray &payload)
{
    if (payload.isEmpty() || payload.size() > 8)
        return 0;
    std::uint32_t v = 0;
    for (char c : payload) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return 0;
        v = (v << 4) | std::uint32_t(d);
    }
    return std::int32_t(v);
}

char IndexChar(int index)
{
    return "0123456789ABCDEF"[index & 0xF];
}

QByteArray HexDigits(std::uint32_t value, int digits)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

QString PriceText(int columnIndex, std::int32_t value)
{
    if (columnIndex >= 4 && columnIndex <= 7)
        return QString::number(value);
    // The value is held as a 32-bit float before formatting, as the display
    // always did; for prices up to 9999 tenths this rounds the same.
    const float shown = float(value) * 0.1f;
    return QString::asprintf("%2.1f", double(shown));
}

QString CountText(std::int32_t count)
{
    return QString::number(qint64(count) + 10000).mid(1, 4);
}

} // namespace ValueFormats
