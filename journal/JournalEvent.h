#pragma once
// What the journal keeps: events, each with the controller it concerned and
// the values it recorded. Plain values, shared by the journal, the sales
// arithmetic, the CSV export and the history window.
#include <QList>
#include <QString>
#include <QVariant>

namespace JournalKind {
inline const QString Reading = QStringLiteral("reading");
inline const QString CounterClear = QStringLiteral("counter-clear");
inline const QString Price = QStringLiteral("price");
inline const QString Settings = QStringLiteral("settings");
inline const QString StandardCount = QStringLiteral("standard-count");
} // namespace JournalKind

// One recorded value. A reading fills `value` only. A write records the
// value before it, the value sent and the value the controller reported
// afterwards; a counter clear the count before it and the count its
// read-back reported. A null variant was not recorded (not read, or the
// controller was never asked). Counts and totals are integers, exactly as
// the controller reported them; texts are strings.
struct JournalItem {
    QString name;
    QVariant value;
    QVariant sent;
    QVariant reported;
};

// A controller as the journal knows it: what it reports of itself.
struct JournalController {
    QString identification;
    QString version;
    int events = 0;
    QString lastTime;
    int lastPort = 0;
    QString lastDevice;

    bool operator==(const JournalController &o) const
    {
        return identification == o.identification && version == o.version;
    }
};

struct JournalEvent {
    qint64 id = 0;
    QString time;       // ISO 8601 with the local offset
    QString kind;       // one of JournalKind
    int port = 0;       // COM n
    QString device;
    QString identification;
    QString version;
    QString summary;
    QList<JournalItem> items;
};

namespace JournalItemName {
// Sales count of column 0-15 ("count1" ... "count16"), price likewise.
inline QString count(int column) { return QStringLiteral("count%1").arg(column + 1); }
inline QString price(int column) { return QStringLiteral("price%1").arg(column + 1); }
inline const QString Total = QStringLiteral("total");
} // namespace JournalItemName
