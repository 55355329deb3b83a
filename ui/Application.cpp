#include "ui/Application.h"

#include "device/HeadlessRead.h"
#include "device/ReadingJson.h"
#include "journal/AuditExport.h"
#include "journal/Fleet.h"
#include "journal/ReadingCsv.h"
#include "journal/Journal.h"
#include "journal/JournalCsv.h"
#include "journal/OutputFile.h"
#include "ui/AccessibleComboBox.h"
#include "ui/Fonts.h"
#include "ui/MessageBoxes.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"
#include "ui/TSubForm.h"
#include "ui/VisitReport.h"

#include "QuvoVersion.h"

#include <QApplication>
#include <QGuiApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The application's error display at the event level: an error that
// escapes a handler is shown in a box and the event loop goes on.
class UtilityApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            showApplicationError(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            showApplicationError(QString());
        }
        return false;
    }
};

// Qt's GUI looks in the session's runtime directory as it starts (for a
// sandbox's marker file). Without XDG_RUNTIME_DIR (su, cron) it warns on
// standard error and makes /tmp/runtime-<user>, for nothing this program
// keeps there. Where the session gave none, an empty private directory
// stands in while the application starts; the variable is unset again
// afterwards, so that the port directory keeps its own fallback
// (/tmp/quvo-ports-<uid>).
class StartWithoutSessionRuntime {
public:
    StartWithoutSessionRuntime()
    {
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            return;
        stand_.emplace();
        standing_ = stand_->isValid() && qputenv("XDG_RUNTIME_DIR", QFile::encodeName(stand_->path()));
    }
    ~StartWithoutSessionRuntime()
    {
        if (standing_)
            qunsetenv("XDG_RUNTIME_DIR");
    }
    StartWithoutSessionRuntime(const StartWithoutSessionRuntime &) = delete;
    StartWithoutSessionRuntime &operator=(const StartWithoutSessionRuntime &) = delete;

private:
    std::optional<QTemporaryDir> stand_;
    bool standing_ = false;
};

struct CommandLine {
    bool valid = true;
    QString journalPath;   // empty: the default place
    bool noJournal = false;
    std::optional<QString> exportTo;
    std::optional<QString> readPort;   // --read: COMn or auto
    QString output = QStringLiteral("-");
    enum class Format { Json, Csv, Dex } format = Format::Json;   // --format
    std::optional<QString> backupTo;
    std::optional<QString> auditTo;    // --export-dex
    std::optional<QString> reportTo;   // --report
    QString controller;                // --controller: one history only
    bool bom = false;
    QStringList mergeFrom;             // --merge-journal (and the files after it)
    std::optional<QString> technician; // --technician
    std::optional<QString> fleetTo;    // --fleet
    int staleDays = 30;                // --stale-days
};

// --output naming a folder: one that exists, or a name ending in '/'.
bool namesFolder(const QString &output)
{
    return output != QLatin1String("-") && (output.endsWith(QLatin1Char('/')) || QFileInfo(output).isDir());
}

