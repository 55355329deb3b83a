// The trace line for any command, reply, device path, status and time.
// What must hold: the line shows the bytes exactly (decoding its \xHH
// escapes gives back the command and the reply), the status and the time
// as they were, and the path as it is.
#include "link/LinkTrace.h"

#include "tests/fuzz/FuzzInput.h"

#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>

namespace {
void fail(const char *what, const QString &line)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(line));
    std::abort();
}

QByteArray unescape(const QString &shown, bool *ok)
{
    QByteArray out;
    *ok = true;
    for (int i = 0; i < shown.size(); ++i) {
        const QChar c = shown[i];
        if (c == QLatin1Char('\\')) {
            if (i + 3 >= shown.size()) {
                *ok = false;
                return out;
            }
            if (shown[i + 1] != QLatin1Char('x')) {
                *ok = false;
                return out;
            }
            bool hexOk = false;
            out.append(char(shown.mid(i + 2, 2).toInt(&hexOk, 16)));
            *ok = *ok && hexOk && shown.mid(i + 2, 2) == shown.mid(i + 2, 2).toUpper();
            i += 3;
        } else {
            if (c.unicode() < 0x20 || c.unicode() >= 0x7F || c == QLatin1Char('"')) {
                *ok = false;
                return out;
            }
            out.append(char(c.unicode()));
        }
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    TraceEntry e;
    e.started = QDateTime(QDate(2026, 12, 7), QTime(11, 2, 37, 123));
    e.portNumber = in.inRange<int>(1, 255);
    e.status = in.inRange<int>(-2, 100);
    e.elapsedMs = in.inRange<qint64>(0, 100000);
    // A path without blanks, as the port namespace gives them.
    e.devicePath = QString::fromUtf8(in.someBytes(40))
                       .remove(QRegularExpression(QStringLiteral("\\s")));
    if (e.devicePath.isEmpty())
        e.devicePath = QStringLiteral("/dev/pts/3");
    e.command = in.someBytes(64);
    e.reply = in.rest();

    const QString line = formatTrace(e);
    static const QRegularExpression form(
        QStringLiteral(R"re(^(\S+) COM(\d+) (\S+) "([^"]*)" -> "([^"]*)" status (-?\d+) (\d+) ms$)re"));
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch())
        fail("not in the trace's form", line);
    if (m.captured(2).toInt() != e.portNumber || m.captured(3) != e.devicePath)
        fail("port or path misreported", line);
    if (m.captured(6).toInt() != e.status || m.captured(7).toLongLong() != e.elapsedMs)
        fail("status or time misreported", line);
    bool ok = false;
    if (unescape(m.captured(4), &ok) != e.command || !ok)
        fail("the command's bytes misreported", line);
    if (unescape(m.captured(5), &ok) != e.reply || !ok)
        fail("the reply's bytes misreported", line);
    return 0;
}
