// TopPanel: tool strip on top, settings groups in a row below it.
#include "app/TopPanel.h"

#include "app/ToolStrip.h"

TopPanel::TopPanel(QWidget* parent) : QWidget(parent), m_toolStrip(new ToolStrip(this)) {
    setFixedHeight(kHeight);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    m_toolStrip->setGeometry(0, 0, width(), ToolStrip::kHeight);
}

void TopPanel::addGroupAtLeft(QWidget* group) {
    if (group->parentWidget() != this) group->setParent(this);
    m_groups.insert(m_groups.begin(), group);
    placeGroups();
    group->show();
    chainTabOrder();
}

std::vector<QWidget*> TopPanel::tabStops() const {
    // The groups themselves take no focus; their controls do.
    std::vector<QWidget*> stops;
    for (QWidget* group : m_groups)
        for (QObject* child : group->children())
            if (auto* control = qobject_cast<QWidget*>(child);
                control && !control->isWindow() && control->focusPolicy() != Qt::NoFocus)
                stops.push_back(control);
    return stops;
}

void TopPanel::chainTabOrder(QWidget* next) {
    std::vector<QWidget*> stops = tabStops();
    if (next) stops.push_back(next);
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
}

void TopPanel::resizeEvent(QResizeEvent*) {
    m_toolStrip->setGeometry(0, 0, width(), ToolStrip::kHeight);
    placeGroups();
}

void TopPanel::placeGroups() {
    const int top = ToolStrip::kHeight;
    int left = 0;
    for (QWidget* group : m_groups) {
        group->setGeometry(left, top, group->width(), kHeight - top);
        left += group->width();
    }
}
