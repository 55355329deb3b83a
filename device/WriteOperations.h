#pragma once
// The operations that change what the controller stores: a column price,
// the options with the receipt settings (ending in a restart), and the
// counter clear. Where a box falls between commands they ask the operator
// through OperationHost; the price and the counter clear need none.
#include "device/ControllerIdentity.h"
#include "device/DeviceData.h"
#include "device/LivePoll.h"
#include "device/OperationHost.h"
#include "device/PriceEntry.h"
#include "device/ValueOrigins.h"
#include "device/WriteMode.h"
#include "device/WriteProof.h"
#include "link/DeviceLink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace WriteOperations {

// Confirmation of the options write and the notice before the restart.
QString optionsConfirmText();
QString restartNoticeText();
// Confirmation of the counter clear.
QString clearConfirmText();

// What a price write did. On `sent` the window shows `entry.cellText` in
// the price grids and reads everything back; the controller took the price
// when the read-back reports `entry.stored`.
struct PriceWrite {
    bool sent = false;   // false: the row takes no such entry, nothing went out
    // False when "QVU1" or the price command got no reply at all: nothing
    // was sent after it and the table keeps the price it had.
    bool answered = true;
    // The price command went out: its reply may only have come late, so
    // whether the controller took it is for a read-back to tell.
    bool commandSent = false;
    // How write mode was left.
    WriteModeEnd writeMode = WriteModeEnd::NotOpened;
    PriceEntry::Checked entry;
};

// After the entry dialog returned OK for row r (0-9): checks the entry,
// stores it in the table and writes it. Write mode is left afterwards,
// whatever reply was lost, unless the I/O panel holds it in `manualMode`.
PriceWrite setPrice(DeviceLink &link, DeviceData &data, int row, const QString &entry, bool manualMode);

struct ReceiptLine {
    QString x;      // text of the X magnification box
    QString y;      // text of the Y magnification box
    QString text;   // the line's text
};

// What the options group shows, gathered from its controls.
struct OptionSettings {
    std::array<int, 6> selected{};  // item index of each option selector, -1 for none
    QString identification;
    std::array<ReceiptLine, 3> lines;
};

struct Command {
    QByteArray text;
    int expected;   // payload characters expected in the reply
};

// An option as sent: the item index as two upper-case hex digits. A selector
// showing nothing sends back the value the controller reported, so a value
// beyond the items survives a write of the other settings.
QByteArray optionValue(int selectedIndex, std::int32_t controllerValue);

// A magnification box must hold exactly one of the digits 1-4; anything else
// would shift the fields of the receipt line on the controller.
bool magnificationValid(const QString &text);

// The bytes a text goes out as: the bytes it was read as while its box
// still shows exactly what they decode to, otherwise its code page 932
// bytes. Nothing when the wire cannot carry it: a character the code page
// lacks, or a byte below 0x20 (a CR would end the command inside the text).
std::optional<QByteArray> wireText(const QString &text, const std::optional<QByteArray> &asRead);

// X digit, Y digit, then the text's bytes as wireText gives them.
std::optional<QByteArray> receiptLineValue(const ReceiptLine &line,
                                           const std::optional<QByteArray> &asRead = std::nullopt);

// The setting commands between "QVU1" and "QVW", in the order the controller
// takes them (option 3 goes before option 2). Nothing when a text cannot go
// on the wire; `refused` then names its field.
std::optional<QList<Command>> settingCommands(const OptionSettings &settings, const DeviceData &data,
                                              const ValueOrigins &origins, QString *refused = nullptr);

// The messages of a write refused before anything was sent: values no read
// of this connection obtained and the operator did not set, and a text the
// wire cannot carry.
QString unreadSettingsText(const QStringList &names);
QString uncarriableTextText(const QString &field);

// Checks that every value was read or set since the connection was made,
// the magnifications and the texts, asks, checks that the controller is
// still the one whose settings are shown (the host's check, then the ten
// settings read afresh against what the full read found), then writes
// everything, stores it and restarts the controller, ending disconnected.
// A command that gets no reply at all ends the sequence there: the host
// says so and loses the controller, without the restart. Returns true once "QVW" has gone out:
// then `sent`, when given, holds every setting the write sent, for the next
// connection to compare with what the controller then reports.
bool writeOptionsAndRestart(DeviceLink &link, OperationHost &host, const DeviceData &data,
                            const OptionSettings &settings, const ValueOrigins &origins,
                            WriteProof::SentSettings *sent = nullptr);

// One column's price read afresh (one transaction, then the link's
// checkpoint); nothing unless a whole normal reply carried it.
std::optional<std::int32_t> readPrice(DeviceLink &link, int row);

// Reads "QVRON" and "QVV" afresh: true when each that `identity` knows
// comes whole and equal to it.
bool sameIdentity(DeviceLink &link, const ControllerIdentity &identity);

// Reads the ten settings afresh (the six options, the identification, the
// three receipt lines) and names, in screen order, those that no longer
// read as the full read found them: changed, or not readable now.
QStringList changedSettings(DeviceLink &link, const ValueOrigins &origins);
QString changedSettingsText(const QStringList &names);

struct CounterClear {
    // "QVU1" and "QVZ0" were answered; otherwise nothing was sent after the
    // one that was not.
    bool answered = false;
    // `beforeClear` said not to go on: write mode was left, nothing cleared.
    bool cancelled = false;
    // "QVZ0" went out, answered or not: only a read-back can tell whether
    // the counters were cleared.
    bool clearSent = false;
    // How write mode was left.
    WriteModeEnd writeMode = WriteModeEnd::NotOpened;
    // The sixteen counts and the total read in write mode just before
    // "QVZ0", and again at once after it: sales in between are in neither
    // reading of the full read that follows, but in these.
    std::optional<LivePoll::Counters> before;
    std::optional<LivePoll::Counters> after;
};

// Clears the controller's counters, once the operator has confirmed:
// "QVU1", the counts and the total read afresh and handed to `beforeClear`
// (to be kept before anything is cleared; false stops there, and it must
// not wait for the operator: write mode is open), "QVZ0", the counts and
// the total read again at once, then "QVU0" unless the I/O panel holds
// write mode in `manualMode`; "QVU0" goes out whatever reply was lost.
// The full read that proves the clear is the window's.
CounterClear clearCounters(DeviceLink &link, bool manualMode,
                           const std::function<bool(const std::optional<LivePoll::Counters> &)> &beforeClear = {});

// The refusal of magnification boxes that do not hold one of 1-4, each
// named as the operator knows it ("領収書文字2行目の倍率Y"), in screen order.
QString invalidMagnificationText(const QStringList &boxes);

} // namespace WriteOperations
