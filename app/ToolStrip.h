// ToolStrip: the row of command buttons along the top of the main window's top
// panel. Buttons are bound to actions (caption, picture, hint, enabled and
// checked state follow the action); separators are gaps. Buttons stand side by
// side from x = 2, each at the right edge of the one before.
#pragma once

#include <QWidget>

#include <vector>

class QAction;
class QToolButton;

class ToolStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 27;         // pixels
    static constexpr int kButtonWidth = 29;    // pixels
    static constexpr int kButtonHeight = 25;   // pixels
    static constexpr int kSeparatorWidth = 14; // pixels
    static constexpr int kFirstLeft = 2;       // pixels

    explicit ToolStrip(QWidget* parent);

    // A flat button for the action; a checkable action gives a check-style
    // button that stays pressed while the action is checked.
    QToolButton* addButton(QAction* action);
    // A gap between groups of buttons.
    QWidget* addSeparator();

    // Buttons and separators, left to right.
    const std::vector<QWidget*>& items() const { return m_items; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void place(QWidget* item, int width);

    std::vector<QWidget*> m_items;
    int m_nextLeft = kFirstLeft;
};
