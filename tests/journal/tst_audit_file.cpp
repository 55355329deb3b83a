// The audit file an operator's software imports: its CRC, its framing and
// the fields that carry text; a file left in the folder it watches.
#include "journal/AuditExport.h"
#include "journal/AuditFile.h"
#include "journal/OutputFile.h"

#include <QtTest>
#include <algorithm>

class TestAuditFile : public QObject {
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void field_data();
    void field();
    void file();
    void money_data();
    void money();
    void machineNamed_data();
    void machineNamed();
    void intoFolder_data();
    void intoFolder();
};

void TestAuditFile::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    // The check value of CRC-16/ARC.
    QTest::newRow("check value") << QByteArray("123456789") << 0xBB3D;
    QTest::newRow("nothing") << QByteArray() << 0x0000;
    QTest::newRow("one byte") << QByteArray("A") << 0x30C0;
}

void TestAuditFile::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(AuditFile::crc16(bytes)), crc);
}

void TestAuditFile::field_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("plain") << QByteArray("ST-0001") << 20 << QByteArray("ST-0001");
    // A separator inside a field would split it.
    QTest::newRow("star") << QByteArray("A*B") << 20 << QByteArray("412A42");
    // Code page 932 bytes of 店1 go as hexadecimal.
    QTest::newRow("not ASCII") << QByteArray("\x93\x58" "1") << 20 << QByteArray("935831");
    QTest::newRow("too wide") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ") << 20 << QByteArray("ABCDEFGHIJKLMNOPQRST");
}

void TestAuditFile::field()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, width);
    QFETCH(QByteArray, shown);
    QCOMPARE(AuditFile::field(bytes, width), shown);
}

void TestAuditFile::file()
{
    AuditFile::Reading r;
    r.serial = "ST-0001";
    r.location = "Ekimae";
    r.firmware = 205;
    r.valueSinceInit = 30000;
    r.countSinceInit = 12;
    r.valueSinceReset = 2500;
    r.countSinceReset = 2;
    for (int i = 1; i <= 16; ++i)
        r.columns.append({i, i * 10, i, i * i * 10, 0, 0});
    r.readings = 7;
    r.time = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    const QByteArray file = AuditFile::format(r);

    // Every line ends with CR LF, and neither appears elsewhere.
    QVERIFY(file.endsWith("\r\n"));
    QCOMPARE(file.count('\n'), file.count("\r\n"));
    QCOMPARE(file.count('\r'), file.count("\r\n"));
    const QList<QByteArray> segments = file.chopped(2).replace("\r\n", "\n").split('\n');
    QVERIFY(segments.first().startsWith("DXS*"));
    QCOMPARE(segments.first().mid(14), QByteArray("*VA*V1/1*1"));
    QCOMPARE(segments.last(), QByteArray("DXE*1*1"));
    // ST up to SE: 1 ST, ID1, ID4, CB1, VA1, 16 x (PA1, PA2), EA3, G85, SE.
    const int st = int(segments.indexOf("ST*001*0001"));
    QCOMPARE(st, 1);
    QCOMPARE(segments.at(segments.size() - 2), "SE*" + QByteArray::number(1 + 4 + 32 + 3) + "*0001");
    // The CRC covers every byte from ST to the end of the line before G85.
    const int g85 = int(file.indexOf("G85*"));
    const QByteArray covered = file.mid(file.indexOf("ST*"), g85 - file.indexOf("ST*"));
    QCOMPARE(segments.at(segments.size() - 3),
             "G85*" + QByteArray::number(AuditFile::crc16(covered), 16).toUpper().rightJustified(4, '0'));
    QVERIFY(segments.contains("ID1*ST-0001*QUVO*205**Ekimae"));
    QVERIFY(segments.contains("ID4*1*392"));
    QVERIFY(segments.contains("VA1*30000*12*2500*2"));
    QVERIFY(segments.contains("PA1*3*30"));
    QVERIFY(segments.contains("PA2*3*90*0*0"));
    QVERIFY(segments.contains("EA3*7*261207*0905"));
}

