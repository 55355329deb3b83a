#include "link/LineThread.h"

#include <QEventLoop>
#include <QThread>

#include <algorithm>

LineThread::LineThread(std::unique_ptr<PortIo> port, QObject *parent)
    : QObject(parent), link_(std::make_unique<DeviceLink>(std::move(port)))
{
    link_->setCancelFlag(&cancel_);
    thread_ = QThread::create([this] { serve(); });
    thread_->setObjectName(QStringLiteral("line"));
    link_->port().moveToThread(thread_);
    thread_->start();
}

LineThread::~LineThread()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cancel_ = true;
    changed_.notify_all();
    {
        // Waited for here, not only through the thread's end: the link
        // went on that thread, and this is what orders it before the rest.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return finished_; });
    }
    thread_->wait();
    delete thread_;
}

bool LineThread::onLine() const
{
    return QThread::currentThread() == thread_;
}

void LineThread::handOver(std::function<void()> work)
{
    Task task;
    task.work = std::move(work);
    {
        const std::lock_guard lock(mutex_);
        lineTasks_.push_back(&task);
    }
    changed_.notify_all();
    // Events handled from here on come from outside the sequence, unless
    // the line asks the window for something (runWindowTasks).
    const bool outer = waiting_;
    waiting_ = true;
    for (;;) {
        runWindowTasks();
        QEventLoop loop;
        connect(this, &LineThread::woken, &loop, &QEventLoop::quit);
        {
            // Checked after connecting: a wake-up posted from here on ends
            // the loop below, one posted before is already accounted for.
            const std::lock_guard lock(mutex_);
            if (task.done)
                break;
            if (!windowTasks_.empty())
                continue;
        }
        loop.exec();
    }
    waiting_ = outer;
    if (task.error)
        std::rethrow_exception(task.error);
}

void LineThread::askWindow(std::function<void()> work)
{
    Task task;
    task.work = std::move(work);
    {
        const std::lock_guard lock(mutex_);
        windowTasks_.push_back(&task);
    }
    wakeWindow();
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return task.done || stopping_ || !lineTasks_.empty(); });
        if (task.done)
            break;
        if (!lineTasks_.empty()) {
            // A sequence the window starts while answering (a read-back
            // inside an operation): it belongs to this one, here and now.
            Task *inner = lineTasks_.front();
            lineTasks_.pop_front();
            lock.unlock();
            carryOut(*inner);
            lock.lock();
            continue;
        }
        // The window is going away without answering: the sequence ends.
        windowTasks_.erase(std::remove(windowTasks_.begin(), windowTasks_.end(), &task), windowTasks_.end());
        throw LineCancelled{};
    }
    lock.unlock();
    if (task.error)
        std::rethrow_exception(task.error);
}

void LineThread::serve()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !lineTasks_.empty(); });
        if (lineTasks_.empty())
            break;
        Task *task = lineTasks_.front();
        lineTasks_.pop_front();
        lock.unlock();
        carryOut(*task);
        lock.lock();
    }
    lock.unlock();
    // The port's objects belong to this thread: they end here.
    link_.reset();
    // Told under the lock: the waiting destructor may end the condition
    // variable as soon as it holds the lock again.
    lock.lock();
    finished_ = true;
    changed_.notify_all();
}

void LineThread::carryOut(Task &task)
{
    try {
        task.work();
    } catch (...) {
        task.error = std::current_exception();
    }
    {
        const std::lock_guard lock(mutex_);
        task.done = true;
    }
    changed_.notify_all();
    wakeWindow();
}

void LineThread::runWindowTasks()
{
    for (;;) {
        Task *task = nullptr;
        {
            const std::lock_guard lock(mutex_);
            if (windowTasks_.empty())
                return;
            task = windowTasks_.front();
            windowTasks_.pop_front();
        }
        // The window answers inside the sequence: what it does now is part of it.
        const bool outer = waiting_;
        waiting_ = false;
        try {
            task->work();
        } catch (...) {
            task->error = std::current_exception();
        }
        waiting_ = outer;
        {
            const std::lock_guard lock(mutex_);
            task->done = true;
        }
        changed_.notify_all();
    }
}

void LineThread::wakeWindow()
{
    // Whatever loop the window's thread is in (a box's, the wait above)
    // carries out the line's calls; the wait also re-checks its sequence.
    // Posted by name: nothing of the line's own goes across with it, so all
    // that passes between the threads passes under mutex_.
    QMetaObject::invokeMethod(this, "wake", Qt::QueuedConnection);
}

void LineThread::wake()
{
    runWindowTasks();
    emit woken();
}
