#include "device/FullRead.h"

#include "device/ValueFormats.h"
#include "device/ValueOrigins.h"
#include "link/DeviceLink.h"
#include "link/ShiftJis.h"

#include <QList>
#include <QPair>
#include <algorithm>

namespace {

// A text can be a value only without a byte below 0x20 (a CR inside is
// two replies run together) and as code page 932 the controller can hold:
// bytes that do not decode, or decode to something that encodes otherwise,
// would go back out as something the controller never had.
bool plainText(const QByteArray &v)
{
    return std::none_of(v.begin(), v.end(), [](char c) { return uchar(c) < 0x20; }) && ShiftJis::exact(v);
}

// A receipt-line value as the controller keeps one: two magnification
// digits 1-4, then at most 32 bytes of text.
bool usableLine(const TransactResult &reply)
{
    const QByteArray &v = reply.payload;
    return reply.usable() && v.size() >= 2 && v.size() <= 34 && v[0] >= '1' && v[0] <= '4'
        && v[1] >= '1' && v[1] <= '4' && plainText(v.mid(2));
}

bool usableIdentification(const TransactResult &reply)
{
    return reply.usable() && reply.payload.size() <= 10 && plainText(reply.payload);
}

class Sequence {
public:
    Sequence(DeviceLink &link, DeviceData &data, FullRead::Result &result, ValueOrigins *origins)
        : link_(link), data_(data), result_(result), origins_(origins) {}

    // One read; false when neither it nor the probe after it got a byte:
    // the line is dead, which ends the sequence. A read the probe shows to
    // be one lost reply comes back empty, its value unread. A controller
    // that answers the probe and nothing else is no better than a dead line:
    // read after read would each cost the time-out and the listening behind
    // it, so that many reads in a row answered only by the probe end the
    // sequence too.
    static constexpr int ProbeOnlyLimit = 3;
    bool transact(const QByteArray &command, int expectedLength, TransactResult *reply)
    {
        *reply = link_.Transact(command, expectedLength);
        if (link_.answered(*reply)) {
            probeOnly_ = 0;
            return true;
        }
        if (!link_.deviceGone() && link_.probe() && ++probeOnly_ < ProbeOnlyLimit)
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

    // How a settings field came into its box, held until its group has
    // passed the checkpoint.
    void note(ValueOrigins::Field f, const std::optional<QByteArray> &raw) { notes_.append({f, raw}); }

    // Runs one group of reads until the line stays quiet behind it with no
    // stray byte, reading it a second time if the first was voided; what a
    // voided group read vouches for nothing. False when the group ended
    // the sequence (a dead line, a conversion error).
    template <class Reads>
    bool group(const QList<int> &slotList, const QList<ValueOrigins::Field> &fields, Reads reads)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            // What an attempt reads counts only once its checkpoint passes:
            // neither a voided attempt nor one the line ended vouches for a
            // value, and a second attempt only for what it read itself.
            notes_.clear();
            for (int slot : slotList)
                result_.read[std::size_t(slot)] = false;
            if (!reads()) {
                for (int slot : slotList)
                    result_.read[std::size_t(slot)] = false;
                return false;
            }
            if (link_.checkpoint()) {
                if (origins_) {
                    for (const auto &n : notes_) {
                        if (n.second)
                            origins_->read(n.first, *n.second);
                        else
                            origins_->lost(n.first);
                    }
                }
                return true;
            }
        }
        for (int slot : slotList)
            result_.read[std::size_t(slot)] = false;
        if (origins_) {
            for (ValueOrigins::Field f : fields)
                origins_->lost(f);
        }
        ++voided_;
        return true;
    }
    // Groups voided twice so far.
    int voided() const { return voided_; }

private:
    DeviceLink &link_;
    DeviceData &data_;
    FullRead::Result &result_;
    ValueOrigins *origins_;
    QList<QPair<ValueOrigins::Field, std::optional<QByteArray>>> notes_;
    int voided_ = 0;
    int probeOnly_ = 0;   // reads in a row that only the probe after them answered
};

void noteLine(Sequence &seq, int line, const QByteArray *raw)
{
    for (int part = 0; part < 3; ++part) {
        const ValueOrigins::Field f = ValueOrigins::line(line, part);
        seq.note(f, raw ? std::optional<QByteArray>(part == 2 ? raw->mid(2) : raw->mid(part, 1)) : std::nullopt);
    }
}

// One receipt line: the text first (its change handler keeps the preview
// in step), then X, then Y. Only a whole normal reply whose magnifications
// are digits is shown as the controller's line (a digit outside 1-4 still
// selects no item). Any other reply (lost, cut, late, garbled, busy, a
// magnification that is no digit) leaves the line unread as an unread price
// is: an empty text, no magnification, the comment grey; the read goes on.
// What came off the wire is never a conversion error; only a relayout the
// text started can fail, on what the operator typed into another box.
bool readReceiptLine(Sequence &seq, char letter, int line, FullReadView &view, QString *error)
{
    TransactResult reply;
    if (!seq.transact(QByteArray("QVRO") + letter, 40, &reply))
        return false;
    const QByteArray &value = reply.payload;
    noteLine(seq, line, nullptr);
    const std::optional<int> x = ValueFormats::magnificationDigit(value, 0);
    const std::optional<int> y = ValueFormats::magnificationDigit(value, 1);
    const bool shown = reply.usable() && x && y;
    if (const std::optional<QString> failed =
            view.setReceiptText(line, shown ? ValueFormats::receiptLineText(value) : QString())) {
        *error = *failed;
        return false;
    }
    view.setMagnificationIndex(line * 2, shown ? ValueFormats::magnificationIndex(*x) : -1);
    view.setMagnificationIndex(line * 2 + 1, shown ? ValueFormats::magnificationIndex(*y) : -1);
    if (!shown)
        return true;
    view.setCommentBlack(line);
    if (usableLine(reply))
        noteLine(seq, line, &value);
    return true;
}

