// Merging another technician's journal into this one. With the file's life,
// the recording and the queries, the only places that speak SQL.
#include "journal/Journal.h"

#include "journal/JournalRows.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QUrl>

using namespace JournalRows;

namespace {

struct OtherMachine {
    QString asset;
    QString location;
    QByteArray identification;
    QByteArray version;
};

} // namespace

Journal::MergeReport Journal::mergeFrom(const QString &other)
{
    MergeReport report;
    if (readOnly_ || !QSqlDatabase::contains(connection_)) {
        report.error = QStringLiteral("この履歴には書き込めません");
        return report;
    }
    if (isJournalFile(path_, other) || QFileInfo(other).canonicalFilePath() == QFileInfo(path_).canonicalFilePath()) {
        report.error = QStringLiteral("%1 はこの履歴そのものです").arg(other);
        return report;
    }
    // Read as it stands and never written: immutable, so SQLite neither
    // replays its log nor leaves a file beside it.
    const QString name = connection_ + QStringLiteral("-merge");
    QList<JournalEvent> events;
    QHash<qint64, OtherMachine> machines;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QStringLiteral("file:%1?immutable=1").arg(QString::fromLatin1(QUrl::toPercentEncoding(
            QFileInfo(other).absoluteFilePath(), "/"))));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        if (!QFileInfo(other).isFile() || !db.open()) {
            report.error = QStringLiteral("%1 を開けません").arg(other);
        } else {
            QSqlQuery q(db);
            const int version = q.exec(QStringLiteral("PRAGMA user_version")) && q.next() ? q.value(0).toInt() : -1;
            q.finish();
            if (version < 3 || version > SchemaVersion) {
                report.error = version < 0 ? QStringLiteral("%1 は履歴のファイルではありません").arg(other)
                                           : QStringLiteral("%1 の版 (%2) はこのユーティリティでは合わせられません")
                                                 .arg(other).arg(version);
            } else {
                if (q.exec(QStringLiteral("SELECT id, asset, location, identification_bytes, version_bytes FROM machine")))
                    while (q.next())
                        machines.insert(q.value(0).toLongLong(),
                                        {q.value(1).toString(), q.value(2).toString(),
                                         nonNullBytes(q.value(3).toByteArray()), nonNullBytes(q.value(4).toByteArray())});
                q.finish();
                const QString withUid = version >= 4 ? QStringLiteral("uid, technician") : QStringLiteral("NULL, ''");
                q.setForwardOnly(true);
                if (q.exec(QStringLiteral("SELECT id, time, kind, port, device, identification, version, summary,"
                                          " identification_bytes, version_bytes, visit, machine, apart, ")
                           + withUid + QStringLiteral(" FROM event ORDER BY id"))) {
                    while (q.next()) {
                        JournalEvent e = eventFromRow(q);
                        e.summary = q.value(7).toString();
                        e.identificationBytes = nonNullBytes(q.value(8).toByteArray());
                        e.versionBytes = nonNullBytes(q.value(9).toByteArray());
                        e.visit = q.value(10).toLongLong();
                        e.machine = q.value(11).toLongLong();
                        e.apart = q.value(12).toInt() != 0;
                        // A journal of before the ids: made from its content,
                        // as the migration here makes them.
                        e.uid = q.value(13).isNull() ? contentUid(db, e.id) : q.value(13).toString();
                        e.technician = q.value(14).toString();
                        events.append(e);
                    }
                } else {
                    report.error = QStringLiteral("%1 を読めません: %2").arg(other, q.lastError().text());
                }
                q.finish();
                QSqlQuery items(db);
                items.prepare(QStringLiteral("SELECT name, value, sent, reported FROM item WHERE event = ? ORDER BY position"));
                for (JournalEvent &e : events) {
                    items.bindValue(0, e.id);
                    if (items.exec())
                        while (items.next())
                            e.items.append({items.value(0).toString(), items.value(1), items.value(2), items.value(3)});
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!report.error.isEmpty())
        return report;

    if (!begin()) {
        report.error = problem_;
        return report;
    }
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const auto abandon = [this, &report](const QString &why) {
        rollback();
        report = MergeReport{};
        report.error = why;
        return report;
    };
    // Machines by asset number; a location told differently, or an asset
    // number named twice here, is for the office to decide.
    QHash<qint64, qint64> machineHere;
    for (auto it = machines.cbegin(); it != machines.cend(); ++it) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT id, location FROM machine WHERE asset = ? ORDER BY id"));
        q.addBindValue(it->asset);
        QList<QPair<qint64, QString>> same;
        if (q.exec())
            while (q.next())
                same.append({q.value(0).toLongLong(), q.value(1).toString()});
        if (same.size() > 1)
            report.conflicts << QStringLiteral("資産番号 %1 がこの履歴の%2台の機械に付いています").arg(it->asset).arg(same.size());
        if (!same.isEmpty()) {
            if (same.first().second != it->location)
                report.conflicts << QStringLiteral("資産番号 %1 の設置場所: この履歴では「%2」, %3 では「%4」")
                                        .arg(it->asset, same.first().second, QFileInfo(other).fileName(), it->location);
            machineHere.insert(it.key(), same.first().first);
            continue;
        }
        QSqlQuery add(db);
        add.prepare(QStringLiteral("INSERT INTO machine (asset, location, identification_bytes, version_bytes)"
                                   " VALUES (?, ?, ?, ?)"));
        add.addBindValue(nonNull(it->asset));
        add.addBindValue(nonNull(it->location));
        add.addBindValue(it->identification);
        add.addBindValue(it->version);
        if (!add.exec())
            return abandon(add.lastError().text());
        machineHere.insert(it.key(), add.lastInsertId().toLongLong());
        ++report.machinesAdded;
    }
    // Events this journal lacks, in the order the other recorded them; a
    // visit is known here by the id its first event has here.
    QHash<qint64, qint64> idHere;
    QSqlQuery known(db);
    known.prepare(QStringLiteral("SELECT id FROM event WHERE uid = ?"));
    for (JournalEvent e : std::as_const(events)) {
        known.bindValue(0, e.uid);
        if (!known.exec())
            return abandon(known.lastError().text());
        if (known.next()) {
            idHere.insert(e.id, known.value(0).toLongLong());
            known.finish();
            ++report.alreadyHere;
            continue;
        }
        known.finish();
        const qint64 from = e.id;
        const bool starts = e.visit == from;
        e.machine = machineHere.value(e.machine, 0);
        e.visit = starts ? 0 : idHere.value(e.visit, 0);
        const qint64 id = insertRows(e);
        if (id == 0)
            return abandon(problem_);
        idHere.insert(from, id);
        if (starts) {
            QSqlQuery v(db);
            v.prepare(QStringLiteral("UPDATE event SET visit = ? WHERE id = ?"));
            v.addBindValue(id);
            v.addBindValue(id);
            if (!v.exec())
                return abandon(v.lastError().text());
        }
        ++report.added;
    }
    if (!commit()) {
        report = MergeReport{};
        report.error = problem_;
    }
    return report;
}
