#include "ui/JournalWindow.h"

#include "journal/Journal.h"
#include "ui/MessageBoxes.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QSplitter>
#include <QTreeWidget>
#include <QValueAxis>
#include <QVBoxLayout>

namespace {

QString kindText(const QString &kind)
{
    if (kind == JournalKind::Reading)
        return QStringLiteral("読み取り");
    if (kind == JournalKind::CounterClear)
        return QStringLiteral("カウンタクリア");
    if (kind == JournalKind::Price)
        return QStringLiteral("価格");
    if (kind == JournalKind::Settings)
        return QStringLiteral("設定");
    if (kind == JournalKind::StandardCount)
        return QStringLiteral("基準枚数");
    if (kind == JournalKind::Gap)
        return QStringLiteral("記録の欠け");
    return kind;
}

QString controllerText(const JournalController &c)
{
    return QStringLiteral("「%1」(%2) %3件 COM%4")
        .arg(c.identification, c.version, QString::number(c.events), QString::number(c.lastPort));
}

QString pointText(const SalesHistory::CountPoint &p)
{
    const QString time = QDateTime::fromString(p.time, Qt::ISODate).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    return p.clear ? time + QStringLiteral(" クリア") : time;
}

// Whole numbers from 0 (or 1) to `top`: few enough ticks that none repeats.
void wholeRange(QAbstractAxis *axis, qreal bottom, qreal top)
{
    auto *values = qobject_cast<QValueAxis *>(axis);
    if (!values)
        return;
    values->setRange(bottom, top);
    const int span = int(top - bottom);
    if (span < 5) {
        values->setTickCount(std::max(2, span + 1));
    } else {
        values->setTickCount(6);
        values->applyNiceNumbers();
    }
}

// Icons and types from what a directory listing says, never from a file's
// contents: guessing a type opens the file, and a close of the journal's
// file anywhere in this process drops SQLite's locks on it.
class ListingIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override
    {
        return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("フォルダ");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("ファイル") : suffix.toUpper() + QStringLiteral(" ファイル");
    }
};

// Marks a tree item that has its items still to load.
constexpr int EventIdRole = Qt::UserRole;

} // namespace

