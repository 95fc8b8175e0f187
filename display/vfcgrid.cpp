// The result grid: a QTableWidget whose cells are all painted by one
// delegate, with the channel of each row kept in the row's column-0 item.
#include "display/vfcgrid.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Column widths in pixels, without the 1-pixel grid line that Qt counts in
// a section's size.
constexpr int kCodeWidth = 24;
constexpr int kColourWidth = 11;
constexpr int kNumberWidth = 19;
constexpr int kNameWidth = 119;
constexpr int kRowHeight = 24;
constexpr int kGridLine = 1;

// A result cell that holds no result.
const QString kNoData = QStringLiteral("No data");

// Grid lines in the colour of the fixed cells, whatever the style's choice.
class GridLineStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Table_GridLineColor && widget)
            return static_cast<int>(widget->palette().color(QPalette::Button).rgba());
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

constexpr int kFocusFrame = 2; // pixels of the current cell's frame while the grid has focus

} // namespace

// A cell that asks the grid what a screen reader should say for it.
class TModGrid::Item : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;
    QVariant data(int role) const override {
        const auto* grid = qobject_cast<const TModGrid*>(tableWidget());
        if (grid && role == Qt::AccessibleTextRole)
            return grid->AccessibleCellText(row(), column());
        // A name too long for its cell shows in full as the cell's tool tip.
        if (grid && role == Qt::ToolTipRole && column() == NameColumn && row() >= 1) {
            const QString name = text();
            return grid->ShownName(row()) != name ? QVariant(name) : QVariant();
        }
        if (grid && role == Qt::AccessibleDescriptionRole && column() == CodeColumn && row() >= 1)
            return QStringLiteral("Type 0, 1, R, F, E or minus, or press the menu key, to set "
                                  "the condition");
        return QTableWidgetItem::data(role);
    }
};

namespace {
QTableWidgetItem* fixedItem(const QString& text = {}) {
    QTableWidgetItem* item = new TModGrid::Item(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}
} // namespace

// Paints every cell through the grid and edits names with a frameless line
// edit that covers the name cell.
class TModGrid::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(TModGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        m_grid->DrawCell(*painter, option.rect, index.row(), index.column());
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        // Framed, so the user sees that the name is being edited.
        editor->setFrame(true);
        // Opaque, so that the cursor's blinking does not repaint the grid.
        editor->setAutoFillBackground(true);
        return editor;
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

private:
    TModGrid* const m_grid;
};

TModGrid::TModGrid(QWidget* parentPanel, int channelCount)
    : QTableWidget(parentPanel), m_nameCellColour(palette().color(QPalette::Base)),
      m_codeCellColour(palette().color(QPalette::Base)) {
    // Fill the panel.
    if (parentPanel) {
        if (QLayout* layout = parentPanel->layout()) {
            layout->addWidget(this);
        } else {
            auto* fill = new QVBoxLayout(parentPanel);
            fill->setContentsMargins(0, 0, 0, 0);
            fill->addWidget(this);
        }
    }
    auto* style = new GridLineStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(this);
    setStyle(style);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setItemDelegate(new Delegate(this));

    // No headers and no scroll bars: the heading row and the three fixed
    // columns are ordinary cells, painted like the rest.
    horizontalHeader()->hide();
    verticalHeader()->hide();
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->setMinimumSectionSize(0);
        header->setSectionResizeMode(QHeaderView::Fixed);
    }
    verticalHeader()->setDefaultSectionSize(kRowHeight + kGridLine);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);
    setAutoScroll(false);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setAccessibleName(QStringLiteral("Results"));
    setAccessibleDescription(QStringLiteral("One row per channel: condition, wire colour, "
                                            "number, name and result"));
    // A click anywhere in the grid takes the focus (mousePressEvent), so the
    // keys typed next go to the cell that was clicked.
    setFocusPolicy(Qt::StrongFocus);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    // The editor opens on a name only when asked: F2, Enter, a click or a
    // double click; a stray key never starts an edit the user cannot see.
    // Escape and Enter close it (Escape undoes the edit). A click opens it at
    // once (mouseReleaseEvent), so the view's own delayed edit of a clicked
    // current name (SelectedClicked) is not wanted: it would refuse the
    // click's edit while its timer runs.
    setEditTriggers(EditKeyPressed | DoubleClicked);

    setColumnCount(5);
    setRowCount(1);
    for (int c = 0; c < columnCount(); ++c)
        setItem(0, c, fixedItem());
    item(0, NameColumn)->setText(QStringLiteral("Channel"));
    item(0, ResultColumn)->setText(QStringLiteral("Result"));

    SetChannelCount(channelCount);
    m_fonts = GridFonts::measure(font());
    setColumnWidths(width());
}

