// Benchmark, prints figures and never fails on speed: the headless read
// (quvo-utility --read COMn, the reading kept in a journal) against the
// emulator at 9600 baud, beside the wire time of every byte its
// transactions carried plus the program's own start and end
// (quvo-utility --version); target 1.2 times that.
//   bench_read [path-to-quvo-emulator path-to-quvo-utility]
#include "tests/support/EmulatorProcess.h"
#include "tests/support/PortSandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Baud = 9600;
constexpr int ComNumber = 200;
constexpr double ByteSeconds = 10.0 / Baud;
constexpr int Rounds = 5;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// Seconds the program takes with these arguments, or -1 when it fails.
double run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::printf("bench_read: %s %s ended with %d: %s\n", qPrintable(program), qPrintable(arguments.join(' ')),
                    p.exitCode(), p.readAllStandardError().constData());
        return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

// The bytes that crossed the line by the emulator's log: each command with
// its CR, each reply as sent (its bytes other than printable ASCII logged
// as \xNN).
qint64 wireBytes(const QString &log, int *transactions)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression escaped(QStringLiteral("\\\\x[0-9a-fA-F]{2}"));
    qint64 bytes = 0;
    *transactions = 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 4)
            continue;
        const QString text = QString::fromLatin1(line.mid(fields[0].size() + fields[1].size() + fields[2].size() + 3));
        if (fields[2] == ">") {
            bytes += text.size() + 1;
            ++*transactions;
        } else if (fields[2] == "<") {
            bytes += QString(text).replace(escaped, QStringLiteral("?")).size();
        }
    }
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    PortSandbox sandbox;
#if defined(QUVO_EMULATOR_PATH) && defined(QUVO_UTILITY_PATH)
    QString emulatorPath = QStringLiteral(QUVO_EMULATOR_PATH);
    QString utility = QStringLiteral(QUVO_UTILITY_PATH);
#else
    QString emulatorPath;
    QString utility;
#endif
    if (argc > 2) {
        emulatorPath = QString::fromLocal8Bit(argv[1]);
        utility = QString::fromLocal8Bit(argv[2]);
    }
    if (!QFile::exists(emulatorPath) || !QFile::exists(utility)) {
        std::printf("bench_read: no emulator or no utility; no figures\n");
        return 0;
    }
    QTemporaryDir data;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));

    QList<double> starts;
    for (int round = 0; round < Rounds; ++round)
        starts << run(utility, {QStringLiteral("--version")}, env);

    QList<double> reads;
    qint64 bytes = 0;
    int transactions = 0;
    for (int round = 0; round < Rounds; ++round) {
        // A fresh emulator a round: its log holds this read alone.
        EmulatorProcess emulator(emulatorPath, sandbox.runtimeDir());
        if (!emulator.startAt(ComNumber, QByteArray(), {QStringLiteral("--baud"), QString::number(Baud)})) {
            std::printf("bench_read: the emulator did not start; no figures\n");
            return 0;
        }
        reads << run(utility, {QStringLiteral("--read"), QStringLiteral("COM%1").arg(ComNumber)}, env);
        bytes = wireBytes(emulator.logPath(), &transactions);
    }
    if (std::count(starts.begin(), starts.end(), -1.0) > 0 || std::count(reads.begin(), reads.end(), -1.0) > 0
        || bytes == 0) {
        std::printf("bench_read: a run failed; no figures\n");
        return 0;
    }
    const double start = median(starts);
    const double read = median(reads);
    const double wire = bytes * ByteSeconds;
    std::printf("program start and end (--version): median %.3f s of %d\n", start, Rounds);
    std::printf("--read COM%d at %d baud, kept in the journal: median %.3f s of %d (best %.3f s) for %d "
                "transactions; wire time %.3f s (%lld bytes) + start %.3f s = %.3f s; ratio %.2f (target 1.2)\n",
                ComNumber, Baud, read, Rounds, *std::min_element(reads.begin(), reads.end()), transactions, wire,
                bytes, start, wire + start, read / (wire + start));
    return 0;
}
