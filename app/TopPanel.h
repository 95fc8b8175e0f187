// TopPanel: the band at the top of the main window. It holds the tool strip
// along its top edge and, below it, the settings groups side by side. Each
// group added takes the leftmost place, pushing the others to the right, and
// gets the full height under the tool strip; the tab order runs left to right.
#pragma once

#include <QWidget>

#include <vector>

class ToolStrip;

class TopPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 120; // pixels, tool strip included

    explicit TopPanel(QWidget* parent);

    ToolStrip* toolStrip() const { return m_toolStrip; }

    // Places a group (a child of this panel, its width already set) at the
    // left end of the row of groups.
    void addGroupAtLeft(QWidget* group);
    // The groups, left to right.
    const std::vector<QWidget*>& groups() const { return m_groups; }

    // The controls of the groups that take the focus, left to right and in
    // each group in its own order (every item of a radio group: Qt lets Tab
    // stop only at the selected one).
    std::vector<QWidget*> tabStops() const;
    // Orders Tab through tabStops(), then on to next (when given).
    void chainTabOrder(QWidget* next = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeGroups();

    ToolStrip* const m_toolStrip;
    std::vector<QWidget*> m_groups;
};
