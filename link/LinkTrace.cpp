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
    // Joined piece by piece: arg() applied to text already substituted would
    // replace a "%1" inside a command, a reply or a path.
    return e.started.toString(Qt::ISODateWithMs) + QStringLiteral(" COM") + QString::number(e.portNumber)
        + QLatin1Char(' ') + e.devicePath + QStringLiteral(" \"") + traceBytes(e.command)
        + QStringLiteral("\" -> \"") + traceBytes(e.reply) + QStringLiteral("\" status ")
        + QString::number(e.status) + QLatin1Char(' ') + QString::number(e.elapsedMs) + QStringLiteral(" ms");
}

void traceTransaction(int portNumber, const QString &devicePath, const QByteArray &command,
                      const QByteArray &reply, int status, qint64 elapsedMs)
{
    if (!lcLink().isDebugEnabled())
        return;
    const QDateTime started = QDateTime::currentDateTime().addMSecs(-elapsedMs);
    qCDebug(lcLink).noquote() << formatTrace({started, portNumber, devicePath, command, reply, status, elapsedMs});
}
