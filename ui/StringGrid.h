#pragma once
// A grid of texts with fixed rows and columns that draws every cell itself.
// The cell texts are the store other code reads back: cells(col, row).
#include <QTableWidget>
#include <functional>

class QPainter;

class StringGrid : public QTableWidget {
    Q_OBJECT
public:
    using DrawCellHandler = std::function<void(QPainter &, int col, int row, const QRect &rect, bool fixed)>;

    explicit StringGrid(QWidget *parent = nullptr);

    void setShape(int colCount, int rowCount, int fixedCols, int fixedRows,
                  int defaultColWidth, int defaultRowHeight);
    int fixedCols() const { return fixedCols_; }
    int fixedRows() const { return fixedRows_; }
    bool isFixed(int col, int row) const { return col < fixedCols_ || row < fixedRows_; }

    // Widths and heights of the cell area, without the grid line after it.
    int cellAreaWidth(int col) const;
    void setCellAreaWidth(int col, int width);
    int cellAreaHeight(int row) const;
    void setCellAreaHeight(int row, int height);

    QString cells(int col, int row) const;
    void setCell(int col, int row, const QString &text);

    void setDrawCell(DrawCellHandler handler) { drawCell_ = std::move(handler); }
    // The usual drawing of one cell: fixed cells centred on `fixedColour`,
    // data cells right-aligned on the window colour, one vertically centred line.
    void paintStandardCell(QPainter &p, int col, int row, const QRect &rect,
                           const QColor &fixedColour) const;
    void drawCell(QPainter &p, int col, int row, const QRect &rect) const;

    // Repaint after cell texts changed.
    void refresh();

    // The whole grid as a spreadsheet takes it: one line a row, cells
    // separated by tabs, headings and row labels included, empty rows at the
    // end left out. What Ctrl+C copies.
    QString tabSeparated() const;

    // One cell in the way the grids draw them: fill, then one line of text.
    static void paintCell(QPainter &p, const QRect &rect, const QColor &fill,
                          const QString &text, bool centred);

    // `font`, narrowed as little as needed for `text` to fit `width` (down
    // to half width): the substitute fonts set digits wider than the fonts
    // the grids were laid out for, and a value must not lose a digit.
    static QFont fitFont(const QFont &font, const QString &text, int width);

signals:
    // A data cell became the selected one: a left press (also on the cell
    // already selected) or an arrow key.
    void selectCell(int col, int row);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // A fixed cell is never current: an arrow key that would reach one
    // leaves the current cell where it is.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    int fixedCols_ = 0;
    int fixedRows_ = 0;
    bool pressing_ = false;
    DrawCellHandler drawCell_;
};
