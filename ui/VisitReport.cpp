#include "ui/VisitReport.h"

#include "device/ValueFormats.h"
#include "journal/Journal.h"
#include "journal/OutputFile.h"
#include "ui/Fonts.h"

#include <QDateTime>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace VisitReport {

namespace {

// The page is drawn in tenths of a millimetre: A4 is 2100 x 2970.
constexpr int PageWidth = 2100;
constexpr int Margin = 150;
constexpr int Inner = PageWidth - 2 * Margin;
constexpr int Resolution = 300;   // dots per inch of the PDF's coordinates

const QColor Rule(0x99, 0x99, 0x99);
const QColor Shade(0xEE, 0xEE, 0xEE);
const QColor Bar(0x3A, 0x6E, 0xA5);

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("—") : text;
}

// One line of text in a cell: left, centred or right, vertically centred.
void cell(QPainter &p, const QRect &r, const QString &text, Qt::Alignment align, bool shaded = false)
{
    if (shaded)
        p.fillRect(r, Shade);
    p.setPen(Rule);
    p.drawRect(r);
    p.setPen(Qt::black);
    p.drawText(r.adjusted(12, 0, -12, 0), int(align | Qt::AlignVCenter | Qt::TextSingleLine),
               p.fontMetrics().elidedText(text, Qt::ElideRight, r.width() - 24));
}

// A row of cells across `widths` from `left`.
void row(QPainter &p, int left, int top, int height, const QList<int> &widths, const QStringList &texts,
         const QList<Qt::Alignment> &aligns, bool shaded = false)
{
    int x = left;
    for (int i = 0; i < widths.size(); ++i) {
        cell(p, QRect(x, top, widths[i], height), texts.value(i), aligns.value(i, Qt::AlignLeft), shaded);
        x += widths[i];
    }
}

// The sales per column as bars, the figures the table gives.
void chart(QPainter &p, const QRect &area, const SalesHistory::Sales &sales)
{
    p.setFont(pixelFont(FontMsPGothic, 32, true));
    p.drawText(QRect(area.left(), area.top(), area.width(), 50), int(Qt::AlignLeft | Qt::AlignVCenter),
               QStringLiteral("コラム別の販売枚数"));
    const QRect plot = area.adjusted(90, 80, 0, -50);
    qint64 top = 1;
    for (int c = 0; c < SalesHistory::Columns; ++c)
        top = std::max(top, sales.sold[std::size_t(c)]);
    // A round top with room above the tallest bar for its figure.
    const double span = double(top) * 1.15;
    const double step = std::pow(10.0, std::floor(std::log10(std::max(1.0, span / 4))));
    const double unit = span / step <= 4 ? step : span / step <= 8 ? 2 * step : 5 * step;
    const double axisTop = std::max(1.0, std::ceil(span / unit) * unit);
    p.setFont(pixelFont(FontMsGothic, 26));
    for (double v = 0; v <= axisTop + unit / 2; v += unit) {
        const int y = plot.bottom() - int(std::lround(v / axisTop * plot.height()));
        p.setPen(v == 0 ? QColor(Qt::black) : Rule);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(Qt::black);
        p.drawText(QRect(area.left(), y - 20, 80, 40), int(Qt::AlignRight | Qt::AlignVCenter),
                   QString::number(qint64(v)));
    }
    const double slot = double(plot.width()) / SalesHistory::Columns;
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        const qint64 sold = sales.sold[std::size_t(c)];
        const int x = plot.left() + int(std::lround(slot * c));
        const int height = int(std::lround(double(sold) / axisTop * plot.height()));
        const QRect bar(x + int(slot * 0.2), plot.bottom() - height, int(slot * 0.6), height);
        p.fillRect(bar, Bar);
        p.drawText(QRect(x, bar.top() - 40, int(slot), 38), int(Qt::AlignHCenter | Qt::AlignBottom),
                   QString::number(sold));
        p.drawText(QRect(x, plot.bottom() + 5, int(slot), 40), int(Qt::AlignHCenter | Qt::AlignTop),
                   QString::number(c + 1));
    }
}

QList<Change> changesOf(Journal &journal, const JournalController &history, const QList<SalesHistory::CountPoint> &points,
                        int from, int to, const JournalDisplay::Options &options)
{
    QList<Change> changes;
    if (to < 0)
        return changes;
    // The visit of the later reading; outside visits, what lies between the
    // two readings.
    const qint64 visit = points[to].visit;
    const qint64 after = from < to ? points[from].eventId : points[to].eventId;
    for (const JournalEvent &e : journal.events(&history)) {
        if (e.kind != JournalKind::CounterClear && e.kind != JournalKind::Price && e.kind != JournalKind::Settings
            && e.kind != JournalKind::StandardCount)
            continue;
        if (visit != 0 ? e.visit != visit : (e.id <= after || e.id > points[to].eventId))
            continue;
        for (const JournalItem &i : journal.items(e.id)) {
            if (i.value.isNull() && i.sent.isNull() && i.reported.isNull())
                continue;
            const auto shown = [&](const QVariant &v) {
                return v.isNull() ? QString() : JournalDisplay::itemValue(i.name, v, options);
            };
            changes.append({JournalDisplay::time(e.time), JournalDisplay::kindText(e.kind),
                            JournalDisplay::itemName(i.name, options), shown(i.value), shown(i.sent),
                            shown(i.reported)});
        }
    }
    return changes;
}

} // namespace

