#pragma once
// How the history shows what the journal keeps: item names in Japanese as
// the main window labels them, prices and totals in the window's forms,
// options by their item texts, receipt lines as their text with the
// magnifications apart, times in the local time recorded with its offset.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace JournalDisplay {

// One option as the window shows it: its label and its items in order.
struct Option {
    QString label;
    QStringList items;
};
using Options = QList<Option>;

QString itemName(const QString &name, const Options &options);
// `value` as the window would show it; "—" for a value not recorded.
QString itemValue(const QString &name, const QVariant &value, const Options &options);
// "2026/12/07 15:55:00 (+09:00)" from the journal's ISO 8601 time.
QString time(const QString &iso);
// Money kept in tenths of a yen as the window shows it: whole yen, or
// with the one decimal when there is one ("51", "8.5").
// A column's notes on turns of 65,536 pieces: those inferred from the
// money and included, and those that may be missing.
QStringList wrapNotes(qint64 inferred, qint64 possible);

QString yen(qint64 tenths);
// An event's kind ("カウンタクリア", "価格").
QString kindText(const QString &kind);

} // namespace JournalDisplay
