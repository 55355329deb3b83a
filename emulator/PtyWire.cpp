#include "emulator/PtyWire.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyWire::PtyWire(QObject *parent) : Wire(parent) {}

PtyWire::~PtyWire()
{
    close();
}

bool PtyWire::open(QString *error)
{
    auto fail = [&](const char *what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0)
        return fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(master_);
    if (!name)
        return fail("ptsname");
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0)
        return fail("open slave");
    // Raw: no echo, no CR/LF translation, no signals from the line.
    termios t{};
    if (tcgetattr(slave_, &t) != 0)
        return fail("tcgetattr");
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(slave_, TCSANOW, &t) != 0)
        return fail("tcsetattr");
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyWire::readMaster);
    return true;
}

void PtyWire::readMaster()
{
    QByteArray got;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;   // EAGAIN: drained. EIO cannot happen while we hold the slave.
    }
    if (!got.isEmpty())
        emit received(got);
}

qint64 PtyWire::write(const QByteArray &bytes)
{
    if (master_ < 0 || bytes.isEmpty())
        return 0;
    ssize_t n;
    do {
        n = ::write(master_, bytes.constData(), size_t(bytes.size()));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : qint64(n);
}

void PtyWire::close()
{
    if (notifier_) {
        notifier_->setEnabled(false);
        delete notifier_;
        notifier_ = nullptr;
    }
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
}
