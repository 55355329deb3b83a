#include "tests/support/EmulatorProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QtTest>
#include <csignal>

EmulatorProcess::EmulatorProcess(QString program, QString dir)
    : program_(std::move(program)), dir_(std::move(dir))
{
}

EmulatorProcess::~EmulatorProcess()
{
    stop();
}

bool EmulatorProcess::start(const QByteArray &scenario, QStringList args)
{
    const QDir dir(dir_);
    const QString ready = dir.filePath(QStringLiteral("ready-%1").arg(++count_));
    if (!scenario.isEmpty()) {
        QFile f(dir.filePath(QStringLiteral("scenario-%1.json").arg(count_)));
        if (!f.open(QIODevice::WriteOnly) || f.write(scenario) != scenario.size())
            return false;
        args << QStringLiteral("--scenario") << f.fileName();
    }
    args << QStringLiteral("--ready-file") << ready;
    p_.start(program_, args);
    if (!p_.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(ready) && !deadline.hasExpired()) {
        if (p_.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(10);
    }
    return QFile::exists(ready);
}

bool EmulatorProcess::startAt(int com, const QByteArray &scenario, QStringList args)
{
    log_ = QDir(dir_).filePath(QStringLiteral("commands-%1.log").arg(count_ + 1));
    return start(scenario, QStringList{QStringLiteral("--com"), QString::number(com),
                                       QStringLiteral("--log"), log_} + args);
}

QStringList EmulatorProcess::commands() const
{
    QFile f(log_);
    QStringList out;
    if (log_.isEmpty() || !f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 4 && parts[2] == ">")
            out << QString::fromUtf8(line.mid(parts[0].size() + parts[1].size() + 4));
    }
    return out;
}

void EmulatorProcess::signal(int sig)
{
    ::kill(pid_t(p_.processId()), sig);
}

void EmulatorProcess::stop()
{
    if (p_.state() != QProcess::NotRunning) {
        p_.terminate();
        if (!p_.waitForFinished(5000))
            p_.kill();
        p_.waitForFinished(1000);
    }
}
