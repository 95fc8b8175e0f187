// Trigger expression compiler and preset tables: texts and their truth tables.
#include "modules/TriggerExpression.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* text;
    char letter;
    bool valid;
    uint16_t value;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << c.text << "\" / " << c.letter;
}

class CompileExpressionTable : public ::testing::TestWithParam<Case> {};

TEST_P(CompileExpressionTable, GivesTheTruthTable) {
    const Case& c = GetParam();
    const CompiledExpression got = CompileExpression(c.text, c.letter);
    EXPECT_EQ(got.valid, c.valid);
    if (c.valid) {
        EXPECT_EQ(got.value, c.value) << std::hex << got.value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Valid, CompileExpressionTable,
    ::testing::Values(
        Case{"", 'I', true, 0x0000}, Case{"F", 'I', true, 0x0000},
        // A lone "T" is the all-true table, like "(T)".
        Case{"T", 'I', true, 0xFFFF}, Case{"(T)", 'I', true, 0xFFFF}, Case{"t", 'I', true, 0xFFFF},
        Case{"I0", 'I', true, 0xAAAA}, Case{"I1", 'I', true, 0xCCCC}, Case{"I2", 'I', true, 0xF0F0},
        Case{"I3", 'I', true, 0xFF00}, Case{"I1 ^ I0", 'I', true, 0x6666},
        Case{"I1 & I0", 'I', true, 0x8888}, Case{"i1 & i0", 'I', true, 0x8888},
        Case{"I1 & 0", 'I', true, 0x8888}, Case{"1&0", 'I', true, 0x8888},
        Case{"I1 | I0", 'I', true, 0xEEEE}, Case{"!I0", 'I', true, 0x5555},
        // "!" binds tightest, on either side of a binary operator.
        Case{"!I0 & I1", 'I', true, 0x4444}, Case{"I0 & !I1", 'I', true, 0x2222},
        Case{"!(I0 | I1)", 'I', true, 0x1111}, Case{"!(!I0)", 'I', true, 0xAAAA},
        // "&" and "^" share a level and group left to right; "|" is loosest.
        Case{"I0 | I1 & I2", 'I', true, 0xEAEA}, Case{"(I0 | I1) & I2", 'I', true, 0xE0E0},
        Case{"I0 ^ I1 & I2", 'I', true, 0x6060}, Case{"I0 & I1 ^ I2", 'I', true, 0x7878},
        Case{"I0 & I1 | I2 ^ I3", 'I', true, 0x8FF8}, Case{"(I0) | I3", 'I', true, 0xFFAA},
        Case{"(F) | I3", 'I', true, 0xFF00}, Case{"  I 2  ", 'I', true, 0xF0F0},
        Case{"I0 | I0", 'I', true, 0xAAAA}, Case{"(P0)", 'P', true, 0xAAAA},
        Case{"p1 ^ P0", 'P', true, 0x6666}));

INSTANTIATE_TEST_SUITE_P(
    Invalid, CompileExpressionTable,
    ::testing::Values(
        Case{"I0 &", 'I', false, 0}, Case{"(I0", 'I', false, 0}, Case{")", 'I', false, 0},
        Case{"I0)", 'I', false, 0}, Case{"&", 'I', false, 0}, Case{"!", 'I', false, 0},
        Case{"---", 'I', false, 0}, Case{"   ", 'I', false, 0}, Case{"I", 'I', false, 0},
        Case{"()", 'I', false, 0}, Case{"I0 ()", 'I', false, 0}, Case{"I4", 'I', false, 0},
        Case{"I0 + I1", 'I', false, 0}, Case{"I0\t", 'I', false, 0},
        // Texts a bare shunting-yard would accept as postfix.
        Case{"I0 I1", 'I', false, 0}, Case{"I0 I1 &", 'I', false, 0},
        Case{"& I0 I1", 'I', false, 0}, Case{"I0 !", 'I', false, 0},
        // A "!" right after a "!" would be popped before its operand.
        Case{"!!I0", 'I', false, 0}, Case{"I0 & !!I1", 'I', false, 0}, Case{"! !I0", 'I', false, 0},
        // The other family's letter is not skipped.
        Case{"P0", 'I', false, 0}, Case{"I0", 'P', false, 0}));

TEST(CompileExpression, EmbeddedZeroByteIsInvalid) {
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

    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "3" +
               std::string(static_cast<std::size_t>(depth), ')');
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

TEST(TriggerPresets, EveryPresetCompiles) {
    std::vector<const TriggerPresetRow*> rows = {&TriggerPresets::table1, &TriggerPresets::table2};
    for (const TriggerPresetRow& row : TriggerPresets::table3)
        rows.push_back(&row);
    for (const TriggerPresetRow* row : rows)
        for (std::string_view text : *row)
            EXPECT_TRUE(CompileExpression(text, 'I').valid) << text;
}

TEST(TriggerPresets, KindAndRowChooseTheTable) {
    EXPECT_EQ(&TriggerPresets::forKind(0, 5), &TriggerPresets::table1);
    EXPECT_EQ(&TriggerPresets::forKind(1, 5), &TriggerPresets::table2);
    EXPECT_EQ(&TriggerPresets::forKind(7, 5), &TriggerPresets::table1);
    EXPECT_EQ(&TriggerPresets::forKind(2, 3), &TriggerPresets::table3[3]);
    EXPECT_EQ(&TriggerPresets::forKind(2, 9), &TriggerPresets::table3[0]);
    EXPECT_EQ(TriggerPresets::table1[7], "I0");
    EXPECT_EQ(TriggerPresets::table3[3][4], "!I0");
    EXPECT_EQ(TriggerPresets::table3[7][3], "I2");
}

} // namespace
