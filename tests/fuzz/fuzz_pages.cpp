// A damaged journal's pages read without SQLite, whatever the file holds:
// the bytes are the file (and, read again, its write-ahead log).
// What must hold: nothing is read outside the bytes given; a page that is
// no table leaf or index page gives no rows; its first and last rows, read
// alone, are those of all its rows when every row decoded; a page judged to
// be a table's holds only rows that fit the table; every value is NULL, an
// integer, a real, a text or a blob, and a text or blob is never null.
#include "journal/JournalPages.h"

#include <QBuffer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace JournalPages;

namespace {

[[noreturn]] void fail(const char *what, quint32 page)
{
    std::fprintf(stderr, "%s: page %u\n", what, page);
    std::abort();
}

// The journal's tables and indexes as this build creates them.
const QList<Shape> &journalShapes()
{
    static const QList<Shape> shapes = [] {
        const QList<Declared> event{{"id", "INTEGER", false, false, 1},
                                    {"time", "TEXT", true, false, 0},
                                    {"kind", "TEXT", true, false, 0},
                                    {"port", "INTEGER", true, false, 0},
                                    {"device", "TEXT", true, false, 0},
                                    {"identification", "TEXT", true, false, 0},
                                    {"version", "TEXT", true, false, 0},
                                    {"summary", "TEXT", true, true, 0},
                                    {"identification_bytes", "BLOB", false, false, 0},
                                    {"version_bytes", "BLOB", false, false, 0},
                                    {"visit", "INTEGER", false, false, 0},
                                    {"machine", "INTEGER", false, false, 0},
                                    {"apart", "INTEGER", true, true, 0}};
        const QList<Declared> item{{"event", "INTEGER", true, false, 1}, {"position", "INTEGER", true, false, 2},
                                   {"name", "TEXT", true, false, 0},     {"value", "", false, false, 0},
                                   {"sent", "", false, false, 0},        {"reported", "", false, false, 0}};
        const QList<Declared> machine{{"id", "INTEGER", false, false, 1},
                                      {"asset", "TEXT", true, false, 0},
                                      {"location", "TEXT", true, false, 0},
                                      {"identification_bytes", "BLOB", false, false, 0},
                                      {"version_bytes", "BLOB", false, false, 0}};
        return QList<Shape>{tableShape(QStringLiteral("event"), event, false),
                            tableShape(QStringLiteral("item"), item, true),
                            tableShape(QStringLiteral("machine"), machine, false),
                            indexShape(QStringLiteral("event_by_controller"), QStringLiteral("event"), 3),
                            indexShape(QStringLiteral("event_by_bytes"), QStringLiteral("event"), 3),
                            indexShape(QStringLiteral("event_by_machine"), QStringLiteral("event"), 2),
                            indexShape(QStringLiteral("event_by_visit"), QStringLiteral("event"), 2)};
    }();
    return shapes;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId() || a.isValid() != b.isValid())
        return false;
    if (a.typeId() == QMetaType::Double) {
        const double x = a.toDouble(), y = b.toDouble();
        return std::memcmp(&x, &y, sizeof x) == 0;   // a NaN is the NaN it was
    }
    return a == b;
}

bool sameCell(const Cell &a, const Cell &b)
{
    if (a.rowid != b.rowid || a.values.size() != b.values.size())
        return false;
    for (qsizetype i = 0; i < a.values.size(); ++i)
        if (!sameValue(a.values[i], b.values[i]))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const File file(device);
    for (quint32 page = 1; page <= file.pageCount(); ++page) {
        int broken = 0;
        const QList<Cell> cells = file.cells(page, &broken);
        const QList<Cell> ends = file.ends(page);
        const Kind kind = file.kind(page);
        if ((kind == Kind::Other || kind == Kind::TableInterior) && (!cells.isEmpty() || !ends.isEmpty()))
            fail("rows from a page that holds none", page);
        if (broken == 0) {
            const QList<Cell> wanted = cells.size() <= 1 ? cells : QList<Cell>{cells.first(), cells.last()};
            if (ends.size() != wanted.size()
                || !std::equal(ends.begin(), ends.end(), wanted.begin(), sameCell))
                fail("the first and last rows read alone differ", page);
        }
        for (const Cell &cell : cells)
            for (const QVariant &v : cell.values) {
                const int type = v.typeId();
                if (v.isValid() && type != QMetaType::LongLong && type != QMetaType::Double
                    && type != QMetaType::QString && type != QMetaType::QByteArray)
                    fail("a value of no kind the file has", page);
                if ((type == QMetaType::QString && v.toString().isNull())
                    || (type == QMetaType::QByteArray && v.toByteArray().isNull()))
                    fail("a null text or blob", page);
            }
        const int shape = shapeOf(journalShapes(), kind, cells);
        if (shape >= 0 && !std::all_of(cells.begin(), cells.end(), [shape](const Cell &c) {
                return fits(journalShapes()[shape], c);
            }))
            fail("a row that does not fit the table of its page", page);
    }
    // Read as a log: no more pages than frames of the smallest page fit.
    if (walPages(device).size() > std::max<qsizetype>(0, (bytes.size() - 32) / (24 + 512)))
        fail("more pages than the log has frames", 0);
    return 0;
}
