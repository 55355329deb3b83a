// The receipt preview inside the real main window: built at start from the
// window's scroll box and reference label, fed by the receipt fields of the
// option group, byte limits on those fields, the conversion error shown
// once per change, the comment colours, and a receipt line the connection's
// read could not read.
#include "device/ValueOrigins.h"
#include "receipt/ReceiptItem.h"
#include "receipt/ReceiptPreview.h"
#include "receipt/ReceiptShape.h"
#include "tests/support/WindowFixture.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/WindowProbes.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/TMainForm.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

const QList<int> StartTops{40, 112, 184, 232, 280, 352, 400, 448, 304, 376, 424, 472, 520};
const char *const ItemNames[] = {"LblComment1", "LblComment2", "LblComment3", "LblComment4",
                                 "lblprint1", "lblprint2", "lblprint3", "lblprint4",
                                 "lblprint11", "lblprint22", "lblprint33", "lblprint44", "LblNo"};

QList<int> receiptTops(QWidget *form)
{
    QList<int> tops;
    for (const char *name : ItemNames)
        tops.append(findControl(form, name)->y());
    return tops;
}

void typeInto(QWidget *field, const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const int units = text.at(i).isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

// The option group is enabled while connected; these tests only need the
// fields to take input.
void enableReceiptFields(QWidget *form)
{
    for (const char *name : {"Edit1", "Edit2", "Edit3", "xxxxxxxx", "ComboBox1", "ComboBox2",
                             "ComboBox3", "ComboBox4", "ComboBox5", "ComboBox6"})
        findControl(form, name)->setEnabled(true);
}

} // namespace

class TestMainFormReceipt : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startUp();
    void fieldEdits_data();
    void fieldEdits();
    void deletingUntilTheLineFits();
    void conversionErrorOncePerChange();
    void listChoiceRunsOneRelayout();
    void connectRelayout();
    void identificationText_data();
    void identificationText();
    void fieldLimits_data();
    void fieldLimits();
    void readTextNotCut();
    void commentColours();
    void unreadLineOnConnection_data();
    void unreadLineOnConnection();
    void pictures();

};

void TestMainFormReceipt::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestMainFormReceipt::startUp()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    auto *scrImg = findControl<QScrollArea>(form, "ScrImg");
    for (const char *name : {"ImgTopRuler", "ImgLeftRuler", "PnlCvs", "ShpTicket", "ShpPrnArea", "ShpMF"})
        QVERIFY2(scrImg->findChild<QWidget *>(QLatin1String(name)), name);
    QCOMPARE(receiptTops(form), StartTops);
    QCOMPARE(findControl(form, "ShpTicket")->geometry(), QRect(0, 0, 460, 568));
    QCOMPARE(findControl(form, "ShpPrnArea")->geometry(), QRect(8, 40, 428, 512));
    // The items show what the fields start with.
    QCOMPARE(findControl<ReceiptItem>(form, "LblComment1")->text(), findControl<QLineEdit>(form, "Edit1")->text());
    QCOMPARE(findControl<ReceiptItem>(form, "LblComment2")->text(), findControl<QLineEdit>(form, "Edit2")->text());
    QCOMPARE(findControl<ReceiptItem>(form, "LblComment3")->text(), findControl<QLineEdit>(form, "Edit3")->text());
    QCOMPARE(findControl<ReceiptItem>(form, "LblNo")->text(),
             findControl<QLineEdit>(form, "xxxxxxxx")->text() + QStringLiteral("-No.0000"));
    QVERIFY(findControl<QLabel>(form, "LblBase")->isHidden());
}

