// Channel codes and wire colours of the result grid.
#include "display/ChannelTable.h"

namespace {

// Wire colours of the module's flat cable, channel 0 first (RGB).
constexpr std::array<WireColour, ChannelTable::kChannels> kWireColours{{
    {255, 0, 0},
    {255, 128, 64},
    {255, 255, 0},
    {0, 128, 0},
    {0, 0, 255},
    {128, 0, 128},
    {128, 128, 128},
    {255, 255, 255},
    {128, 64, 0},
    {255, 0, 0},
    {255, 128, 64},
    {255, 255, 0},
    {0, 128, 0},
    {0, 0, 255},
    {128, 0, 128},
    {128, 128, 128},
    {255, 255, 255},
    {0, 0, 0},
}};

// Names of the wire colours above, in the same order.
constexpr std::array<const char*, ChannelTable::kChannels> kColourNames{{
    "red",
    "orange",
    "yellow",
    "green",
    "blue",
    "violet",
    "grey",
    "white",
    "brown",
    "red",
    "orange",
    "yellow",
    "green",
    "blue",
    "violet",
    "grey",
    "white",
    "black",
}};

} // namespace

ChannelTable::ChannelTable() {
    for (int i = 0; i < kChannels; ++i)
        m_entries[i] = {'-', kWireColours[i]};
}

char ChannelTable::code(int channel) const {
    return m_entries[clamp(channel)].code;
}

WireColour ChannelTable::colour(int channel) const {
    return m_entries[clamp(channel)].colour;
}

bool ChannelTable::click(int channel, Button button) {
    if (channel < 0 || channel >= kChannels) return false;
    char& code = m_entries[channel].code;
    char next = code;
    switch (button) {
    case Button::Left:
        next = code == '0' ? '1' : code == '1' ? '-' : '0';
        break;
    case Button::Right:
        next = '-';
        break;
    case Button::Other:
        break;
    }
    if (next == code) return false;
    code = next;
    return true;
}

void ChannelTable::setCode(int channel, char code) {
    if (channel >= 0 && channel < kChannels) m_entries[channel].code = code;
}

int ChannelTable::glyphIndex(char code) {
    switch (code) {
    case '0':
        return 0;
    case '1':
        return 1;
    case 'R':
        return 2;
    case 'F':
        return 3;
    case 'E':
        return 4;
    default:
        return 5;
    }
}

char ChannelTable::codeOfKey(char key) {
    switch (key) {
    case '0':
    case '1':
    case '-':
        return key;
    case 'r':
    case 'R':
        return 'R';
    case 'f':
    case 'F':
        return 'F';
    case 'e':
    case 'E':
        return 'E';
    default:
        return 0;
    }
}

const char* ChannelTable::codeName(char code) {
    static constexpr const char* kNames[6] = {"low level",    "high level",  "rising edge",
                                              "falling edge", "either edge", "don't care"};
    return kNames[glyphIndex(code)];
}

const char* ChannelTable::colourName(int channel) {
    return kColourNames[clamp(channel)];
}
