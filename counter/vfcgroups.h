// The counter settings groups of the main window's top panel: the group base
// classes TMyGroup and TMyRadioGroup, the edge, gate length and counter type
// radio groups, and the main window's reaction to a new counter type.
// TThreshGroup lives in vfcgroups_thresh.h.
#pragma once

#include "counter/vfcgroups_values.h"

#include <QGroupBox>
#include <QList>
#include <QString>

#include <functional>
#include <span>

class QButtonGroup;
class QRadioButton;
class QStyle;
class TThreshGroup;

// A captioned group box of the top panel, 220 pixels wide (narrower for the
// settings groups). The panel places it: at its left end, under the tool bar,
// at the full height left there, pushing the groups made before it to the
// right. Children are laid out from the group's size whenever it changes.
class TMyGroup : public QGroupBox {
    Q_OBJECT
public:
    static constexpr int kWidth = 220;

    TMyGroup(QWidget* panel, const QString& caption);

    // A two-part hint "short|long": the short part becomes the tool tip, the
    // long part the What's This text. Without "|" both are the whole text.
    void setHint(const QString& hint);
    QString hint() const { return m_hint; }

protected:
    // For groups narrower than kWidth, so they never exist at another width.
    TMyGroup(QWidget* panel, const QString& caption, int width);

private:
    QString m_hint;
};

// A group of radio items in one column, laid out over the group's height.
// Exactly one item is selected once there are items.
class TMyRadioGroup : public TMyGroup {
    Q_OBJECT
public:
    // Called with the group and the selected index whenever the user picks
    // an item (mouse, arrow keys or mnemonic); not called for setItemIndex.
    using ItemChange = std::function<void(TMyRadioGroup& group, int index)>;
    ItemChange OnItemChange;

    TMyRadioGroup(QWidget* panel, const QString& caption);

    int itemCount() const { return static_cast<int>(m_items.size()); }
    // The selected item, or -1 when there is none.
    int itemIndex() const;
    void setItemIndex(int index);
    QString itemCaption(int index) const;
    QRadioButton* itemButton(int index) const;
    void addItem(const QString& caption);
    void deleteItem(int index);

    // The library's code for the selected item.
    int32_t libraryValue() const { return itemLibraryValue(m_table, itemIndex()); }

protected:
    // A settings group: half the base width, the table's items with item 0
    // selected, and the given hint.
    TMyRadioGroup(QWidget* panel, const QString& caption, std::span<const GroupItem> table,
                  const QString& hint);
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrangeItems();
    void itemClicked();

    QButtonGroup* const m_buttons;
    QStyle* const m_itemStyle; // owned by this group
    QList<QRadioButton*> m_items;
    std::span<const GroupItem> m_table;
    // Rows the items are laid out in: the table's size, so that an item that
    // comes and goes (the infinite gate) never moves the others.
    int m_rows = 0;
};

// Pair of edges timed by a period count.
class TEdgeGroup : public TMyRadioGroup {
    Q_OBJECT
public:
    TEdgeGroup(QWidget* panel, const QString& caption);
};

class TGateLengthGroup : public TMyRadioGroup {
    Q_OBJECT
public:
    TGateLengthGroup(QWidget* panel, const QString& caption);

    // Offers or withdraws the infinite gate (item 3). Withdrawing it while it
    // is selected selects item 0 first; offering it never changes the
    // selection.
    void SetInfiniteAllowed(bool allowed);
};

class TCountTypeGroup : public TMyRadioGroup {
    Q_OBJECT
public:
    TCountTypeGroup(QWidget* panel, const QString& caption);
};

// What the main window's CounterTypeChanged does for a new counter type: the
// grid's result heading follows the type ("Frequency", "Period", "Event
// Count") and the infinite gate is offered only for period and event counts.
// The heading goes through setResultHeading, so this works without a grid.
void applyCounterType(int index, TGateLengthGroup& gateGroup,
                      const std::function<void(const QString&)>& setResultHeading);

// The settings as the groups hold them now, in the library's codes.
CounterSettings readCounterSettings(const TCountTypeGroup& counterType,
                                    const TGateLengthGroup& gateLength, const TEdgeGroup& edges,
                                    const TThreshGroup& threshold);
