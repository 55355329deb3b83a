#pragma once
// The operations that change what the controller stores: a column price,
// the options with the receipt settings (ending in a restart), and the
// counter clear. They talk to the operator and the views only through
// OperationHost and the small callbacks given here.
#include "device/DeviceData.h"
#include "device/OperationHost.h"
#include "device/ValueOrigins.h"
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
QString OptionsConfirmText();
QString RestartNoticeText();
// Confirmation of the counter clear.
QString ClearConfirmText();

// Where the price operation shows its result before the read-back.
struct PriceViews {
    std::function<void(const QString &cellText)> showInSettings; // price grid of the settings page
    std::function<void()> copyToSales;                          // sales grid takes the settings text
};

// After the entry dialog returned OK for row r (0-9): checks the entry,
// stores it, writes it and reads everything back, saying so when the
// controller does not report the price sent. A rejected entry is reported
// through the host and sends nothing; the result tells whether the write
// went out.
bool SetPrice(DeviceLink &link, DeviceData &data, OperationHost &host, int row,
              const QString &entry, const PriceViews &views);

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
QByteArray OptionValue(int selectedIndex, std::int32_t controllerValue);

// A magnification box must hold exactly one of the digits 1-4; anything else
// would shift the fields of the receipt line on the controller.
bool MagnificationValid(const QString &text);

// The bytes a text goes out as: the bytes it was read as while its box
// still shows exactly what they decode to, otherwise its code page 932
// bytes. Nothing when the wire cannot carry it: a character the code page
// lacks, or a byte below 0x20 (a CR would end the command inside the text).
std::optional<QByteArray> WireText(const QString &text, const std::optional<QByteArray> &asRead);

// X digit, Y digit, then the text's bytes as WireText gives them.
std::optional<QByteArray> ReceiptLineValue(const ReceiptLine &line,
                                           const std::optional<QByteArray> &asRead = std::nullopt);

// The setting commands between "QVU1" and "QVW", in the order the controller
// takes them (option 3 goes before option 2). Nothing when a text cannot go
// on the wire; `refused` then names its field.
std::optional<QList<Command>> SettingCommands(const OptionSettings &settings, const DeviceData &data,
                                              const ValueOrigins &origins, QString *refused = nullptr);

// The messages of a write refused before anything was sent: values no read
// of this connection obtained and the operator did not set, and a text the
// wire cannot carry.
QString UnreadSettingsText(const QStringList &names);
QString UncarriableTextText(const QString &field);

// Checks that every value was read or set since the connection was made,
// the magnifications and the texts, asks, then writes everything, stores it
// and restarts the controller, ending disconnected. Returns false when it
// stopped before anything was sent.
// `sent`, when given, receives every setting the write sends, for the next
// connection to compare with what the controller then reports.
bool WriteOptionsAndRestart(DeviceLink &link, const DeviceData &data, OperationHost &host,
                            const OptionSettings &settings, const ValueOrigins &origins,
                            WriteProof::SentSettings *sent = nullptr);

// Asks, clears the controller's counters and reads everything back; says
// so when the read-back does not show every counter at 0. Returns false
// when the operator did not confirm.
bool ClearCounters(DeviceLink &link, DeviceData &data, OperationHost &host);

} // namespace WriteOperations
