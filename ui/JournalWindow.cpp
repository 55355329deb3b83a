#include "ui/JournalWindow.h"

#include "link/ShiftJis.h"

#include "journal/AuditExport.h"
#include "journal/Collections.h"

#include "journal/Journal.h"
#include "device/ValueFormats.h"
#include "ui/MessageBoxes.h"
#include "ui/VisitReport.h"

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
#include <QSaveFile>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QInputDialog>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTableWidget>
#include <QSplitter>
#include <QTreeWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString pointText(const SalesHistory::CountPoint &p)
{
    const QString time = JournalDisplay::time(p.time);
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
    // Room for the table and both charts, but never wider than the screen.
    QSize size(1240, 900);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.95);
    resize(size);

    controllerList_ = new QListWidget;
    controllerList_->setObjectName(QStringLiteral("ControllerList"));
    controllerList_->setWordWrap(true);
    controllerList_->setTextElideMode(Qt::ElideNone);
    eventTree_ = new QTreeWidget;
    eventTree_->setObjectName(QStringLiteral("EventTree"));
    eventTree_->setHeaderLabels({QStringLiteral("日時"), QStringLiteral("種類"), QStringLiteral("内容"),
                                 QStringLiteral("送信値"), QStringLiteral("報告値")});
    eventTree_->setUniformRowHeights(true);
    eventTree_->header()->setSectionResizeMode(QHeaderView::Interactive);
    eventTree_->header()->setStretchLastSection(true);
    eventTree_->setColumnWidth(0, 240);
    eventTree_->setColumnWidth(1, 200);
    eventTree_->setColumnWidth(2, 330);
    eventTree_->setColumnWidth(3, 110);

    fromReading_ = new QComboBox;
    fromReading_->setObjectName(QStringLiteral("FromReading"));
    fromReading_->setAccessibleName(QStringLiteral("比べる読み取り(から)"));
    toReading_ = new QComboBox;
    toReading_->setObjectName(QStringLiteral("ToReading"));
    toReading_->setAccessibleName(QStringLiteral("比べる読み取り(まで)"));
    // Each counter clear is where the cash was taken: one choice compares
    // it with the clear before, as the cash was counted.
    collectionChoice_ = new QComboBox;
    collectionChoice_->setObjectName(QStringLiteral("CollectionChoice"));
    collectionChoice_->setAccessibleName(QStringLiteral("回収から回収まで"));
    salesLabel_ = new QLabel;
    salesLabel_->setObjectName(QStringLiteral("SalesText"));
    salesLabel_->setWordWrap(true);

    // Per column, what was sold between the two readings, in numbers.
    salesTable_ = new QTableWidget(SalesHistory::Columns + 1, 4);
    salesTable_->setObjectName(QStringLiteral("SalesTable"));
    salesTable_->setHorizontalHeaderLabels({QStringLiteral("設定価格(円)"), QStringLiteral("販売枚数"),
                                            QStringLiteral("売上(円)"), QStringLiteral("注記")});
    QStringList rows;
    for (int i = 1; i <= SalesHistory::Columns; ++i)
        rows << QStringLiteral("コラム%1").arg(i);
    rows << QStringLiteral("合計");
    salesTable_->setVerticalHeaderLabels(rows);
    salesTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    salesTable_->verticalHeader()->setDefaultSectionSize(20);
    salesTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int r = 0; r < salesTable_->rowCount(); ++r)
        for (int c = 0; c < salesTable_->columnCount(); ++c) {
            auto *cell = new QTableWidgetItem;
            cell->setTextAlignment(c == 3 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            salesTable_->setItem(r, c, cell);
        }

    // Sales per column between the two readings, each bar with its number.
    auto *salesChart = new QChart;
    salesChart->setTitle(QStringLiteral("コラム別の販売枚数"));
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
    bars->setLabelsFormat(QStringLiteral("@value"));
    bars->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    bars->setLabelsPrecision(10);
    bars->setLabelsVisible(true);
    // The theme's label colour is transparent: the numbers would not show.
    salesBars_->setLabelColor(Qt::black);
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

    assetEdit_ = new QLineEdit;
    assetEdit_->setObjectName(QStringLiteral("AssetEdit"));
    assetEdit_->setAccessibleName(QStringLiteral("資産番号"));
    locationEdit_ = new QLineEdit;
    locationEdit_->setObjectName(QStringLiteral("LocationEdit"));
    locationEdit_->setAccessibleName(QStringLiteral("設置場所"));
    nameButton_ = new QPushButton(QStringLiteral("名前を付ける"));
    nameButton_->setObjectName(QStringLiteral("NameBtn"));
    machineChoice_ = new QComboBox;
    machineChoice_->setObjectName(QStringLiteral("MachineChoice"));
    machineChoice_->setAccessibleName(QStringLiteral("割り当てる機械"));
    assignButton_ = new QPushButton(QStringLiteral("この機械に割り当てる"));
    assignButton_->setObjectName(QStringLiteral("AssignBtn"));
    bindButton_ = new QPushButton(QStringLiteral("識別文字で見分ける..."));
    bindButton_->setObjectName(QStringLiteral("BindBtn"));
    bindButton_->setToolTip(QStringLiteral("同じ識別文字の機械を見分けられるよう, 接続中のQUVOの識別文字を書き換えます"));
    exportVisit_ = new QPushButton(QStringLiteral("この訪問をCSVに出力..."));
    exportVisit_->setObjectName(QStringLiteral("ExportVisitBtn"));
    exportOne_ = new QPushButton(QStringLiteral("この機械をCSVに出力..."));
    exportOne_->setObjectName(QStringLiteral("ExportOneBtn"));
    exportAll_ = new QPushButton(QStringLiteral("すべてをCSVに出力..."));
    exportAll_->setObjectName(QStringLiteral("ExportAllBtn"));
    exportDex_ = new QPushButton(QStringLiteral("DEX出力..."));
    exportDex_->setObjectName(QStringLiteral("DexBtn"));
    exportDex_->setToolTip(QStringLiteral("この機械の最後の読み取りを監査ファイル(EVA-DTS)に出力します"));
    report_ = new QPushButton(QStringLiteral("報告書..."));
    report_->setObjectName(QStringLiteral("ReportBtn"));
    report_->setToolTip(QStringLiteral("比べている二つの読み取りの間の販売を訪問報告書(PDF)に出力します"));

    auto *choose = new QHBoxLayout;
    choose->addWidget(new QLabel(QStringLiteral("比べる読み取り:")));
    choose->addWidget(fromReading_, 1);
    choose->addWidget(new QLabel(QStringLiteral("から")));
    choose->addWidget(toReading_, 1);
    choose->addWidget(new QLabel(QStringLiteral("まで")));
    choose->addWidget(new QLabel(QStringLiteral("回収:")));
    choose->addWidget(collectionChoice_, 1);

    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(eventTree_, 2);
    rightLayout->addLayout(choose);
    rightLayout->addWidget(salesLabel_);
    // The table at the width of its contents, the charts one above the other
    // beside it: room for sixteen column labels.
    salesTable_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    salesTable_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    salesTable_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    auto *charts = new QVBoxLayout;
    charts->addWidget(salesChart_, 3);
    charts->addWidget(totalChart_, 2);
    auto *figures = new QHBoxLayout;
    figures->addWidget(salesTable_, 0);
    figures->addLayout(charts, 1);
    rightLayout->addLayout(figures, 5);

    auto *naming = new QGridLayout;
    auto *assetLabel = new QLabel(QStringLiteral("資産番号"));
    assetLabel->setBuddy(assetEdit_);
    auto *locationLabel = new QLabel(QStringLiteral("設置場所"));
    locationLabel->setBuddy(locationEdit_);
    naming->addWidget(assetLabel, 0, 0);
    naming->addWidget(assetEdit_, 0, 1);
    naming->addWidget(locationLabel, 1, 0);
    naming->addWidget(locationEdit_, 1, 1);
    naming->addWidget(nameButton_, 2, 0, 1, 2);
    naming->addWidget(machineChoice_, 3, 0, 1, 2);
    naming->addWidget(assignButton_, 4, 0, 1, 2);
    naming->addWidget(bindButton_, 5, 0, 1, 2);

    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(new QLabel(QStringLiteral("記録のある機械")));
    leftLayout->addWidget(controllerList_);
    leftLayout->addLayout(naming);
    leftLayout->addWidget(exportVisit_);
    leftLayout->addWidget(exportOne_);
    leftLayout->addWidget(exportAll_);
    leftLayout->addWidget(exportDex_);
    leftLayout->addWidget(report_);

    auto *split = new QSplitter;
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({270, 950});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);

    connect(controllerList_, &QListWidget::currentRowChanged, this, &JournalWindow::showController);
    connect(eventTree_, &QTreeWidget::itemExpanded, this, &JournalWindow::EventTreeExpand);
    connect(fromReading_, &QComboBox::currentIndexChanged, this, &JournalWindow::updateSales);
    connect(toReading_, &QComboBox::currentIndexChanged, this, &JournalWindow::updateSales);
    connect(collectionChoice_, &QComboBox::activated, this,
            [this](int index) { chooseCollection(collectionChoice_->itemData(index).toInt()); });
    connect(nameButton_, &QPushButton::clicked, this, &JournalWindow::NameBtnClick);
    connect(assignButton_, &QPushButton::clicked, this, &JournalWindow::AssignBtnClick);
    connect(bindButton_, &QPushButton::clicked, this, &JournalWindow::BindBtnClick);
    connect(exportVisit_, &QPushButton::clicked, this, [this] { ExportBtnClick(ExportScope::Visit); });
    connect(exportOne_, &QPushButton::clicked, this, [this] { ExportBtnClick(ExportScope::History); });
    connect(exportAll_, &QPushButton::clicked, this, [this] { ExportBtnClick(ExportScope::All); });
    connect(exportDex_, &QPushButton::clicked, this, &JournalWindow::DexBtnClick);
    connect(report_, &QPushButton::clicked, this, &JournalWindow::ReportBtnClick);
}