JournalWindow::JournalWindow(Journal &journal, QWidget *parent) : QWidget(parent), journal_(journal)
{
    setObjectName(QStringLiteral("JournalWindow"));
    setWindowTitle(QStringLiteral("履歴"));
    // Room for both charts, but never wider than a small laptop's screen.
    QSize size(1150, 720);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.95);
    resize(size);

    controllerList_ = new QListWidget;
    controllerList_->setObjectName(QStringLiteral("ControllerList"));
    eventTree_ = new QTreeWidget;
    eventTree_->setObjectName(QStringLiteral("EventTree"));
    eventTree_->setHeaderLabels({QStringLiteral("日時"), QStringLiteral("種類"), QStringLiteral("内容"),
                                 QStringLiteral("送信値"), QStringLiteral("報告値")});
    eventTree_->setUniformRowHeights(true);
    eventTree_->header()->setSectionResizeMode(QHeaderView::Interactive);
    eventTree_->setColumnWidth(0, 170);
    eventTree_->setColumnWidth(1, 100);
    eventTree_->setColumnWidth(2, 220);

    fromReading_ = new QComboBox;
    fromReading_->setObjectName(QStringLiteral("FromReading"));
    toReading_ = new QComboBox;
    toReading_->setObjectName(QStringLiteral("ToReading"));
    salesLabel_ = new QLabel;
    salesLabel_->setObjectName(QStringLiteral("SalesText"));
    salesLabel_->setWordWrap(true);

    // Sales per column between the two readings.
    auto *salesChart = new QChart;
    salesChart->setTitle(QStringLiteral("コラム別の販売枚数(選んだ2回の読み取りの間)"));
    salesChart->legend()->hide();
    salesBars_ = new QBarSet(QStringLiteral("販売枚数"));
    for (int i = 0; i < 16; ++i)
        *salesBars_ << 0;
    auto *bars = new QBarSeries;
    bars->append(salesBars_);
    salesChart->addSeries(bars);
    QStringList columns;
    for (int i = 1; i <= 16; ++i)
        columns << QString::number(i);
    auto *columnAxis = new QBarCategoryAxis;
    columnAxis->append(columns);
    QFont small = columnAxis->labelsFont();
    small.setPixelSize(10);
    columnAxis->setLabelsFont(small);
    salesChart->addAxis(columnAxis, Qt::AlignBottom);
    bars->attachAxis(columnAxis);
    auto *countAxis = new QValueAxis;
    countAxis->setLabelFormat(QStringLiteral("%d"));
    salesChart->addAxis(countAxis, Qt::AlignLeft);
    bars->attachAxis(countAxis);
    salesChart_ = new QChartView(salesChart);
    salesChart_->setObjectName(QStringLiteral("SalesChart"));

    // The sales total since the first reading, across the readings.
    auto *totalChart = new QChart;
    totalChart->setTitle(QStringLiteral("総売上の推移(最初の読み取りからの売上)"));
    totalChart->legend()->hide();
    totalLine_ = new QLineSeries;
    totalChart->addSeries(totalLine_);
    auto *readingAxis = new QValueAxis;
    readingAxis->setLabelFormat(QStringLiteral("%d"));
    readingAxis->setTitleText(QStringLiteral("読み取り"));
    auto *yenAxis = new QValueAxis;
    yenAxis->setLabelFormat(QStringLiteral("%d"));
    totalChart->addAxis(readingAxis, Qt::AlignBottom);
    totalChart->addAxis(yenAxis, Qt::AlignLeft);
    totalLine_->attachAxis(readingAxis);
    totalLine_->attachAxis(yenAxis);
    totalChart_ = new QChartView(totalChart);
    totalChart_->setObjectName(QStringLiteral("TotalChart"));

    exportOne_ = new QPushButton(QStringLiteral("この機械をCSVに出力..."));
    exportOne_->setObjectName(QStringLiteral("ExportOneBtn"));
    exportAll_ = new QPushButton(QStringLiteral("すべてをCSVに出力..."));
    exportAll_->setObjectName(QStringLiteral("ExportAllBtn"));

    auto *choose = new QHBoxLayout;
    choose->addWidget(new QLabel(QStringLiteral("比べる読み取り:")));
    choose->addWidget(fromReading_, 1);
    choose->addWidget(new QLabel(QStringLiteral("から")));
    choose->addWidget(toReading_, 1);
    choose->addWidget(new QLabel(QStringLiteral("まで")));

    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(eventTree_, 3);
    rightLayout->addLayout(choose);
    rightLayout->addWidget(salesLabel_);
    auto *charts = new QHBoxLayout;
    // The column chart needs room for sixteen labels.
    charts->addWidget(salesChart_, 3);
    charts->addWidget(totalChart_, 2);
    rightLayout->addLayout(charts, 4);

    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(new QLabel(QStringLiteral("記録のある機械")));
    leftLayout->addWidget(controllerList_);
    leftLayout->addWidget(exportOne_);
    leftLayout->addWidget(exportAll_);

    auto *split = new QSplitter;
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({260, 740});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);

    connect(controllerList_, &QListWidget::currentRowChanged, this, &JournalWindow::showController);
    connect(eventTree_, &QTreeWidget::itemExpanded, this, &JournalWindow::EventTreeExpand);
    connect(fromReading_, &QComboBox::currentIndexChanged, this, &JournalWindow::updateSales);
    connect(toReading_, &QComboBox::currentIndexChanged, this, &JournalWindow::updateSales);
    connect(exportOne_, &QPushButton::clicked, this, [this] { ExportBtnClick(false); });
    connect(exportAll_, &QPushButton::clicked, this, [this] { ExportBtnClick(true); });
}

void JournalWindow::reload(const std::optional<ControllerIdentity> &select)
{
    controllers_ = journal_.controllers();
    int row = controllers_.isEmpty() ? -1 : 0;
    for (int i = 0; select && i < controllers_.size(); ++i)
        if (controllers_[i].identificationBytes == select->identification
            && controllers_[i].versionBytes == select->version)
            row = i;
    {
        const QSignalBlocker quiet(controllerList_);
        controllerList_->clear();
        for (const JournalController &c : controllers_)
            controllerList_->addItem(controllerText(c));
        controllerList_->setCurrentRow(row);
    }
    exportAll_->setEnabled(!controllers_.isEmpty());
    showController(row);
}

