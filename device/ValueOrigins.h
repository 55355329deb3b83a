#pragma once
// Where each value a restarting write sends came from since the connection
// was made: a full read that took it from a reply carrying it, or the
// operator. A write never sends a start-up value, or one a silent, cut or
// malformed reply left in its control, over the controller's real setting.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

class ValueOrigins {
public:
    enum Field {
        // The options group in the order of the screen.
        Option1, Option2, Option3, Option4, Option5, Option6,
        Line1X, Line1Y, Line1Text,
        Line2X, Line2Y, Line2Text,
        Line3X, Line3Y, Line3Text,
        Identification,
        StandardCount1, StandardCount2, StandardCount3, StandardCount4,
        StandardCount5, StandardCount6, StandardCount7, StandardCount8,
        FieldCount
    };
    static Field option(int k) { return Field(Option1 + k); }
    // part 0 is the X magnification, 1 the Y magnification, 2 the text.
    static Field line(int line, int part) { return Field(Line1X + 3 * line + part); }
    static Field standardCount(int tube) { return Field(StandardCount1 + tube); }

    // A new connection: nothing is known of the controller yet.
    void forget();
    // A full read put into the field what a usable reply carried; `raw` is
    // that value's bytes as they came (a text, an option's two digits, one
    // magnification digit).
    void read(Field f, const QByteArray &raw = QByteArray());
    // A full read put into the field something no reply carried.
    void lost(Field f);
    void setByOperator(Field f);

    bool known(Field f) const { return states_[f] != State::Unknown; }
    // The bytes a value was read as; empty when it was not read.
    std::optional<QByteArray> asRead(Field f) const;

    // The field as the operator knows it from the window, in Japanese.
    static QString name(Field f);
    // Names of the fields in [first, last] that are not known, in the order
    // of the screen.
    QStringList unknownNames(Field first, Field last) const;
    // Where a field stands on the screen, top to bottom, left to right:
    // option 3's selector sits above option 2's, each receipt line's text
    // left of its magnifications, the identification field below the lines.
    static int screenRank(Field f);

private:
    enum class State { Unknown, Read, Operator };
    std::array<State, FieldCount> states_{};
    std::array<std::optional<QByteArray>, FieldCount> raw_{};
};
