#pragma once
// One log of what an operation did, in order: every command with the
// payload length it asked for ("QVER/54"), and every call into the window
// ("Confirm", "FullRead", "Disconnect"). A scripted stand-in for the window
// answers the boxes.
#include "device/OperationHost.h"
#include "tests/support/FakePort.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <memory>

// FakePort that also notes the length each read asked for.
class LoggingPort : public FakePort {
public:
    LoggingPort(std::shared_ptr<State> state, std::shared_ptr<QStringList> log)
        : FakePort(state), state_(std::move(state)), log_(std::move(log)) {}

    QByteArray read(int maxBytes, int timeoutMs) override
    {
        log_->append(QString::fromLatin1(state_->commands.value(state_->commands.size() - 1))
                     + u'/' + QString::number(maxBytes - 7));
        return FakePort::read(maxBytes, timeoutMs);
    }

private:
    std::shared_ptr<State> state_;
    std::shared_ptr<QStringList> log_;
};

class ScriptedHost : public OperationHost {
public:
    explicit ScriptedHost(std::shared_ptr<QStringList> log) : log_(std::move(log)) {}

    QList<bool> answers;          // one per Confirm, in order; missing ones decline
    QStringList asked;            // the texts of the boxes shown
    bool manual = false;

    bool Confirm(const QString &text) override
    {
        log_->append(QStringLiteral("Confirm"));
        asked.append(text);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void Notify(const QString &text) override
    {
        log_->append(QStringLiteral("Notify"));
        asked.append(text);
    }
    void RejectInput() override { log_->append(QStringLiteral("Reject")); }
    bool ManualMode() const override { return manual; }
    void RunFullRead() override { log_->append(QStringLiteral("FullRead")); }
    void Disconnect() override { log_->append(QStringLiteral("Disconnect")); }
    void SetWindowEnabled(bool enabled) override
    {
        log_->append(enabled ? QStringLiteral("Enable") : QStringLiteral("Disable"));
    }

private:
    std::shared_ptr<QStringList> log_;
};
