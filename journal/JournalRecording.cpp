// Recording: events, their outcomes, visits and the machines they go with.
// With the file's life, the salvage and the queries, the only places that
// speak SQL.
#include "journal/Journal.h"

#include "journal/JournalRows.h"
#include "device/ValueFormats.h"

using namespace JournalRows;

namespace {

QVariant unsignedValue(std::int32_t v)
{
    return QVariant(qint64(std::uint32_t(v)));
}

QVariant text(const std::optional<QByteArray> &raw)
{
    return raw ? QVariant(nonNull(ShiftJis::decode(*raw))) : QVariant();
}

bool isOption(ValueOrigins::Field f)
{
    return f >= ValueOrigins::Option1 && f <= ValueOrigins::Option6;
}

bool isStandardCount(ValueOrigins::Field f)
{
    return f >= ValueOrigins::StandardCount1 && f <= ValueOrigins::StandardCount8;
}

// A setting as the journal keeps it: options and standard counts as the
// numbers their hexadecimal digits give, texts decoded.
QVariant settingValue(ValueOrigins::Field f, const std::optional<QByteArray> &raw)
{
    if (!raw)
        return QVariant();
    if (isOption(f) || isStandardCount(f)) {
        bool ok = false;
        const qint64 n = raw->toLongLong(&ok, 16);
        return ok ? QVariant(n) : QVariant(QString::fromLatin1(*raw));
    }
    return nonNull(ShiftJis::decode(*raw));
}

// A whole receipt line as it was read: X digit, Y digit, text; nothing
// unless all three were read.
std::optional<QByteArray> wholeLine(const ValueOrigins &origins, int line)
{
    const auto x = origins.asRead(ValueOrigins::line(line, 0));
    const auto y = origins.asRead(ValueOrigins::line(line, 1));
    const auto t = origins.asRead(ValueOrigins::line(line, 2));
    if (!x || !y || !t)
        return std::nullopt;
    return *x + *y + *t;
}

std::optional<QByteArray> settingAsRead(const ValueOrigins &origins, ValueOrigins::Field f)
{
    for (int line = 0; line < 3; ++line)
        if (f == ValueOrigins::line(line, 2))
            return wholeLine(origins, line);
    return origins.asRead(f);
}

JournalEvent eventFor(const QString &kind, const ControllerIdentity &identity)
{
    JournalEvent e;
    e.kind = kind;
    e.port = identity.portNumber;
    e.device = identity.devicePath;
    e.identification = identity.identificationText();
    e.version = identity.versionText();
    e.identificationBytes = nonNullBytes(identity.identification);
    e.versionBytes = nonNullBytes(identity.version);
    return e;
}

std::optional<qint64> itemValue(const JournalEvent &e, const QString &name)
{
    for (const JournalItem &i : e.items)
        if (i.name == name && !i.value.isNull()) {
            bool ok = false;
            const qint64 v = i.value.toLongLong(&ok);
            return ok ? std::optional<qint64>(v) : std::nullopt;
        }
    return std::nullopt;
}

} // namespace

qint64 Journal::record(JournalEvent event)
{
    if (readOnly_)
        return 0;
    if (!QSqlDatabase::contains(connection_) || !QSqlDatabase::database(connection_, false).isOpen()) {
        if (problem_.isEmpty())
            fail(QStringLiteral("履歴が開かれていません"));
        return 0;
    }
    if (event.time.isEmpty())
        event.time = now();
    const qint64 id = insert(event);
    if (id == 0) {
        if (missed_++ == 0)
            missedSince_ = event.time;
        return 0;
    }
    ok_ = true;
    return id;
}

void Journal::startVisit(qint64 sameMachineAs)
{
    startingVisit_ = true;
    sameMachineAs_ = sameMachineAs;
    visit_ = 0;
}

void Journal::endVisit()
{
    startingVisit_ = false;
    sameMachineAs_ = 0;
    visit_ = 0;
}

