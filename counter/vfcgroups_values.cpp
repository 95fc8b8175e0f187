// Item tables, threshold text and hints of the counter settings groups.
#include "counter/vfcgroups_values.h"

#include <algorithm>

int32_t itemLibraryValue(std::span<const GroupItem> items, int index) {
    if (items.empty()) return 0;
    if (index < 0 || static_cast<size_t>(index) >= items.size()) index = 0;
    return items[static_cast<size_t>(index)].libraryValue;
}

int32_t clampThreshold(int32_t tenths) {
    return std::clamp(tenths, kThresholdMin, kThresholdMax);
}

std::string thresholdText(int32_t tenths) {
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "V";
}

std::string thresholdHint() {
    std::string hint = "Threshold Select|TT_Threshold Select: ";
    hint += "\r\n";
    hint += "  Select the 0-> and 1->0 threshold voltage for the logic analyzer.";
    hint += "\r\n";
    hint += "  The threshold is fixed at 1.4V on the Vex8.";
    hint += "\r\n";
    hint += "  On the Vex16 the threshold can be varied from ";
    // The range is written from the limits themselves, so text and clamp agree.
    hint += thresholdText(kThresholdMin) + " to " + thresholdText(kThresholdMax) + ".";
    return hint;
}

std::string_view resultHeading(int counterType) {
    switch (counterType) {
    case 0:
        return "Frequency";
    case 1:
        return "Period";
    case 2:
        return "Event Count";
    default:
        return {};
    }
}
