#pragma once
// The one place where text meets code page 932 bytes: the wire, the byte
// limits of the receipt fields and the receipt widths all go through here.
#include <QByteArray>
#include <QString>

namespace ShiftJis {

// Text to code page 932 bytes. Characters the code page cannot hold make
// `ok` false (when given) and are left out of the result.
QByteArray encode(const QString &text, bool *ok = nullptr);

// Code page 932 bytes to text. Invalid bytes become U+FFFD; never fails.
QString decode(const QByteArray &bytes);

// True when the bytes are code page 932 text as the controller can hold
// it: they decode without error and encode back to the same bytes.
bool exact(const QByteArray &bytes);

// Bytes the text takes in code page 932, or -1 when it cannot be encoded.
int byteLength(const QString &text);

} // namespace ShiftJis
