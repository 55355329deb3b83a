// The main window at start and the connect button, driven in-process with
// the fake port behind the link.
#include "link/PortNamespace.h"
#include "tests/support/WindowFixture.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/StringGrid.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"
#include "ui/TPageControl.h"
#include "ui/TSubForm.h"

#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

int darkPixels(const QImage &img, const QRect &r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 100)
                ++n;
    return n;
}

const char *const OperationControls[] = {
    "SendSalesBtn", "Opt1Sel", "Opt2Sel", "Opt3Sel", "Opt4Sel", "Opt5Sel", "Opt6Sel", "CntClrBtn",
    "Edit1", "Edit2", "Edit3", "xxxxxxxx", "ComboBox1", "ComboBox2", "ComboBox3", "ComboBox4",
    "ComboBox5", "ComboBox6"};

// What a screen reader reaches: every visible focusable widget and every
// tab, by accessible name (empty names included).
void collectNamed(QAccessibleInterface *iface, QMultiMap<QString, QString> &named)
{
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (!child || child->state().invisible)
            continue;
        QObject *object = child->object();
        const bool tab = child->role() == QAccessible::PageTab;
        if (!tab && !(object && object->isWidgetType()))
            continue;   // the cells of a grid, the items of a list
        // A tab row reads as its current tab; its tabs are what is named.
        const bool tabRow = qobject_cast<QTabBar *>(object);
        if (child->state().focusable && !tabRow) {
            const QString control = tab ? QStringLiteral("tab %1").arg(i)
                                  : object->objectName().isEmpty() ? QLatin1String(object->metaObject()->className())
                                                                    : object->objectName();
            named.insert(child->text(QAccessible::Name), control);
        }
        if (!tab)
            collectNamed(child, named);
    }
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void frame();
    void tabRow();
    void headingsAndLabels_data();
    void headingsAndLabels();
    void gridGeometry_data();
    void gridGeometry();
    void startState();
    void dialogsFromTheirLayouts();
    void connectAndDisconnect();
    void failureMessages_data();
    void failureMessages();
    void closingSendsNothing();
    void vanishFallsBackToTheBuiltInTable();
    void valuesFitTheirCells_data();
    void valuesFitTheirCells();
    void closingDuringSearchEndsIt_data();
    void closingDuringSearchEndsIt();
    void copyWholeGrid_data();
    void copyWholeGrid();
    void accessibleNames_data();
    void accessibleNames();
};

void TestMainForm::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestMainForm::frame()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    QCOMPARE(form->windowTitle(), QStringLiteral("QUVO-Vexa UtilitySoftware"));
    QCOMPARE(form->size(), QSize(812, 673));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(findControl(form, "PageControl")->geometry(), QRect(0, 32, 812, 618));
    QCOMPARE(findControl(form, "ConBtn")->geometry(), QRect(8, 3, 73, 25));
    QCOMPARE(findControl(form, "ComStatus")->geometry(), QRect(88, 5, 89, 21));
    QCOMPARE(findControl(form, "ScrImg")->geometry(), QRect(244, 0, 531, 393));
    QCOMPARE(findControl(form, "GroupBox1")->geometry(), QRect(8, 396, 761, 187));
    QCOMPARE(findControl(form, "PCBVer")->geometry(), QRect(8, 588, 760, 21));
    QCOMPARE(findControl(form, "Opt3Sel")->geometry().topLeft(), QPoint(132, 52));
    QCOMPARE(findControl(form, "Opt2Sel")->geometry().topLeft(), QPoint(132, 77));
    QCOMPARE(findControl(form, "ConBtn")->font().pixelSize(), 16);
    QVERIFY(findControl(form, "ConBtn")->font().bold());
    auto *label1 = findControl<QLabel>(form, "Label1");
    QVERIFY(!label1->text().isEmpty());
    QVERIFY(label1->geometry().right() < 812);
}

