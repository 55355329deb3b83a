// Benchmark, prints figures and never fails on speed: the gaps inside a
// reply paced at 9600 baud (what the link's quiet gap must outlast); the
// time from the connect click to the first "QVY", a price setting and a
// counter clear, each beside the wire time of what crossed the line; the
// poll's ticks per second beside its limit; and for each of those, the
// options write with its restart and a dead line, how long the window's
// event loop went without handling an event and the share of the time it
// was held.
//   bench_connect [path-to-quvo-emulator]
// The emulator built beside it is the default.
#include "link/DeviceLink.h"
#include "link/PortNamespace.h"
#include "link/SerialPortIo.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/PortSandbox.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int Baud = 9600;
constexpr int ComNumber = 200;
constexpr double ByteSeconds = 10.0 / Baud;

// The real serial port with every write and read noted on one clock.
class CountingPort : public PortIo {
public:
    struct Event {
        bool write;
        QByteArray bytes;
        qint64 startNs, endNs;
        int asked = 0;
    };
    // The line thread notes, the window's thread reads: one lock for both.
    struct Events {
        std::mutex lock;
        QList<Event> list;
        QList<Event> snapshot()
        {
            const std::lock_guard hold(lock);
            return list;
        }
        void append(Event e)
        {
            const std::lock_guard hold(lock);
            list.append(std::move(e));
        }
    };
    CountingPort(QElapsedTimer *clock, Events *events) : clock_(clock), events_(events) {}
    void moveToThread(QThread *thread) override { port_.moveToThread(thread); }
    bool open(const QString &p) override { return port_.open(p); }
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }
    int drain(int quietMs, int listenMs, int boundMs) override { return port_.drain(quietMs, listenMs, boundMs); }
    void write(const QByteArray &b) override
    {
        const qint64 t = clock_->nsecsElapsed();
        port_.write(b);
        events_->append({true, b, t, clock_->nsecsElapsed()});
    }
    PortRead read(int maxBytes, int timeoutMs, int quietMs, int confirmMs) override
    {
        const qint64 t = clock_->nsecsElapsed();
        PortRead got = port_.read(maxBytes, timeoutMs, quietMs, confirmMs);
        events_->append({false, got.bytes, t, clock_->nsecsElapsed(), maxBytes});
        return got;
    }

private:
    SerialPortIo port_;
    QElapsedTimer *clock_;
    Events *events_;
};

// Sends each command straight to the port and notes when each piece of its
// reply arrives; prints the gaps between pieces before the final CR.
void measureReplyGaps(const QString &path)
{
    QSerialPort port(path);
    port.setBaudRate(Baud);
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("reply gaps: port not opened\n");
        return;
    }
    QList<double> gaps;
    int replies = 0;
    for (int round = 0; round < 10; ++round) {
        for (const char *command : {"QVV", "QVC", "QVROB", "QVRP0"}) {
            port.write(QByteArray(command) + '\r');
            port.waitForBytesWritten(100);
            QByteArray got;
            QElapsedTimer t;
            t.start();
            qint64 last = -1;
            QList<double> own;
            // Until the CR and 60 ms of silence after it (or 1 s).
            while (t.elapsed() < 1000) {
                const bool done = got.indexOf('\r', 6) >= 0;
                if (!port.waitForReadyRead(done ? 60 : 200)) {
                    if (done)
                        break;
                    continue;
                }
                const qint64 now = t.nsecsElapsed();
                if (last >= 0 && got.indexOf('\r', 6) < 0)
                    own.append((now - last) / 1e6);
                last = now;
                got += port.readAll();
            }
            ++replies;
            gaps += own;
        }
    }
    std::sort(gaps.begin(), gaps.end());
    if (gaps.isEmpty()) {
        std::printf("reply gaps: none measured\n");
        return;
    }
    auto at = [&](double q) { return gaps[std::min<int>(int(gaps.size()) - 1, int(q * gaps.size()))]; };
    std::printf("gaps between the pieces of one reply (%d replies, %lld gaps): median %.2f ms, 99%% %.2f ms, "
                "max %.2f ms; the link's quiet gap after a CR: %d ms\n",
                replies, qlonglong(gaps.size()), at(0.5), at(0.99), gaps.last(), DeviceLink::QuietGapMs);
}

// Time from the first write to the end of the last read among events
// [from, to), beside the wire time of every byte those exchanges carried.
void printSpan(const char *what, const QList<CountingPort::Event> &events, int from, int to)
{
    if (from >= to) {
        std::printf("%s: nothing exchanged\n", what);
        return;
    }
    qint64 bytes = 0;
    int transactions = 0;
    for (int i = from; i < to; ++i) {
        bytes += events[i].bytes.size();
        transactions += events[i].write ? 1 : 0;
    }
    const double took = (events[to - 1].endNs - events[from].startNs) / 1e9;
    const double wire = bytes * ByteSeconds;
    std::printf("%s: %.3f s for %d transactions; wire time %.3f s (%lld bytes); ratio %.2f (limit 1.2)\n", what,
                took, transactions, wire, bytes, took / wire);
}

