#include "tests/devread/PacedController.h"

#include "link/ShiftJis.h"

#include <poll.h>
#include <unistd.h>

PacedController::PacedController(ReplyFn reply, int baud)
    : reply_(std::move(reply)), baud_(baud)
{
    if (pty_.valid())
        thread_ = std::thread([this] { run(); });
}

PacedController::~PacedController()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

QList<PacedController::Entry> PacedController::log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

void PacedController::clearLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

void PacedController::run()
{
    QByteArray pending;
    const int fd = pty_.masterFd();
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR)) {
            // Nobody holds the slave side open: wait for the next opener.
            if (!(p.revents & POLLIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
        }
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pending.append(buf, int(n));
        int cr;
        while ((cr = pending.indexOf('\r')) >= 0) {
            const QByteArray command = pending.left(cr);
            pending.remove(0, cr + 1);
            const auto arrived = Clock::now();
            const QByteArray reply = reply_ ? reply_(command) : QByteArray();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                log_.append(Entry{command, arrived, int(reply.size())});
            }
            if (reply.isEmpty())
                continue;
            // The reply cannot start before the command has crossed the
            // line, and it takes its own length to come back.
            const double seconds = (command.size() + 1 + reply.size()) * byteSeconds();
            std::this_thread::sleep_until(arrived + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(seconds)));
            (void)!::write(fd, reply.constData(), size_t(reply.size()));
        }
    }
}

QByteArray StandardControllerReply(const QByteArray &c)
{
    auto ok = [](const QByteArray &payload) { return QByteArray("OK   :") + payload + '\r'; };
    auto hex4 = [](int v) { return QByteArray::number(v, 16).toUpper().rightJustified(4, '0'); };
    const QByteArray idx = "0123456789ABCDEF";
    if (c == "QV")
        return ok({});
    if (c == "QVV")
        return ok("QUVO-Vexa ver1.23");
    if (c == "QVQ")
        return ok("01");
    if (c.size() == 5 && c.startsWith("QVRP") && idx.contains(c[4])) {
        // 100, 110, ... yen in tenths; columns 5-8 count in whole yen.
        const int i = idx.indexOf(c[4]);
        return ok(hex4(i >= 4 && i <= 7 ? 100 + i * 10 : 1000 + i * 100));
    }
    if (c.size() == 5 && c.startsWith("QVRC") && idx.contains(c[4]))
        return ok(hex4(idx.indexOf(c[4]) * 37 + 7));
    if (c.size() == 5 && c.startsWith("QVRO") && c[4] >= '1' && c[4] <= '6')
        return ok("0" + QByteArray::number((c[4] - '0') % 2));
    if (c == "QVROA")
        return ok("22" + ShiftJis::encode(QStringLiteral("領 収 書")));
    if (c == "QVROB")
        return ok("12" + ShiftJis::encode(QStringLiteral("ご利用ありがとうございます")));
    if (c == "QVROC")
        return ok("11" + ShiftJis::encode(QStringLiteral("□□□□□□□□□□□□□□□□")));
    if (c == "QVRON")
        return ok("AB-12345");
    if (c == "QVREA")
        return ok("0001E240");
    if (c == "QVREC")
        return ok("0000");
    if (c == "QVC")
        return ok("0000" + QByteArray(15, '0'));
    if (c == "QVY")
        return ok("00");
    return ok({});
}