void TModGrid::SetChannelCount(int count) {
    endEditing();
    // The channel table has 18 entries; a larger count would show channels
    // that have no code or colour.
    count = std::clamp(count, 0, kMaxChannels);
    setRowCount(1 + count);
    for (int i = 0; i < count; ++i) {
        const int row = i + 1;
        auto* code = fixedItem();
        code->setData(kChannelRole, i);
        setItem(row, CodeColumn, code);
        setItem(row, ColourColumn, fixedItem());
        setItem(row, NumberColumn, fixedItem(QString::number(i)));
        auto* name = new Item(QStringLiteral("Channel %1").arg(i));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        setItem(row, NameColumn, name);
        setItem(row, ResultColumn, fixedItem(kNoData));
    }
    m_plainResults = true;
    viewport()->update();
    if (count > 0) setCurrentCell(1, NameColumn);
}

void TModGrid::ArrangeColumns(int width) {
    // Every row section already holds its 1-pixel grid line.
    int height = 1;
    for (int r = 0; r < rowCount(); ++r)
        height += rowHeight(r);
    resize(width, height);
    setColumnWidths(width);
}

void TModGrid::setColumnWidths(int width) {
    setColumnWidth(CodeColumn, kCodeWidth + kGridLine);
    setColumnWidth(ColourColumn, kColourWidth + kGridLine);
    setColumnWidth(NumberColumn, kNumberWidth + kGridLine);
    setColumnWidth(NameColumn, kNameWidth + kGridLine);
    const int fixed = (kCodeWidth + kGridLine) + (kColourWidth + kGridLine) +
                      (kNumberWidth + kGridLine) + (kNameWidth + kGridLine);
    const int result = std::max(0, width - fixed - 2);
    setColumnWidth(ResultColumn, result + kGridLine);
}

void TModGrid::SetResultHeading(const QString& text) {
    QTableWidgetItem* heading = item(0, ResultColumn);
    if (heading->text() == text) return;
    heading->setText(text);
    // The results below are of the old kind: under the new heading a
    // frequency would read as a period.
    ClearResults();
}

void TModGrid::ClearResults() {
    for (int row = 1; row < rowCount(); ++row) {
        QTableWidgetItem* cell = item(row, ResultColumn);
        if (cell->text() != kNoData) cell->setText(kNoData);
    }
    SetPlainResults(true);
}

QString TModGrid::ResultHeading() const {
    return item(0, ResultColumn)->text();
}

void TModGrid::SetResult(int channel, const QString& text) {
    const int row = RowOfChannel(channel);
    if (row >= 0) {
        QTableWidgetItem* cell = item(row, ResultColumn);
        if (cell->text() != text) cell->setText(text); // repaints this cell only
    }
    SetPlainResults(false);
}

QString TModGrid::Result(int channel) const {
    const int row = RowOfChannel(channel);
    return row >= 0 ? item(row, ResultColumn)->text() : QString();
}

void TModGrid::SetPlainResults(bool plain) {
    if (plain == m_plainResults) return;
    m_plainResults = plain;
    // Every result cell changes its look.
    viewport()->update(QRect(columnViewportPosition(ResultColumn), 0, columnWidth(ResultColumn),
                             viewport()->height()));
}

int TModGrid::RowOfChannel(int channel) const {
    // Rows keep channel order until the user moves one: look there first, as
    // every result write of every tick comes here.
    if (channel >= 0 && ChannelOfRow(channel + 1) == channel) return channel + 1;
    for (int row = 1; row < rowCount(); ++row)
        if (ChannelOfRow(row) == channel) return row;
    return -1;
}

int TModGrid::ChannelOfRow(int row) const {
    if (row < 1 || row >= rowCount()) return -1;
    const QTableWidgetItem* code = item(row, CodeColumn);
    return code ? code->data(kChannelRole).toInt() : -1;
}

