// Trigger expression compiler and preset tables: texts and their truth tables.
#include "modules/TriggerExpression.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Valid {
    const char* text;
    uint16_t value;
    char letter = 'I';
};

TEST(CompileExpression, GivesTheTruthTable) {
    // clang-format off
    const Valid cases[] = {
        {"", 0x0000}, {"F", 0x0000},
        // A lone "T" is the all-true table, like "(T)".
        {"T", 0xFFFF}, {"(T)", 0xFFFF}, {"t", 0xFFFF},
        {"I0", 0xAAAA}, {"I1", 0xCCCC}, {"I2", 0xF0F0}, {"I3", 0xFF00}, {"  I 2  ", 0xF0F0},
        {"I1 ^ I0", 0x6666}, {"I1 & I0", 0x8888}, {"i1 & i0", 0x8888}, {"I1 & 0", 0x8888},
        {"1&0", 0x8888}, {"I1 | I0", 0xEEEE}, {"!I0", 0x5555}, {"I0 | I0", 0xAAAA},
        // "!" binds tightest, on either side of a binary operator.
        {"!I0 & I1", 0x4444}, {"I0 & !I1", 0x2222}, {"!(I0 | I1)", 0x1111}, {"!(!I0)", 0xAAAA},
        // "&" and "^" share a level and group left to right; "|" is loosest.
        {"I0 | I1 & I2", 0xEAEA}, {"(I0 | I1) & I2", 0xE0E0}, {"I0 ^ I1 & I2", 0x6060},
        {"I0 & I1 ^ I2", 0x7878}, {"I0 & I1 | I2 ^ I3", 0x8FF8}, {"(I0) | I3", 0xFFAA},
        {"(F) | I3", 0xFF00}, {"(P0)", 0xAAAA, 'P'}, {"p1 ^ P0", 0x6666, 'P'},
        // Operators are placed by precedence alone: whatever order evaluates
        // to one value is valid, operators after or before their operands
        // ("I0 I1 I2 | &" is I0 | I1 & I2: the "&" still binds first).
        {"I0 I1 &", 0x8888}, {"& I0 I1", 0x8888}, {"I0 !", 0x5555}, {"I0()", 0xAAAA},
        {"I0 ()", 0xAAAA}, {"I0 I1 I2 | &", 0xEAEA}, {"| I0 & I1 I2", 0xEAEA},
        {"!I0 !", 0xAAAA}, {"(I0 I1) ^", 0x6666},
        // "!!" negates twice what follows it.
        {"!!I0", 0xAAAA}, {"I0 & !!I1", 0x8888}, {"! !I0", 0xAAAA}, {"!!!I0", 0x5555},
        {"!!(I0 | I1) & I2", 0xE0E0}};
    // clang-format on
    for (const Valid& c : cases)
        EXPECT_EQ(CompileExpression(c.text, c.letter), (CompiledExpression{true, c.value}))
            << '"' << c.text << "\" / " << c.letter;
}

TEST(CompileExpression, RefusesInvalidTexts) {
    const char* const texts[] = {"I0 &", "(I0", ")", "I0)", "&", "!", "---", "   ", "I", "()", "I4",
                                 "I0 + I1", "I0\t", "!!", "(I0 I1 &",
                                 // Other than one value, or an operator short of operands.
                                 "I0 I1", "I0 & I1 I2", "& I0", "I0 I1 & &", "!!I0 I1",
                                 // The other family's letter is not skipped.
                                 "P0"};
    for (const char* text : texts)
        EXPECT_FALSE(CompileExpression(text, 'I').valid) << '"' << text << '"';
    EXPECT_FALSE(CompileExpression("I0", 'P').valid);
    EXPECT_FALSE(CompileExpression(std::string("I0\0", 3), 'I').valid);
}

// Texts right at the bounds of the working storage compile; one more token
// or one more stacked entry makes them invalid.
TEST(CompileExpression, WorkingStorageBounds) {
    std::string chain = "0";
    for (int i = 1; i < 16; ++i)
        chain += "&0"; // 16 operands + 15 operators = 31
    EXPECT_TRUE(CompileExpression(chain, 'I').valid);
    EXPECT_FALSE(CompileExpression("!" + chain, 'I').valid);
    EXPECT_FALSE(CompileExpression(chain + "|1", 'I').valid);

    const auto nested = [](std::size_t depth) {
        return std::string(depth, '(') + "3" + std::string(depth, ')');
    };
    EXPECT_EQ(CompileExpression(nested(16), 'I'), (CompiledExpression{true, 0xFF00}));
    EXPECT_FALSE(CompileExpression(nested(17), 'I').valid);
    EXPECT_FALSE(CompileExpression(nested(1000), 'I').valid);

    std::string notted; // "!(" eight times: 16 stacked entries
    for (int i = 0; i < 8; ++i)
        notted += "!(";
    EXPECT_EQ(CompileExpression(notted + "0" + std::string(8, ')'), 'I'),
              (CompiledExpression{true, 0xAAAA}));
    EXPECT_FALSE(CompileExpression(notted + "!0" + std::string(8, ')'), 'I').valid);
}

TEST(TriggerPresets, EveryPresetCompilesAndKindAndRowChooseTheTable) {
    std::vector<const TriggerPresetRow*> rows = {&TriggerPresets::table1, &TriggerPresets::table2};
    for (const TriggerPresetRow& row : TriggerPresets::table3)
        rows.push_back(&row);
    for (const TriggerPresetRow* row : rows)
        for (std::string_view text : *row)
            EXPECT_TRUE(CompileExpression(text, 'I').valid) << text;

    EXPECT_EQ(&TriggerPresets::forKind(0, 5), &TriggerPresets::table1);
    EXPECT_EQ(&TriggerPresets::forKind(1, 5), &TriggerPresets::table2);
    EXPECT_EQ(&TriggerPresets::forKind(7, 5), &TriggerPresets::table1);
    EXPECT_EQ(&TriggerPresets::forKind(2, 3), &TriggerPresets::table3[3]);
    EXPECT_EQ(&TriggerPresets::forKind(2, 9), &TriggerPresets::table3[0]);
}

} // namespace
