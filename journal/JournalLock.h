#pragma once
// Which instances of the utility have a journal open, told by a lock file
// beside it ("journal.sqlite.lock") held with flock(2).
//
// SQLite's own locks on the journal are POSIX record locks: they belong to
// the process, and any close of the file in that process (a file dialog
// peeking at it, a library reading its type) drops them all. Another
// instance then believes it is alone and, when it closes, folds the
// write-ahead log into the file and deletes it while the first goes on
// writing into the deleted log. An flock belongs to its own open file and
// survives such a close: an instance checks it before it lets SQLite
// check the journal out.
#include <QString>

class JournalLock {
public:
    JournalLock() = default;
    ~JournalLock() { release(); }
    JournalLock(const JournalLock &) = delete;
    JournalLock &operator=(const JournalLock &) = delete;

    static QString lockPath(const QString &journalPath) { return journalPath + QStringLiteral(".lock"); }

    // Shares the journal with the other instances, waiting up to `waitMs`
    // for one that is checking it out. False when the lock file cannot be
    // made or taken (read-only media): the journal is then used without it.
    bool share(const QString &journalPath, int waitMs);
    // True when no other instance holds the journal; it is then held alone
    // until release().
    bool takeAlone();
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
