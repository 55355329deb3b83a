#include "link/ControllerSearch.h"

SearchOutcome SearchController(DeviceLink &link, const BeforePort &beforePort)
{
    SearchOutcome outcome;
    for (int n = HighestPort; n >= 1; --n) {
        if (beforePort && !beforePort(n)) {
            link.ClosePort();
            outcome.kind = SearchOutcome::Aborted;
            return outcome;
        }
        link.OpenPort(n);
        if (!link.PortHandleValid())
            continue;
        const TransactResult probe = link.Transact("QV", 0);
        if (probe.status == StatusOk) {
            outcome.kind = SearchOutcome::Found;
            outcome.portNumber = n;
            return outcome;
        }
        link.ClosePort();
        if (probe.status != StatusNoReply) {
            outcome.kind = SearchOutcome::Abnormal;
            outcome.portNumber = n;
            return outcome;
        }
    }
    outcome.kind = SearchOutcome::NotFound;
    return outcome;
}

int FirmwareVersionFromReply(const QByteArray &payload)
{
    // p is 1-based, 0 when "ver" is absent; the digits sit at p+3, p+5, p+6.
    const int p = payload.indexOf("ver") + 1;
    auto digit = [&](int position) {
        const int i = position - 1;
        if (i < 0 || i >= payload.size())
            return 0;
        const char c = payload.at(i);
        return (c >= '0' && c <= '9') ? c - '0' : 0;
    };
    return digit(p + 3) * 100 + digit(p + 5) * 10 + digit(p + 6);
}
