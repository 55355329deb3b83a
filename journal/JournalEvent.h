#pragma once
// What the journal keeps: events, each with the controller it concerned and
// the values it recorded. Plain values, shared by the journal, the sales
// arithmetic, the CSV export and the history window.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace JournalKind {
inline const QString Reading = QStringLiteral("reading");
inline const QString CounterClear = QStringLiteral("counter-clear");
inline const QString Price = QStringLiteral("price");
inline const QString Settings = QStringLiteral("settings");
inline const QString StandardCount = QStringLiteral("standard-count");
// Write mode opened by a write ("QVU1"), recorded before it goes out; its
// item "write-mode" is "open" (or "manual", kept open on purpose) and
// reports how it ended, or nothing while it may still be open.
inline const QString WriteMode = QStringLiteral("write-mode");
// Recording resumed after events could not be kept (a full disk, the file
// held too long): how many and since when.
inline const QString Gap = QStringLiteral("gap");
// A visit the technician moved to another machine (or out to a history of
// its own): items "visit", "from" and "to" (asset numbers; empty: none).
inline const QString VisitMoved = QStringLiteral("visit-moved");
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

// One history the journal keeps: a machine the technician named (its asset
// number and location), or else a controller as it reports itself, told
// apart by the bytes it reported (the texts are those bytes decoded for
// people, and two controllers whose bytes differ can read alike). A visit
// that could not be put with the others without guessing (its total fell
// with no clear recorded, or its identity is that of two named machines)
// is a history of its own until the technician assigns it.
struct JournalController {
    QString identification;   // of its last event
    QString version;
    int events = 0;
    QString lastTime;
    int lastPort = 0;
    QString lastDevice;
    QByteArray identificationBytes;
    QByteArray versionBytes;
    qint64 machine = 0;       // the named machine, 0 for none
    QString asset;
    QString location;
    qint64 apartVisit = 0;    // a visit kept apart, 0 for none

    bool operator==(const JournalController &o) const
    {
        if (machine != 0 || o.machine != 0)
            return machine == o.machine;
        if (apartVisit != 0 || o.apartVisit != 0)
            return apartVisit == o.apartVisit;
        return identificationBytes == o.identificationBytes && versionBytes == o.versionBytes;
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
    // The controller's texts as it reported them; when left null, the
    // texts above in code page 932.
    QByteArray identificationBytes;
    QByteArray versionBytes;
    // The visit (the id of its connection's reading, 0 outside one) and the
    // named machine (0 for none) the journal put the event with.
    qint64 visit = 0;
    qint64 machine = 0;
    bool apart = false;
    // Unique across journals (made when recorded when left empty), and who
    // recorded it (the journal's technician when left empty).
    QString uid{};
    QString technician{};
};

namespace JournalItemName {
// Sales count of column 0-15 ("count1" ... "count16"), price likewise.
inline QString count(int column) { return QStringLiteral("count%1").arg(column + 1); }
inline QString price(int column) { return QStringLiteral("price%1").arg(column + 1); }
inline const QString Total = QStringLiteral("total");
} // namespace JournalItemName