bool Journal::continues(const QString &where, const QVariantList &bind, const JournalEvent &reading)
{
    // Against the last reading or clear of the history. After a clear the
    // counts start again. Otherwise the reading goes on from it only when
    // the total did not fall (past 2^32 is a wrap) and grew by at least what
    // the counts sold at their prices, give or take a few sales made while
    // it was read (a count past 65535 is a wrap too):
    // a controller whose counts and total disagree so is another machine,
    // or one cleared elsewhere.
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT e.id, e.kind FROM event e WHERE ") + where
              + QStringLiteral(" AND e.kind IN ('reading', 'counter-clear') ORDER BY e.id DESC LIMIT 1"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec() || !q.next() || q.value(1).toString() == JournalKind::CounterClear)
        return true;
    const qint64 last = q.value(0).toLongLong();
    q.finish();
    JournalEvent before;
    before.items = items(last);
    const std::optional<qint64> total = itemValue(reading, JournalItemName::Total);
    const std::optional<qint64> lastTotal = itemValue(before, JournalItemName::Total);
    if (!total || !lastTotal)
        return true;
    constexpr qint64 Span = qint64(1) << 32;
    const qint64 grew = ((*total - *lastTotal) % Span + Span) % Span;
    if (grew >= Span / 2)
        return false;
    qint64 sold = 0;
    qint64 dearest = 0;
    for (int c = 0; c < 16; ++c) {
        const std::optional<qint64> count = itemValue(reading, JournalItemName::count(c));
        const std::optional<qint64> lastCount = itemValue(before, JournalItemName::count(c));
        std::optional<qint64> price = itemValue(reading, JournalItemName::price(c));
        const std::optional<qint64> lastPrice = itemValue(before, JournalItemName::price(c));
        if (lastPrice)
            price = price ? std::min(*price, *lastPrice) : *lastPrice;
        // In tenths of a yen, as the prices of all but columns 5-8 are.
        if (count && lastCount && price && *price > 0) {
            const qint64 tenths = SalesHistory::priceTenths(c, *price);
            sold += ((*count - *lastCount) % 65536 + 65536) % 65536 * tenths;
            dearest = std::max(dearest, tenths);
        }
    }
    // The counts and the total are read one after the other, so a sale or
    // two made meanwhile can sit in one and not yet in the other.
    return sold <= grew * 10 + 4 * dearest;
}

void Journal::placeVisit(JournalEvent &e)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const QByteArray id = bytesOf(e.identificationBytes, e.identification);
    const QByteArray version = bytesOf(e.versionBytes, e.version);
    QList<qint64> named;
    if (sameMachineAs_ != 0) {
        // A controller whose identification this utility just changed.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT machine FROM event WHERE id = ? AND machine IS NOT NULL"));
        q.addBindValue(sameMachineAs_);
        if (q.exec() && q.next())
            named.append(q.value(0).toLongLong());
    }
    if (named.isEmpty()) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT id FROM machine WHERE identification_bytes = ? AND version_bytes = ?"));
        q.addBindValue(id);
        q.addBindValue(version);
        if (q.exec())
            while (q.next())
                named.append(q.value(0).toLongLong());
    }
    e.machine = 0;
    e.apart = false;
    if (named.size() > 1) {
        e.apart = true;
    } else if (named.size() == 1) {
        if (continues(QStringLiteral("e.machine = ?"), {named.first()}, e))
            e.machine = named.first();
        else
            e.apart = true;
    } else {
        e.apart = !continues(QStringLiteral("e.machine IS NULL AND e.apart = 0 AND e.identification_bytes = ?"
                                            " AND e.version_bytes = ?"),
                             {id, version}, e);
    }
}

