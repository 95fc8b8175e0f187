// Result grid: rows and columns, code cycling by mouse, results that follow
// their channel through row moves, repaints limited to what changed, the
// name editor, and where the read-out's parts land.
#include "display/vfcgrid.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>

#include <gtest/gtest.h>

namespace {

// Messages that Qt printed while a test ran.
QStringList g_messages;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_messages << text;
}

struct Paints {
    int count = 0;
    QRegion region;
};

// Records the paint events of the grid's viewport.
class PaintSpy : public QObject {
public:
    Paints paints;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints.count;
            paints.region += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

class GridTest : public ::testing::Test {
protected:
    GridTest() {
        QFont font = QApplication::font();
        font.setFamily("DejaVu Sans");
        font.setPixelSize(11);
        panel.setFont(font);
        panel.resize(760, 480);
        grid = new TModGrid(&panel, 18);
        grid->ArrangeColumns(760);
    }
    void show() {
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        QTest::qWait(20);
    }
    // The open name editor, if any.
    QLineEdit* editor() const {
        return qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
    }
    QModelIndex at(int row, int column) const { return grid->model()->index(row, column); }
    void click(int row, int column, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(grid->viewport(), button, {}, grid->visualRect(at(row, column)).center());
    }
    // Paint events caused by an action, once everything pending has settled.
    template <class Action> Paints paintsOf(Action action) {
        QTest::qWait(20);
        PaintSpy spy;
        grid->viewport()->installEventFilter(&spy);
        action();
        QTest::qWait(20);
        grid->viewport()->removeEventFilter(&spy);
        return spy.paints;
    }

    QWidget panel;
    TModGrid* grid;
};

TEST_F(GridTest, BuildsOneRowPerChannelInColumnsThatFitTheWindowFont) {
    ASSERT_EQ(grid->rowCount(), 19);
    EXPECT_EQ(grid->item(0, TModGrid::NameColumn)->text(), "Channel");
    EXPECT_EQ(grid->ResultHeading(), "Result");
    EXPECT_EQ(grid->item(18, TModGrid::NumberColumn)->text(), "17");
    EXPECT_EQ(grid->ChannelName(17), "Channel 17");
    EXPECT_EQ(grid->Result(17), "No data");
    EXPECT_TRUE(grid->PlainResults());

    grid->SetResult(0, "1|Hz");
    grid->SetChannelCount(0);
    EXPECT_EQ(grid->rowCount(), 1); // only the heading row
    EXPECT_TRUE(grid->PlainResults());
    grid->SetChannelCount(40); // the channel table ends at 17
    EXPECT_EQ(grid->rowCount(), 19);

    // Fonts and columns fit the window font.
    EXPECT_EQ(grid->Fonts().largeHeight, 16);
    EXPECT_EQ(grid->Fonts().large.pixelSize(), 16);
    EXPECT_EQ(grid->Fonts().headingHeight, 15);
    EXPECT_EQ(grid->Fonts().nameMargin, 4);
    EXPECT_GE(grid->Fonts().unitWidth, grid->Fonts().digitWidth);

    const int widths[] = {24, 11, 19, 119, 760 - 179};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(grid->visualRect(at(1, c)).width(), widths[c]) << c;
    EXPECT_EQ(grid->visualRect(at(1, 0)).height(), 24);
    EXPECT_EQ(grid->height(), 19 * 25 + 1);
}

TEST_F(GridTest, MouseCyclesTheCodeOfTheRowsChannel) {
    show();
    std::string seen;
    for (int i = 0; i < 4; ++i) {
        click(3, TModGrid::CodeColumn);
        seen += grid->ChannelCode(2);
    }
    EXPECT_EQ(seen, "01-0");
    click(3, TModGrid::CodeColumn, Qt::MiddleButton);
    EXPECT_EQ(grid->ChannelCode(2), '0');
    click(3, TModGrid::CodeColumn, Qt::RightButton);
    EXPECT_EQ(grid->ChannelCode(2), '-');
    click(3, TModGrid::NumberColumn); // not a glyph
    click(0, TModGrid::CodeColumn);   // heading
    EXPECT_EQ(grid->ChannelCode(2), '-');

    // A right click on "-" changes nothing and repaints nothing.
    EXPECT_EQ(paintsOf([&] { click(3, TModGrid::CodeColumn, Qt::RightButton); }).count, 0);

    click(1, TModGrid::CodeColumn); // channel 0 -> "0"
    EXPECT_EQ(grid->ChannelCode(-1), '0');
    EXPECT_EQ(grid->ChannelCode(18), '0');
}

TEST_F(GridTest, MovedRowsKeepTheirChannelAndReceiveItsResult) {
    show();
    // Drag channel 0 by its number cell down onto the row of channel 4.
    const QPoint from = grid->visualRect(at(1, TModGrid::NumberColumn)).center();
    const QPoint to = grid->visualRect(at(5, TModGrid::NumberColumn)).center();
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(grid->viewport(), (from + to) / 2);
    QTest::mouseMove(grid->viewport(), to);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, to);
    ASSERT_EQ(grid->RowOfChannel(0), 5);
    EXPECT_EQ(grid->item(5, TModGrid::NameColumn)->text(), "Channel 0");
    EXPECT_EQ(grid->RowOfChannel(4), 4);

