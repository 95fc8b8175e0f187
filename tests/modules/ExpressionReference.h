// A second, independent reading of the trigger expression language for the
// randomized test and the fuzz target: a recursive-descent parser that
// evaluates a text once per variable assignment, with plain bools.
//
// Grammar (letters case-blind, blanks and the variable letter skipped):
//   expr    := term   { "|" term }
//   term    := factor { ("&" | "^") factor }     left to right
//   factor  := [ "!" ] primary
//   primary := "(" expr ")" | "0" | "1" | "2" | "3" | "F" | "T"
// The empty text is valid with value 0.
//
// Where it deliberately differs from a textbook grammar, to describe exactly
// the texts the compiler takes:
//   * factor allows one "!", not "!" factor: the compiler refuses a "!" right
//     after a "!" ("!!I0", "I0 & !!I1"); "!(!I0)" is the way to write it.
//   * the compiler's working storage: at most 31 operands and operators, and
//     at most 16 operator-stack entries. The depth bookkeeping below follows
//     what the compiler's stack holds: every open "(" and "!", plus a pending
//     "|" and a pending "&" or "^" per nesting level.
#pragma once

#include <cstdint>
#include <string_view>

namespace reference {

enum class Verdict { Valid, Syntax, TooLong, TooDeep };

struct Result {
    Verdict verdict = Verdict::Syntax;
    uint16_t value = 0;
    bool valid() const { return verdict == Verdict::Valid; }
};

class Parser {
public:
    Parser(std::string_view text, char letter, unsigned assignment)
        : m_text(text), m_letter(upper(letter)), m_assignment(assignment) {}

    // Parses the whole text; false on any error (m_verdict says which).
    bool parseAll(bool* value) {
        if (!expr(0, value)) return false;
        if (peek() != '\0') return fail(Verdict::Syntax);
        if (m_tokens > 31) return fail(Verdict::TooLong);
        return true;
    }
    Verdict verdict() const { return m_verdict; }

private:
    static char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

    // Next significant character, or '\0' at the end; an embedded NUL or any
    // other character outside the alphabet is returned as '#'.
    char peek() {
        while (m_pos < m_text.size()) {
            const char c = upper(m_text[m_pos]);
            if (c == ' ' || c == m_letter) {
                ++m_pos;
                continue;
            }
            return c == '\0' ? '#' : c;
        }
        return '\0';
    }
    void take() { ++m_pos; }
    bool fail(Verdict v) {
        if (m_verdict == Verdict::Valid) m_verdict = v;
        return false;
    }
    // A push onto the compiler's operator stack that would hold `depth`.
    bool push(int depth) { return depth <= 16 || fail(Verdict::TooDeep); }

    bool expr(int depth, bool* value) {
        if (!term(depth, value)) return false;
        while (peek() == '|') {
            take();
            ++m_tokens;
            bool rhs = false;
            if (!push(depth + 1) || !term(depth + 1, &rhs)) return false;
            *value = *value || rhs;
        }
        return true;
    }
    bool term(int depth, bool* value) {
        if (!factor(depth, value)) return false;
        for (char op = peek(); op == '&' || op == '^'; op = peek()) {
            take();
            ++m_tokens;
            bool rhs = false;
            if (!push(depth + 1) || !factor(depth + 1, &rhs)) return false;
            *value = op == '&' ? (*value && rhs) : (*value != rhs);
        }
        return true;
    }
    bool factor(int depth, bool* value) {
        if (peek() != '!') return primary(depth, value);
        take();
        ++m_tokens;
        if (!push(depth + 1) || !primary(depth + 1, value)) return false;
        *value = !*value;
        return true;
    }
    bool primary(int depth, bool* value) {
        const char c = peek();
        if (c == '(') {
            take();
            if (!push(depth + 1) || !expr(depth + 1, value)) return false;
            if (peek() != ')') return fail(Verdict::Syntax);
            take();
            return true;
        }
        if (c >= '0' && c <= '3') {
            *value = ((m_assignment >> (c - '0')) & 1u) != 0;
        } else if (c == 'F' || c == 'T') {
            *value = c == 'T';
        } else {
            return fail(Verdict::Syntax);
        }
        take();
        ++m_tokens;
        return true;
    }

    std::string_view m_text;
    char m_letter;
    unsigned m_assignment;
    std::size_t m_pos = 0;
    int m_tokens = 0;
    Verdict m_verdict = Verdict::Valid;
};

// The truth table of text, built from 16 separate evaluations.
inline Result evaluate(std::string_view text, char letter) {
    if (text.empty()) return {Verdict::Valid, 0};
    Result result{Verdict::Valid, 0};
    for (unsigned k = 0; k < 16; ++k) {
        Parser parser(text, letter, k);
        bool bit = false;
        if (!parser.parseAll(&bit)) return {parser.verdict(), 0};
        if (bit) result.value = static_cast<uint16_t>(result.value | (1u << k));
    }
    return result;
}

} // namespace reference
