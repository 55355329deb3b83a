#pragma once
// The rows a damaged journal still holds on pages that no intact page leads
// to, read from the file's pages as the SQLite file format lays them out,
// without SQLite: a b-tree whose root or inner page is lost keeps its leaves,
// which SQLite itself can no longer find. Every page is read as untrusted
// bytes. Nothing here knows the journal's tables: which table a page belongs
// to is judged from the shapes its schema gives (Shape, shapeOf).
#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

namespace JournalPages {

enum class Kind { Other, TableInterior, TableLeaf, IndexInterior, IndexLeaf };

// One row of a page: its values in the order the file keeps them (NULL as
// an invalid QVariant, integers as qint64, reals as double, texts as
// QString, blobs as QByteArray, empty ones not null) and, on a table page,
// its rowid.
struct Cell {
    qint64 rowid = 0;
    QVariantList values;
};

class File {
public:
    // `device`: the database file, open for reading, positioned anywhere.
    explicit File(QIODevice &device);

    // False when the file's header is not a database's (its first page
    // overwritten): pages are then taken as 4,096 bytes, SQLite's default.
    bool headerValid() const { return headerValid_; }
    int pageSize() const { return pageSize_; }
    quint32 pageCount() const { return pageCount_; }
    // Pages on the file's free list: what they hold was deleted or moved.
    const QSet<quint32> &freePages() const { return free_; }

    Kind kind(quint32 page) const;
    // The rows of a table leaf or an index page (inner or leaf); a cell
    // that does not decode whole is left out and counted in `broken`.
    QList<Cell> cells(quint32 page, int *broken = nullptr) const;
    // Its first and last rows only: which keys the page holds, cheaply.
    QList<Cell> ends(quint32 page) const;

private:
    QList<Cell> decode(quint32 page, bool endsOnly, int *broken) const;
    QByteArray read(quint32 page) const;
    bool cell(const QByteArray &page, Kind kind, int offset, Cell *out) const;
    bool record(const QByteArray &payload, QVariantList *values) const;
    void readFreeList(quint32 trunk);

    QIODevice &device_;
    bool headerValid_ = false;
    int pageSize_ = 4096;
    int usable_ = 4096;
    int encoding_ = 1;   // 1 UTF-8, 2 UTF-16le, 3 UTF-16be
    quint32 pageCount_ = 0;
    QSet<quint32> free_;
};

// The pages a write-ahead log holds frames of: newer than the file's own,
// so the file's copies of them are not to be believed.
QSet<quint32> walPages(QIODevice &wal);

// How a table or an index keeps its rows, as its schema says.
struct Column {
    enum class Affinity { Integer, Real, Numeric, Text, Blob };
    QString name;
    Affinity affinity = Affinity::Blob;
    bool notNull = false;
    bool hasDefault = false;
    bool rowid = false;   // INTEGER PRIMARY KEY: kept as NULL, the rowid holds it
};
struct Shape {
    QString name;            // of the table or index
    QString table;           // the table it belongs to
    bool indexPages = false; // kept on index pages: an index, or a table WITHOUT ROWID
    QList<Column> columns;   // in the order the file keeps them
};

// A column as a table's schema declares it (PRAGMA table_info).
struct Declared {
    QString name;
    QString type;
    bool notNull = false;
    bool hasDefault = false;
    int primaryKey = 0;      // its place in the primary key, 0 for none
};
Column::Affinity affinity(const QString &declaredType);
Shape tableShape(const QString &name, const QList<Declared> &columns, bool withoutRowid);
// An index of `keys` columns (the columns it sorts by and those that find
// the row): values of any kind.
Shape indexShape(const QString &name, const QString &table, int keys);

// Whether `cell` can be a row of `shape`: as many values as it has columns
// or fewer (a row older than a column added later), each of a kind its
// column takes, none missing that may not be.
bool fits(const Shape &shape, const Cell &cell);
// The one shape of `shapes` kept on pages of `kind` that every cell fits;
// -1 when none or more than one does, or there are no cells.
int shapeOf(const QList<Shape> &shapes, Kind kind, const QList<Cell> &cells);

} // namespace JournalPages