// Times the window's event loop with a 5 ms timer: a stretch between two of
// its ticks longer than a frame (16 ms) is time the window did not answer.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        longestNs_ = blockedNs_ = 0;
        span_.start();
        last_.start();
        timer_.start();
    }
    void stop(const char *what)
    {
        tick();
        timer_.stop();
        const qint64 total = span_.nsecsElapsed();
        std::printf("  window during %s: longest stall %.0f ms, held %.1f%% of %.2f s (goal: 50 ms, 2%%)\n", what,
                    longestNs_ / 1e6, total > 0 ? 100.0 * blockedNs_ / total : 0.0, total / 1e9);
    }

private:
    void tick()
    {
        const qint64 gap = last_.nsecsElapsed();
        last_.start();
        longestNs_ = std::max(longestNs_, gap);
        if (gap > 16000000)
            blockedNs_ += gap;
    }
    QTimer timer_;
    QElapsedTimer span_, last_;
    qint64 longestNs_ = 0, blockedNs_ = 0;
};

int indexOfWrite(const QList<CountingPort::Event> &events, const QByteArray &bytes, int from)
{
    for (int i = from; i < int(events.size()); ++i)
        if (events[i].write && events[i].bytes == bytes)
            return i;
    return -1;
}

void runFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initUiResources();
    installFontSubstitutions();
    PortSandbox sandbox;

#ifdef QUVO_EMULATOR_PATH
    QString emulatorPath = QStringLiteral(QUVO_EMULATOR_PATH);
#else
    QString emulatorPath;
