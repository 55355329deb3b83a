#include "tests/support/PtyResponder.h"

#include <chrono>

PtyResponder::PtyResponder(Script script)
    : PtyResponder(PacedScript([script](const QByteArray &command) {
          return QList<Piece>{{0, script(command)}};
      }))
{
}

PtyResponder::PtyResponder(PacedScript script) : script_(std::move(script))
{
    thread_ = std::thread([this] { run(); });
}

PtyResponder::~PtyResponder()
{
    stop_ = true;
    thread_.join();
}

QByteArrayList PtyResponder::commands() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

PtyResponder::Script PtyResponder::always(const QByteArray &reply)
{
    return [reply](const QByteArray &) { return reply; };
}

void PtyResponder::run()
{
    QByteArray pending;
    while (!stop_) {
        pending += pty_.readAvailable(50, '\r');
        int cr;
        while ((cr = pending.indexOf('\r')) >= 0) {
            const QByteArray command = pending.left(cr);
            pending.remove(0, cr + 1);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.append(command);
            }
            std::chrono::steady_clock::time_point previous;
            bool first = true;
            for (const Piece &piece : script_(command)) {
                if (piece.pauseMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseMs));
                if (piece.bytes.isEmpty())
                    continue;
                const auto now = std::chrono::steady_clock::now();
                if (!first) {
                    const int gap = int(std::chrono::duration_cast<std::chrono::milliseconds>(now - previous).count());
                    if (gap > longestGapMs_)
                        longestGapMs_ = gap;
                }
                pty_.write(piece.bytes);
                previous = now;
                first = false;
            }
        }
    }
}