void TestMainForm::tabRow()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    auto *pages = findControl<TPageControl>(form, "PageControl");
    TPageTabBar *bar = pages->tabRow();
    QCOMPARE(bar->count(), 2);
    QCOMPARE(pages->currentWidget(), findControl(form, "TabSheet1"));
    QCOMPARE(pages->indexOf(findControl(form, "TabSheet2")), -1);
    QVERIFY(findControl(form, "TabSheet2") != nullptr);

    const QRect tab0 = bar->tabRect(0), tab1 = bar->tabRect(1);
    QCOMPARE(tab0.size(), QSize(28, 100));
    QImage img = bar->grab().toImage();
    // Fill colours probed beside the vertical caption.
    QCOMPARE(QColor(img.pixel(tab0.left() + 2, tab0.top() + 5)), QColor(177, 216, 170));
    QCOMPARE(QColor(img.pixel(tab1.left() + 2, tab1.top() + 5)), QColor(205, 209, 234));
    QCOMPARE(QColor(img.pixel(tab1.left() + 2, tab1.bottom() - 3)), QColor(205, 209, 234));
    // Captions are drawn (dark glyph pixels in the caption column), the
    // selected tab in bold: more ink than the same tab when not selected.
    const int activeInk = darkPixels(img, tab0);
    QVERIFY(activeInk > 50);
    pages->setCurrentIndex(1);
    img = bar->grab().toImage();
    QVERIFY2(darkPixels(img, tab0) < activeInk, "the unselected caption is plain");
    QVERIFY(darkPixels(img, tab1) > 50);
}

void TestMainForm::headingsAndLabels_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const char *g, int c, int r, const QString &t) {
        QTest::newRow(name) << QString::fromLatin1(g) << c << r << t;
    };
    row("sales price heading", "SalesGrid", 1, 0, QStringLiteral("設定価格(円)"));
    row("sales count heading", "SalesGrid", 2, 0, QStringLiteral("販売枚数"));
    row("sales corner empty", "SalesGrid", 0, 0, QString());
    row("sales row 1 full-width", "SalesGrid", 0, 1, QStringLiteral("コラム１"));
    row("sales row 9 full-width", "SalesGrid", 0, 9, QStringLiteral("コラム９"));
    row("sales row 10 ascii", "SalesGrid", 0, 10, QStringLiteral("コラム10"));
    row("sales row 16", "SalesGrid", 0, 16, QStringLiteral("コラム16"));
    row("sales data empty", "SalesGrid", 1, 1, QString());
    row("total label", "TotalGrid1", 0, 0, QStringLiteral("前回のメモリクリアからの総売上(円)"));
    row("total value empty", "TotalGrid1", 1, 0, QString());
    row("total2 label", "TotalGrid2", 0, 0, QStringLiteral("前回のメモリクリアからの総売上(円)"));
    row("coin settable", "CoinGrid", 1, 0, QStringLiteral("設定可能数"));
    row("coin standard", "CoinGrid", 2, 0, QStringLiteral("基準枚数"));
    row("coin current", "CoinGrid", 3, 0, QStringLiteral("現在枚数"));
    row("coin difference", "CoinGrid", 4, 0, QStringLiteral("過不足"));
    row("tube 0", "CoinGrid", 0, 1, QStringLiteral("自動補充チューブ10円硬貨"));
    row("tube 3", "CoinGrid", 0, 4, QStringLiteral("自動補充チューブ500円硬貨"));
    row("tube 4", "CoinGrid", 0, 5, QStringLiteral("手動補充チューブ10円硬貨"));
    row("tube 7", "CoinGrid", 0, 8, QStringLiteral("手動補充チューブ500円硬貨"));
    row("opt1 row 0", "OptGrid1", 0, 0, QStringLiteral("コラム1価格"));
    row("opt1 row 15", "OptGrid1", 0, 15, QStringLiteral("コラム16価格"));
    row("opt2 row 8", "OptGrid2", 0, 8, QStringLiteral("コラム9枚数"));
    row("opt2 total", "OptGrid2", 0, 16, QStringLiteral("総売上(円)"));
}

void TestMainForm::headingsAndLabels()
{
    QFETCH(QString, grid);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QString, text);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    auto *g = form->findChild<StringGrid *>(grid);
    QVERIFY(g);
    QCOMPARE(g->cells(col, row), text);
}

void TestMainForm::gridGeometry_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QList<int>>("widths");
    QTest::newRow("SalesGrid") << QStringLiteral("SalesGrid") << QList<int>{200, 180, 176};
    QTest::newRow("TotalGrid1") << QStringLiteral("TotalGrid1") << QList<int>{400, 157};
    QTest::newRow("CoinGrid") << QStringLiteral("CoinGrid") << QList<int>{200, 93, 93, 93, 92};
    QTest::newRow("TotalGrid2") << QStringLiteral("TotalGrid2") << QList<int>{300, 145};
    QTest::newRow("OptGrid1") << QStringLiteral("OptGrid1") << QList<int>{68, 39};
    QTest::newRow("OptGrid2") << QStringLiteral("OptGrid2") << QList<int>{68, 51};
}

