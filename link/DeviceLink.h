#pragma once
// The serial connection to the controller: one port, one fixed buffer, one
// command transaction at a time. Every exchange with the controller goes
// through Transact.
#include "link/PortIo.h"
#include "link/Reply.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>

// A port that exists but would not open, and why.
struct UnopenedPort {
    int portNumber = 0;
    QString devicePath;
    PortOpenError error;
    // For a denied access: the device's group when membership of it would
    // let the user open the device (empty for a device only root may open).
    QString admittingGroup;
};

// Thrown at a command boundary once the operator has ended the running
// sequence (切断, closing the window): nothing more goes out for it.
struct LineCancelled {};

class DeviceLink {
public:
    static constexpr int IoBufferSize = 256;
    static constexpr int FrameLength = 7;       // six status characters and the CR
    static constexpr int ReadTimeoutMs = 750;   // total, no inter-byte limit
    // A reply is complete once its CR has been followed by this much silence.
    // Longer than a USB adapter holds received bytes back (up to 16 ms) and
    // than the gaps measured inside a paced reply on a pseudo-terminal.
    static constexpr int QuietGapMs = 25;
    // After a read that timed out, a reply starting up to 500 ms later is
    // still taken for the late answer it is, with a margin for its start.
    static constexpr int LateReplyListenMs = 550;
    // A line that never falls quiet holds the next command back this much
    // at most beyond the listening above.
    static constexpr int DrainBoundMs = 200;
    // A reply as long as asked and ended by a CR is taken as this command's
    // only after this much silence: a byte right behind it (the reply sent
    // twice, an LF after the CR, the next reply behind a late one) would
    // otherwise become the next command's answer. At 9600 baud a byte
    // takes 1.04 ms; on a pseudo-terminal 99 % of the gaps inside a paced
    // reply were below 6 ms (bench_connect). Every full-length reply pays
    // this once, so it stays short.
    static constexpr int FrameConfirmMs = 5;
    // A USB adapter may hold received bytes back for up to 16 ms: a value
    // counts only once the line has stayed this quiet behind its group of
    // reads (see checkpoint()).
    static constexpr int CheckpointQuietMs = 20;

    // Without a port the link uses the real serial port.
    explicit DeviceLink(std::unique_ptr<PortIo> port = nullptr, int readTimeoutMs = ReadTimeoutMs);

    // Opens COM n through the port namespace; afterwards test portHandleValid().
    void OpenPort(int portNumber);
    // Closes the port if open; the handle becomes invalid.
    void closePort();
    // Also true while the device of the open COM number has gone: the link
    // still stands for that number until it is closed.
    bool portHandleValid() const;
    // The device of the open COM number went away and the port released it.
    bool deviceGone() const { return portNumber_ != 0 && !port_->isOpen(); }
    // While the device is gone: opens whatever the same COM number names now.
    // What answers there may be another controller, so the caller connects
    // to it afresh instead of taking it for the one before.
    bool reopenPort();
    int portNumber() const { return portNumber_; }
    // Device path of the open port (empty while closed).
    QString devicePath() const { return devicePath_; }
    // The last OpenPort's failure; reason None when it opened or had no device.
    const UnopenedPort &lastOpenFailure() const { return openFailure_; }

    // Sends `command` + CR and reads the reply of `expectedLength` payload
    // characters. A read that would not fit the buffer is refused (status
    // 100, nothing sent) instead of overrunning it. While the device is gone
    // it reports 100 at once.
    TransactResult Transact(const QByteArray &command, int expectedLength);

    // After a transaction that received nothing: waits out the time its
    // reply could still take to arrive late, discards what comes, and says
    // whether any byte came. A late controller is alive; a silent one is not.
    bool answeredLate();
    // The transaction was answered, if only late.
    bool answered(const TransactResult &r) { return r.heard() || answeredLate(); }
    // The probe "QV": whether anything answers on the line at all. Its
    // seven bytes take 7 ms at 9600 baud; a controller that is there
    // answers well within ProbeTimeoutMs, and a dead line is told sooner.
    static constexpr int ProbeTimeoutMs = 300;
    bool probe();

    // Raised at every gap in the line: a transaction that got no whole
    // reply with a status the protocol knows (silent, cut, late, garbled,
    // the device gone). An ERR or busy reply is the same controller
    // answering and no gap. What answers after a gap may be another
    // controller, so nothing read before it may be written back; the
    // window also raises it when it connects afresh.
    quint64 generation() const { return generation_; }
    // The last transaction received at least one byte.
    bool lastHeard() const { return lastHeard_; }
    void raiseGeneration() { ++generation_; }

    // Waits until the line has stayed quiet for CheckpointQuietMs behind
    // the last reply; true when no byte the link did not expect came since
    // the last checkpoint (bytes waiting before a command, more behind a
    // reply, an extra reply now, bytes a read took that were not one whole
    // reply). False voids every value read since then: one of them may be
    // another command's reply that an adapter held back or that came late.
    //
    // What it still cannot tell: a whole reply of the expected length that
    // belongs to an earlier command, when nothing else stray comes before
    // the checkpoint. That happens when replies are shifted by one (a copy
    // held back, a reply later than the listening after its read) and the
    // shift ends without a byte to show it: a command whose own reply is
    // never sent, or whose reply comes only after the checkpoint's quiet
    // time. Each reply then looks like the answer of the command before it.
    bool checkpoint();

    // Set from another thread to end the running sequence: the next
    // command (or wait on the line) throws LineCancelled instead, unless a
    // CancelHold stands.
    void setCancelFlag(const std::atomic<bool> *flag) { cancel_ = flag; }
    // A step that must be finished once begun, because stopping inside it
    // would leave the controller worse off than going on (write mode left
    // open, settings sent without the restart that applies them): a cancel
    // waits until the hold ends.
    class CancelHold {
    public:
        explicit CancelHold(DeviceLink &link) : link_(link) { ++link_.holds_; }
        ~CancelHold() { --link_.holds_; }
        CancelHold(const CancelHold &) = delete;
        CancelHold &operator=(const CancelHold &) = delete;
    private:
        DeviceLink &link_;
    };

    PortIo &port() { return *port_; }
    // How long a read waits for its reply; tests that do not look at timing
    // shorten it for a link another object owns.
    void setReadTimeoutMs(int ms) { readTimeoutMs_ = ms; }

private:
    // What the last reply leaves on the line for the next transaction.
    enum class Leftover { None, Tail, LateReply };

    void discardLeftover();
    void throwIfCancelled() const
    {
        if (cancel_ && holds_ == 0 && cancel_->load())
            throw LineCancelled{};
    }
    void noteLeftover(const PortRead &read, int status);

    std::unique_ptr<PortIo> port_;
    int readTimeoutMs_;
    int portNumber_ = 0;   // the COM number opened, 0 while closed
    QString devicePath_;
    Leftover leftover_ = Leftover::None;
    qint64 readEndedAtMs_ = 0;   // on the port's clock
    quint64 generation_ = 0;
    bool displaced_ = false;     // an unexpected byte since the last checkpoint
    bool lastHeard_ = false;
    UnopenedPort openFailure_;
    const std::atomic<bool> *cancel_ = nullptr;
    int holds_ = 0;
};
