// Round trips through the controller emulator on a pseudo-terminal: what the
// window writes, the emulator keeps, and the window then shows what the
// emulator reports.
#include "tests/support/EmulatorProcess.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/WindowProbes.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/StringGrid.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"

#include <QComboBox>
#include <QMessageBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {

constexpr int EmulatorCom = 200;
constexpr int RestartMs = 300;

struct EmulatorRig {
    PortSandbox sandbox;
    EmulatorProcess emulator{QStringLiteral(QUVO_EMULATOR), sandbox.runtimeDir()};
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TDataSetDialog> dialog;
    std::unique_ptr<ModalAnswerer> answerer;

    // Starts the emulator with a scenario and the window beside it.
    bool start(const QByteArray &scenarioJson)
    {
        emulator.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!emulator.startAt(EmulatorCom, scenarioJson))
            return false;
        form = std::make_unique<TMainForm>();
        dialog = std::make_unique<TDataSetDialog>();
        form->SetDataSetDialog(dialog.get());
        form->show();
        child<QTabWidget>("PageControl")->setCurrentWidget(child<QWidget>("TabSheet3"));
        answerer = std::make_unique<ModalAnswerer>(form.get());
        return true;
    }

    template <class T> T *child(const char *name) const { return Find<T>(form.get(), name); }

    QStringList commands() const { return emulator.commands(); }

    void clickCell(const char *grid, int col, int row) { ClickCell(child<StringGrid>(grid), col, row); }
};

// True when `wanted` appears in `got` in this order, with anything between.
bool inOrder(const QStringList &got, const QStringList &wanted, int *end = nullptr)
{
    int at = 0;
    for (const QString &w : wanted) {
        at = got.indexOf(w, at);
        if (at < 0)
            return false;
        ++at;
    }
    if (end)
        *end = at;
    return true;
}

const QByteArray BaseScenario = R"({
    "prices": [100, 200, 300, 400, 50, 60, 70, 80, 90, 100],
    "counts": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16],
    "salesTotal": 123456,
    "options": [0, 0, 0, 0, 0, 0],
    "receipt": [{"x": 2, "y": 2, "text": "領 収 書"},
                {"x": 1, "y": 2, "text": "ありがとう"},
                {"x": 1, "y": 1, "text": "ABC"}],
    "id": "OLD",
    "restartMs": 300
    FAULTS
})";

QByteArray scenario(const QByteArray &faults = QByteArray())
{
    QByteArray s = BaseScenario;
    return s.replace("FAULTS", faults.isEmpty() ? QByteArray() : ", \"faults\": " + faults);
}

} // namespace

class TestWriteRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void priceRoundTrip_data();
    void priceRoundTrip();
    void optionsRoundTrip();
    void faultyLineThenOptionsWrite_data();
    void faultyLineThenOptionsWrite();
    void counterClearRoundTrip();
    void guardedWrites_data();
    void guardedWrites();
};

void TestWriteRoundTrip::initTestCase()
{
    InitUiResources();
    InstallFontSubstitutions();
}

void TestWriteRoundTrip::priceRoundTrip_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("shown");

    QTest::newRow("col3 12.5") << 2 << "12.5" << QByteArray() << "QVSP2=007D" << "12.5";
    QTest::newRow("col5 150") << 4 << "150" << QByteArray() << "QVSP4=0096" << "150";
    QTest::newRow("col10 0.3") << 9 << "0.3" << QByteArray() << "QVSP9=0003" << "0.3";
    // A controller that refuses keeps its price, and the views say so.
    QTest::newRow("col3 refused") << 2 << "12.5"
        << QByteArray(R"([{"command": "QVSP*", "fault": "error", "number": 2}])")
        << "QVSP2=007D" << "30.0";
}

void TestWriteRoundTrip::priceRoundTrip()
{
    QFETCH(int, row);
    QFETCH(QString, entry);
    QFETCH(QByteArray, faults);
    QFETCH(QString, command);
    QFETCH(QString, shown);

    EmulatorRig rig;
    QVERIFY(rig.start(scenario(faults)));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    const int before = int(rig.commands().size());
    rig.answerer->actions << ModalAnswerer::enter(entry);

    rig.clickCell("OptGrid1", 1, row);
    QTest::qWait(50);

    QCOMPARE(rig.answerer->unexpected, 0);
    const QStringList after = rig.commands().mid(before);
    QVERIFY2(inOrder(after, {"QVU1", command, "QVU0", "QVQ", "QVRP0", "QVC"}), qPrintable(after.join(' ')));
    QCOMPARE(rig.child<StringGrid>("OptGrid1")->Cells(1, row), shown);
    QCOMPARE(rig.child<StringGrid>("SalesGrid")->Cells(1, row + 1), shown);
}