std::optional<Page> page(Journal &journal, const JournalController &history, std::optional<std::pair<int, int>> readings,
                         const JournalDisplay::Options &options)
{
    const QList<SalesHistory::CountPoint> points = journal.countPoints(history);
    auto [from, to] = readings.value_or(SalesHistory::lastVisit(points));
    if (from > to)
        std::swap(from, to);
    if (from < 0 || to >= points.size())
        return std::nullopt;
    Page page;
    page.asset = history.asset;
    page.location = history.location;
    page.identification = history.identification;
    page.version = history.version;
    page.visitTime = JournalDisplay::time(points[to].time);
    if (from < to)
        page.previousTime = JournalDisplay::time(points[from].time);
    page.prices = SalesHistory::pricesUpTo(points, to);
    page.sales = Collections::upTo(points, from, to);
    page.changes = changesOf(journal, history, points, from, to, options);
    for (const int clear : Collections::clearsOfVisit(points, from, to)) {
        Collection c;
        c.figures = Collections::at(points, clear);
        c.time = JournalDisplay::time(points[clear].time);
        if (c.figures.previous >= 0)
            c.previousTime = JournalDisplay::time(points[c.figures.previous].time);
        page.collections.append(c);
    }
    return page;
}

namespace {

constexpr int Bottom = 2970 - Margin;

// Where the next line goes down the sheet, and a fresh sheet when a block
// would not fit on this one.
class Sheet {
public:
    Sheet(QPainter &p, const std::function<void()> &newPage) : p_(p), newPage_(newPage) {}

    QPainter &painter() { return p_; }
    int y = Margin;
    int sheets = 1;

    // True when the block of `height` went to a new sheet.
    bool room(int height)
    {
        if (y + height <= Bottom || y == Margin)
            return false;
        newPage_();
        p_.setPen(Qt::black);
        y = Margin;
        ++sheets;
        return true;
    }

private:
    QPainter &p_;
    const std::function<void()> &newPage_;
};

struct TableLook {
    QList<int> widths;
    QStringList header;
    QList<Qt::Alignment> aligns;
    int rowHeight = 48;
    QFont body;
    QFont bold;
};

void heading(Sheet &s, const QString &text)
{
    s.painter().setFont(pixelFont(FontMsPGothic, 34, true));
    s.painter().drawText(QRect(Margin, s.y, Inner, 50), int(Qt::AlignLeft | Qt::AlignVCenter), text);
    s.y += 60;
}

void headerRow(Sheet &s, const TableLook &t)
{
    s.painter().setFont(t.bold);
    row(s.painter(), Margin, s.y, t.rowHeight, t.widths, t.header, QList<Qt::Alignment>(t.widths.size(), Qt::AlignHCenter),
        true);
    s.y += t.rowHeight;
}

// A table under its heading, row by row; a row that does not fit goes on
// the next sheet under the heading and the column names again. Rows from
// `shadedFrom` on are the totals.
void table(Sheet &s, const QString &title, const TableLook &t, const QList<QStringList> &rows, int shadedFrom)
{
    s.room(60 + 2 * t.rowHeight);
    heading(s, title);
    headerRow(s, t);
    for (int i = 0; i < rows.size(); ++i) {
        if (s.room(t.rowHeight)) {
            heading(s, QStringLiteral("%1 (続き)").arg(title));
            headerRow(s, t);
        }
        const bool total = i >= shadedFrom;
        s.painter().setFont(total ? t.bold : t.body);
        row(s.painter(), Margin, s.y, t.rowHeight, t.widths, rows[i], t.aligns, total);
        s.y += t.rowHeight;
    }
    s.y += 20;
}

void paragraph(Sheet &s, const QString &text, int height)
{
    s.room(height);
    s.painter().setFont(pixelFont(FontMsPGothic, 28));
    s.painter().drawText(QRect(Margin, s.y, Inner, height), int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap), text);
    s.y += height + 10;
}

QString notesOf(const SalesHistory::Sales &sales, std::size_t f)
{
    QStringList notes;
    if (sales.fell[f])
        notes << QStringLiteral("少なくとも");
    if (f < std::size_t(SalesHistory::Columns))
        notes << JournalDisplay::wrapNotes(sales.wraps[f], sales.mayWrap[f]);
    if (sales.gap[f])
        notes << QStringLiteral("欠けあり");
    return notes.join(QStringLiteral(", "));
}

