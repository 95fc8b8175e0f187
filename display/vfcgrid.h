// TModGrid: the per-channel result grid of the main window. One row per
// channel under a heading row; per channel the code glyph the user cycles
// with the mouse or types (handed to the device library at every count start), the
// wire colour, the number, an editable name and the result read-out. Rows
// can be dragged into another order; every row keeps its channel, and
// results are written by channel, so they always land beside the channel's
// own name.
#pragma once

#include "display/ChannelTable.h"
#include "display/vfcgridpaint.h"

#include <QTableWidget>

class QMenu;

class TModGrid : public QTableWidget {
    Q_OBJECT

public:
    // Columns of the grid; the first three and the heading row are fixed.
    enum Column { CodeColumn = 0, ColourColumn, NumberColumn, NameColumn, ResultColumn };
    static constexpr int kMaxChannels = ChannelTable::kChannels;
    // Item data role of the column-0 cell that holds the row's channel.
    static constexpr int kChannelRole = Qt::UserRole;

    // Fills parentPanel (adding itself to the panel's layout, or creating a
    // margin-free one) and shows channelCount channels.
    TModGrid(QWidget* parentPanel, int channelCount);

    // Rebuilds the data rows for count channels (clamped to 0 to 18): channel
    // i in row i + 1, named "Channel i", result "No data"; plain results on.
    void SetChannelCount(int count);
    int ChannelCount() const { return rowCount() - 1; }

    // Height to fit every row, the given width (pixels), and the column
    // widths: 24, 11, 19 and 119 pixels, the result column taking the rest.
    void ArrangeColumns(int width);

    // Heading of the result column; stored and repainted only when it differs.
    // A new heading clears the results of the old kind (ClearResults).
    void SetResultHeading(const QString& text);
    QString ResultHeading() const;

    // Writes the result of a channel into the row that shows that channel,
    // wherever the user has moved it (nothing when the channel has no row),
    // and switches plain results off. An unchanged text repaints nothing; a
    // changed one repaints its cell only.
    void SetResult(int channel, const QString& text);
    QString Result(int channel) const;
    // Every result cell back to "No data", drawn plain as after
    // SetChannelCount.
    void ClearResults();

    // True: result cells are drawn as plain centred text ("No data"); false:
    // they are drawn as read-outs. Applies to every result cell at once.
    bool PlainResults() const { return m_plainResults; }
    void SetPlainResults(bool plain);

    // Code of a channel ("0", "1", "R", "F", "E", "-"); an index outside 0 to
    // 17 answers the code of channel 0.
    char ChannelCode(int index) const { return m_channels.code(index); }
    // Sets a channel's code from the keyboard or the code menu and repaints
    // its glyph; other characters and channels are ignored.
    void SetChannelCode(int channel, char code);
    // The menu of the six codes for a channel, the current one checked; a
    // pick sets the code. The caller owns and shows it.
    QMenu* makeCodeMenu(int channel, QWidget* parent);

    // What a screen reader says for a cell: "Channel 3: 1 234 567 Hz,
    // period: 810.0 ns" for a result, the channel's condition for a glyph,
    // its wire colour for a swatch (Qt::AccessibleTextRole of the cell).
    QString AccessibleCellText(int row, int column) const;

    // Row showing a channel (-1 when none) and channel shown in a row (-1
    // for the heading row and outside the grid).
    int RowOfChannel(int channel) const;
    int ChannelOfRow(int row) const;
    QString ChannelName(int channel) const;
    // The name as the cell in `row` draws it: cut with an ellipsis where it
    // would run past the cell (the full name is then the cell's tool tip).
    QString ShownName(int row) const;

    // Fonts and metrics measured from the grid's font.
    const GridFonts& Fonts() const { return m_fonts; }

    // Moves the row at from to position to (both data rows), as a drag does.
    void RowMoved(int from, int to);

    using QTableWidget::edit;

    // The type of every cell: it answers Qt::AccessibleTextRole from
    // AccessibleCellText.
    class Item;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class Delegate;

    // Paints one cell; rect excludes the grid lines.
    void DrawCell(QPainter& painter, const QRect& rect, int row, int column) const;
    // Only the glyphs (codes are typed there) and the channel names can
    // become the current cell.
    static bool SelectCell(int row, int column) {
        return row >= 1 && (column == CodeColumn || column == NameColumn);
    }
    static bool isNameCell(const QModelIndex& index) {
        return index.isValid() && index.row() >= 1 && index.column() == NameColumn;
    }
    void showCodeMenu(int row, const QPoint& globalPos);
    // Closes the in-place editor, keeping what was typed.
    void endEditing();
    int moveTargetRow(int y) const;
    void setColumnWidths(int width);

    QColor m_nameCellColour;
    QColor m_codeCellColour;
    GridFonts m_fonts;
    bool m_plainResults = true;
    ChannelTable m_channels;

    // Row dragging by its fixed cells.
    int m_pressRow = -1;
    QPoint m_pressPos;
    bool m_moving = false;
    int m_moveTarget = -1;
    bool m_pressInName = false;
};
