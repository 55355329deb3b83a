#include "tests/support/FakePort.h"

bool FakePort::open(const QString &devicePath)
{
    if (!s_->openSucceeds || s_->gone)
        return false;
    s_->open = true;
    s_->openedPath = devicePath;
    return true;
}

int FakePort::drain(int quietMs, int listenMs, int)
{
    s_->drains.append(listenMs);
    const int dropped = int(s_->staleInput.size() + s_->pendingInput.size());
    if (s_->timed)
        s_->clockMs += listenMs + dropped + (dropped > 0 ? quietMs : 0);
    s_->staleInput.clear();
    s_->pendingInput.clear();
    return dropped;
}

void FakePort::write(const QByteArray &bytes)
{
    if (s_->gone) {
        s_->open = false;
        return;
    }
    if (s_->timed)
        s_->clockMs += bytes.size();
    QByteArray command = bytes;
    if (command.endsWith('\r'))
        command.chop(1);
    s_->commands.append(command);
    QByteArray reply;
    auto q = s_->queued.find(command);
    if (q != s_->queued.end() && !q->isEmpty())
        reply = q->takeFirst();
    else if (s_->replies.contains(command))
        reply = s_->replies.value(command);
    else if (s_->fallback)
        reply = s_->fallback(command);
    if (s_->late.contains(command)) {
        s_->pendingInput = s_->staleInput;
        s_->lateInput = reply;
    } else {
        s_->pendingInput = s_->staleInput + reply;
    }
    s_->staleInput.clear();
}

PortRead FakePort::read(int maxBytes, int timeoutMs, int quietMs, int)
{
    s_->readSizes.append(maxBytes);
    if (s_->gone) {
        s_->open = false;
        return {QByteArray(), ReadEnd::Gone};
    }
    PortRead r;
    r.bytes = s_->pendingInput.left(maxBytes);
    // What did not fit stays queued, as on a real port.
    s_->staleInput = s_->pendingInput.mid(maxBytes);
    s_->pendingInput.clear();
    if (r.bytes.size() >= maxBytes && !r.bytes.endsWith('\r'))
        r.end = ReadEnd::Length;
    else if (r.bytes.size() >= maxBytes)
        r.end = s_->staleInput.isEmpty() ? ReadEnd::Quiet : ReadEnd::Overrun;
    else
        r.end = holdsFrameEnd(r.bytes) ? ReadEnd::Quiet : ReadEnd::Deadline;
    if (s_->timed)
        s_->clockMs += r.end == ReadEnd::Deadline ? timeoutMs : r.bytes.size() + quietMs;
    s_->staleInput += s_->lateInput;
    s_->lateInput.clear();
    return r;
}

QByteArray FakePort::ok(const QByteArray &payload)
{
    return QByteArray("OK   :") + payload + '\r';
}