// --help and --version print and end the program; without arguments it
// opens the window. Not valid for an argument the program does not take.
CommandLine processCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Maintenance utility for the QUVO coin-handling controller: click 接続 to search the "
        "serial ports COM255 down to COM1 for the controller."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("Keep the machine journal in <file> instead of %1.")
                                         .arg(Journal::defaultPath()),
                                     QStringLiteral("file"));
    const QCommandLineOption noJournal(QStringLiteral("no-journal"), QStringLiteral("Keep no journal in this run."));
    const QCommandLineOption exportJournal(
        QStringLiteral("export-journal"),
        QStringLiteral("Write the whole journal as CSV to <file> (- for standard output) and end."),
        QStringLiteral("file"));
    const QCommandLineOption read(
        QStringLiteral("read"),
        QStringLiteral("Read the controller on <port> (COMn, or auto to search as 接続 does) without a window, "
                       "record the reading in the journal, print it (see --format) and end: 0 every value read, "
                       "3 some value not read, 2 no controller answered, 1 a usage, port or output error. "
                       "Nothing is written to the controller."),
        QStringLiteral("port"));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("With --read: json, csv, or dex for the reading's audit file (EVA-DTS)."),
        QStringLiteral("form"), QStringLiteral("json"));
    const QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("With --read: write to <file> instead of standard output. With --format dex, a folder (one "
                       "that exists, or a name ending in /) gets the audit file as a new file named as --export-dex "
                       "names it, never over another; its name is printed."),
        QStringLiteral("file"), QStringLiteral("-"));
    const QCommandLineOption backupJournal(
        QStringLiteral("backup-journal"),
        QStringLiteral("Write a consistent copy of the journal to <file> (- for standard output), also while the "
                       "utility records, and end."),
        QStringLiteral("file"));
    const QCommandLineOption bom(QStringLiteral("bom"),
                                 QStringLiteral("Start the CSV of --export-journal with a UTF-8 byte-order mark."));
    const QCommandLineOption exportDex(
        QStringLiteral("export-dex"),
        QStringLiteral("Write the audit file (EVA-DTS) of each machine's last reading to <file> (- for standard "
                       "output; a folder: one file per machine) and end."),
        QStringLiteral("file"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Write the visit report (PDF, A4, each machine on a page of its own: the cash of each counter "
                       "clear of its last visit, the sales between that visit and the one before, the clears and "
                       "writes of the visit) to <file> (- for standard output) and end."),
        QStringLiteral("file"));
    const QCommandLineOption controller(
        QStringLiteral("controller"),
        QStringLiteral("With --export-dex or --report: only the machine with this asset number or identification text."),
        QStringLiteral("text"));
    const QCommandLineOption mergeJournal(
        QStringLiteral("merge-journal"),
        QStringLiteral("Add to the journal every event of the journal <file> (and of the files after it) that it "
                       "lacks, and end. The files are read and never changed; copy a journal from another computer "
                       "first, never merge it across the network."),
        QStringLiteral("file"));
    const QCommandLineOption technician(
        QStringLiteral("technician"),
        QStringLiteral("Record the events of this and later runs under the technician <name>, kept in the journal."),
        QStringLiteral("name"));
    const QCommandLineOption fleet(
        QStringLiteral("fleet"),
        QStringLiteral("Write the table of every machine (last visit, sales since the last collection, the register "
                       "at it, what needs a look) as CSV to <file> (- for standard output) and end."),
        QStringLiteral("file"));
    const QCommandLineOption staleDays(
        QStringLiteral("stale-days"),
        QStringLiteral("With --fleet: mark a machine not visited for more than <days> days (default 30)."),
        QStringLiteral("days"), QStringLiteral("30"));
    parser.addOptions({journal, noJournal, exportJournal, backupJournal, bom, read, format, output, exportDex, report,
                       controller, mergeJournal, technician, fleet, staleDays});
    parser.process(app);
    CommandLine line;
    if (parser.isSet(mergeJournal))
        line.mergeFrom = parser.values(mergeJournal) + parser.positionalArguments();
    if (parser.isSet(technician))
        line.technician = parser.value(technician);
    if (!parser.positionalArguments().isEmpty() && line.mergeFrom.isEmpty()) {
        std::fprintf(stderr, "quvo-utility: unexpected argument \"%s\"; see --help\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        line.valid = false;
        return line;
    }
    if (parser.isSet(journal) && parser.isSet(noJournal)) {
        std::fprintf(stderr, "quvo-utility: --journal and --no-journal exclude each other\n");
        line.valid = false;
        return line;
    }
    const auto refuse = [&line](const char *why) {
        std::fprintf(stderr, "quvo-utility: %s; see --help\n", why);
        line.valid = false;
        return line;
    };
    if (parser.isSet(read) && parser.isSet(exportJournal))
        return refuse("--read and --export-journal exclude each other");
    if (!parser.isSet(read) && (parser.isSet(format) || parser.isSet(output)))
        return refuse("--format and --output go with --read");
    const QString form = parser.value(format);
    if (form == QLatin1String("csv"))
        line.format = CommandLine::Format::Csv;
    else if (form == QLatin1String("dex"))
        line.format = CommandLine::Format::Dex;
    else if (form != QLatin1String("json"))
        return refuse("--format takes json, csv or dex");
    if (namesFolder(parser.value(output)) && line.format != CommandLine::Format::Dex)
        return refuse("--output into a folder takes --format dex");
    line.journalPath = parser.value(journal);
    line.noJournal = parser.isSet(noJournal);
    if (parser.isSet(exportJournal) && parser.isSet(backupJournal)) {
        std::fprintf(stderr, "quvo-utility: one of --export-journal and --backup-journal at a time\n");
        line.valid = false;
        return line;
    }
    if (parser.isSet(exportJournal))
        line.exportTo = parser.value(exportJournal);
    if (parser.isSet(read))
        line.readPort = parser.value(read);
    if (int(parser.isSet(exportDex)) + int(parser.isSet(exportJournal)) + int(parser.isSet(backupJournal))
            + int(parser.isSet(read)) + int(parser.isSet(report)) > 1)
        return refuse("--export-dex, --export-journal, --backup-journal, --read and --report exclude each other");
    if (parser.isSet(controller) && !parser.isSet(exportDex) && !parser.isSet(report))
        return refuse("--controller goes with --export-dex or --report");
    if (!line.mergeFrom.isEmpty()
        && (parser.isSet(exportDex) || parser.isSet(exportJournal) || parser.isSet(backupJournal) || parser.isSet(read)
            || parser.isSet(report)))
        return refuse("--merge-journal goes alone with --journal and --technician");
    if ((!line.mergeFrom.isEmpty() || line.technician) && line.noJournal)
        return refuse("--merge-journal and --technician need a journal, not --no-journal");
    if (parser.isSet(fleet)) {
        if (parser.isSet(exportDex) || parser.isSet(exportJournal) || parser.isSet(backupJournal)
            || parser.isSet(read) || parser.isSet(report) || !line.mergeFrom.isEmpty())
            return refuse("--fleet goes alone with --journal and --stale-days");
        line.fleetTo = parser.value(fleet);
    }
    bool daysOk = false;
    line.staleDays = parser.value(staleDays).toInt(&daysOk);
    if (!daysOk || line.staleDays < 0)
        return refuse("--stale-days takes a number of days");
    if (parser.isSet(exportDex))
        line.auditTo = parser.value(exportDex);
    if (parser.isSet(report))
        line.reportTo = parser.value(report);
    line.controller = parser.value(controller);
    line.output = parser.value(output);
    if (parser.isSet(backupJournal))
        line.backupTo = parser.value(backupJournal);
    line.bom = parser.isSet(bom);
    return line;
}

// One line on standard error and the exit code of a usage or file error.
int fail(const QString &why)
{
    std::fprintf(stderr, "quvo-utility: %s\n", qPrintable(why));
    return 1;
}

QString journalPathOf(const CommandLine &line)
{
    return line.journalPath.isEmpty() ? Journal::defaultPath() : line.journalPath;
}

// A journal found damaged as a command opened it, on standard error: where
// it was kept and what of it came over into the new one.
void noteSalvage(const Journal &journal, const QString &path)
{
    if (journal.setAsidePath().isEmpty())
        return;
    const Journal::Salvage &s = journal.salvaged();
    QString text = QStringLiteral("the journal %1 was damaged: kept as %2, ").arg(path, journal.setAsidePath());
    if (s.failed) {
        text += QStringLiteral("nothing of it copied into the new journal, which is empty: %1").arg(s.failure);
    } else {
        text += QStringLiteral("%1 readable events with %2 values and %3 named machines copied into a new journal")
                    .arg(s.events)
                    .arg(s.items)
                    .arg(s.machines);
        if (s.unnamedMachines > 0)
            text += QStringLiteral(", %1 machines without their names").arg(s.unnamedMachines);
        if (s.unreachedEvents > 0)
            text += QStringLiteral("; %1%2 events could not be read")
                        .arg(s.unreachedExact ? QString() : QStringLiteral("about "))
                        .arg(s.unreachedEvents);
    }
    std::fprintf(stderr, "quvo-utility: %s\n", qPrintable(text));
}

// --export-journal and --backup-journal: the journal as CSV or as a copy,
// without a window.
int exportJournal(const CommandLine &line)
{
    const QString path = journalPathOf(line);
    if (line.noJournal)
        return fail(QStringLiteral("%1 needs a journal, not --no-journal")
                        .arg(line.exportTo ? QStringLiteral("--export-journal") : QStringLiteral("--backup-journal")));
    // A user who has not connected to a controller yet has no journal: the
    // export is the header alone, and creates no journal. A journal named on
    // the command line that is not there is more likely a missing stick, and
    // there is nothing to back up.
    const bool none = !QFileInfo::exists(path);
    if (none && (!line.journalPath.isEmpty() || line.backupTo))
        return fail(QStringLiteral("no journal at %1").arg(path));
    Journal journal;
    if (!none && !journal.open(path) && !journal.readOnly())
        return fail(QStringLiteral("cannot open the journal %1: %2").arg(path, journal.problem()));
    noteSalvage(journal, path);
    QString error;
    if (line.backupTo) {
        if (!journal.backupTo(*line.backupTo, &error))
            return fail(QStringLiteral("cannot write %1: %2").arg(*line.backupTo, error));
        return 0;
    }
    if (none) {
        const QByteArray header = (line.bom ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + JournalCsv::header();
        if (!OutputFile::write(*line.exportTo, header, true, &error))
            return fail(QStringLiteral("cannot write %1: %2").arg(*line.exportTo, error));
        return 0;
    }
    if (!journal.exportCsvTo(*line.exportTo, nullptr, line.bom, &error))
        return fail(QStringLiteral("cannot write %1: %2").arg(*line.exportTo, error));
    return 0;
}

// --merge-journal: each file's events into the journal, each in one
// transaction; what came over and what is for the office to decide.
int mergeJournals(const CommandLine &line)
{
    const QString path = journalPathOf(line);
    Journal journal;
    if (!journal.open(path))
        return fail(QStringLiteral("cannot open the journal %1: %2").arg(path, journal.problem()));
    if (line.technician && !journal.setTechnician(*line.technician))
        return fail(QStringLiteral("cannot keep the technician's name: %1").arg(journal.problem()));
    int failed = 0;
    for (const QString &file : line.mergeFrom) {
        const Journal::MergeReport r = journal.mergeFrom(file);
        if (!r.error.isEmpty()) {
            std::fprintf(stderr, "quvo-utility: %s: nothing merged: %s\n", qPrintable(file), qPrintable(r.error));
            ++failed;
            continue;
        }
        std::printf("%s: %d events added, %d already in the journal, %d machines added\n", qPrintable(file),
                    r.added, r.alreadyHere, r.machinesAdded);
        for (const QString &c : r.conflicts)
            std::printf("%s: to decide: %s\n", qPrintable(file), qPrintable(c));
    }
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}

std::optional<int> openToExport(const CommandLine &line, const char *option, Journal &journal);

// --fleet: the table of every machine, as CSV.
int writeFleet(const CommandLine &line)
{
    Journal journal;
    if (const std::optional<int> refused = openToExport(line, "--fleet", journal))
        return *refused;
    QString error;
    if (!OutputFile::write(*line.fleetTo, Fleet::csv(Fleet::rows(journal, QDateTime::currentDateTime(), line.staleDays)),
                           true, &error))
        return fail(QStringLiteral("cannot write %1: %2").arg(*line.fleetTo, error));
    return 0;
}

// The journal the audit file and the report read, or the exit code of why not.
std::optional<int> openToExport(const CommandLine &line, const char *option, Journal &journal)
{
    const QString path = journalPathOf(line);
    if (line.noJournal)
        return fail(QStringLiteral("%1 needs a journal, not --no-journal").arg(QLatin1String(option)));
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("no journal at %1").arg(path));
    if (!journal.open(path) && !journal.readOnly())
        return fail(QStringLiteral("cannot open the journal %1: %2").arg(path, journal.problem()));
    noteSalvage(journal, path);
    return std::nullopt;
}

// The histories --controller names, or all.
QList<JournalController> chosenHistories(Journal &journal, const CommandLine &line)
{
    QList<JournalController> chosen;
    for (const JournalController &c : journal.controllers())
        if (line.controller.isEmpty() || c.asset == line.controller || c.identification == line.controller)
            chosen.append(c);
    return chosen;
}

int noReading(const CommandLine &line)
{
    return fail(line.controller.isEmpty() ? QStringLiteral("the journal holds no reading")
                                          : QStringLiteral("no reading of \"%1\" in the journal").arg(line.controller));
}

// What an audit file leaves out or rolls over, on standard error: the file
// has no field to say it.
void noteAuditGaps(const AuditFile::Reading &r)
{
    QStringList columns;
    for (int c : r.leftOut)
        columns << QString::number(c);
    const QString machine = QString::fromLatin1(AuditFile::serialNumber(r.serial));
    if (!columns.isEmpty())
        std::fprintf(stderr, "quvo-utility: %s: column %s left out of the audit file: price or count never read\n",
                     qPrintable(machine), qPrintable(columns.join(QStringLiteral(", "))));
    if (r.totalUnread)
        std::fprintf(stderr, "quvo-utility: %s: the sales total was never read: VA101 and VA103 left empty\n",
                     qPrintable(machine));
    if (!r.location.isEmpty() && AuditFile::location(r.location).isEmpty())
        std::fprintf(stderr, "quvo-utility: %s: the location is not ASCII: ID105 left empty\n", qPrintable(machine));
    for (const auto &[column, turns] : r.inferredWraps)
        std::fprintf(stderr, "quvo-utility: %s: column %d includes %lld pieces inferred from the money (its count passed 65535)\n",
                     qPrintable(machine), column, static_cast<long long>(turns * 65536));
    const QStringList wide = AuditFile::rolledOver(r);
    if (!wide.isEmpty())
        std::fprintf(stderr, "quvo-utility: %s: wider than its field, rolled over: %s\n", qPrintable(machine),
                     qPrintable(wide.join(QStringLiteral(", "))));
}

// --export-dex: the audit file of each machine's last reading.
int exportAudit(const CommandLine &line)
{
    Journal journal;
    if (const std::optional<int> failed = openToExport(line, "--export-dex", journal))
        return *failed;
    const QString path = journalPathOf(line);
    QList<AuditFile::Reading> readings;
    for (const JournalController &c : chosenHistories(journal, line))
        if (const std::optional<AuditFile::Reading> r = AuditExport::reading(journal, c))
            readings.append(*r);
    if (readings.isEmpty())
        return noReading(line);
    for (const AuditFile::Reading &r : readings)
        noteAuditGaps(r);
    const QString &to = *line.auditTo;
    QString error;
    if (to != QLatin1String("-") && QFileInfo(to).isDir()) {
        for (const AuditFile::Reading &r : readings) {
            const QString file = QDir(to).filePath(AuditExport::fileName(r));
            if (!AuditExport::write(r, file, path, &error))
                return fail(QStringLiteral("cannot write %1: %2").arg(file, error));
        }
        return 0;
    }
    if (readings.size() == 1) {
        if (!AuditExport::write(readings.first(), to, path, &error))
            return fail(QStringLiteral("cannot write %1: %2").arg(to, error));
        return 0;
    }
    // Several files back to back on standard output, a device or a FIFO;
    // one file holds one machine.
    if (OutputFile::wayOf(to) == OutputFile::Way::Replace)
        return fail(QStringLiteral("%1 machines: give a folder, or one with --controller").arg(readings.size()));
    QByteArray files;
    for (const AuditFile::Reading &r : readings)
        files += AuditFile::format(r);
    if (!OutputFile::write(to, files, true, &error))
        return fail(QStringLiteral("cannot write %1: %2").arg(to, error));
    return 0;
}

bool recordIn(Journal &journal, const HeadlessRead::Reading &r)
{
    // A visit of its own: put with the named machine whose figures it
    // continues, as a connection in the window is; never asked about.
    journal.startVisit();
    const bool kept = journal.recordReading(r.identity, r.data, &r.settings, false, &r.read.read) != 0;
    journal.endVisit();
    return kept;
}

// The audit file's figures of the reading just made, as the export takes
// them: since initialisation from the journal it was kept in, or, when none
// was kept, from a journal of this reading alone. Nothing when the reading
// has no count to give.
std::optional<AuditFile::Reading> readingAudit(const HeadlessRead::Reading &r, Journal *kept)
{
    QTemporaryDir alone;
    Journal scratch;
    Journal *journal = kept;
    if (!journal) {
        if (!alone.isValid() || !scratch.open(alone.filePath(QStringLiteral("journal.sqlite"))) || !recordIn(scratch, r))
            return std::nullopt;
        journal = &scratch;
    }
    const std::optional<JournalController> history =
        AuditExport::historyOf(*journal, r.identity.identification, r.identity.version);
    const std::optional<AuditFile::Reading> reading = history ? AuditExport::reading(*journal, *history) : std::nullopt;
    if (reading)
        noteAuditGaps(*reading);
    return reading;
}

// --read: the controller read once, without a window; never a write.
int readController(const CommandLine &line)
{
    // A folder that cannot take the file is known before the port is
    // opened: the run that would fill it ends before reading a controller.
    const bool intoFolder = line.format == CommandLine::Format::Dex && namesFolder(line.output);
    if (intoFolder) {
        if (const QString why = OutputFile::folderProblem(line.output); !why.isEmpty())
            return fail(QStringLiteral("cannot write into %1: %2").arg(line.output, why));
    }
    DeviceLink link;
    const HeadlessRead::Outcome outcome = HeadlessRead::run(link, *line.readPort);
    Journal journal;
    bool kept = false;
    if (outcome.reading && !line.noJournal) {
        const QString path = journalPathOf(line);
        // A journal that cannot be kept is said, not a failure of the read.
        kept = journal.open(path);
        noteSalvage(journal, path);
        kept = kept && (!line.technician || journal.setTechnician(*line.technician)) && recordIn(journal, *outcome.reading);
        if (!kept)
            std::fprintf(stderr, "quvo-utility: the reading is not kept in the journal %s: %s\n", qPrintable(path),
                         qPrintable(journal.problem()));
    }
    if (outcome.reading) {
        QByteArray text;
        switch (line.format) {
        case CommandLine::Format::Json: text = ReadingJson::format(*outcome.reading); break;
        case CommandLine::Format::Csv: text = ReadingCsv::format(*outcome.reading); break;
        case CommandLine::Format::Dex: {
            const std::optional<AuditFile::Reading> audit = readingAudit(*outcome.reading, kept ? &journal : nullptr);
            // Nothing to print, and a read that lacks every count is one
            // with values not read: its own exit code, not a usage error.
            if (!audit) {
                std::fprintf(stderr, "quvo-utility: no sales count was read: no audit file\n");
                return HeadlessRead::SomeUnread;
            }
            text = AuditFile::format(*audit);
            if (intoFolder) {
                // Named as --export-dex names it; the name it got, which a
                // taken one changes, on standard output for the script.
                QString error;
                const QString file = OutputFile::writeInto(line.output, AuditExport::fileName(*audit), text, &error);
                if (file.isEmpty())
                    return fail(QStringLiteral("cannot write into %1: %2").arg(line.output, error));
                std::printf("%s\n", qPrintable(file));
            }
            break;
        }
        }
        QString error;
        if (!intoFolder && !OutputFile::write(line.output, text, false, &error))
            return fail(QStringLiteral("cannot write %1: %2").arg(line.output, error));
    }
    if (!outcome.message.isEmpty())
        std::fprintf(stderr, "quvo-utility: %s\n", qPrintable(outcome.message));
    return outcome.exitCode;
}

// --report: the visit report of each machine, one page each. The page's
// text needs fonts, which come with a QGuiApplication; the offscreen
// platform gives one without a display.
int writeReport(int &argc, char *argv[], const CommandLine &line)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::optional<StartWithoutSessionRuntime> starting(std::in_place);
    QGuiApplication fonts(argc, argv);
    starting.reset();
    installFontSubstitutions();
    Journal journal;
    if (const std::optional<int> failed = openToExport(line, "--report", journal))
        return *failed;
    QList<VisitReport::Page> pages;
    for (const JournalController &c : chosenHistories(journal, line))
        if (const std::optional<VisitReport::Page> page = VisitReport::page(journal, c))
            pages.append(*page);
    if (pages.isEmpty())
        return noReading(line);
    QString error;
    if (!VisitReport::write(pages, *line.reportTo, journalPathOf(line), &error))
        return fail(QStringLiteral("cannot write %1: %2").arg(*line.reportTo, error));
    return 0;
}

