#pragma once
// The standard counts of the eight coin tubes: what the operator may enter
// for each tube, and the write that sends all eight and restarts the
// controller. Tube t (0-7) is grid row t + 1: 0-3 the automatically
// refilled 10, 50, 100 and 500 yen tubes, 4-7 the manually refilled ones.
#include "device/WriteProof.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

class DeviceLink;
class OperationHost;
class ValueOrigins;
struct DeviceData;

namespace StandardCount {

constexpr int TubeCount = 8;

// Largest count the tube accepts: 99 for the automatic tubes, 9999 for the
// manual ones.
int maxFor(int tube);

// Title of the entry dialog, "自動補充チューブ10円" and so on.
QString dialogTitle(int tube);

// Hint line of the entry dialog. The manual 50-500 yen tubes say 999 in
// their hint although they take up to 9999; the hint keeps that wording.
QString dialogHint(int tube, std::int32_t settableMax);

// The operator's entry as an integer (decimal, or hexadecimal after "0x"
// or "$"), or nothing when the text is not an integer of 32 bits.
std::optional<std::int32_t> parseEntry(const QString &text);

// The value to store for `text` on `tube`, or nothing when it must be
// rejected: not an integer, negative or above the tube's maximum.
std::optional<std::int32_t> validate(int tube, const QString &text);

// "QVSM" + (tube + 1) + "=" + the count in upper-case hexadecimal, two
// digits for the automatic tubes and four for the manual ones.
QByteArray command(int tube, std::int32_t count);
// Payload length the controller answers a "QVSM" of this tube with.
int replyLength(int tube);

// The message of a write refused because these counts were not entered.
QString unsetCountsText(const QStringList &names);

// Sends the eight standard counts of `data` after the operator agrees, has
// the controller store them and restart, then disconnects. No read gives
// the standard counts, so each must have been entered since the connection
// was made (`origins`); otherwise nothing is sent and a box says which.
// Nothing is checked on the way: every command goes out whatever the last
// returned. Returns false when nothing was sent.
// `sent`, when given, receives the eight counts with whether the
// controller answered "QVU1", the count's own command and "QVW" with OK:
// no read reports a standard count, so the next connection can only
// vouch for them by those answers.
bool write(DeviceLink &link, OperationHost &host, const DeviceData &data,
           const ValueOrigins &origins, WriteProof::SentSettings *sent = nullptr);

} // namespace StandardCount
