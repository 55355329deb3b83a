// Price entry and standard counts, both ways: any text the operator types,
// and numbers written out in the forms an operator might use.
// What must hold:
// - anything accepted lies within the row's or tube's limits and becomes
//   a command whose hexadecimal digits read back as exactly that value;
// - a number written out is accepted exactly when it is within the limits
//   (and, for a price, has the row's precision), as that very value.
#include "device/PriceEntry.h"
#include "device/StandardCount.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

namespace {
void fail(const char *what, const QString &entry)
{
    std::fprintf(stderr, "%s: \"%s\"\n", what, qPrintable(entry));
    std::abort();
}

// The value behind a command's "=": upper-case hex digits only.
long long commandValue(const QByteArray &command, const QByteArray &prefix, int digits)
{
    if (!command.startsWith(prefix) || command.size() != prefix.size() + digits)
        return -1;
    const QByteArray hex = command.mid(prefix.size());
    if (hex != hex.toUpper())
        return -1;
    bool ok = false;
    const long long v = hex.toLongLong(&ok, 16);
    return ok ? v : -1;
}

void checkPrice(int row, const QString &entry, long long expectedTenths, bool writtenOut)
{
    const PriceEntry::Checked c = PriceEntry::check(row, entry);
    const PriceEntry::Kind kind = PriceEntry::kindOfRow(row);
    // The stored unit: tenths for the first kind, whole prices for the others.
    long long want = -1;
    if (writtenOut) {
        if (kind == PriceEntry::Kind::Tenths)
            want = expectedTenths >= 0 && expectedTenths <= 999 ? expectedTenths : -1;
        else if (expectedTenths % 10 == 0 && !entry.contains(QLatin1Char('.'))) {
            const long long whole = expectedTenths / 10;
            const bool tens = kind == PriceEntry::Kind::Tens;
            if (whole >= (tens ? 10 : 1) && whole <= (tens ? 990 : 999) && (!tens || whole % 10 == 0))
                want = whole;
        }
        if ((want >= 0) != c.ok || (c.ok && c.stored != want))
            fail("a price written out is not taken as its value", entry);
    }
    if (!c.ok)
        return;
    const int low = kind == PriceEntry::Kind::Tens ? 10 : kind == PriceEntry::Kind::Whole ? 1 : 0;
    const int high = kind == PriceEntry::Kind::Tens ? 990 : 999;
    if (c.stored < low || c.stored > high || (kind == PriceEntry::Kind::Tens && c.stored % 10 != 0))
        fail("an accepted price beyond its row's limits", entry);
    const QByteArray prefix = QByteArray("QVSP") + QByteArray::number(row) + '=';
    if (commandValue(PriceEntry::writeCommand(row, c.stored), prefix, 4) != c.stored)
        fail("the price command does not carry the accepted value", entry);
}

void checkCount(int tube, const QString &entry, long long expected, bool writtenOut)
{
    const std::optional<std::int32_t> v = StandardCount::validate(tube, entry);
    const int max = tube < 4 ? 99 : 9999;
    if (writtenOut) {
        const bool within = expected >= 0 && expected <= max;
        if (within != bool(v) || (v && *v != expected))
            fail("a count written out is not taken as its value", entry);
    }
    if (!v)
        return;
    if (*v < 0 || *v > max)
        fail("an accepted count beyond its tube's limit", entry);
    const QByteArray prefix = QByteArray("QVSM") + QByteArray::number(tube + 1) + '=';
    if (commandValue(StandardCount::command(tube, *v), prefix, tube < 4 ? 2 : 4) != *v)
        fail("the count command does not carry the accepted value", entry);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int row = in.inRange<int>(0, PriceEntry::SettableRows - 1);
    const int tube = in.inRange<int>(0, StandardCount::TubeCount - 1);
    switch (in.inRange<int>(0, 2)) {
    case 0: {
        // A price in tenths, written with the zeros, sign, point and blanks chosen.
        const long long tenths = in.inRange<long long>(-20000, 20000);
        const long long mag = tenths < 0 ? -tenths : tenths;
        QString s = QString(in.inRange<int>(0, 3), QLatin1Char('0')) + QString::number(mag / 10);
        const int style = in.inRange<int>(0, 3);
        if (style == 1 || (style == 0 && mag % 10 != 0))
            s += QLatin1Char('.') + QString::number(mag % 10)
                + QString(in.inRange<int>(0, 3), QLatin1Char('0'));
        else if (style == 2 && mag % 10 == 0)
            s += QLatin1Char('.');
        else if (mag % 10 != 0)
            s += QLatin1Char('.') + QString::number(mag % 10);
        if (tenths < 0)
            s.prepend(QLatin1Char('-'));
        else if (in.flag())
            s.prepend(QLatin1Char('+'));
        s = QString(in.inRange<int>(0, 2), QLatin1Char(' ')) + s
            + QString(in.inRange<int>(0, 2), QLatin1Char(' '));
        checkPrice(row, s, tenths, true);
        break;
    }
    case 1: {
        // A count in decimal, "0x" or "$" hexadecimal, either case, leading zeros.
        const long long n = in.inRange<long long>(-20000, 20000);
        const int base = in.flag() ? 16 : 10;
        QString digits = QString::number(n < 0 ? -n : n, base);
        if (in.flag())
            digits = digits.toUpper();
        digits.prepend(QString(in.inRange<int>(0, 3), QLatin1Char('0')));
        const QString prefix = base == 10 ? QString() : in.flag() ? QStringLiteral("$") : QStringLiteral("0x");
        checkCount(tube, (n < 0 ? QStringLiteral("-") : QString()) + prefix + digits, n, true);
        break;
    }
    default: {
        const QString entry = QString::fromUtf8(in.rest());
        checkPrice(row, entry, 0, false);
        checkCount(tube, entry, 0, false);
        break;
    }
    }
    return 0;
}
