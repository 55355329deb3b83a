#pragma once
// Number and text forms shared by the reads, the writes and the views.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace ValueFormats {

// Payload digits read as an unsigned hexadecimal number of at most 32 bits,
// kept as signed 32 bits (FFFFFFFF gives -1). Empty, too long or any other
// character gives 0.
std::int32_t HexValue(const QByteArray &payload);

// Index character of "QVRP"/"QVRC": 0-9, then A-F for 10-15.
char IndexChar(int index);

// Upper-case hexadecimal with leading zeros, `digits` wide ("QVSP" values).
QByteArray HexDigits(std::uint32_t value, int digits);

// Price cell text of column index i (0-15): "%2.1f" of value / 10 for
// columns 1-4 and 9-16, plain decimal for columns 5-8.
QString PriceText(int columnIndex, std::int32_t value);

// Sales count as its last four decimal digits, zero-padded.
QString CountText(std::int32_t count);

} // namespace ValueFormats
