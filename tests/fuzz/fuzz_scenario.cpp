// The emulator's scenario loader. What must hold: a scenario that loads
// never makes the controller send a reply the protocol cannot carry: every
// reply to a read is six status characters, a payload without a CR or any
// other byte below 0x20, and one CR; of the width the command expects where
// it is fixed.
#include "emulator/ControllerModel.h"
#include "emulator/Scenario.h"

#include <cstdio>
#include <cstdlib>

namespace {
void fail(const char *what, const QByteArray &command, const QByteArray &reply)
{
    std::fprintf(stderr, "%s: %s -> %s\n", what, command.constData(), reply.toHex(' ').constData());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Scenario sc;
    QString error;
    if (!Scenario::fromJson(QByteArray(reinterpret_cast<const char *>(data), int(size)), &sc, &error))
        return 0;
    ControllerModel model(sc.state, [] { return qint64(0); });
    QByteArrayList commands = {"QV", "QVV", "QVQ", "QVY", "QVRON", "QVREA", "QVREC", "QVC", "QVROA", "QVROB",
                               "QVROC"};
    for (char c : QByteArray("0123456789ABCDEF")) {
        commands << QByteArray("QVRP") + c << QByteArray("QVRC") + c;
    }
    for (char c : QByteArray("123456"))
        commands << QByteArray("QVRO") + c;
    for (const QByteArray &command : commands) {
        const QByteArray reply = model.handleCommand(command);
        if (reply.size() < 7 || !reply.endsWith('\r'))
            fail("not a frame", command, reply);
        for (int i = 0; i + 1 < reply.size(); ++i) {
            if (uchar(reply[i]) < 0x20)
                fail("a control byte inside the reply", command, reply);
        }
        const int width = model.payloadWidth(command);
        if (reply.startsWith("OK   :") && width >= 0 && reply.size() != width + 7)
            fail("a reply of another width than its command's", command, reply);
    }
    return 0;
}
