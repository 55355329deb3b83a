#pragma once
#include "emulator/Wire.h"

class QSocketNotifier;

// A pseudo-terminal in raw mode. The emulator holds the master; the utility
// opens the slave path like a serial device.
class PtyWire : public Wire {
    Q_OBJECT
public:
    explicit PtyWire(QObject *parent = nullptr);
    ~PtyWire() override;
    bool open(QString *error);
    qint64 write(const QByteArray &bytes) override;
    void close() override;
    bool isOpen() const override { return master_ >= 0; }
    QString devicePath() const override { return slavePath_; }

private:
    void readMaster();

    int master_ = -1;
    int slave_ = -1;   // held so the master sees no hang-up while the utility is away
    QString slavePath_;
    QSocketNotifier *notifier_ = nullptr;
};