    grid->SetResult(0, "50|Hz");
    grid->SetResult(4, "7|Events");
    EXPECT_EQ(grid->item(5, TModGrid::ResultColumn)->text(), "50|Hz");
    EXPECT_EQ(grid->item(4, TModGrid::ResultColumn)->text(), "7|Events");
    EXPECT_FALSE(grid->PlainResults());

    click(5, TModGrid::CodeColumn); // the glyph moved with its channel
    EXPECT_EQ(grid->ChannelCode(0), '0');

    grid->SetChannelCount(4);
    grid->SetResult(7, "lost"); // no row: nothing written, nothing broken
    EXPECT_EQ(grid->Result(7), "");
}

TEST_F(GridTest, RepaintsOnlyCellsWhoseTextChanged) {
    show();
    // Without results a new heading repaints the heading alone.
    const Paints heading = paintsOf([&] { grid->SetResultHeading("Frequency"); });
    EXPECT_EQ(heading.region.boundingRect(), grid->visualRect(at(0, TModGrid::ResultColumn)));

    grid->SetResult(3, "12|Hz");
    const QRect cell = grid->visualRect(at(4, TModGrid::ResultColumn));
    EXPECT_EQ(paintsOf([&] { grid->SetResult(3, "12|Hz"); }).count, 0);
    EXPECT_EQ(paintsOf([&] { grid->SetResultHeading("Frequency"); }).count, 0);

    const Paints changed = paintsOf([&] { grid->SetResult(3, "13|Hz"); });
    EXPECT_GE(changed.count, 1);
    EXPECT_TRUE(QRegion(cell).contains(changed.region.boundingRect()));
}

// Results stay only under the heading they were written for: a new heading
// clears every result cell to "No data", drawn plain as before any result.
TEST_F(GridTest, ANewHeadingClearsTheResultsOfTheOldKind) {
    grid->SetResultHeading("Frequency");
    grid->RowMoved(2, 5);
    grid->SetResult(0, "1|Hz$[ period: 1000000000.0 ns ]");
    grid->SetResult(1, "50|Hz");
    grid->SetResultHeading("Frequency"); // the same heading keeps them
    EXPECT_EQ(grid->Result(1), "50|Hz");
    EXPECT_FALSE(grid->PlainResults());

    grid->SetResultHeading("Period");
    for (int channel = 0; channel < grid->ChannelCount(); ++channel)
        EXPECT_EQ(grid->Result(channel), "No data") << channel;
    EXPECT_TRUE(grid->PlainResults());
}

