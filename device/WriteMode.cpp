#include "device/WriteMode.h"

#include "link/DeviceLink.h"

namespace WriteMode {

bool stillAnswers(DeviceLink &link)
{
    if (link.deviceGone())
        return false;
    // A controller slow to answer is still there: its late answer counts.
    return link.probe() || link.answeredLate();
}

WriteModeEnd close(DeviceLink &link, bool manualMode)
{
    if (manualMode)
        return WriteModeEnd::KeptManual;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (link.deviceGone())
            return WriteModeEnd::MayBeOpen;
        if (link.answered(link.Transact("QVU0", 2)))
            return WriteModeEnd::Closed;
        if (attempt == 0 && !stillAnswers(link))
            return WriteModeEnd::MayBeOpen;
    }
    return WriteModeEnd::MayBeOpen;
}

QString endName(WriteModeEnd end)
{
    switch (end) {
    case WriteModeEnd::NotOpened:
        return QStringLiteral("not-opened");
    case WriteModeEnd::Closed:
        return QStringLiteral("closed");
    case WriteModeEnd::Restarted:
        return QStringLiteral("restarted");
    case WriteModeEnd::KeptManual:
        return QStringLiteral("manual");
    case WriteModeEnd::MayBeOpen:
        break;
    }
    return QStringLiteral("may-be-open");
}

} // namespace WriteMode