qint64 Journal::insert(const JournalEvent &given)
{
    if (!begin())
        return 0;
    JournalEvent event = given;
    const bool starting = startingVisit_ && event.kind == JournalKind::Reading;
    if (starting) {
        placeVisit(event);
    } else if (visit_ != 0 && bytesOf(event.identificationBytes, event.identification) == visitIdentification_
               && bytesOf(event.versionBytes, event.version) == visitVersion_) {
        event.visit = visit_;
        event.machine = visitMachine_;
        event.apart = visitApart_;
    }
    // The events that could not be kept leave a mark where they belong.
    if (missed_ > 0) {
        JournalEvent gap;
        gap.time = event.time;
        gap.kind = JournalKind::Gap;
        gap.port = event.port;
        gap.device = event.device;
        gap.identification = event.identification;
        gap.version = event.version;
        gap.identificationBytes = event.identificationBytes;
        gap.versionBytes = event.versionBytes;
        gap.visit = event.visit;
        gap.machine = event.machine;
        gap.apart = event.apart;
        gap.summary = QStringLiteral("記録できなかった記録 %1件 (%2 から)").arg(missed_).arg(missedSince_);
        gap.items = {{QStringLiteral("missed"), qint64(missed_), {}, {}},
                     {QStringLiteral("since"), missedSince_, {}, {}}};
        if (insertRows(gap) == 0) {
            rollback();
            return 0;
        }
    }
    const qint64 id = insertRows(event);
    if (id == 0) {
        rollback();
        return 0;
    }
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (starting) {
        // A visit is known by its connection's reading.
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE event SET visit = ? WHERE id = ?"));
        q.addBindValue(id);
        q.addBindValue(id);
        if (!q.exec()) {
            failWith(q.lastError());
            rollback();
            return 0;
        }
    }
    if (event.machine != 0 && !noteMachineIdentity(event.machine, event)) {
        rollback();
        return 0;
    }
    if (!commit())
        return 0;
    missed_ = 0;
    if (starting) {
        startingVisit_ = false;
        sameMachineAs_ = 0;
        visit_ = id;
        visitMachine_ = event.machine;
        visitApart_ = event.apart;
        visitIdentification_ = bytesOf(event.identificationBytes, event.identification);
        visitVersion_ = bytesOf(event.versionBytes, event.version);
    }
    return id;
}

bool Journal::noteMachineIdentity(qint64 machine, const JournalEvent &e)
{
    // What the machine last reported of itself: a later visit with the same
    // identity is put with it.
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("UPDATE machine SET identification_bytes = ?, version_bytes = ? WHERE id = ?"));
    q.addBindValue(bytesOf(e.identificationBytes, e.identification));
    q.addBindValue(bytesOf(e.versionBytes, e.version));
    q.addBindValue(machine);
    if (!q.exec()) {
        failWith(q.lastError());
        return false;
    }
    return true;
}

qint64 Journal::insertRows(const JournalEvent &event)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO event (time, kind, port, device, identification, version, summary,"
                             " identification_bytes, version_bytes, visit, machine, apart)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(event.time);
    q.addBindValue(nonNull(event.kind));
    q.addBindValue(event.port);
    q.addBindValue(nonNull(event.device));
    q.addBindValue(nonNull(event.identification));
    q.addBindValue(nonNull(event.version));
    q.addBindValue(nonNull(event.summary));
    q.addBindValue(bytesOf(event.identificationBytes, event.identification));
    q.addBindValue(bytesOf(event.versionBytes, event.version));
    q.addBindValue(event.visit != 0 ? QVariant(event.visit) : QVariant(QMetaType(QMetaType::LongLong)));
    q.addBindValue(event.machine != 0 ? QVariant(event.machine) : QVariant(QMetaType(QMetaType::LongLong)));
    q.addBindValue(event.apart ? 1 : 0);
    if (!q.exec()) {
        fail(q.lastError().text());
        return 0;
    }
    const qint64 id = q.lastInsertId().toLongLong();
    QSqlQuery item(db);
    item.prepare(QStringLiteral("INSERT INTO item (event, position, name, value, sent, reported)"
                                " VALUES (?, ?, ?, ?, ?, ?)"));
    int position = 0;
    for (const JournalItem &i : std::as_const(event.items)) {
        item.bindValue(0, id);
        item.bindValue(1, position++);
        item.bindValue(2, i.name);
        item.bindValue(3, storable(i.value));
        item.bindValue(4, storable(i.sent));
        item.bindValue(5, storable(i.reported));
        if (!item.exec()) {
            fail(item.lastError().text());
            return 0;
        }
    }
    return id;
}

