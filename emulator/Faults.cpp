#include "emulator/Faults.h"

QByteArray Fault::defaultBytes(Kind kind)
{
    switch (kind) {
    case Overlong:
        return "EXTRA1";
    case Noise:
        return "\x15NOISE";
    case InvalidText:
        // A stray lead byte, an undefined byte and a lead byte with a bad trail.
        return QByteArray("A\xFF" "B\x81 C\x85", 7);
    default:
        return QByteArray();
    }
}

QString Fault::describe() const
{
    const QString shown = QString::fromLatin1(status);
    switch (kind) {
    case Status:
        return shown.startsWith(QLatin1String("ERR")) ? QStringLiteral("error ") + shown
                                                      : shown.left(5).toLower() + QLatin1Char(' ') + shown;
    case Silence:
        return QStringLiteral("silence");
    case Truncate:
        return keep >= 0 ? QStringLiteral("truncate to %1 bytes").arg(keep) : QStringLiteral("truncate to half");
    case Garble:
        return QStringLiteral("garble ") + shown;
    case Overlong:
        return QStringLiteral("overlong, %1 bytes more").arg(bytes.size());
    case LineFeed:
        return QStringLiteral("lf");
    case CrLf:
        return QStringLiteral("crlf");
    case Twice:
        return delayMs > 0 ? QStringLiteral("twice, the copy %1 ms later").arg(delayMs) : QStringLiteral("twice");
    case Late:
        return QStringLiteral("late %1 ms").arg(delayMs);
    case Noise:
        return QStringLiteral("noise, %1 bytes %2 ms after the reply").arg(bytes.size()).arg(delayMs);
    case InvalidText:
        return QStringLiteral("invalid-text");
    case Vanish:
        return reappearMs >= 0 ? QStringLiteral("vanish, back after %1 ms").arg(reappearMs)
                               : QStringLiteral("vanish");
    case Swap:
        return QStringLiteral("swap after %1 ms of silence").arg(delayMs);
    }
    return QString();
}

const QList<FaultKindName> &faultKindNames()
{
    static const QList<FaultKindName> names = {
        {"rbusy", "RBUSY: status, the command not carried out"},
        {"bbusy", "BBUSY: status, the command not carried out"},
        {"ebusy", "EBUSY: status, the command not carried out"},
        {"error", "ERR status with \"number\" (0-99), the command not carried out"},
        {"silence", "no reply at all"},
        {"truncate", "the reply cut short without its CR (\"keep\": bytes kept, default half)"},
        {"garble", "an unknown status field (\"status\": six characters, default \"NG   :\")"},
        {"overlong", "more payload than the utility asks for (\"hex\" or \"text\": the extra bytes)"},
        {"lf", "LF where the CR belongs"},
        {"crlf", "an LF after the CR"},
        {"twice", "the reply sent twice, back to back (\"delayMs\": the copy that much later)"},
        {"late", "the reply after \"delayMs\" (default 1000)"},
        {"noise", "stray bytes \"delayMs\" (default 100) after the reply (\"hex\" or \"text\")"},
        {"invalid-text", "text bytes that are not code page 932 (\"hex\" or \"text\")"},
        {"vanish", "the port disappears (\"reappearMs\": a new port after that long)"},
        {"swap", "silent for \"delayMs\" (default 3000), then the controller of \"scenario\" (a scenario object: its state) answers on the same port"},
    };
    return names;
}

bool FaultRule::matches(const QByteArray &command) const
{
    if (pattern.endsWith('*'))
        return command.startsWith(pattern.left(pattern.size() - 1));
    return command == pattern;
}

std::optional<Fault> FaultPlan::take(const QByteArray &command)
{
    std::optional<Fault> chosen;
    for (FaultRule &rule : rules_) {
        if (!rule.matches(command))
            continue;
        ++rule.seen;
        if (chosen || rule.seen <= rule.skip)
            continue;
        if (rule.times >= 0 && rule.used >= rule.times)
            continue;
        ++rule.used;
        chosen = rule.fault;
    }
    return chosen;
}
