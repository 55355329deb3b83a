#pragma once
// Text measures of the receipt: the printer lays text out in cells of the
// reference font, one cell for each code page 932 byte, so a half-width
// character takes one cell and a full-width character two.
#include <QString>
#include <QStringList>

#include <optional>

namespace ReceiptText {

// Cells the text takes. A character code page 932 cannot hold (it can only
// come from a damaged read) is counted as one full-width character.
int cells(const QString &text);

// Cells a measured text takes: an empty text measures as one blank.
int measuredCells(const QString &text);

// Breaks the text into lines of at most maxCells cells: after a blank or next
// to a full-width character where possible, otherwise between any two
// characters. A line always takes at least one character. An empty text is
// one empty line.
QStringList wrap(const QString &text, int maxCells);

// The magnification boxes hold decimal integers; anything else is a
// conversion error with the message the operator sees.
std::optional<int> parseMagnification(const QString &text, QString *errorMessage = nullptr);
// The message of that conversion error.
QString conversionError(const QString &text);

// What a magnification does to the font: a sign is ignored, 0 stands for the
// reference size, and the scale is bounded by the widest and narrowest the
// font can be stretched (1/40 to 40 times), so no size overflows either.
inline constexpr int MaxFontScale = 40;
int fontScale(int magnification);

} // namespace ReceiptText
