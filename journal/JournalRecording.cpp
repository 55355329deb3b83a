// Recording: events, their outcomes, visits and the machines they go with.
// With the file's life, the salvage and the queries, the only places that
// speak SQL.
#include "journal/Journal.h"

#include "journal/JournalRows.h"
#include "device/ValueFormats.h"

#include <QUuid>

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
        event.time = timeText(clock_ ? clock_() : QDateTime::currentDateTime());
    const qint64 id = insert(event);
    if (id == 0) {
        if (missed_++ == 0)
            missedSince_ = event.time;
        return 0;
    }
    ok_ = true;
    return id;
}

void Journal::startVisit(qint64 sameMachineAs, qint64 machine)
{
    startingVisit_ = true;
    sameMachineAs_ = sameMachineAs;
    chosenMachine_ = machine;
    visit_ = 0;
    endedVisit_.reset();
}

void Journal::endVisit()
{
    if (visit_ != 0)
        endedVisit_ = Visit{visit_, visitMachine_, visitApart_, visitIdentification_, visitVersion_};
    startingVisit_ = false;
    sameMachineAs_ = 0;
    chosenMachine_ = 0;
    visit_ = 0;
}

bool Journal::resumeVisit()
{
    if (!endedVisit_)
        return false;
    startingVisit_ = false;
    visit_ = endedVisit_->id;
    visitMachine_ = endedVisit_->machine;
    visitApart_ = endedVisit_->apart;
    visitIdentification_ = endedVisit_->identification;
    visitVersion_ = endedVisit_->version;
    endedVisit_.reset();
    resumed_ = true;
    return true;
}

namespace {

// A reading's or a clear's figures as FigureContinuity takes them: a
// clear's from what its read-back reported.
FigureContinuity::Figures figuresOf(const JournalEvent &e, bool reported)
{
    const auto figure = [&e, reported](const QString &name) -> std::optional<qint64> {
        for (const JournalItem &i : e.items) {
            const QVariant &v = reported ? i.reported : i.value;
            if (i.name == name && !v.isNull()) {
                bool ok = false;
                const qint64 n = v.toLongLong(&ok);
                return ok ? std::optional<qint64>(n) : std::nullopt;
            }
        }
        return std::nullopt;
    };
    FigureContinuity::Figures f;
    for (int c = 0; c < 16; ++c) {
        f.counts[std::size_t(c)] = figure(JournalItemName::count(c));
        if (const std::optional<qint64> price = itemValue(e, JournalItemName::price(c)))
            f.priceTenths[std::size_t(c)] = SalesHistory::priceTenths(c, *price);
    }
    f.total = figure(JournalItemName::Total);
    const QDateTime at = QDateTime::fromString(e.time, Qt::ISODate);
    if (at.isValid())
        f.at = at.toSecsSinceEpoch();
    return f;
}

} // namespace

std::optional<FigureContinuity::Figures> Journal::lastFigures(const QString &where, const QVariantList &bind)
{
    // The last reading or clear of the events `where` picks: a clear's
    // figures are what its read-back reported.
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT e.id, e.kind, e.time FROM event e WHERE ") + where
              + QStringLiteral(" AND e.kind IN ('reading', 'counter-clear') ORDER BY e.id DESC LIMIT 1"));
    for (const QVariant &v : bind)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return std::nullopt;
    JournalEvent last;
    last.id = q.value(0).toLongLong();
    const bool clear = q.value(1).toString() == JournalKind::CounterClear;
    last.time = q.value(2).toString();
    q.finish();
    last.items = items(last.id);
    FigureContinuity::Figures figures = figuresOf(last, clear);
    // The prices last read, where this point read none.
    if (std::none_of(figures.priceTenths.begin(), figures.priceTenths.end(), [](const auto &p) { return p.has_value(); })) {
        QSqlQuery p(db);
        p.prepare(QStringLiteral("SELECT e.id FROM event e WHERE ") + where
                  + QStringLiteral(" AND e.kind = 'reading' AND EXISTS (SELECT 1 FROM item WHERE event = e.id"
                                   " AND name = 'price1') ORDER BY e.id DESC LIMIT 1"));
        for (const QVariant &v : bind)
            p.addBindValue(v);
        if (p.exec() && p.next()) {
            JournalEvent priced;
            priced.items = items(p.value(0).toLongLong());
            figures.priceTenths = figuresOf(priced, false).priceTenths;
        }
    }
    return figures;
}

FigureContinuity::Verdict Journal::judgeAgainst(const QString &where, const QVariantList &bind,
                                                const JournalEvent &reading)
{
    // A history with no figures holds nothing the reading could contradict.
    const std::optional<FigureContinuity::Figures> before = lastFigures(where, bind);
    return before ? FigureContinuity::judge(*before, figuresOf(reading, false)) : FigureContinuity::Verdict::Continues;
}

