#pragma once
// One line per command received: local ISO time with milliseconds, the port
// label ("COM5"), the command text. Flushed at once, since tests read it
// while the emulator runs.
#include <QByteArray>
#include <QFile>
#include <QString>

class CommandLog {
public:
    explicit CommandLog(const QString &portLabel) : label_(portLabel) {}
    bool open(const QString &path, QString *error);
    bool isOpen() const { return file_.isOpen(); }
    void record(const QByteArray &command);

    // The command as a log shows it: code page 932 text as UTF-8, control
    // and undecodable bytes as \xHH.
    static QString printable(const QByteArray &command);

private:
    QString label_;
    QFile file_;
};
