#include "device/FullRead.h"

#include "device/ValueFormats.h"
#include "device/ValueOrigins.h"
#include "link/DeviceLink.h"
#include "link/ShiftJis.h"

using ValueFormats::HexValue;
using ValueFormats::IndexChar;

namespace {

std::int32_t ReadHex(DeviceLink &link, const QByteArray &command, int expectedLength)
{
    return HexValue(link.Transact(command, expectedLength).payload);
}

bool Usable(const TransactResult &reply)
{
    return reply.status != StatusNoReply;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Notes how one receipt line came into its boxes.
void NoteLine(ValueOrigins *origins, int line, const QByteArray *raw)
{
    if (!origins)
        return;
    for (int part = 0; part < 3; ++part) {
        const ValueOrigins::Field f = ValueOrigins::Line(line, part);
        if (raw)
            origins->Read(f, part == 2 ? raw->mid(2) : raw->mid(part, 1));
        else
            origins->Lost(f);
    }
}

// One receipt line: the text first (its change handler keeps the preview
// in step), then X, then Y. A magnification that is not a digit, or a
// relayout the text started that fails, stops here, leaving whatever was
// already set in place.
bool ReadReceiptLine(DeviceLink &link, char letter, int line, FullReadView &view,
                     ValueOrigins *origins, QString *error)
{
    const TransactResult reply = link.Transact(QByteArray("QVRO") + letter, 40);
    const QByteArray &value = reply.payload;
    NoteLine(origins, line, nullptr);
    if (const std::optional<QString> failed =
            view.SetReceiptText(line, ValueFormats::ReceiptLineText(value))) {
        *error = *failed;
        return false;
    }
    for (int axis = 0; axis < 2; ++axis) {
        int digit = 0;
        if (!ValueFormats::MagnificationDigit(value, axis, &digit, error))
            return false;
        view.SetMagnificationIndex(line * 2 + axis, ValueFormats::MagnificationIndex(digit));
    }
    view.SetCommentBlack(line);
    if (Usable(reply))
        NoteLine(origins, line, &value);
    return true;
}

} // namespace

FullReadResult FullRead(DeviceLink &link, DeviceData &data, FullReadView &view,
                        ValueOrigins *origins)
{
    FullReadResult result;

    data.DeviceStatusFlags() = ReadHex(link, "QVQ", 2);
    for (int i = 0; i < 16; ++i)
        data.ColumnPrice(i) = ReadHex(link, QByteArray("QVRP") + IndexChar(i), 4);
    for (int i = 0; i < 16; ++i)
        data.ColumnSalesCount(i) = ReadHex(link, QByteArray("QVRC") + IndexChar(i), 4);
    std::optional<QByteArray> optionRead[6];
    for (int k = 1; k <= 6; ++k) {
        const TransactResult reply = link.Transact("QVRO" + QByteArray::number(k), 2);
        data.OptionSelection(k - 1) = HexValue(reply.payload);
        if (Usable(reply) && reply.payload.size() == 2 && IsHexDigit(reply.payload[0])
            && IsHexDigit(reply.payload[1]))
            optionRead[k - 1] = reply.payload;
    }

    const char letters[3] = {'A', 'B', 'C'};
    for (int line = 0; line < 3; ++line) {
        if (!ReadReceiptLine(link, letters[line], line, view, origins, &result.error)) {
            result.completed = false;
            return result;
        }
    }

    const TransactResult id = link.Transact("QVRON", 10);
    view.SetIdentificationText(ShiftJis::decode(id.payload));
    if (origins) {
        if (Usable(id))
            origins->Read(ValueOrigins::Identification, id.payload);
        else
            origins->Lost(ValueOrigins::Identification);
    }

    data.SalesTotal() = ReadHex(link, "QVREA", 8);
    data.EarnValueB() = 0;
    data.EarnValueC() = ReadHex(link, "QVREC", 4);
    // Only the first four of the nineteen characters carry the value kept.
    data.CoinReplyValue() = HexValue(link.Transact("QVC", 19).payload.left(4));

    if (origins) {
        for (int k = 0; k < 6; ++k) {
            if (optionRead[k])
                origins->Read(ValueOrigins::Option(k), *optionRead[k]);
            else
                origins->Lost(ValueOrigins::Option(k));
        }
    }
    return result;
}
