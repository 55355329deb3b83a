#pragma once
// Byte limit of a receipt text field in code page 932 bytes: the operator
// cannot type, paste or drop text beyond the limit, nor a character the code
// page cannot hold. Text the program sets is not cut, and an over-long text
// so set can still be shortened.
#include <QString>
#include <QValidator>

class QLineEdit;

class ByteLimitValidator : public QValidator {
    Q_OBJECT
public:
    static constexpr int ReceiptLineLimit = 32;
    static constexpr int IdentificationLimit = 8;

    // Installs itself on the field.
    ByteLimitValidator(int limit, QLineEdit *field);

    int limit() const { return limit_; }
    State validate(QString &input, int &pos) const override;

private:
    QLineEdit *field_;
    int limit_;
    QString held_; // the field's text before the change under test
};
