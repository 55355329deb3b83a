#pragma once
// The visit report a technician hands the owner: one A4 page per machine
// with the machine, the visit and the one before it, the sales per column
// between them with the totals, the counter clears and writes made during
// the visit, and the sales as a chart. Written with Qt's PDF writer, which
// embeds the glyphs it uses: the Japanese prints on a machine without the
// font. The figures are the history window's (the same sales arithmetic
// on the journal's points); the page is drawn without a widget, so the
// command line needs fonts only, not a display.
#include "journal/JournalEvent.h"
#include "journal/SalesHistory.h"
#include "ui/JournalDisplay.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>
#include <utility>

class Journal;
class QPainter;

namespace VisitReport {

// A clear or a write of the visit: one row per value it concerned.
struct Change {
    QString time;
    QString kind;
    QString item;
    QString before;
    QString sent;
    QString reported;
};

struct Page {
    QString asset;
    QString location;
    QString identification;
    QString version;
    QString visitTime;      // the later reading compared
    QString previousTime;   // the earlier; empty when there is none
    std::array<std::optional<qint64>, SalesHistory::Columns> prices{};
    SalesHistory::Sales sales;
    QList<Change> changes;
};

// The page of one history, the readings `readings` (indexes into its
// points) compared; by default its last visit against the one before.
// Nothing when the history holds no reading.
std::optional<Page> page(Journal &journal, const JournalController &history,
                         std::optional<std::pair<int, int>> readings = std::nullopt,
                         const JournalDisplay::Options &options = {});

// Draws one page on `painter`, whose device is an A4 page.
void paint(QPainter &painter, const Page &page);

// The pages to `file` as one PDF, replaced only whole and readable by its
// owner alone (the same sales as the journal), never over the journal at
// `journalPath`. Needs a QGuiApplication for the fonts. False with `error`.
bool write(const QList<Page> &pages, const QString &file, const QString &journalPath, QString *error);

} // namespace VisitReport
