// The result grid from the keyboard and for screen readers: moving between
// glyphs and names, typing channel codes, the code menu, and the words a
// screen reader says for each cell.
#include "display/vfcgrid.h"

#include "counter/ResultCell.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>
#include <memory>

QModelIndex TModGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Up and down move between channels; left and right between a channel's
    // glyph and its name, the only cells the keyboard can reach.
    if (rowCount() < 2) return {};
    const QModelIndex next = QTableWidget::moveCursor(action, modifiers);
    const int row = next.isValid() ? next.row() : currentRow();
    int column = currentColumn() == CodeColumn ? CodeColumn : NameColumn;
    if (action == MoveLeft || action == MoveHome) column = CodeColumn;
    if (action == MoveRight || action == MoveEnd) column = NameColumn;
    return model()->index(std::clamp(row, 1, rowCount() - 1), column);
}

void TModGrid::keyPressEvent(QKeyEvent* event) {
    const int column = currentColumn();
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    if (state() != EditingState && SelectCell(currentRow(), column) && plain) {
        const int channel = ChannelOfRow(currentRow());
        const QString text = event->text();
        if (column == CodeColumn && text.size() == 1) {
            if (const char code = ChannelTable::codeOfKey(text.at(0).toLatin1())) {
                SetChannelCode(channel, code);
                return;
            }
        }
        if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier &&
            column == CodeColumn) {
            showCodeMenu(currentRow(),
                         viewport()->mapToGlobal(visualRect(currentIndex()).center()));
            return;
        }
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            column == NameColumn) {
            edit(currentIndex(), EditKeyPressed, event);
            return;
        }
    }
    QTableWidget::keyPressEvent(event);
}

void TModGrid::keyboardSearch(const QString&) {
    // Letters do not jump between rows: a key either sets a code or does nothing.
}

void TModGrid::SetChannelCode(int channel, char code) {
    if (channel < 0 || channel >= kMaxChannels || ChannelTable::codeOfKey(code) != code) return;
    if (m_channels.code(channel) == code) return;
    m_channels.setCode(channel, code);
    const int row = RowOfChannel(channel);
    if (row >= 0) viewport()->update(visualRect(model()->index(row, CodeColumn)));
}

QMenu* TModGrid::makeCodeMenu(int channel, QWidget* parent) {
    auto* menu = new QMenu(parent);
    auto* codes = new QActionGroup(menu);
    for (const char code : ChannelTable::kCodes) {
        // "&R  Rising edge": the code itself is the item's letter.
        QString caption = QString::fromLatin1(ChannelTable::codeName(code));
        caption[0] = caption[0].toUpper();
        QAction* action = menu->addAction(QStringLiteral("&%1  %2").arg(QChar(code), caption));
        action->setCheckable(true);
        action->setChecked(m_channels.code(channel) == code);
        action->setData(QChar(code));
        codes->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, channel, code] { SetChannelCode(channel, code); });
    }
    return menu;
}

void TModGrid::showCodeMenu(int row, const QPoint& globalPos) {
    const int channel = ChannelOfRow(row);
    if (channel < 0) return;
    const std::unique_ptr<QMenu> menu(makeCodeMenu(channel, this));
    menu->exec(globalPos);
}

void TModGrid::contextMenuEvent(QContextMenuEvent* event) {
    // The menu key opens the code menu on the current glyph. A plain right
    // click keeps its meaning (don't care); with Shift it opens the menu on
    // the glyph under the pointer.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (currentColumn() == CodeColumn && currentRow() >= 1)
            showCodeMenu(currentRow(),
                         viewport()->mapToGlobal(visualRect(currentIndex()).center()));
        return;
    }
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if ((event->modifiers() & Qt::ShiftModifier) && index.isValid() && index.row() >= 1 &&
        index.column() == CodeColumn)
        showCodeMenu(index.row(), event->globalPos());
}

QString TModGrid::AccessibleCellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    const QString text = cell ? cell->text() : QString();
    const int channel = ChannelOfRow(row);
    if (channel < 0) return text; // the heading row
    const QString number = QStringLiteral("Channel %1").arg(channel);
    switch (column) {
    case CodeColumn:
        // Only channels 0 to 7 take part in arming a count.
        return channel < 8
                   ? QStringLiteral("%1 condition: %2")
                         .arg(number,
                              QLatin1String(ChannelTable::codeName(m_channels.code(channel))))
                   : QStringLiteral("%1: no condition").arg(number);
    case ColourColumn:
        return QStringLiteral("%1 wire: %2")
            .arg(number, QLatin1String(ChannelTable::colourName(channel)));
    case NumberColumn:
        return number;
    case NameColumn:
        return text;
    default: {
        const QString name = ChannelName(channel).trimmed();
        return QStringLiteral("%1: %2").arg(
            name.isEmpty() ? number : name,
            QString::fromStdString(readoutSpeech(text.toStdString(), m_plainResults)));
    }
    }
}
