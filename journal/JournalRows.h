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
#include <QCryptographicHash>
#include <QSqlDatabase>
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

// The id of event `id` made from what it recorded: its time, kind, where,
// what the controller reported and every value.
inline QString contentUid(const QSqlDatabase &db, qint64 id)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT time, kind, port, device, identification_bytes, version_bytes, summary"
                             " FROM event WHERE id = ?"));
    q.addBindValue(id);
    if (q.exec() && q.next())
        for (int c = 0; c < 7; ++c)
            hash.addData(q.value(c).toString().toUtf8().toHex() + '|');
    q.finish();
    q.prepare(QStringLiteral("SELECT name, value, sent, reported FROM item WHERE event = ? ORDER BY position"));
    q.addBindValue(id);
    if (q.exec())
        while (q.next())
            for (int c = 0; c < 4; ++c)
                hash.addData((q.value(c).isNull() ? QByteArray("-") : q.value(c).toString().toUtf8().toHex()) + '|');
    return QStringLiteral("c-") + QString::fromLatin1(hash.result().toHex());
}

} // namespace JournalRows
