#pragma once
// A controller on a pseudo-terminal for the window tests and the benchmark:
// answers each command from a reply function and holds every reply back for
// the time the command and the reply take on a line at the given baud rate.
// It logs every command with the time it arrived.
#include "tests/support/Pty.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

class PacedController {
public:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        QByteArray command;     // without its CR
        Clock::time_point at;   // when its CR arrived
        int replyBytes = 0;
    };
    using ReplyFn = std::function<QByteArray(const QByteArray &command)>;

    PacedController(ReplyFn reply, int baud = 9600);
    ~PacedController();
    PacedController(const PacedController &) = delete;
    PacedController &operator=(const PacedController &) = delete;

    QString slavePath() const { return pty_.slavePath(); }
    bool valid() const { return pty_.valid(); }
    QList<Entry> log() const;
    void clearLog();
    // Time one byte takes on the line (10 bits).
    double byteSeconds() const { return 10.0 / baud_; }

private:
    void run();

    Pty pty_;
    ReplyFn reply_;
    int baud_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    QList<Entry> log_;
    std::thread thread_;
};

// A controller with a plausible state: distinct prices and counts, the
// receipt lines and identification text, version 1.23, status flags 01.
QByteArray StandardControllerReply(const QByteArray &command);
