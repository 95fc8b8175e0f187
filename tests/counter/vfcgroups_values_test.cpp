// Threshold limits, text and hint of the threshold group, without widgets.
#include "counter/vfcgroups_values.h"

#include <gtest/gtest.h>

TEST(ThresholdValue, ClampsToTheRangeAndShowsVolts) {
    const std::tuple<int32_t, int32_t, const char*> cases[] = {
        {-5, 8, "0.8V"},  {7, 8, "0.8V"},   {8, 8, "0.8V"},   {14, 14, "1.4V"},
        {20, 20, "2.0V"}, {25, 25, "2.5V"}, {26, 25, "2.5V"}, {1000, 25, "2.5V"}};
    for (const auto& [in, clamped, text] : cases) {
        EXPECT_EQ(clampThreshold(in), clamped) << in;
        EXPECT_EQ(thresholdText(clampThreshold(in)), text) << in;
    }
}

TEST(ThresholdValue, HintEndsWithTheRangeOfTheClamp) {
    EXPECT_EQ(thresholdHint(),
              "Threshold Select|TT_Threshold Select: \r\n"
              "  Select the 0-> and 1->0 threshold voltage for the logic analyzer.\r\n"
              "  The threshold is fixed at 1.4V on the Vex8.\r\n"
              "  On the Vex16 the threshold can be varied from 0.8V to 2.5V.");
}