void TestMainFormReceipt::fieldEdits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text"); // typed into the field after clearing it
    QTest::addColumn<QList<int>>("tops");
    QTest::addColumn<int>("ticketHeight");

    QTest::newRow("Edit2 cleared: line 3 moves up to line 2")
        << "Edit2" << QString()
        << QList<int>{40, 112, 112, 160, 208, 280, 328, 376, 232, 304, 352, 400, 448} << 488;
    QTest::newRow("Edit1 13 full-width wraps onto two lines")
        << "Edit1" << QStringLiteral("あいうえおかきくけこさしす")
        << QList<int>{40, 160, 232, 280, 328, 400, 448, 496, 352, 424, 472, 520, 568} << 608;
    QTest::newRow("ComboBox4 2 -> 1 lifts every item below line 2")
        << "ComboBox4" << QStringLiteral("1")
        << QList<int>{40, 112, 160, 208, 256, 328, 376, 424, 280, 352, 400, 448, 496} << 536;
    QTest::newRow("ComboBox6 1 -> 3")
        << "ComboBox6" << QStringLiteral("3")
        << QList<int>{40, 112, 184, 280, 328, 400, 448, 496, 352, 424, 472, 520, 568} << 608;
}

void TestMainFormReceipt::fieldEdits()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QList<int>, tops);
    QFETCH(int, ticketHeight);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    QWidget *w = form->findChild<QWidget *>(field);
    QLineEdit *edit = qobject_cast<QLineEdit *>(w);
    if (auto *box = qobject_cast<QComboBox *>(w))
        edit = box->lineEdit();
    QVERIFY(edit);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    typeInto(edit, text);
    QCOMPARE(receiptTops(form), tops);
    QCOMPARE(findControl(form, "ShpTicket")->height(), ticketHeight);
    // Clearing a magnification box on the way showed the error; a text field never does.
    QCOMPARE(answer.seen.size(), qsizetype(field.startsWith(QLatin1String("ComboBox")) ? 1 : 0));
}

void TestMainFormReceipt::deletingUntilTheLineFits()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    auto *edit1 = findControl<QLineEdit>(form, "Edit1");
    auto *line1 = findControl<ReceiptItem>(form, "LblComment1");
    edit1->setText(QStringLiteral("あいうえおかきくけ")); // 9 at X = 2: 432 px
    QVERIFY(line1->wordWrap());
    QCOMPARE(line1->height(), 96);
    edit1->setCursorPosition(9);
    edit1->setModified(true);
    QTest::keyClick(edit1, Qt::Key_Backspace); // 8: 384 px
    QVERIFY(!line1->wordWrap());
    QCOMPARE(line1->height(), 48);
    QCOMPARE(receiptTops(form), StartTops);
}

void TestMainFormReceipt::conversionErrorOncePerChange()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    QLineEdit *edit = findControl<QComboBox>(form, "ComboBox3")->lineEdit();
    const QList<QRect> before = [&] {
        QList<QRect> g;
        for (const char *n : ItemNames)
            g.append(findControl(form, n)->geometry());
        return g;
    }();

    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);   // ""
    QCOMPARE(answer.seen.size(), qsizetype(1));
    QVERIFY2(answer.seen[0].text.contains(QStringLiteral("''")), qPrintable(answer.seen[0].text));
    QCOMPARE(answer.seen[0].buttons, QStringList{QStringLiteral("OK")});
    typeInto(edit, QStringLiteral("x"));     // "x"
    QCOMPARE(answer.seen.size(), qsizetype(2));
    QVERIFY(answer.seen[1].text.contains(QStringLiteral("'x'")));
    typeInto(edit, QStringLiteral("y"));     // "xy"
    QCOMPARE(answer.seen.size(), qsizetype(3));
    // Enter changes nothing: no new list item, no further message.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(answer.seen.size(), qsizetype(3));
    QCOMPARE(findControl<QComboBox>(form, "ComboBox3")->count(), 4);
    QCOMPARE(findControl<QComboBox>(form, "ComboBox3")->currentText(), QStringLiteral("xy"));
    // Line 1 was laid out again before the failing box, the rest stayed.
    QCOMPARE(findControl(form, "LblComment1")->geometry(), before[0]);
    for (int i = 1; i < 13; ++i)
        QCOMPARE(findControl(form, ItemNames[i])->geometry(), before[i]);

    edit->selectAll();
    typeInto(edit, QStringLiteral("1"));     // "1": valid again, no box
    QCOMPARE(answer.seen.size(), qsizetype(3));
    QCOMPARE(receiptTops(form), StartTops);
    QCOMPARE(findControl(form, "ShpTicket")->height(), 560);
}

