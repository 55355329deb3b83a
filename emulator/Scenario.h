#pragma once
// A scenario file: the controller's state at start, how long a restart
// takes, the sales simulation and the faults to inject. JSON, described in
// emulator/README.md.
#include "emulator/ControllerModel.h"
#include "emulator/ControllerState.h"
#include "emulator/Faults.h"

#include <QString>

struct Scenario {
    ControllerState state;
    int restartMs = ControllerModel::DefaultRestartMs;
    SalesSimulation sales;
    FaultPlan faults;

    // False with a message naming the offending key when the text is not a
    // valid scenario; `out` is then left as it was.
    static bool fromJson(const QByteArray &json, Scenario *out, QString *error);
    static bool fromFile(const QString &path, Scenario *out, QString *error);
};
