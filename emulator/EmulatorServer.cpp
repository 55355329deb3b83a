#include "emulator/EmulatorServer.h"

#include "emulator/PtyWire.h"
#include "emulator/SerialWire.h"

#include <algorithm>

EmulatorServer::EmulatorServer(EmulatorSession &session, int baud, QObject *parent)
    : QObject(parent), session_(session), baud_(std::max(1, baud))
{
    // Small chunks on a short timer keep the line at the baud rate without
    // a sleep per reply.
    paceTimer_.setInterval(2);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    connect(&paceTimer_, &QTimer::timeout, this, &EmulatorServer::pace);
}

EmulatorServer::~EmulatorServer()
{
    if (wire_)
        wire_->close();
}

bool EmulatorServer::startPty(QString *error)
{
    auto *pty = new PtyWire(this);
    if (!pty->open(error)) {
        delete pty;
        return false;
    }
    attach(pty);
    return true;
}

bool EmulatorServer::startDevice(const QString &path, QString *error)
{
    auto *serial = new SerialWire(this);
    if (!serial->open(path, baud_, error)) {
        delete serial;
        return false;
    }
    serialPath_ = path;
    attach(serial);
    return true;
}

QString EmulatorServer::devicePath() const
{
    return wire_ ? wire_->devicePath() : QString();
}

void EmulatorServer::attach(Wire *wire)
{
    if (wire_) {
        wire_->close();
        wire_->deleteLater();
    }
    wire_ = wire;
    connect(wire_, &Wire::received, this, &EmulatorServer::onReceived);
}

void EmulatorServer::onReceived(const QByteArray &bytes)
{
    inBuffer_ += bytes;
    for (;;) {
        const int cr = inBuffer_.indexOf('\r');
        if (cr < 0)
            break;
        QByteArray command = inBuffer_.left(cr);
        inBuffer_.remove(0, cr + 1);
        // A line feed around a command is line noise, not part of it.
        command.replace('\n', QByteArray());
        if (!command.isEmpty()) {
            session_.received(command);
            commands_.append(command);
        }
    }
    if (inBuffer_.size() > MaxCommandBytes)
        inBuffer_.clear();
    processNext();
}

void EmulatorServer::processNext()
{
    if (answering_ || commands_.isEmpty() || !serving())
        return;
    const QByteArray command = commands_.takeFirst();
    current_ = session_.respond(command);
    if (current_.vanish) {
        vanish(current_.reappearMs);
        return;
    }
    if (current_.reply.isEmpty()) {
        QTimer::singleShot(0, this, &EmulatorServer::processNext);
        return;
    }
    answering_ = true;
    if (current_.delayMs > 0) {
        const int gen = generation_;
        QTimer::singleShot(current_.delayMs, this, [this, gen] {
            if (gen == generation_) {
                replyQueued_ = true;
                send(current_.reply);
            }
        });
    } else {
        replyQueued_ = true;
        send(current_.reply);
    }
}

void EmulatorServer::send(const QByteArray &bytes)
{
    if (!serving())
        return;
    if (!paceTimer_.isActive()) {
        burst_.start();
        burstSent_ = 0;
        paceTimer_.start();
    }
    out_ += bytes;
    pace();
}

void EmulatorServer::pace()
{
    if (!serving()) {
        paceTimer_.stop();
        out_.clear();
        return;
    }
    // Ten bits a byte on the line; the first byte goes at once.
    const qint64 due = burst_.nsecsElapsed() * baud_ / 10 / 1000000000 + 1 - burstSent_;
    if (due > 0 && !out_.isEmpty()) {
        const qint64 taken = wire_->write(out_.left(int(std::min<qint64>(due, out_.size()))));
        out_.remove(0, int(taken));
        burstSent_ += taken;
    }
    if (out_.isEmpty()) {
        paceTimer_.stop();
        if (replyQueued_)
            replyDone();
    }
}

void EmulatorServer::replyDone()
{
    replyQueued_ = false;
    answering_ = false;
    if (!current_.noise.isEmpty()) {
        const QByteArray noise = current_.noise;
        const int gen = generation_;
        QTimer::singleShot(current_.noiseDelayMs, this, [this, noise, gen] {
            if (gen == generation_)
                send(noise);
        });
    }
    processNext();
}

void EmulatorServer::vanish(int reappearMs)
{
    ++generation_;
    paceTimer_.stop();
    out_.clear();
    inBuffer_.clear();
    commands_.clear();
    answering_ = replyQueued_ = false;
    if (wire_)
        wire_->close();
    emit vanished();
    if (reappearMs < 0)
        return;
    QTimer::singleShot(reappearMs, this, [this] {
        QString error;
        const bool back = serialPath_.isEmpty() ? startPty(&error) : startDevice(serialPath_, &error);
        if (back)
            emit reappeared(devicePath());
        else
            qWarning("quvo-emulator: the port could not come back: %s", qPrintable(error));
    });
}
