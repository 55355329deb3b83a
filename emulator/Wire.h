#pragma once
// The emulator's end of the line: a pseudo-terminal master or a real serial
// device. Non-blocking; the server paces what it writes.
#include <QByteArray>
#include <QObject>
#include <QString>

class Wire : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Bytes taken; fewer than offered when the line is full.
    virtual qint64 write(const QByteArray &bytes) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The path the utility opens.
    virtual QString devicePath() const = 0;

signals:
    void received(const QByteArray &bytes);
};