QString TModGrid::ChannelName(int channel) const {
    const int row = RowOfChannel(channel);
    return row >= 0 ? item(row, NameColumn)->text() : QString();
}

QString TModGrid::ShownName(int row) const {
    const QTableWidgetItem* cell = row >= 1 ? item(row, NameColumn) : nullptr;
    if (!cell) return {};
    // The name starts one margin into the cell and keeps one margin free
    // before the cell's right edge.
    const int room = columnWidth(NameColumn) - kGridLine - 2 * m_fonts.nameMargin;
    return QFontMetrics(m_fonts.normal).elidedText(cell->text(), Qt::ElideRight, std::max(0, room));
}

void TModGrid::RowMoved(int from, int to) {
    const int rows = rowCount();
    if (from < 1 || to < 1 || from >= rows || to >= rows || from == to) return;
    endEditing();
    const int currentChannel = ChannelOfRow(currentRow());
    // The row travels with all its items, the channel in column 0 included.
    QList<QTableWidgetItem*> items;
    for (int c = 0; c < columnCount(); ++c)
        items.append(takeItem(from, c));
    removeRow(from);
    insertRow(to);
    for (int c = 0; c < columnCount(); ++c)
        setItem(to, c, items[c]);
    if (currentChannel >= 0) setCurrentCell(RowOfChannel(currentChannel), NameColumn);
}

void TModGrid::endEditing() {
    if (state() != EditingState) return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TModGrid::DrawCell(QPainter& painter, const QRect& rect, int row, int column) const {
    painter.save();
    painter.setClipRect(rect);
    const QColor fixedColour = palette().color(QPalette::Button);
    const QTableWidgetItem* cell = item(row, column);
    const QString text = cell ? cell->text() : QString();
    const int cy = cellCentreY(rect);
    painter.setPen(palette().color(QPalette::WindowText));

    if (row == 0) {
        painter.fillRect(rect, fixedColour);
        painter.setFont(m_fonts.heading);
        const int x =
            column == NameColumn
                ? rect.left() + m_fonts.nameMargin
                : rect.left() + (rect.width() - painter.fontMetrics().horizontalAdvance(text)) / 2;
        drawTextAt(painter, x, textTop(cy, m_fonts.headingHeight), text);
        painter.restore();
        return;
    }

    const int channel = ChannelOfRow(row);
    painter.setFont(m_fonts.normal);
    const int top = textTop(cy, m_fonts.normalHeight);
    switch (column) {
    case CodeColumn:
        // Only channels 0 to 7 take part in arming a count; the others show no glyph.
        if (channel >= 0 && channel < 8)
            ChannelGlyph{m_channels.code(channel)}.paint(painter, rect, m_codeCellColour);
        else
            painter.fillRect(rect, fixedColour);
        break;
    case ColourColumn: {
        const WireColour wire = m_channels.colour(channel);
        painter.fillRect(rect, QColor(wire.red, wire.green, wire.blue));
        break;
    }
    case NumberColumn:
        painter.fillRect(rect, fixedColour);
        drawTextAt(painter,
                   rect.left() + (rect.width() - painter.fontMetrics().horizontalAdvance(text)) / 2,
                   top, text);
        break;
    case NameColumn:
        painter.fillRect(rect, m_nameCellColour);
        drawTextAt(painter, rect.left() + m_fonts.nameMargin, top, ShownName(row));
        break;
    default:
        ResultReadout{text, m_plainResults}.paint(painter, rect, m_fonts);
        break;
    }
    // Where the keyboard is: a frame inside the current cell.
    if (hasFocus() && row == currentRow() && column == currentColumn()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), kFocusFrame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(1, 1, -1, -1));
    }
    painter.restore();
}

bool TModGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // The editor shows while the grid has the focus; a current cell set by
    // the program (a new channel count) must not steal it from elsewhere.
    if (trigger == CurrentChanged && !hasFocus()) return false;
    return QTableWidget::edit(index, trigger, event);
}

void TModGrid::focusInEvent(QFocusEvent* event) {
    QTableWidget::focusInEvent(event);
    // The current cell shows its focus frame.
    viewport()->update(visualRect(currentIndex()));
}

