#include "device/ValueFormats.h"

#include <algorithm>

#include "link/ShiftJis.h"

namespace ValueFormats {

std::int32_t hexValue(const QByteArray &payload)
{
    if (payload.isEmpty())
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
        if (v > 0x0FFFFFFFu)
            return 0;   // the value would no longer fit 32 bits
        v = (v << 4) | std::uint32_t(d);
    }
    return std::int32_t(v);
}

bool isHexNumber(const QByteArray &payload)
{
    const auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    return !payload.isEmpty() && std::all_of(payload.begin(), payload.end(), hex);
}

std::optional<std::int32_t> usableHex(const TransactResult &reply, int length, int digits)
{
    const QByteArray number = reply.payload.left(digits < 0 ? length : digits);
    if (!reply.usable() || reply.payload.size() != length || !isHexNumber(number))
        return std::nullopt;
    return hexValue(number);
}

char indexChar(int index)
{
    return "0123456789ABCDEF"[index & 0xF];
}

QByteArray hexDigits(std::uint32_t value, int digits)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

qint64 priceTenths(int column, qint64 price)
{
    return column >= 4 && column <= 7 ? price * 10 : price;
}

QString priceText(int columnIndex, std::int32_t value)
{
    if (columnIndex >= 4 && columnIndex <= 7)
        return QString::number(value);
    // The value is held as a 32-bit float before formatting, as the display
    // always did; for prices up to 9999 tenths this rounds the same.
    const float shown = float(value) * 0.1f;
    return QString::asprintf("%2.1f", double(shown));
}

QString countText(std::int32_t count)
{
    return QString::number(qint64(count) + 10000).mid(1, 4);
}

} // namespace ValueFormats

namespace ValueFormats {

QString receiptLineText(const QByteArray &value)
{
    return ShiftJis::decode(value.mid(2));
}

std::optional<int> magnificationDigit(const QByteArray &value, int position)
{
    if (position < 0 || position >= value.size() || value[position] < '0' || value[position] > '9')
        return std::nullopt;
    return value[position] - '0';
}

int magnificationIndex(int digit)
{
    return digit >= 1 && digit <= 4 ? digit - 1 : -1;
}

} // namespace ValueFormats