bool Journal::recordOutcome(qint64 eventId, const QList<JournalItem> &reported)
{
    if (eventId <= 0 || !QSqlDatabase::contains(connection_))
        return false;
    if (!begin())
        return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("UPDATE item SET reported = ? WHERE event = ? AND name = ?"));
    for (const JournalItem &i : reported) {
        q.bindValue(0, storable(i.reported));
        q.bindValue(1, eventId);
        q.bindValue(2, i.name);
        if (!q.exec()) {
            fail(q.lastError().text());
            rollback();
            return false;
        }
    }
    if (!commit())
        return false;
    ok_ = true;
    return true;
}

qint64 Journal::recordReading(const ControllerIdentity &identity, const DeviceData &data,
                              const ValueOrigins *settings, bool countsOnly, const std::bitset<Slot::Count> *read)
{
    const auto slot = [read](int s, const QVariant &value) {
        return !read || read->test(std::size_t(s)) ? value : QVariant();
    };
    JournalEvent e = eventFor(JournalKind::Reading, identity);
    const qint64 total = qint64(std::uint32_t(data.SalesTotal()));
    e.summary = countsOnly ? QStringLiteral("切断時の販売枚数 総売上%1").arg(total)
                           : QStringLiteral("読み取り 総売上%1").arg(total);
    auto add = [&e](const QString &name, const QVariant &value) { e.items.append({name, value, {}, {}}); };
    if (!countsOnly) {
        add(QStringLiteral("status"), slot(Slot::DeviceStatusFlags, data.DeviceStatusFlags()));
        for (int i = 0; i < 16; ++i)
            add(JournalItemName::price(i), slot(Slot::ColumnPrice + i, data.ColumnPrice(i)));
    }
    for (int i = 0; i < 16; ++i)
        add(JournalItemName::count(i), slot(Slot::ColumnSalesCount + i, unsignedValue(data.ColumnSalesCount(i))));
    add(JournalItemName::Total, slot(Slot::SalesTotal, unsignedValue(data.SalesTotal())));
    if (countsOnly)
        return record(e);
    for (int k = 0; k < 6; ++k) {
        const bool known = !settings || settings->asRead(ValueOrigins::option(k));
        add(settingName(ValueOrigins::option(k)),
            known ? slot(Slot::OptionSelection + k, data.OptionSelection(k)) : QVariant());
    }
    if (settings) {
        for (int line = 0; line < 3; ++line)
            add(settingName(ValueOrigins::line(line, 2)), text(wholeLine(*settings, line)));
        add(settingName(ValueOrigins::Identification), text(settings->asRead(ValueOrigins::Identification)));
    }
    add(QStringLiteral("earn-c"), slot(Slot::EarnValueC, data.EarnValueC()));
    add(QStringLiteral("coin-reply"), slot(Slot::CoinReplyValue, data.CoinReplyValue()));
    add(QStringLiteral("firmware-version"), slot(Slot::FirmwareVersion, data.FirmwareVersion()));
    return record(e);
}

qint64 Journal::recordCounterClear(const ControllerIdentity &identity, const LivePoll::Counters &before)
{
    JournalEvent e = eventFor(JournalKind::CounterClear, identity);
    e.summary = QStringLiteral("カウンタクリア 直前の総売上%1").arg(before.total);
    for (int i = 0; i < 16; ++i)
        e.items.append({JournalItemName::count(i), qint64(before.counts[std::size_t(i)]), {}, {}});
    e.items.append({JournalItemName::Total, qint64(before.total), {}, {}});
    return record(e);
}

