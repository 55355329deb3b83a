#include "device/WriteOperations.h"

#include "device/PriceEntry.h"
#include "device/ValueFormats.h"
#include "link/ShiftJis.h"

#include <QThread>

namespace WriteOperations {

namespace {

// Leaving write mode; the I/O panel's manual mode needs it kept.
void leaveWriteMode(DeviceLink &link, OperationHost &host)
{
    if (!host.ManualMode())
        link.Transact("QVU0", 2);
}

// The window must come back even when a step throws.
class WindowDisabled {
public:
    explicit WindowDisabled(OperationHost &host) : host_(host) { host_.SetWindowEnabled(false); }
    ~WindowDisabled() { host_.SetWindowEnabled(true); }
    WindowDisabled(const WindowDisabled &) = delete;
    WindowDisabled &operator=(const WindowDisabled &) = delete;
private:
    OperationHost &host_;
};

} // namespace

QString OptionsConfirmText()
{
    return QStringLiteral("設定値を書き込み,QUVOを再起動します.\n"
                          "QUVOとは一旦切断されますので,再起動後に接続し直して下さい.\n"
                          "実行してもよろしいですか？");
}

QString RestartNoticeText()
{
    return QStringLiteral("QUVOを再起動します.");
}

QString ClearConfirmText()
{
    return QStringLiteral("カウンタのクリアを行います.\n実行してもよろしいですか？");
}

bool SetPrice(DeviceLink &link, DeviceData &data, OperationHost &host, int row,
              const QString &entry, const PriceViews &views)
{
    if (row < 0 || row >= PriceEntry::SettableRows)
        return false;
    const PriceEntry::Checked checked = PriceEntry::Check(row, entry);
    if (!checked.ok) {
        host.RejectInput();
        return false;
    }
    if (views.showInSettings)
        views.showInSettings(checked.cellText);
    data.ColumnPrice(row) = checked.stored;

    link.Transact("QVU1", 2);
    link.Transact(PriceEntry::WriteCommand(row, data.ColumnPrice(row)), 4);
    leaveWriteMode(link, host);

    if (views.copyToSales)
        views.copyToSales();
    host.RunFullRead();
    return true;
}

QByteArray OptionValue(int selectedIndex, std::int32_t controllerValue)
{
    const std::uint32_t value = selectedIndex >= 0 ? std::uint32_t(selectedIndex)
                                                   : std::uint32_t(controllerValue);
    // Two digits is all the command carries; a reply that read as a wider
    // number was not an option value anyway.
    return ValueFormats::HexDigits(value & 0xFF, 2);
}

bool MagnificationValid(const QString &text)
{
    return text.size() == 1 && text[0] >= QLatin1Char('1') && text[0] <= QLatin1Char('4');
}

QByteArray ReceiptLineValue(const ReceiptLine &line)
{
    return line.x.toLatin1() + line.y.toLatin1() + ShiftJis::encode(line.text);
}

QList<Command> SettingCommands(const OptionSettings &settings, const DeviceData &data)
{
    QList<Command> commands;
    // The controller's own order: option 3 before option 2.
    for (int k : {0, 2, 1, 3, 4, 5}) {
        commands.append({QByteArray("QVSO") + char('1' + k) + '='
                             + OptionValue(settings.selected[std::size_t(k)],
                                           data[Slot::OptionSelection + k]),
                         2});
    }
    commands.append({"QVSON=" + ShiftJis::encode(settings.identification), 10});
    const char lineLetters[] = {'A', 'B', 'C'};
    for (std::size_t i = 0; i < 3; ++i) {
        commands.append({QByteArray("QVSO") + lineLetters[i] + '='
                             + ReceiptLineValue(settings.lines[i]),
                         40});
    }
    return commands;
}

bool WriteOptionsAndRestart(DeviceLink &link, const DeviceData &data, OperationHost &host,
                            const OptionSettings &settings)
{
    for (const ReceiptLine &line : settings.lines) {
        if (!MagnificationValid(line.x) || !MagnificationValid(line.y)) {
            host.RejectInput();
            return false;
        }
    }
    if (!host.Confirm(OptionsConfirmText()))
        return false;

    WindowDisabled disabled(host);
    link.Transact("QVU1", 2);
    for (const Command &command : SettingCommands(settings, data))
        link.Transact(command.text, command.expected);
    link.Transact("QVW", 3);
    // The controller needs a moment to store before it is told to restart.
    QThread::msleep(300);
    host.Notify(RestartNoticeText());
    link.Transact("QVF", 3);
    link.Transact("QVF", 0);
    host.Disconnect();
    return true;
}

bool ClearCounters(DeviceLink &link, OperationHost &host)
{
    if (!host.Confirm(ClearConfirmText()))
        return false;
    link.Transact("QVU1", 2);
    link.Transact("QVZ0", 3);
    leaveWriteMode(link, host);
    host.RunFullRead();
    return true;
}

} // namespace WriteOperations
