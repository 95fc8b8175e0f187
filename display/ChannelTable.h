// Channel table of the result grid: per channel (0 to 17) the condition code
// handed to the device library with every count start and the wire colour
// shown beside the channel. Plain C++, no Qt, so the code cycling is tested
// without a window.
#pragma once

#include <array>
#include <cstdint>

struct WireColour {
    uint8_t red, green, blue;
};

class ChannelTable {
public:
    // Channel numbers 0 to 17 are the grid's limit.
    static constexpr int kChannels = 18;

    enum class Button { Left, Right, Other };

    ChannelTable();

    // Code of a channel: "0", "1", "R", "F", "E" or "-". Any index outside
    // 0 to 17 answers the code of channel 0.
    char code(int channel) const;
    // Colour of the channel's wire; channel 0's colour outside 0 to 17.
    WireColour colour(int channel) const;

    // A click on the channel's glyph. Left: "0" -> "1" -> "-" -> "0", and an
    // edge code ("R", "F", "E") becomes "0". Right: the code becomes "-".
    // Other buttons and channels outside 0 to 17 change nothing. Answers
    // whether the code changed (only then does the cell need repainting).
    bool click(int channel, Button button);
    // Sets a code directly (channels outside 0 to 17 are ignored).
    void setCode(int channel, char code);

    // Glyph picture of a code: 0 "0", 1 "1", 2 "R", 3 "F", 4 "E", 5 any other.
    static int glyphIndex(char code);

    // The six codes, in glyph order, and the code a typed key stands for:
    // '0', '1', '-' and the letters R, F, E in either case; 0 for any other.
    static constexpr char kCodes[6] = {'0', '1', 'R', 'F', 'E', '-'};
    static char codeOfKey(char key);
    // Words for a code ("rising edge") and for a channel's wire colour, for
    // menus and screen readers.
    static const char* codeName(char code);
    static const char* colourName(int channel);

private:
    struct Entry {
        char code;
        WireColour colour;
    };
    static int clamp(int channel) { return channel >= 0 && channel < kChannels ? channel : 0; }

    std::array<Entry, kChannels> m_entries;
};
