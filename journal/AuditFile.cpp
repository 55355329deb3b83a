#include "journal/AuditFile.h"

#include <QCryptographicHash>
#include <algorithm>

namespace AuditFile {

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0;
    for (const char c : bytes) {
        crc ^= quint16(uchar(c));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray field(const QByteArray &bytes, int width)
{
    const bool plain = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return uchar(c) >= 0x20 && uchar(c) < 0x7F && c != '*';
    });
    const QByteArray shown = plain ? bytes : bytes.toHex().toUpper();
    return shown.left(width);
}

QByteArray serialNumber(const QByteArray &serial)
{
    constexpr int Width = 20;
    if (serial.isEmpty())
        return QByteArray(NoSerial);
    const QByteArray whole = field(serial, int(serial.size()) * 2);
    if (whole.size() <= Width)
        return whole;
    const QByteArray sum = QCryptographicHash::hash(serial, QCryptographicHash::Sha1).toHex().toUpper();
    return whole.left(Width - 9) + '~' + sum.left(8);
}

QByteArray location(const QByteArray &bytes)
{
    if (std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) >= 0x80; }))
        return QByteArray();
    return field(bytes, 30);
}

namespace {

// Numeric fields never carry a sign, and a figure wider than its field
// rolls over as a meter does (readers take differences modulo the field),
// rather than stopping at a wrong maximum.
QByteArray number(qint64 n, int width)
{
    qint64 span = 1;
    for (int i = 0; i < width; ++i)
        span *= 10;
    return QByteArray::number(std::max<qint64>(n, 0) % span);
}

constexpr qint64 FieldSpan = 100000000;   // eight digits

// Money kept in tenths, as the file's unit gives it.
qint64 money(const Reading &r, qint64 tenths)
{
    return r.decimals == 0 ? tenths / 10 : tenths;
}

class Segments {
public:
    void add(const QList<QByteArray> &fields)
    {
        QByteArray line = fields.join('*');
        // Trailing empty fields are left off, as readers write them.
        while (line.endsWith('*'))
            line.chop(1);
        body_ += line + "\r\n";
        ++count_;
    }
    QByteArray body() const { return body_; }
    int count() const { return count_; }

private:
    QByteArray body_;
    int count_ = 0;
};

} // namespace

QStringList rolledOver(const Reading &r)
{
    QStringList wide;
    const auto check = [&](qint64 n, const QString &name) {
        if (n >= FieldSpan)
            wide << name;
    };
    if (!r.totalUnread)
        check(money(r, r.valueSinceInit), QStringLiteral("VA101"));
    check(r.countSinceInit, QStringLiteral("VA102"));
    if (!r.totalUnread)
        check(money(r, r.valueSinceReset), QStringLiteral("VA103"));
    check(r.countSinceReset, QStringLiteral("VA104"));
    for (const Column &c : r.columns) {
        const QString of = QStringLiteral(" of column %1").arg(c.number);
        check(c.countSinceInit, QStringLiteral("PA201") + of);
        check(money(r, c.valueSinceInit), QStringLiteral("PA202") + of);
        check(c.countSinceReset, QStringLiteral("PA203") + of);
        check(money(r, c.valueSinceReset), QStringLiteral("PA204") + of);
    }
    return wide;
}

QByteArray format(const Reading &r)
{
    // Widths as the standard gives them (AN: characters, N: digits).
    Segments set;
    set.add({"ST", "001", "0001"});                        // ST01 set id, ST02 control number
    const QByteArray serial = serialNumber(r.serial);
    set.add({"ID1", serial,                                // ID101 serial number, AN 1-20
             "QUVO",                                       // ID102 model, AN 1-20
             number(r.firmware, 4),                        // ID103 build standard, N 1-4
             QByteArray(),                                 // ID104 (unused)
             location(r.location)});                       // ID105 location, AN 1-30
    set.add({"ID4", number(r.decimals, 1), "392"});        // ID401 decimal places, ID402 currency (JPY)
    set.add({"CB1", serial,                                // CB101 control board serial, AN 1-20
             "QUVO",                                       // CB102 model, AN 1-20
             number(r.firmware, 4)});                      // CB103 software revision, N 1-4
    // A total never read leaves its money empty rather than 0.
    const auto totalMoney = [&r](qint64 tenths) {
        return r.totalUnread ? QByteArray() : number(money(r, tenths), 8);
    };
    set.add({"VA1", totalMoney(r.valueSinceInit),          // VA101 value of paid sales since init, N 1-8
             number(r.countSinceInit, 8),                  // VA102 their number, N 1-8
             totalMoney(r.valueSinceReset),                // VA103 value since the last reset, N 1-8
             number(r.countSinceReset, 8)});               // VA104 their number, N 1-8
    for (const Column &c : r.columns) {
        set.add({"PA1", number(c.number, 8),               // PA101 product identifier, AN 1-8
                 number(money(r, c.priceTenths), 8)});     // PA102 price, N 1-8
        set.add({"PA2", number(c.countSinceInit, 8),       // PA201 paid vends since init, N 1-8
                 number(money(r, c.valueSinceInit), 8),    // PA202 their value, N 1-8
                 number(c.countSinceReset, 8),             // PA203 paid vends since reset, N 1-8
                 number(money(r, c.valueSinceReset), 8)}); // PA204 their value, N 1-8
    }
    set.add({"EA3", number(r.readings, 6),                 // EA301 number of readings, N 1-6
             r.time.toString(QStringLiteral("yyMMdd")).toLatin1(),   // EA302 date of this one, YYMMDD
             r.time.toString(QStringLiteral("HHmm")).toLatin1()});   // EA303 its time, HHMM
    const QByteArray crc = QByteArray::number(crc16(set.body()), 16).toUpper().rightJustified(4, '0');
    set.add({"G85", crc});                                 // G8501 CRC of ST up to the line before
    const QByteArray seCount = number(set.count() + 1, 6); // SE01 segments from ST to SE inclusive
    set.add({"SE", seCount, "0001"});                      // SE02 the control number of ST02

    // The communication ID: a three-letter code and seven digits.
    const QByteArray id = "QUV" + QByteArray::number(crc16(serial) % 10000000).rightJustified(7, '0');
    return "DXS*" + id + "*VA*V1/1*1\r\n" + set.body() + "DXE*1*1\r\n";
}

} // namespace AuditFile