QList<int> slotRange(int first, int count)
{
    QList<int> slotList;
    for (int i = 0; i < count; ++i)
        slotList << first + i;
    return slotList;
}

} // namespace

namespace FullRead {

Result run(DeviceLink &link, DeviceData &data, FullReadView &view, ValueOrigins *origins,
           const ControllerIdentity *expected, std::optional<quint64> since)
{
    Result result;
    Sequence seq(link, data, result, origins);
    using ValueFormats::indexChar;
    using F = ValueOrigins::Field;
    const quint64 generationAtStart = since.value_or(link.generation());
    // Bytes of an earlier exchange still arriving would void the first group.
    link.checkpoint();

    const bool prices = seq.group(QList<int>{Slot::DeviceStatusFlags} + slotRange(Slot::ColumnPrice, 16), {}, [&] {
        if (!seq.readHex("QVQ", 2, Slot::DeviceStatusFlags))
            return false;
        for (int i = 0; i < 16; ++i) {
            if (!seq.readHex(QByteArray("QVRP") + indexChar(i), 4, Slot::ColumnPrice + i))
                return false;
        }
        return true;
    });
    if (!prices)
        return result;
    const bool counts = seq.group(slotRange(Slot::ColumnSalesCount, 16), {}, [&] {
        for (int i = 0; i < 16; ++i) {
            if (!seq.readHex(QByteArray("QVRC") + indexChar(i), 4, Slot::ColumnSalesCount + i))
                return false;
        }
        return true;
    });
    if (!counts)
        return result;
    std::optional<QByteArray> optionRead[6];
    const int voidedBeforeOptions = seq.voided();
    const bool options = seq.group(slotRange(Slot::OptionSelection, 6), {}, [&] {
        for (int k = 1; k <= 6; ++k) {
            TransactResult reply;
            if (!seq.transact("QVRO" + QByteArray::number(k), 2, &reply))
                return false;
            data.OptionSelection(k - 1) = ValueFormats::hexValue(reply.payload);
            const bool usable = ValueFormats::usableHex(reply, 2).has_value();
            optionRead[k - 1] = usable ? std::optional<QByteArray>(reply.payload) : std::nullopt;
            result.read[std::size_t(Slot::OptionSelection + k - 1)] = usable;
        }
        return true;
    });
    if (!options)
        return result;
    if (seq.voided() > voidedBeforeOptions) {
        for (auto &o : optionRead)
            o.reset();
    }

    const QList<F> lineFields{F::Line1X, F::Line1Y, F::Line1Text, F::Line2X, F::Line2Y, F::Line2Text,
                              F::Line3X, F::Line3Y, F::Line3Text, F::Identification};
    const int voidedBeforeLines = seq.voided();
    const bool lines = seq.group({}, lineFields, [&] {
        result.identificationRead = false;
        const char letters[3] = {'A', 'B', 'C'};
        for (int line = 0; line < 3; ++line) {
            if (!readReceiptLine(seq, letters[line], line, view, &result.error)) {
                result.completed = false;
                return false;
            }
        }
        TransactResult id;
        if (!seq.transact("QVRON", 10, &id))
            return false;
        view.setIdentificationText(ShiftJis::decode(id.payload));
        result.identification = id.payload;
        result.identificationRead = usableIdentification(id);
        seq.note(F::Identification,
                 result.identificationRead ? std::optional<QByteArray>(id.payload) : std::nullopt);
        return true;
    });
    if (!lines)
        return result;
    if (seq.voided() > voidedBeforeLines)
        result.identificationRead = false;

    const bool totals = seq.group({Slot::SalesTotal, Slot::EarnValueC, Slot::CoinReplyValue}, {}, [&] {
        if (!seq.readHex("QVREA", 8, Slot::SalesTotal))
            return false;
        data.EarnValueB() = 0;
        if (!seq.readHex("QVREC", 4, Slot::EarnValueC))
            return false;
        // Only the first four of the nineteen characters carry the value kept.
        return seq.readHex("QVC", 19, Slot::CoinReplyValue, 4);
    });
    if (!totals)
        return result;

    if (link.generation() != generationAtStart) {
        // The line had a gap: what answers now must be the controller the
        // read began with, or nothing it read counts.
        TransactResult id;
        TransactResult version;
        if (!seq.transact("QVRON", 10, &id) || !seq.transact("QVV", 100, &version))
            return result;
        const bool confirmed = link.checkpoint() && usableIdentification(id) && version.usable();
        const QByteArray wantedId = expected && expected->identificationRead ? expected->identification
                                                                             : result.identification;
        const bool idKnown = (expected && expected->identificationRead) || result.identificationRead;
        const bool sameId = !idKnown || id.payload == wantedId;
        const bool sameVersion = !(expected && expected->versionRead) || version.payload == expected->version;
        if (confirmed && (!sameId || !sameVersion))
            result.identityChanged = true;
        if (!confirmed || result.identityChanged) {
            result.read.reset();
            result.identificationRead = false;
            for (auto &o : optionRead)
                o.reset();
            if (origins) {
                for (F f : lineFields)
                    origins->lost(f);
            }
        }
    }

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
