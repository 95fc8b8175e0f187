// Threshold group and its spin button.
#include "counter/vfcgroups_thresh.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace {
constexpr int kLabelHeight = 13;
constexpr int kSpinWidth = 17;
constexpr int kSpinHeight = 23;
constexpr int kLabelSpinGap = 10;
constexpr int kFocusFrame = 1; // pixels

QToolButton* makeArrow(QWidget* parent, Qt::ArrowType arrow) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus); // focus stays on the spin button
    return button;
}
} // namespace

// --- TCSpinButton ---------------------------------------------------------

TCSpinButton::TCSpinButton(QWidget* parent)
    : QWidget(parent), m_up(makeArrow(this, Qt::UpArrow)), m_down(makeArrow(this, Qt::DownArrow)) {
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Threshold"));
    setAccessibleDescription(QStringLiteral("Up and Down change the threshold by 0.1 V"));
    m_up->setAccessibleName(QStringLiteral("Raise threshold"));
    m_down->setAccessibleName(QStringLiteral("Lower threshold"));
    connect(m_up, &QToolButton::clicked, this, &TCSpinButton::upClick);
    connect(m_down, &QToolButton::clicked, this, &TCSpinButton::downClick);
}

void TCSpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The arrows leave a pixel all round for the focus frame.
    const QRect inside = rect().adjusted(kFocusFrame, kFocusFrame, -kFocusFrame, -kFocusFrame);
    const int half = inside.height() / 2;
    m_up->setGeometry(inside.left(), inside.top(), inside.width(), half);
    m_down->setGeometry(inside.left(), inside.top() + half, inside.width(), inside.height() - half);
}

void TCSpinButton::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TCSpinButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        emit upClick();
        break;
    case Qt::Key_Down:
        emit downClick();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

// --- TThreshGroup ---------------------------------------------------------

TThreshGroup::TThreshGroup(QWidget* panel, const QString& caption)
    : TMyGroup(panel, caption, kWidth / 3), m_label(new QLabel(this)),
      m_spin(new TCSpinButton(this)) {
    setHint(QString::fromStdString(thresholdHint()));
    // Wide enough for the widest value with a blank to spare.
    m_label->resize(fontMetrics().horizontalAdvance(QStringLiteral("4.4V ")), kLabelHeight);
    m_spin->resize(kSpinWidth, kSpinHeight);
    placeChildren();
    connect(m_spin, &TCSpinButton::downClick, this, [this] { SetThresholdValue(m_threshold - 1); });
    connect(m_spin, &TCSpinButton::upClick, this, [this] { SetThresholdValue(m_threshold + 1); });
    SetThresholdValue(kThresholdDefault);
}

void TThreshGroup::SetThresholdValue(int32_t value) {
    m_threshold = clampThreshold(value);
    m_label->setText(QString::fromStdString(thresholdText(m_threshold)));
}

void TThreshGroup::resizeEvent(QResizeEvent* event) {
    TMyGroup::resizeEvent(event);
    placeChildren();
}

// Label and spin button side by side, the pair centred across the group and
// each centred in the height below the caption's font height.
void TThreshGroup::placeChildren() {
    const int fontHeight = QFontInfo(font()).pixelSize();
    const int labelLeft = (width() - m_label->width() - m_spin->width() - kLabelSpinGap) / 2;
    m_label->move(labelLeft, (fontHeight + height() - m_label->height()) / 2);
    m_spin->move(labelLeft + m_label->width() + kLabelSpinGap,
                 (fontHeight + height() - m_spin->height()) / 2);
}
