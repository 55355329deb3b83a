#pragma once
// Number and text forms shared by the reads, the writes and the views.
#include "link/Reply.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace ValueFormats {

// Payload digits read as an unsigned hexadecimal number of at most 32 bits,
// kept as signed 32 bits (FFFFFFFF gives -1). Leading zeros do not count
// against the 32 bits. Empty, a value beyond 32 bits or any character that
// is not a hexadecimal digit gives 0.
std::int32_t hexValue(const QByteArray &payload);

// True for one or more hexadecimal digits and nothing else.
bool isHexNumber(const QByteArray &payload);

// The number a reply vouches for: a whole reply with the normal status whose
// payload is exactly `length` long and starts with `digits` hexadecimal
// digits (all of it by default). Nothing for any other reply.
std::optional<std::int32_t> usableHex(const TransactResult &reply, int length, int digits = -1);

// Index character of "QVRP"/"QVRC": 0-9, then A-F for 10-15.
char indexChar(int index);

// Upper-case hexadecimal with leading zeros, `digits` wide ("QVSP" values).
QByteArray hexDigits(std::uint32_t value, int digits);

// A stored price in tenths of a yen: columns 5-8 store whole yen, the
// others tenths.
qint64 priceTenths(int column, qint64 price);

// Price cell text of column index i (0-15): "%2.1f" of value / 10 for
// columns 1-4 and 9-16, plain decimal for columns 5-8.
QString priceText(int columnIndex, std::int32_t value);

// Sales count as its last four decimal digits, zero-padded.
QString countText(std::int32_t count);

// Receipt-line value ("QVROA" ...): X digit, Y digit, then the line's text.
// The text is everything from the third byte on (empty when shorter).
QString receiptLineText(const QByteArray &value);

// The magnification character at `position` (0 for X, 1 for Y) read as a
// decimal digit; nothing for a missing or non-digit character, which leaves
// the line unread rather than failing a conversion.
std::optional<int> magnificationDigit(const QByteArray &value, int position);

// The item a magnification digit selects in its box ("1" ... "4"):
// digit - 1, or -1 (no selection) outside 1-4.
int magnificationIndex(int digit);

} // namespace ValueFormats