QString figure(const std::optional<qint64> &v)
{
    return v ? QString::number(*v) : QStringLiteral("—");
}

// The sixteen columns and the totals of `sales` at `prices`; with
// `registered`, the figures read just before a clear beside them.
QList<QStringList> salesRows(const std::array<std::optional<qint64>, SalesHistory::Columns> &prices,
                             const SalesHistory::Sales &sales,
                             const std::array<std::optional<qint64>, SalesHistory::Figures> *registered)
{
    QList<QStringList> rows;
    qint64 pieces = 0;
    qint64 tenths = 0;
    bool everyPrice = true;
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        const std::size_t i = std::size_t(c);
        const qint64 sold = sales.sold[i];
        pieces += sold;
        QString price = QStringLiteral("—");
        QString value = QStringLiteral("—");
        if (prices[i]) {
            price = ValueFormats::priceText(c, std::int32_t(*prices[i])).trimmed();
            const qint64 v = sold * SalesHistory::priceTenths(c, *prices[i]);
            value = JournalDisplay::yen(v);
            tenths += v;
        } else {
            everyPrice = false;
        }
        QStringList cells{QString::number(c + 1), price, QString::number(sold), value};
        if (registered)
            cells << figure((*registered)[i]);
        rows << (cells << notesOf(sales, i));
    }
    const qint64 total = sales.sold[SalesHistory::TotalFigure];
    QStringList notes;
    if (everyPrice && tenths != total * 10)
        notes << QStringLiteral("コラム別の計 %1").arg(JournalDisplay::yen(tenths));
    if (const QString more = notesOf(sales, SalesHistory::TotalFigure); !more.isEmpty())
        notes << more;
    QStringList cells{QStringLiteral("合計"), QString(), QString::number(pieces), QString::number(total)};
    if (registered)
        cells << figure((*registered)[SalesHistory::TotalFigure]);
    rows << (cells << notes.join(QStringLiteral(", ")));
    return rows;
}

QString summaryOf(const SalesHistory::Sales &sales)
{
    QString summary;
    if (sales.clears > 0)
        summary += QStringLiteral("カウンタクリア%1回をまたぐ販売です. ").arg(sales.clears);
    if (sales.unproven > 0)
        summary += QStringLiteral("行われたと確かめられないクリアが%1回あり, その前の枚数から数えています. ")
                       .arg(sales.unproven);
    return summary;
}

} // namespace

