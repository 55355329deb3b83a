#pragma once
// A small scripted controller on a pseudo-terminal: a thread reads each
// CR-terminated command from the master side and writes the scripted reply.
#include "tests/support/Pty.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class PtyResponder {
public:
    using Script = std::function<QByteArray(const QByteArray &command)>;
    // A reply in pieces, each written after its pause: a line that delivers
    // in bursts, a late reply, noise after a reply.
    struct Piece {
        int pauseMs;
        QByteArray bytes;
    };
    using PacedScript = std::function<QList<Piece>(const QByteArray &command)>;

    explicit PtyResponder(Script script);
    explicit PtyResponder(PacedScript script);
    ~PtyResponder();
    PtyResponder(const PtyResponder &) = delete;
    PtyResponder &operator=(const PtyResponder &) = delete;

    QString devicePath() const { return pty_.slavePath(); }
    QByteArrayList commands() const;
    // The longest time that passed between two pieces of one reply: a busy
    // machine may stretch a scripted pause beyond what the line allows.
    int longestGapMs() const { return longestGapMs_; }

    // A responder that answers every command with this one reply.
    static Script always(const QByteArray &reply);

private:
    void run();

    Pty pty_;
    PacedScript script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> longestGapMs_{0};
    mutable std::mutex mutex_;
    QByteArrayList commands_;
    std::thread thread_;
};
