#include "journal/JournalPages.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace JournalPages {

namespace {

quint32 be32(const QByteArray &b, qsizetype at)
{
    const auto *d = reinterpret_cast<const uchar *>(b.constData()) + at;
    return quint32(d[0]) << 24 | quint32(d[1]) << 16 | quint32(d[2]) << 8 | quint32(d[3]);
}

int be16(const QByteArray &b, qsizetype at)
{
    const auto *d = reinterpret_cast<const uchar *>(b.constData()) + at;
    return d[0] << 8 | d[1];
}

// A varint of the file format at `*at`, ending before `end`.
bool varint(const uchar *d, qsizetype end, qsizetype *at, quint64 *value)
{
    quint64 v = 0;
    for (int i = 0; i < 9; ++i) {
        if (*at >= end)
            return false;
        const uchar c = d[(*at)++];
        if (i == 8) {
            *value = v << 8 | c;
            return true;
        }
        v = v << 7 | (c & 0x7f);
        if (!(c & 0x80)) {
            *value = v;
            return true;
        }
    }
    return false;
}

Kind kindOf(uchar type)
{
    switch (type) {
    case 2: return Kind::IndexInterior;
    case 5: return Kind::TableInterior;
    case 10: return Kind::IndexLeaf;
    case 13: return Kind::TableLeaf;
    default: return Kind::Other;
    }
}

} // namespace

File::File(QIODevice &device) : device_(device)
{
    QByteArray header;
    if (device_.seek(0))
        header = device_.read(100);
    if (header.size() == 100 && header.startsWith(QByteArray("SQLite format 3\0", 16))) {
        int size = be16(header, 16);
        if (size == 1)
            size = 65536;
        const int reserved = uchar(header[20]);
        if (size >= 512 && size <= 65536 && (size & (size - 1)) == 0 && size - reserved >= 480) {
            pageSize_ = size;
            usable_ = size - reserved;
            headerValid_ = true;
            const quint32 encoding = be32(header, 56);
            if (encoding >= 1 && encoding <= 3)
                encoding_ = int(encoding);
        }
    }
    pageCount_ = quint32(std::min<qint64>(device_.size() / pageSize_, INT_MAX));
    if (headerValid_)
        readFreeList(be32(header, 32));
}

void File::readFreeList(quint32 trunk)
{
    // Trunk pages each name the next trunk and a list of free leaves.
    QSet<quint32> trunks;
    while (trunk >= 2 && trunk <= pageCount_ && !trunks.contains(trunk)) {
        trunks.insert(trunk);
        free_.insert(trunk);
        const QByteArray page = read(trunk);
        if (page.size() < 8)
            return;
        const quint32 leaves = std::min<quint32>(be32(page, 4), quint32(usable_ - 8) / 4);
        for (quint32 i = 0; i < leaves; ++i) {
            const quint32 leaf = be32(page, 8 + 4 * qsizetype(i));
            if (leaf >= 2 && leaf <= pageCount_)
                free_.insert(leaf);
        }
        trunk = be32(page, 0);
    }
}

QByteArray File::read(quint32 page) const
{
    if (page < 1 || page > pageCount_ || !device_.seek(qint64(page - 1) * pageSize_))
        return {};
    QByteArray bytes = device_.read(pageSize_);
    return bytes.size() == pageSize_ ? bytes : QByteArray();
}

Kind File::kind(quint32 page) const
{
    if (page < 1 || page > pageCount_ || !device_.seek(qint64(page - 1) * pageSize_ + (page == 1 ? 100 : 0)))
        return Kind::Other;
    const QByteArray type = device_.read(1);
    return type.size() == 1 ? kindOf(uchar(type[0])) : Kind::Other;
}

QList<Cell> File::cells(quint32 page, int *broken) const
{
    return decode(page, false, broken);
}

QList<Cell> File::ends(quint32 page) const
{
    return decode(page, true, nullptr);
}

QList<Cell> File::decode(quint32 page, bool endsOnly, int *broken) const
{
    QList<Cell> cells;
    const QByteArray bytes = read(page);
    if (bytes.isEmpty())
        return cells;
    const int start = page == 1 ? 100 : 0;
    const Kind kind = kindOf(uchar(bytes[start]));
    if (kind == Kind::Other || kind == Kind::TableInterior)
        return cells;
    const int pointers = start + (kind == Kind::IndexInterior ? 12 : 8);
    const int count = be16(bytes, start + 3);
    int lost = 0;
    if (pointers + 2 * count > usable_) {
        lost = count;
    } else {
        for (int i = 0; i < count; ++i) {
            if (endsOnly && i > 0 && i < count - 1)
                i = count - 1;
            const int offset = be16(bytes, pointers + 2 * i);
            Cell cell;
            if (offset >= pointers + 2 * count && offset < usable_ && this->cell(bytes, kind, offset, &cell))
                cells.append(cell);
            else
                ++lost;
        }
    }
    if (broken)
        *broken += lost;
    return cells;
}

