// The change reconciliation through the real window against the controller
// emulator: the report names what the emulator's tubes lack, and the
// emulator receives the whole sequence with its read-backs.
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/WindowFixture.h"
#include "tests/support/WindowProbes.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/TMainForm.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int EmulatorCom = 150;

// The full read's commands, restated on purpose.
QStringList fullRead()
{
    QStringList c{QStringLiteral("QVQ")};
    for (const char *kind : {"QVRP", "QVRC"})
        for (QChar i : QStringLiteral("0123456789ABCDEF"))
            c << QLatin1String(kind) + i;
    for (int k = 1; k <= 6; ++k)
        c << QStringLiteral("QVRO%1").arg(k);
    return c + QStringList{"QVROA", "QVROB", "QVROC", "QVRON", "QVREA", "QVREC", "QVC"};
}

// Tubes 1 and 7 hold a surplus, paid out and never reported; 3 and 6 hold
// their standard count; the rest lack coins, two of them more than nine,
// so the report's fields must be read as hexadecimal.
const QByteArray Scenario = R"({
    "version": "VERSION",
    "statusFlags": 0,
    "salesTotal": 3000,
    "refundTotal": 500,
    "reconciliationCounter": 15,
    "tubes": {"standard": [20, 20, 30, 40, 300, 50, 40, 5],
              "current":  [25, 17, 30, 14, 45, 50, 41, 2]}
})";

} // namespace

class TestChangeEmulator : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void reconciliation_data();
    void reconciliation();
};

void TestChangeEmulator::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestChangeEmulator::reconciliation_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QString>("answer");     // to the report
    QTest::addColumn<QString>("refunds");
    QTest::addColumn<QStringList>("expected");

    const QStringList read = fullRead();
    QTest::newRow("refilled, ver2.05")
        << QByteArray("QUVO ver2.05") << "OK" << "500"
        << QStringList{"QVU1", "QVER", "QVEJ"} + read + QStringList{"QVEQ"} + read + QStringList{"QVU0"};
    // Older firmware reports no refunds.
    QTest::newRow("ended, ver1.95")
        << QByteArray("QUVO ver1.95") << "キャンセル" << "0"
        << QStringList{"QVU1", "QVER", "QVEQ"} + read + QStringList{"QVU0"};
}

void TestChangeEmulator::reconciliation()
{
    QFETCH(QByteArray, version);
    QFETCH(QString, answer);
    QFETCH(QString, refunds);
    QFETCH(QStringList, expected);

    WindowFixture rig;
    EmulatorProcess emulator(QStringLiteral(QUVO_EMULATOR), rig.sandbox.runtimeDir());
    emulator.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QVERIFY(emulator.startAt(EmulatorCom, QByteArray(Scenario).replace("VERSION", version),
                             EmulatorProcess::fastLine()));
    TMainForm &form = rig.openOnSerialPort();
    // The window lets go of its port before the emulator withdraws it.
    const auto windowFirst = qScopeGuard([&] { rig.form.reset(); });
    form.ConBtnClick();
    QCOMPARE(form.Connected, 1);
    // The status flags allow the reconciliation, so the full read enabled it.
    auto *earn = findControl<QPushButton>(&form, "EarnBtn");
    QVERIFY(earn->isEnabled());
    // The poll stays quiet so the log holds the operation's commands alone.
    findControl<QTimer>(&form, "Timer")->stop();
    const qsizetype before = emulator.commands().size();

    ModalAnswerer &boxes = rig.answerer();
    boxes.actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(answer);
    earn->click();

    QCOMPARE(boxes.unexpected, 0);
    QCOMPARE(boxes.seen.size(), 2);
    QCOMPARE(boxes.seen.at(1).caption, QStringLiteral("Information"));
    const QStringList report = boxes.seen.at(1).text.split(u'\n');
    QCOMPARE(report.filter(QStringLiteral("チューブ")),
             (QStringList{"自動補充チューブ[50円]:3枚 不足", "自動補充チューブ[500円]:26枚 不足",
                          "手動補充チューブ[10円]:255枚 不足", "手動補充チューブ[500円]:3枚 不足"}));
    QVERIFY(report.contains(QStringLiteral("精算カウンタ:0016")));
    QVERIFY(report.contains(QStringLiteral("総売上(円):3000")));
    QVERIFY(report.contains(QStringLiteral("総返金(円):") + refunds));
    QCOMPARE(emulator.commands().mid(before), expected);
    QCOMPARE(form.Connected, 1);
    QVERIFY(form.isEnabled());
}

QTEST_MAIN(TestChangeEmulator)
#include "tst_change_emulator.moc"