bool Journal::recordClearOutcome(qint64 eventId, const DeviceData &readBack, const std::bitset<Slot::Count> *read)
{
    const auto slot = [read](int s, const QVariant &value) {
        return !read || read->test(std::size_t(s)) ? value : QVariant();
    };
    QList<JournalItem> reported;
    for (int i = 0; i < 16; ++i)
        reported.append({JournalItemName::count(i), {}, {},
                         slot(Slot::ColumnSalesCount + i, unsignedValue(readBack.ColumnSalesCount(i)))});
    reported.append({JournalItemName::Total, {}, {}, slot(Slot::SalesTotal, unsignedValue(readBack.SalesTotal()))});
    return recordOutcome(eventId, reported);
}

qint64 Journal::recordPrice(const ControllerIdentity &identity, int column, qint64 before, qint64 sent,
                            std::optional<qint64> reported)
{
    JournalEvent e = eventFor(JournalKind::Price, identity);
    // In the forms the window shows (8.5, not 85).
    e.summary = QStringLiteral("コラム%1の価格 %2 → %3")
                    .arg(column + 1)
                    .arg(ValueFormats::priceText(column, std::int32_t(before)).trimmed(),
                         ValueFormats::priceText(column, std::int32_t(sent)).trimmed());
    e.items.append({JournalItemName::price(column), before, sent,
                    reported ? QVariant(*reported) : QVariant()});
    return record(e);
}

qint64 Journal::recordWriteModeOpened(const ControllerIdentity &identity, const QString &operation,
                                      const QString &detail, int column, bool manual)
{
    JournalEvent e = eventFor(JournalKind::WriteMode, identity);
    e.summary = manual ? QStringLiteral("書き込みモード開始 (%1, マニュアルモードのため開いたまま)").arg(detail)
                       : QStringLiteral("書き込みモード開始 (%1)").arg(detail);
    e.items.append({QStringLiteral("write-mode"), manual ? QStringLiteral("manual") : QStringLiteral("open"), {}, {}});
    e.items.append({QStringLiteral("operation"), operation, {}, {}});
    e.items.append({QStringLiteral("detail"), detail, {}, {}});
    e.items.append({QStringLiteral("column"), column >= 0 ? QVariant(column + 1) : QVariant(), {}, {}});
    e.items.append({QStringLiteral("sent"), {}, {}, {}});
    return record(e);
}

bool Journal::recordWriteModeEnded(qint64 eventId, const QString &how, const QString &sent)
{
    QList<JournalItem> outcome{{QStringLiteral("write-mode"), {}, {}, how}};
    if (!sent.isNull())
        outcome.append({QStringLiteral("sent"), {}, {}, sent});
    return recordOutcome(eventId, outcome);
}

qint64 Journal::recordSettingsWrite(const QString &kind, const ControllerIdentity &identity,
                                    const WriteProof::SentSettings &sent, const ValueOrigins &before)
{
    JournalEvent e = eventFor(kind, identity);
    // What the write changes; every field is sent, most as they were.
    int changed = 0;
    for (const WriteProof::SentSetting &s : sent)
        if (settingValue(s.field, settingAsRead(before, s.field)) != settingValue(s.field, s.value))
            ++changed;
    e.summary = QStringLiteral("%1 %2項目を変更 (送信%3項目)")
                    .arg(kind == JournalKind::StandardCount ? QStringLiteral("基準枚数の書き込み")
                                                            : QStringLiteral("設定の書き込み"))
                    .arg(changed)
                    .arg(sent.size());
    for (const WriteProof::SentSetting &s : sent)
        e.items.append({settingName(s.field), settingValue(s.field, settingAsRead(before, s.field)),
                        settingValue(s.field, s.value), {}});
    return record(e);
}