// The command line is read before the window's application exists, which
// needs a display: --help, --version, the exports, the report and a command
// line in error answer on a machine with no window system. Returns the exit
// code when the program ends here; otherwise `line` says how to open the
// window.
std::optional<int> runCommandLine(int &argc, char *argv[], CommandLine &line)
{
    {
        QCoreApplication textOnly(argc, argv);
        line = processCommandLine(textOnly);
        if (!line.valid)
            return 1;
        if (!line.mergeFrom.isEmpty())
            return mergeJournals(line);
        if (line.fleetTo)
            return writeFleet(line);
        if (line.exportTo || line.backupTo)
            return exportJournal(line);
        if (line.auditTo)
            return exportAudit(line);
        if (line.readPort)
            return readController(line);
        if (!line.reportTo)
            return std::nullopt;
    }
    return writeReport(argc, argv, line);
}

// SIGTERM (a logout, a supervisor), SIGHUP (the terminal gone) and SIGINT
// end the program as closing the window does: the last counts recorded,
// the journal closed. The handler only wakes the event loop.
int signalPipe[2] = {-1, -1};

void onEndSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Installed before the journal opens: a signal that comes before the
// window waits in the pipe until the window listens.
void catchEndSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}

void endOnSignals(QWidget *window)
{
    if (signalPipe[0] < 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        // A box waiting for the operator is answered as cancelled, so that
        // the operation behind it ends before the window does.
        for (int i = 0; i < 8 && QApplication::activeModalWidget(); ++i)
            QApplication::activeModalWidget()->close();
        QTimer::singleShot(0, window, &QWidget::close);
    });
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quvo-utility-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