#endif
    if (argc > 1)
        emulatorPath = QString::fromLocal8Bit(argv[1]);
    if (emulatorPath.isEmpty() || !QFile::exists(emulatorPath)) {
        std::printf("bench_connect: no emulator; no figures\n");
        return 0;
    }
    EmulatorProcess emulator(emulatorPath, sandbox.runtimeDir());
    emulator.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!emulator.startAt(ComNumber, QByteArray(), {QStringLiteral("--baud"), QString::number(Baud)})) {
        std::printf("bench_connect: the emulator did not start; no figures\n");
        return 0;
    }
    measureReplyGaps(PortNamespace::devicePath(ComNumber));

    QElapsedTimer clock;
    CountingPort::Events counted;
    clock.start();
    TDataSetDialog dialog;
    TMainForm form(std::make_unique<CountingPort>(&clock, &counted));
    form.setDataSetDialog(&dialog);
    form.show();
    QCoreApplication::processEvents();
    ModalAnswerer answerer(&form);
    StallMeter meter;

    const qint64 clickNs = clock.nsecsElapsed();
    meter.start();
    form.ConBtnClick();
    QElapsedTimer guard;
    guard.start();
    while (indexOfWrite(counted.snapshot(), "QVY\r", 0) < 0 && guard.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QList<CountingPort::Event> events = counted.snapshot();
    const int q = indexOfWrite(events, "QVY\r", 0);
    if (form.Connected != 1 || q < 0) {
        std::printf("bench_connect: no connection or no poll (connected %d); no figures\n", form.Connected);
        return 0;
    }

    // Every exchange before the first QVY, and the 100 ms before the first tick.
    qint64 bytes = 0;
    for (int i = 0; i < q; ++i)
        bytes += events[i].bytes.size();
    const double toQvy = (events[q].startNs - clickNs) / 1e9;
    const double wire = bytes * ByteSeconds;
    std::printf("bench_connect against quvo-emulator at %d baud, COM%d\n", Baud, ComNumber);
    std::printf("connect click -> first QVY: %.3f s after %d transactions; wire time %.3f s (%lld bytes) + 0.100 s"
                " before the first tick; ratio %.2f (limit 1.2)\n",
                toQvy, q / 2, wire, bytes, toQvy / (wire + 0.1));
    meter.stop("the connection");

    // A price setting and a counter clear through the window, as the
    // operator starts them; the span runs from "QVU1" to the end of the
    // read-back.
    auto operation = [&](const char *what, const char *span, const std::function<void()> &start) {
        const int from = int(counted.snapshot().size());
        meter.start();
        start();
        meter.stop(what);
        events = counted.snapshot();
        const int open = indexOfWrite(events, "QVU1\r", from);
        printSpan(span, events, open < 0 ? from : open, int(events.size()));
    };
    answerer.actions << ModalAnswerer::enter(QStringLiteral("12.5"));
    operation("a price setting", "price setting QVU1 -> last read-back", [&] { form.OptGrid1SelectCell(1, 2); });
    answerer.actions << ModalAnswerer::press(QMessageBox::Ok);
    operation("a counter clear", "counter clear QVU1 -> last read-back", [&] { form.CntClrBtnClick(); });

    // The poll over 30 s.
    int from = int(counted.snapshot().size());
    const qint64 startNs = clock.nsecsElapsed();
    meter.start();
    runFor(30000);
    meter.stop("30 s of polling");
    const qint64 spanNs = clock.nsecsElapsed() - startNs;
    events = counted.snapshot();
    int ticks = 0;
    qint64 pollBytes = 0;
    for (int i = from; i < events.size(); ++i) {
        if (events[i].write && events[i].bytes == "QVY\r")
            ++ticks;
        pollBytes += events[i].bytes.size();
    }
    const double qvyWire = (4 + 9) * ByteSeconds;
    const double limit = 1.0 / (0.1 + qvyWire);
    // Every fifth tick also carries 16 x QVRC, QVREA and QVC.
    const double refreshWire = (16 * (6 + 11) + (6 + 15) + (4 + 26)) * ByteSeconds;
    const double cycleLimit = 5.0 / (5 * (0.1 + qvyWire) + refreshWire);
    const double rate = ticks / (spanNs / 1e9);
    std::printf("poll: %d ticks in %.3f s = %.2f ticks/s\n", ticks, spanNs / 1e9, rate);
    std::printf("  limit 1 / (100 ms + QVY exchange %.1f ms) = %.2f ticks/s; ratio %.2f\n", qvyWire * 1e3, limit,
                rate / limit);
    std::printf("  limit with the refresh every fifth tick (+%.1f ms of wire) = %.2f ticks/s; ratio %.2f\n",
                refreshWire * 1e3, cycleLimit, rate / cycleLimit);
    // One exchange measured from the write to the end of its read.
    double qvyNs = 0, otherNs = 0, otherWire = 0;
    int qvyCount = 0, otherCount = 0;
    for (int i = from; i + 1 < int(events.size()); ++i) {
        const auto &w = events[i], &r = events[i + 1];
        if (!w.write || r.write)
            continue;
        if (w.bytes == "QVY\r") {
            qvyNs += r.endNs - w.startNs;
            ++qvyCount;
        } else {
            otherNs += r.endNs - w.startNs;
            otherWire += (w.bytes.size() + r.bytes.size()) * ByteSeconds;
            ++otherCount;
        }
    }
    if (qvyCount)
        std::printf("  one QVY exchange: %.1f ms measured, %.1f ms of wire\n", qvyNs / qvyCount / 1e6, qvyWire * 1e3);
    if (otherCount)
        std::printf("  one refresh read: %.1f ms measured, %.1f ms of wire\n", otherNs / otherCount / 1e6,
                    otherWire / otherCount * 1e3);
    std::printf("  bytes on the line while polling: %lld (%.1f%% of the line's capacity)\n", pollBytes,
                100.0 * pollBytes * ByteSeconds / (spanNs / 1e9));

    // The options write: its box, the settings, "QVW", the restart notice,
    // the restart and the disconnection it ends with.
    answerer.actions << ModalAnswerer::press(QMessageBox::Ok) << ModalAnswerer::press(QMessageBox::Ok);
    from = int(counted.snapshot().size());
    meter.start();
    form.SendSalesBtnClick();
    meter.stop("the options write with its restart");
    events = counted.snapshot();
    const int sentFrom = indexOfWrite(events, "QVU1\r", from);
    printSpan("options write QVU1 -> restart", events, sentFrom < 0 ? from : sentFrom, int(events.size()));
    std::printf("  (the span holds the 300 ms the controller is given to store before the restart)\n");
    if (form.Connected != 0)
        form.ConBtnClick();

    // A controller that falls silent after the connect read (QV, QVV and 46
    // reads), published above the first so that the search finds it first:
    // how long the window goes without handling an event, which bounds how
    // late a click on 切断 takes effect.
    EmulatorProcess silent(emulatorPath, sandbox.runtimeDir());
    silent.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QByteArray silentScenario = R"({"faults": [{"command": "*", "fault": "silence", "skip": 48, "times": "always"}]})";
    if (silent.startAt(ComNumber + 10, silentScenario, {QStringLiteral("--baud"), QString::number(Baud)})) {
        answerer.setAlways(ModalAnswerer::press(QMessageBox::Ok));
        meter.start();
        form.ConBtnClick();
        runFor(4000);
        std::printf("silent line (connected to COM%d: %d):\n", ComNumber + 10, form.Connected);
        meter.stop("a dead line, 4 s from the click on 接続");
        // The click arrives from outside while the window is most likely
        // waiting on a transaction, as an operator's would.
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> postedAt{-1};
        std::thread clicker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(350));
            postedAt = clock.elapsed();
            QMetaObject::invokeMethod(&form, [&] { form.ConBtnClick(); }, Qt::QueuedConnection);
        });
        while ((form.Connected == 1 || postedAt < 0) && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        clicker.join();
        std::printf("  a click on 切断 posted during the silent poll took effect after %lld ms\n",
                    clock.elapsed() - postedAt);
    }
    form.close();
    return 0;
}
