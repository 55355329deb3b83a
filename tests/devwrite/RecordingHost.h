#pragma once
// A stand-in for the window around a write operation, and a port wrapper,
// both writing into one journal so the order of commands, boxes and
// disconnection can be checked as one sequence.
#include "device/OperationHost.h"
#include "link/DeviceLink.h"
#include "link/PortIo.h"
#include "tests/support/FakePort.h"

#include <QElapsedTimer>
#include <QStringList>
#include <functional>
#include <memory>

struct Journal {
    QStringList entries;
    QList<qint64> times;   // ms since the journal started, one per entry
    QElapsedTimer clock;
    Journal() { clock.start(); }
    void add(const QString &e)
    {
        entries.append(e);
        times.append(clock.elapsed());
    }
};

// Records each command with the payload length the link asked for
// ("QVU1/2": the read length minus the seven framing bytes).
class JournalPort : public PortIo {
public:
    JournalPort(std::shared_ptr<FakePort::State> state, std::shared_ptr<Journal> journal)
        : fake_(std::move(state)), journal_(std::move(journal)) {}
    bool open(const QString &path) override { return fake_.open(path); }
    void close() override { fake_.close(); }
    bool isOpen() const override { return fake_.isOpen(); }
    void clearInput() override { fake_.clearInput(); }
    void write(const QByteArray &bytes) override
    {
        last_ = bytes;
        if (last_.endsWith('\r'))
            last_.chop(1);
        fake_.write(bytes);
    }
    QByteArray read(int maxBytes, int timeoutMs) override
    {
        journal_->add(printable(last_) + QLatin1Char('/') + QString::number(maxBytes - 7));
        return fake_.read(maxBytes, timeoutMs);
    }
    // Bytes beyond ASCII shown as \xHH so Shift-JIS text stays comparable.
    static QString printable(const QByteArray &b)
    {
        QString s;
        for (unsigned char c : b) {
            if (c >= 0x20 && c < 0x7F)
                s += QChar(c);
            else
                s += QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        }
        return s;
    }

private:
    FakePort fake_;
    std::shared_ptr<Journal> journal_;
    QByteArray last_;
};

class RecordingHost : public OperationHost {
public:
    explicit RecordingHost(std::shared_ptr<Journal> journal) : journal_(std::move(journal)) {}

    bool confirmAnswer = true;
    bool manual = false;
    QStringList confirmTexts;
    QStringList noticeTexts;
    DeviceLink *link = nullptr;            // closed by Disconnect when set
    std::function<void()> onFullRead;      // runs in RunFullRead

    bool Confirm(const QString &text) override
    {
        confirmTexts.append(text);
        journal_->add(QStringLiteral("confirm"));
        return confirmAnswer;
    }
    void Notify(const QString &text) override
    {
        noticeTexts.append(text);
        journal_->add(QStringLiteral("notify"));
    }
    void RejectInput() override { journal_->add(QStringLiteral("reject")); }
    bool ManualMode() const override { return manual; }
    void RunFullRead() override
    {
        journal_->add(QStringLiteral("fullread"));
        if (onFullRead)
            onFullRead();
    }
    void Disconnect() override
    {
        journal_->add(QStringLiteral("disconnect"));
        if (link)
            link->ClosePort();
    }
    void SetWindowEnabled(bool enabled) override
    {
        journal_->add(enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
    }

private:
    std::shared_ptr<Journal> journal_;
};