QString JournalWindow::historyText(const JournalController &c) const
{
    const QString who = QStringLiteral("「%1」(%2)").arg(c.identification, c.version);
    const QString where = QStringLiteral("%1件 最後 %2 COM%3")
                              .arg(c.events)
                              .arg(JournalDisplay::time(c.lastTime))
                              .arg(c.lastPort);
    if (c.machine != 0)
        return QStringLiteral("%1 %2\n%3 %4").arg(c.asset, c.location, who, where);
    if (c.apartVisit != 0)
        return QStringLiteral("別扱いの訪問 %1\n%2 (割り当ててください)").arg(who, where);
    return QStringLiteral("%1\n%2").arg(who, where);
}

void JournalWindow::reload(const std::optional<ControllerIdentity> &select)
{
    controllers_ = journal_.controllers();
    int row = controllers_.isEmpty() ? -1 : 0;
    // The connected controller: the history its latest event went to.
    QString latest;
    for (int i = 0; select && i < controllers_.size(); ++i)
        if (controllers_[i].identificationBytes == select->identification
            && controllers_[i].versionBytes == select->version && controllers_[i].lastTime >= latest) {
            latest = controllers_[i].lastTime;
            row = i;
        }
    {
        const QSignalBlocker quiet(controllerList_);
        controllerList_->clear();
        for (const JournalController &c : controllers_) {
            auto *item = new QListWidgetItem(historyText(c));
            item->setToolTip(item->text());
            controllerList_->addItem(item);
        }
        controllerList_->setCurrentRow(row);
    }
    {
        const QSignalBlocker quiet(machineChoice_);
        machineChoice_->clear();
        for (const JournalController &m : journal_.machines())
            machineChoice_->addItem(QStringLiteral("%1 %2").arg(m.asset, m.location), m.machine);
    }
    exportAll_->setEnabled(!controllers_.isEmpty());
    exportDex_->setEnabled(!controllers_.isEmpty());
    showController(row);
}

