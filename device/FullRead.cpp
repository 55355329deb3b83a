#include "device/FullRead.h"

#include "device/ValueFormats.h"
#include "device/ValueOrigins.h"
#include "link/DeviceLink.h"
#include "link/ShiftJis.h"

#include <algorithm>

using ValueFormats::hexValue;
using ValueFormats::indexChar;

namespace {

std::int32_t readHex(DeviceLink &link, const QByteArray &command, int expectedLength)
{
    return hexValue(link.Transact(command, expectedLength).payload);
}

// Counted as read only when the reply came whole and its payload can be a
// value: no byte below 0x20 (a CR inside is two replies run together).
bool usable(const TransactResult &reply)
{
    return reply.status != StatusNoReply && reply.complete
        && std::none_of(reply.payload.begin(), reply.payload.end(), [](char c) { return uchar(c) < 0x20; });
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Notes how one receipt line came into its boxes.
void noteLine(ValueOrigins *origins, int line, const QByteArray *raw)
{
    if (!origins)
        return;
    for (int part = 0; part < 3; ++part) {
        const ValueOrigins::Field f = ValueOrigins::line(line, part);
        if (raw)
            origins->read(f, part == 2 ? raw->mid(2) : raw->mid(part, 1));
        else
            origins->lost(f);
    }
}

// One receipt line: the text first (its change handler keeps the preview
// in step), then X, then Y. A magnification that is not a digit, or a
// relayout the text started that fails, stops here, leaving whatever was
// already set in place.
bool readReceiptLine(DeviceLink &link, char letter, int line, FullReadView &view,
                     ValueOrigins *origins, QString *error)
{
    const TransactResult reply = link.Transact(QByteArray("QVRO") + letter, 40);
    const QByteArray &value = reply.payload;
    noteLine(origins, line, nullptr);
    if (const std::optional<QString> failed =
            view.setReceiptText(line, ValueFormats::receiptLineText(value))) {
        *error = *failed;
        return false;
    }
    for (int axis = 0; axis < 2; ++axis) {
        int digit = 0;
        if (!ValueFormats::magnificationDigit(value, axis, &digit, error))
            return false;
        view.setMagnificationIndex(line * 2 + axis, ValueFormats::magnificationIndex(digit));
    }
    view.setCommentBlack(line);
    if (usable(reply))
        noteLine(origins, line, &value);
    return true;
}

} // namespace

namespace FullRead {

Result run(DeviceLink &link, DeviceData &data, FullReadView &view, ValueOrigins *origins)
{
    Result result;

    data.DeviceStatusFlags() = readHex(link, "QVQ", 2);
    for (int i = 0; i < 16; ++i)
        data.ColumnPrice(i) = readHex(link, QByteArray("QVRP") + indexChar(i), 4);
    for (int i = 0; i < 16; ++i)
        data.ColumnSalesCount(i) = readHex(link, QByteArray("QVRC") + indexChar(i), 4);
    std::optional<QByteArray> optionRead[6];
    for (int k = 1; k <= 6; ++k) {
        const TransactResult reply = link.Transact("QVRO" + QByteArray::number(k), 2);
        data.OptionSelection(k - 1) = hexValue(reply.payload);
        if (usable(reply) && reply.payload.size() == 2 && isHexDigit(reply.payload[0])
            && isHexDigit(reply.payload[1]))
            optionRead[k - 1] = reply.payload;
    }

    const char letters[3] = {'A', 'B', 'C'};
    for (int line = 0; line < 3; ++line) {
        if (!readReceiptLine(link, letters[line], line, view, origins, &result.error)) {
            result.completed = false;
            return result;
        }
    }

    const TransactResult id = link.Transact("QVRON", 10);
    view.setIdentificationText(ShiftJis::decode(id.payload));
    if (origins) {
        if (usable(id))
            origins->read(ValueOrigins::Identification, id.payload);
        else
            origins->lost(ValueOrigins::Identification);
    }

    data.SalesTotal() = readHex(link, "QVREA", 8);
    data.EarnValueB() = 0;
    data.EarnValueC() = readHex(link, "QVREC", 4);
    // Only the first four of the nineteen characters carry the value kept.
    data.CoinReplyValue() = hexValue(link.Transact("QVC", 19).payload.left(4));

    if (origins) {
        for (int k = 0; k < 6; ++k) {
            if (optionRead[k])
                origins->read(ValueOrigins::option(k), *optionRead[k]);
            else
                origins->lost(ValueOrigins::option(k));
        }
    }
    return result;
}

} // namespace FullRead