void TestMainForm::gridGeometry()
{
    QFETCH(QString, grid);
    QFETCH(QList<int>, widths);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    auto *g = form->findChild<StringGrid *>(grid);
    QVERIFY(g);
    QCOMPARE(g->columnCount(), widths.size());
    for (int c = 0; c < widths.size(); ++c)
        QCOMPARE(g->cellAreaWidth(c), widths.at(c));
    if (grid == QLatin1String("OptGrid1")) {
        QCOMPARE(g->cellAreaHeight(1), 19);
        QCOMPARE(g->cellAreaHeight(7), 21);
        QCOMPARE(g->cellAreaHeight(8), 20);
    }
    if (grid == QLatin1String("CoinGrid"))
        QCOMPARE(g->cellAreaHeight(7), 21);
}

void TestMainForm::startState()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    QCOMPARE(findControl<QLineEdit>(form, "ComStatus")->text(), QStringLiteral("未接続"));
    QVERIFY(findControl<QLineEdit>(form, "ComStatus")->isReadOnly());
    QCOMPARE(findControl<QStatusBar>(form, "StatusLine")->currentMessage(), QString());
    QCOMPARE(findControl<QPushButton>(form, "ConBtn")->text(), QStringLiteral("接続"));
    QCOMPARE(findControl<QPushButton>(form, "ConBtn")->toolTip(), QStringLiteral("QUVOを探索し接続します"));
    QVERIFY(!findControl<QPushButton>(form, "ConBtn")->icon().isNull());
    QVERIFY(findControl(form, "ConBtn")->isEnabled());
    for (const char *name : OperationControls)
        QVERIFY2(!findControl(form, name)->isEnabled(), name);
    for (const char *name : {"SendCoinBtn", "EarnBtn", "PanelMode"})
        QVERIFY2(!findControl(form, name)->isEnabled(), name);
    for (const char *name : {"LabelAutoFlag", "Panel1", "GroupBox3", "LblBase"})
        QVERIFY2(findControl(form, name)->isHidden(), name);
    QCOMPARE(findControl<QPushButton>(form, "EarnBtn")->text(),
             QStringLiteral("精算") + QStringLiteral("\n\r") + QStringLiteral("つり銭合わせ"));
    QCOMPARE(findControl<QComboBox>(form, "PanelMode")->currentText(), QStringLiteral("モニタモード"));
    QCOMPARE(findControl<QLineEdit>(form, "Edit3")->text(), QString(16, QChar(0x25A1)));
    const QStringList magnifications = {"2", "2", "1", "2", "1", "1"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(form->findChild<QComboBox *>(QStringLiteral("ComboBox%1").arg(i + 1))->currentText(),
                 magnifications.at(i));
    QCOMPARE(findControl<QLabel>(form, "Image1")->pixmap().size(), QSize(251, 335));
    for (int i = 0; i < 68; ++i)
        QCOMPARE(form->data()[i], 0);
    // Page colours and the option group on the sales colour.
    QCOMPARE(findControl(form, "TabSheet1")->palette().color(QPalette::Window), QColor(177, 216, 170));
    QCOMPARE(findControl(form, "TabSheet2")->palette().color(QPalette::Window), QColor(239, 224, 144));
    QCOMPARE(findControl(form, "TabSheet3")->palette().color(QPalette::Window), QColor(205, 209, 234));
    QCOMPARE(findControl(form, "GroupBox1")->palette().color(QPalette::Window), QColor(177, 216, 170));
    // Grid cells painted in their colours before any read.
    auto *sales = findControl<StringGrid>(form, "SalesGrid");
    const QImage img = sales->grab().toImage();
    const QRect fixedCell = sales->visualItemRect(sales->item(3, 0));
    const QRect dataCell = sales->visualItemRect(sales->item(3, 1));
    QCOMPARE(QColor(img.pixel(fixedCell.topLeft() + QPoint(3, 3))), QColor(124, 185, 120));
    QCOMPARE(QColor(img.pixel(dataCell.topLeft() + QPoint(3, 3))), sales->palette().color(QPalette::Base));
}