bool Journal::recordSettingsOutcome(qint64 eventId, const WriteProof::SentSettings &sent, const ValueOrigins &now)
{
    QList<JournalItem> reported;
    for (const WriteProof::SentSetting &s : sent) {
        // No read reports a standard count: the controller's acknowledgement
        // of its command and of the store is all it says of it.
        const QVariant value = isStandardCount(s.field)
            ? (s.acknowledged ? settingValue(s.field, s.value) : QVariant())
            : settingValue(s.field, settingAsRead(now, s.field));
        reported.append({settingName(s.field), {}, {}, value});
    }
    return recordOutcome(eventId, reported);
}

QString Journal::settingName(ValueOrigins::Field f)
{
    if (isOption(f))
        return QStringLiteral("option%1").arg(f - ValueOrigins::Option1 + 1);
    if (isStandardCount(f))
        return QStringLiteral("standard-count%1").arg(f - ValueOrigins::StandardCount1 + 1);
    if (f == ValueOrigins::Identification)
        return QStringLiteral("identification");
    for (int line = 0; line < 3; ++line) {
        if (f == ValueOrigins::line(line, 2))
            return QStringLiteral("line%1").arg(line + 1);
        if (f == ValueOrigins::line(line, 0))
            return QStringLiteral("line%1-x").arg(line + 1);
        if (f == ValueOrigins::line(line, 1))
            return QStringLiteral("line%1-y").arg(line + 1);
    }
    return QStringLiteral("field%1").arg(int(f));
}

qint64 Journal::nameMachine(const QString &asset, const QString &location)
{
    if (readOnly_ || !QSqlDatabase::contains(connection_))
        return 0;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("INSERT INTO machine (asset, location) VALUES (?, ?)"));
    q.addBindValue(nonNull(asset));
    q.addBindValue(nonNull(location));
    if (!q.exec()) {
        failWith(q.lastError());
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

bool Journal::renameMachine(qint64 machine, const QString &asset, const QString &location)
{
    if (readOnly_ || !QSqlDatabase::contains(connection_))
        return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("UPDATE machine SET asset = ?, location = ? WHERE id = ?"));
    q.addBindValue(nonNull(asset));
    q.addBindValue(nonNull(location));
    q.addBindValue(machine);
    return q.exec() && q.numRowsAffected() == 1;
}

bool Journal::assign(const JournalController &history, qint64 machine)
{
    if (readOnly_ || machine == 0 || !QSqlDatabase::contains(connection_) || !begin())
        return false;
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QVariantList bind;
    const QString where = historyWhere(history, &bind);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE event SET machine = ?, apart = 0 WHERE id IN (SELECT e.id FROM event e WHERE ")
              + where + QStringLiteral(")"));
    q.addBindValue(machine);
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec()) {
        failWith(q.lastError());
        rollback();
        return false;
    }
    // The machine is now met under the identity of its last event.
    QSqlQuery last(db);
    last.prepare(QStringLiteral("SELECT identification_bytes, version_bytes FROM event WHERE machine = ?"
                                " ORDER BY id DESC LIMIT 1"));
    last.addBindValue(machine);
    if (last.exec() && last.next()) {
        JournalEvent e;
        e.identificationBytes = nonNullBytes(last.value(0).toByteArray());
        e.versionBytes = nonNullBytes(last.value(1).toByteArray());
        last.finish();
        if (!noteMachineIdentity(machine, e)) {
            rollback();
            return false;
        }
    }
    // The visit under way goes on with its machine.
    if (visit_ != 0) {
        QSqlQuery v(db);
        v.prepare(QStringLiteral("SELECT machine FROM event WHERE id = ?"));
        v.addBindValue(visit_);
        if (v.exec() && v.next()) {
            visitMachine_ = v.value(0).toLongLong();
            visitApart_ = false;
        }
    }
    return commit();
}
