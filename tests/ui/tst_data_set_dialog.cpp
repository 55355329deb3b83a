// The value-entry dialog as every prompt uses it, and its unused sibling.
#include "tests/support/ModalAnswerer.h"
#include "ui/Application.h"
#include "ui/Fonts.h"
#include "ui/TDataSetDialog.h"
#include "ui/TSubForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestDataSetDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layout_data();
    void layout();
    void fonts();
    void answers_data();
    void answers();
    void focusOnFieldAtEveryOpening();
    void tabOrder();
    void subFormLayout();
};

void TestDataSetDialog::initTestCase()
{
    initUiResources();
    installFontSubstitutions();
}

void TestDataSetDialog::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("Edit") << "Edit" << QRect(24, 56, 185, 24) << "";
    QTest::newRow("Button1") << "Button1" << QRect(28, 90, 75, 25) << "OK";
    QTest::newRow("Button2") << "Button2" << QRect(132, 90, 75, 25) << "キャンセル";
}

void TestDataSetDialog::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    TDataSetDialog d;
    QCOMPARE(d.size(), QSize(232, 126));
    QCOMPARE(d.windowTitle(), QStringLiteral("DataSetDialog"));
    QWidget *w = d.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), geometry);
    if (auto *b = qobject_cast<QPushButton *>(w))
        QCOMPARE(b->text(), text);
}

void TestDataSetDialog::fonts()
{
    TDataSetDialog d;
    QCOMPARE(d.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(d.font().pixelSize(), 12);
    QCOMPARE(d.Label()->font().pixelSize(), 16);
    QCOMPARE(d.Edit()->font().pixelSize(), 16);
    QCOMPARE(d.SubLabel()->font().pixelSize(), 12);
    QVERIFY(d.Button1()->isDefault());
    // Titles wider than the label in the layout still show whole.
    d.Label()->setText(QStringLiteral("コラム10 設定価格"));
    d.SubLabel()->setText(QStringLiteral("[ 0.0 ～ 99.9 ]"));
    ModalAnswerer answerer(&d);
    answerer.actions << ModalAnswerer::click(QStringLiteral("キャンセル"));
    d.exec();
    QCOMPARE(d.Label()->pos(), QPoint(24, 8));
    QCOMPARE(d.SubLabel()->pos(), QPoint(32, 32));
    QVERIFY(d.Label()->width() >= d.Label()->fontMetrics().horizontalAdvance(d.Label()->text()));
    QVERIFY(d.SubLabel()->width() >= d.SubLabel()->fontMetrics().horizontalAdvance(d.SubLabel()->text()));
}

void TestDataSetDialog::answers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("Enter as it opens") << "enter" << int(QDialog::Accepted) << "12.0";
    // The value opens selected: what is typed at once replaces it.
    QTest::newRow("type at once, Enter") << "typeAtOnce" << int(QDialog::Accepted) << "30";
    QTest::newRow("type in the field, Enter") << "type" << int(QDialog::Accepted) << "12.05";
    QTest::newRow("click OK") << "ok" << int(QDialog::Accepted) << "12.0";
    QTest::newRow("Esc") << "esc" << int(QDialog::Rejected) << "12.0";
    QTest::newRow("click キャンセル") << "cancel" << int(QDialog::Rejected) << "12.0";
    QTest::newRow("Enter on キャンセル") << "tabenter" << int(QDialog::Rejected) << "12.0";
    QTest::newRow("close box") << "close" << int(QDialog::Rejected) << "12.0";
}

void TestDataSetDialog::answers()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(QString, text);

    TDataSetDialog d;
    d.Edit()->setText(QStringLiteral("12.0"));
    ModalAnswerer answerer(&d);
    answerer.actions << [how](QWidget *w) {
        auto *dlg = static_cast<TDataSetDialog *>(w);
        if (how == QLatin1String("enter")) {
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        } else if (how == QLatin1String("typeAtOnce")) {
            QTest::keyClicks(w->focusWidget(), QStringLiteral("30"));
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        } else if (how == QLatin1String("type")) {
            // Clicking into the field puts the caret where the click was: at the end here.
            QTest::mouseClick(dlg->Edit(), Qt::LeftButton, {}, QPoint(dlg->Edit()->width() - 4, 12));
            QTest::keyClicks(dlg->Edit(), QStringLiteral("5"));
            QTest::keyClick(dlg->Edit(), Qt::Key_Return);
        } else if (how == QLatin1String("ok")) {
            QTest::mouseClick(dlg->Button1(), Qt::LeftButton);
        } else if (how == QLatin1String("esc")) {
            QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        } else if (how == QLatin1String("cancel")) {
            QTest::mouseClick(dlg->Button2(), Qt::LeftButton);
        } else if (how == QLatin1String("tabenter")) {
            QTest::keyClick(w->focusWidget(), Qt::Key_Backtab);
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        } else if (how == QLatin1String("close")) {
            w->close();
        }
    };
    QCOMPARE(d.exec(), result);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.stuck, 0);
    QCOMPARE(d.Edit()->text(), text);
}

void TestDataSetDialog::focusOnFieldAtEveryOpening()
{
    TDataSetDialog d;
    ModalAnswerer answerer(&d);
    // The first prompt is left from the field, the second from キャンセル.
    answerer.actions << [](QWidget *w) {
        auto *dlg = static_cast<TDataSetDialog *>(w);
        dlg->Edit()->setFocus();
        QTest::keyClick(dlg->Edit(), Qt::Key_Return);
    } << ModalAnswerer::click(QStringLiteral("キャンセル"))
      << ModalAnswerer::click(QStringLiteral("キャンセル"));
    d.exec();
    d.exec();
    d.exec();
    QCOMPARE(answerer.seen.size(), 3);
    for (const ModalAnswerer::Seen &s : answerer.seen)
        QCOMPARE(s.focus, QStringLiteral("Edit"));
}

void TestDataSetDialog::tabOrder()
{
    TDataSetDialog d;
    ModalAnswerer answerer(&d);
    QStringList visited;
    answerer.actions << [&visited](QWidget *w) {
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
            visited << w->focusWidget()->objectName();
        }
        static_cast<QDialog *>(w)->reject();
    };
    d.exec();
    QCOMPARE(visited, (QStringList{"Button1", "Button2", "Edit"}));
}

void TestDataSetDialog::subFormLayout()
{
    TSubForm f;
    QCOMPARE(f.size(), QSize(232, 126));
    QCOMPARE(f.pos(), QPoint(201, 539));
    QCOMPARE(f.windowTitle(), QStringLiteral("DataSetDialog"));
    QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!f.isVisible());
    const struct { const char *name; QRect geometry; const char *text; } parts[] = {
        {"Label", QRect(24, 16, 177, 16), nullptr},
        {"Edit1", QRect(16, 48, 201, 24), nullptr},
        {"SetBtn", QRect(32, 88, 75, 25), "確定"},
        {"CancelBtn", QRect(128, 88, 75, 25), "キャンセル"},
    };
    for (const auto &p : parts) {
        QWidget *w = f.findChild<QWidget *>(QString::fromLatin1(p.name));
        QVERIFY2(w, p.name);
        QCOMPARE(w->geometry(), p.geometry);
        if (p.text)
            QCOMPARE(static_cast<QPushButton *>(w)->text(), QString::fromUtf8(p.text));
    }
    QCOMPARE(f.font().pixelSize(), 12);
    QCOMPARE(f.findChild<QLineEdit *>(QStringLiteral("Edit1"))->font().pixelSize(), 16);
}

QTEST_MAIN(TestDataSetDialog)
#include "tst_data_set_dialog.moc"
