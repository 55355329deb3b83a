#include "device/FullRead.h"

#include "device/ValueFormats.h"
#include "device/ValueOrigins.h"
#include "link/DeviceLink.h"
#include "link/ShiftJis.h"

#include <algorithm>

namespace {

// A text can be a value only without a byte below 0x20: a CR inside is
// two replies run together.
bool plainText(const QByteArray &v)
{
    return std::none_of(v.begin(), v.end(), [](char c) { return uchar(c) < 0x20; });
}

// A receipt-line value as the controller keeps one: two magnification
// digits 1-4, then at most 32 bytes of text.
bool usableLine(const TransactResult &reply)
{
    const QByteArray &v = reply.payload;
    return reply.usable() && v.size() >= 2 && v.size() <= 34 && v[0] >= '1' && v[0] <= '4'
        && v[1] >= '1' && v[1] <= '4' && plainText(v);
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

class Sequence {
public:
    Sequence(DeviceLink &link, DeviceData &data, FullRead::Result &result) : link_(link), data_(data), result_(result) {}

    // One read; false when the line stayed silent, which ends the sequence.
    bool transact(const QByteArray &command, int expectedLength, TransactResult *reply)
    {
        *reply = link_.Transact(command, expectedLength);
        if (link_.answered(*reply))
            return true;
        result_.silent = true;
        result_.completed = false;
        return false;
    }

    // A number into its slot: `digits` hexadecimal digits of a payload
    // `length` long. What an unusable payload reads as still fills the slot
    // for the views, but only a usable one marks it read.
    bool readHex(const QByteArray &command, int length, int slot, int digits = -1)
    {
        TransactResult reply;
        if (!transact(command, length, &reply))
            return false;
        const int used = digits < 0 ? length : digits;
        data_[slot] = ValueFormats::hexValue(reply.payload.left(used));
        result_.read[std::size_t(slot)] = ValueFormats::usableHex(reply, length, used).has_value();
        return true;
    }

private:
    DeviceLink &link_;
    DeviceData &data_;
    FullRead::Result &result_;
};

// One receipt line: the text first (its change handler keeps the preview
// in step), then X, then Y. A magnification that is not a digit, or a
// relayout the text started that fails, stops here, leaving whatever was
// already set in place.
bool readReceiptLine(Sequence &seq, char letter, int line, FullReadView &view,
                     ValueOrigins *origins, QString *error)
{
    TransactResult reply;
    if (!seq.transact(QByteArray("QVRO") + letter, 40, &reply))
        return false;
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
    if (usableLine(reply))
        noteLine(origins, line, &value);
    return true;
}

} // namespace

namespace FullRead {

Result run(DeviceLink &link, DeviceData &data, FullReadView &view, ValueOrigins *origins)
{
    Result result;
    Sequence seq(link, data, result);
    using ValueFormats::indexChar;

    if (!seq.readHex("QVQ", 2, Slot::DeviceStatusFlags))
        return result;
    for (int i = 0; i < 16; ++i) {
        if (!seq.readHex(QByteArray("QVRP") + indexChar(i), 4, Slot::ColumnPrice + i))
            return result;
    }
    for (int i = 0; i < 16; ++i) {
        if (!seq.readHex(QByteArray("QVRC") + indexChar(i), 4, Slot::ColumnSalesCount + i))
            return result;
    }
    std::optional<QByteArray> optionRead[6];
    for (int k = 1; k <= 6; ++k) {
        TransactResult reply;
        if (!seq.transact("QVRO" + QByteArray::number(k), 2, &reply))
            return result;
        data.OptionSelection(k - 1) = ValueFormats::hexValue(reply.payload);
        if (ValueFormats::usableHex(reply, 2)) {
            optionRead[k - 1] = reply.payload;
            result.read[std::size_t(Slot::OptionSelection + k - 1)] = true;
        }
    }

    const char letters[3] = {'A', 'B', 'C'};
    for (int line = 0; line < 3; ++line) {
        if (!readReceiptLine(seq, letters[line], line, view, origins, &result.error)) {
            result.completed = false;
            return result;
        }
    }

    TransactResult id;
    if (!seq.transact("QVRON", 10, &id))
        return result;
    view.setIdentificationText(ShiftJis::decode(id.payload));
    if (origins) {
        if (id.usable() && id.payload.size() <= 10 && plainText(id.payload))
            origins->read(ValueOrigins::Identification, id.payload);
        else
            origins->lost(ValueOrigins::Identification);
    }

    if (!seq.readHex("QVREA", 8, Slot::SalesTotal))
        return result;
    data.EarnValueB() = 0;
    if (!seq.readHex("QVREC", 4, Slot::EarnValueC))
        return result;
    // Only the first four of the nineteen characters carry the value kept.
    if (!seq.readHex("QVC", 19, Slot::CoinReplyValue, 4))
        return result;

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
