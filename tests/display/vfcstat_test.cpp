// The status bar offscreen: panel texts and widths, repaints limited to the
// panel whose text changed, the pin row as drawn and the heartbeat colours.
#include "display/vfcstat.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <array>

namespace {

// Counts paint events per watched widget.
class PaintCounter : public QObject {
public:
    void watch(QWidget* widget) {
        widget->installEventFilter(this);
        m_counts[widget] = 0;
    }
    int count(QWidget* widget) const { return m_counts.value(widget); }
    void reset() {
        for (auto it = m_counts.begin(); it != m_counts.end(); ++it)
            it.value() = 0;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++m_counts[static_cast<QWidget*>(watched)];
        return false;
    }

private:
    QHash<QWidget*, int> m_counts;
};

class StatusBar : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font = QApplication::font();
        font.setFamily("DejaVu Sans");
        font.setPixelSize(11);
        window.setFont(font);
        bar = new TModStatusBar(&window);
        window.resize(640, 40);
        bar->setGeometry(0, 40 - bar->height(), 640, bar->height());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    int textWidth(const QString& text) const { return bar->fontMetrics().horizontalAdvance(text); }
    int panelLeft(int index) const { return bar->panelWidget(index)->x(); }

    // Lets every pending repaint happen.
    static void settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(10);
        }
    }

    QWidget window;
    TModStatusBar* bar = nullptr;
};

TEST_F(StatusBar, PanelsStartWithTheirTextsAndTextWidths) {
    EXPECT_EQ(bar->height(), bar->fontMetrics().height() + 6);
    const std::array<QString, 5> texts{"Module not selected", "  ", "", "", "    "};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(bar->panelText(i), texts[i]) << i;
    EXPECT_EQ(bar->pinCount(), 16);

    EXPECT_EQ(panelLeft(0), 0);
    EXPECT_EQ(panelLeft(1), textWidth("Using MMMMMMMM"));
    EXPECT_EQ(panelLeft(2) - panelLeft(1), textWidth("Transferring DataMMMM"));
    EXPECT_EQ(panelLeft(3) - panelLeft(2), textWidth("Pins: 7 0" + QString(17, 'M')));
    EXPECT_EQ(panelLeft(4) - panelLeft(3), 10);
    EXPECT_EQ(bar->panelWidget(4)->geometry().right(), 640 - 1 - 2); // the filler takes the rest

    bar->SetPinCount(18);
    EXPECT_EQ(bar->panelText(TModStatusBar::PinsPanel), QString(18, '0'));
    EXPECT_EQ(panelLeft(3) - panelLeft(2), textWidth("Pins: 17 0 " + QString(19, 'M') + "    "));

    bar->SetModuleText("QVSIM001");
    EXPECT_EQ(bar->panelText(TModStatusBar::ModulePanel), "Using QVSIM001");
}

TEST_F(StatusBar, OnlyAChangedTextRepaintsAndOnlyItsOwnPanel) {
    bar->SetRunState("Running");
    bar->SetPinCount(18);
    settle();
    PaintCounter counter;
    counter.watch(bar);
    for (int i = 0; i < TModStatusBar::kPanelCount; ++i)
        counter.watch(bar->panelWidget(i));

    bar->SetRunState("Running");
    bar->SetPinStates(QString(18, '0'));
    settle();
    for (int i = 0; i < TModStatusBar::kPanelCount; ++i)
        EXPECT_EQ(counter.count(bar->panelWidget(i)), 0) << i;
    EXPECT_EQ(counter.count(bar), 0);

    counter.reset();
    bar->SetRunState("Counting");
    settle();
    for (int i = 0; i < TModStatusBar::kPanelCount; ++i)
        EXPECT_EQ(counter.count(bar->panelWidget(i)), i == 1 ? 1 : 0) << i;
    EXPECT_EQ(counter.count(bar), 0);
    EXPECT_EQ(bar->panelText(TModStatusBar::RunStatePanel), "Counting");
}

TEST_F(StatusBar, PinsPanelDrawsTheHighestPinFirst) {
    bar->SetPinCount(18);
    bar->SetPinStates("1" + QString(17, '0')); // only pin 0 high
    const QImage image = bar->panelWidget(TModStatusBar::PinsPanel)->grab().toImage();
    // Inside the panel's 1-pixel border: "Pins: ", "17", 2 pixels, the glyphs.
    const int firstX = 1 + 1 + textWidth("Pins: ") + textWidth("17") + 2;
    const PinRowLayout row = layoutPinRow(std::string(18, '0'), 18, firstX);
    const int top = 1;
    const int highRow = top + 2; // the high-level bar
    const int lowRow = top + 11; // the low-level bar
    for (const PinGlyphPlace& place : row.glyphs) {
        const bool high = place.pin == 0;
        EXPECT_EQ(image.pixelColor(place.x + 3, highRow), high ? Qt::black : QColor(192, 192, 192))
            << "pin " << place.pin;
        EXPECT_EQ(image.pixelColor(place.x + 3, lowRow), high ? QColor(192, 192, 192) : Qt::black)
            << "pin " << place.pin;
    }
}

TEST_F(StatusBar, HeartbeatIsBlueOverYellowUntilItsFirstFlip) {
    QWidget* heartbeat = bar->panelWidget(TModStatusBar::HeartbeatPanel);
    const auto colours = [&] {
        const QImage image = heartbeat->grab().toImage();
        return std::pair{image.pixelColor(image.width() / 2, 1),
                         image.pixelColor(image.width() / 2, image.height() - 2)};
    };
    EXPECT_EQ(colours(), std::pair(QColor(Qt::blue), QColor(Qt::yellow)));
    bar->ToggleHeartbeat();
    EXPECT_EQ(bar->panelText(TModStatusBar::HeartbeatPanel), "0");
    EXPECT_EQ(colours(), std::pair(QColor(Qt::yellow), QColor(Qt::blue)));
    bar->ToggleHeartbeat();
    EXPECT_EQ(bar->panelText(TModStatusBar::HeartbeatPanel), "1");
    EXPECT_EQ(colours(), std::pair(QColor(Qt::blue), QColor(Qt::yellow)));
}

} // namespace
