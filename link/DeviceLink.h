#pragma once
// The serial connection to the controller: one port, one fixed buffer, one
// command transaction at a time. Every exchange with the controller goes
// through Transact.
#include "link/PortIo.h"
#include "link/Reply.h"

#include <QByteArray>
#include <QString>
#include <memory>

// A port that exists but would not open, and why.
struct UnopenedPort {
    int portNumber = 0;
    QString devicePath;
    PortOpenError error;
};

class DeviceLink {
public:
    static constexpr int IoBufferSize = 256;
    static constexpr int FrameLength = 7;       // six status characters and the CR
    static constexpr int ReadTimeoutMs = 750;   // total, no inter-byte limit

    // Without a port the link uses the real serial port.
    explicit DeviceLink(std::unique_ptr<PortIo> port = nullptr);

    // Opens COM n through the port namespace; afterwards test PortHandleValid().
    void OpenPort(int portNumber);
    // Closes the port if open; the handle becomes invalid.
    void ClosePort();
    bool PortHandleValid() const;
    // Device path of the open port (empty while closed).
    QString devicePath() const { return devicePath_; }
    // The last OpenPort's failure; reason None when it opened or had no device.
    const UnopenedPort &LastOpenFailure() const { return openFailure_; }

    // Sends `command` + CR and reads the reply of `expectedLength` payload
    // characters. A read that would not fit the buffer is refused (status
    // 100, nothing sent) instead of overrunning it.
    TransactResult Transact(const QByteArray &command, int expectedLength);

    PortIo &port() { return *port_; }

private:
    std::unique_ptr<PortIo> port_;
    QString devicePath_;
    int portNumber_ = 0;
    UnopenedPort openFailure_;
};
