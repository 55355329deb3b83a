#pragma once
// In-process stand-in for a serial port: records every command written and
// answers from a script. Handed to DeviceLink as its PortIo.
#include "link/PortIo.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <functional>
#include <memory>

class FakePort : public PortIo {
public:
    struct State {
        bool open = false;
        bool openSucceeds = true;
        PortOpenError openError;              // reported when the open fails
        QString openedPath;
        QByteArrayList commands;             // each without its CR
        QHash<QByteArray, QList<QByteArray>> queued; // one-shot replies per command
        QHash<QByteArray, QByteArray> replies; // standing replies per command
        // Called for a command with neither: returns the raw reply bytes.
        std::function<QByteArray(const QByteArray &)> fallback;
        QByteArray pendingInput;              // what the next read sees
        QByteArray staleInput;                // waiting before a command (a drain drops it)
        // Commands whose reply arrives only after the read's deadline: the
        // read gets nothing, the listening for a late reply hears it.
        QList<QByteArray> late;
        QByteArray lateInput;
        QList<int> drains;                    // each drain's listening time, ms
        QList<int> readSizes;                 // the bytes each read asked for
        bool gone = false;                    // the device has gone: the port releases it
        // The port's clock, ms. It moves only when `timed`: a read that ends
        // at its deadline takes its whole time-out, a drain its listening,
        // and every byte on the wire about a millisecond.
        bool timed = false;
        qint64 clockMs = 0;
    };

    // The state outlives the link that owns the port, so tests keep a handle.
    explicit FakePort(std::shared_ptr<State> state) : s_(std::move(state)) {}

    bool open(const QString &devicePath) override;
    PortOpenError openError() const override { return s_->openSucceeds ? PortOpenError{} : s_->openError; }
    void close() override { s_->open = false; }
    bool isOpen() const override { return s_->open; }
    // Takes no time: each reply arrives in one burst, so a read ends at its
    // CR or at the length asked for, whichever comes first, as on a line;
    // bytes behind a full-length frame show at once, and a reply without a
    // frame end is one the time-out cut.
    int drain(int quietMs, int listenMs, int boundMs) override;
    void write(const QByteArray &bytes) override;
    PortRead read(int maxBytes, int timeoutMs, int quietMs, int confirmMs) override;
    qint64 nowMs() const override { return s_->timed ? s_->clockMs : PortIo::nowMs(); }

    // "OK   :" + payload + CR, the usual good reply.
    static QByteArray ok(const QByteArray &payload = QByteArray());

protected:
    std::shared_ptr<State> s_;
};