void JournalWindow::showController(int row)
{
    eventTree_->clear();
    points_.clear();
    const bool shown = row >= 0 && row < controllers_.size();
    exportOne_->setEnabled(shown);
    report_->setEnabled(shown);
    nameButton_->setEnabled(shown && !journal_.readOnly());
    {
        // A named machine's visit may be moved out to a history of its own.
        const QSignalBlocker quiet(machineChoice_);
        const int own = machineChoice_->findData(qint64(0));
        const bool named = shown && controllers_[row].machine != 0;
        if (named && own < 0)
            machineChoice_->addItem(QStringLiteral("名前のない機械 (別扱い)"), qint64(0));
        else if (!named && own >= 0)
            machineChoice_->removeItem(own);
        assignButton_->setText(named ? QStringLiteral("比べる訪問をこの機械に移す")
                                     : QStringLiteral("この機械に割り当てる"));
        // A named machine's name changes for its own history only; a visit
        // that is another machine's is moved, not renamed with it.
        nameButton_->setText(named ? QStringLiteral("名前を変える") : QStringLiteral("名前を付ける"));
    }
    bindButton_->setEnabled(shown && !journal_.readOnly() && !twinsOfShown().isEmpty());
    if (!shown) {
        assignButton_->setEnabled(false);
        const QSignalBlocker quietFrom(fromReading_), quietTo(toReading_);
        fromReading_->clear();
        toReading_->clear();
        updateSales();
        return;
    }
    const JournalController &c = controllers_[row];
    assetEdit_->setText(c.asset);
    locationEdit_->setText(c.location);
    setWindowTitle(c.machine != 0 ? QStringLiteral("履歴 %1 %2").arg(c.asset, c.location)
                                  : QStringLiteral("履歴 「%1」(%2)").arg(c.identification, c.version));

    // The events without their items: an event's items load when it opens.
    const QList<JournalEvent> events = journal_.events(&c);
    QList<QTreeWidgetItem *> items;
    items.reserve(events.size());
    for (const JournalEvent &e : events) {
        auto *item = new QTreeWidgetItem({JournalDisplay::time(e.time), JournalDisplay::kindText(e.kind), e.summary});
        item->setToolTip(0, e.time + QStringLiteral(" COM%1 %2").arg(e.port).arg(e.device));
        item->setToolTip(2, e.summary);
        item->setData(0, EventIdRole, e.id);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        items.append(item);
    }
    eventTree_->addTopLevelItems(items);
    eventTree_->scrollToBottom();

    points_ = journal_.countPoints(c);
    QStringList texts;
    texts.reserve(points_.size());
    for (const SalesHistory::CountPoint &p : std::as_const(points_))
        texts << pointText(p);
    const auto [from, last] = SalesHistory::lastVisit(points_);
    {
        const QSignalBlocker quietFrom(fromReading_), quietTo(toReading_);
        fromReading_->clear();
        toReading_->clear();
        fromReading_->addItems(texts);
        toReading_->addItems(texts);
        fromReading_->setCurrentIndex(from);
        toReading_->setCurrentIndex(last);
        const QSignalBlocker quietCollection(collectionChoice_);
        collectionChoice_->clear();
        collectionChoice_->addItem(QStringLiteral("選ぶ..."), -1);
        for (const int clear : Collections::clearsBetween(points_, 0, int(points_.size()) - 1))
            collectionChoice_->addItem(QStringLiteral("%1 の回収").arg(JournalDisplay::time(points_[clear].time)), clear);
    }
    assignButton_->setEnabled(!journal_.readOnly() && machineChoice_->count() > 0
                              && (c.machine == 0 || shownVisit() != 0));
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

void JournalWindow::chooseCollection(int clear)
{
    const Collections::Collection c = Collections::at(points_, clear);
    if (c.clear >= 0)
        chooseReadings(std::max(0, c.previous), c.clear);
}

std::pair<int, int> JournalWindow::chosenReadings() const
{
    return {fromReading_->currentIndex(), toReading_->currentIndex()};
}

void JournalWindow::updateSales()
{
    int from = fromReading_->currentIndex();
    int to = toReading_->currentIndex();
    if (from > to)
        std::swap(from, to);
    // A clear at the end is the figures read just before it: the sales its
    // cash was counted against.
    shown_ = from >= 0 ? Collections::upTo(points_, from, to) : SalesHistory::Sales();
    exportVisit_->setEnabled(to >= 0 && to < points_.size() && points_[to].visit != 0);
    // The prices last reported up to the later reading.
    const std::array<std::optional<qint64>, SalesHistory::Columns> prices = SalesHistory::pricesUpTo(points_, to);
    qreal top = 1;
    qint64 pieces = 0;
    qint64 value = 0;
    for (int i = 0; i < 16; ++i) {
        const std::size_t c = std::size_t(i);
        salesBars_->replace(i, qreal(shown_.sold[c]));
        top = std::max(top, qreal(shown_.sold[c]));
        pieces += shown_.sold[c];
        salesTable_->item(i, 0)->setText(prices[c] ? ValueFormats::priceText(i, std::int32_t(*prices[c])).trimmed()
                                                   : QStringLiteral("—"));
        salesTable_->item(i, 1)->setText(QString::number(shown_.sold[c]));
        // The price in tenths of a yen (but for columns 5-8), the value in
        // yen as the total counts it.
        const qint64 worth = prices[c] ? shown_.sold[c] * SalesHistory::priceTenths(i, *prices[c]) : 0;
        salesTable_->item(i, 2)->setText(prices[c] ? JournalDisplay::yen(worth) : QStringLiteral("—"));
        value += worth;
        QStringList notes;
        if (shown_.fell[c])
            notes << QStringLiteral("少なくとも");
        notes << JournalDisplay::wrapNotes(shown_.wraps[c], shown_.mayWrap[c]);
        if (shown_.gap[c])
            notes << QStringLiteral("欠けあり");
        salesTable_->item(i, 3)->setText(notes.join(QStringLiteral(", ")));
    }
    const int totalRow = SalesHistory::Columns;
    salesTable_->item(totalRow, 0)->setText(QString());
    salesTable_->item(totalRow, 1)->setText(QString::number(pieces));
    salesTable_->item(totalRow, 2)->setText(QString::number(shown_.sold[SalesHistory::TotalFigure]));
    QStringList notes;
    if (value != shown_.sold[SalesHistory::TotalFigure] * 10)
        notes << QStringLiteral("コラム別の計 %1").arg(JournalDisplay::yen(value));
    if (shown_.fell[SalesHistory::TotalFigure])
        notes << QStringLiteral("少なくとも");
    if (shown_.gap[SalesHistory::TotalFigure])
        notes << QStringLiteral("欠けあり");
    salesTable_->item(totalRow, 3)->setText(notes.join(QStringLiteral(", ")));
    // Room above the tallest bar for its number, in whole pieces.
    wholeRange(salesChart_->chart()->axes(Qt::Vertical).value(0), 0, top + std::max<qreal>(1, std::ceil(top * 0.15)));
    QString text = from >= 0 ? salesText(shown_) : QStringLiteral("読み取りの記録がありません");
    if (to >= 0 && to < points_.size() && points_[to].clear && points_[to].counts[SalesHistory::TotalFigure])
        text += QStringLiteral("\n回収: クリア直前の総売上 %1円")
                    .arg(*points_[to].counts[SalesHistory::TotalFigure]);
    salesLabel_->setText(text);
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

bool JournalWindow::nameShown(const QString &asset, const QString &location)
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return false;
    const JournalController c = controllers_[row];
    if (asset.trimmed().isEmpty()) {
        showOk(this, QStringLiteral("資産番号を入れてください"), QStringLiteral("Error"));
        return false;
    }
    bool done;
    qint64 machine = c.machine;
    if (machine != 0) {
        done = journal_.renameMachine(machine, asset.trimmed(), location.trimmed());
    } else {
        machine = journal_.nameMachine(asset.trimmed(), location.trimmed());
        done = machine != 0 && journal_.assign(c, machine);
    }
    return showMachine(done, machine);
}

bool JournalWindow::assignShown(qint64 machine)
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return false;
    const JournalController &c = controllers_[row];
    // A controller's history by its identity goes whole; a visit kept
    // apart, or one of a named machine's, goes alone.
    if (c.machine == 0 && c.apartVisit == 0)
        return machine != 0 && showMachine(journal_.assign(c, machine), machine);
    const qint64 visit = shownVisit();
    if (visit == 0 || (machine == 0 && c.machine == 0))
        return false;
    if (!journal_.moveVisit(visit, machine))
        return showMachine(false, machine);
    reload();
    for (int i = 0; i < controllers_.size(); ++i)
        if (machine != 0 ? controllers_[i].machine == machine : controllers_[i].apartVisit == visit)
            controllerList_->setCurrentRow(i);
    return true;
}

