#pragma once
// Finding the controller: ports from COM255 down to COM1 with the probe
// "QV"; the first normal answer wins, a busy or error answer ends the search.
#include "link/DeviceLink.h"
#include "link/PortNamespace.h"

#include <QByteArray>
#include <QList>
#include <functional>

struct SearchOutcome {
    enum Kind { Found, NotFound, Abnormal, Aborted };
    Kind kind = NotFound;
    int portNumber = 0; // the port found, or the one that answered abnormally
    // Ports that exist but would not open, highest first: what the operator
    // needs to hear when nothing was found.
    QList<UnopenedPort> unopened;
    // The port directory as it stood when the search began.
    PortNamespace::DirectoryCheck directory;
};

constexpr int HighestPort = 255;

// Runs before each port is tried, with the port number; returning false
// abandons the search (the window is closing).
using BeforePort = std::function<bool(int portNumber)>;

// On Found the port stays open in `link`; otherwise it is closed. A port
// directory that does not count is named on standard error. The search
// begins at `from` and goes down: a caller that found nothing to read on one
// port goes on below it.
SearchOutcome searchController(DeviceLink &link, const BeforePort &beforePort, int from = HighestPort);

// The not-found message: "QUVOが見つかりません", then one line for each port
// that would not open (at most MaxUnopenedLines, then how many more), the
// remedy for a denied access, and why the port directory was ignored.
// Exactly the plain text when there is nothing to add.
QString notFoundText(const SearchOutcome &outcome);
constexpr int MaxUnopenedLines = 8;

// The version as a number: the digits after "ver" at offsets 3, 5 and 6 of
// the reply (ver1.23 gives 123); a missing digit counts 0.
int firmwareVersionFromReply(const QByteArray &payload);
