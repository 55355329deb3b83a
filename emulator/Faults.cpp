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
