#pragma once
// A serial line on a virtual clock: the port's reads and drains run the
// link's own reading rules, and every wait moves the clock to the next byte
// instead of sleeping. Each byte carries a tag (the command whose reply it
// belongs to, or -1 for noise), so a test can tell whose bytes a read took.
#include "link/LineReading.h"
#include "link/PortIo.h"

#include <QByteArray>
#include <QList>
#include <deque>
#include <functional>

class VirtualLine : public PortIo {
public:
    static constexpr qint64 ByteUs = 1042;   // one byte at 9600 baud, 8N1

    // Called when a command arrives at the controller's end (its CR
    // included), at `nowUs`; it schedules the answer with send().
    using Controller = std::function<void(VirtualLine &line, const QByteArray &command, qint64 nowUs)>;
    explicit VirtualLine(Controller controller) : controller_(std::move(controller)) {}

    // Queues `bytes` to arrive from `startUs` on (never before what is queued
    // already), one byte time apart plus the extra gap `gapUs(i)` before byte i.
    void send(const QByteArray &bytes, qint64 startUs, int tag, const std::function<qint64(int)> &gapUs = {});
    // When the last queued byte arrives.
    qint64 queuedUntilUs() const { return queue_.empty() ? nowUs_ : queue_.back().atUs; }

    qint64 nowUs() const { return nowUs_; }
    // Time passes between commands (the caller works): what arrives
    // meanwhile waits for the next read or drain.
    void idle(qint64 us) { nowUs_ += us; }
    // The tags of the bytes the last read returned, in order.
    const QList<int> &lastReadTags() const { return readTags_; }

    bool open(const QString &) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int drain(int quietMs, int listenMs, int boundMs) override;
    void write(const QByteArray &bytes) override;
    PortRead read(int maxBytes, int timeoutMs, int quietMs, int confirmMs) override;
    qint64 nowMs() const override { return nowUs_ / 1000; }

private:
    class Reader;
    struct Byte {
        qint64 atUs;
        char value;
        int tag;
    };
    Controller controller_;
    std::deque<Byte> queue_;
    qint64 nowUs_ = 1000000;
    bool open_ = true;
    QList<int> readTags_;
};