void TestMainFormReceipt::listChoiceRunsOneRelayout()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    auto *box1 = findControl<QComboBox>(form, "ComboBox1");
    auto *box4 = findControl<QComboBox>(form, "ComboBox4");
    box1->setEditText(QString()); // line 1 cannot be laid out now
    QCOMPARE(answer.seen.size(), qsizetype(1));

    box4->setCurrentIndex(0);     // "2" -> "1": text and index change
    QCOMPARE(answer.seen.size(), qsizetype(2));
    box4->setEditText(QStringLiteral("2")); // typed: text only
    QCOMPARE(answer.seen.size(), qsizetype(3));
    QCoreApplication::processEvents();
    box4->setCurrentIndex(1);     // item "2": index only
    QCOMPARE(answer.seen.size(), qsizetype(4));

    box1->setCurrentIndex(2);     // line 1 at X = 3 again valid
    QCOMPARE(answer.seen.size(), qsizetype(4));
    QCOMPARE(findControl(form, "LblComment2")->y(), 40 + 48 + 24);
}

void TestMainFormReceipt::connectRelayout()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    // Sixteen squares at X = 3 need four lines of five; the edit relayout
    // gives two, the connect relayout all four.
    findControl<QComboBox>(form, "ComboBox5")->setCurrentText(QStringLiteral("3"));
    QCOMPARE(findControl(form, "LblComment3")->height(), 48);
    QVERIFY(form->RefreshReceiptPreview());
    QCOMPARE(findControl(form, "LblComment3")->height(), 96);
    QCOMPARE(answer.seen.size(), qsizetype(0));

    findControl<QComboBox>(form, "ComboBox1")->setCurrentText(QStringLiteral("?"));
    QCOMPARE(answer.seen.size(), qsizetype(1));
    QVERIFY(!form->RefreshReceiptPreview());
    QCOMPARE(answer.seen.size(), qsizetype(2));
    QVERIFY(answer.seen[1].text.contains(QStringLiteral("'?'")));
}

void TestMainFormReceipt::identificationText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("number");
    QTest::newRow("empty") << QString() << QStringLiteral("-No.0000");
    QTest::newRow("eight half-width") << QStringLiteral("ABCDEFGH") << QStringLiteral("ABCDEFGH-No.0000");
    QTest::newRow("ninth refused") << QStringLiteral("ABCDEFGHI") << QStringLiteral("ABCDEFGH-No.0000");
    QTest::newRow("four full-width") << QStringLiteral("識別番号") << QStringLiteral("識別番号-No.0000");
}

void TestMainFormReceipt::identificationText()
{
    QFETCH(QString, typed);
    QFETCH(QString, number);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    auto *field = findControl<QLineEdit>(form, "xxxxxxxx");
    const QRect numberAt = findControl(form, "LblNo")->geometry();
    // Shorten the paper first without a relayout following: the number line
    // stays where it was.
    findControl<ReceiptItem>(form, "LblComment2")->setText(QString());
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    typeInto(field, typed);
    QCOMPARE(findControl<ReceiptItem>(form, "LblNo")->text(), number);
    QCOMPARE(findControl(form, "LblNo")->geometry(), numberAt);
    QCOMPARE(receiptTops(form), StartTops);
}

