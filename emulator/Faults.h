#pragma once
// Faults a scenario injects into the replies: per command pattern, after a
// number of clean answers, once, a few times or always.
#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

struct ControllerState;

struct Fault {
    enum Kind {
        Status,        // the command is not carried out; the status field says why (busy, ERR)
        Silence,       // no reply at all
        Truncate,      // the reply cut short, no terminator
        Garble,        // an unknown status field
        Overlong,      // more payload than the utility asks for
        LineFeed,      // LF where the CR belongs
        CrLf,          // an LF after the CR
        Twice,         // the reply sent twice, back to back
        Late,          // the reply after a delay
        Noise,         // stray bytes some time after the reply
        InvalidText,   // text bytes that are not code page 932
        Vanish,        // the port disappears
        Swap,          // silent for a while, then another controller answers on the same port
    };
    Kind kind = Silence;
    QByteArray status;     // Status, Garble: the six status characters
    int keep = -1;         // Truncate: bytes kept; -1 keeps half
    QByteArray bytes;      // Overlong, Noise, InvalidText
    int delayMs = 0;       // Late, Noise; Twice: the copy this much later; Swap: the silence
    int reappearMs = -1;   // Vanish: a new port after this long; -1 never
    std::shared_ptr<const ControllerState> next;   // Swap: the controller that answers afterwards

    static constexpr int DefaultLateMs = 1000;
    static constexpr int DefaultNoiseDelayMs = 100;
    static QByteArray defaultBytes(Kind kind);
    // The fault in the scenario's words, for the log: "late 1000 ms".
    QString describe() const;
};

// The names scenario files give the faults, each with what it does and the
// keys that shape it; the emulator's --help lists them.
struct FaultKindName {
    const char *name;
    const char *meaning;
};
const QList<FaultKindName> &faultKindNames();

struct FaultRule {
    QByteArray pattern;    // exact command, or a prefix ending in '*'; "*" takes all
    int skip = 0;          // matching commands answered cleanly first
    int times = 1;         // faulted commands; -1 for always
    Fault fault;
    int seen = 0;
    int used = 0;

    bool matches(const QByteArray &command) const;
};

class FaultPlan {
public:
    void add(const FaultRule &rule) { rules_.append(rule); }
    bool isEmpty() const { return rules_.isEmpty(); }
    int size() const { return int(rules_.size()); }
    // The fault for this command, if a rule fires; counts the command against
    // every rule it matches.
    std::optional<Fault> take(const QByteArray &command);

private:
    QList<FaultRule> rules_;
};
