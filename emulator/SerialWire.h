#pragma once
#include "emulator/Wire.h"

#include <QSerialPort>

// An existing serial device, for a utility on another machine at the far
// end of a null-modem cable.
class SerialWire : public Wire {
    Q_OBJECT
public:
    explicit SerialWire(QObject *parent = nullptr);
    bool open(const QString &path, int baud, QString *error);
    qint64 write(const QByteArray &bytes) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    QString devicePath() const override { return path_; }

private:
    QSerialPort port_;
    QString path_;
};
