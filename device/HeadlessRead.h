#pragma once
// Reading a controller without a window, for scripts: the port named or
// searched as the connect button searches, the probe, the version and the
// same full read the window runs. Nothing is ever written to the controller.
#include "device/ControllerIdentity.h"
#include "device/DeviceData.h"
#include "device/FullRead.h"
#include "device/ValueOrigins.h"

#include <QDateTime>
#include <QString>
#include <optional>

class DeviceLink;

namespace HeadlessRead {

// The program's exit codes, each with a one-line message.
constexpr int AllRead = 0;
constexpr int UsageOrPortError = 1;
constexpr int NoController = 2;
constexpr int SomeUnread = 3;   // a value could not be read; the rest is printed

struct Reading {
    ControllerIdentity identity;
    QDateTime time;
    DeviceData data;
    FullRead::Result read;
    ValueOrigins settings;   // the receipt lines and identification as read
};

struct Outcome {
    int exitCode = NoController;
    QString message;   // empty when every value was read
    std::optional<Reading> reading;
};

// `port`: "COMn" (1-255) or "auto".
Outcome run(DeviceLink &link, const QString &port);

} // namespace HeadlessRead
