#pragma once
// The headless read's reading as one JSON object: the controller, the time,
// and every value under a name of its own with whether it was read. A value
// not read is null, never a 0 that a script could take for the controller's.
#include "device/HeadlessRead.h"

#include <QByteArray>

namespace ReadingJson {

QByteArray format(const HeadlessRead::Reading &reading);

} // namespace ReadingJson
