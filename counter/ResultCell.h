// Result cell texts: "number" ["|" unit] ["$" remark]. Splitting a cell text
// into its fields and grouping the number's digits by threes for the grid's
// read-out. Pure functions, no Qt; byte strings (the texts the counter
// writes) and UTF-32 strings (any text a cell may hold) alike.
#pragma once

#include <string>
#include <string_view>

template <class Char> struct BasicResultCell {
    std::basic_string<Char> number;
    std::basic_string<Char> unit;
    std::basic_string<Char> remark;
    bool hasUnit = false;
    bool hasRemark = false;
};
using ResultCell = BasicResultCell<char>;
using ResultCell32 = BasicResultCell<char32_t>;

// Cuts at the first "$" (remark after it), then the rest at the first "|"
// (unit after it). A "|" inside the remark belongs to the remark. Any text
// is accepted; a missing separator only means a missing field.
ResultCell splitResultCell(std::string_view text);
ResultCell32 splitResultCell(std::u32string_view text);

// Groups the digits of a number by threes, the integer part from the first
// "." leftwards and the fraction from it rightwards, with blanks between the
// groups: "1234567" -> "1 234 567", "1234.5678" -> "1 234.567 8". The
// result keeps the blank that closes a full last fraction group ("1.234" ->
// "1.234 "), so right-aligned read-outs keep their digits in step. Works on
// any characters: "No data" -> "N o d ata".
std::string groupDigits(std::string_view number);
std::u32string groupDigits(std::u32string_view number);

// A result cell text as words for a screen reader: the grouped number, its
// unit and the remark without its brackets, "1 234 567 Hz, period: 810.0 ns".
// A plain text (one not drawn as a read-out) is read as it is.
std::string readoutSpeech(std::string_view text, bool plain);
