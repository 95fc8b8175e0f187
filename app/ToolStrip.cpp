// ToolStrip: the main window's row of command buttons.
#include "app/ToolStrip.h"

#include <QAction>
#include <QPainter>
#include <QToolButton>

ToolStrip::ToolStrip(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kHeight);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

QToolButton* ToolStrip::addButton(QAction* action) {
    auto* button = new QToolButton(this);
    button->setDefaultAction(action); // also takes the action's checkable state
    button->setAutoRaise(true);       // flat until the mouse is over it
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::NoFocus);
    place(button, kButtonWidth);
    return button;
}

QWidget* ToolStrip::addSeparator() {
    auto* gap = new QWidget(this);
    gap->setObjectName("separator");
    place(gap, kSeparatorWidth);
    return gap;
}

void ToolStrip::place(QWidget* item, int width) {
    // The buttons sit between the etched lines at the top and the bottom.
    item->setGeometry(m_nextLeft, 1, width, kButtonHeight);
    item->setFixedSize(width, kButtonHeight);
    item->show();
    m_nextLeft += width;
    m_items.push_back(item);
}

void ToolStrip::paintEvent(QPaintEvent*) {
    // Etched edges above and below the buttons.
    QPainter painter(this);
    const int right = width() - 1;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, 0, right, 0);
    painter.drawLine(0, height() - 2, right, height() - 2);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, height() - 1, right, height() - 1);
}