qint64 JournalWindow::shownVisit() const
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return 0;
    if (controllers_[row].apartVisit != 0)
        return controllers_[row].apartVisit;
    const int to = toReading_->currentIndex();
    return to >= 0 && to < points_.size() ? points_[to].visit : 0;
}

QStringList JournalWindow::twinsOfShown() const
{
    QStringList twins;
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size() || controllers_[row].machine == 0)
        return twins;
    const JournalController &shown = controllers_[row];
    for (const JournalController &c : controllers_)
        if (c.machine != 0 && c.machine != shown.machine && c.identificationBytes == shown.identificationBytes
            && c.versionBytes == shown.versionBytes)
            twins << c.asset;
    return twins;
}

bool JournalWindow::bindShown(const QString &text)
{
    const int row = controllerList_->currentRow();
    const QStringList twins = twinsOfShown();
    if (twins.isEmpty())
        return false;
    bool ok = false;
    const QByteArray bytes = ShiftJis::encode(text, &ok);
    if (!ok || bytes.isEmpty() || bytes.size() > 8) {
        showOk(this, QStringLiteral("識別文字は1～8バイトで入れてください (全角文字は2バイト)"), QStringLiteral("Error"));
        return false;
    }
    const JournalController &c = controllers_[row];
    if (!askOkCancel(this,
                     QStringLiteral("接続中のQUVOの識別文字を「%1」に書き換え, %2 を %3 と見分けられるようにします.\n"
                                    "・識別文字は8バイトまでです.\n"
                                    "・識別文字は領収書に印刷されます.\n"
                                    "・設定値の書き込みと同じく, QUVOは書き込みの後に再起動します.\n"
                                    "接続中のQUVOが %2 でなければ書き込みません.")
                         .arg(text, c.asset, twins.join(QStringLiteral(", "))),
                     QStringLiteral("Information")))
        return false;
    emit bindRequested(c.machine, bytes);
    return true;
}

