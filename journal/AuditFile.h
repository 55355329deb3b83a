#pragma once
// A reading as the vending industry's audit file (EVA-DTS 6.1, the "DEX"
// file handheld readers write), so that an operator's route-accounting
// software can import it. A plain function of the figures; where they come
// from (the journal's sales since initialisation and since the last clear)
// is the caller's business.
//
// Money is in tenths of a yen, as the window shows it: one decimal place,
// currency 392. A price the screen shows as 12.5 is 125, one it shows as
// 150 (columns 5-8) is 1500; a total of 1,000 yen is 10000.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

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
    QByteArray location;    // empty: none given
    QString version;        // the firmware's version text ("QUVO ver2.05")
    int firmware = 0;       // its number (205)
    qint64 valueSinceInit = 0;    // tenths of a yen
    qint64 countSinceInit = 0;
    qint64 valueSinceReset = 0;
    qint64 countSinceReset = 0;
    QList<Column> columns;
    int readings = 0;       // readings of this machine in the journal
    QDateTime time;         // of this reading
};

// The CRC-16 EVA-DTS uses (CRC-16/ARC: polynomial 0x8005 reflected,
// initial value 0, no final XOR).
quint16 crc16(const QByteArray &bytes);

// A field as the file may carry it: printable ASCII without '*', at most
// `width` characters; anything else is given as its bytes in hexadecimal.
QByteArray field(const QByteArray &bytes, int width);

// The whole file: DXS, ST, the data segments, G85, SE, DXE; lines ended
// by CR LF.
QByteArray format(const Reading &reading);

} // namespace AuditFile