void JournalWindow::showController(int row)
{
    eventTree_->clear();
    points_.clear();
    exportOne_->setEnabled(row >= 0 && row < controllers_.size());
    if (row < 0 || row >= controllers_.size()) {
        const QSignalBlocker quietFrom(fromReading_), quietTo(toReading_);
        fromReading_->clear();
        toReading_->clear();
        updateSales();
        return;
    }
    const JournalController &c = controllers_[row];
    setWindowTitle(QStringLiteral("履歴 「%1」(%2)").arg(c.identification, c.version));

    // The events without their items: an event's items load when it opens.
    const QList<JournalEvent> events = journal_.events(&c);
    QList<QTreeWidgetItem *> items;
    items.reserve(events.size());
    for (const JournalEvent &e : events) {
        auto *item = new QTreeWidgetItem({QDateTime::fromString(e.time, Qt::ISODate)
                                              .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")),
                                          kindText(e.kind), e.summary});
        item->setToolTip(0, e.time + QStringLiteral(" COM%1 %2").arg(e.port).arg(e.device));
        item->setData(0, EventIdRole, e.id);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        items.append(item);
    }
    eventTree_->addTopLevelItems(items);
    eventTree_->scrollToBottom();

    points_ = SalesHistory::countPoints(journal_.countEvents(c));
    QStringList texts;
    texts.reserve(points_.size());
    for (const SalesHistory::CountPoint &p : std::as_const(points_))
        texts << pointText(p);
    {
        const QSignalBlocker quietFrom(fromReading_), quietTo(toReading_);
        fromReading_->clear();
        toReading_->clear();
        fromReading_->addItems(texts);
        toReading_->addItems(texts);
        // The last two readings: what the machine sold since the visit before.
        fromReading_->setCurrentIndex(std::max(0, int(points_.size()) - 2));
        toReading_->setCurrentIndex(int(points_.size()) - 1);
    }
    updateSales();
    updateTotalChart();
}

void JournalWindow::chooseReadings(int from, int to)
{
    const QSignalBlocker quietFrom(fromReading_), quietTo(toReading_);
    fromReading_->setCurrentIndex(from);
    toReading_->setCurrentIndex(to);
    updateSales();
}

void JournalWindow::updateSales()
{
    int from = fromReading_->currentIndex();
    int to = toReading_->currentIndex();
    if (from > to)
        std::swap(from, to);
    shown_ = from >= 0 ? SalesHistory::between(points_, from, to) : SalesHistory::Sales();
    qreal top = 1;
    for (int i = 0; i < 16; ++i) {
        salesBars_->replace(i, qreal(shown_.sold[std::size_t(i)]));
        top = std::max(top, qreal(shown_.sold[std::size_t(i)]));
    }
    wholeRange(salesChart_->chart()->axes(Qt::Vertical).value(0), 0, top);
    salesLabel_->setText(from >= 0 ? salesText(shown_) : QStringLiteral("読み取りの記録がありません"));
}

void JournalWindow::updateTotalChart()
{
    const QList<SalesHistory::Sales> sums = SalesHistory::cumulative(points_);
    QList<QPointF> line;
    line.reserve(sums.size());
    qreal top = 1;
    for (int i = 0; i < sums.size(); ++i) {
        const qreal yen = qreal(sums[i].sold[SalesHistory::TotalFigure]);
        line.append(QPointF(i + 1, yen));
        top = std::max(top, yen);
    }
    totalLine_->replace(line);
    const auto horizontal = totalChart_->chart()->axes(Qt::Horizontal);
    const auto vertical = totalChart_->chart()->axes(Qt::Vertical);
    wholeRange(horizontal.value(0), 1, qreal(std::max<qsizetype>(2, sums.size())));
    wholeRange(vertical.value(0), 0, top);
}

