#pragma once
// Finding the controller: ports from COM255 down to COM1 with the probe
// "QV"; the first normal answer wins, a busy or error answer ends the search.
#include "link/DeviceLink.h"

#include <QByteArray>
#include <functional>

struct SearchOutcome {
    enum Kind { Found, NotFound, Abnormal, Aborted };
    Kind kind = NotFound;
    int portNumber = 0; // the port found, or the one that answered abnormally
};

constexpr int HighestPort = 255;

// Runs before each port is tried, with the port number; returning false
// abandons the search (the window is closing).
using BeforePort = std::function<bool(int portNumber)>;

// On Found the port stays open in `link`; otherwise it is closed.
SearchOutcome SearchController(DeviceLink &link, const BeforePort &beforePort);

// The version as a number: the digits after "ver" at offsets 3, 5 and 6 of
// the reply (ver1.23 gives 123); a missing digit counts 0.
int FirmwareVersionFromReply(const QByteArray &payload);