void JournalWindow::BindBtnClick()
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return;
    // The asset number where it fits in the controller's 8 bytes.
    const QString asset = controllers_[row].asset;
    bool ok = false;
    const QByteArray encoded = ShiftJis::encode(asset, &ok);
    QString text = ok && encoded.size() <= 8 ? asset : QString();
    text = QInputDialog::getText(this, QStringLiteral("識別文字で見分ける"),
                                 QStringLiteral("書き込む識別文字 (8バイトまで, 領収書に印刷されます):"), QLineEdit::Normal,
                                 text, &ok);
    if (ok)
        bindShown(text);
}

bool JournalWindow::showMachine(bool written, qint64 machine)
{
    if (!written) {
        showOk(this, QStringLiteral("履歴に書き込めませんでした.\n%1").arg(journal_.problem()), QStringLiteral("Error"));
        return false;
    }
    reload();
    for (int i = 0; i < controllers_.size(); ++i)
        if (controllers_[i].machine == machine)
            controllerList_->setCurrentRow(i);
    return true;
}

void JournalWindow::NameBtnClick()
{
    nameShown(assetEdit_->text(), locationEdit_->text());
}

void JournalWindow::AssignBtnClick()
{
    assignShown(machineChoice_->currentData().toLongLong());
}

QString JournalWindow::salesText(const SalesHistory::Sales &sales)
{
    qint64 pieces = 0;
    QStringList fell;
    QStringList unsure;
    QStringList inferred;
    QStringList gaps;
    for (int i = 0; i < 16; ++i) {
        pieces += sales.sold[std::size_t(i)];
        if (sales.fell[std::size_t(i)])
            fell << QStringLiteral("コラム%1").arg(i + 1);
        if (sales.unsure[std::size_t(i)])
            unsure << QString::number(i + 1);
        if (sales.wraps[std::size_t(i)] > 0)
            inferred << QStringLiteral("コラム%1 +%2枚").arg(i + 1).arg(sales.wraps[std::size_t(i)] * 65536);
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
    if (!inferred.isEmpty())
        text += QStringLiteral("\n枚数の桁あふれを売上金額から推定して含めました: %1").arg(inferred.join(QStringLiteral(", ")));
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
        auto *child = new QTreeWidgetItem({QString(), JournalDisplay::itemName(i.name, options_),
                                           JournalDisplay::itemValue(i.name, i.value, options_),
                                           i.sent.isNull() ? QString() : JournalDisplay::itemValue(i.name, i.sent, options_),
                                           i.reported.isNull() ? QString()
                                                               : JournalDisplay::itemValue(i.name, i.reported, options_)});
        child->setToolTip(1, i.name);
        child->setToolTip(2, child->text(2));
        item->addChild(child);
    }
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool JournalWindow::exportTo(const QString &file, ExportScope scope)
{
    const int row = controllerList_->currentRow();
    const JournalController *only = scope != ExportScope::All && row >= 0 && row < controllers_.size()
        ? &controllers_[row]
        : nullptr;
    if (scope != ExportScope::All && !only)
        return false;
    qint64 visit = 0;
    if (scope == ExportScope::Visit) {
        const int to = std::max(fromReading_->currentIndex(), toReading_->currentIndex());
        visit = to >= 0 && to < points_.size() ? points_[to].visit : 0;
        if (visit == 0)
            return false;
    }
    QString error;
    // With a byte-order mark: a spreadsheet on a Japanese PC reads the file
    // as UTF-8 only when it starts with one.
    if (!journal_.exportCsvTo(file, only, true, &error, visit)) {
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

bool JournalWindow::exportAuditTo(const QString &file)
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return false;
    const std::optional<AuditFile::Reading> reading = AuditExport::reading(journal_, controllers_[row]);
    QString why = QStringLiteral("この機械の読み取りが履歴にありません.");
    if (reading && AuditExport::write(*reading, file, journal_.path(), &why)) {
        // What the file could not carry, said where the technician looks.
        QStringList notes;
        if (!reading->leftOut.isEmpty())
            notes << AuditExport::leftOutText(*reading);
        if (!AuditFile::rolledOver(*reading).isEmpty())
            notes << QStringLiteral("桁数を超えた値があり,メーターのように桁あふれした値を書き込みました (%1).")
                         .arg(AuditFile::rolledOver(*reading).join(QStringLiteral(", ")));
        if (!notes.isEmpty())
            showOk(this, notes.join(u'\n'), QStringLiteral("Information"));
        return true;
    }
    showOk(this, QStringLiteral("%1 に書き込めませんでした.\n%2").arg(file, why), QStringLiteral("Error"));
    return false;
}

bool JournalWindow::askFile(const QString &title, const QString &filter, const QString &suffix, const QString &name,
                            QString *file)
{
    // The same dialog as the CSV's, which never opens the journal's files.
    QFileDialog *dialog = exportDialog();
    dialog->setWindowTitle(title);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    if (!name.isEmpty())
        dialog->selectFile(name);
    const bool chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    // The name as typed, taken before the dialog is set back to the CSV's
    // filter and suffix, which would rename it.
    if (chosen)
        *file = dialog->selectedFiles().constFirst();
    dialog->setWindowTitle(QStringLiteral("CSVに出力"));
    dialog->setNameFilter(QStringLiteral("CSV (*.csv)"));
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    return chosen;
}

void JournalWindow::DexBtnClick()
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return;
    const auto reading = AuditExport::reading(journal_, controllers_[row]);
    QString file;
    if (askFile(QStringLiteral("DEX出力"), QStringLiteral("DEX (*.dex)"), QStringLiteral("dex"),
                reading ? AuditExport::fileName(*reading) : QString(), &file))
        exportAuditTo(file);
}

bool JournalWindow::writeReportTo(const QString &file)
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return false;
    const std::optional<VisitReport::Page> page =
        VisitReport::page(journal_, controllers_[row], chosenReadings(), options_);
    QString why = QStringLiteral("この機械の読み取りが履歴にありません.");
    if (page && VisitReport::write({*page}, file, journal_.path(), &why))
        return true;
    showOk(this, QStringLiteral("%1 に書き込めませんでした.\n%2").arg(file, why), QStringLiteral("Error"));
    return false;
}

void JournalWindow::ReportBtnClick()
{
    const int row = controllerList_->currentRow();
    if (row < 0 || row >= controllers_.size())
        return;
    const JournalController &c = controllers_[row];
    const QString name = (c.asset.isEmpty() ? c.identification : c.asset) + QStringLiteral("_report.pdf");
    QString file;
    if (askFile(QStringLiteral("報告書"), QStringLiteral("PDF (*.pdf)"), QStringLiteral("pdf"), name, &file))
        writeReportTo(file);
}

void JournalWindow::ExportBtnClick(ExportScope scope)
{
    QFileDialog *dialog = exportDialog();
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return;
    exportTo(dialog->selectedFiles().constFirst(), scope);
}
