// Threshold texts and limits, result headings and item tables of the counter
// settings groups, without widgets.
#include "counter/vfcgroups_values.h"

#include <gtest/gtest.h>

TEST(ThresholdValue, ClampsToTheRangeAndShowsVolts) {
    struct Case {
        int32_t in;
        int32_t clamped;
        const char* text;
    };
    for (const Case& c : {Case{-5, 8, "0.8V"}, Case{7, 8, "0.8V"}, Case{8, 8, "0.8V"},
                          Case{14, 14, "1.4V"}, Case{20, 20, "2.0V"}, Case{25, 25, "2.5V"},
                          Case{26, 25, "2.5V"}, Case{1000, 25, "2.5V"}}) {
        EXPECT_EQ(clampThreshold(c.in), c.clamped) << c.in;
        EXPECT_EQ(thresholdText(clampThreshold(c.in)), c.text) << c.in;
    }
}

TEST(ThresholdValue, HintEndsWithTheRangeOfTheClamp) {
    const std::string hint = thresholdHint();
    EXPECT_EQ(hint, "Threshold Select|TT_Threshold Select: \r\n"
                    "  Select the 0-> and 1->0 threshold voltage for the logic analyzer.\r\n"
                    "  The threshold is fixed at 1.4V on the Vex8.\r\n"
                    "  On the Vex16 the threshold can be varied from 0.8V to 2.5V.");
}

TEST(GroupItems, IndexOutsideTheTableGivesTheDefaultItem) {
    EXPECT_EQ(itemLibraryValue(kGateItems, 3), 7);
    EXPECT_EQ(itemLibraryValue(kGateItems, -1), 0);
    EXPECT_EQ(itemLibraryValue(kEdgeItems, 4), 3);
    EXPECT_EQ(itemLibraryValue(kEdgeItems, -1), 3);
}

TEST(ResultHeading, FollowsTheCounterType) {
    EXPECT_EQ(resultHeading(0), "Frequency");
    EXPECT_EQ(resultHeading(1), "Period");
    EXPECT_EQ(resultHeading(2), "Event Count");
    EXPECT_EQ(resultHeading(3), "");
}