void TestMainForm::dialogsFromTheirLayouts()
{
    WindowFixture rig;
    TDataSetDialog &dialog = *rig.dialog;
    QCOMPARE(dialog.size(), QSize(232, 126));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("DataSetDialog"));
    QCOMPARE(dialog.Edit()->geometry(), QRect(24, 56, 185, 24));
    QCOMPARE(dialog.Button1()->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.Button2()->text(), QStringLiteral("キャンセル"));
    QVERIFY(dialog.Button1()->isDefault());
    TSubForm sub;
    QCOMPARE(sub.size(), QSize(232, 126));
    QCOMPARE(sub.findChild<QPushButton *>(QStringLiteral("SetBtn"))->text(), QStringLiteral("確定"));
}

void TestMainForm::connectAndDisconnect()
{
    WindowFixture rig;   // the fake port stands behind its COM7
    const auto &state = rig.port;
    state->replies.insert("QV", FakePort::ok());
    state->replies.insert("QVV", FakePort::ok("QUVO ver1.05")); // shorter than the 100 asked for
    for (const char *line : {"QVROA", "QVROB", "QVROC"})
        state->replies.insert(line, FakePort::ok("11")); // the full read needs digits here
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    auto *pcb = findControl<QLineEdit>(form, "PCBVer");
    pcb->setText(QStringLiteral("old"));

    form->ConBtnClick();
    QCOMPARE(state->commands.mid(0, 2), QByteArrayList({"QV", "QVV"}));
    QCOMPARE(state->commands.size(), 2 + 46); // and the full read
    QCOMPARE(findControl<QLineEdit>(form, "ComStatus")->text(), QStringLiteral("COM7接続中"));
    QCOMPARE(findControl<QLineEdit>(form, "ComStatus")->toolTip(), QStringLiteral("/dev/null"));
    QCOMPARE(pcb->text(), QStringLiteral("QUVO ver1.05"));
    QCOMPARE(form->data()[67], 105);
    QCOMPARE(form->Connected, 1);
    QCOMPARE(findControl<QPushButton>(form, "ConBtn")->text(), QStringLiteral("切断"));
    QCOMPARE(findControl<QPushButton>(form, "ConBtn")->toolTip(), QStringLiteral("QUVOとの接続を切断します"));
    for (const char *name : OperationControls)
        QVERIFY2(findControl(form, name)->isEnabled(), name);

    form->ConBtnClick();
    QCOMPARE(state->commands.size(), 2 + 46); // nothing is sent on disconnection
    QVERIFY(!state->open);
    QCOMPARE(form->Connected, 0);
    QCOMPARE(pcb->text(), QString());
    QCOMPARE(findControl<QLineEdit>(form, "ComStatus")->text(), QStringLiteral("未接続"));
    QCOMPARE(findControl<QPushButton>(form, "ConBtn")->text(), QStringLiteral("接続"));
    for (const char *name : OperationControls)
        QVERIFY2(!findControl(form, name)->isEnabled(), name);
    QCOMPARE(form->data()[67], 105); // values stay after disconnecting

    form->ConBtnClick(); // and again: a fresh search from COM255
    QCOMPARE(state->commands.mid(48, 2), QByteArrayList({"QV", "QVV"}));
    QCOMPARE(form->Connected, 1);
}

void TestMainForm::failureMessages_data()
{
    QTest::addColumn<QByteArray>("probeReply");
    QTest::addColumn<int>("openFailure"); // PortOpenError::Reason of COM7, None: it opens
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing answers") << QByteArray() << int(PortOpenError::None)
                                     << QStringLiteral("QUVOが見つかりません");
    QTest::newRow("settling")
        << QByteArray("BBUSY:\r") << int(PortOpenError::None)
        << QStringLiteral("QUVOが正常な状態でないか,接続できない状態にあるため接続に失敗しました.");
    // /dev/null belongs to root's group: no group to join is named.
    QTest::newRow("no access") << QByteArray() << int(PortOpenError::PermissionDenied)
        << QStringLiteral("QUVOが見つかりません\nCOM7 (/dev/null): アクセス権がありません");
    QTest::newRow("in use") << QByteArray() << int(PortOpenError::InUse)
        << QStringLiteral("QUVOが見つかりません\nCOM7 (/dev/null): 他のプログラムが使用中です");
}

