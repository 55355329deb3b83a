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

} // namespace

namespace HeadlessRead {

Outcome run(DeviceLink &link, const QString &port)
{
    if (port == QLatin1String("auto")) {
        const SearchOutcome found = searchController(link, [](int) { return true; });
        if (found.kind == SearchOutcome::Abnormal)
            return fail(NoController, QStringLiteral("the QUVO on COM%1 is not in its normal state").arg(found.portNumber));
        if (found.kind != SearchOutcome::Found)
            return fail(NoController, QStringLiteral("no QUVO answered on any port"));
    } else {
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
            return fail(NoController, probe.heard()
                                          ? QStringLiteral("the QUVO on COM%1 is not in its normal state").arg(n)
                                          : QStringLiteral("no QUVO answered on COM%1").arg(n));
        }
    }

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

} // namespace HeadlessRead
