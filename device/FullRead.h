#pragma once
// The fixed sequence of 46 reads that refreshes the device data table and
// the receipt settings after connecting and after every write that keeps
// the connection. Filling the grids from the table is the window's part.
#include "device/DeviceData.h"
#include "device/FullReadView.h"

#include <QString>

class DeviceLink;

struct FullReadResult {
    // False when a receipt-line magnification was not a decimal digit: the
    // read stopped there, the table holds what came before it.
    bool completed = true;
    // The conversion error, for the application's error display.
    QString error;
};

FullReadResult FullRead(DeviceLink &link, DeviceData &data, FullReadView &view);
