#include "device/HeadlessRead.h"

#include "device/FullReadView.h"
#include "link/ControllerSearch.h"
#include "link/DeviceLink.h"

#include <QRegularExpression>

namespace {

HeadlessRead::Outcome fail(int code, const QString &message)
{
    HeadlessRead::Outcome o;
    o.exitCode = code;
    o.message = message;
    return o;
}

// Slots a full read fills; the tubes and the version are not its business.
bool everyValueRead(const HeadlessRead::Reading &r)
{
    const auto range = [&r](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            if (!r.read.read[std::size_t(i)])
                return false;
        }
        return true;
    };
    return range(Slot::DeviceStatusFlags, 1) && range(Slot::ColumnPrice, 16) && range(Slot::ColumnSalesCount, 16)
        && range(Slot::OptionSelection, 6) && range(Slot::SalesTotal, 1) && range(Slot::EarnValueC, 1)
        && range(Slot::CoinReplyValue, 1) && r.identity.known()
        && r.settings.unknownNames(ValueOrigins::Line1X, ValueOrigins::Identification).isEmpty();
}

// The version and the full read of the controller on the open port, which
// is closed afterwards. `silent`: the controller stopped answering, so
// there was nothing to read on this port.
HeadlessRead::Outcome readOpenPort(DeviceLink &link, bool *silent)
{
    using namespace HeadlessRead;
    Reading r;
    r.time = QDateTime::currentDateTime();
    const TransactResult version = link.Transact("QVV", 100);
    r.identity = ControllerIdentity{link.portNumber(), link.devicePath(), QByteArray(), version.payload, false,
                                    version.usable()};
    r.data.FirmwareVersion() = firmwareVersionFromReply(version.payload);
    NoFullReadView view;
    const quint64 since = link.generation();
    r.read = link.answered(version) || link.probe() ? FullRead::run(link, r.data, view, &r.settings, &r.identity, since)
                                                   : FullRead::Result::deadLine();
    const int portNumber = link.portNumber();
    link.closePort();
    *silent = r.read.silent;
    if (r.read.silent)
        return fail(NoController, QStringLiteral("the QUVO on COM%1 stopped answering").arg(portNumber));
    r.identity.identification = r.read.identification;
    r.identity.identificationRead = r.read.identificationRead;
    Outcome o;
    if (r.read.identityChanged) {
        o.exitCode = SomeUnread;
        o.message = QStringLiteral("another QUVO answered on COM%1 during the read; nothing counts as read").arg(portNumber);
    } else if (!r.read.completed || !everyValueRead(r)) {
        o.exitCode = SomeUnread;
        o.message = r.read.error.isEmpty() ? QStringLiteral("some values of the QUVO on COM%1 could not be read").arg(portNumber)
                                           : r.read.error;
    } else {
        o.exitCode = AllRead;
    }
    o.reading = std::move(r);
    return o;
}

} // namespace

namespace HeadlessRead {

Outcome run(DeviceLink &link, const QString &port)
{
    bool silent = false;
    if (port == QLatin1String("auto")) {
        // A port that answers the probe and then stops answering holds no
        // controller to read: the search goes on below it, as it would
        // past a port where nothing answers.
        Outcome lastSilent;
        for (int from = HighestPort; from >= 1;) {
            const SearchOutcome found = searchController(link, [](int) { return true; }, from);
            if (found.kind == SearchOutcome::Abnormal)
                return fail(NoController,
                            QStringLiteral("the QUVO on COM%1 is not in its normal state").arg(found.portNumber));
            if (found.kind != SearchOutcome::Found)
                break;
            Outcome o = readOpenPort(link, &silent);
            if (!silent)
                return o;
            lastSilent = o;
            from = found.portNumber - 1;
        }
        return lastSilent.message.isEmpty() ? fail(NoController, QStringLiteral("no QUVO answered on any port"))
                                            : lastSilent;
    }
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^COM([1-9][0-9]{0,2})$")).match(port);
    const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (n < 1 || n > HighestPort)
        return fail(UsageOrPortError, QStringLiteral("\"%1\" is not a port: give COM1 to COM255 or auto").arg(port));
    link.OpenPort(n);
    if (!link.portHandleValid()) {
        const UnopenedPort &why = link.lastOpenFailure();
        return fail(UsageOrPortError,
                    why.devicePath.isEmpty()
                        ? QStringLiteral("COM%1 has no device").arg(n)
                        : QStringLiteral("COM%1 (%2) would not open%3")
                              .arg(QString::number(n), why.devicePath,
                                   why.error.systemText.isEmpty() ? QString()
                                                                  : QStringLiteral(": ") + why.error.systemText));
    }
    const TransactResult probe = link.Transact("QV", 0);
    if (probe.status != StatusOk) {
        link.closePort();
        return fail(NoController, probe.heard() ? QStringLiteral("the QUVO on COM%1 is not in its normal state").arg(n)
                                                : QStringLiteral("no QUVO answered on COM%1").arg(n));
    }
    return readOpenPort(link, &silent);
}

} // namespace HeadlessRead
