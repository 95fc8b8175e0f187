// Trigger expression compiler (infix text -> postfix -> 16-bit truth table)
// and the trigger preset tables.
#include "TriggerExpression.h"

namespace {

constexpr char kOperand = 'v'; // postfix entry carrying a truth table

struct PostfixEntry {
    char op = kOperand; // kOperand, '!', '&', '^', '|' or an unclosed '('
    uint16_t value = 0; // the operand's truth table
};

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// "(" ranks lowest so that popping stops at it.
int precedence(char op) {
    switch (op) {
    case '!':
        return 3;
    case '&':
    case '^':
        return 2;
    case '|':
        return 1;
    default:
        return 0;
    }
}

bool operandValue(char c, uint16_t* value) {
    if (c >= '0' && c <= '3') {
        *value = kTruthVariable[c - '0'];
        return true;
    }
    if (c == 'F' || c == 'T') {
        *value = c == 'T' ? kTruthTrue : kTruthFalse;
        return true;
    }
    return false;
}

// Postfix form and operator stack of one compilation. Both are fixed arrays:
// every store checks the bound and reports false instead of going past it.
class Converter {
public:
    bool emit(char op, uint16_t value = 0) {
        if (m_postfixSize == kMaxPostfixTokens) return false;
        m_postfix[m_postfixSize++] = {op, value};
        return true;
    }
    bool push(char op) {
        if (m_stackSize == kMaxOperatorStack) return false;
        m_stack[m_stackSize++] = op;
        return true;
    }
    char top() const { return m_stackSize > 0 ? m_stack[m_stackSize - 1] : '\0'; }
    bool stackEmpty() const { return m_stackSize == 0; }
    char pop() { return m_stack[--m_stackSize]; }

    // Moves every stacked operator that binds at least as tightly as `op` to
    // the output; a "(" stops it.
    bool popAtLeast(int minPrecedence) {
        while (!stackEmpty() && precedence(top()) >= minPrecedence)
            if (!emit(pop())) return false;
        return true;
    }

    // Evaluates the postfix form. An operator that finds fewer operands than
    // it needs, and a form that leaves other than one value, are invalid.
    CompiledExpression evaluate() const {
        // Evaluating on whole truth tables runs all 16 variable assignments
        // at once: bit k of each table is the value for assignment k.
        uint16_t values[kMaxPostfixTokens] = {};
        int depth = 0;
        for (int i = 0; i < m_postfixSize; ++i) {
            const PostfixEntry& e = m_postfix[i];
            if (e.op == kOperand) {
                values[depth++] = e.value;
            } else if (e.op == '(') {
                return {}; // an unclosed parenthesis
            } else if (e.op == '!') {
                if (depth < 1) return {};
                values[depth - 1] = static_cast<uint16_t>(~values[depth - 1]);
            } else {
                if (depth < 2) return {};
                const uint16_t b = values[--depth];
                uint16_t& a = values[depth - 1];
                a = e.op == '&' ? (a & b) : e.op == '^' ? (a ^ b) : (a | b);
            }
        }
        if (depth != 1) return {};
        return {true, values[0]};
    }

private:
    PostfixEntry m_postfix[kMaxPostfixTokens];
    int m_postfixSize = 0;
    char m_stack[kMaxOperatorStack] = {};
    int m_stackSize = 0;
};

} // namespace

CompiledExpression CompileExpression(std::string_view text, char variableLetter) {
    if (text.empty()) return {true, kTruthFalse};

    const char letter = upper(variableLetter);
    Converter conv;
    // Shunting-yard, one character at a time. It takes any order of operands
    // and operators whose postfix form evaluates to exactly one value, so
    // "I0 I1 &", "& I0 I1" and "I0 !" are valid; evaluate() refuses the rest.
    bool afterNot = false; // the previous token was a "!"
    for (const char raw : text) {
        const char c = upper(raw);
        if (c == ' ' || c == letter) continue;
        uint16_t operand = 0;
        if (operandValue(c, &operand)) {
            if (!conv.emit(kOperand, operand)) return {};
        } else if (c == '(') {
            if (!conv.push('(')) return {};
        } else if (c == ')') {
            if (!conv.popAtLeast(1)) return {};
            if (conv.stackEmpty()) return {}; // no matching "("
            conv.pop();                       // drop the "("
        } else if (c == '!') {
            // A "!" pops every stacked "!" first, except the one right before
            // it: that one still waits for its operand, and popping it would
            // negate the wrong value ("I0 & !!I1") or none ("!!I0"). Left
            // stacked, "!!" is a double negation of what follows.
            if ((!afterNot && !conv.popAtLeast(precedence('!'))) || !conv.push('!')) return {};
        } else if (c == '&' || c == '^' || c == '|') {
            if (!conv.popAtLeast(precedence(c)) || !conv.push(c)) return {};
        } else {
            return {};
        }
        afterNot = c == '!';
    }
    // An unclosed "(" goes to the postfix form too and makes it invalid.
    while (!conv.stackEmpty())
        if (!conv.emit(conv.pop())) return {};
    return conv.evaluate();
}

namespace TriggerPresets {

const TriggerPresetRow table1 = {"F", "F", "F", "F", "F", "F", "F", "I0"};
const TriggerPresetRow table2 = {"F", "F", "F", "F", "F", "F", "F", "I0"};
const std::array<TriggerPresetRow, kPresetRows> table3 = {{
    {"F", "F", "F", "F", "F", "F", "F", "I1 & I0"},
    {"F", "F", "F", "F", "F", "F", "F", "I1 | I0"},
    {"F", "F", "F", "F", "F", "I1", "I0", "F"},
    {"I2", "F", "I0", "I2", "!I0", "I2", "I0", "F"},
    {"F", "F", "F", "F", "F", "I0", "!I0", "F"},
    {"F", "F", "F", "F", "F", "!I0", "I0", "F"},
    {"I0", "I3", "I0", "F", "!I0", "I2", "I0", "F"},
    {"I0", "I3", "I0", "I2", "!I0", "F", "I0", "F"},
    {"F", "F", "F", "F", "F", "I0", "!I0", "F"},
}};

const TriggerPresetRow& forKind(int kind, int presetRow) {
    if (kind == 1) return table2;
    if (kind == 2) return table3[presetRow >= 0 && presetRow < kPresetRows ? presetRow : 0];
    return table1;
}

} // namespace TriggerPresets
