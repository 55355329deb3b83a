// The journal's CSV rows from any texts and values.
// What must hold: a strict RFC 4180 reader takes every row back as exactly
// thirteen fields ending in CR LF; every text comes back as it was, except that
// one a spreadsheet would run as a formula (starting with =, +, -, @, a tab
// or a CR) comes back with an apostrophe before it; an empty text is told
// from a value not recorded.
#include "journal/JournalCsv.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

void fail(const char *what, const QByteArray &row)
{
    std::fprintf(stderr, "%s: %s\n", what, row.toPercentEncoding().constData());
    std::abort();
}

struct Field {
    QByteArray text;
    bool quoted = false;
};

// Fields of one row, or nothing when the row breaks RFC 4180.
std::optional<QList<Field>> readRow(const QByteArray &row)
{
    QList<Field> fields;
    qsizetype i = 0;
    for (;;) {
        Field f;
        if (i < row.size() && row[i] == '"') {
            f.quoted = true;
            for (++i;; ++i) {
                if (i >= row.size())
                    return std::nullopt;
                if (row[i] == '"') {
                    if (i + 1 < row.size() && row[i + 1] == '"') {
                        f.text += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                f.text += row[i];
            }
        } else {
            while (i < row.size() && row[i] != ',' && row[i] != '\r') {
                if (row[i] == '"' || row[i] == '\n')
                    return std::nullopt;
                f.text += row[i++];
            }
        }
        fields.append(f);
        if (i < row.size() && row[i] == ',') {
            ++i;
            continue;
        }
        if (row.mid(i) == "\r\n")
            return fields;
        return std::nullopt;
    }
}

QByteArray asExported(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (!bytes.isEmpty() && std::strchr("=+-@\t\r", bytes.front()) != nullptr)
        return '\'' + bytes;
    return bytes;
}

QVariant someValue(FuzzInput &in)
{
    switch (in.inRange(0, 3)) {
    case 0:
        return QVariant();
    case 1:
        return QVariant(in.inRange<qint64>(-5000000000LL, 5000000000LL));
    case 2:
        return QVariant(QStringLiteral(""));
    default:
        return QVariant(QString::fromUtf8(in.someBytes(24)));
    }
}

void checkValue(const Field &f, const QVariant &v, const QByteArray &row)
{
    if (v.isNull()) {
        if (!f.text.isEmpty() || f.quoted)
            fail("a value not recorded is not an empty field", row);
    } else if (v.typeId() == QMetaType::LongLong) {
        if (f.text != QByteArray::number(v.toLongLong()))
            fail("a number changed", row);
    } else if (f.text != asExported(v.toString()) || (v.toString().isEmpty() && !f.quoted)) {
        fail("a text changed", row);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    JournalEvent e;
    e.time = QString::fromUtf8(in.someBytes(32));
    e.port = in.inRange(0, 255);
    e.device = QString::fromUtf8(in.someBytes(24));
    e.identification = QString::fromUtf8(in.someBytes(24));
    e.version = QString::fromUtf8(in.someBytes(16));
    e.kind = QString::fromUtf8(in.someBytes(16));
    JournalItem item;
    item.name = QString::fromUtf8(in.someBytes(16));
    item.value = someValue(in);
    item.sent = someValue(in);
    item.reported = someValue(in);
    // Read last, so that the seeds written before the machine's columns
    // keep their meaning.
    const QString asset = QString::fromUtf8(in.someBytes(24));
    const QString location = QString::fromUtf8(in.someBytes(24));
    e.visit = in.inRange<qint64>(0, 1LL << 40);

    const QByteArray row = JournalCsv::row(e, item, asset, location);
    const std::optional<QList<Field>> fields = readRow(row);
    if (!fields)
        fail("not RFC 4180", row);
    if (fields->size() != 13)
        fail("not thirteen fields", row);
    const QString texts[] = {e.time, QString::number(e.port), e.device, e.identification, e.version, e.kind,
                             item.name};
    for (int i = 0; i < 7; ++i)
        if ((*fields)[i].text != asExported(texts[i]))
            fail("a field changed", row);
    checkValue((*fields)[7], item.value, row);
    checkValue((*fields)[8], item.sent, row);
    checkValue((*fields)[9], item.reported, row);
    if ((*fields)[10].text != asExported(asset) || (*fields)[11].text != asExported(location))
        fail("the machine changed", row);
    if ((*fields)[12].text != (e.visit != 0 ? QByteArray::number(e.visit) : QByteArray()))
        fail("the visit changed", row);
    return 0;
}
