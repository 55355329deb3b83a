#pragma once
// What the journal's own files share: plain helpers for the values and rows
// the journal keeps. Only the journal's files include it.
#include "journal/JournalEvent.h"
#include "link/ShiftJis.h"

#include <QByteArray>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <cstdlib>

namespace JournalRows {

// SQLite's primary result codes that mean the file itself is damaged.
inline constexpr int SqliteBusy = 5;
inline constexpr int SqliteLocked = 6;
inline constexpr int SqliteCorrupt = 11;
inline constexpr int SqliteNotADatabase = 26;

inline int primaryCode(const QSqlError &e)
{
    return e.nativeErrorCode().toInt() & 0xff;
}

// Local time with its offset spelled out, also at UTC (+00:00, not Z).
inline QString timeText(const QDateTime &local)
{
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// Qt binds a null string as NULL, which the journal reads as not recorded;
// a text read as empty is an empty text.
inline QString nonNull(const QString &s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

inline QByteArray nonNullBytes(const QByteArray &b)
{
    return b.isNull() ? QByteArray("", 0) : b;
}

inline QVariant storable(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString && v.toString().isNull())
        return QStringLiteral("");
    if (v.typeId() == QMetaType::QByteArray && v.toByteArray().isNull())
        return QByteArray("", 0);
    return v;
}

// A controller's text as it reported it, for a text given without its bytes.
inline QByteArray bytesOf(const QByteArray &bytes, const QString &text)
{
    if (!bytes.isNull())
        return bytes;
    bool ok = false;
    const QByteArray encoded = ShiftJis::encode(text, &ok);
    return nonNullBytes(ok ? encoded : text.toUtf8());
}

// An event row: id, time, kind, port, device, identification, version.
inline JournalEvent eventFromRow(const QSqlQuery &q)
{
    JournalEvent e;
    e.id = q.value(0).toLongLong();
    e.time = q.value(1).toString();
    e.kind = q.value(2).toString();
    e.port = q.value(3).toInt();
    e.device = q.value(4).toString();
    e.identification = q.value(5).toString();
    e.version = q.value(6).toString();
    return e;
}

} // namespace JournalRows
