// Trigger expressions: the compiler that turns an expression text over four
// variables into its 16-bit truth table, and the static preset tables from
// which the analyser data model fills its eight trigger slots.
//
// Language: blanks are ignored, and so is the variable letter ("I" for slot
// expressions, "P" for pattern expressions), so "I2" and "2" name the same
// variable. Operands are 0..3 (variables) and F, T (false, true); operators
// are ! (not, prefix, binds tightest), & and ^ (and, exclusive or, left to
// right), | (or, loosest), with ( ) for grouping. Letters are case-blind.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

struct CompiledExpression {
    bool valid = false;
    // Bit k is the value of the expression when variable j has the value of
    // bit j of k (j = 0..3). 0 for an invalid text.
    uint16_t value = 0;

    friend bool operator==(const CompiledExpression&, const CompiledExpression&) = default;
};

// Working storage of the compiler. A text needing more is invalid.
inline constexpr int kMaxPostfixTokens = 31; // operands and operators
inline constexpr int kMaxOperatorStack = 16; // stacked operators and "("

// Truth tables of the variables and constants.
inline constexpr uint16_t kTruthVariable[4] = {0xAAAA, 0xCCCC, 0xF0F0, 0xFF00};
inline constexpr uint16_t kTruthFalse = 0x0000;
inline constexpr uint16_t kTruthTrue = 0xFFFF;

// Compiles text; variableLetter is skipped wherever it appears (any case).
// The empty text is valid with value 0; "T" alone is the all-true table.
// The text is turned into postfix form by operator precedence alone and is
// valid when that form evaluates to exactly one value, with every operator
// finding its operands and every "(" closed. So besides the usual infix
// texts, "I0 I1 &" and "& I0 I1" (both I0 & I1), "I0 !" (not I0) and "I0()"
// (I0) are valid. "!!" negates twice what follows it.
CompiledExpression CompileExpression(std::string_view text, char variableLetter);

// Preset tables of the trigger slots. Kind 0 and kind 1 have one row each;
// kind 2 has nine rows chosen by the preset row.
inline constexpr int kTriggerSlots = 8;
inline constexpr int kPresetRows = 9;
using TriggerPresetRow = std::array<std::string_view, kTriggerSlots>;

namespace TriggerPresets {
extern const TriggerPresetRow table1;
extern const TriggerPresetRow table2;
extern const std::array<TriggerPresetRow, kPresetRows> table3;

// The row used for trigger kind 0, 1 or 2 (any other kind counts as 0) and
// preset row 0..8 (only read for kind 2; out of range counts as 0).
const TriggerPresetRow& forKind(int kind, int presetRow);
} // namespace TriggerPresets
