#pragma once
// The controller as the wire sees it: each command is logged on arrival,
// checked against the scenario's faults and answered by the model; the
// fault that fired and the reply are logged too. Decides what to
// send and when; the server does the sending.
#include "emulator/CommandLog.h"
#include "emulator/ControllerModel.h"
#include "emulator/Faults.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <memory>

struct Outcome {
    QByteArray reply;          // empty: nothing is sent
    int delayMs = 0;           // before the reply goes out
    QByteArray noise;          // sent noiseDelayMs after the reply, between commands
    int noiseDelayMs = 0;
    bool vanish = false;       // close the port instead of answering
    int reappearMs = -1;
};

class EmulatorSession {
public:
    EmulatorSession(ControllerModel &model, FaultPlan faults, CommandLog *log = nullptr)
        : model_(model), faults_(std::move(faults)), log_(log) {}

    // Logs a command as it comes off the line, before it waits its turn.
    void received(const QByteArray &command);
    Outcome respond(const QByteArray &command);
    // Something other than a command happened ("SIGUSR1"): a swap rule
    // with that name as its command fires now, with no command to answer.
    void event(const QByteArray &name);
    ControllerModel &model() { return model_; }

private:
    Outcome faulted(const QByteArray &command, const Fault &fault);
    void startSwap(const Fault &fault);

    ControllerModel &model_;
    FaultPlan faults_;
    CommandLog *log_;
    // A swap in progress: silent until the clock passes swapAt_, then
    // this controller answers.
    std::shared_ptr<const ControllerState> swapTo_;
    QElapsedTimer swapClock_;
    qint64 swapAt_ = 0;
};
