#pragma once
// One log of what an operation did, in order: every command with the
// payload length its read asked for ("QVER/54": the read length minus the
// seven framing bytes), and every call into the window ("confirm",
// "fullread", "disconnect"), each with its time.
#include "device/OperationHost.h"
#include "link/DeviceLink.h"
#include "tests/support/FakePort.h"

#include <QElapsedTimer>
#include <QStringList>
#include <memory>

struct OperationLog {
    QStringList entries;
    QList<qint64> times;   // ms since the log started, one per entry
    QElapsedTimer clock;
    OperationLog() { clock.start(); }
    void add(const QString &e)
    {
        entries.append(e);
        times.append(clock.elapsed());
    }
    void clear()
    {
        entries.clear();
        times.clear();
    }
};

class LoggingPort : public FakePort {
public:
    LoggingPort(std::shared_ptr<State> state, std::shared_ptr<OperationLog> log)
        : FakePort(std::move(state)), log_(std::move(log)) {}

    PortRead read(int maxBytes, int timeoutMs, int quietMs, int confirmMs) override
    {
        log_->add(printable(s_->commands.value(s_->commands.size() - 1)) + u'/'
                  + QString::number(maxBytes - 7));
        return FakePort::read(maxBytes, timeoutMs, quietMs, confirmMs);
    }
    // Bytes beyond ASCII shown as \xHH so Shift-JIS text stays comparable.
    static QString printable(const QByteArray &b)
    {
        QString s;
        for (unsigned char c : b) {
            if (c >= 0x20 && c < 0x7F)
                s += QChar(c);
            else
                s += QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, u'0');
        }
        return s;
    }

private:
    std::shared_ptr<OperationLog> log_;
};

// A stand-in for the window around an operation.
class RecordingHost : public OperationHost {
public:
    explicit RecordingHost(std::shared_ptr<OperationLog> log) : log_(std::move(log)) {}

    QList<bool> answers;        // one per confirm(), in order; past them the operator agrees
    bool manual = false;
    QStringList confirmTexts;
    QStringList noticeTexts;
    QStringList errorTexts;       // reportError and showConversionError, in order
    QList<std::optional<QString>> readErrors; // one per runFullRead, in order; past them none
    DeviceLink *link = nullptr; // closed by disconnectController() when set
    bool sameController = true; // what stillSameController() answers

    bool confirm(const QString &text) override
    {
        confirmTexts.append(text);
        log_->add(QStringLiteral("confirm"));
        return answers.isEmpty() || answers.takeFirst();
    }
    void notify(const QString &text) override
    {
        noticeTexts.append(text);
        log_->add(QStringLiteral("notify"));
    }
    void rejectInput() override { log_->add(QStringLiteral("reject")); }
    void reportError(const QString &text) override
    {
        errorTexts.append(text);
        log_->add(QStringLiteral("error"));
    }
    void reportNoAnswer() override { log_->add(QStringLiteral("no answer")); }
    bool manualMode() const override { return manual; }
    std::optional<QString> runFullRead() override
    {
        log_->add(QStringLiteral("fullread"));
        return readErrors.isEmpty() ? std::nullopt : readErrors.takeFirst();
    }
    void showConversionError(const QString &message) override
    {
        errorTexts.append(message);
        log_->add(QStringLiteral("conversion error"));
    }
    void disconnectController() override
    {
        log_->add(QStringLiteral("disconnect"));
        if (link)
            link->closePort();
    }
    bool stillSameController() override
    {
        log_->add(QStringLiteral("check"));
        return sameController;
    }
    void loseController() override { log_->add(QStringLiteral("lost")); }
    void setWindowEnabled(bool enabled) override
    {
        log_->add(enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
    }

private:
    std::shared_ptr<OperationLog> log_;
};

// A link on an open fake port and a host, both writing into one log.
struct OperationRig {
    std::shared_ptr<FakePort::State> port = std::make_shared<FakePort::State>();
    std::shared_ptr<OperationLog> log = std::make_shared<OperationLog>();
    DeviceLink link{std::make_unique<LoggingPort>(port, log)};
    RecordingHost host{log};
    OperationRig() { port->open = true; }
};
