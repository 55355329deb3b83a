#include "emulator/EmulatorSession.h"

#include <algorithm>

void EmulatorSession::received(const QByteArray &command)
{
    if (log_)
        log_->record(command);
}

Outcome EmulatorSession::respond(const QByteArray &command)
{
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
        reply += reply;
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
