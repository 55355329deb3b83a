#include "ui/StringGrid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Hands every cell to the grid's own drawing; selection and focus are not shown.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(StringGrid *grid) : QStyledItemDelegate(grid), grid_(grid) {}
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        p->save();
        p->setFont(grid_->font());
        grid_->drawCell(*p, index.column(), index.row(), option.rect);
        p->restore();
    }
private:
    StringGrid *grid_;
};

// The section of a column or row holds its cell and the grid line after it.
constexpr int GridLine = 1;

} // namespace

StringGrid::StringGrid(QWidget *parent) : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(0);
    verticalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    setAutoScroll(false);
    setItemDelegate(new CellDelegate(this));
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
        if (!pressing_ && row >= 0 && col >= 0 && !isFixed(col, row))
            emit selectCell(col, row);
    });
}

void StringGrid::setShape(int colCount, int rowCount, int fixedCols, int fixedRows,
                          int defaultColWidth, int defaultRowHeight)
{
    setColumnCount(colCount);
    setRowCount(rowCount);
    fixedCols_ = fixedCols;
    fixedRows_ = fixedRows;
    for (int c = 0; c < colCount; ++c)
        setCellAreaWidth(c, defaultColWidth);
    for (int r = 0; r < rowCount; ++r)
        setCellAreaHeight(r, defaultRowHeight);
    for (int r = 0; r < rowCount; ++r)
        for (int c = 0; c < colCount; ++c)
            if (!item(r, c))
                setItem(r, c, new QTableWidgetItem());
    // The first data cell starts selected, so a click on it is a re-selection.
    if (colCount > fixedCols && rowCount > fixedRows) {
        QSignalBlocker block(this);
        setCurrentCell(fixedRows, fixedCols);
    }
}

int StringGrid::cellAreaWidth(int col) const
{
    return columnWidth(col) - GridLine;
}

void StringGrid::setCellAreaWidth(int col, int width)
{
    setColumnWidth(col, width + GridLine);
}

int StringGrid::cellAreaHeight(int row) const
{
    return rowHeight(row) - GridLine;
}

void StringGrid::setCellAreaHeight(int row, int height)
{
    setRowHeight(row, height + GridLine);
}

QString StringGrid::cells(int col, int row) const
{
    const QTableWidgetItem *it = item(row, col);
    return it ? it->text() : QString();
}

void StringGrid::setCell(int col, int row, const QString &text)
{
    QTableWidgetItem *it = item(row, col);
    if (!it) {
        it = new QTableWidgetItem();
        setItem(row, col, it);
    }
    it->setText(text);
}

void StringGrid::paintCell(QPainter &p, const QRect &rect, const QColor &fill,
                           const QString &text, bool centred)
{
    p.fillRect(rect, fill);
    p.setPen(Qt::black);
    // The substitute fonts set digits wider than the fonts the grids were
    // laid out for; a value is narrowed to fit rather than lose a digit.
    // Headings keep the layout's clipping.
    if (!centred)
        p.setFont(fitFont(p.font(), text, rect.width()));
    const int align = Qt::AlignVCenter | Qt::TextSingleLine | (centred ? Qt::AlignHCenter : Qt::AlignRight);
    p.drawText(rect, align, text);
}

QFont StringGrid::fitFont(const QFont &font, const QString &text, int width)
{
    if (QFontMetrics(font).horizontalAdvance(text) <= width)
        return font;
    QFont fitted = font;
    for (int stretch = 98; stretch >= 50; stretch -= 2) {
        fitted.setStretch(stretch);
        if (QFontMetrics(fitted).horizontalAdvance(text) <= width)
            return fitted;
    }
    return fitted;
}

void StringGrid::paintStandardCell(QPainter &p, int col, int row, const QRect &rect,
                                   const QColor &fixedColour) const
{
    const bool fixed = isFixed(col, row);
    paintCell(p, rect, fixed ? fixedColour : palette().color(QPalette::Base), cells(col, row), fixed);
}

void StringGrid::drawCell(QPainter &p, int col, int row, const QRect &rect) const
{
    if (drawCell_)
        drawCell_(p, col, row, rect, isFixed(col, row));
    else
        paintCell(p, rect, palette().color(QPalette::Base), cells(col, row), isFixed(col, row));
}

void StringGrid::refresh()
{
    viewport()->update();
}

QModelIndex StringGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex next = QTableWidget::moveCursor(cursorAction, modifiers);
    if (next.isValid() && isFixed(next.column(), next.row()))
        return currentIndex();
    return next;
}

void StringGrid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    // A press on a fixed cell does not make it current.
    if (index.isValid() && isFixed(index.column(), index.row())) {
        event->accept();
        return;
    }
    pressing_ = true;
    QTableWidget::mousePressEvent(event);
    pressing_ = false;
    if (event->button() == Qt::LeftButton && index.isValid() && !isFixed(index.column(), index.row()))
        emit selectCell(index.column(), index.row());
}

QString StringGrid::tabSeparated() const
{
    // Rows the layout gives a grid beyond its visible ones stay empty; they
    // would only add blank lines to a spreadsheet.
    int rows = rowCount();
    auto rowEmpty = [this](int r) {
        for (int c = 0; c < columnCount(); ++c)
            if (!cells(c, r).isEmpty())
                return false;
        return true;
    };
    while (rows > 0 && rowEmpty(rows - 1))
        --rows;
    QString out;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            if (c > 0)
                out += QLatin1Char('\t');
            // A tab or line break inside a cell would shift the cells after it.
            QString text = cells(c, r);
            for (QChar &ch : text)
                if (ch == QLatin1Char('\t') || ch == QLatin1Char('\n') || ch == QLatin1Char('\r'))
                    ch = QLatin1Char(' ');
            out += text;
        }
        out += QLatin1Char('\n');
    }
    return out;
}

void StringGrid::keyPressEvent(QKeyEvent *event)
{
    // The view's own copy takes the current cell only.
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(tabSeparated());
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}