// Tab brings the focus to the current name without opening its editor, so a
// stray key changes nothing; F2, Enter and a click open a framed editor.
TEST_F(GridTest, NameEditorOpensOnlyWhenAskedAndClosesOnEnterOrEscape) {
    show();
    panel.activateWindow();
    grid->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    EXPECT_EQ(grid->currentIndex(), at(1, TModGrid::NameColumn));
    EXPECT_EQ(editor(), nullptr);
    QTest::keyClicks(grid, "xq5");
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(grid->ChannelName(0), "Channel 0");

    for (const Qt::Key opener : {Qt::Key_F2, Qt::Key_Return}) {
        QTest::keyClick(grid, opener);
        ASSERT_NE(editor(), nullptr) << opener;
        EXPECT_TRUE(editor()->hasFrame());
        QTest::keyClick(editor(), Qt::Key_Escape);
        QTest::qWait(10);
        EXPECT_EQ(editor(), nullptr);
    }
    QTest::keyClick(grid, Qt::Key_F2);
    ASSERT_NE(editor(), nullptr);
    editor()->selectAll();
    QTest::keyClicks(editor(), "Clock");
    QTest::keyClick(editor(), Qt::Key_Return);
    QTest::qWait(10);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(grid->ChannelName(0), "Clock");

    // Down moves between channels, Left and Right between glyph and name.
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Right);
    EXPECT_EQ(grid->currentIndex(), at(2, TModGrid::NameColumn));
    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_EQ(grid->currentIndex(), at(2, TModGrid::CodeColumn));
    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_EQ(grid->currentIndex(), at(2, TModGrid::CodeColumn));
    QTest::keyClick(grid, Qt::Key_Right);

    // A click edits; Escape undoes.
    click(3, TModGrid::NameColumn);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(grid->currentIndex(), at(3, TModGrid::NameColumn));
    QTest::keyClicks(editor(), "xyz");
    QTest::keyClick(editor(), Qt::Key_Escape);
    QTest::qWait(10);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(grid->ChannelName(2), "Channel 2");
}