QString JournalWindow::salesText(const SalesHistory::Sales &sales)
{
    qint64 pieces = 0;
    QStringList fell;
    QStringList unsure;
    QStringList gaps;
    for (int i = 0; i < 16; ++i) {
        pieces += sales.sold[std::size_t(i)];
        if (sales.fell[std::size_t(i)])
            fell << QStringLiteral("コラム%1").arg(i + 1);
        if (sales.unsure[std::size_t(i)])
            unsure << QString::number(i + 1);
        if (sales.gap[std::size_t(i)])
            gaps << QStringLiteral("コラム%1").arg(i + 1);
    }
    if (sales.fell[SalesHistory::TotalFigure])
        fell << QStringLiteral("総売上");
    if (sales.gap[SalesHistory::TotalFigure])
        gaps << QStringLiteral("総売上");
    QString text = QStringLiteral("この間の販売枚数 %1枚, 売上 %2円").arg(pieces).arg(sales.sold[SalesHistory::TotalFigure]);
    if (sales.clears > 0)
        text += QStringLiteral(" (カウンタクリア%1回をまたぐ)").arg(sales.clears);
    if (sales.unproven > 0)
        text += QStringLiteral("\n行われたと確かめられないカウンタクリアが%1回あります: その前の枚数から数えています").arg(sales.unproven);
    if (!fell.isEmpty())
        text += QStringLiteral("\n記録のないクリアで値が減りました: %1 (少なくともこの値)").arg(fell.join(QStringLiteral(", ")));
    if (!unsure.isEmpty())
        text += QStringLiteral("\nさらに65536枚多い可能性があるコラム: %1").arg(unsure.join(QStringLiteral(", ")));
    if (!gaps.isEmpty())
        text += QStringLiteral("\n読み取れなかった値があります: %1").arg(gaps.join(QStringLiteral(", ")));
    return text;
}

void JournalWindow::EventTreeExpand(QTreeWidgetItem *item)
{
    if (item->childCount() > 0 || item->parent())
        return;
    for (const JournalItem &i : journal_.items(item->data(0, EventIdRole).toLongLong())) {
        auto *child = new QTreeWidgetItem(
            {QString(), i.name, i.value.isNull() ? QStringLiteral("—") : i.value.toString(),
             i.sent.isNull() ? QString() : i.sent.toString(), i.reported.isNull() ? QString() : i.reported.toString()});
        item->addChild(child);
    }
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool JournalWindow::exportTo(const QString &file, bool all)
{
    const int row = controllerList_->currentRow();
    const JournalController *only = !all && row >= 0 && row < controllers_.size() ? &controllers_[row] : nullptr;
    if (!all && !only)
        return false;
    QString error;
    // With a byte-order mark: a spreadsheet on a Japanese PC reads the file
    // as UTF-8 only when it starts with one.
    if (!journal_.exportCsvTo(file, only, true, &error)) {
        showOk(this, QStringLiteral("%1 に書き込めませんでした.\n%2").arg(file, error), QStringLiteral("Error"));
        return false;
    }
    return true;
}

QFileDialog *JournalWindow::exportDialog()
{
    if (!exportDialog_) {
        exportDialog_ = new QFileDialog(this, QStringLiteral("CSVに出力"));
        exportDialog_->setObjectName(QStringLiteral("ExportDialog"));
        // Qt's own dialog, in this process, under the icon provider above.
        exportDialog_->setOption(QFileDialog::DontUseNativeDialog);
        static ListingIconProvider listingIcons;
        exportDialog_->setIconProvider(&listingIcons);
        exportDialog_->setAcceptMode(QFileDialog::AcceptSave);
        exportDialog_->setFileMode(QFileDialog::AnyFile);
        exportDialog_->setNameFilter(QStringLiteral("CSV (*.csv)"));
        exportDialog_->setDefaultSuffix(QStringLiteral("csv"));
        // Never the journal's own folder to start with.
        QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (start.isEmpty() || !QFileInfo(start).isDir())
            start = QDir::homePath();
        exportDialog_->setDirectory(start);
        exportDialog_->selectFile(QStringLiteral("journal.csv"));
    }
    return exportDialog_;
}

void JournalWindow::ExportBtnClick(bool all)
{
    QFileDialog *dialog = exportDialog();
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return;
    exportTo(dialog->selectedFiles().constFirst(), all);
}