QList<Journal::Placing> Journal::namedPlacings(const JournalEvent &e)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
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
        q.addBindValue(bytesOf(e.identificationBytes, e.identification));
        q.addBindValue(bytesOf(e.versionBytes, e.version));
        if (q.exec())
            while (q.next())
                named.append(q.value(0).toLongLong());
    }
    QList<Placing> placings;
    for (const qint64 machine : std::as_const(named))
        placings.append({machine, judgeAgainst(QStringLiteral("e.machine = ?"), {machine}, e)});
    return placings;
}

void Journal::placeVisit(JournalEvent &e)
{
    using V = FigureContinuity::Verdict;
    e.machine = 0;
    e.apart = false;
    V verdict = V::Continues;
    if (chosenMachine_ != 0) {
        // The technician said which machine it is.
        e.machine = chosenMachine_;
        verdict = judgeAgainst(QStringLiteral("e.machine = ?"), {chosenMachine_}, e);
    } else {
        // A named machine whose figures go on; failing that, one cleared
        // elsewhere; failing that, the one machine nothing tells apart.
        // Two that fit alike are for the technician to tell.
        const QList<Placing> named = namedPlacings(e);
        const auto with = [&named](V v) {
            QList<Placing> found;
            for (const Placing &p : named)
                if (p.verdict == v)
                    found.append(p);
            return found;
        };
        const QList<Placing> going = with(V::Continues);
        const QList<Placing> cleared = with(V::ClearedElsewhere);
        const QList<Placing> unknown = with(V::Unknown);
        const QList<Placing> maybe = cleared + unknown;
        const QList<Placing> &fit = !going.isEmpty() ? going : maybe;
        if (fit.size() > 1) {
            e.apart = true;
        } else if (fit.size() == 1) {
            e.machine = fit.first().machine;
            verdict = fit.first().verdict;
        } else {
            // Another machine than every named one: the controller's own
            // history by its identity, unless that too is another's.
            verdict = judgeAgainst(QStringLiteral("e.machine IS NULL AND e.apart = 0 AND e.identification_bytes = ?"
                                                  " AND e.version_bytes = ?"),
                                   {bytesOf(e.identificationBytes, e.identification),
                                    bytesOf(e.versionBytes, e.version)},
                                   e);
            e.apart = verdict == V::Another;
        }
    }
    if (verdict == V::ClearedElsewhere)
        noteClearedElsewhere(e);
}

void Journal::noteClearedElsewhere(JournalEvent &e)
{
    // The sales arithmetic sees the fall itself; the record says what it was.
    e.items.append({QStringLiteral("continuity"), QStringLiteral("cleared-elsewhere"), {}, {}});
    e.summary += QStringLiteral(" (ほかでカウンタクリアされています)");
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
        // The first reading after a check found the same controller again.
        if (std::exchange(resumed_, false) && event.kind == JournalKind::Reading
            && judgeAgainst(QStringLiteral("e.visit = ?"), {visit_}, event) == FigureContinuity::Verdict::ClearedElsewhere)
            noteClearedElsewhere(event);
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
        chosenMachine_ = 0;
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
                             " identification_bytes, version_bytes, visit, machine, apart, uid, technician)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
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
    q.addBindValue(event.uid.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : event.uid);
    q.addBindValue(nonNull(event.uid.isEmpty() ? technician_ : event.technician));
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
    return record(readingEvent(identity, data, settings, countsOnly, read));
}

