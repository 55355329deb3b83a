// The full read against a controller whose state and whose answers are
// fuzzed: each reply as the controller means it, or busy, an error, cut
// short, garbled, ended by LF or CR LF, sent twice, with a tail beyond the
// read, or silent.
// What must hold: every setting the read counts as read (options, receipt
// lines, identification) and every number slot it marks as read equals
// what the controller holds, as its own clean reply to that read carries it.
#include "device/DeviceData.h"
#include "device/FullRead.h"
#include "device/FullReadView.h"
#include "device/ValueOrigins.h"
#include "emulator/ControllerModel.h"
#include "link/DeviceLink.h"
#include "tests/support/FakePort.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

namespace {
void fail(const char *what, int field)
{
    std::fprintf(stderr, "%s (field %d)\n", what, field);
    std::abort();
}

// Printable code page 932 text of up to `max` bytes, single-byte characters.
QByteArray printable(FuzzInput &in, int max)
{
    QByteArray t = in.someBytes(std::size_t(max));
    for (char &c : t)
        c = char(0x20 + uchar(c) % 0x5F);
    return t;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    ControllerState st;
    for (int k = 0; k < Controller::Options; ++k)
        st.settings.options[std::size_t(k)] = in.inRange<int>(0, ControllerModel::OptionItems[k] - 1);
    for (auto &line : st.settings.receipt) {
        line.x = in.inRange<int>(1, 4);
        line.y = in.inRange<int>(1, 4);
        line.text = printable(in, Controller::ReceiptTextMax);
    }
    st.settings.idText = printable(in, Controller::IdTextMax);
    for (int &p : st.prices)
        p = in.inRange<int>(0, Controller::MaxPrice);
    for (auto &c : st.counts)
        c = in.inRange<int>(0, 65535);
    st.salesTotal = in.inRange<std::uint32_t>(0, 0xFFFFFFFFu);
    ControllerModel model(st, [] { return qint64(0); });

    auto clean = [&model](const QByteArray &command) {
        const QByteArray r = model.handleCommand(command);
        return r.mid(6, r.size() - 7);
    };
    auto state = std::make_shared<FakePort::State>();
    state->open = true;
    state->fallback = [&](const QByteArray &command) -> QByteArray {
        const QByteArray r = model.handleCommand(command);
        if (in.remaining() == 0)
            return r;
        switch (in.inRange<int>(0, 15)) {
        case 0: return "RBUSY:" + r.mid(6);
        case 1: return "ERR" + QByteArray::number(in.inRange<int>(10, 99)) + ':' + r.mid(6);
        case 2: return r.left(in.inRange<int>(0, int(r.size()) - 1));
        case 3: return "NG   :" + r.mid(6);
        case 4: return r.left(r.size() - 1) + '\n';
        case 5: return r + '\n';
        case 6: return r + r;
        case 7: return r.left(r.size() - 1) + QByteArray(48, '7') + '\r';   // beyond any read's length
        case 8: return QByteArray();
        default: return r;
        }
    };
    DeviceLink link(std::make_unique<FakePort>(state));
    DeviceData table;
    NoFullReadView view;
    ValueOrigins origins;
    const FullRead::Result result = FullRead::run(link, table, view, &origins);

    const char *index = "0123456789ABCDEF";
    const auto number = [&](const QByteArray &command, int digits) {
        return std::int32_t(clean(command).left(digits).toUInt(nullptr, 16));
    };
    QList<QPair<int, std::int32_t>> numbers{{Slot::DeviceStatusFlags, number("QVQ", 2)},
                                          {Slot::SalesTotal, number("QVREA", 8)},
                                          {Slot::EarnValueC, number("QVREC", 4)},
                                          {Slot::CoinReplyValue, number("QVC", 4)}};
    for (int i = 0; i < 16; ++i) {
        numbers.append({Slot::ColumnPrice + i, number(QByteArray("QVRP") + index[i], 4)});
        numbers.append({Slot::ColumnSalesCount + i, number(QByteArray("QVRC") + index[i], 4)});
    }
    for (int k = 0; k < Controller::Options; ++k)
        numbers.append({Slot::OptionSelection + k, number("QVRO" + QByteArray::number(k + 1), 2)});
    for (const auto &n : numbers) {
        if (result.read[std::size_t(n.first)] && table[n.first] != n.second)
            fail("a number counted as read differs from the controller's", n.first);
    }

    for (int k = 0; k < Controller::Options; ++k) {
        const auto raw = origins.asRead(ValueOrigins::option(k));
        if (raw && *raw != clean("QVRO" + QByteArray::number(k + 1)))
            fail("an option counted as read differs from the controller's", k);
    }
    const char letters[3] = {'A', 'B', 'C'};
    for (int line = 0; line < 3; ++line) {
        const QByteArray held = clean(QByteArray("QVRO") + letters[line]);
        const QByteArray parts[3] = {held.mid(0, 1), held.mid(1, 1), held.mid(2)};
        for (int part = 0; part < 3; ++part) {
            const auto raw = origins.asRead(ValueOrigins::line(line, part));
            if (raw && *raw != parts[part])
                fail("a receipt line counted as read differs from the controller's", line * 3 + part);
        }
    }
    const auto id = origins.asRead(ValueOrigins::Identification);
    if (id && *id != clean("QVRON"))
        fail("the identification counted as read differs from the controller's", ValueOrigins::Identification);
    return 0;
}
