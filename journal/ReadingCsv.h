#pragma once
// The headless read's reading as CSV, quoted as the journal's export is
// (RFC 4180, a text that starts like a formula shown as text): one header,
// then name,value,read rows, the controller and the time first.
#include "device/HeadlessRead.h"

#include <QByteArray>

namespace ReadingCsv {

QByteArray format(const HeadlessRead::Reading &reading);

} // namespace ReadingCsv
