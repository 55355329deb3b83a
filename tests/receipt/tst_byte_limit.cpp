// The byte limit on real line edits: typed, input-method and inserted text
// is refused beyond the limit; text the program sets is kept whole and can
// still be shortened.
#include "receipt/ByteLimitValidator.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QtTest>

class TestByteLimit : public QObject {
    Q_OBJECT
private slots:
    void typing_data();
    void typing();
    void inputMethodCommit_data();
    void inputMethodCommit();
    void programTextNotCut_data();
    void programTextNotCut();
    void pasteOverSelection();
};

namespace {

// Types the text key by key, as a keyboard (or an input method committing
// one character at a time) would.
void type(QLineEdit &edit, const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const int units = text.at(i).isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

void commit(QLineEdit &edit, const QString &text)
{
    QInputMethodEvent event(QString(), {});
    event.setCommitString(text);
    QApplication::sendEvent(&edit, &event);
}

} // namespace

void TestByteLimit::typing_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");

    const QString a17 = QString(17, QChar(0x3042)); // あ x 17
    QTest::newRow("17th full-width refused") << 32 << QString() << a17 << a17.left(16);
    QTest::newRow("33rd byte refused") << 32 << QString() << QString(33, QLatin1Char('a'))
                                       << QString(32, QLatin1Char('a'));
    QTest::newRow("9th half-width refused") << 8 << QStringLiteral("xxxxxxxx") << QStringLiteral("a")
                                            << QStringLiteral("xxxxxxxx");
    QTest::newRow("full-width with one byte left") << 8 << QString() << QStringLiteral("abcdefgあh")
                                                   << QStringLiteral("abcdefgh");
    QTest::newRow("mixed up to the limit") << 32 << QString()
                                           << QStringLiteral("ご利用ありがとうございますabcdefg")
                                           << QStringLiteral("ご利用ありがとうございますabcdef");
    QTest::newRow("half-width katakana is one byte") << 8 << QString() << QStringLiteral("ｱｲｳｴｵｶｷｸｹ")
                                                     << QStringLiteral("ｱｲｳｴｵｶｷｸ");
}

void TestByteLimit::typing()
{
    QFETCH(int, limit);
    QFETCH(QString, start);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QLineEdit edit;
    edit.setText(start);
    new ByteLimitValidator(limit, &edit);
    edit.setCursorPosition(int(start.size()));
    type(edit, typed);
    QCOMPARE(edit.text(), result);
}

void TestByteLimit::inputMethodCommit_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("committed");
    QTest::addColumn<QString>("result");
    QTest::newRow("emoji refused") << QStringLiteral("abc") << QStringLiteral("😀") << QStringLiteral("abc");
    QTest::newRow("kanji accepted") << QStringLiteral("abc") << QStringLiteral("漢字")
                                    << QStringLiteral("abc漢字");
    QTest::newRow("wave dash of input methods accepted")
        << QStringLiteral("abc") << QStringLiteral("〜") << QStringLiteral("abc〜");
    QTest::newRow("a word that would pass the limit refused whole")
        << QStringLiteral("abcdefghijklmnopqrstuvwxyz") << QStringLiteral("漢字漢字")
        << QStringLiteral("abcdefghijklmnopqrstuvwxyz");
}

void TestByteLimit::inputMethodCommit()
{
    QFETCH(QString, start);
    QFETCH(QString, committed);
    QFETCH(QString, result);
    QLineEdit edit;
    edit.setText(start);
    new ByteLimitValidator(32, &edit);
    edit.setCursorPosition(int(start.size()));
    commit(edit, committed);
    QCOMPARE(edit.text(), result);
}

void TestByteLimit::programTextNotCut_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("afterTyping"); // after one Backspace and "zz"
    const QString a40(40, QLatin1Char('a'));
    QTest::newRow("40 bytes in a 32-byte field") << a40 << 32 << a40.left(39);
    QTest::newRow("17 full-width in a 32-byte field")
        << QString(17, QChar(0x25A1)) << 32 << QString(16, QChar(0x25A1));
    // A damaged character from the controller may stay while the operator
    // edits around it within the limit.
    QTest::newRow("damaged text from the controller")
        << QStringLiteral("ab\uFFFDcd") << 8 << QStringLiteral("ab\uFFFDczz");
}

void TestByteLimit::programTextNotCut()
{
    QFETCH(QString, set);
    QFETCH(int, limit);
    QFETCH(QString, afterTyping);
    QLineEdit edit;
    new ByteLimitValidator(limit, &edit);
    edit.setText(set);
    QCOMPARE(edit.text(), set);

    // Deleting still works on the text the program set ...
    edit.setCursorPosition(int(set.size()));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), set.left(set.size() - 1));
    // ... typing may not take it beyond the limit ...
    type(edit, QStringLiteral("zz"));
    QCOMPARE(edit.text(), afterTyping);
    // ... and a new text from the program replaces it whole again.
    edit.setText(set + set);
    QCOMPARE(edit.text(), set + set);
}

void TestByteLimit::pasteOverSelection()
{
    QLineEdit edit;
    new ByteLimitValidator(8, &edit);
    type(edit, QStringLiteral("abcdefgh"));
    QCOMPARE(edit.text(), QStringLiteral("abcdefgh"));
    // Replacing two bytes by one full-width character fits.
    edit.setSelection(0, 2);
    edit.insert(QStringLiteral("あ"));
    QCOMPARE(edit.text(), QStringLiteral("あcdefgh"));
    // Replacing one byte by two does not.
    edit.setSelection(2, 1);
    edit.insert(QStringLiteral("い"));
    QCOMPARE(edit.text(), QStringLiteral("あcdefgh"));
}

QTEST_MAIN(TestByteLimit)
#include "tst_byte_limit.moc"
