// The Statistics window's plain choices: axis range, placement, wording.
#include "display/StatisticsLayout.h"

#include <algorithm>
#include <cmath>

AxisRange trendValueRange(double lowest, double highest, std::optional<AxisRange> shown) {
    AxisRange fitted;
    if (highest > lowest) {
        const double margin = (highest - lowest) * 0.05;
        fitted = {lowest - margin, highest + margin};
    } else {
        const double size = std::abs(highest);
        const double half = size == 0.0 ? 1.0 : std::max(size * 1e-6, std::min(1.0, size / 10.0));
        fitted = {highest - half, highest + half};
    }
    if (shown && shown->low <= lowest && highest <= shown->high &&
        shown->high - shown->low <= 4.0 * (fitted.high - fitted.low))
        return *shown;
    return fitted;
}

ScreenBox placeBeside(const ScreenBox& owner, const ScreenBox& screen, int width, int height,
                      int minimumWidth, int gap) {
    width = std::min(width, screen.width);
    height = std::min(height, screen.height);
    const int rightRoom = screen.right() - (owner.right() + gap);
    const int leftRoom = (owner.x - gap) - screen.x;

    const bool right = rightRoom >= leftRoom;
    int x = 0;
    if (width <= rightRoom) {
        x = owner.right() + gap;
    } else if (width <= leftRoom) {
        x = owner.x - gap - width;
    } else if (std::max(rightRoom, leftRoom) >= minimumWidth) {
        width = right ? rightRoom : leftRoom;
        x = right ? owner.right() + gap : screen.x;
    } else {
        // Over the owner, as narrow as allowed and as far to the roomier
        // side as the screen goes, so it covers as little as it can.
        width = std::min(width, minimumWidth);
        x = right ? screen.right() - width : screen.x;
    }
    x = std::clamp(x, screen.x, screen.right() - width);
    const int y = std::clamp(owner.y, screen.y, screen.bottom() - height);
    return {x, y, width, height};
}

std::string countsPhrase(int64_t counts, int64_t stopped) {
    std::string phrase = std::to_string(counts) + (counts == 1 ? " count" : " counts");
    if (stopped > 0) phrase += ", " + std::to_string(stopped) + " stopped";
    return phrase;
}
