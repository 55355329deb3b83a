#pragma once
// What crossed the line, one line an event: local ISO time with
// milliseconds, the port label ("COM5"), a mark and the text. ">" a command
// received, "<" the reply sent, "!" a fault of the scenario that fired.
// Flushed at once, since tests read it while the emulator runs.
#include <QByteArray>
#include <QFile>
#include <QString>

class CommandLog {
public:
    explicit CommandLog(const QString &portLabel) : label_(portLabel) {}
    // "-" is standard output.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return file_.isOpen(); }
    void record(const QByteArray &command) { write('>', printable(command)); }
    void recordReply(const QByteArray &reply) { write('<', printable(reply)); }
    void recordFault(const QString &fault) { write('!', fault); }

    // The command as a log shows it: code page 932 text as UTF-8, control
    // and undecodable bytes as \xHH.
    static QString printable(const QByteArray &command);

private:
    void write(char mark, const QString &text);

    QString label_;
    QFile file_;
};
