#pragma once
// Whether the controller took what a write sent. The writes do not stop on
// a refusal; instead the operator is told afterwards, from what the
// controller then reports: a price or a counter clear at once from its
// read-back, the settings of a write that restarts the controller at the
// next connection, from that connection's full read.
#include "device/DeviceData.h"
#include "device/ValueOrigins.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace WriteProof {

// One setting a restarting write sent: an option, a whole receipt line
// (field Line(i, 2)), the identification text or a standard count.
struct SentSetting {
    ValueOrigins::Field field;
    QByteArray value;          // as it followed the "=" of its command
    // For a value no read reports (a standard count): the opening command,
    // its own command and the store command were all answered OK.
    bool acknowledged = true;
};
using SentSettings = QList<SentSetting>;

struct Difference {
    QString name;
    QString sent;
    QString reported;
};

// A heading, one line per difference, then what the operator can do.
QString differencesText(const QString &heading, const QList<Difference> &rows, const QString &advice);

// After a price write and its read-back: the box text when the controller
// does not report the price sent (row 0-9, stored values).
std::optional<QString> priceNotTaken(int row, std::int32_t sent, std::int32_t reported);

// After a counter clear and its read-back: the box text when a sales count
// or the sales total is not 0.
std::optional<QString> countersNotCleared(const DeviceData &data);

// At the first connection after a restarting write, once its full read has
// completed: the box text when a setting the controller now reports differs
// from what was sent, or a standard count was not acknowledged.
// `optionText` gives an option's item text for a value ("" when it has none).
std::optional<QString> settingsNotTaken(const SentSettings &sent, const ValueOrigins &origins,
                                        const std::function<QString(int option, int value)> &optionText);

} // namespace WriteProof
