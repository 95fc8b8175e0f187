// The settings groups on a stand-in top panel: item layout, threshold stepping,
// the counter type's effect on the gate length choices, and the settings read
// for a count.
#include "counter/vfcgroups.h"
#include "counter/vfcgroups_thresh.h"

#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// The groups side by side under a 27-pixel tool bar as in the top panel, the
// counter type group wired to applyCounterType and called once.
class SettingsGroups : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font = QApplication::font();
        font.setFamily("DejaVu Sans");
        font.setPixelSize(11);
        panel.setFont(font);
        panel.resize(700, 120);
        threshold = new TThreshGroup(&panel, "Threshold");
        edges = new TEdgeGroup(&panel, "Edges");
        gate = new TGateLengthGroup(&panel, "GateLength");
        counterType = new TCountTypeGroup(&panel, "Counter Type");
        int left = 0;
        for (QWidget* group :
             std::initializer_list<QWidget*>{counterType, gate, edges, threshold}) {
            group->setGeometry(left, 27, group->width(), 93);
            left += group->width();
        }
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        counterType->OnItemChange = [this](TMyRadioGroup&, int index) {
            applyCounterType(index, *gate, [this](const QString& text) { heading = text; });
        };
        counterType->OnItemChange(*counterType, counterType->itemIndex());
    }

    // Picks an item with the mouse, on its indicator.
    static void pick(TMyRadioGroup* group, int index) {
        QRadioButton* button = group->itemButton(index);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    QWidget panel;
    TThreshGroup* threshold = nullptr;
    TEdgeGroup* edges = nullptr;
    TGateLengthGroup* gate = nullptr;
    TCountTypeGroup* counterType = nullptr;
    QString heading;
};

TEST_F(SettingsGroups, ItemsStackUnderTheCaptionAndShowTheirWholeText) {
    for (TMyRadioGroup* group : std::initializer_list<TMyRadioGroup*>{edges, gate, counterType}) {
        EXPECT_EQ(group->width(), 110);
        EXPECT_EQ(group->itemIndex(), 0);
        int bottom = group->fontMetrics().height(); // the caption
        for (int i = 0; i < group->itemCount(); ++i) {
            QRadioButton* button = group->itemButton(i);
            EXPECT_GE(button->y(), bottom) << button->text().toStdString();
            EXPECT_TRUE(group->rect().contains(button->geometry()));
            bottom = button->geometry().bottom() + 1;
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const int textLeft =
                button->style()
                    ->subElementRect(QStyle::SE_RadioButtonContents, &option, button)
                    .left();
            const int textWidth =
                button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
            // The text ends inside the group's frame.
            EXPECT_LE(button->x() + textLeft + textWidth, group->contentsRect().right() + 1)
                << button->text().toStdString() << " " << group->contentsRect().right();
            EXPECT_GE(button->x(), group->contentsRect().left());
        }
    }
}

TEST_F(SettingsGroups, ThresholdShowsItsValueBesideTheSpinButtonAndSplitsItsHint) {
    EXPECT_EQ(threshold->width(), 73);
    const QRect label = threshold->label()->geometry();
    const QRect spin = threshold->spinButton()->geometry();
    EXPECT_TRUE(threshold->rect().contains(label.united(spin)));
    EXPECT_LT(label.right(), spin.left());
    EXPECT_GE(label.width(), threshold->fontMetrics().horizontalAdvance("2.5V"));
    EXPECT_EQ(threshold->label()->text(), "1.4V");
    EXPECT_EQ(threshold->toolTip(), "Threshold Select");
    EXPECT_TRUE(threshold->whatsThis().startsWith("TT_Threshold Select: \r\n  Select"));
    EXPECT_EQ(edges->whatsThis(), "Edges for Period Measurement"); // no "|": all of it
}

TEST_F(SettingsGroups, ThresholdArrowsStopAtBothLimits) {
    QToolButton* up = threshold->spinButton()->upButton();
    QToolButton* down = threshold->spinButton()->downButton();
    for (int i = 0; i < 12; ++i)
        QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(threshold->threshold(), 25);
    EXPECT_EQ(threshold->label()->text(), "2.5V");
    for (int i = 0; i < 18; ++i)
        QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(threshold->threshold(), 8);
    EXPECT_EQ(threshold->label()->text(), "0.8V");
}

TEST_F(SettingsGroups, FrequencyWithdrawsTheInfiniteGateAndPeriodOffersItUnselected) {
    EXPECT_EQ(heading, "Frequency");
    EXPECT_EQ(gate->itemCount(), 3);
    pick(counterType, 1);
    EXPECT_EQ(heading, "Period");
    pick(gate, 3);
    EXPECT_EQ(gate->libraryValue(), 7);

    pick(counterType, 0);
    EXPECT_EQ(heading, "Frequency");
    EXPECT_EQ(gate->itemCount(), 3);
    EXPECT_EQ(gate->itemIndex(), 0);

    pick(gate, 2);
    pick(counterType, 1);
    ASSERT_EQ(gate->itemCount(), 4);
    EXPECT_EQ(gate->itemCaption(3), "&Infinite");
    EXPECT_TRUE(gate->itemButton(3)->isVisible());
    EXPECT_EQ(gate->itemIndex(), 2);
}

// The gate items keep their places when "Infinite" comes and goes, so a
// click lands on the item the user aimed at.
TEST_F(SettingsGroups, GateItemsStayPutWhenInfiniteComesAndGoes) {
    const auto places = [this] {
        std::vector<QRect> rects;
        for (int i = 0; i < 3; ++i)
            rects.push_back(gate->itemButton(i)->geometry());
        return rects;
    };
    const std::vector<QRect> frequency = places();
    pick(counterType, 1);
    EXPECT_EQ(places(), frequency);
    EXPECT_EQ(gate->itemButton(3)->y(), frequency[2].y() + frequency[2].height());
    pick(counterType, 0);
    EXPECT_EQ(places(), frequency);
}

TEST_F(SettingsGroups, PeriodAndEventsKeepTheGateSelection) {
    pick(counterType, 1);
    pick(gate, 3);
    pick(counterType, 2);
    EXPECT_EQ(heading, "Event Count");
    EXPECT_EQ(gate->itemIndex(), 3);
    pick(counterType, 1);
    EXPECT_EQ(heading, "Period");
    EXPECT_EQ(gate->itemIndex(), 3);
}

TEST_F(SettingsGroups, SettingsAreReadInLibraryCodes) {
    EXPECT_EQ(readCounterSettings(*counterType, *gate, *edges, *threshold),
              (CounterSettings{0, 0, 3, 14}));
    pick(counterType, 2);
    pick(gate, 3);
    pick(edges, 1);
    threshold->SetThresholdValue(20);
    EXPECT_EQ(readCounterSettings(*counterType, *gate, *edges, *threshold),
              (CounterSettings{2, 7, 1, 20}));
    pick(edges, 3);
    EXPECT_EQ(edges->libraryValue(), 0);
}

} // namespace
