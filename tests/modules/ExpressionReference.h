// A second reading of the trigger expression language for the randomized test
// and the fuzz target: the conversion to postfix form written out step by
// step with unbounded containers, then evaluated once per variable assignment
// with plain bools. The compiler's working storage is checked afterwards,
// from the lengths the conversion reached.
//
// The language as the compiler takes it (letters case-blind, blanks and the
// variable letter skipped):
//   * operands 0 to 3, F and T go straight to the postfix form;
//   * "(" is stacked; ")" moves stacked operators to the output down to the
//     matching "(", which is dropped (none stacked: invalid);
//   * "!" (3), "&" and "^" (2), "|" (1) first move every stacked operator of
//     at least their own precedence to the output ("(" counts 0 and stops
//     it), then are stacked. One exception: a "!" right after a "!" moves
//     nothing, so "!!" negates twice what follows;
//   * at the end every stacked entry goes to the output, an unclosed "(" too;
//   * evaluation: an operand pushes its value, "!" inverts the top, a binary
//     operator combines the two top values; a "(" in the form, an operator
//     short of operands, or other than one value at the end is invalid.
//   * working storage: at most 31 postfix entries, at most 16 stacked.
// The empty text is valid with value 0.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

enum class Verdict { Valid, Syntax, TooLong, TooDeep };

struct Result {
    Verdict verdict = Verdict::Syntax;
    uint16_t value = 0;
    bool valid() const { return verdict == Verdict::Valid; }
};

inline char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

inline int precedence(char op) {
    return op == '!' ? 3 : (op == '&' || op == '^') ? 2 : op == '|' ? 1 : 0;
}

inline bool isOperand(char c) {
    return (c >= '0' && c <= '3') || c == 'F' || c == 'T';
}

// The postfix form of text, or false for a character outside the language or
// a ")" without its "(". deepest: the most entries the stack ever held.
inline bool toPostfix(std::string_view text, char letter, std::string& postfix,
                      std::size_t& deepest) {
    std::string stack;
    char previous = '\0';
    for (const char raw : text) {
        const char c = upper(raw);
        if (c == ' ' || c == upper(letter)) continue;
        if (isOperand(c)) {
            postfix += c;
        } else if (c == '(') {
            stack += c;
        } else if (c == ')') {
            while (!stack.empty() && stack.back() != '(') {
                postfix += stack.back();
                stack.pop_back();
            }
            if (stack.empty()) return false;
            stack.pop_back();
        } else if (c == '!' || c == '&' || c == '^' || c == '|') {
            const bool doubleNot = c == '!' && previous == '!';
            while (!doubleNot && !stack.empty() && precedence(stack.back()) >= precedence(c)) {
                postfix += stack.back();
                stack.pop_back();
            }
            stack += c;
        } else {
            return false;
        }
        deepest = std::max(deepest, stack.size());
        previous = c;
    }
    postfix.append(stack.rbegin(), stack.rend());
    return true;
}

// Value of the postfix form for one assignment (bit j = variable j).
inline bool evaluateOnce(const std::string& postfix, unsigned assignment, bool* value) {
    std::vector<bool> stack;
    for (const char c : postfix) {
        if (c >= '0' && c <= '3') {
            stack.push_back(((assignment >> (c - '0')) & 1u) != 0);
        } else if (c == 'F' || c == 'T') {
            stack.push_back(c == 'T');
        } else if (c == '!') {
            if (stack.empty()) return false;
            stack.back() = !stack.back();
        } else if (c == '&' || c == '^' || c == '|') {
            if (stack.size() < 2) return false;
            const bool b = stack.back();
            stack.pop_back();
            const bool a = stack.back();
            stack.back() = c == '&' ? (a && b) : c == '^' ? (a != b) : (a || b);
        } else {
            return false; // an unclosed "("
        }
    }
    if (stack.size() != 1) return false;
    *value = stack.front();
    return true;
}

// The truth table of text, built from 16 separate evaluations.
inline Result evaluate(std::string_view text, char letter) {
    if (text.empty()) return {Verdict::Valid, 0};
    std::string postfix;
    std::size_t deepest = 0;
    if (!toPostfix(text, letter, postfix, deepest)) return {Verdict::Syntax, 0};
    if (deepest > 16) return {Verdict::TooDeep, 0};
    if (postfix.size() > 31) return {Verdict::TooLong, 0};
    Result result{Verdict::Valid, 0};
    for (unsigned k = 0; k < 16; ++k) {
        bool bit = false;
        if (!evaluateOnce(postfix, k, &bit)) return {Verdict::Syntax, 0};
        if (bit) result.value = static_cast<uint16_t>(result.value | (1u << k));
    }
    return result;
}

} // namespace reference
