// The status bar offscreen: panel widths, repaints limited to the panel whose
// text changed, the pin row as drawn and the heartbeat colours.
#include "display/vfcstat.h"

#include <QApplication>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

namespace {

// Counts paint events per watched widget.
class PaintCounter : public QObject {
public:
    void watch(QWidget* widget) { widget->installEventFilter(this); }
    int count(QWidget* widget) const { return m_counts.value(widget); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++m_counts[watched];
        return false;
    }

private:
    QHash<QObject*, int> m_counts;
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
        for (int i = 0; i < 3; ++i)
            QTest::qWait(10);
    }

    QWidget window;
    TModStatusBar* bar = nullptr;
};

TEST_F(StatusBar, PinCountSetsZerosAndWidensThePinsPanel) {
    EXPECT_EQ(bar->panelText(TModStatusBar::ModulePanel), "Module not selected");
    const int eightPins = panelLeft(3) - panelLeft(2);
    bar->SetPinCount(18);
    EXPECT_EQ(bar->panelText(TModStatusBar::PinsPanel), QString(18, '0'));
    EXPECT_GT(panelLeft(3) - panelLeft(2), eightPins);
    EXPECT_EQ(panelLeft(3) - panelLeft(2), textWidth("Pins: 17 0 " + QString(19, 'M') + "    "));
}

// Every text a panel can show fits inside its border and indent, measured
// with the bar's own font; a text nobody listed widens its panel on arrival.
TEST_F(StatusBar, TextPanelsFitTheirLongestText) {
    const auto fits = [this](int index, const QString& text) {
        bar->SetPanelText(index, text);
        const int room = bar->panelWidget(index)->width() - 2 - 2 * 2; // bevel, indents
        return room >= textWidth(text);
    };
    const struct {
        int panel;
        QStringList texts;
    } cases[] = {
        {TModStatusBar::ModulePanel, {"Module not selected", "Using MMMMMMMM", "Using QVSIMC01"}},
        {TModStatusBar::RunStatePanel,
         {"Running", "Counting", "Frequency Count Finished", "Period Count Finished",
          "Event Count Finished", "Stopping", "Idle", "Transferring data for a long while"}},
    };
    for (const auto& c : cases) {
        for (const QString& text : c.texts)
            EXPECT_TRUE(fits(c.panel, text)) << text.toStdString();
        EXPECT_TRUE(bar->panelTexts(c.panel).contains(c.texts[1]));
    }
    // Panels keep their width whichever known text they show.
    const int width = bar->panelWidget(TModStatusBar::RunStatePanel)->width();
    bar->SetRunState("Idle");
    EXPECT_EQ(bar->panelWidget(TModStatusBar::RunStatePanel)->width(), width);
}

TEST_F(StatusBar, PanelsTellScreenReadersWhatTheyShow) {
    bar->SetPinCount(4);
    bar->SetPinStates("1R0B");
    bar->SetRunState("Counting");
    const struct {
        int panel;
        const char* name;
    } cases[] = {
        {TModStatusBar::ModulePanel, "Module: Module not selected"},
        {TModStatusBar::RunStatePanel, "Run state: Counting"},
        {TModStatusBar::PinsPanel,
         "Pin levels: pin 0 high, pin 1 rising, pin 2 low, pin 3 both ways"},
        {TModStatusBar::HeartbeatPanel, "Heartbeat: blue over yellow"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bar->panelWidget(c.panel)->accessibleName(), c.name);
        EXPECT_FALSE(bar->panelWidget(c.panel)->accessibleDescription().isEmpty());
    }
}

TEST_F(StatusBar, OnlyAChangedTextRepaintsAndOnlyItsOwnPanel) {
    bar->SetRunState("Running");
    bar->SetPinCount(18);
    settle();
    // Paint events of the bar and of each panel caused by `change`.
    const auto paints = [this](const std::function<void()>& change) {
        PaintCounter counter;
        counter.watch(bar);
        for (int i = 0; i < TModStatusBar::kPanelCount; ++i)
            counter.watch(bar->panelWidget(i));
        change();
        settle();
        std::vector<int> counts = {counter.count(bar)};
        for (int i = 0; i < TModStatusBar::kPanelCount; ++i)
            counts.push_back(counter.count(bar->panelWidget(i)));
        return counts;
    };
    EXPECT_EQ(paints([this] {
                  bar->SetRunState("Running");
                  bar->SetPinStates(QString(18, '0'));
              }),
              std::vector<int>(1 + TModStatusBar::kPanelCount, 0));
    std::vector<int> onlyState(1 + TModStatusBar::kPanelCount, 0);
    onlyState[1 + TModStatusBar::RunStatePanel] = 1;
    EXPECT_EQ(paints([this] { bar->SetRunState("Counting"); }), onlyState);
}

TEST_F(StatusBar, PinsPanelDrawsTheHighestPinFirst) {
    bar->SetPinCount(18);
    bar->SetPinStates("1" + QString(17, '0')); // only pin 0 high
    const QImage image = bar->panelWidget(TModStatusBar::PinsPanel)->grab().toImage();
    // Inside the panel's 1-pixel border: "Pins: ", "17", 2 pixels, the glyphs.
    const int firstX = 1 + 1 + textWidth("Pins: ") + textWidth("17") + 2;
    // The glyphs have no ground of their own: the bar's colour shows through.
    const QColor ground = bar->palette().color(QPalette::Window);
    for (const PinGlyphPlace& place : layoutPinRow(std::string(18, '0'), 18, firstX).glyphs) {
        const bool high = place.pin == 0;
        // Row 2 of a glyph holds the high-level bar, row 11 the low-level one.
        EXPECT_EQ(image.pixelColor(place.x + 3, 1 + 2), high ? Qt::black : ground) << place.pin;
        EXPECT_EQ(image.pixelColor(place.x + 3, 1 + 11), high ? ground : Qt::black) << place.pin;
    }
}

TEST_F(StatusBar, HeartbeatIsBlueOverYellowUntilItsFirstFlip) {
    const auto colours = [this] {
        const QImage image = bar->panelWidget(TModStatusBar::HeartbeatPanel)->grab().toImage();
        return std::pair{image.pixelColor(image.width() / 2, 1),
                         image.pixelColor(image.width() / 2, image.height() - 2)};
    };
    EXPECT_EQ(colours(), std::pair(QColor(Qt::blue), QColor(Qt::yellow)));
    bar->ToggleHeartbeat();
    EXPECT_EQ(colours(), std::pair(QColor(Qt::yellow), QColor(Qt::blue)));
    bar->ToggleHeartbeat();
    EXPECT_EQ(colours(), std::pair(QColor(Qt::blue), QColor(Qt::yellow)));
}

} // namespace
