#include "link/LinkTrace.h"

Q_LOGGING_CATEGORY(lcLink, "quvo.link", QtInfoMsg)

QString traceBytes(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += QLatin1Char(ch);
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 0xF]);
        }
    }
    return out;
}

QString formatTrace(const TraceEntry &e)
{
    return QStringLiteral("%1 COM%2 %3 \"%4\" -> \"%5\" status %6 %7 ms")
        .arg(e.started.toString(Qt::ISODateWithMs))
        .arg(e.portNumber)
        .arg(e.devicePath, traceBytes(e.command), traceBytes(e.reply))
        .arg(e.status)
        .arg(e.elapsedMs);
}

void traceTransaction(int portNumber, const QString &devicePath, const QByteArray &command,
                      const QByteArray &reply, int status, qint64 elapsedMs)
{
    if (!lcLink().isDebugEnabled())
        return;
    const QDateTime started = QDateTime::currentDateTime().addMSecs(-elapsedMs);
    qCDebug(lcLink).noquote() << formatTrace({started, portNumber, devicePath, command, reply, status, elapsedMs});
}
