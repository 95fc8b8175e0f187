// TModStatusBar: the main window's status bar with five panels: the module in
// use, the run state, the live pin levels drawn as glyphs, a heartbeat square
// that flips once per idle second, and an empty filler.
#pragma once

#include "display/vfcstat_pins.h"

#include <QPixmap>
#include <QStatusBar>
#include <QString>

#include <array>
#include <cstdint>

class TModStatusBar : public QStatusBar {
    Q_OBJECT
public:
    enum PanelIndex { ModulePanel, RunStatePanel, PinsPanel, HeartbeatPanel, FillerPanel };
    static constexpr int kPanelCount = 5;

    // Parented to the main window, which places it at its bottom edge. Its
    // height is the font's text height + 6 pixels.
    explicit TModStatusBar(QWidget* mainWindow);

    // Stores the text and repaints that panel alone, only if the text changed.
    // Every other text operation goes through here.
    void SetPanelText(int index, const QString& text);
    QString panelText(int index) const;

    // "Using " + the name.
    void SetModuleText(const QString& moduleName);
    void SetRunState(const QString& text);
    // One character per pin, pin 0 first: '0', '1', 'R', 'F', 'B'.
    void SetPinStates(const QString& text);
    // Sizes the pins panel for `count` pins and shows them all low.
    void SetPinCount(int32_t count);
    int32_t pinCount() const { return m_pinCount; }
    // Flips the heartbeat square's colours.
    void ToggleHeartbeat();

    // The widget that shows a panel (for the main window's checks and tests).
    QWidget* panelWidget(int index) const;

protected:
    // Draws the owner-drawn panels (pins and heartbeat) into `rect`, the
    // panel's area inside its border.
    virtual void DrawPanel(QPainter& painter, int index, const QRect& rect);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Panel;

    void drawPins(QPainter& painter, const QRect& rect);
    void drawHeartbeat(QPainter& painter, const QRect& rect);
    void applyFontMetrics();
    void placePanels();

    std::array<Panel*, kPanelCount> m_panels{};
    // A panel is as wide as its width text in the bar's font (filler: the
    // rest of the bar; heartbeat: fixed).
    std::array<QString, kPanelCount> m_widthTexts;
    std::array<QPixmap, kPinGlyphCount> m_glyphs;
    int32_t m_pinCount = 16;
};
