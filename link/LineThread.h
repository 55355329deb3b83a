#pragma once
// The serial line's own thread. It owns the link (and through it the port)
// and carries out every command sequence there, one at a time, so that the
// window's thread never waits on the wire: while a sequence runs, the
// window's event loop goes on repainting, moving and answering keys.
//
// A sequence stays plain synchronous code over the link. The window hands
// it over with run() and gets its result back; meanwhile the window's loop
// runs. Where a sequence needs the window (a box between commands, a
// receipt text to show) it asks with onWindow(), which runs on the
// window's thread while the line waits; a sequence the window starts from
// there (the read-back inside an operation) runs on the line inside that
// wait, so the order on the wire stays that of the code.
#include "link/DeviceLink.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

class QThread;

class LineThread : public QObject {
    Q_OBJECT
public:
    // Without a port the link uses the real serial port.
    explicit LineThread(std::unique_ptr<PortIo> port = nullptr, QObject *parent = nullptr);
    // Ends the thread; the link and its port are destroyed on it.
    ~LineThread() override;

    // For reading the link's state while no sequence runs (its generation,
    // its port number); sequences get it as their argument.
    DeviceLink &link() { return *link_; }

    // Runs `sequence(link)` on the line and returns what it returns; a
    // LineCancelled it ends with comes back here. Called on the line itself
    // (from a sequence), it runs in place.
    template <class F> auto run(F &&sequence) -> std::invoke_result_t<F &, DeviceLink &>
    {
        using R = std::invoke_result_t<F &, DeviceLink &>;
        if (onLine())
            return sequence(*link_);
        if constexpr (std::is_void_v<R>) {
            handOver([&] { sequence(*link_); });
        } else {
            std::optional<R> result;
            handOver([&] { result.emplace(sequence(*link_)); });
            return std::move(*result);
        }
    }

    // From a sequence: runs `f` on the window's thread and returns its
    // result; the line waits meanwhile. Called on the window's thread it
    // runs in place.
    template <class F> auto onWindow(F &&f) -> std::invoke_result_t<F &>
    {
        using R = std::invoke_result_t<F &>;
        if (!onLine())
            return f();
        if constexpr (std::is_void_v<R>) {
            askWindow([&] { f(); });
        } else {
            std::optional<R> result;
            askWindow([&] { result.emplace(f()); });
            return std::move(*result);
        }
    }

    // The window's thread waits for a sequence on the wire: an event it
    // handles now comes from outside that sequence (a click, a timer).
    bool waiting() const { return waiting_; }
    // Ends the running sequence at its next command boundary (outside any
    // CancelHold): it throws LineCancelled there. Commands go out again
    // after clearCancel().
    void cancel() { cancel_ = true; }
    bool cancelling() const { return cancel_; }
    void clearCancel() { cancel_ = false; }

signals:
    // The line has something for the window: a call to make, a sequence's end.
    void woken();

private slots:
    // On the window's thread: the line has something for it.
    void wake();

private:
    struct Task {
        std::function<void()> work;
        bool done = false;
        std::exception_ptr error;
    };
    bool onLine() const;
    void handOver(std::function<void()> work);
    void askWindow(std::function<void()> work);
    void serve();
    void carryOut(Task &task);
    void runWindowTasks();
    void wakeWindow();

    std::unique_ptr<DeviceLink> link_;
    QThread *thread_ = nullptr;
    std::atomic<bool> cancel_{false};
    bool waiting_ = false;   // the window's thread only

    // Shared between the two threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task *> lineTasks_;     // sequences for the line
    std::deque<Task *> windowTasks_;   // calls for the window
    bool stopping_ = false;
    bool finished_ = false;   // the line thread is done with the link
};
