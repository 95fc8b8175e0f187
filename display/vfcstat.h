// TModStatusBar: the main window's status bar with its panels: the module in
// use, the run state, the live pin levels drawn as glyphs, a heartbeat square
// that flips once per idle second, the time base (shown only for a module
// with an external reference) and a filler. A message (a new device problem)
// takes the place of the time base and the filler for a while.
#pragma once

#include "display/vfcstat_pins.h"

#include <QPixmap>
#include <QStatusBar>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>

class TModStatusBar : public QStatusBar {
    Q_OBJECT
public:
    enum PanelIndex {
        ModulePanel,
        RunStatePanel,
        PinsPanel,
        HeartbeatPanel,
        FillerPanel,
        TimeBasePanel
    };
    static constexpr int kPanelCount = 6;
    // How long a message stays, in ms.
    static constexpr int kMessageTime = 10000;

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
    // The time-base panel's text; the empty text hides the panel. A panel
    // too narrow for the text shows shortText instead (the tool tip and the
    // screen reader have the whole text).
    void SetTimeBaseText(const QString& text, const QString& shortText = {});
    // Shows a message in place of the time base and the filler for
    // kMessageTime ms (the full text also as the tool tip); a new message
    // replaces the old one. The empty text ends it.
    void ShowMessage(const QString& text);
    QString message() const { return m_message; }

signals:
    // The user clicked the message (to see all of it).
    void messageClicked();

public:
    // The widget that shows a panel (for the main window's checks and tests).
    QWidget* panelWidget(int index) const;

    // Texts a text panel (module or run state) can show; the panel is as
    // wide as the widest of them in the bar's font, so none is cut and the
    // panels never jitter. A new text is added here (or by a caller); a text
    // set that is not known yet widens its panel when it arrives.
    QStringList panelTexts(int index) const;
    void AddPanelText(int index, const QString& text);

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
    // A panel is as wide as the widest of its texts in the bar's font
    // (filler: the rest of the bar; heartbeat: fixed).
    std::array<QStringList, kPanelCount> m_widthTexts;
    std::array<QPixmap, kPinGlyphCount> m_glyphs;
    int32_t m_pinCount = 16;
    QString m_message;
    QTimer* const m_messageTimer;
};
