// quvo-emulator: a QUVO controller on a pseudo-terminal published as COM n,
// or on a real serial device.
#include "QuvoVersion.h"
#include "emulator/CommandLog.h"
#include "emulator/ControllerModel.h"
#include "emulator/EmulatorServer.h"
#include "emulator/EmulatorSession.h"
#include "emulator/PortPublisher.h"
#include "emulator/Scenario.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = char(sig);
    (void)!::write(signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the event loop, so the link is withdrawn on the way
// out. SIGUSR1 fires the scenario's rule for "SIGUSR1": a test moves the
// cable at a moment of its choosing, with no command on the line.
void handleSignals(QCoreApplication &app, EmulatorSession &session)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, &session] {
        char c = 0;
        (void)!::read(signalPipe[0], &c, 1);
        if (c == SIGUSR1)
            session.event("SIGUSR1");
        else
            app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGUSR1, &sa, nullptr);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "quvo-emulator: %s\n", qPrintable(message));
    return 2;
}

bool writeReadyFile(const QString &path, const QString &content, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content.toLocal8Bit() + '\n') < 0 || !f.commit()) {
        *error = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

// The help's closing text: the fault kinds a scenario can inject and where
// the example scenarios are.
QString helpDescription()
{
    QString text = QStringLiteral(
        "A QUVO controller on a pseudo-terminal published as COM n in the port directory, "
        "or on an existing serial device.\n\n"
        "Faults a scenario's \"faults\" list can inject "
        "({\"command\": \"QVY\", \"fault\": KIND, \"skip\": 0, \"times\": 1 or \"always\"}):\n");
    for (const FaultKindName &kind : faultKindNames())
        text += QStringLiteral("  %1 %2\n").arg(QLatin1String(kind.name), -13).arg(QLatin1String(kind.meaning));
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath()
                                              + QStringLiteral("/" QUVO_SCENARIOS_FROM_BINDIR));
    text += QStringLiteral("\nExample scenarios (demo.json, faulty-line.json):\n"
                           "  installed:   %1%2\n"
                           "  source tree: emulator/scenarios/\n"
                           "Their keys, and the keys each fault takes, are in the manual page: man quvo-emulator.")
                .arg(installed, QDir(installed).exists() ? QString() : QStringLiteral(" (not there: not installed)"));
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quvo-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUVO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(helpDescription());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption comOpt(QStringLiteral("com"), QStringLiteral("Publish the pseudo-terminal as COM <n> (1-255)."), QStringLiteral("n"));
    const QCommandLineOption deviceOpt(QStringLiteral("device"), QStringLiteral("Serve this serial device instead of a pseudo-terminal."), QStringLiteral("path"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"), QStringLiteral("Line speed that paces the replies (default 9600)."), QStringLiteral("rate"), QStringLiteral("9600"));
    const QCommandLineOption scenarioOpt(QStringLiteral("scenario"), QStringLiteral("Initial state and faults (JSON)."), QStringLiteral("file"));
    const QCommandLineOption logOpt(QStringLiteral("log"), QStringLiteral("Append one line per command received, reply sent and fault fired; - is standard output."), QStringLiteral("file"));
    const QCommandLineOption salesOpt(QStringLiteral("simulate-sales"), QStringLiteral("Sell a column every few seconds."));
    const QCommandLineOption readyOpt(QStringLiteral("ready-file"), QStringLiteral("Written once the port is published."), QStringLiteral("file"));
    parser.addOptions({comOpt, deviceOpt, baudOpt, scenarioOpt, logOpt, salesOpt, readyOpt});
    parser.process(app);

    const bool deviceMode = parser.isSet(deviceOpt);
    int com = 0;
    if (parser.isSet(comOpt)) {
        bool ok = false;
        com = parser.value(comOpt).toInt(&ok);
        if (!ok || com < 1 || com > 255)
            return fail(QStringLiteral("--com must be a number from 1 to 255"));
    } else if (!deviceMode) {
        return fail(QStringLiteral("--com N is required (or --device PATH)"));
    }
    bool ok = false;
    const int baud = parser.value(baudOpt).toInt(&ok);
    if (!ok || baud < 50 || baud > 4000000)
        return fail(QStringLiteral("--baud must be a line speed such as 9600"));

    Scenario scenario;
    QString error;
    if (parser.isSet(scenarioOpt) && !Scenario::fromFile(parser.value(scenarioOpt), &scenario, &error))
        return fail(error);
    if (parser.isSet(salesOpt))
        scenario.sales.enabled = true;

    ControllerModel model(scenario.state);
    model.setRestartDurationMs(scenario.restartMs);
    if (scenario.sales.enabled)
        model.setSalesSimulation(scenario.sales);

    const QString label = com > 0 ? QStringLiteral("COM%1").arg(com) : parser.value(deviceOpt);
    CommandLog log(label);
    if (parser.isSet(logOpt) && !log.open(parser.value(logOpt), &error))
        return fail(error);
    EmulatorSession session(model, scenario.faults, &log);
    EmulatorServer server(session, baud);
    handleSignals(app, session);

    PortPublisher publisher;
    QString shown;
    if (deviceMode) {
        if (!server.startDevice(parser.value(deviceOpt), &error))
            return fail(error);
        shown = server.devicePath();
    } else {
        if (!server.startPty(&error))
            return fail(error);
        if (!publisher.publish(com, server.devicePath(), &error))
            return fail(error);
        shown = publisher.linkPath();
        QObject::connect(&server, &EmulatorServer::vanished, &app, [&publisher] {
            QString why;
            if (!publisher.mask(&why))
                qWarning("quvo-emulator: %s", qPrintable(why));
        });
        QObject::connect(&server, &EmulatorServer::reappeared, &app, [&publisher](const QString &path) {
            QString why;
            if (!publisher.republish(path, &why))
                qWarning("quvo-emulator: %s", qPrintable(why));
        });
    }
    std::printf("%s -> %s\n", qPrintable(shown), qPrintable(server.devicePath()));
    std::fflush(stdout);
    if (parser.isSet(readyOpt) && !writeReadyFile(parser.value(readyOpt), shown, &error))
        return fail(error);

    const int rc = app.exec();
    publisher.withdraw();
    return rc;
}
