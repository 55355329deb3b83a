#pragma once
// Which controller a connection talks to: what it reports of itself (the
// identification text of "QVRON" and the version text of "QVV", as bytes),
// with the port and device it was reached on. Two connections reach the
// same controller when both texts match; the port is where, not who.
#include "link/ShiftJis.h"

#include <QByteArray>
#include <QString>

struct ControllerIdentity {
    int portNumber = 0;       // COM n, 0 while none is connected
    QString devicePath;
    QByteArray identification; // "QVRON" payload as read
    QByteArray version;        // "QVV" payload as read
    bool identificationRead = false; // false: the reply was not usable
    bool versionRead = false;

    bool known() const { return identificationRead && versionRead; }
    bool sameController(const ControllerIdentity &other) const
    {
        return known() && other.known() && identification == other.identification
            && version == other.version;
    }
    QString identificationText() const { return ShiftJis::decode(identification); }
    QString versionText() const { return ShiftJis::decode(version); }
    // How a box names the controller: 「MACHINE1」(ver1.23, COM12).
    QString describe() const
    {
        return QStringLiteral("「%1」(%2, COM%3)")
            .arg(identificationText(), versionText(), QString::number(portNumber));
    }
};
