// Glyph choice and placement for the status bar's pin row.
#include "display/vfcstat_pins.h"

#include <algorithm>

int pinGlyphIndex(char state) {
    switch (state) {
    case '1':
        return 1;
    case 'R':
        return 2;
    case 'F':
        return 3;
    case 'B':
        return 4;
    default:
        return 0;
    }
}

PinRowLayout layoutPinRow(std::string_view states, int pinCount, int firstX) {
    PinRowLayout row;
    const int n = std::clamp(static_cast<int>(states.size()), 0, std::max(pinCount, 0));
    row.glyphs.reserve(static_cast<size_t>(n));
    int x = firstX;
    for (int pin = n - 1; pin >= 0; --pin) {
        row.glyphs.push_back({pin, pinGlyphIndex(states[static_cast<size_t>(pin)]), x});
        x += kPinGlyphWidth;
        if (pin % 4 == 0) x += kPinGroupGap;
    }
    row.zeroLabelX = x - 2;
    return row;
}

std::string describePinStates(std::string_view states) {
    static constexpr std::string_view kWords[kPinGlyphCount] = {"low", "high", "rising", "falling",
                                                                "both ways"};
    std::string text;
    for (size_t pin = 0; pin < states.size(); ++pin) {
        if (pin > 0) text += ", ";
        text += "pin " + std::to_string(pin) + " ";
        text += kWords[pinGlyphIndex(states[pin])];
    }
    return text;
}
