// The full read against a controller whose state and whose answers are
// fuzzed, on a line with time: each reply as the controller means it, or
// silent, cut, garbled, busy or refused with a payload of its own, ended by
// LF or CR LF, sent twice, followed by a copy an adapter held back, over-long,
// late, preceded by noise that fills the read (its reply then late), or
// followed by noise; its bytes at fuzzed gaps; or the controller falls
// silent for good, the probe unanswered too.
// What must hold: every setting the read counts as read (options, receipt
// lines, identification) and every number slot it marks as read equals
// what the controller holds.
// Bounds of the line, those of the link's own fuzz target: a copy follows
// its reply within the adapter's 16 ms, and until the group's checkpoint
// every later command gets a reply of its own in time with no noise, unless
// a reply cut short has left bytes a read takes (a shift that ends without
// a byte to tell it by cannot be told, see DeviceLink::checkpoint); a late
// reply starts at most 1.25 s after its command and not while noise is
// still arriving; noise holds no CR or colon.
#include "device/DeviceData.h"
#include "device/FullRead.h"
#include "device/FullReadView.h"
#include "device/ValueOrigins.h"
#include "emulator/ControllerModel.h"
#include "link/DeviceLink.h"
#include "tests/support/VirtualLine.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

namespace {

enum class Answer { Clean, Silent, Cut, Garbled, NoiseFirst, Busy, Refused, LineFeed, CrLf, Twice, Copy, Overlong,
                    Late, NoiseAfter, Dead, Count };

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

// Noise: any bytes but a CR or a colon, which could make it a frame.
QByteArray noise(FuzzInput &in, int min, int max)
{
    QByteArray n = in.bytes(std::size_t(in.inRange<int>(min, max)));
    return n.replace('\r', '\x15').replace(':', '\x15');
}

// The first read of each group of the full read (a group read again starts
// with it again), and the question after a gap.
bool startsGroup(const QByteArray &command, const QByteArray &lastRead)
{
    return command == "QVQ" || command == "QVRC0" || command == "QVRO1" || command == "QVROA" || command == "QVREA"
        || (command == "QVRON" && lastRead != "QVROC");
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

    bool hazard = false;        // a copy since the group began: the rest of it answers in time
    bool told = false;          // a reply cut short since the copy: its bytes void the group
    qint64 lastNoiseUs = -1;    // when the last noise or copy stops arriving
    QByteArray lastRead;
    bool dead = false;
    auto controller = [&](VirtualLine &line, const QByteArray &sent, qint64 atUs) {
        if (dead)
            return;
        const QByteArray command = sent.left(sent.size() - 1);
        const QByteArray frame = model.handleCommand(command);
        // The probe and the version question are answered as meant: what is
        // fuzzed is the read.
        if (command == "QV" || command == "QVV" || in.remaining() == 0) {
            line.send(frame, atUs + 1000, 0);
            return;
        }
        if (startsGroup(command, lastRead))
            hazard = told = false;
        lastRead = command;
        Answer answer = Answer(in.inRange<int>(0, 15) % int(Answer::Count));
        if (hazard
            && (answer == Answer::NoiseFirst || answer == Answer::NoiseAfter
                || (!told && (answer == Answer::Silent || answer == Answer::Late || answer == Answer::Dead))))
            answer = Answer::Clean;
        const qint64 startUs = atUs + in.inRange<int>(0, 3000);
        const qint64 jitter = in.inRange<int>(0, 16000);
        auto gap = [&in, jitter](int) -> qint64 { return jitter ? in.inRange<qint64>(0, jitter) : 0; };
        const QByteArray payload = frame.mid(6, frame.size() - 7);
        // A refused or busy reply carries a payload of its own, not the value.
        const auto otherPayload = [&in, &payload] {
            QByteArray p = in.bytes(std::size_t(payload.size()));
            for (char &c : p)
                c = "0123456789ABCDEF"[uchar(c) % 16];
            return p.leftJustified(payload.size(), '7');
        };
        switch (answer) {
        case Answer::Clean:
        case Answer::Count:
            line.send(frame, startUs, 0, gap);
            break;
        case Answer::Silent:
            break;
        case Answer::Dead:
            dead = true;
            break;
        case Answer::Cut: {
            // After a copy at least one byte comes, or it would be a silence.
            QByteArray kept = frame.left(in.inRange<int>(hazard ? 1 : 0, int(frame.size()) - 1));
            while (kept.endsWith('\r'))
                kept.chop(1);
            line.send(kept, startUs, 0, gap);
            told = told || hazard;
            break;
        }
        case Answer::Garbled:
            line.send("NG   :" + frame.mid(6), startUs, 0, gap);
            break;
        case Answer::NoiseFirst:
            // Noise still arriving would end the read before the late reply comes.
            if (lastNoiseUs >= atUs)
                break;
            line.send(noise(in, 1, 48), startUs, -1, gap);
            line.send(frame, line.queuedUntilUs() + in.inRange<int>(700, 1250) * 1000, 0, gap);
            break;
        case Answer::Busy:
            line.send("RBUSY:" + otherPayload() + '\r', startUs, 0, gap);
            break;
        case Answer::Refused: {
            const QByteArray status = "ERR" + QByteArray::number(in.inRange<int>(10, 99)) + ':';
            line.send(status + otherPayload() + '\r', startUs, 0, gap);
            break;
        }
        case Answer::LineFeed:
            line.send(frame.left(frame.size() - 1) + '\n', startUs, 0, gap);
            break;
        case Answer::CrLf:
            line.send(frame + '\n', startUs, 0, gap);
            break;
        case Answer::Twice:
            line.send(frame + frame, startUs, 0, gap);
            lastNoiseUs = line.queuedUntilUs();
            hazard = true;
            break;
        case Answer::Copy:
            line.send(frame, startUs, 0, gap);
            // Its first byte within the adapter's 16 ms of the reply's last.
            line.send(frame, line.queuedUntilUs() + in.inRange<int>(0, 14000), 0,
                      [&gap](int i) { return i == 0 ? 0 : gap(i); });
            lastNoiseUs = line.queuedUntilUs();
            hazard = true;
            break;
        case Answer::Overlong:
            line.send(frame.left(frame.size() - 1) + in.someBytes(48) + '\r', startUs, 0, gap);
            break;
        case Answer::Late:
            if (lastNoiseUs >= atUs)
                break;
            line.send(frame, atUs + in.inRange<int>(700, 1250) * 1000, 0, gap);
            break;
        case Answer::NoiseAfter: {
            line.send(frame, startUs, 0, gap);
            const QByteArray n = noise(in, 0, 12);
            if (!n.isEmpty()) {
                line.send(n, line.queuedUntilUs() + in.inRange<int>(0, 300) * 1000, -1, gap);
                lastNoiseUs = line.queuedUntilUs();
            }
            break;
        }
        }
    };

    DeviceLink link(std::make_unique<VirtualLine>(controller));
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
    if (result.identificationRead && result.identification != clean("QVRON"))
        fail("the identification counted as read differs from the controller's", ValueOrigins::Identification);
    return 0;
}