void TestMainForm::failureMessages()
{
    QFETCH(QByteArray, probeReply);
    QFETCH(int, openFailure);
    QFETCH(QString, message);
    WindowFixture rig;   // the fake port stands behind its COM7
    const auto &state = rig.port;
    state->replies.insert("QV", probeReply);
    state->openSucceeds = openFailure == PortOpenError::None;
    state->openError = {PortOpenError::Reason(openFailure), QStringLiteral("Permission denied")};
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    form->ConBtnClick();
    QCOMPARE(answer.seen.size(), 1);
    QCOMPARE(answer.seen.at(0).caption, QStringLiteral("Error"));
    QCOMPARE(answer.seen.at(0).text, message);
    QCOMPARE(answer.seen.at(0).buttons, QStringList({QStringLiteral("OK")}));
    QCOMPARE(state->commands, state->openSucceeds ? QByteArrayList({"QV"}) : QByteArrayList());
    QCOMPARE(form->Connected, 0);
    QVERIFY(!state->open);
    QCOMPARE(findControl<QLineEdit>(form, "ComStatus")->text(), QStringLiteral("未接続"));
    QVERIFY(findControl(form, "ConBtn")->isEnabled());
}

void TestMainForm::closingSendsNothing()
{
    WindowFixture rig;   // the fake port stands behind its COM7
    const auto &state = rig.port;
    state->replies.insert("QV", FakePort::ok());
    for (const char *line : {"QVROA", "QVROB", "QVROC"})
        state->replies.insert(line, FakePort::ok("11"));
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    form->ConBtnClick();
    QVERIFY(state->open);
    const qsizetype sent = state->commands.size();
    form->close();
    QVERIFY(!state->open);
    QCOMPARE(state->commands.size(), sent);
}

void TestMainForm::closingDuringSearchEndsIt_data()
{
    // Closing the window, or a click on the button while it reads 中止.
    QTest::addColumn<bool>("byButton");
    QTest::newRow("window closed") << false;
    QTest::newRow("中止") << true;
}

void TestMainForm::closingDuringSearchEndsIt()
{
    QFETCH(bool, byButton);
    WindowFixture rig;   // the fake port stands behind its COM7
    const auto &state = rig.port;
    state->replies.insert("QV", FakePort::ok());
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    // The close or the click arrives while the search lets window messages run.
    auto *button = findControl<QPushButton>(form, "ConBtn");
    QTimer::singleShot(0, form, [&] {
        if (!byButton) {
            form->close();
            return;
        }
        QCOMPARE(button->text(), QStringLiteral("中止"));
        QTest::mouseClick(button, Qt::LeftButton);
    });
    form->ConBtnClick();
    // Stopped before COM7 was opened, let alone probed.
    QVERIFY(state->openedPath.isEmpty());
    QVERIFY(state->commands.isEmpty());
    QVERIFY(!state->open);
    QCOMPARE(form->Connected, 0);
    if (byButton)
        QCOMPARE(button->text(), QStringLiteral("接続"));
    // The wait is the check: no box follows the search it ended.
    QTest::qWait(50);
    QVERIFY(answer.seen.isEmpty());
}

void TestMainForm::valuesFitTheirCells_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("text");
    QTest::newRow("total in the settings grid") << QStringLiteral("OptGrid2") << 1 << QStringLiteral("123456");
    QTest::newRow("eight-digit total") << QStringLiteral("OptGrid2") << 1 << QStringLiteral("12345678");
    QTest::newRow("price") << QStringLiteral("OptGrid1") << 1 << QStringLiteral("99.9");
    QTest::newRow("count") << QStringLiteral("OptGrid2") << 1 << QStringLiteral("5535");
}

void TestMainForm::valuesFitTheirCells()
{
    QFETCH(QString, grid);
    QFETCH(int, col);
    QFETCH(QString, text);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    auto *g = form->findChild<StringGrid *>(grid);
    QVERIFY(g);
    const int width = g->cellAreaWidth(col);
    const QFont fitted = StringGrid::fitFont(g->font(), text, width);
    QVERIFY(QFontMetrics(fitted).horizontalAdvance(text) <= width);
    // A value that fits already is drawn in the grid's own font.
    if (QFontMetrics(g->font()).horizontalAdvance(text) <= width)
        QCOMPARE(fitted, g->font());
}

