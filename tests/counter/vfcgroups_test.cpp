// The settings groups on a mock top panel: placement, captions and hints,
// threshold stepping, the counter type's effect on the gate length choices,
// and the settings read for a count.
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

// The top panel as the main window builds it: a 27-pixel tool bar along the
// top, then the groups in creation order, the counter type group wired to
// applyCounterType as the main window does, and called once.
class SettingsGroups : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font = QApplication::font();
        font.setFamily("DejaVu Sans");
        font.setPixelSize(11);
        panel.setFont(font);
        panel.resize(700, 120);
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

        threshold = new TThreshGroup(&panel, "Threshold");
        placeAtLeft(threshold);
        edges = new TEdgeGroup(&panel, "Edges");
        placeAtLeft(edges);
        gate = new TGateLengthGroup(&panel, "GateLength");
        placeAtLeft(gate);
        counterType = new TCountTypeGroup(&panel, "Counter Type");
        placeAtLeft(counterType);
        counterType->OnItemChange = [this](TMyRadioGroup&, int index) {
            applyCounterType(index, *gate, [this](const QString& text) { heading = text; });
        };
        counterType->OnItemChange(*counterType, counterType->itemIndex());
        module = new TMyGroup(&panel, "Module");
        placeAtLeft(module);
    }

    // As the main window's top panel does: the newest group at the left end,
    // all under a 27-pixel tool bar at the remaining 93 pixels of height.
    void placeAtLeft(QWidget* group) {
        placed.insert(placed.begin(), group);
        int left = 0;
        for (QWidget* g : placed) {
            g->setGeometry(left, 27, g->width(), 93);
            left += g->width();
        }
        group->show();
    }

    // Picks an item with the mouse, on its indicator.
    static void pick(TMyRadioGroup* group, int index) {
        QRadioButton* button = group->itemButton(index);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    static QStringList captions(const TMyRadioGroup* group) {
        QStringList list;
        for (int i = 0; i < group->itemCount(); ++i)
            list << group->itemCaption(i);
        return list;
    }

    QWidget panel;
    TThreshGroup* threshold = nullptr;
    TEdgeGroup* edges = nullptr;
    TGateLengthGroup* gate = nullptr;
    TCountTypeGroup* counterType = nullptr;
    TMyGroup* module = nullptr;
    std::vector<QWidget*> placed;
    QString heading;
};

TEST_F(SettingsGroups, HaveTheirWidthsAndItemsFitInOneColumnUnderTheCaption) {
    EXPECT_EQ(module->width(), 220);
    EXPECT_EQ(threshold->width(), 73);
    const int captionHeight = panel.fontMetrics().height();
    for (const TMyRadioGroup* group :
         {static_cast<TMyRadioGroup*>(edges), static_cast<TMyRadioGroup*>(gate),
          static_cast<TMyRadioGroup*>(counterType)}) {
        EXPECT_EQ(group->width(), 110);
        int bottom = captionHeight;
        for (int i = 0; i < group->itemCount(); ++i) {
            const QRect item = group->itemButton(i)->geometry();
            EXPECT_GE(item.top(), bottom) << group->title().toStdString() << " item " << i;
            EXPECT_TRUE(group->rect().contains(item)) << group->title().toStdString();
            EXPECT_GE(item.height(), group->itemButton(i)->fontMetrics().height());
            // The caption is not cut off at the group's right edge.
            QRadioButton* button = group->itemButton(i);
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect text =
                button->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button);
            EXPECT_LE(text.left() + button->fontMetrics().horizontalAdvance(
                                        QString(button->text()).remove('&')),
                      button->width())
                << button->text().toStdString();
            bottom = item.bottom() + 1;
        }
    }
}

TEST_F(SettingsGroups, ThresholdLabelAndSpinButtonSitSideBySideCentred) {
    const int labelWidth = threshold->fontMetrics().horizontalAdvance("4.4V ");
    const int left = (73 - labelWidth - 17 - 10) / 2;
    EXPECT_EQ(threshold->label()->geometry(), QRect(left, (11 + 93 - 13) / 2, labelWidth, 13));
    EXPECT_EQ(threshold->spinButton()->geometry(),
              QRect(left + labelWidth + 10, (11 + 93 - 23) / 2, 17, 23));
    EXPECT_EQ(threshold->label()->text(), "1.4V");
    EXPECT_EQ(threshold->threshold(), 14);
}