void TestMainFormReceipt::fieldLimits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString a17(17, QChar(0x3042));
    QTest::newRow("Edit1: 17th full-width") << "Edit1" << a17 << a17.left(16);
    QTest::newRow("Edit2: 33rd byte") << "Edit2" << QStringLiteral("ご利用ありがとうございますabcdefg")
                                      << QStringLiteral("ご利用ありがとうございますabcdef");
    QTest::newRow("Edit3: emoji") << "Edit3" << QStringLiteral("a😀b") << QStringLiteral("ab");
    QTest::newRow("xxxxxxxx: full-width past 8 bytes") << "xxxxxxxx" << QStringLiteral("abcdefgあ")
                                                       << QStringLiteral("abcdefg");
}

void TestMainFormReceipt::fieldLimits()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    enableReceiptFields(form);
    auto *edit = form->findChild<QLineEdit *>(field);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    typeInto(edit, typed);
    QCOMPARE(edit->text(), kept);
    if (field.startsWith(QLatin1String("Edit")))
        QCOMPARE(findControl<ReceiptItem>(form, qPrintable(QStringLiteral("LblComment") + field.right(1)))->text(), kept);
}

void TestMainFormReceipt::readTextNotCut()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    auto *edit2 = findControl<QLineEdit>(form, "Edit2");
    const QString read(20, QChar(0x25A0)); // 40 bytes, as a controller might send
    edit2->setText(read);
    QCOMPARE(edit2->text(), read);
    QCOMPARE(findControl<ReceiptItem>(form, "LblComment2")->text(), read);
    QVERIFY(findControl<ReceiptItem>(form, "LblComment2")->wordWrap());
}

void TestMainFormReceipt::commentColours()
{
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    findControl<QTabWidget>(form, "PageControl")->setCurrentWidget(findControl(form, "TabSheet3"));
    QWidget *canvas = findControl(form, "PnlCvs");
    auto line = [&](int n) {
        return findControl(form, qPrintable(QStringLiteral("LblComment%1").arg(n)))->geometry();
    };
    QImage img = canvas->grab().toImage();
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(darkestChannel(img, line(n)), 192);

    form->setReceiptLineRead(1);
    form->setReceiptLineRead(2);
    img = canvas->grab().toImage();
    QVERIFY(darkestChannel(img, line(1)) < 20);
    QVERIFY(darkestChannel(img, line(2)) < 20);
    QCOMPARE(darkestChannel(img, line(3)), 192);

    form->Connected = 1; // a click while connected disconnects
    form->ConBtnClick();
    img = canvas->grab().toImage();
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(darkestChannel(img, line(n)), 192);
}

void TestMainFormReceipt::unreadLineOnConnection_data()
{
    // What line 2 ("QVROB") answers at the first connection; the next one
    // finds it healthy.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("late");
    // Bytes that were no whole reply void the receipt group, which is read
    // again and voided again: none of its fields counts.
    QTest::addColumn<bool>("groupVoided");
    QTest::newRow("lost") << QByteArray() << false << false;
    QTest::newRow("cut") << QByteArray("OK   :2") << false << true;
    QTest::newRow("late") << QByteArray("OK   :12EF\r") << true << false;
    QTest::newRow("noise before the status") << QByteArray("\x15\x15OK   :12EF\r") << false << true;
    QTest::newRow("Y a letter") << QByteArray("OK   :1ZEF\r") << false << false;
}

