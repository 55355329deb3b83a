#pragma once
// A reading as the vending industry's audit file (EVA-DTS 6.1, the "DEX"
// file handheld readers write), so that an operator's route-accounting
// software can import it. A plain function of the figures; where they come
// from (the journal's sales since initialisation and since the last clear)
// is the caller's business.
//
// Money is whole yen (ID4: no decimal places, currency 392) for a machine
// none of whose recorded prices ever had tenths, so that an ordinary
// machine's figures since initialisation fit their eight digits for
// years; tenths of a yen (one decimal place) otherwise, as the window shows
// them: a price shown as 12.5 is 125. The figures are kept in tenths here
// and written in the machine's unit.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace AuditFile {

struct Column {
    int number = 0;                // 1-16, the product identifier
    qint64 priceTenths = 0;
    qint64 countSinceInit = 0;
    qint64 valueSinceInit = 0;     // tenths of a yen
    qint64 countSinceReset = 0;
    qint64 valueSinceReset = 0;
};

struct Reading {
    QByteArray serial;      // the asset number, else the identification text (its bytes)
    QByteArray location;    // empty: none given (code page 932)
    QString version;        // the firmware's version text ("QUVO ver2.05")
    int firmware = 0;       // its number (205)
    qint64 valueSinceInit = 0;    // tenths of a yen
    qint64 countSinceInit = 0;
    qint64 valueSinceReset = 0;
    qint64 countSinceReset = 0;
    QList<Column> columns;
    int readings = 0;       // readings of this machine in the journal
    QDateTime time;         // of this reading
    int decimals = 1;       // 0: money in whole yen, 1: in tenths
    // The total was never read: VA101 and VA103 are left empty, not 0.
    bool totalUnread = false;
    // Columns (1-16) left out: their price or count was never read.
    QList<int> leftOut;
    // Turns of 65,536 pieces the since-initialisation figures include on a
    // column (1-16) from the money alone: the file has no field to mark them.
    QList<std::pair<int, qint64>> inferredWraps;
};

// Names the money and count fields wider than their eight digits, which the
// file gives rolled over as a meter does ("VA101", "PA202 of column 3").
QStringList rolledOver(const Reading &reading);

// The CRC-16 EVA-DTS uses (CRC-16/ARC: polynomial 0x8005 reflected,
// initial value 0, no final XOR).
quint16 crc16(const QByteArray &bytes);

// A field as the file may carry it: printable ASCII without '*', at most
// `width` characters; anything else is given as its bytes in hexadecimal.
QByteArray field(const QByteArray &bytes, int width);

// The serial for a controller with neither an asset number nor an
// identification text: longer than any identification a controller reports
// (ten characters), not hexadecimal and without the '~' of a shortened one,
// so it is never a real machine's.
inline constexpr char NoSerial[] = "QUVO-NO-IDENT";

// The machine's name in the file, as ID101 and CB101 carry it and the
// communication id and the file's name are made from it: the serial as
// `field` gives it (hexadecimal where it is not ASCII) when that fits the
// 20 characters; a longer one is its first 11 characters, '~' and the first
// 8 hexadecimal digits of the SHA-1 of the whole serial, so that two serials
// that begin alike never come out alike; NoSerial for an empty one.
QByteArray serialNumber(const QByteArray &serial);

// ID105: a location in ASCII as `field` gives it (30 characters); any other
// is left out, since its hexadecimal would tell a reader nothing.
QByteArray location(const QByteArray &bytes);

// The whole file: DXS, ST, the data segments, G85, SE, DXE; lines ended
// by CR LF.
QByteArray format(const Reading &reading);

} // namespace AuditFile