void TestAuditFile::money_data()
{
    // The file's unit, the figures kept in tenths of a yen, and what it writes.
    QTest::addColumn<int>("decimals");
    QTest::addColumn<qint64>("valueTenths");
    QTest::addColumn<qint64>("priceTenths");
    QTest::addColumn<QByteArray>("id4");
    QTest::addColumn<QByteArray>("va1");
    QTest::addColumn<QByteArray>("pa1");
    QTest::addColumn<QStringList>("rolled");
    // A register at 10,255,662 yen fits eight digits in whole yen.
    QTest::newRow("whole yen") << 0 << qint64(102556620) << qint64(1200) << QByteArray("ID4*0*392")
                               << QByteArray("VA1*10255662*0*0*0") << QByteArray("PA1*1*120") << QStringList();
    // In tenths it does not: it rolls over as a meter does, and is named.
    QTest::newRow("tenths, rolled over") << 1 << qint64(102556620) << qint64(125) << QByteArray("ID4*1*392")
                                         << QByteArray("VA1*2556620*0*0*0") << QByteArray("PA1*1*125")
                                         << QStringList{"VA101"};
    QTest::newRow("total never read") << -1 << qint64(0) << qint64(1500) << QByteArray("ID4*0*392")
                                      << QByteArray("VA1**0**0") << QByteArray("PA1*1*150") << QStringList();
    QTest::newRow("whole yen, rolled over") << 0 << qint64(1000000010) << qint64(1500) << QByteArray("ID4*0*392")
                                            << QByteArray("VA1*1*0*0*0") << QByteArray("PA1*1*150")
                                            << QStringList{"VA101"};
}

void TestAuditFile::money()
{
    QFETCH(int, decimals);
    QFETCH(qint64, valueTenths);
    QFETCH(qint64, priceTenths);
    QFETCH(QByteArray, id4);
    QFETCH(QByteArray, va1);
    QFETCH(QByteArray, pa1);
    QFETCH(QStringList, rolled);
    AuditFile::Reading r;
    r.serial = "M";
    r.decimals = std::max(0, decimals);
    r.totalUnread = decimals < 0;   // the row of a total never read
    r.valueSinceInit = valueTenths;
    r.columns.append({1, priceTenths, 0, 0, 0, 0});
    r.time = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    const QList<QByteArray> segments = AuditFile::format(r).replace("\r\n", "\n").split('\n');
    QVERIFY(segments.contains(id4));
    QVERIFY(segments.contains(va1));
    QVERIFY(segments.contains(pa1));
    QCOMPARE(AuditFile::rolledOver(r), rolled);
}

void TestAuditFile::machineNamed_data()
{
    // The machine's serial (asset number or identification text, code page
    // 932) and location; the ID1 segment, the communication id of DXS and
    // the file's name in a folder, all from one serial.
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QByteArray>("id1");
    QTest::addColumn<QByteArray>("dxs");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("ASCII") << QByteArray("ST-0001") << QByteArray("Ekimae 3F") << QByteArray("ID1*ST-0001*QUVO*205**Ekimae 3F")
                           << QByteArray() << QStringLiteral("ST-0001_20261207-0905.dex");
    // 駅前3F: left out, not given as 8977914F3346.
    QTest::newRow("location in Japanese") << QByteArray("ST-0001") << QByteArray("\x89\x77\x91\x4f\x33\x46")
                                          << QByteArray("ID1*ST-0001*QUVO*205") << QByteArray()
                                          << QStringLiteral("ST-0001_20261207-0905.dex");
    QTest::newRow("identification in Japanese") << QByteArray("\x93\x58" "1") << QByteArray()
                                                << QByteArray("ID1*935831*QUVO*205") << QByteArray()
                                                << QStringLiteral("935831_20261207-0905.dex");
    QTest::newRow("twenty characters, whole") << QByteArray("ABCDEFGHIJKLMNOPQRST") << QByteArray()
                                              << QByteArray("ID1*ABCDEFGHIJKLMNOPQRST*QUVO*205") << QByteArray()
                                              << QStringLiteral("ABCDEFGHIJKLMNOPQRST_20261207-0905.dex");
    // Two asset numbers alike in their first 20 characters: each its own
    // shortened form, its end the SHA-1 of the whole.
    QTest::newRow("long, ending 1") << QByteArray("VX-200-SHINJUKU-EAST-0001") << QByteArray()
                                    << QByteArray("ID1*VX-200-SHIN~26122F5E*QUVO*205") << QByteArray()
                                    << QStringLiteral("VX-200-SHIN~26122F5E_20261207-0905.dex");
    QTest::newRow("long, ending 2") << QByteArray("VX-200-SHINJUKU-EAST-0002") << QByteArray()
                                    << QByteArray("ID1*VX-200-SHIN~C562EBF6*QUVO*205") << QByteArray()
                                    << QStringLiteral("VX-200-SHIN~C562EBF6_20261207-0905.dex");
    // 資産番号ＡＢ: 24 hexadecimal digits.
    QTest::newRow("long in Japanese") << QByteArray("\x8e\x91\x8e\x59\x94\xd4\x8d\x86\x82\x60\x82\x61")
                                      << QByteArray() << QByteArray("ID1*8E918E5994D~039A3786*QUVO*205") << QByteArray()
                                      << QStringLiteral("8E918E5994D~039A3786_20261207-0905.dex");
    // No asset number and an empty identification text.
    QTest::newRow("no identification") << QByteArray() << QByteArray() << QByteArray("ID1*QUVO-NO-IDENT*QUVO*205")
                                       << QByteArray("DXS*QUV0036915*VA*V1/1*1")
                                       << QStringLiteral("QUVO-NO-IDENT_20261207-0905.dex");
}

