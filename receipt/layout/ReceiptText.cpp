#include "receipt/layout/ReceiptText.h"

#include "link/ShiftJis.h"

#include <QChar>

namespace ReceiptText {
namespace {

// Code points as they are stored: one or two UTF-16 units each.
QStringList characters(const QString &text)
{
    QStringList out;
    for (int i = 0; i < text.size();) {
        const int units = (text.at(i).isHighSurrogate() && i + 1 < text.size()
                           && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        out.append(text.mid(i, units));
        i += units;
    }
    return out;
}

int characterCells(const QString &ch)
{
    const int n = ShiftJis::byteLength(ch);
    return n > 0 ? n : 2;
}

bool isBlank(const QString &ch)
{
    return ch == QLatin1String(" ");
}

} // namespace

int cells(const QString &text)
{
    const int n = ShiftJis::byteLength(text);
    if (n >= 0)
        return n;
    int total = 0;
    for (const QString &ch : characters(text))
        total += characterCells(ch);
    return total;
}

int measuredCells(const QString &text)
{
    return text.isEmpty() ? 1 : cells(text);
}

QStringList wrap(const QString &text, int maxCells)
{
    const QStringList chars = characters(text);
    QList<int> width;
    width.reserve(chars.size());
    for (const QString &ch : chars)
        width.append(characterCells(ch));

    QStringList lines;
    const int n = int(chars.size());
    int i = 0;
    while (i < n) {
        int used = 0;
        int j = i;
        int lastBreak = -1; // a line may end before index lastBreak
        while (j < n && used + width[j] <= maxCells) {
            used += width[j];
            ++j;
            if (j < n && (isBlank(chars[j - 1]) || width[j - 1] == 2 || width[j] == 2))
                lastBreak = j;
        }
        if (j == n) {
            lines.append(chars.mid(i).join(QString()));
            break;
        }
        int cut;
        if (j == i)
            cut = i + 1; // one character wider than the line
        else if (isBlank(chars[j]))
            cut = j;
        else if (lastBreak > i)
            cut = lastBreak;
        else
            cut = j;
        // Blanks at a break hang: they end the line and start no new one.
        int end = cut;
        while (end > i + 1 && isBlank(chars[end - 1]))
            --end;
        lines.append(chars.mid(i, end - i).join(QString()));
        i = cut;
        while (i < n && isBlank(chars[i]))
            ++i;
    }
    if (lines.isEmpty())
        lines.append(QString());
    return lines;
}

std::optional<int> parseMagnification(const QString &text, QString *errorMessage)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        return value;
    if (errorMessage)
        *errorMessage = conversionError(text);
    return std::nullopt;
}

QString conversionError(const QString &text)
{
    return QStringLiteral("'%1' は有効な整数値ではありません").arg(text);
}

int fontScale(int magnification)
{
    const qint64 m = magnification < 0 ? -qint64(magnification) : qint64(magnification);
    if (m == 0)
        return 1;
    return int(m > MaxFontScale ? MaxFontScale : m);
}

} // namespace ReceiptText