void initUiResources()
{
    Q_INIT_RESOURCE(resources);
    AccessibleComboBox::install();
}

int runApplication(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("quvo-utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUVO_VERSION));
    CommandLine line;
    if (const std::optional<int> ended = runCommandLine(argc, argv, line))
        return *ended;
    std::optional<StartWithoutSessionRuntime> starting(std::in_place);
    UtilityApplication app(argc, argv);
    starting.reset();
    initUiResources();
    // The desktop entry's name lets a desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUVO_APP_ID));
    QApplication::setWindowIcon(applicationIcon());
    installFontSubstitutions();
    // Standard buttons and dialogs in Japanese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);

    catchEndSignals();
    // The journal comes first so that it outlives the window recording into it.
    Journal journal;
    if (!line.noJournal && journal.open(line.journalPath.isEmpty() ? Journal::defaultPath() : line.journalPath)
        && line.technician)
        journal.setTechnician(*line.technician);
    if (!journal.setAsidePath().isEmpty())
        showOk(nullptr, journal.salvageNotice(), QStringLiteral("Information"));
    if (!journal.networkFileSystem().isEmpty())
        showOk(nullptr,
               QStringLiteral("%1\n履歴は表示と書き出しだけができます.記録するには, このコンピュータのディスクにある履歴を使って下さい.")
                   .arg(journal.problem()),
               QStringLiteral("Information"));
    std::unique_ptr<TMainForm> mainForm;
    std::unique_ptr<TSubForm> subForm;
    std::unique_ptr<TDataSetDialog> dataSetDialog;
    try {
        mainForm = std::make_unique<TMainForm>();
        subForm = std::make_unique<TSubForm>();
        dataSetDialog = std::make_unique<TDataSetDialog>();
    } catch (const std::exception &e) {
        showApplicationError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
    mainForm->setDataSetDialog(dataSetDialog.get());
    if (!line.noJournal)
        mainForm->setJournal(&journal);
    endOnSignals(mainForm.get());
    mainForm->show();
    return app.exec();
}
