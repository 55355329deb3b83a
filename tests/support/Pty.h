#pragma once
// A pseudo-terminal pair for tests: the test holds the master side and the
// code under test opens the slave path like a serial device.
#include <QByteArray>
#include <QString>

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool valid() const { return master_ >= 0; }
    QString slavePath() const { return slave_; }
    int masterFd() const { return master_; }
    // Reads what the other side wrote within `timeoutMs` (stops early at `until`).
    QByteArray readAvailable(int timeoutMs, char until = 0);
    void write(const QByteArray &bytes);
    void closeMaster();

private:
    int master_ = -1;
    QString slave_;
};