bool File::cell(const QByteArray &page, Kind kind, int offset, Cell *out) const
{
    const auto *d = reinterpret_cast<const uchar *>(page.constData());
    qsizetype at = offset;
    if (kind == Kind::IndexInterior)
        at += 4;   // the child page
    quint64 size = 0;
    if (!varint(d, usable_, &at, &size))
        return false;
    if (kind == Kind::TableLeaf) {
        quint64 rowid = 0;
        if (!varint(d, usable_, &at, &rowid))
            return false;
        out->rowid = qint64(rowid);
    }
    // No row is larger than the file; what does not fit on the page goes on
    // in a chain of overflow pages, in the share the format prescribes.
    const qint64 u = usable_;
    if (size > quint64(pageCount_) * quint64(u))
        return false;
    const qint64 payload = qint64(size);
    const qint64 most = kind == Kind::TableLeaf ? u - 35 : (u - 12) * 64 / 255 - 23;
    const qint64 least = (u - 12) * 32 / 255 - 23;
    qint64 local = payload;
    if (payload > most) {
        const qint64 k = least + (payload - least) % (u - 4);
        local = k <= most ? k : least;
    }
    if (at + local + (payload > local ? 4 : 0) > usable_)
        return false;
    QByteArray whole(page.constData() + at, local);
    if (payload > local) {
        quint32 next = be32(page, at + local);
        QSet<quint32> visited;
        while (whole.size() < payload) {
            if (next < 2 || next > pageCount_ || visited.contains(next))
                return false;
            visited.insert(next);
            const QByteArray overflow = read(next);
            if (overflow.isEmpty())
                return false;
            next = be32(overflow, 0);
            whole.append(overflow.constData() + 4, std::min<qint64>(payload - whole.size(), u - 4));
        }
    }
    return record(whole, &out->values);
}

bool File::record(const QByteArray &payload, QVariantList *values) const
{
    const auto *d = reinterpret_cast<const uchar *>(payload.constData());
    const qsizetype n = payload.size();
    qsizetype at = 0;
    quint64 headerSize = 0;
    if (!varint(d, n, &at, &headerSize) || headerSize < quint64(at) || headerSize > quint64(n))
        return false;
    QList<quint64> types;
    while (at < qsizetype(headerSize)) {
        quint64 type = 0;
        if (!varint(d, qsizetype(headerSize), &at, &type))
            return false;
        types.append(type);
    }
    qsizetype body = qsizetype(headerSize);
    for (const quint64 type : std::as_const(types)) {
        static constexpr int IntegerSizes[] = {0, 1, 2, 3, 4, 6, 8};
        if (type == 0) {
            values->append(QVariant());
        } else if (type <= 6) {
            const int size = IntegerSizes[type];
            if (body + size > n)
                return false;
            quint64 v = 0;
            for (int i = 0; i < size; ++i)
                v = v << 8 | d[body + i];
            if (size < 8 && (v >> (8 * size - 1)) & 1)
                v |= ~quint64(0) << (8 * size);   // negative: the sign carried up
            values->append(QVariant(qint64(v)));
            body += size;
        } else if (type == 7) {
            if (body + 8 > n)
                return false;
            quint64 bits = 0;
            for (int i = 0; i < 8; ++i)
                bits = bits << 8 | d[body + i];
            double real = 0;
            std::memcpy(&real, &bits, sizeof real);
            values->append(QVariant(real));
            body += 8;
        } else if (type == 8 || type == 9) {
            values->append(QVariant(qint64(type - 8)));
        } else if (type >= 12) {
            const quint64 length = (type - 12) / 2;
            if (length > quint64(n - body))
                return false;
            const auto *bytes = reinterpret_cast<const char *>(d + body);
            const qsizetype size = qsizetype(length);
            if (type % 2 == 0) {
                values->append(QVariant(QByteArray(bytes, size)));   // never null: `bytes` is not
            } else if (encoding_ == 1) {
                values->append(QVariant(size == 0 ? QStringLiteral("") : QString::fromUtf8(bytes, size)));
            } else {
                if (size % 2 != 0)
                    return false;
                QString text(size / 2, Qt::Uninitialized);
                for (qsizetype i = 0; i < size / 2; ++i) {
                    const uchar a = uchar(bytes[2 * i]), b = uchar(bytes[2 * i + 1]);
                    text[i] = QChar(encoding_ == 2 ? char16_t(b << 8 | a) : char16_t(a << 8 | b));
                }
                values->append(QVariant(size == 0 ? QStringLiteral("") : text));
            }
            body += size;
        } else {
            return false;   // 10 and 11 are reserved
        }
    }
    return body == n;
}