void TestWriteRoundTrip::optionsRoundTrip()
{
    EmulatorRig rig;
    QVERIFY(rig.start(scenario()));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QCOMPARE(rig.child<QLineEdit>("Edit2")->text(), QStringLiteral("ありがとう"));

    const int options[] = {2, 1, 3, 1, 1, 1};
    for (int k = 0; k < 6; ++k)
        rig.child<QComboBox>(qPrintable(QStringLiteral("Opt%1Sel").arg(k + 1)))->setCurrentIndex(options[k]);
    const QStringList texts = {QStringLiteral("ご利用ありがとう"), QStringLiteral("ｱｲｳ～ｴｵ"),
                               QStringLiteral("□□□□□□□□□□□□□□□□")};
    const char *names[] = {"Edit1", "Edit2", "Edit3"};
    for (int i = 0; i < 3; ++i)
        rig.child<QLineEdit>(names[i])->setText(texts[i]);
    const QStringList mags = {"4", "1", "3", "2", "1", "3"};
    for (int b = 0; b < 6; ++b)
        rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->setEditText(mags[b]);
    rig.child<QLineEdit>("xxxxxxxx")->setText(QStringLiteral("店No.7"));
    const int before = int(rig.commands().size());
    rig.answerer->actions << ModalAnswerer::click(QStringLiteral("OK"))
                          << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer->unexpected, 0);
    QCOMPARE(rig.form->Connected, 0);
    const QStringList sent = rig.commands().mid(before);
    QVERIFY2(inOrder(sent, {"QVU1", "QVSO1=02", "QVSO3=03", "QVSO2=01", "QVSO4=01", "QVSO5=01",
                            "QVSO6=01", "QVSON=店No.7",
                            "QVSOA=41ご利用ありがとう", "QVSOB=32ｱｲｳ～ｴｵ",
                            "QVSOC=13□□□□□□□□□□□□□□□□", "QVW", "QVF", "QVF"}),
             qPrintable(sent.join(' ')));

    // The controller restarts; reconnect once it is back and read what it kept.
    for (int b = 0; b < 6; ++b)
        rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->setCurrentIndex(0);
    QTest::qWait(RestartMs + 500);
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QCOMPARE(rig.answerer->unexpected, 0);

    for (int k = 0; k < 6; ++k)
        QCOMPARE(rig.child<QComboBox>(qPrintable(QStringLiteral("Opt%1Sel").arg(k + 1)))->currentIndex(), options[k]);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rig.child<QLineEdit>(names[i])->text(), texts[i]);
    for (int b = 0; b < 6; ++b)
        QCOMPARE(rig.child<QComboBox>(qPrintable(QStringLiteral("ComboBox%1").arg(b + 1)))->currentText(), mags[b]);
    QCOMPARE(rig.child<QLineEdit>("xxxxxxxx")->text(), QStringLiteral("店No.7"));
}

