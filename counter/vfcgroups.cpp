// Group base classes, the three radio groups and the counter type reaction.
#include "counter/vfcgroups.h"

#include "counter/QtText.h"
#include "counter/vfcgroups_thresh.h"

#include <QButtonGroup>
#include <QProxyStyle>
#include <QRadioButton>

#include <memory>

namespace {
// Radio items with the classic desktop's compact indicator (13 pixels) and a
// 2-pixel label gap. With the wider default ones "Falling to Falling" would
// not fit inside the frame of a 110-pixel group in the 11-pixel font.
class CompactRadioStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        switch (metric) {
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return 13;
        case PM_RadioButtonLabelSpacing:
            return 2;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

} // namespace

// --- TMyGroup -------------------------------------------------------------

TMyGroup::TMyGroup(QWidget* panel, const QString& caption) : TMyGroup(panel, caption, kWidth) {}

TMyGroup::TMyGroup(QWidget* panel, const QString& caption, int width) : QGroupBox(caption, panel) {
    Q_ASSERT(panel);
    setFixedWidth(width);
    // Full height until the panel places it under its tool bar. Tool tips
    // are always on in Qt, whatever the parent does, as these groups want.
    resize(width, panel->height());
}

void TMyGroup::setHint(const QString& hint) {
    m_hint = hint;
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    setToolTip(bar < 0 ? hint : hint.left(bar));
    setWhatsThis(bar < 0 ? hint : hint.mid(bar + 1));
}

// --- TMyRadioGroup --------------------------------------------------------

TMyRadioGroup::TMyRadioGroup(QWidget* panel, const QString& caption)
    : TMyGroup(panel, caption), m_buttons(new QButtonGroup(this)),
      m_itemStyle(new CompactRadioStyle) {
    m_itemStyle->setParent(this);
    connect(m_buttons, &QButtonGroup::idClicked, this, &TMyRadioGroup::itemClicked);
}

TMyRadioGroup::TMyRadioGroup(QWidget* panel, const QString& caption,
                             std::span<const GroupItem> table, const QString& hint)
    : TMyGroup(panel, caption, kWidth / 2), m_buttons(new QButtonGroup(this)),
      m_itemStyle(new CompactRadioStyle), m_table(table), m_rows(static_cast<int>(table.size())) {
    m_itemStyle->setParent(this);
    for (const GroupItem& item : table)
        addItem(toQt(item.caption));
    setItemIndex(0);
    setHint(hint);
    connect(m_buttons, &QButtonGroup::idClicked, this, &TMyRadioGroup::itemClicked);
}

int TMyRadioGroup::itemIndex() const {
    return m_buttons->checkedId();
}

void TMyRadioGroup::setItemIndex(int index) {
    if (index >= 0 && index < itemCount()) {
        m_items[index]->setChecked(true);
    } else if (QAbstractButton* checked = m_buttons->checkedButton()) {
        // An exclusive group never unchecks its last button by itself.
        m_buttons->setExclusive(false);
        checked->setChecked(false);
        m_buttons->setExclusive(true);
    }
}

QString TMyRadioGroup::itemCaption(int index) const {
    return index >= 0 && index < itemCount() ? m_items[index]->text() : QString();
}

QRadioButton* TMyRadioGroup::itemButton(int index) const {
    return index >= 0 && index < itemCount() ? m_items[index] : nullptr;
}

void TMyRadioGroup::addItem(const QString& caption) {
    auto* button = new QRadioButton(caption, this);
    button->setStyle(m_itemStyle);
    m_buttons->addButton(button, itemCount()); // the id is the item index
    // Tab reaches the group where its earlier items are, also for an item
    // added later (Qt would put a new widget at the end of the window's chain).
    if (!m_items.isEmpty()) QWidget::setTabOrder(m_items.last(), button);
    m_items.append(button);
    arrangeItems();
    button->show();
}

void TMyRadioGroup::deleteItem(int index) {
    if (index < 0 || index >= itemCount()) return;
    const std::unique_ptr<QRadioButton> removed(m_items.takeAt(index));
    m_buttons->removeButton(removed.get());
    for (int i = index; i < itemCount(); ++i)
        m_buttons->setId(m_items[i], i);
    arrangeItems();
}

void TMyRadioGroup::resizeEvent(QResizeEvent* event) {
    TMyGroup::resizeEvent(event);
    arrangeItems();
}

// The item rows share the height under the caption equally, in one column,
// with the remainder split above and below them. A table group keeps a row
// for each table item, present or not, so its items never move.
void TMyRadioGroup::arrangeItems() {
    const int count = itemCount();
    if (count == 0) return;
    const int rows = std::max(count, m_rows);
    const int textHeight = fontMetrics().height();
    const int free = std::max(0, height() - textHeight - 5);
    const int itemHeight = free / rows;
    const int top = textHeight + 1 + (free % rows) / 2;
    // Across the width inside the frame, so no caption runs into it.
    const QRect inside = contentsRect();
    for (int i = 0; i < count; ++i)
        m_items[i]->setGeometry(inside.left(), top + i * itemHeight, inside.width(), itemHeight);
}

void TMyRadioGroup::itemClicked() {
    if (!OnItemChange) return;
    // A copy, so a handler may replace OnItemChange while it runs.
    const ItemChange handler = OnItemChange;
    handler(*this, itemIndex());
}

// --- The three settings groups --------------------------------------------

TEdgeGroup::TEdgeGroup(QWidget* panel, const QString& caption)
    : TMyRadioGroup(panel, caption, kEdgeItems, QStringLiteral("Edges for Period Measurement")) {}

TGateLengthGroup::TGateLengthGroup(QWidget* panel, const QString& caption)
    : TMyRadioGroup(panel, caption, kGateItems, QStringLiteral("Gate Length")) {}

void TGateLengthGroup::SetInfiniteAllowed(bool allowed) {
    if (allowed) {
        if (itemCount() < kInfiniteGateIndex + 1)
            addItem(toQt(kGateItems[kInfiniteGateIndex].caption));
    } else if (itemCount() == kInfiniteGateIndex + 1) {
        if (itemIndex() == kInfiniteGateIndex) setItemIndex(0);
        deleteItem(kInfiniteGateIndex);
    }
}

TCountTypeGroup::TCountTypeGroup(QWidget* panel, const QString& caption)
    : TMyRadioGroup(panel, caption, kCountTypeItems, QStringLiteral("Counter Type")) {}

// --- Free functions -------------------------------------------------------

void applyCounterType(int index, TGateLengthGroup& gateGroup,
                      const std::function<void(const QString&)>& setResultHeading) {
    const std::string_view heading = resultHeading(index);
    if (!heading.empty() && setResultHeading) setResultHeading(toQt(heading));
    gateGroup.SetInfiniteAllowed(index != 0);
}

CounterSettings readCounterSettings(const TCountTypeGroup& counterType,
                                    const TGateLengthGroup& gateLength, const TEdgeGroup& edges,
                                    const TThreshGroup& threshold) {
    return CounterSettings{counterType.libraryValue(), gateLength.libraryValue(),
                           edges.libraryValue(), threshold.threshold()};
}