void TestMainForm::copyWholeGrid_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QPoint>("cell");     // column, row set to `value` first
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *grid, QPoint cell, const QString &value, int lines,
                  int line, const QString &text) {
        QTest::newRow(name) << QString::fromLatin1(grid) << cell << value << lines << line << text;
    };
    row("sales headings", "SalesGrid", {1, 1}, QStringLiteral("12.5"), 17, 0, QStringLiteral("\t設定価格(円)\t販売枚数"));
    row("sales row label and value", "SalesGrid", {1, 1}, QStringLiteral("12.5"), 17, 1, QStringLiteral("コラム１\t12.5\t"));
    row("sales last row", "SalesGrid", {2, 16}, QStringLiteral("3"), 17, 16, QStringLiteral("コラム16\t\t3"));
    row("total, one row", "TotalGrid1", {1, 0}, QStringLiteral("123456"), 1, 0, QStringLiteral("前回のメモリクリアからの総売上(円)\t123456"));
    row("tube headings", "CoinGrid", {4, 8}, QStringLiteral("-2"), 9, 0, QStringLiteral("\t設定可能数\t基準枚数\t現在枚数\t過不足"));
    row("tab inside a cell", "OptGrid2", {1, 0}, QStringLiteral("12\t5"), 17, 0, QStringLiteral("コラム1枚数\t12 5"));
}

void TestMainForm::copyWholeGrid()
{
    QFETCH(QString, grid);
    QFETCH(QPoint, cell);
    QFETCH(QString, value);
    QFETCH(int, lineCount);
    QFETCH(int, line);
    QFETCH(QString, expected);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    auto *g = form->findChild<StringGrid *>(grid);
    QVERIFY(g);
    g->setCell(cell.x(), cell.y(), value);
    QApplication::clipboard()->clear();
    g->setFocus();
    QTest::keyClick(g, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), lineCount + 1); // every row ends with its line break
    QCOMPARE(lines.last(), QString());
    QCOMPARE(lines.at(line), expected);
}

void TestMainForm::vanishFallsBackToTheBuiltInTable()
{
    // The published link goes with the device: COM7 then names ttyS6 by the
    // built-in table, here in a device directory of the test's own. The
    // fake port stands in for whatever is there: no device of this machine
    // is ever opened.
    WindowFixture rig;
    QTemporaryDir devices;
    QFile(devices.filePath(QStringLiteral("ttyS6"))).open(QIODevice::WriteOnly);
    PortNamespace::setDeviceRoot(devices.path());
    const auto restore = qScopeGuard([] { PortNamespace::setDeviceRoot(QStringLiteral("/dev")); });
    QByteArray id = "MACHINE1";
    rig.port->fallback = [&id](const QByteArray &c) {
        if (c == "QVV")
            return FakePort::ok("QUVO ver2.05");
        if (c == "QVRON")
            return FakePort::ok(id);
        return FakePort::ok(c.startsWith("QVRO") && c.size() == 5 && c[4] >= 'A' ? "11" : "");
    };
    TMainForm &form = rig.openOnFakePort();
    form.show();
    form.ConBtnClick();
    QCOMPARE(form.identity().identificationText(), QStringLiteral("MACHINE1"));
    auto *status = rig.child<QLineEdit>("ComStatus");

    rig.port->gone = true;
    QTRY_COMPARE(status->text(), QStringLiteral("COM7接続断"));
    QCOMPARE(rig.child<QStatusBar>("StatusLine")->currentMessage(),
             QStringLiteral("COM7のQUVOが見つかりません.つながると自動的に接続し直します."));
    QCOMPARE(rig.child<QPushButton>("ConBtn")->text(), QStringLiteral("切断"));

    rig.sandbox.unpublish(WindowFixture::FakeCom);
    id = "MACHINE2";
    rig.port->gone = false;
    rig.port->commands.clear();
    rig.answerer().actions << ModalAnswerer::click(QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("COM7接続中"), 5000);
    const QString ttyS6 = QFileInfo(devices.filePath(QStringLiteral("ttyS6"))).canonicalFilePath();
    QCOMPARE(rig.port->openedPath, ttyS6);
    QCOMPARE(status->toolTip(), ttyS6);
    // Connected to afresh, as at a click: probe, version, the full read.
    QCOMPARE(rig.port->commands.mid(0, 3), QByteArrayList({"QV", "QVV", "QVQ"}));
    QCOMPARE(rig.answerer().seen.size(), 1);
    QVERIFY2(rig.answerer().seen.first().text.contains(QStringLiteral("「MACHINE1」"))
                 && rig.answerer().seen.first().text.contains(QStringLiteral("「MACHINE2」")),
             qPrintable(rig.answerer().seen.first().text));
}