void TestMainFormReceipt::unreadLineOnConnection()
{
    // The line is shown unread (empty text and boxes, its comment grey) and
    // noted as not known, with no conversion box: the read goes on and the
    // poll starts. The empty boxes it leaves do not stop the next connection.
    QFETCH(QByteArray, reply);
    QFETCH(bool, late);
    QFETCH(bool, groupVoided);
    WindowFixture rig;
    rig.port->replies.insert("QVROA", FakePort::ok("21AB"));
    rig.port->replies.insert("QVROB", reply);
    rig.port->replies.insert("QVROC", FakePort::ok("11CD"));
    if (late)
        rig.port->late << "QVROB";
    TMainForm *form = &rig.openOnFakePort();
    ModalAnswerer answer(ModalAnswerer::press(QMessageBox::Ok));
    auto *timer = form->findChild<QTimer *>(QStringLiteral("Timer"));
    auto *edit2 = findControl<QLineEdit>(form, "Edit2");
    auto *box3 = findControl<QComboBox>(form, "ComboBox3");
    auto *box4 = findControl<QComboBox>(form, "ComboBox4");
    const auto comment = [&](int n) {
        return findControl<ReceiptItem>(form, qPrintable(QStringLiteral("LblComment%1").arg(n)))->textColour();
    };

    form->ConBtnClick();
    QVERIFY2(answer.seen.isEmpty(), qPrintable(answer.seen.value(0).text));
    QCOMPARE(form->Connected, 1);
    QVERIFY(rig.port->commands.contains("QVC"));
    QVERIFY(timer->isActive());
    QCOMPARE(edit2->text(), QString());
    for (QComboBox *box : {box3, box4}) {
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box->currentText(), QString());
    }
    QCOMPARE(comment(2), ReceiptPreview::UnreadColour);
    QCOMPARE(comment(1), ReceiptPreview::ReadColour);
    QCOMPARE(comment(3), ReceiptPreview::ReadColour);
    // The options write names it among what it will not send unread.
    const QStringList group{"領収書文字1行目", "領収書文字2行目", "領収書文字3行目", "識別文字"};
    QCOMPARE(form->origins().unknownNames(ValueOrigins::Line1X, ValueOrigins::Identification),
             groupVoided ? group : QStringList{group[1]});

    form->ConBtnClick();
    QCOMPARE(form->Connected, 0);
    rig.port->replies.insert("QVROB", FakePort::ok("12EF"));
    rig.port->late.clear();
    form->ConBtnClick();
    QVERIFY2(answer.seen.isEmpty(), qPrintable(answer.seen.value(0).text));
    QVERIFY(timer->isActive());
    QCOMPARE(edit2->text(), QStringLiteral("EF"));
    QCOMPARE(box3->currentIndex(), 0);
    QCOMPARE(box4->currentIndex(), 1);
    QCOMPARE(comment(2), ReceiptPreview::ReadColour);
    QCOMPARE(form->origins().unknownNames(ValueOrigins::Line1X, ValueOrigins::Identification), QStringList());
}

// Pictures of the settings page for a person to look at, written only when
// QUVO_PICTURE_DIR names a directory.
void TestMainFormReceipt::pictures()
{
    const QString dir = qEnvironmentVariable("QUVO_PICTURE_DIR");
    if (dir.isEmpty())
        QSKIP("QUVO_PICTURE_DIR not set");
    WindowFixture rig;
    TMainForm *form = &rig.openOnFakePort();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    findControl<QTabWidget>(form, "PageControl")->setCurrentWidget(findControl(form, "TabSheet3"));
    enableReceiptFields(form);
    form->setReceiptLineRead(1);
    QCoreApplication::processEvents();
    QVERIFY(form->grab().save(QDir(dir).filePath(QStringLiteral("receipt-start.png"))));
    QVERIFY(findControl(form, "PnlCvs")->grab().save(QDir(dir).filePath(QStringLiteral("receipt-canvas-start.png"))));
    findControl<QLineEdit>(form, "Edit1")->setText(QStringLiteral("あいうえおかきくけこさしす"));
    findControl<QLineEdit>(form, "Edit2")->setText(QString(36, QLatin1Char('a')));
    QCoreApplication::processEvents();
    QVERIFY(form->grab().save(QDir(dir).filePath(QStringLiteral("receipt-wrapped.png"))));
    QVERIFY(findControl(form, "PnlCvs")->grab().save(QDir(dir).filePath(QStringLiteral("receipt-canvas-wrapped.png"))));
}

QTEST_MAIN(TestMainFormReceipt)
#include "tst_main_form_receipt.moc"