JournalEvent Journal::readingEvent(const ControllerIdentity &identity, const DeviceData &data,
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
        return e;
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
    return e;
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
    if (!noteLastIdentity(machine)) {
        rollback();
        return false;
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

bool Journal::noteLastIdentity(qint64 machine)
{
    // The machine is met under the identity of its last event.
    QSqlQuery last(QSqlDatabase::database(connection_, false));
    last.prepare(QStringLiteral("SELECT identification_bytes, version_bytes FROM event WHERE machine = ?"
                                " ORDER BY id DESC LIMIT 1"));
    last.addBindValue(machine);
    if (!last.exec() || !last.next())
        return true;
    JournalEvent e;
    e.identificationBytes = nonNullBytes(last.value(0).toByteArray());
    e.versionBytes = nonNullBytes(last.value(1).toByteArray());
    last.finish();
    return noteMachineIdentity(machine, e);
}

bool Journal::moveVisit(qint64 visit, qint64 machine)
{
    if (readOnly_ || visit == 0 || !QSqlDatabase::contains(connection_) || !begin())
        return false;
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery first(db);
    first.prepare(QStringLiteral("SELECT e.machine, m.asset, e.time, e.port, e.device, e.identification, e.version,"
                                 " e.identification_bytes, e.version_bytes FROM event e"
                                 " LEFT JOIN machine m ON m.id = e.machine WHERE e.id = ?"));
    first.addBindValue(visit);
    if (!first.exec() || !first.next()) {
        rollback();
        return false;
    }
    const qint64 from = first.value(0).toLongLong();
    JournalEvent moved;
    moved.kind = JournalKind::VisitMoved;
    moved.time = timeText(clock_ ? clock_() : QDateTime::currentDateTime());
    moved.port = first.value(3).toInt();
    moved.device = first.value(4).toString();
    moved.identification = first.value(5).toString();
    moved.version = first.value(6).toString();
    moved.identificationBytes = nonNullBytes(first.value(7).toByteArray());
    moved.versionBytes = nonNullBytes(first.value(8).toByteArray());
    const QString fromAsset = first.value(1).toString();
    const QString visitTime = first.value(2).toString();
    first.finish();
    QString toAsset;
    if (machine != 0) {
        QSqlQuery m(db);
        m.prepare(QStringLiteral("SELECT asset FROM machine WHERE id = ?"));
        m.addBindValue(machine);
        if (!m.exec() || !m.next()) {
            rollback();
            return false;
        }
        toAsset = m.value(0).toString();
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE event SET machine = ?, apart = ? WHERE visit = ?"));
    q.addBindValue(machine != 0 ? QVariant(machine) : QVariant(QMetaType(QMetaType::LongLong)));
    q.addBindValue(machine != 0 ? 0 : 1);
    q.addBindValue(visit);
    if (!q.exec()) {
        failWith(q.lastError());
        rollback();
        return false;
    }
    const auto named = [](const QString &asset) { return asset.isEmpty() ? QStringLiteral("名前のない機械") : asset; };
    moved.visit = visit;
    moved.machine = machine;
    moved.apart = machine == 0;
    moved.summary = QStringLiteral("%1の訪問を %2 から %3 へ移しました")
                        .arg(visitTime, named(from != 0 ? fromAsset : QString()), named(toAsset));
    moved.items = {{QStringLiteral("visit"), visit, {}, {}},
                   {QStringLiteral("from"), nonNull(from != 0 ? fromAsset : QString()), {}, {}},
                   {QStringLiteral("to"), nonNull(toAsset), {}, {}}};
    if (insertRows(moved) == 0 || (from != 0 && !noteLastIdentity(from)) || (machine != 0 && !noteLastIdentity(machine))) {
        rollback();
        return false;
    }
    if (visit_ == visit) {
        visitMachine_ = machine;
        visitApart_ = machine == 0;
    }
    return commit();
}

QList<Journal::Candidate> Journal::candidates(const ControllerIdentity &identity, const DeviceData &data,
                                              const std::bitset<Slot::Count> *read)
{
    QList<Candidate> found;
    if (!QSqlDatabase::contains(connection_))
        return found;
    JournalEvent e = readingEvent(identity, data, nullptr, false, read);
    e.time = timeText(clock_ ? clock_() : QDateTime::currentDateTime());
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    for (const Placing &p : namedPlacings(e)) {
        if (p.verdict == FigureContinuity::Verdict::Another)
            continue;
        Candidate c{p.machine, {}, {}, p.verdict, {}, std::nullopt};
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT m.asset, m.location, e.time,"
                                 " (SELECT value FROM item WHERE event = e.id AND name = 'total')"
                                 " FROM machine m LEFT JOIN event e ON e.id = (SELECT MAX(id) FROM event"
                                 " WHERE machine = m.id AND kind = 'reading') WHERE m.id = ?"));
        q.addBindValue(p.machine);
        if (q.exec() && q.next()) {
            c.asset = q.value(0).toString();
            c.location = q.value(1).toString();
            c.lastTime = q.value(2).toString();
            if (!q.value(3).isNull())
                c.lastTotal = q.value(3).toLongLong();
        }
        found.append(c);
    }
    return found;
}

QString Journal::technician()
{
    return technician_;
}

bool Journal::setTechnician(const QString &name)
{
    if (readOnly_ || !QSqlDatabase::contains(connection_))
        return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("INSERT INTO setting (name, value) VALUES ('technician', ?)"
                             " ON CONFLICT (name) DO UPDATE SET value = excluded.value"));
    q.addBindValue(nonNull(name.trimmed()));
    if (!q.exec()) {
        failWith(q.lastError());
        return false;
    }
    technician_ = name.trimmed();
    return true;
}
