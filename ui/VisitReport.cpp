#include "ui/VisitReport.h"

#include "device/ValueFormats.h"
#include "journal/Journal.h"
#include "ui/Fonts.h"

#include <QDateTime>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

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
    page.sales = SalesHistory::between(points, from, to);
    page.changes = changesOf(journal, history, points, from, to, options);
    return page;
}

void paint(QPainter &p, const Page &page)
{
    p.setPen(Qt::black);
    int y = Margin;
    p.setFont(pixelFont(FontMsPGothic, 70, true));
    p.drawText(QRect(Margin, y, Inner, 90), int(Qt::AlignLeft | Qt::AlignVCenter), QStringLiteral("訪問報告書"));
    p.setFont(pixelFont(FontMsPGothic, 30));
    p.drawText(QRect(Margin, y, Inner, 90), int(Qt::AlignRight | Qt::AlignBottom),
               QStringLiteral("作成 %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"))));
    y += 110;
    p.setPen(QPen(Qt::black, 4));
    p.drawLine(Margin, y, Margin + Inner, y);
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

    // The sixteen columns, then the totals.
    p.setFont(pixelFont(FontMsPGothic, 34, true));
    p.drawText(QRect(Margin, y, Inner, 50), int(Qt::AlignLeft | Qt::AlignVCenter),
               page.previousTime.isEmpty() ? QStringLiteral("コラム別の販売")
                                           : QStringLiteral("前回の訪問から今回の訪問までの販売"));
    y += 60;
    const QList<int> widths = {180, 330, 330, 360, Inner - 1200};
    const QList<Qt::Alignment> right = {Qt::AlignHCenter, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft};
    const int h = 48;
    p.setFont(pixelFont(FontMsPGothic, 30, true));
    row(p, Margin, y, h, widths,
        {QStringLiteral("コラム"), QStringLiteral("設定価格(円)"), QStringLiteral("販売枚数"), QStringLiteral("売上(円)"),
         QStringLiteral("備考")},
        QList<Qt::Alignment>(5, Qt::AlignHCenter), true);
    y += h;
    p.setFont(pixelFont(FontMsGothic, 30));
    qint64 pieces = 0;
    qint64 tenths = 0;
    bool everyPrice = true;
    for (int c = 0; c < SalesHistory::Columns; ++c) {
        const std::size_t i = std::size_t(c);
        const qint64 sold = page.sales.sold[i];
        pieces += sold;
        QString price = QStringLiteral("—");
        QString value = QStringLiteral("—");
        if (page.prices[i]) {
            price = ValueFormats::priceText(c, std::int32_t(*page.prices[i])).trimmed();
            const qint64 v = sold * SalesHistory::priceTenths(c, *page.prices[i]);
            value = JournalDisplay::yen(v);
            tenths += v;
        } else {
            everyPrice = false;
        }
        QStringList notes;
        if (page.sales.fell[i])
            notes << QStringLiteral("少なくとも");
        notes << JournalDisplay::wrapNotes(page.sales.wraps[i], page.sales.mayWrap[i]);
        if (page.sales.gap[i])
            notes << QStringLiteral("欠けあり");
        row(p, Margin, y, h, widths,
            {QString::number(c + 1), price, QString::number(sold), value, notes.join(QStringLiteral(", "))}, right);
        y += h;
    }
    const qint64 total = page.sales.sold[SalesHistory::TotalFigure];
    QStringList notes;
    if (everyPrice && tenths != total * 10)
        notes << QStringLiteral("コラム別の計 %1").arg(JournalDisplay::yen(tenths));
    if (page.sales.fell[SalesHistory::TotalFigure])
        notes << QStringLiteral("少なくとも");
    if (page.sales.gap[SalesHistory::TotalFigure])
        notes << QStringLiteral("欠けあり");
    p.setFont(pixelFont(FontMsGothic, 30, true));
    row(p, Margin, y, h, widths,
        {QStringLiteral("合計"), QString(), QString::number(pieces), QString::number(total), notes.join(QStringLiteral(", "))},
        right, true);
    y += h + 20;
    p.setFont(pixelFont(FontMsPGothic, 28));
    QString summary;
    if (page.sales.clears > 0)
        summary += QStringLiteral("カウンタクリア%1回をまたぐ販売です. ").arg(page.sales.clears);
    if (page.sales.unproven > 0)
        summary += QStringLiteral("行われたと確かめられないクリアが%1回あり, その前の枚数から数えています. ")
                       .arg(page.sales.unproven);
    summary += QStringLiteral("売上は本機の総売上の増分です.");
    p.drawText(QRect(Margin, y, Inner, 80), int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap), summary);
    y += 90;

    chart(p, QRect(Margin, y, Inner, 560), page.sales);
    y += 600;

    // The clears and writes of the visit, as many rows as the page holds.
    p.setFont(pixelFont(FontMsPGothic, 34, true));
    p.drawText(QRect(Margin, y, Inner, 50), int(Qt::AlignLeft | Qt::AlignVCenter),
               QStringLiteral("訪問中のカウンタクリアと書き込み"));
    y += 60;
    p.setFont(pixelFont(FontMsPGothic, 28));
    if (page.changes.isEmpty()) {
        p.drawText(QRect(Margin, y, Inner, 45), int(Qt::AlignLeft | Qt::AlignVCenter), QStringLiteral("なし"));
        return;
    }
    const QList<int> changeWidths = {470, 200, 340, 262, 262, Inner - 1534};
    const int ch = 42;
    const int bottom = 2970 - Margin - ch;
    row(p, Margin, y, ch, changeWidths,
        {QStringLiteral("時刻"), QStringLiteral("種類"), QStringLiteral("項目"), QStringLiteral("前の値"),
         QStringLiteral("送った値"), QStringLiteral("報告された値")},
        QList<Qt::Alignment>(6, Qt::AlignHCenter), true);
    y += ch;
    for (int i = 0; i < page.changes.size(); ++i) {
        if (y + ch > bottom && i + 1 < page.changes.size()) {
            p.drawText(QRect(Margin, y, Inner, ch), int(Qt::AlignLeft | Qt::AlignVCenter),
                       QStringLiteral("ほか%1件 (履歴をご覧ください)").arg(page.changes.size() - i));
            break;
        }
        const Change &c = page.changes[i];
        row(p, Margin, y, ch, changeWidths, {c.time, c.kind, c.item, c.before, c.sent, c.reported},
            {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight});
        y += ch;
    }
}

bool write(const QList<Page> &pages, const QString &file, const QString &journalPath, QString *error)
{
    if (Journal::isJournalFile(journalPath, file)) {
        *error = QStringLiteral("%1 is the journal's own file").arg(file);
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    {
        QPdfWriter pdf(&out);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF());
        pdf.setResolution(Resolution);
        pdf.setTitle(QStringLiteral("訪問報告書"));
        pdf.setCreator(QStringLiteral("quvo-utility"));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            *error = QStringLiteral("the PDF could not be started");
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        // Tenths of a millimetre.
        painter.scale(Resolution / 254.0, Resolution / 254.0);
        for (int i = 0; i < pages.size(); ++i) {
            if (i > 0)
                pdf.newPage();
            painter.save();
            paint(painter, pages[i]);
            painter.restore();
        }
        painter.end();
    }
    if (out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && out.commit())
        return true;
    *error = out.errorString();
    return false;
}

} // namespace VisitReport
