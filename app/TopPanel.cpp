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
    for (std::size_t i = 1; i < m_groups.size(); ++i)
        QWidget::setTabOrder(m_groups[i - 1], m_groups[i]);
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
