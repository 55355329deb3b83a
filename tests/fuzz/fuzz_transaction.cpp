// The link's transaction over a virtual line whose controller answers each
// command in a fuzzed way (clean, silent, cut, garbled, LF or CR LF at the
// end, sent twice, a copy an adapter held back, over-long, late, followed by
// noise), its bytes arriving at fuzzed gaps. What must hold, whatever the
// line does within its bounds:
// - every usable reply read since a checkpoint that finds the line clean is
//   made only of the bytes the controller sent for that command, and equals
//   the reply it sent (a copy held back may be taken for the next command's
//   reply, but then the checkpoint voids it);
// - two clean answers in a row: the second is usable (the link is back in
//   step one transaction after any fault).
// Bounds of the line (a controller on a 9600-baud line behind a USB adapter):
// bytes of what is being sent follow each other within 16 ms, the most an
// adapter holds them back; a copy follows its reply within that too, and
// until the next checkpoint every command then gets a reply of its own in
// time, with no noise holding the replies back (a copy shifts each later
// reply onto the next command; a command that never hears back, or only
// after the checkpoint, would end the shift without leaving a byte to tell
// it by); a
// reply starts at most 1.25 s
// after its command (the read's time-out and the late reply the link
// listens for), and not while noise is still arriving (it would end the read
// early); noise holds no CR or colon and lasts under 100 ms.
#include "link/DeviceLink.h"
#include "tests/support/VirtualLine.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdlib>
#include <cstdio>
#include <vector>

namespace {

enum class Answer { Clean, Silent, Cut, Garbled, LineFeed, CrLf, Twice, Copy, Overlong, Late, Noise, Count };

struct Planned {
    Answer answer = Answer::Clean;
    QByteArray frame;   // the clean reply for this command
};

void fail(const char *what, int i)
{
    std::fprintf(stderr, "transaction %d: %s\n", i, what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    std::vector<Planned> plan;
    std::vector<qint64> writtenUs;
    int current = -1;
    qint64 lastNoiseUs = -1;

    auto controller = [&](VirtualLine &line, const QByteArray &, qint64 atUs) {
        ++current;
        if (current >= int(plan.size()))
            return;
        const Planned &p = plan[std::size_t(current)];
        const qint64 jitter = in.inRange<int>(0, 16000);
        auto gap = [&in, jitter](int) -> qint64 { return jitter ? in.inRange<qint64>(0, jitter) : 0; };
        const qint64 startUs = atUs + in.inRange<int>(0, 3000);
        switch (p.answer) {
        case Answer::Clean:
            line.send(p.frame, startUs, current, gap);
            break;
        case Answer::Silent:
            break;
        case Answer::Cut: {
            // A cut right behind a CR inside the payload is a whole shorter
            // frame to any reader: the cut keeps no CR last.
            QByteArray kept = p.frame.left(in.inRange<int>(0, int(p.frame.size()) - 1));
            while (kept.endsWith('\r'))
                kept.chop(1);
            line.send(kept, startUs, current, gap);
            break;
        }
        case Answer::Garbled:
            line.send("NG   :" + p.frame.mid(6), startUs, current, gap);
            break;
        case Answer::LineFeed:
            line.send(p.frame.left(p.frame.size() - 1) + '\n', startUs, current, gap);
            break;
        case Answer::CrLf:
            line.send(p.frame + '\n', startUs, current, gap);
            break;
        case Answer::Twice:
            line.send(p.frame + p.frame, startUs, current, gap);
            lastNoiseUs = line.queuedUntilUs();
            break;
        case Answer::Copy:
            line.send(p.frame, startUs, current, gap);
            // Its first byte within the adapter's 16 ms of the reply's last.
            line.send(p.frame, line.queuedUntilUs() + in.inRange<int>(0, 14000), current,
                      [&gap](int i) { return i == 0 ? 0 : gap(i); });
            // Like noise, a copy still arriving may spoil the next commands.
            lastNoiseUs = line.queuedUntilUs();
            break;
        case Answer::Overlong:
            line.send(p.frame.left(p.frame.size() - 1) + in.someBytes(8) + '\r', startUs, current,
                      gap);
            break;
        case Answer::Late:
            // Noise still arriving would end the read before the late reply
            // comes: no link can tell whose that reply is then.
            if (lastNoiseUs >= atUs)
                break;
            line.send(p.frame, atUs + in.inRange<int>(700, 1250) * 1000, current, gap);
            break;
        case Answer::Noise: {
            line.send(p.frame, startUs, current, gap);
            QByteArray noise = in.bytes(12);
            noise.replace('\r', '\x15').replace(':', '\x15');
            if (!noise.isEmpty()) {
                line.send(noise, line.queuedUntilUs() + in.inRange<int>(0, 300) * 1000, -1, gap);
                lastNoiseUs = line.queuedUntilUs();
            }
            break;
        }
        case Answer::Count:
            break;
        }
    };

    auto port = std::make_unique<VirtualLine>(controller);
    VirtualLine *line = port.get();
    DeviceLink link(std::move(port));

    // What a usable reply got wrong since the last checkpoint, if anything.
    const char *wrongSinceCheckpoint = nullptr;
    bool copySinceCheckpoint = false;
    for (int i = 0; i < 24 && in.remaining() > 0; ++i) {
        Planned p;
        p.answer = Answer(in.inRange<int>(0, int(Answer::Count) - 1));
        if (copySinceCheckpoint
            && (p.answer == Answer::Silent || p.answer == Answer::Cut || p.answer == Answer::Late
                || p.answer == Answer::Noise))
            p.answer = Answer::Clean;
        copySinceCheckpoint = copySinceCheckpoint || p.answer == Answer::Copy || p.answer == Answer::Twice;
        const int expected = in.inRange<int>(0, 12);
        QByteArray payload = in.bytes(std::size_t(expected));
        // Any bytes but the zero byte, which ends a reply's text.
        payload = payload.leftJustified(expected, '0', true).replace('\0', '0');
        p.frame = "OK   :" + payload + '\r';
        plan.push_back(p);
        writtenUs.push_back(line->nowUs());

        const TransactResult r = link.Transact("QVT" + QByteArray::number(i), expected);
        if (current != i)
            fail("the controller did not see the command", i);
        if (r.usable()) {
            for (const int tag : line->lastReadTags()) {
                if (tag != i)
                    wrongSinceCheckpoint = "a usable reply holds bytes sent for another command or noise";
            }
            if (r.payload != payload)
                wrongSinceCheckpoint = "a usable reply differs from what the controller sent";
        }
        // Noise still arriving after the earlier command was sent may spoil
        // this one; a copy shifts the replies until a checkpoint drains it.
        const bool cleanPair = i > 0 && p.answer == Answer::Clean && plan[std::size_t(i - 1)].answer == Answer::Clean
            && lastNoiseUs < writtenUs[std::size_t(i - 1)] && !copySinceCheckpoint;
        if (cleanPair && !r.usable())
            fail("a clean answer after a clean answer is not usable", i);
        if (in.inRange<int>(0, 3) == 0) {
            if (link.checkpoint() && wrongSinceCheckpoint)
                fail(wrongSinceCheckpoint, i);
            wrongSinceCheckpoint = nullptr;
            copySinceCheckpoint = false;
        }
    }
    if (link.checkpoint() && wrongSinceCheckpoint)
        fail(wrongSinceCheckpoint, -1);
    return 0;
}
