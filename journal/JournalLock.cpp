#include "journal/JournalLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

bool JournalLock::share(const QString &journalPath, int waitMs)
{
    release();
    const QByteArray path = QFile::encodeName(lockPath(journalPath));
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    QElapsedTimer clock;
    clock.start();
    // An instance holds it alone only while it closes the journal: briefly.
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || clock.elapsed() > waitMs) {
            ::close(fd);
            return false;
        }
        QThread::msleep(10);
    }
    fd_ = fd;
    return true;
}

bool JournalLock::takeAlone()
{
    if (fd_ < 0)
        return false;
    return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

void JournalLock::release()
{
    if (fd_ >= 0) {
        ::close(fd_);   // the lock goes with the file
        fd_ = -1;
    }
}
