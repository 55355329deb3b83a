#pragma once
// The fixed sequence of 46 reads that refreshes the device data table and
// the receipt settings after connecting and after every write that keeps
// the connection. Filling the grids from the table is the window's part.
#include "device/DeviceData.h"
#include "device/FullReadView.h"

#include <QString>
#include <bitset>

class DeviceLink;
class ValueOrigins;

namespace FullRead {

struct Result {
    // False when a receipt-line magnification did not convert, in the reply
    // or in the relayout a text handler ran, or when the line fell silent:
    // the read stopped there, the table holds what came before it.
    bool completed = true;
    // The conversion error, for the application's error display.
    QString error;
    // A read received no byte at all: the controller does not answer, and
    // the other reads would each only cost a time-out.
    bool silent = false;
    // Slots filled from a whole reply with the normal status and a payload
    // of the expected form; any other slot holds what an unusable reply
    // read as, which is shown but vouches for nothing.
    std::bitset<Slot::Count> read;
};

// When `origins` is given, every settings value the read puts into the
// window is noted there as read (from a usable reply of the expected form)
// or lost. Options are noted only when the read completes, because only
// then does the window show them. A silent read ends the sequence before
// it touches its slot or its boxes.
Result run(DeviceLink &link, DeviceData &data, FullReadView &view, ValueOrigins *origins = nullptr);

} // namespace FullRead
