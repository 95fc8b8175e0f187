// Result cell texts (splitting, digit grouping) and the channel table.
#include "counter/ResultCell.h"
#include "display/ChannelTable.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* text;
    const char* number;
    const char* unit; // nullptr: no unit
    const char* remark;
};

const SplitCase kSplits[] = {
    {"1234567|Hz", "1234567", "Hz", nullptr},
    {"12.5|Hz$[ period: 80000000.0 ns ]", "12.5", "Hz", "[ period: 80000000.0 ns ]"},
    {"42|Events", "42", "Events", nullptr},
    {"42", "42", nullptr, nullptr},
    {"42$note", "42", nullptr, "note"},
    {"1|a$b|c$d", "1", "a", "b|c$d"}, // separators inside the remark belong to it
    {"|$", "", "", ""},
    {"", "", nullptr, nullptr},
};

TEST(ResultCell, ReadsAsWordsForAScreenReader) {
    const struct {
        const char* text;
        bool plain;
        const char* speech;
    } cases[] = {
        {"1234567|Hz$[ period: 810.0 ns ]", false, "1 234 567 Hz, period: 810.0 ns"},
        {"1.234|Hz", false, "1.234 Hz"}, // no trailing group blank
        {"42$note", false, "42, note"},
        {"42|$[  ]", false, "42"},
        {"No data", true, "No data"},
        {"12|ns", true, "12|ns"}, // plain texts are read as they stand
    };
    for (const auto& c : cases)
        EXPECT_EQ(readoutSpeech(c.text, c.plain), c.speech) << c.text;
}

TEST(ResultCell, SplitsAtTheFirstDollarThenTheFirstBar) {
    for (const SplitCase& c : kSplits) {
        const ResultCell cell = splitResultCell(c.text);
        EXPECT_EQ(cell.number, c.number) << c.text;
        EXPECT_EQ(cell.hasUnit, c.unit != nullptr) << c.text;
        EXPECT_EQ(cell.unit, c.unit ? c.unit : "") << c.text;
        EXPECT_EQ(cell.hasRemark, c.remark != nullptr) << c.text;
        EXPECT_EQ(cell.remark, c.remark ? c.remark : "") << c.text;
    }
}

TEST(ResultCell, GroupsDigitsByThreesAroundThePoint) {
    const std::pair<const char*, const char*> cases[] = {
        {"1234567", "1 234 567"},
        {"1234.5678", "1 234.567 8"},
        {"12345.6", "12 345.6"},
        {"1.234", "1.234 "}, // the blank after a full fraction group stays
        {"No data", "N o d ata"},
        {"123", "123"},
        {"1234", "1 234"},
        {"-1234", "-1 234"},
        {"12345679.0", "12 345 679.0"},
        {"0.0", "0.0"},
        {".5", ".5"},
        {"1.", "1."},
        {"", ""},
        {"1.2.3", "1.2.3 "},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(groupDigits(in), out) << in;
}

TEST(ResultCell, WideCharactersStayWhole) {
    EXPECT_EQ(groupDigits(U"µ12345"), U"µ12 345");
    const ResultCell32 cell = splitResultCell(U"5|µs$ä|x");
    EXPECT_EQ(cell.unit, U"µs");
    EXPECT_EQ(cell.remark, U"ä|x");
}

// Edge codes are not part of the cycle; a left click makes them "0".
TEST(ChannelTable, LeftClickTurnsEdgeCodesLowAndOutsideClicksChangeNothing) {
    ChannelTable table;
    for (char edge : {'R', 'F', 'E'}) {
        table.setCode(5, edge);
        EXPECT_TRUE(table.click(5, ChannelTable::Button::Left));
        EXPECT_EQ(table.code(5), '0');
    }
    EXPECT_FALSE(table.click(18, ChannelTable::Button::Left));
    EXPECT_FALSE(table.click(-1, ChannelTable::Button::Left));
    EXPECT_TRUE(table.click(17, ChannelTable::Button::Left)); // no glyph, but a code
    EXPECT_EQ(table.code(17), '0');
}

} // namespace
