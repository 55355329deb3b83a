#pragma once
// The headless read's reading as JSON, and the one list of its values that
// every form of it takes: each value under a name of its own with whether
// it was read. A value
// not read is null, never a 0 that a script could take for the
// controller's.
#include "device/HeadlessRead.h"

#include <QByteArray>
#include <QList>
#include <QVariant>

namespace ReadingJson {

struct Value {
    QString name;
    QVariant value;   // null when not read; a receipt line is a map of x, y and text
    bool read = false;
};

// The values of a reading in a fixed order: status, price1-16 and
// count1-16, total, option1-6, receipt1-3, earnC, coinReply.
QList<Value> values(const HeadlessRead::Reading &reading);

// The controller as the reading names it: port, device, identification
// (text and its bytes in hexadecimal), version.
QList<Value> controller(const ControllerIdentity &identity);

// One JSON object: controller, time, values.
QByteArray format(const HeadlessRead::Reading &reading);

} // namespace ReadingJson
