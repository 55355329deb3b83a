#include "device/WriteOperations.h"

#include "device/PriceEntry.h"
#include "device/ValueFormats.h"
#include "device/WriteProof.h"
#include "link/ShiftJis.h"

#include <QThread>
#include <algorithm>

namespace WriteOperations {

namespace {

// The window must come back even when a step throws.
class WindowDisabled {
public:
    explicit WindowDisabled(OperationHost &host) : host_(host) { host_.setWindowEnabled(false); }
    ~WindowDisabled() { host_.setWindowEnabled(true); }
    WindowDisabled(const WindowDisabled &) = delete;
    WindowDisabled &operator=(const WindowDisabled &) = delete;
private:
    OperationHost &host_;
};

} // namespace

QString optionsConfirmText()
{
    return QStringLiteral("設定値を書き込み,QUVOを再起動します.\n"
                          "QUVOとは一旦切断されますので,再起動後に接続し直して下さい.\n"
                          "実行してもよろしいですか？");
}

QString restartNoticeText()
{
    return QStringLiteral("QUVOを再起動します.");
}

QString clearConfirmText()
{
    return QStringLiteral("カウンタのクリアを行います.\n実行してもよろしいですか？");
}

PriceWrite setPrice(DeviceLink &link, DeviceData &data, int row, const QString &entry, bool manualMode)
{
    PriceWrite result;
    if (row < 0 || row >= PriceEntry::SettableRows)
        return result;
    result.entry = PriceEntry::check(row, entry);
    if (!result.entry.ok)
        return result;
    const std::int32_t before = data.ColumnPrice(row);
    data.ColumnPrice(row) = result.entry.stored;
    result.sent = true;

    // From "QVU1" on the controller may be in write mode: whatever stops
    // the write, it is left again before this returns, and a cancel waits.
    const DeviceLink::CancelHold writeMode(link);
    if (!link.answered(link.Transact("QVU1", 2))) {
        // Only the reply may have been lost: a controller still there is
        // told to leave write mode. The table keeps what it last reported.
        data.ColumnPrice(row) = before;
        result.answered = false;
        result.writeMode = WriteMode::stillAnswers(link) ? WriteMode::close(link, manualMode) : WriteModeEnd::MayBeOpen;
        return result;
    }
    result.commandSent = true;
    if (!link.answered(link.Transact(PriceEntry::writeCommand(row, data.ColumnPrice(row)), 4))) {
        data.ColumnPrice(row) = before;
        result.answered = false;
    }
    // An unanswered price command may still have been taken: the
    // read-back tells, once write mode is left. Manual mode sends no
    // closing, so a probe says whether the controller is still there.
    result.writeMode = WriteMode::close(link, manualMode);
    if (!result.answered && result.writeMode == WriteModeEnd::KeptManual && !WriteMode::stillAnswers(link))
        result.writeMode = WriteModeEnd::MayBeOpen;
    return result;
}

QByteArray optionValue(int selectedIndex, std::int32_t controllerValue)
{
    const std::uint32_t value = selectedIndex >= 0 ? std::uint32_t(selectedIndex)
                                                   : std::uint32_t(controllerValue);
    // Two digits is all the command carries; a reply that read as a wider
    // number was not an option value anyway.
    return ValueFormats::hexDigits(value & 0xFF, 2);
}

bool magnificationValid(const QString &text)
{
    return text.size() == 1 && text[0] >= QLatin1Char('1') && text[0] <= QLatin1Char('4');
}

std::optional<QByteArray> wireText(const QString &text, const std::optional<QByteArray> &asRead)
{
    QByteArray bytes;
    if (asRead && ShiftJis::decode(*asRead) == text) {
        bytes = *asRead;
    } else {
        bool ok = false;
        bytes = ShiftJis::encode(text, &ok);
        if (!ok)
            return std::nullopt;
    }
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20)
            return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> receiptLineValue(const ReceiptLine &line, const std::optional<QByteArray> &asRead)
{
    const std::optional<QByteArray> text = wireText(line.text, asRead);
    if (!text)
        return std::nullopt;
    return line.x.toLatin1() + line.y.toLatin1() + *text;
}

std::optional<QList<Command>> settingCommands(const OptionSettings &settings, const DeviceData &data,
                                              const ValueOrigins &origins, QString *refused)
{
    QList<Command> commands;
    // The controller's own order: option 3 before option 2.
    for (int k : {0, 2, 1, 3, 4, 5}) {
        commands.append({QByteArray("QVSO") + char('1' + k) + '='
                             + optionValue(settings.selected[std::size_t(k)],
                                           data.OptionSelection(k)),
                         2});
    }
    const auto refuse = [refused](ValueOrigins::Field f) {
        if (refused)
            *refused = ValueOrigins::name(f);
        return std::nullopt;
    };
    const std::optional<QByteArray> id =
        wireText(settings.identification, origins.asRead(ValueOrigins::Identification));
    if (!id)
        return refuse(ValueOrigins::Identification);
    commands.append({"QVSON=" + *id, 10});
    const char lineLetters[] = {'A', 'B', 'C'};
    for (int i = 0; i < 3; ++i) {
        const ValueOrigins::Field text = ValueOrigins::line(i, 2);
        const std::optional<QByteArray> value =
            receiptLineValue(settings.lines[std::size_t(i)], origins.asRead(text));
        if (!value)
            return refuse(text);
        commands.append({QByteArray("QVSO") + lineLetters[i] + '=' + *value, 40});
    }
    return commands;
}

QString unreadSettingsText(const QStringList &names)
{
    return QStringLiteral("次の設定値をQUVOから読み込めていないため,送信しませんでした.\n")
        + QStringLiteral("・") + names.join(QStringLiteral("\n・"))
        + QStringLiteral("\n接続し直して設定値を読み込んでから,もう一度実行して下さい.\n"
                         "(画面で設定し直した項目は,そのまま送信できます.)");
}

QString uncarriableTextText(const QString &field)
{
    return QStringLiteral("「") + field
        + QStringLiteral("」にQUVOへ送信できない文字が含まれているため,送信しませんでした.\n"
                         "文字を修正してから,もう一度実行して下さい.");
}

namespace {

// The setting a "QVSO" command carries, from its letter.
ValueOrigins::Field settingOf(char letter)
{
    if (letter >= '1' && letter <= '6')
        return ValueOrigins::option(letter - '1');
    if (letter >= 'A' && letter <= 'C')
        return ValueOrigins::line(letter - 'A', 2);
    return ValueOrigins::Identification;
}

} // namespace

bool writeOptionsAndRestart(DeviceLink &link, OperationHost &host, const DeviceData &data,
                            const OptionSettings &settings, const ValueOrigins &origins,
                            WriteProof::SentSettings *sent)
{
    // What no read of this connection obtained would overwrite the
    // controller's real settings with whatever the box held before.
    const QStringList unread = origins.unknownNames(ValueOrigins::Option1, ValueOrigins::Identification);
    if (!unread.isEmpty()) {
        host.reportError(unreadSettingsText(unread));
        return false;
    }
    QStringList invalid;
    for (int line = 0; line < 3; ++line) {
        const ReceiptLine &l = settings.lines[std::size_t(line)];
        for (int axis = 0; axis < 2; ++axis) {
            if (!magnificationValid(axis == 0 ? l.x : l.y))
                invalid.append(ValueOrigins::name(ValueOrigins::line(line, axis)));
        }
    }
    if (!invalid.isEmpty()) {
        host.reportError(invalidMagnificationText(invalid));
        return false;
    }
    QString refused;
    const std::optional<QList<Command>> commands = settingCommands(settings, data, origins, &refused);
    if (!commands) {
        host.reportError(uncarriableTextText(refused));
        return false;
    }
    if (!host.confirm(optionsConfirmText()) || !host.stillSameController())
        return false;
    // What the box showed must still be what the controller holds: the
    // cable may have moved to another machine while the operator read it.
    const QStringList changed = changedSettings(link, origins);
    if (!changed.isEmpty()) {
        host.reportError(changedSettingsText(changed));
        host.loseController();
        return false;
    }

    WindowDisabled disabled(host);
    WriteProof::SentSettings toSend;
    for (const Command &command : *commands)
        toSend.append({settingOf(command.text.at(4)), command.text.mid(6)});
    host.aboutToWrite(toSend);
    // Kept for the next connection, which compares what it reads.
    if (sent)
        *sent = toSend;
    QStringList sentNames;
    // A command nobody answers ends the write: what was sent is not stored
    // before "QVW", and a restart the controller cannot hear proves nothing.
    // A controller that lost only a reply is still taken out of write mode.
    const auto stopUnanswered = [&](bool opened) {
        if (sent)
            sent->clear();
        const WriteModeEnd end = opened || WriteMode::stillAnswers(link) ? WriteMode::close(link, false)
                                                                         : WriteModeEnd::MayBeOpen;
        host.writeModeEnded(end, sentNames);
        host.reportNoAnswer();
        host.loseController();
        return false;
    };
    // From "QVU1" to the restart that applies the settings: settings half
    // sent and never stored, or stored and never applied, or write mode
    // left open, would leave the controller worse off than finishing.
    const DeviceLink::CancelHold untilRestart(link);
    host.writeModeOpening();
    if (!link.answered(link.Transact("QVU1", 2)))
        return stopUnanswered(false);
    for (const Command &command : *commands) {
        if (!link.answered(link.Transact(command.text, command.expected)))
            return stopUnanswered(true);
        sentNames << ValueOrigins::name(settingOf(command.text.at(4)));
    }
    // Every setting is on the controller: the store and the restart end
    // write mode. A lost reply to "QVW" still goes on to the restart while
    // the controller answers; the next connection's proof tells what was kept.
    if (!link.answered(link.Transact("QVW", 3)) && !WriteMode::stillAnswers(link)) {
        host.writeModeEnded(WriteModeEnd::MayBeOpen, sentNames);
        host.reportNoAnswer();
        host.loseController();
        return true;
    }
    // The controller needs a moment to store before it is told to restart.
    QThread::msleep(300);
    const bool restarted = link.Transact("QVF", 3).heard() || link.answeredLate();
    link.Transact("QVF", 0);
    host.writeModeEnded(restarted ? WriteModeEnd::Restarted : WriteModeEnd::MayBeOpen, sentNames);
    // Told once the restart is under way: no box waits inside write mode.
    host.notify(restartNoticeText());
    host.disconnectController();
    return true;
}

std::optional<std::int32_t> readPrice(DeviceLink &link, int row)
{
    const TransactResult reply = link.Transact(QByteArray("QVRP") + ValueFormats::indexChar(row), 4);
    const std::optional<std::int32_t> value = ValueFormats::usableHex(reply, 4);
    if (!link.checkpoint())
        return std::nullopt;
    return value;
}

bool sameIdentity(DeviceLink &link, const ControllerIdentity &identity)
{
    // What the connection could not read cannot be compared; the rest must match.
    const TransactResult id = link.Transact("QVRON", 10);
    const TransactResult version = link.Transact("QVV", 100);
    const bool idSame = !identity.identificationRead || (id.usable() && id.payload == identity.identification);
    const bool versionSame = !identity.versionRead || (version.usable() && version.payload == identity.version);
    return link.checkpoint() && idSame && versionSame;
}

QStringList changedSettings(DeviceLink &link, const ValueOrigins &origins)
{
    using F = ValueOrigins::Field;
    QList<F> changed;
    // Only what a read obtained can be compared; a value the operator set
    // over one no read obtained goes out as the operator's.
    const auto compare = [&](const QByteArray &command, int length, const QList<F> &parts, F named) {
        QByteArray wanted;
        for (F f : parts) {
            const std::optional<QByteArray> raw = origins.asRead(f);
            if (!raw)
                return;
            wanted += *raw;
        }
        const TransactResult r = link.Transact(command, length);
        if (!r.usable() || r.payload != wanted)
            changed << named;
    };
    QList<F> compared;
    for (int k = 0; k < 6; ++k) {
        compare("QVRO" + QByteArray::number(k + 1), 2, {ValueOrigins::option(k)}, ValueOrigins::option(k));
        compared << ValueOrigins::option(k);
    }
    const char letters[3] = {'A', 'B', 'C'};
    for (int line = 0; line < 3; ++line) {
        const QList<F> parts{ValueOrigins::line(line, 0), ValueOrigins::line(line, 1), ValueOrigins::line(line, 2)};
        compare(QByteArray("QVRO") + letters[line], 40, parts, parts[2]);
        compared << parts[2];
    }
    compare("QVRON", 10, {F::Identification}, F::Identification);
    compared << F::Identification;
    // A stray byte may have put one setting's reply in another's place:
    // then none of them vouches for anything.
    if (!link.checkpoint())
        changed = compared;
    std::sort(changed.begin(), changed.end(),
              [](F a, F b) { return ValueOrigins::screenRank(a) < ValueOrigins::screenRank(b); });
    QStringList names;
    for (F f : changed)
        names << ValueOrigins::name(f);
    return names;
}

QString changedSettingsText(const QStringList &names)
{
    return QStringLiteral("QUVOの設定値が画面に表示している値と異なるため,送信しませんでした.\n・")
        + names.join(QStringLiteral("\n・"))
        + QStringLiteral("\n別のQUVOにつながっている可能性があります.QUVOを確認してから読み込み直します.");
}

CounterClear clearCounters(DeviceLink &link, bool manualMode,
                           const std::function<bool(const std::optional<LivePoll::Counters> &)> &beforeClear)
{
    CounterClear result;
    // From "QVU1" on, write mode is left again before this returns, and a
    // cancel waits until it is.
    const DeviceLink::CancelHold writeMode(link);
    if (!link.answered(link.Transact("QVU1", 2))) {
        result.writeMode = WriteMode::stillAnswers(link) ? WriteMode::close(link, manualMode) : WriteModeEnd::MayBeOpen;
        return result;
    }
    result.before = LivePoll::readCounters(link);
    if (beforeClear && !beforeClear(result.before)) {
        result.cancelled = true;
        result.writeMode = WriteMode::close(link, manualMode);
        return result;
    }
    result.clearSent = true;
    if (!link.answered(link.Transact("QVZ0", 3))) {
        // The clear may have happened all the same: the read-back tells.
        result.writeMode = WriteMode::close(link, manualMode);
        return result;
    }
    result.answered = true;
    result.after = LivePoll::readCounters(link);
    result.writeMode = WriteMode::close(link, manualMode);
    return result;
}

QString invalidMagnificationText(const QStringList &boxes)
{
    return QStringLiteral("値が正しくありません\n・") + boxes.join(QStringLiteral("\n・"))
        + QStringLiteral("\n倍率は1～4のいずれかにして下さい.");
}

} // namespace WriteOperations