int paint(QPainter &p, const Page &page, const std::function<void()> &newPage)
{
    Sheet sheet(p, newPage);
    p.setPen(Qt::black);
    int &y = sheet.y;
    p.setFont(pixelFont(FontMsPGothic, 70, true));
    p.drawText(QRect(Margin, y, Inner, 90), int(Qt::AlignLeft | Qt::AlignVCenter), QStringLiteral("訪問報告書"));
    p.setFont(pixelFont(FontMsPGothic, 30));
    p.drawText(QRect(Margin, y, Inner, 90), int(Qt::AlignRight | Qt::AlignBottom),
               QStringLiteral("作成 %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"))));
    y += 110;
    p.setPen(QPen(Qt::black, 4));
    p.drawLine(Margin, y, Margin + Inner, y);
    p.setPen(Qt::black);
    y += 30;

    // The machine on the left, the visits on the right.
    const int label = 230;
    const int half = Inner / 2;
    const QList<std::pair<QString, QString>> machine = {
        {QStringLiteral("資産番号"), orDash(page.asset)},
        {QStringLiteral("設置場所"), orDash(page.location)},
        {QStringLiteral("識別テキスト"), orDash(page.identification)},
        {QStringLiteral("バージョン"), orDash(page.version)}};
    const QList<std::pair<QString, QString>> visits = {
        {QStringLiteral("今回の訪問"), page.visitTime},
        {QStringLiteral("前回の訪問"), page.previousTime.isEmpty() ? QStringLiteral("記録なし") : page.previousTime}};
    p.setFont(pixelFont(FontMsPGothic, 36));
    for (int i = 0; i < machine.size(); ++i) {
        row(p, Margin, y + 60 * i, 60, {label, half - label - 40}, {machine[i].first, machine[i].second},
            {Qt::AlignLeft, Qt::AlignLeft});
        if (i < visits.size())
            row(p, Margin + half, y + 60 * i, 60, {label, half - label}, {visits[i].first, visits[i].second},
                {Qt::AlignLeft, Qt::AlignLeft});
    }
    y += 4 * 60 + 50;

    // The cash first: what each clear of the visit collected, against the
    // register read just before it.
    const TableLook collection{{150, 280, 250, 300, 340, Inner - 1320},
                               {QStringLiteral("コラム"), QStringLiteral("設定価格(円)"), QStringLiteral("販売枚数"),
                                QStringLiteral("売上(円)"), QStringLiteral("クリア直前"), QStringLiteral("備考")},
                               {Qt::AlignHCenter, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight,
                                Qt::AlignLeft},
                               48, pixelFont(FontMsGothic, 30), pixelFont(FontMsGothic, 30, true)};
    for (const Collection &c : page.collections) {
        const QString title = c.previousTime.isEmpty()
            ? QStringLiteral("最初の記録から %1 の回収までの販売").arg(c.time)
            : QStringLiteral("前回の回収 %1 から %2 の回収までの販売").arg(c.previousTime, c.time);
        table(sheet, title, collection, salesRows(c.figures.prices, c.figures.sales, &c.figures.registered),
              SalesHistory::Columns);
        paragraph(sheet,
                  QStringLiteral("回収金額はクリア直前の総売上 %1円 と照らし合わせます. %2")
                      .arg(figure(c.figures.registered[SalesHistory::TotalFigure]), summaryOf(c.figures.sales)),
                  80);
    }

    // The sixteen columns, then the totals.
    const TableLook sales{{180, 330, 330, 360, Inner - 1200},
                          {QStringLiteral("コラム"), QStringLiteral("設定価格(円)"), QStringLiteral("販売枚数"),
                           QStringLiteral("売上(円)"), QStringLiteral("備考")},
                          {Qt::AlignHCenter, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft},
                          48, pixelFont(FontMsGothic, 30), pixelFont(FontMsGothic, 30, true)};
    table(sheet,
          page.previousTime.isEmpty() ? QStringLiteral("コラム別の販売")
                                      : QStringLiteral("前回の訪問から今回の訪問までの販売"),
          sales, salesRows(page.prices, page.sales, nullptr), SalesHistory::Columns);
    paragraph(sheet, summaryOf(page.sales) + QStringLiteral("売上は本機の総売上の増分です."), 80);

    sheet.room(600);
    chart(p, QRect(Margin, y, Inner, 560), page.sales);
    y += 600;

    // The clears and writes of the visit, every one of them.
    if (page.changes.isEmpty()) {
        sheet.room(110);
        heading(sheet, QStringLiteral("訪問中のカウンタクリアと書き込み"));
        p.setFont(pixelFont(FontMsPGothic, 28));
        p.drawText(QRect(Margin, y, Inner, 45), int(Qt::AlignLeft | Qt::AlignVCenter), QStringLiteral("なし"));
        return sheet.sheets;
    }
    const TableLook changes{{470, 200, 340, 262, 262, Inner - 1534},
                            {QStringLiteral("時刻"), QStringLiteral("種類"), QStringLiteral("項目"),
                             QStringLiteral("前の値"), QStringLiteral("送った値"), QStringLiteral("報告された値")},
                            {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight,
                             Qt::AlignRight},
                            42, pixelFont(FontMsPGothic, 28), pixelFont(FontMsPGothic, 28, true)};
    QList<QStringList> rows;
    rows.reserve(page.changes.size());
    for (const Change &c : page.changes)
        rows << QStringList{c.time, c.kind, c.item, c.before, c.sent, c.reported};
    table(sheet, QStringLiteral("訪問中のカウンタクリアと書き込み"), changes, rows, int(rows.size()));
    return sheet.sheets;
}

bool write(const QList<Page> &pages, const QString &file, const QString &journalPath, QString *error, int *sheets)
{
    int drawn = 0;
    if (Journal::isJournalFile(journalPath, file)) {
        *error = QStringLiteral("%1 is the journal's own file").arg(file);
        return false;
    }
    const bool written = OutputFile::write(
        file,
        [&](QIODevice &out, QString *why) {
            QPdfWriter pdf(&out);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF());
            pdf.setResolution(Resolution);
            pdf.setTitle(QStringLiteral("訪問報告書"));
            pdf.setCreator(QStringLiteral("quvo-utility"));
            QPainter painter;
            if (!painter.begin(&pdf)) {
                *why = QStringLiteral("the PDF could not be started");
                return false;
            }
            painter.setRenderHint(QPainter::Antialiasing);
            // Tenths of a millimetre.
            painter.scale(Resolution / 254.0, Resolution / 254.0);
            // A new sheet keeps the painter's scale; only its state of drawing
            // (pen, font) starts again.
            const std::function<void()> newPage = [&pdf] { pdf.newPage(); };
            for (int i = 0; i < pages.size(); ++i) {
                if (i > 0)
                    pdf.newPage();
                painter.save();
                drawn += paint(painter, pages[i], newPage);
                painter.restore();
            }
            return painter.end();
        },
        true, error);
    if (written && sheets)
        *sheets = drawn;
    return written;
}

} // namespace VisitReport
