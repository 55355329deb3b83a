#pragma once
// Whether the controller took what a write sent. The writes do not stop on
// a refusal; instead the operator is told afterwards, from what the
// controller then reports: a price or a counter clear at once from its
// read-back, the settings of a write that restarts the controller at the
// next connection, from that connection's full read.
#include "device/ControllerIdentity.h"
#include "device/DeviceData.h"
#include "device/ValueOrigins.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
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
    // What `sent` is: the value sent, or what a read-back should report.
    QString sentLabel = QStringLiteral("送信値");
};

// The marker of a value the read-back did not obtain.
QString unreadMarker();

// A heading, one line per difference, then what the operator can do.
QString differencesText(const QString &heading, const QList<Difference> &rows, const QString &advice);

// After a price write and its read-back: the box text when the controller
// does not report the price sent (row 0-9, stored values). A read-back that
// did not read the price (`reportedRead` false) cannot tell: the box says
// the write could not be confirmed.
std::optional<QString> priceNotTaken(int row, std::int32_t sent, std::int32_t reported, bool reportedRead = true);

// The sixteen sales counts and the sales total, each as read or unread.
struct ClearFigures {
    std::array<std::optional<qint64>, 16> counts{};
    std::optional<qint64> total;
};

// Whether a counter clear was taken, from the figures read just before
// "QVZ0" and those read after it, while the machine may have gone on
// selling. The money taken in between (the total's growth on a controller
// that keeps its total, the total itself on one that clears it) buys at most
// so many pieces at each column's price: a column whose count before was
// above that and still is names a clear not taken; a column that was at or
// below it cannot tell. `priceTenths`: each column's price in tenths of a
// yen, nothing when unknown (as is a price of 0, which buys without limit).
struct ClearVerdict {
    QList<int> stayed;   // columns (0-15) whose count no sale explains
    QList<int> unread;   // columns that would decide but were not read after
    bool taken() const { return stayed.isEmpty() && unread.isEmpty(); }
    bool refused() const { return !stayed.isEmpty(); }
};
// A column at or below what the money could buy decides nothing; when no
// column decides, the clear shows only by every count having fallen (unless
// `byMoneyOnly`: figures before that are not really known).
ClearVerdict clearVerdict(const ClearFigures &before, const ClearFigures &after,
                          const std::array<std::optional<qint64>, 16> &priceTenths, bool byMoneyOnly = false);

// After a counter clear: the box text when its figures (see clearVerdict)
// show it not taken, or cannot tell. Which counters "QVZ0" clears is the
// controller's business; the total is a total since the last memory clear
// and may stay. Without figures from before the clear, the counts read
// after it are weighed against the total alone.
std::optional<QString> countersNotCleared(const std::optional<ClearFigures> &before, const ClearFigures &after,
                                          const std::array<std::optional<qint64>, 16> &priceTenths);

// At the first connection after a restarting write, once its full read has
// completed: the box text when a setting the controller now reports differs
// from what was sent, or a standard count was not acknowledged.
// `optionText` gives an option's item text for a value ("" when it has none);
// `controller` names the controller the write went to. Rows come in the
// order of the screen.
std::optional<QString> settingsNotTaken(const SentSettings &sent, const ValueOrigins &origins,
                                        const std::function<QString(int option, int value)> &optionText,
                                        const QString &controller = QString());

// Whether the controller now connected is the one a restarting write went
// to: the same version, and the identification text it had or the one the
// write sent. An identity not fully read cannot be matched.
bool concerns(const ControllerIdentity &writtenTo, const SentSettings &sent, const ControllerIdentity &now);

} // namespace WriteProof
