#pragma once
// A QUVO controller without a wire: state in, command in, reply bytes out.
// Time-driven behaviour (the restart, the sales simulation) reads an
// injectable clock, so tests run it without waiting.
#include "emulator/ControllerState.h"

#include <QByteArray>
#include <functional>
#include <random>

struct SalesSimulation {
    bool enabled = false;
    int minIntervalMs = 2000;
    int maxIntervalMs = 5000;
    unsigned seed = 1;
};

// Error numbers of the "ERRnn:" status field.
namespace ControllerError {
constexpr int BadParameter = 2;
constexpr int UnknownCommand = 3;
constexpr int NotInWriteMode = 5;
constexpr int AutoChangeOff = 6;
constexpr int NotReconciling = 7;
} // namespace ControllerError

class ControllerModel {
public:
    using Clock = std::function<qint64()>;   // milliseconds, monotonic
    static Clock steadyClock();

    static constexpr int DefaultRestartMs = 2000;
    static constexpr int OptionItems[Controller::Options] = {3, 2, 4, 2, 2, 2};

    explicit ControllerModel(const ControllerState &initial = ControllerState(),
                             Clock clock = steadyClock());

    // One command without its CR; returns the whole reply, CR included.
    QByteArray handleCommand(const QByteArray &command);

    // Applies what the clock says has happened since the last call: the end
    // of a restart, simulated sales. handleCommand calls it first.
    void advance();

    // Payload characters of the command's normal reply; -1 for the texts,
    // whose length varies, and for unknown commands.
    int payloadWidth(const QByteArray &command) const;

    // The version text's digits X, Y, Z of "verX.YZ" as X*100 + Y*10 + Z.
    int firmwareVersion() const;

    void setRestartDurationMs(int ms) { restartMs_ = ms; }
    // Another controller on the same line: its whole state, stored and
    // pending settings alike; no restart or reconciliation carries over.
    void replaceController(const ControllerState &next);
    void setSalesSimulation(const SalesSimulation &simulation);

    const ControllerState &state() const { return s_; }
    ControllerState &state() { return s_; }
    const ControllerSettings &storedSettings() const { return stored_; }
    const ControllerSettings &pendingSettings() const { return pending_; }
    bool resetting() const { return resetting_; }
    bool reconciling() const { return reconciling_; }
    int simulatedSales() const { return simulatedSales_; }

    // Status field + payload + CR.
    static QByteArray frame(const QByteArray &status, const QByteArray &payload);
    static QByteArray errorStatus(int number);

private:
    QByteArray dispatch(const QByteArray &command);
    QByteArray read(const QByteArray &command);
    QByteArray write(const QByteArray &command);
    QByteArray reconciliation(const QByteArray &command);
    QByteArray refusal(int number, const QByteArray &command) const;
    QByteArray report(int width) const;
    static QByteArray fitted(const QByteArray &value, int width);
    void startRestart();
    void finishRestart();
    void sellOne();
    qint64 nextSaleDelay();

    ControllerState s_;
    ControllerSettings stored_;    // what survives a restart
    ControllerSettings pending_;   // written, not yet stored
    Clock clock_;
    int restartMs_ = DefaultRestartMs;
    bool resetting_ = false;
    qint64 restartEndsAt_ = 0;
    bool reconciling_ = false;
    SalesSimulation simulation_;
    std::mt19937 rng_;
    qint64 nextSaleAt_ = 0;
    int simulatedSales_ = 0;
    int totalTenths_ = 0;   // sales below a whole yen, not yet in the total
};
