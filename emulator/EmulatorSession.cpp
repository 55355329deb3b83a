#include "emulator/EmulatorSession.h"

#include <algorithm>

void EmulatorSession::received(const QByteArray &command)
{
    if (log_)
        log_->record(command);
}

Outcome EmulatorSession::respond(const QByteArray &command)
{
    if (swapTo_) {
        // The cable is between two machines: nobody answers.
        if (swapClock_.elapsed() < swapAt_)
            return Outcome();
        model_.replaceController(*swapTo_);
        swapTo_.reset();
    }
    const std::optional<Fault> fault = faults_.take(command);
    if (fault && log_)
        log_->recordFault(fault->describe());
    Outcome out;
    if (fault)
        out = faulted(command, *fault);
    else
        out.reply = model_.handleCommand(command);
    if (!out.reply.isEmpty() && log_)
        log_->recordReply(out.reply);
    return out;
}

void EmulatorSession::startSwap(const Fault &f)
{
    swapTo_ = f.next;
    swapClock_.start();
    swapAt_ = f.delayMs;
}

void EmulatorSession::event(const QByteArray &name)
{
    const std::optional<Fault> fault = faults_.take(name);
    if (!fault || fault->kind != Fault::Swap)
        return;
    if (log_)
        log_->recordFault(fault->describe());
    startSwap(*fault);
}

Outcome EmulatorSession::faulted(const QByteArray &command, const Fault &f)
{
    Outcome out;
    // Faults that stand for a controller that did not take the command.
    switch (f.kind) {
    case Fault::Status:
        model_.advance();
        out.reply = ControllerModel::frame(f.status, QByteArray(std::max(0, model_.payloadWidth(command)), '0'));
        return out;
    case Fault::Silence:
        model_.advance();
        return out;
    case Fault::Vanish:
        out.vanish = true;
        out.reappearMs = f.reappearMs;
        return out;
    case Fault::Swap:
        // The reply goes out; then the cable moves.
        startSwap(f);
        out.reply = model_.handleCommand(command);
        return out;
    default:
        break;
    }
    // The command is carried out; the reply goes wrong on the way.
    QByteArray reply = model_.handleCommand(command);
    switch (f.kind) {
    case Fault::Truncate:
        reply = reply.left(f.keep >= 0 ? f.keep : int(reply.size()) / 2);
        break;
    case Fault::Garble:
        reply = f.status + reply.mid(6);
        break;
    case Fault::Overlong:
        reply.chop(1);
        reply += f.bytes + '\r';
        break;
    case Fault::LineFeed:
        reply.back() = '\n';
        break;
    case Fault::CrLf:
        reply += '\n';
        break;
    case Fault::Twice:
        // A copy held back by an adapter arrives after the reply, between commands.
        if (f.delayMs > 0) {
            out.noise = reply;
            out.noiseDelayMs = f.delayMs;
        } else {
            reply += reply;
        }
        break;
    case Fault::Late:
        out.delayMs = f.delayMs;
        break;
    case Fault::Noise:
        out.noise = f.bytes;
        out.noiseDelayMs = f.delayMs;
        break;
    case Fault::InvalidText: {
        // Receipt lines keep their two magnification digits.
        const bool receiptLine = command.size() == 5 && command.startsWith("QVRO")
            && command.at(4) >= 'A' && command.at(4) <= 'C';
        reply = reply.left(6 + (receiptLine ? 2 : 0)) + f.bytes + '\r';
        break;
    }
    default:
        break;
    }
    out.reply = reply;
    return out;
}
