#include "device/PriceEntry.h"

#include "device/ValueFormats.h"

namespace PriceEntry {

namespace {

struct Decimal {
    bool valid = false;
    bool negative = false;
    QString whole;      // integer digits, leading zeros removed
    QString fraction;   // digits after the point, trailing zeros removed
    bool hasPoint = false;
};

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Splits "[+-]digits[.digits]" without ever converting to floating point.
Decimal parseDecimal(const QString &text)
{
    Decimal d;
    int i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        d.negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int digits = 0;
    for (; i < text.size() && isAsciiDigit(text[i]); ++i, ++digits)
        d.whole += text[i];
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        d.hasPoint = true;
        for (++i; i < text.size() && isAsciiDigit(text[i]); ++i, ++digits)
            d.fraction += text[i];
    }
    if (i != text.size() || digits == 0)
        return d;
    while (d.whole.startsWith(QLatin1Char('0')))
        d.whole.remove(0, 1);
    while (d.fraction.endsWith(QLatin1Char('0')))
        d.fraction.chop(1);
    d.valid = true;
    return d;
}

// The magnitude of the whole part, or -1 when it is far beyond any price.
int wholeValue(const Decimal &d)
{
    if (d.whole.size() > 6)
        return -1;
    return d.whole.isEmpty() ? 0 : d.whole.toInt();
}

} // namespace

Kind kindOfRow(int row)
{
    if (row == 4 || row == 5)
        return Kind::Tens;
    if (row == 6 || row == 7)
        return Kind::Whole;
    return Kind::Tenths;
}

QString rangeText(int row)
{
    switch (kindOfRow(row)) {
    case Kind::Tens:
        return QStringLiteral("[ 10 ～ 990 ]");
    case Kind::Whole:
        return QStringLiteral("[ 1 ～ 999 ]");
    case Kind::Tenths:
        break;
    }
    return QStringLiteral("[ 0.0 ～ 99.9 ]");
}

Checked check(int row, const QString &entry)
{
    Checked result;
    const Decimal d = parseDecimal(entry.trimmed());
    if (!d.valid)
        return result;
    const int whole = wholeValue(d);
    if (whole < 0)
        return result;
    const bool zero = whole == 0 && d.fraction.isEmpty();
    if (d.negative && !zero)
        return result;

    switch (kindOfRow(row)) {
    case Kind::Tenths: {
        // Only one significant decimal place makes a whole number of tenths.
        if (d.fraction.size() > 1)
            return result;
        const int tenths = whole * 10 + (d.fraction.isEmpty() ? 0 : d.fraction[0].digitValue());
        if (tenths > 999)
            return result;
        result.stored = tenths;
        result.cellText = QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
        break;
    }
    case Kind::Tens:
    case Kind::Whole: {
        // These are read as integers: a decimal point is not part of one.
        if (d.hasPoint)
            return result;
        const bool tens = kindOfRow(row) == Kind::Tens;
        const int low = tens ? 10 : 1;
        const int high = tens ? 990 : 999;
        if (whole < low || whole > high || (tens && whole % 10 != 0))
            return result;
        result.stored = whole;
        result.cellText = QString::number(whole);
        break;
    }
    }
    result.ok = true;
    return result;
}

QByteArray writeCommand(int row, std::int32_t stored)
{
    return QByteArray("QVSP") + ValueFormats::indexChar(row) + '='
        + ValueFormats::hexDigits(std::uint32_t(stored), 4);
}

} // namespace PriceEntry
