#pragma once
// What a write operation needs from the window around it. Device code asks
// through this and never touches a widget; the main window implements it
// and tests fake it.
#include "device/WriteMode.h"
#include "device/WriteProof.h"

#include <QString>
#include <QStringList>
#include <optional>

class OperationHost {
public:
    virtual ~OperationHost() = default;
    // "Information" box with OK and Cancel; true only for OK.
    virtual bool confirm(const QString &text) = 0;
    // "Information" box with OK only (the restart notice).
    virtual void notify(const QString &text) = 0;
    // "値が正しくありません" / "Error" with OK only.
    virtual void rejectInput() = 0;
    // An "Error" box with OK only and the given text.
    virtual void reportError(const QString &text) = 0;
    // The box that says the controller did not answer and the operation
    // sent nothing further.
    virtual void reportNoAnswer() = 0;
    // The I/O panel's selector is enabled and on item 1.
    virtual bool manualMode() const = 0;
    // Reads everything back and refills the views. A conversion error that
    // ended the read comes back unshown, so the operation shows it once.
    virtual std::optional<QString> runFullRead() = 0;
    // The application's error display, for such a conversion error.
    virtual void showConversionError(const QString &message) = 0;
    // The same disconnection as the connect button's second click.
    virtual void disconnectController() = 0;
    // After the operator's answer and before anything is sent: whether the
    // controller is still the one whose values the box was opened on (no
    // gap in the line since). When not, the host has said why and checks
    // the controller afresh; the operation sends nothing.
    virtual bool stillSameController() = 0;
    // The line is dead, the device gone, or what answers may be another
    // controller: the host keeps the values in view, allows no write, and
    // connects afresh once the line answers.
    virtual void loseController() = 0;
    // A restarting write is about to send these settings: kept before the
    // first of them goes out, so that a write cut off at any moment leaves
    // its record.
    virtual void aboutToWrite(const WriteProof::SentSettings &) {}
    // Just before "QVU1": the record that write mode may be open is kept
    // first, so that a write cut off at any moment (the program killed
    // included) leaves it behind for the next connection to close.
    virtual void writeModeOpening() {}
    // How the write left write mode, with the settings it had sent by then
    // (for a write cut short).
    virtual void writeModeEnded(WriteModeEnd, const QStringList & /*sent*/) {}
    // Enables or disables the whole window while an operation runs.
    virtual void setWindowEnabled(bool enabled) = 0;
};
