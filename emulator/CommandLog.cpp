#include "emulator/CommandLog.h"

#include "link/ShiftJis.h"

#include <QDateTime>
#include <cstdio>

bool CommandLog::open(const QString &path, QString *error)
{
    bool opened = false;
    if (path == QLatin1String("-")) {
        opened = file_.open(stdout, QIODevice::WriteOnly | QIODevice::Text);
    } else {
        file_.setFileName(path);
        opened = file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    if (!opened) {
        if (error)
            *error = path + QStringLiteral(": ") + file_.errorString();
        return false;
    }
    return true;
}

QString CommandLog::printable(const QByteArray &command)
{
    QString out;
    int i = 0;
    while (i < command.size()) {
        const uchar c = uchar(command.at(i));
        if (c >= 0x20 && c < 0x7F) {
            out += QLatin1Char(char(c));
            ++i;
            continue;
        }
        // A two-byte character when it decodes cleanly, else the raw byte.
        if (c >= 0x80 && i + 1 < command.size()) {
            const QString two = ShiftJis::decode(command.mid(i, 2));
            if (two.size() == 1 && two.at(0) != QChar(QChar::ReplacementCharacter)) {
                out += two;
                i += 2;
                continue;
            }
        }
        if (c >= 0xA1 && c <= 0xDF) {   // half-width katakana, one byte
            out += ShiftJis::decode(command.mid(i, 1));
            ++i;
            continue;
        }
        out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        ++i;
    }
    return out;
}

void CommandLog::write(char mark, const QString &text)
{
    if (!file_.isOpen())
        return;
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ')
        + label_ + QLatin1Char(' ') + QLatin1Char(mark) + QLatin1Char(' ') + text + QLatin1Char('\n');
    file_.write(line.toUtf8());
    file_.flush();
}
