// Benchmark, prints figures and never fails on speed: the time to record a
// full reading (target 10 ms), then on a journal of 10,000 readings the time
// to open and check it, the time the history window takes to open (target
// 1 s) and the CSV export of all of it (target 2 s).
#include "journal/Journal.h"
#include "ui/Application.h"
#include "ui/JournalWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Readings = 10000;

ControllerIdentity machine()
{
    ControllerIdentity c;
    c.portNumber = 5;
    c.devicePath = QStringLiteral("/dev/pts/3");
    c.identification = "BENCH";
    c.version = "ver1.00";
    c.identificationRead = c.versionRead = true;
    return c;
}

// Every settings value as a full read notes it read.
ValueOrigins allRead()
{
    ValueOrigins o;
    for (int k = 0; k < 6; ++k)
        o.read(ValueOrigins::option(k), "01");
    for (int line = 0; line < 3; ++line) {
        o.read(ValueOrigins::line(line, 0), "1");
        o.read(ValueOrigins::line(line, 1), "2");
        o.read(ValueOrigins::line(line, 2), "RECEIPT LINE");
    }
    o.read(ValueOrigins::Identification, "BENCH");
    return o;
}

double percentile(QList<qint64> ns, double p)
{
    std::sort(ns.begin(), ns.end());
    return ns.isEmpty() ? 0 : ns[std::min<qsizetype>(ns.size() - 1, qsizetype(p * ns.size()))] / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initUiResources();
    QTemporaryDir dir;
    Journal journal;
    if (!journal.open(dir.filePath(QStringLiteral("journal.sqlite")))) {
        std::printf("bench_journal: journal not kept (%s); no figures\n", qPrintable(journal.problem()));
        return 0;
    }
    const ControllerIdentity id = machine();
    const ValueOrigins origins = allRead();
    DeviceData data;
    QList<qint64> recordNs;
    recordNs.reserve(Readings);
    QElapsedTimer clock;
    for (int i = 0; i < Readings; ++i) {
        for (int c = 0; c < 16; ++c)
            data.ColumnSalesCount(c) = (i * (c + 1)) % 65536;
        data.SalesTotal() = i * 1000;
        clock.start();
        if (journal.recordReading(id, data, &origins) == 0) {
            std::printf("bench_journal: recording failed (%s); no figures\n", qPrintable(journal.problem()));
            return 0;
        }
        recordNs << clock.nsecsElapsed();
    }
    std::printf("record a full reading (%lld items, one transaction, synced): median %.2f ms, 99%% %.2f ms, "
                "max %.2f ms (target 10 ms)\n",
                static_cast<long long>(journal.items(1).size()), percentile(recordNs, 0.5),
                percentile(recordNs, 0.99), percentile(recordNs, 1.0));

    // The program checks the file at every start before it records.
    journal.close();
    clock.start();
    const bool reopened = journal.open(dir.filePath(QStringLiteral("journal.sqlite")));
    std::printf("open and check a journal of %d readings (%.1f MB): %s in %.3f s\n", Readings,
                QFileInfo(dir.filePath(QStringLiteral("journal.sqlite"))).size() / 1e6,
                reopened ? "kept" : "NOT KEPT", clock.nsecsElapsed() / 1e9);

    clock.start();
    JournalWindow window(journal);
    window.reload();
    window.show();
    QCoreApplication::processEvents();
    std::printf("history window with %d readings: open and first drawn in %.3f s (target 1 s)\n", Readings,
                clock.nsecsElapsed() / 1e9);

    QSaveFile out(dir.filePath(QStringLiteral("export.csv")));
    clock.start();
    const bool exported = out.open(QIODevice::WriteOnly) && journal.exportCsv(out, nullptr) && out.commit();
    const double exportS = clock.nsecsElapsed() / 1e9;
    std::printf("export of %d readings as CSV: %s in %.3f s, %.1f MB (target 2 s)\n", Readings,
                exported ? "written" : "FAILED", exportS,
                QFileInfo(dir.filePath(QStringLiteral("export.csv"))).size() / 1e6);
    return 0;
}