void TModGrid::focusOutEvent(QFocusEvent* event) {
    QTableWidget::focusOutEvent(event);
    viewport()->update(visualRect(currentIndex()));
}

void TModGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    m_pressRow = -1;
    m_moving = false;
    m_pressInName = index.isValid() && isNameCell(index);
    if (m_pressInName) {
        const QWidget* focus = QApplication::focusWidget();
        if (!hasFocus() && !(focus && isAncestorOf(focus))) setFocus(Qt::MouseFocusReason);
        QTableWidget::mousePressEvent(event);
        return;
    }
    // Any other cell takes the focus for the grid, closing a name editor
    // (keeping what was typed). A glyph becomes the current cell, so the
    // code keys work on it at once; the other cells of a data row make their
    // row current, on the glyph or the name as before.
    if (index.isValid()) {
        endEditing();
        if (index.row() >= 1) {
            const bool onGlyph = index.column() == CodeColumn || currentColumn() == CodeColumn;
            const int column = onGlyph ? CodeColumn : NameColumn;
            setCurrentCell(index.row(), column);
        }
        if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    }
    // The fixed cells of a data row are its handle for dragging it elsewhere.
    if (index.isValid() && index.row() >= 1 && index.column() < NameColumn &&
        event->button() == Qt::LeftButton) {
        m_pressRow = index.row();
        m_pressPos = pos;
    }
    event->accept();
}

void TModGrid::mouseMoveEvent(QMouseEvent* event) {
    if (m_pressInName) {
        QTableWidget::mouseMoveEvent(event);
        return;
    }
    if (m_pressRow < 0 || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint pos = event->position().toPoint();
    if (!m_moving && (pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    m_moving = true;
    const int target = moveTargetRow(pos.y());
    if (target != m_moveTarget) {
        m_moveTarget = target;
        viewport()->update();
    }
}

void TModGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressInName) {
        m_pressInName = false;
        QTableWidget::mouseReleaseEvent(event);
        // A click on a name edits it, in a framed editor.
        const QModelIndex name = indexAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && isNameCell(name) && state() != EditingState)
            edit(name);
        return;
    }
    if (m_moving) {
        const int from = m_pressRow;
        const int to = m_moveTarget;
        m_moving = false;
        m_pressRow = m_moveTarget = -1;
        viewport()->update();
        RowMoved(from, to);
        return;
    }
    m_pressRow = -1;

    // A click on a glyph cycles the code of the row's channel.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || index.column() != CodeColumn || index.row() < 1) return;
    // Shift with the right button opens the code menu instead.
    if (event->button() == Qt::RightButton && (event->modifiers() & Qt::ShiftModifier)) return;
    const auto button = event->button() == Qt::LeftButton    ? ChannelTable::Button::Left
                        : event->button() == Qt::RightButton ? ChannelTable::Button::Right
                                                             : ChannelTable::Button::Other;
    if (m_channels.click(ChannelOfRow(index.row()), button)) viewport()->update(visualRect(index));
}

void TModGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && isNameCell(index)) {
        m_pressInName = true;
        QTableWidget::mouseDoubleClickEvent(event);
        return;
    }
    // Every click on a glyph counts, the second of a double click too.
    mousePressEvent(event);
}

void TModGrid::wheelEvent(QWheelEvent* event) {
    // Nothing to scroll: the window is fitted to the rows.
    event->ignore();
}

void TModGrid::changeEvent(QEvent* event) {
    QTableWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_fonts = GridFonts::measure(font());
        viewport()->update();
    }
}

void TModGrid::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    if (!m_moving || m_moveTarget < 1 || m_moveTarget == m_pressRow) return;
    // Where the dragged row will land: above the target row when moving up,
    // below it when moving down.
    const int y = m_moveTarget < m_pressRow
                      ? rowViewportPosition(m_moveTarget)
                      : rowViewportPosition(m_moveTarget) + rowHeight(m_moveTarget) - 1;
    QPainter painter(viewport());
    painter.fillRect(QRect(0, y - 1, viewport()->width(), 3), palette().color(QPalette::Highlight));
}

int TModGrid::moveTargetRow(int y) const {
    int row = rowAt(y);
    if (row < 0) row = y < 0 ? 1 : rowCount() - 1;
    return std::clamp(row, 1, rowCount() - 1);
}