void TestAuditFile::machineNamed()
{
    QFETCH(QByteArray, serial);
    QFETCH(QByteArray, location);
    QFETCH(QByteArray, id1);
    QFETCH(QByteArray, dxs);
    QFETCH(QString, fileName);
    AuditFile::Reading r;
    r.serial = serial;
    r.location = location;
    r.firmware = 205;
    r.time = QDateTime(QDate(2026, 12, 7), QTime(9, 5));
    const QList<QByteArray> segments = AuditFile::format(r).replace("\r\n", "\n").split('\n');
    QCOMPARE(segments.value(2), id1);
    // The control board carries the same serial.
    const QByteArray serialShown = id1.split('*').value(1);
    QVERIFY(serialShown.size() <= 20);
    QCOMPARE(segments.value(4), "CB1*" + serialShown + "*QUVO*205");
    if (!dxs.isEmpty())
        QCOMPARE(segments.value(0), dxs);
    QCOMPARE(AuditExport::fileName(r), fileName);
}

void TestAuditFile::intoFolder_data()
{
    // The files already in the folder, whether the output fails half-way,
    // and the file's name in the folder afterwards (empty: none made).
    // The folder's own faults are the command line's test.
    QTest::addColumn<QStringList>("there");
    QTest::addColumn<bool>("failsHalfWay");
    QTest::addColumn<QString>("made");
    const QString name = QStringLiteral("ST-1_20261207-0905.dex");
    QTest::newRow("a new name") << QStringList() << false << name;
    QTest::newRow("the name taken") << QStringList{name} << false << QStringLiteral("ST-1_20261207-0905-2.dex");
    QTest::newRow("that taken too") << QStringList{name, QStringLiteral("ST-1_20261207-0905-2.dex")} << false
                                    << QStringLiteral("ST-1_20261207-0905-3.dex");
    QTest::newRow("output fails half-way") << QStringList{name} << true << QString();
}

void TestAuditFile::intoFolder()
{
    QFETCH(QStringList, there);
    QFETCH(bool, failsHalfWay);
    QFETCH(QString, made);
    QTemporaryDir dir;
    for (const QString &name : there) {
        QFile old(dir.filePath(name));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old " + name.toLatin1());
    }
    const QByteArray bytes = "DXS*ST-1\r\nDXE*1*1\r\n";
    // What an importer that skips hidden files sees while the output is
    // half written.
    QStringList seenHalfWay;
    const OutputFile::Fill fill = [&](QIODevice &out, QString *why) {
        out.write(bytes.left(5));
        seenHalfWay = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        seenHalfWay.sort();
        if (!failsHalfWay)
            return out.write(bytes.mid(5)) == bytes.size() - 5;
        *why = QStringLiteral("disk full");
        return false;
    };
    QString said;
    const QString path = OutputFile::writeInto(dir.path(), QStringLiteral("ST-1_20261207-0905.dex"), fill, &said);
    QCOMPARE(path.isEmpty(), made.isEmpty());
    QCOMPARE(said, failsHalfWay ? QStringLiteral("disk full") : QString());
    there.sort();
    QCOMPARE(seenHalfWay, there);
    // What was there is as it was; beside it only the whole new file, no
    // hidden one left over.
    QStringList expected = there;
    if (!made.isEmpty()) {
        expected << made;
        QCOMPARE(path, QDir(dir.path()).filePath(made));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
        QCOMPARE(file.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    expected.sort();
    QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    QCOMPARE(left, expected);
    for (const QString &name : there) {
        QFile old(dir.filePath(name));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), "old " + name.toLatin1());
    }
}

QTEST_APPLESS_MAIN(TestAuditFile)
#include "tst_audit_file.moc"