// On a glyph the six codes are typed (letters in either case) or picked from
// the code menu (Shift+F10 or the menu key); other keys change nothing.
TEST_F(GridTest, CodesAreTypedOrPickedFromTheCodeMenu) {
    show();
    panel.activateWindow();
    grid->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    grid->setCurrentCell(3, TModGrid::CodeColumn); // channel 2
    const struct {
        char key;
        char code;
    } typed[] = {{'0', '0'}, {'1', '1'}, {'r', 'R'}, {'F', 'F'}, {'e', 'E'},
                 {'-', '-'}, {'R', 'R'}, {'x', 'R'}, {' ', 'R'}, {'2', 'R'}};
    for (const auto& t : typed) {
        QTest::keyClick(grid, t.key);
        EXPECT_EQ(grid->ChannelCode(2), t.code) << t.key;
    }
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(grid->ChannelName(2), "Channel 2");

    // The menu lists all six with the current one checked; a pick sets it.
    const std::unique_ptr<QMenu> menu(grid->makeCodeMenu(2, grid));
    QStringList captions;
    for (QAction* action : menu->actions()) {
        captions << action->text();
        EXPECT_EQ(action->isChecked(), action->text() == "&R  Rising edge");
    }
    EXPECT_EQ(captions, (QStringList{"&0  Low level", "&1  High level", "&R  Rising edge",
                                     "&F  Falling edge", "&E  Either edge", "&-  Don't care"}));
    menu->actions()[3]->trigger();
    EXPECT_EQ(grid->ChannelCode(2), 'F');

    // Shift+F10 opens it on the current glyph; its E item picks "E".
    QTimer::singleShot(50, grid, [] {
        if (auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            shown->actions()[4]->trigger();
            shown->close();
        }
    });
    QTest::keyClick(grid, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(grid->ChannelCode(2), 'E');
}

// What a screen reader reads for each kind of cell.
TEST_F(GridTest, CellsSayWhatTheyShow) {
    grid->SetResultHeading("Frequency"); // a new heading clears the results, so it comes first
    grid->SetResult(3, "1234567|Hz$[ period: 810.0 ns ]");
    grid->SetChannelCode(3, 'R');
    const struct {
        int row;
        int column;
        const char* text;
    } cells[] = {
        {4, TModGrid::ResultColumn, "Channel 3: 1 234 567 Hz, period: 810.0 ns"},
        {4, TModGrid::CodeColumn, "Channel 3 condition: rising edge"},
        {4, TModGrid::ColourColumn, "Channel 3 wire: green"},
        {8, TModGrid::CodeColumn, "Channel 7 condition: don't care"},
        {9, TModGrid::CodeColumn, "Channel 8: no condition"},
        {0, TModGrid::ResultColumn, "Frequency"},
    };
    for (const auto& c : cells)
        EXPECT_EQ(at(c.row, c.column).data(Qt::AccessibleTextRole).toString(), c.text) << c.text;
    // The table a screen reader asks reads the same.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
    ASSERT_TRUE(table && table->tableInterface());
    QAccessibleInterface* cell = table->tableInterface()->cellAt(4, TModGrid::ResultColumn);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), cells[0].text);
    // A renamed channel is read by its name; results before the first count as they stand.
    grid->item(5, TModGrid::NameColumn)->setText("Clock");
    grid->SetChannelCount(18);
    EXPECT_EQ(at(1, TModGrid::ResultColumn).data(Qt::AccessibleTextRole).toString(),
              "Channel 0: No data");
    grid->item(5, TModGrid::NameColumn)->setText("Clock");
    grid->SetResult(4, "42|Events");
    EXPECT_EQ(at(5, TModGrid::ResultColumn).data(Qt::AccessibleTextRole).toString(),
              "Clock: 42 Events");
}

// Lime columns (x in grid coordinates) of one row of a grabbed result cell.
std::vector<int> limeColumns(const QImage& image, const QRect& cell) {
    std::vector<int> xs;
    for (int x = cell.left(); x <= cell.right(); ++x)
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            if (image.pixelColor(x, y).green() > 128 && image.pixelColor(x, y).red() < 100) {
                xs.push_back(x);
                break;
            }
    return xs;
}

TEST_F(GridTest, ReadOutEndsHalfADigitLeftOfTheMiddleWithTheUnitAtIt) {
    show();
    grid->SetResult(0, "1234567|Hz");
    grid->SetResult(1, "1234567");
    const QImage image = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(at(1, TModGrid::ResultColumn));
    const int middle = (2 * cell.left() + cell.width()) / 2;
    const int digit = grid->Fonts().digitWidth;

    const std::vector<int> withUnit = limeColumns(image, cell);
    const std::vector<int> numberOnly = limeColumns(image, grid->visualRect(at(2, 4)));
    ASSERT_FALSE(numberOnly.empty());
    EXPECT_LE(numberOnly.back(), middle - digit / 2);
    EXPECT_GT(numberOnly.back(), middle - digit / 2 - digit);
    // What the unit adds lies right of the middle.
    for (int x : withUnit) {
        if (x > numberOnly.back()) {
            EXPECT_GE(x, middle);
        }
    }
    EXPECT_GT(withUnit.back(), middle);
}

