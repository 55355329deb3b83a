#pragma once
// The visit report a technician hands the owner, per machine: the machine,
// the cash collected at each counter clear of the visit (the sales since the
// collection before, and the register read just before the clear, which the
// cash is counted against), the visit and the one before it, the sales per
// column between them with the totals, the sales as a chart, and the
// counter clears and writes made during the visit. A table longer than its
// page goes on to the next with its heading repeated. Written with Qt's PDF writer, which
// embeds the glyphs it uses: the Japanese prints on a machine without the
// font. The figures are the history window's (the same sales arithmetic
// on the journal's points); the page is drawn without a widget, so the
// command line needs fonts only, not a display.
#include "journal/Collections.h"
#include "journal/JournalEvent.h"
#include "journal/SalesHistory.h"
#include "ui/JournalDisplay.h"

#include <QList>
#include <QString>
#include <array>
#include <functional>
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

// The cash taken at one counter clear.
struct Collection {
    QString time;           // the clear
    QString previousTime;   // the collection before; empty: from the first reading
    Collections::Collection figures;
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
    QList<Collection> collections;   // the clears of the visit, in order
};

// The page of one history, the readings `readings` (indexes into its
// points) compared; by default its last visit against the one before.
// Nothing when the history holds no reading.
std::optional<Page> page(Journal &journal, const JournalController &history,
                         std::optional<std::pair<int, int>> readings = std::nullopt,
                         const JournalDisplay::Options &options = {});

// Draws one machine's page on `painter`, whose device is an A4 page;
// `newPage` starts another where a table goes on. The sheets drawn.
int paint(QPainter &painter, const Page &page, const std::function<void()> &newPage);

// The pages to `file` as one PDF (OutputFile: "-", a device or FIFO
// written through, a file replaced only whole), readable by its owner alone
// (the same sales as the journal), never over the journal at
// `journalPath`. Needs a QGuiApplication for the fonts. False with `error`;
// `sheets` gets the number of A4 sheets written.
bool write(const QList<Page> &pages, const QString &file, const QString &journalPath, QString *error,
           int *sheets = nullptr);

} // namespace VisitReport
