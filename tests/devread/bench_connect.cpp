// Benchmark, prints figures and never fails on speed: the time from the
// connect click to the first "QVY" against a controller paced at 9600 baud,
// beside the wire time of what crossed the line; then the poll's ticks per
// second beside its limit.
//   bench_connect [path-to-quvo-emulator]
// The emulator built beside it is the default.
#include "link/SerialPortIo.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/PortSandbox.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/TMainForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <memory>

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
    CountingPort(QElapsedTimer *clock, QList<Event> *events) : clock_(clock), events_(events) {}
    bool open(const QString &p) override { return port_.open(p); }
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }
    void clearInput() override { port_.clearInput(); }
    void write(const QByteArray &b) override
    {
        const qint64 t = clock_->nsecsElapsed();
        port_.write(b);
        events_->append({true, b, t, clock_->nsecsElapsed()});
    }
    QByteArray read(int maxBytes, int timeoutMs) override
    {
        const qint64 t = clock_->nsecsElapsed();
        QByteArray got = port_.read(maxBytes, timeoutMs);
        events_->append({false, got, t, clock_->nsecsElapsed(), maxBytes});
        return got;
    }

private:
    SerialPortIo port_;
    QElapsedTimer *clock_;
    QList<Event> *events_;
};

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
    InitUiResources();
    InstallFontSubstitutions();
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

    QElapsedTimer clock;
    QList<CountingPort::Event> events;
    clock.start();
    TMainForm form(std::make_unique<CountingPort>(&clock, &events));
    form.show();
    QCoreApplication::processEvents();

    const qint64 clickNs = clock.nsecsElapsed();
    form.ConBtnClick();
    auto firstQvy = [&]() -> int {
        for (int i = 0; i < int(events.size()); ++i)
            if (events[i].write && events[i].bytes == "QVY\r")
                return i;
        return -1;
    };
    QElapsedTimer guard;
    guard.start();
    while (firstQvy() < 0 && guard.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const int q = firstQvy();
    if (form.Connected != 1 || q < 0) {
        std::printf("bench_connect: no connection or no poll (connected %d); no figures\n", form.Connected);
        return 0;
    }

    // Every exchange before the first QVY. A read that asked for more than
    // came ends at the 750 ms read time-out, its own bytes crossing within it.
    qint64 sent = 0, received = 0, shortReads = 0, transactions = 0;
    double limitWithWaits = 0;
    for (int i = 0; i + 1 < q; i += 2) {
        const auto &w = events[i], &r = events[i + 1];
        if (!w.write || r.write)
            continue;
        ++transactions;
        sent += w.bytes.size();
        received += r.bytes.size();
        const double exchange = (w.bytes.size() + r.bytes.size()) * ByteSeconds;
        if (r.bytes.size() < r.asked) {
            ++shortReads;
            limitWithWaits += qMax(exchange, 0.750);
        } else {
            limitWithWaits += exchange;
        }
    }
    const double toQvy = (events[q].startNs - clickNs) / 1e9;
    const double wire = (sent + received) * ByteSeconds;
    std::printf("bench_connect against quvo-emulator at %d baud, COM%d\n", Baud, ComNumber);
    std::printf("connect click -> first QVY: %.3f s after %lld transactions\n", toQvy, transactions);
    std::printf("  wire-time limit: (%lld sent + %lld received bytes) x 10 / %d = %.3f s; ratio %.2f\n",
                sent, received, Baud, wire, toQvy / wire);
    std::printf("  reads asking for more than the controller sends (QVV 100, QVROA/B/C 40, QVRON 10): %lld,\n"
                "  each waiting the full 750 ms read time-out as specified\n", shortReads);
    std::printf("  limit with those waits and the 100 ms before the first tick: %.3f s; ratio %.2f\n",
                limitWithWaits + 0.1, toQvy / (limitWithWaits + 0.1));

    // The poll: QVY writes over a measured stretch.
    const int from = int(events.size());
    const qint64 startNs = clock.nsecsElapsed();
    runFor(6000);
    const qint64 spanNs = clock.nsecsElapsed() - startNs;
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

    form.ConBtnClick();
    form.close();
    return 0;
}
