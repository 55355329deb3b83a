#include "tests/support/Pty.h"

#include <QDeadlineTimer>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slave_ = QString::fromLocal8Bit(ptsname(master_));
    // Raw on the slave side so nothing translates CR or LF on the way.
    int s = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (s >= 0) {
        termios t{};
        tcgetattr(s, &t);
        cfmakeraw(&t);
        tcsetattr(s, TCSANOW, &t);
        ::close(s);
    }
}

Pty::~Pty()
{
    closeMaster();
}

void Pty::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

QByteArray Pty::readAvailable(int timeoutMs, char until)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (master_ >= 0) {
        pollfd p{master_, POLLIN, 0};
        int left = int(deadline.remainingTime());
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            break;
        char buf[256];
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            // No one holds the other side open (EIO): wait instead of spinning.
            ::usleep(10000);
            break;
        }
        got.append(buf, int(n));
        if (until && got.contains(until))
            break;
    }
    return got;
}

void Pty::write(const QByteArray &bytes)
{
    if (master_ >= 0)
        (void)!::write(master_, bytes.constData(), size_t(bytes.size()));
}
