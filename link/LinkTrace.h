#pragma once
// The protocol trace: one line per transaction in the logging category
// "quvo.link", silent unless switched on (QT_LOGGING_RULES="quvo.link.debug=true").
#include <QByteArray>
#include <QDateTime>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

struct TraceEntry {
    QDateTime started;      // when the command went out
    int portNumber = 0;     // COM n
    QString devicePath;
    QByteArray command;     // without its CR
    QByteArray reply;       // the bytes read, as read
    int status = 0;         // the TransactionStatus
    qint64 elapsedMs = 0;
};

// Bytes as the trace shows them: printable ASCII as it is, every other byte
// (and the quote and backslash, so the text stays unambiguous) as \xHH.
QString traceBytes(const QByteArray &bytes);

// 2026-12-07T11:02:37.123 COM5 /dev/pts/3 "QVQ" -> "OK   :0A\x0D" status 0 12 ms
QString formatTrace(const TraceEntry &entry);

// Writes the line when the category is on; costs one check when it is off.
void traceTransaction(int portNumber, const QString &devicePath, const QByteArray &command,
                      const QByteArray &reply, int status, qint64 elapsedMs);
