// The journal's record and read-back round trip with any controller texts,
// settings texts and counts.
// What must hold: the controller read back is the one recorded, told apart
// by the bytes it reported (texts that decode alike stay apart); every
// count comes back exactly, read as events or as figures at once; a text read as empty comes back empty, never as
// not recorded; a text not read comes back not recorded.
#include "journal/Journal.h"

#include "tests/fuzz/FuzzInput.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what, const QByteArray &id)
{
    std::fprintf(stderr, "%s: controller %s\n", what, id.toPercentEncoding().constData());
    std::abort();
}

Journal &journal()
{
    static int argc = 1;
    static char name[] = "fuzz_journal";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    // Never destroyed: Qt's own registry of connections goes before it at exit.
    static Journal *j = new Journal;
    if (!j->ok() && !j->open(dir.filePath(QStringLiteral("journal.sqlite")))) {
        std::fprintf(stderr, "no journal: %s\n", qPrintable(j->problem()));
        std::abort();
    }
    return *j;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    ControllerIdentity who;
    who.portNumber = in.inRange(1, 255);
    who.devicePath = QStringLiteral("/dev/pts/1");
    who.identification = in.someBytes(20);
    who.version = in.someBytes(12);
    who.identificationRead = who.versionRead = true;
    DeviceData values;
    for (int c = 0; c < 16; ++c)
        values.ColumnSalesCount(c) = in.inRange(0, 65535);
    values.SalesTotal() = std::int32_t(in.inRange<std::uint32_t>(0, 0xFFFFFFFFu));
    ValueOrigins settings;
    const bool identificationRead = in.flag();
    const QByteArray identificationText = in.someBytes(20);
    if (identificationRead)
        settings.read(ValueOrigins::Identification, identificationText);

    Journal &j = journal();
    const qint64 id = j.recordReading(who, values, &settings);
    if (id <= 0)
        fail("not recorded", who.identification);
    const QList<JournalController> known = j.controllers();
    const JournalController *mine = nullptr;
    for (const JournalController &c : known)
        if (c.identificationBytes == who.identification && c.versionBytes == who.version)
            mine = &c;
    if (!mine)
        fail("the controller is not known by its bytes", who.identification);
    const QList<JournalEvent> counts = j.countEvents(*mine);
    if (counts.isEmpty() || counts.last().id != id)
        fail("the reading is not the controller's last", who.identification);
    // The figures read at once are those the events give.
    const QList<SalesHistory::CountPoint> direct = j.countPoints(*mine);
    const QList<SalesHistory::CountPoint> viaEvents = SalesHistory::countPoints(counts);
    if (direct.size() != viaEvents.size())
        fail("the figures read at once differ", who.identification);
    for (int i = 0; i < direct.size(); ++i)
        if (direct[i].eventId != viaEvents[i].eventId || direct[i].counts != viaEvents[i].counts
            || direct[i].after != viaEvents[i].after || direct[i].prices != viaEvents[i].prices
            || direct[i].clear != viaEvents[i].clear)
            fail("the figures read at once differ", who.identification);
    for (const JournalItem &item : j.items(id)) {
        if (item.name == QLatin1String("identification")) {
            if (!identificationRead && !item.value.isNull())
                fail("a text not read came back", who.identification);
            if (identificationRead
                && (item.value.isNull() || item.value.toString() != ShiftJis::decode(identificationText)))
                fail("a text read came back otherwise", who.identification);
        } else if (item.name.startsWith(QLatin1String("count"))) {
            const int c = item.name.mid(5).toInt() - 1;
            if (item.value.toLongLong() != values.ColumnSalesCount(c))
                fail("a count changed", who.identification);
        } else if (item.name == QLatin1String("total")) {
            if (item.value.toLongLong() != qint64(std::uint32_t(values.SalesTotal())))
                fail("the total changed", who.identification);
        }
    }
    return 0;
}
