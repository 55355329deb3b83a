#pragma once
// Prices typed by the operator for the first ten columns: the three kinds of
// price, their ranges, the check of an entry and the write command.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace PriceEntry {

// Rows of the price grid that can be set (columns 1-10).
constexpr int SettableRows = 10;

enum class Kind {
    Tenths,     // one decimal place, stored as tenths 0-999
    Tens,       // whole price 10-990 in steps of 10
    Whole,      // whole price 1-999
};

// Kind of row r (0-9); rows beyond 9 have no kind and count as Tenths.
Kind kindOfRow(int row);

// The hint shown in the entry dialog for row r.
QString rangeText(int row);

struct Checked {
    bool ok = false;
    std::int32_t stored = 0;   // the value the controller keeps
    QString cellText;          // what the price cells show
};

// Checks an entry for row r. Blanks around it are ignored; otherwise only a
// plain decimal number is taken (digits with at most one ".", an optional
// sign, no exponent, no other characters), and the value is worked out in
// whole tenths so no binary rounding can let 12.34 pass as 12.3.
Checked check(int row, const QString &entry);

// "QVSP" + row digit + "=" + the stored value as four upper-case hex digits.
QByteArray writeCommand(int row, std::int32_t stored);

} // namespace PriceEntry
