#include "receipt/ByteLimitValidator.h"

#include "receipt/layout/ByteLimit.h"

#include <QLineEdit>

ByteLimitValidator::ByteLimitValidator(int limit, QLineEdit *field)
    : QValidator(field), field_(field), limit_(limit), held_(field->text())
{
    // textChanged comes after the field has validated the new text, so
    // held_ is the text before the change while validate() runs.
    connect(field, &QLineEdit::textChanged, this, [this](const QString &text) { held_ = text; });
    field->setValidator(this);
}

QValidator::State ByteLimitValidator::validate(QString &input, int &) const
{
    // A text set by the program leaves the field unmodified; only the
    // operator's edits are limited.
    switch (ByteLimit::judge(held_, input, limit_, field_->isModified())) {
    case ByteLimit::Verdict::Fits:
        return Acceptable;
    case ByteLimit::Verdict::Kept:
        return Intermediate;
    case ByteLimit::Verdict::Refused:
        break;
    }
    return Invalid;
}