void TestMainForm::accessibleNames_data()
{
    QTest::addColumn<QString>("view");
    // control=name: the name a screen reader says for some of them
    QTest::addColumn<QStringList>("names");
    QTest::newRow("sales page") << "TabSheet1"
        << QStringList{"tab 0=売上管理", "tab 1=設定・保守", "ConBtn=接続", "SalesGrid=コラム別の設定価格と販売枚数",
                       "TotalGrid1=総売上"};
    QTest::newRow("settings page") << "TabSheet3"
        << QStringList{"Opt1Sel=領収書の発行時間", "Opt2Sel=エラー・警告時／操作時のブザー音",
                       "Opt3Sel=精算時の端数処理", "Opt4Sel=５円有効／無効", "Opt5Sel=プリンタ接続",
                       "Opt6Sel=減算モード", "Edit1=領収書文字1行目", "Edit3=領収書文字3行目",
                       "ComboBox1=領収書文字1行目の倍率X", "ComboBox4=領収書文字2行目の倍率Y",
                       "ComboBox6=領収書文字3行目の倍率Y", "xxxxxxxx=識別文字", "PCBVer=バージョン",
                       "OptGrid1=コラム別設定価格", "OptGrid2=コラム別販売枚数と総売上",
                       "ScrImg=領収書プレビュー"};
    QTest::newRow("value dialog") << "TDataSetDialog"
        << QStringList{"Edit=コラム3 設定価格", "Button1=OK", "Button2=キャンセル"};
}

void TestMainForm::accessibleNames()
{
    QFETCH(QString, view);
    QFETCH(QStringList, names);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    QWidget *top = form;
    if (view == QLatin1String("TDataSetDialog")) {
        top = rig.dialog.get();
        rig.dialog->Label()->setText(QStringLiteral("コラム3 設定価格"));   // the prompt names the field
    } else {
        rig.showPage(qPrintable(view));
    }
    top->show();
    QVERIFY(QTest::qWaitForWindowExposed(top));

    QMultiMap<QString, QString> named;
    collectNamed(QAccessible::queryAccessibleInterface(top), named);
    QVERIFY(named.size() >= names.size());
    QVERIFY2(!named.contains(QString()), qPrintable(named.values(QString()).join(' ')));
    for (const QString &name : named.uniqueKeys())
        QVERIFY2(named.count(name) == 1, qPrintable(name + ": " + named.values(name).join(' ')));
    for (const QString &pair : names) {
        const QString control = pair.section('=', 0, 0);
        QCOMPARE(named.key(control), pair.section('=', 1));
    }
    // Named all the same: the status box, which takes no focus, and the mode
    // of the I/O panel, which the layout keeps hidden.
    QCOMPARE(QAccessible::queryAccessibleInterface(rig.child("ComStatus"))->text(QAccessible::Name),
             QStringLiteral("接続状態"));
    QCOMPARE(QAccessible::queryAccessibleInterface(rig.child("PanelMode"))->text(QAccessible::Name),
             QStringLiteral("I/Oポートパネルのモード"));
    // A label that names a control is its buddy.
    const QList<QPair<const char *, const char *>> buddies = {
        {"Label2", "Opt1Sel"}, {"Label3", "Opt2Sel"}, {"Label4", "Opt3Sel"}, {"Label5", "Opt4Sel"},
        {"Label6", "Opt5Sel"}, {"Label7", "Opt6Sel"}, {"Label8", "Edit1"}, {"Label12", "xxxxxxxx"}};
    for (const auto &[label, control] : buddies)
        QCOMPARE(rig.child<QLabel>(label)->buddy(), rig.child(control));
    QCOMPARE(rig.dialog->Label()->buddy(), rig.dialog->Edit());
}

QTEST_MAIN(TestMainForm)
#include "tst_main_form.moc"
