#pragma once
// The headless read's reading in the forms a script takes: every value
// under a name of its own with whether it was read, from one list. A value
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

// One JSON object: controller, time, values.
QByteArray format(const HeadlessRead::Reading &reading);

// CSV, UTF-8 with RFC 4180 quoting: name,value,read; the controller's
// port, identification and version first.
QByteArray formatCsv(const HeadlessRead::Reading &reading);

} // namespace ReadingJson