TEST_F(GridTest, GlyphsTakeTheCellColourAndStopAtChannelEight) {
    show();
    click(1, TModGrid::CodeColumn); // channel 0: "0", a low bar
    click(9, TModGrid::CodeColumn); // channel 8: coded, but no glyph
    grid->clearFocus();             // no focus frame over the glyphs
    const QImage image = grid->viewport()->grab().toImage();
    const QRect low = grid->visualRect(at(1, 0));
    EXPECT_EQ(image.pixelColor(low.left() + 12, low.top() + 21), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(low.left() + 12, low.top() + 12),
              grid->palette().color(QPalette::Base));
    EXPECT_EQ(image.pixelColor(low.left() + 12, low.top() + 2),
              grid->palette().color(QPalette::Base));
    const QRect none = grid->visualRect(at(9, 0));
    for (int y = none.top(); y <= none.bottom(); ++y)
        EXPECT_EQ(image.pixelColor(none.left() + 12, y), grid->palette().color(QPalette::Button));
}

} // namespace

// A click anywhere in the grid gives it the focus: on a glyph the code keys
// work at once, wherever the focus was before (another widget, a name
// editor, which closes keeping its text); a result makes its row current.
TEST_F(GridTest, AClickTakesTheFocusToTheClickedCell) {
    auto* other = new QLineEdit(&panel);
    show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    other->setFocus();
    const auto type = [](char key) { QTest::keyClick(QApplication::focusWidget(), key); };

    click(3, TModGrid::CodeColumn); // channel 2: "-" -> "0"
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentIndex(), at(3, TModGrid::CodeColumn));
    type('r');
    EXPECT_EQ(grid->ChannelCode(2), 'R');

    click(2, TModGrid::NameColumn);
    ASSERT_NE(editor(), nullptr);
    editor()->setText("Clock");
    click(4, TModGrid::CodeColumn); // channel 3: "-" -> "0"
    QTest::qWait(10);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(grid->ChannelName(1), "Clock");
    EXPECT_EQ(grid->currentIndex(), at(4, TModGrid::CodeColumn));
    type('F');
    EXPECT_EQ(grid->ChannelCode(3), 'F');

    other->setFocus();
    click(5, TModGrid::ResultColumn);
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentIndex(), at(5, TModGrid::CodeColumn));
    type('e');
    EXPECT_EQ(grid->ChannelCode(4), 'E');
    EXPECT_EQ(grid->ChannelCode(2), 'R');
}

// Renaming by clicks prints nothing; a name wider than its cell is cut with
// an ellipsis and shows in full as the cell's tool tip.
TEST_F(GridTest, LongNamesEndInAnEllipsisAndShowInFullAsToolTip) {
    show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    const QString longName = "Reference clock of the second test board";
    for (const QString& name : {longName, QString("Clock")}) {
        click(1, TModGrid::NameColumn); // the current name: edits at once
        ASSERT_NE(editor(), nullptr) << name.toStdString();
        editor()->setText(name);
        QTest::keyClick(editor(), Qt::Key_Return);
        QTest::qWait(10);
        ASSERT_EQ(grid->ChannelName(0), name);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_messages.filter("edit").join("; "), "");

    // A name that fits shows whole, without a tip; a long one is cut to the
    // cell with an ellipsis and shows in full as the tip.
    QTableWidgetItem* item = grid->item(2, TModGrid::NameColumn);
    item->setText("Clock");
    EXPECT_EQ(grid->ShownName(2), "Clock");
    EXPECT_FALSE(item->data(Qt::ToolTipRole).isValid());
    item->setText(longName);
    const QString shown = grid->ShownName(2);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(longName.startsWith(shown.chopped(1)));
    EXPECT_LE(QFontMetrics(grid->Fonts().normal).horizontalAdvance(shown),
              grid->visualRect(at(2, TModGrid::NameColumn)).width() - 2 * grid->Fonts().nameMargin);
    EXPECT_EQ(item->data(Qt::ToolTipRole).toString(), longName);

    // Hovering shows the tip.
    const QPoint where = grid->visualRect(at(2, TModGrid::NameColumn)).center();
    QHelpEvent help(QEvent::ToolTip, where, grid->viewport()->mapToGlobal(where));
    QApplication::sendEvent(grid->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), longName);
    QToolTip::hideText();
}
