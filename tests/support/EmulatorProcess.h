#pragma once
// One quvo-emulator process for a test, started with a scenario and
// stopped with the test.
#include <QProcess>
#include <QStringList>

class EmulatorProcess {
public:
    // `dir` takes its scenario, ready and log files.
    EmulatorProcess(QString program, QString dir);
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess &) = delete;
    EmulatorProcess &operator=(const EmulatorProcess &) = delete;

    // Starts it with this scenario (none when empty) and these arguments;
    // true once it has published its port.
    bool start(const QByteArray &scenario, QStringList args = {});
    // The same, published as COM `com` and logging every command it receives.
    bool startAt(int com, const QByteArray &scenario, QStringList args = {});

    // Arguments for a test that does not look at line timing: replies come
    // at a line speed that keeps a connection's full read short.
    static QStringList fastLine() { return {QStringLiteral("--baud"), QStringLiteral("115200")}; }

    QString logPath() const { return log_; }
    // The commands logged so far, in order (the lines marked ">", from their fourth field).
    QStringList commands() const;

    void signal(int sig);
    bool waitForExit(int ms = 5000) { return p_.waitForFinished(ms); }
    void stop();
    QProcess &process() { return p_; }

private:
    QString program_;
    QString dir_;
    QString log_;
    QProcess p_;
    static inline int count_ = 0;   // file names unique across instances
};
