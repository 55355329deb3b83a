#include "device/FullRead.h"

#include "device/ValueFormats.h"
#include "link/DeviceLink.h"
#include "link/ShiftJis.h"

using ValueFormats::HexValue;
using ValueFormats::IndexChar;

namespace {

std::int32_t ReadHex(DeviceLink &link, const QByteArray &command, int expectedLength)
{
    return HexValue(link.Transact(command, expectedLength).payload);
}

// One receipt line: the text first (its change handler keeps the preview
// label in step), then X, then Y. A magnification that is not a digit stops
// here, leaving whatever was already set in place.
bool ReadReceiptLine(DeviceLink &link, char letter, int line, FullReadView &view, QString *error)
{
    const QByteArray value = link.Transact(QByteArray("QVRO") + letter, 40).payload;
    view.SetReceiptText(line, ValueFormats::ReceiptLineText(value));
    for (int axis = 0; axis < 2; ++axis) {
        int digit = 0;
        if (!ValueFormats::MagnificationDigit(value, axis, &digit, error))
            return false;
        view.SetMagnificationIndex(line * 2 + axis, ValueFormats::MagnificationIndex(digit));
    }
    view.SetCommentBlack(line);
    return true;
}

} // namespace

FullReadResult FullRead(DeviceLink &link, DeviceData &data, FullReadView &view)
{
    FullReadResult result;

    data.DeviceStatusFlags() = ReadHex(link, "QVQ", 2);
    for (int i = 0; i < 16; ++i)
        data.ColumnPrice(i) = ReadHex(link, QByteArray("QVRP") + IndexChar(i), 4);
    for (int i = 0; i < 16; ++i)
        data.ColumnSalesCount(i) = ReadHex(link, QByteArray("QVRC") + IndexChar(i), 4);
    for (int k = 1; k <= 6; ++k)
        data.OptionSelection(k - 1) = ReadHex(link, "QVRO" + QByteArray::number(k), 2);

    const char letters[3] = {'A', 'B', 'C'};
    for (int line = 0; line < 3; ++line) {
        if (!ReadReceiptLine(link, letters[line], line, view, &result.error)) {
            result.completed = false;
            return result;
        }
    }

    view.SetIdentificationText(ShiftJis::decode(link.Transact("QVRON", 10).payload));

    data.SalesTotal() = ReadHex(link, "QVREA", 8);
    data.EarnValueB() = 0;
    data.EarnValueC() = ReadHex(link, "QVREC", 4);
    // Only the first four of the nineteen characters carry the value kept.
    data.CoinReplyValue() = HexValue(link.Transact("QVC", 19).payload.left(4));
    return result;
}
