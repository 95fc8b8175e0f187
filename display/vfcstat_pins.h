// The status bar's pin row as plain data: which glyph a pin-state character
// shows and where each glyph goes. The status bar only draws what this says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

inline constexpr int kPinGlyphWidth = 8; // pixels
inline constexpr int kPinGroupGap = 4;   // pixels after pins 16, 12, 8, 4 and 0
inline constexpr int kPinGlyphCount = 5;

// Glyph 0 low level, 1 high level, 2 rising, 3 falling, 4 both ways.
// '1', 'R', 'F' and 'B' have their own glyphs; everything else shows low.
int pinGlyphIndex(char state);

struct PinGlyphPlace {
    int pin;   // 0 = the first character of the pin-state text
    int glyph; // pinGlyphIndex of its character
    int x;     // left edge
};

struct PinRowLayout {
    std::vector<PinGlyphPlace> glyphs; // in drawing order: highest pin first
    int zeroLabelX = 0;                // left edge of the trailing "0" label
};

// Places min(states.size(), pinCount) glyphs from firstX rightwards, the
// highest pin first, with a gap after every pin whose number is a multiple of
// four; the "0" label starts 2 pixels left of where a next glyph would go.
PinRowLayout layoutPinRow(std::string_view states, int pinCount, int firstX);

// The pin-state text in words for a screen reader, pin 0 first: "pin 0 low,
// pin 1 high, pin 2 rising"; characters without a glyph of their own read
// "low", as they are drawn.
std::string describePinStates(std::string_view states);