TEST_F(SettingsGroups, CaptionsItemsAndHints) {
    EXPECT_EQ(captions(edges), QStringList({"&Rising to Rising", "R&ising to Falling",
                                            "F&alling to Rising", "&Falling to Falling"}));
    EXPECT_EQ(captions(gate), QStringList({"100&ms", "1&s", "&10s"}));
    EXPECT_EQ(captions(counterType), QStringList({"&Frequency", "&Period", "&Events"}));
    for (const TMyRadioGroup* group :
         {static_cast<TMyRadioGroup*>(edges), static_cast<TMyRadioGroup*>(gate),
          static_cast<TMyRadioGroup*>(counterType)})
        EXPECT_EQ(group->itemIndex(), 0);
    EXPECT_EQ(heading, "Frequency");

    EXPECT_EQ(edges->toolTip(), "Edges for Period Measurement");
    EXPECT_EQ(edges->whatsThis(), "Edges for Period Measurement");
    EXPECT_EQ(gate->toolTip(), "Gate Length");
    EXPECT_EQ(threshold->toolTip(), "Threshold Select");
    EXPECT_TRUE(threshold->whatsThis().startsWith("TT_Threshold Select: \r\n  Select the 0-> "));
    EXPECT_TRUE(threshold->whatsThis().endsWith("varied from 0.8V to 2.5V."));
}

TEST_F(SettingsGroups, ThresholdArrowsStopAtBothLimits) {
    QToolButton* up = threshold->spinButton()->upButton();
    QToolButton* down = threshold->spinButton()->downButton();
    for (int i = 0; i < 11; ++i)
        QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(threshold->threshold(), 25);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(threshold->threshold(), 25);
    EXPECT_EQ(threshold->label()->text(), "2.5V");

    for (int i = 0; i < 17; ++i)
        QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(threshold->threshold(), 8);
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(threshold->threshold(), 8);
    EXPECT_EQ(threshold->label()->text(), "0.8V");

    threshold->spinButton()->setFocus();
    QTest::keyClick(threshold->spinButton(), Qt::Key_Up);
    EXPECT_EQ(threshold->label()->text(), "0.9V");
}

TEST_F(SettingsGroups, FrequencyWithdrawsTheInfiniteGateAndPeriodOffersItUnselected) {
    pick(counterType, 1);
    EXPECT_EQ(heading, "Period");
    ASSERT_EQ(gate->itemCount(), 4);
    pick(gate, 3);
    EXPECT_EQ(gate->libraryValue(), 7);

    pick(counterType, 0);
    EXPECT_EQ(heading, "Frequency");
    EXPECT_EQ(captions(gate), QStringList({"100&ms", "1&s", "&10s"}));
    EXPECT_EQ(gate->itemIndex(), 0);

    pick(gate, 2);
    pick(counterType, 1);
    EXPECT_EQ(captions(gate), QStringList({"100&ms", "1&s", "&10s", "&Infinite"}));
    EXPECT_EQ(gate->itemIndex(), 2);
    EXPECT_TRUE(gate->itemButton(3)->isVisible());
}

TEST_F(SettingsGroups, PeriodAndEventsKeepTheGateSelection) {
    pick(counterType, 1);
    pick(gate, 3);
    pick(counterType, 2);
    EXPECT_EQ(heading, "Event Count");
    EXPECT_EQ(gate->itemCount(), 4);
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
    pick(edges, 2);
    threshold->SetThresholdValue(20);
    EXPECT_EQ(readCounterSettings(*counterType, *gate, *edges, *threshold),
              (CounterSettings{2, 7, 2, 20}));
    pick(edges, 3);
    pick(gate, 1);
    EXPECT_EQ(readCounterSettings(*counterType, *gate, *edges, *threshold),
              (CounterSettings{2, 1, 0, 20}));
}

TEST_F(SettingsGroups, OnlyAUserPickReportsAnItemChange) {
    std::vector<int> reported;
    edges->OnItemChange = [&](TMyRadioGroup& group, int index) {
        EXPECT_EQ(&group, edges);
        reported.push_back(index);
    };
    edges->setItemIndex(2);
    pick(edges, 1);
    EXPECT_EQ(reported, std::vector<int>{1});
}

} // namespace
