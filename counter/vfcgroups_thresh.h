// The threshold group: a label showing the logic threshold and a small pair
// of arrow buttons (TCSpinButton) that step it by a tenth of a volt.
#pragma once

#include "counter/vfcgroups.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QToolButton;

// Up and down arrow buttons, one above the other, that only report clicks
// (repeating while held); the Up and Down keys do the same when it has focus,
// which a frame around the arrows shows.
class TCSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TCSpinButton(QWidget* parent);

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    void upClick();
    void downClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A frame around the arrows while the pair has the focus.
    void paintEvent(QPaintEvent* event) override;

private:
    QToolButton* const m_up;
    QToolButton* const m_down;
};

class TThreshGroup : public TMyGroup {
    Q_OBJECT
public:
    TThreshGroup(QWidget* panel, const QString& caption);

    // Clamps to 8..25 tenths of a volt, stores and shows it ("1.4V").
    void SetThresholdValue(int32_t value);
    // Tenths of a volt, always within 8..25.
    int32_t threshold() const { return m_threshold; }

    QLabel* label() const { return m_label; }
    TCSpinButton* spinButton() const { return m_spin; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChildren();

    QLabel* const m_label;
    TCSpinButton* const m_spin;
    int32_t m_threshold = kThresholdDefault;
};