void TestWriteRoundTrip::faultyLineThenOptionsWrite_data()
{
    // One bad reply during the connect read; the rest of it must stay right,
    // so an options write with no edits sends what the controller holds.
    QTest::addColumn<QByteArray>("fault");
    QTest::newRow("late by 1.0 s") << QByteArray(R"({"command": "QVRP2", "fault": "late", "delayMs": 1000})");
    QTest::newRow("over-long") << QByteArray(R"({"command": "QVRP5", "fault": "overlong", "text": "123456789012345678901234567890"})");
    QTest::newRow("noise after a reply") << QByteArray(R"({"command": "QVRP5", "fault": "noise", "text": "#NOISE#"})");
}

void TestWriteRoundTrip::faultyLineThenOptionsWrite()
{
    QFETCH(QByteArray, fault);
    EmulatorRig rig;
    QByteArray s = scenario("[" + fault + "]");
    QVERIFY(rig.start(s.replace("\"options\": [0, 0, 0, 0, 0, 0]", "\"options\": [2, 1, 3, 1, 0, 1]")));
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    QVERIFY(rig.commands().contains(QStringLiteral("QVC")));
    const int before = int(rig.commands().size());
    rig.answerer->actions << ModalAnswerer::click(QStringLiteral("OK")) << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QCOMPARE(rig.answerer->unexpected, 0);
    QStringList settings = rig.commands().mid(before);
    settings.removeIf([](const QString &c) { return !c.startsWith(QLatin1String("QVSO")); });
    QCOMPARE(settings, QStringList({"QVSO1=02", "QVSO3=03", "QVSO2=01", "QVSO4=01", "QVSO5=00", "QVSO6=01",
                                    "QVSON=OLD", "QVSOA=22領 収 書", "QVSOB=12ありがとう", "QVSOC=11ABC"}));
}

void TestWriteRoundTrip::counterClearRoundTrip()
{
    EmulatorRig rig;
    QVERIFY(rig.start(scenario()));
    rig.form->ConBtnClick();
    QCOMPARE(rig.child<StringGrid>("OptGrid2")->Cells(1, 15), QStringLiteral("0016"));
    const int before = int(rig.commands().size());
    rig.answerer->actions << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("CntClrBtn")->click();

    QCOMPARE(rig.answerer->unexpected, 0);
    QCOMPARE(rig.form->Connected, 1);
    const QStringList after = rig.commands().mid(before);
    QVERIFY2(inOrder(after, {"QVU1", "QVZ0", "QVU0", "QVQ", "QVC"}), qPrintable(after.join(' ')));
    auto *counts = rig.child<StringGrid>("OptGrid2");
    auto *sales = rig.child<StringGrid>("SalesGrid");
    for (int r = 0; r < 16; ++r) {
        QCOMPARE(counts->Cells(1, r), QStringLiteral("0000"));
        QCOMPARE(sales->Cells(2, r + 1), QStringLiteral("0000"));
    }
    QCOMPARE(counts->Cells(1, 16), QStringLiteral("0"));
}

void TestWriteRoundTrip::guardedWrites_data()
{
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QStringList>("boxes");   // captions of the boxes the write shows
    QTest::addColumn<QString>("sent");        // the QVSOB command, empty: nothing sent

    // The connect read stops at line 1: nothing of the settings is known.
    QTest::newRow("read stopped early")
        << QByteArray(R"([{"command": "QVROA", "fault": "error", "number": 2}])")
        << QStringList{"Error"} << QString();
    // Line 2 holds bytes that are not code page 932; only option 1 is changed.
    QTest::newRow("invalid text in line 2")
        << QByteArray(R"([{"command": "QVROB", "fault": "invalid-text"}])")
        << QStringList{"Information", "Information"}
        << QStringLiteral("QVSOB=12A\\xffB\\x81 C\\x85");
}

void TestWriteRoundTrip::guardedWrites()
{
    QFETCH(QByteArray, faults);
    QFETCH(QStringList, boxes);
    QFETCH(QString, sent);

    EmulatorRig rig;
    QVERIFY(rig.start(scenario(faults)));
    rig.answerer->actions << ModalAnswerer::press(QMessageBox::Ok);   // a conversion error, if any
    rig.form->ConBtnClick();
    QCOMPARE(rig.form->Connected, 1);
    rig.answerer->seen.clear();
    rig.answerer->actions.clear();
    // The operator picks option 1's second item.
    auto *option1 = rig.child<QComboBox>("Opt1Sel");
    option1->setFocus();
    QTest::keyClick(option1, Qt::Key_Down);
    const int before = int(rig.commands().size());
    for (int i = 0; i < boxes.size(); ++i)
        rig.answerer->actions << ModalAnswerer::click(QStringLiteral("OK"));

    rig.child<QPushButton>("SendSalesBtn")->click();

    QStringList captions;
    for (const ModalAnswerer::Seen &seen : rig.answerer->seen)
        captions << seen.caption;
    QCOMPARE(captions, boxes);
    const QStringList after = rig.commands().mid(before).filter(QRegularExpression("^QV(U1|S|W|F)"));
    if (sent.isEmpty()) {
        QCOMPARE(after, QStringList());
        QVERIFY2(rig.answerer->seen.first().text.contains(QStringLiteral("接続し直して")),
                 qPrintable(rig.answerer->seen.first().text));
        QCOMPARE(rig.form->Connected, 1);
        return;
    }
    QVERIFY2(inOrder(after, {"QVU1", "QVSO1=01", "QVSO3=00", "QVSO2=00", sent, "QVW", "QVF", "QVF"}),
             qPrintable(after.join(' ')));
}

QTEST_MAIN(TestWriteRoundTrip)
#include "tst_writeroundtrip.moc"
