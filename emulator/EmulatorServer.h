#pragma once
// Puts a session on a wire: collects CR-terminated commands, answers them
// one at a time, and sends at the pace of the configured baud rate.
#include "emulator/EmulatorSession.h"
#include "emulator/Wire.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>

class EmulatorServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxCommandBytes = 512;   // longer runs without a CR are dropped

    EmulatorServer(EmulatorSession &session, int baud, QObject *parent = nullptr);
    ~EmulatorServer() override;

    // A fresh pseudo-terminal; devicePath() tells where.
    bool startPty(QString *error);
    bool startDevice(const QString &path, QString *error);
    QString devicePath() const;
    bool serving() const { return wire_ && wire_->isOpen(); }
    int baud() const { return baud_; }

signals:
    // The port went away on purpose (a scenario fault).
    void vanished();
    // A new pseudo-terminal replaced the vanished one.
    void reappeared(const QString &devicePath);

private:
    void attach(Wire *wire);
    void onReceived(const QByteArray &bytes);
    void processNext();
    void send(const QByteArray &bytes);
    void pace();
    void replyDone();
    void vanish(int reappearMs);

    EmulatorSession &session_;
    int baud_;
    Wire *wire_ = nullptr;
    QByteArray inBuffer_;
    QList<QByteArray> commands_;
    bool answering_ = false;       // a command's reply is delayed or on its way
    bool replyQueued_ = false;     // its last byte is in out_
    QByteArray out_;
    QTimer paceTimer_;
    QElapsedTimer burst_;
    qint64 burstSent_ = 0;
    Outcome current_;
    int generation_ = 0;           // delayed actions of a vanished port do nothing
    QString serialPath_;           // device mode: what to reopen after a vanish
};