QSet<quint32> walPages(QIODevice &wal)
{
    QSet<quint32> pages;
    if (!wal.seek(0))
        return pages;
    const QByteArray header = wal.read(32);
    if (header.size() < 32)
        return pages;
    const quint32 magic = be32(header, 0);
    const qint64 size = be32(header, 8);
    if ((magic != 0x377f0682 && magic != 0x377f0683) || size < 512 || size > 65536 || (size & (size - 1)) != 0)
        return pages;
    // Each frame: 24 bytes naming its page, then the page.
    for (qint64 at = 32; at + 24 + size <= wal.size(); at += 24 + size) {
        if (!wal.seek(at))
            break;
        const QByteArray frame = wal.read(4);
        if (frame.size() < 4)
            break;
        pages.insert(be32(frame, 0));
    }
    return pages;
}

Column::Affinity affinity(const QString &declaredType)
{
    // SQLite's rules, in its order.
    const QString t = declaredType.toUpper();
    if (t.contains(QLatin1String("INT")))
        return Column::Affinity::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return Column::Affinity::Text;
    if (t.isEmpty() || t.contains(QLatin1String("BLOB")))
        return Column::Affinity::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
        return Column::Affinity::Real;
    return Column::Affinity::Numeric;
}

Shape tableShape(const QString &name, const QList<Declared> &columns, bool withoutRowid)
{
    Shape shape{name, name, withoutRowid, {}};
    QList<Declared> order = columns;
    const qsizetype keys = std::count_if(columns.begin(), columns.end(), [](const Declared &d) { return d.primaryKey > 0; });
    // A table WITHOUT ROWID keeps its primary key first.
    if (withoutRowid)
        std::stable_sort(order.begin(), order.end(), [](const Declared &a, const Declared &b) {
            return (a.primaryKey > 0 ? a.primaryKey : INT_MAX) < (b.primaryKey > 0 ? b.primaryKey : INT_MAX);
        });
    for (const Declared &d : std::as_const(order)) {
        const bool rowid = !withoutRowid && keys == 1 && d.primaryKey == 1
            && d.type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        shape.columns.append({d.name, affinity(d.type), d.notNull || (withoutRowid && d.primaryKey > 0),
                              d.hasDefault, rowid});
    }
    return shape;
}

Shape indexShape(const QString &name, const QString &table, int keys)
{
    Shape shape{name, table, true, {}};
    for (int i = 0; i < keys; ++i)
        shape.columns.append({QString(), Column::Affinity::Blob, false, false, false});
    return shape;
}

bool fits(const Shape &shape, const Cell &cell)
{
    if (cell.values.isEmpty() || cell.values.size() > shape.columns.size())
        return false;
    for (qsizetype i = 0; i < shape.columns.size(); ++i) {
        const Column &c = shape.columns[i];
        if (i >= cell.values.size()) {
            if (c.notNull && !c.hasDefault)
                return false;
            continue;
        }
        const QVariant &v = cell.values[i];
        if (c.rowid || !v.isValid()) {
            if (v.isValid() || (c.notNull && !c.rowid))
                return false;
            continue;
        }
        const int type = v.typeId();
        switch (c.affinity) {
        case Column::Affinity::Integer:
        case Column::Affinity::Real:
        case Column::Affinity::Numeric:
            if (type != QMetaType::LongLong && type != QMetaType::Double)
                return false;
            break;
        case Column::Affinity::Text:
            if (type != QMetaType::QString && type != QMetaType::QByteArray)
                return false;
            break;
        case Column::Affinity::Blob:
            break;
        }
    }
    return true;
}

int shapeOf(const QList<Shape> &shapes, Kind kind, const QList<Cell> &cells)
{
    const bool indexPage = kind == Kind::IndexLeaf || kind == Kind::IndexInterior;
    if (cells.isEmpty() || (!indexPage && kind != Kind::TableLeaf))
        return -1;
    int found = -1;
    for (qsizetype i = 0; i < shapes.size(); ++i) {
        if (shapes[i].indexPages != indexPage)
            continue;
        if (!std::all_of(cells.begin(), cells.end(), [&](const Cell &c) { return fits(shapes[i], c); }))
            continue;
        if (found >= 0)
            return -1;
        found = int(i);
    }
    return found;
}

} // namespace JournalPages
