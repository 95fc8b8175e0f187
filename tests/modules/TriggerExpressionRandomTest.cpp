// Randomized check of the trigger expression compiler against the reference
// reading of the language (ExpressionReference.h): random junk, random infix
// expressions and their one-character mutations, with a fixed seed and
// bounded in count and time.
#include "ExpressionReference.h"
#include "modules/TriggerExpression.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

namespace {

class TextGenerator {
public:
    explicit TextGenerator(uint32_t seed) : m_rng(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool chance(int percent) { return below(100) < percent; }

    // Characters of the language, both letters and some junk.
    std::string junk() {
        static const std::string alphabet = " 0123TtFfIiPp!&^|()";
        static const std::string foreign = "4x#\t-+Z";
        std::string text;
        const int length = below(40);
        for (int i = 0; i < length; ++i)
            text += chance(92) ? alphabet[static_cast<std::size_t>(below(int(alphabet.size())))]
                               : foreign[static_cast<std::size_t>(below(int(foreign.size())))];
        return text;
    }

    // An infix expression, now and then with a "!!".
    std::string wellFormed(char letter, int depth) {
        std::string text;
        const int pick = depth <= 0 ? 0 : below(10);
        if (pick < 4) {
            text = operand(letter);
        } else if (pick < 6) {
            text = "!" + std::string(chance(10) ? "!" : "") + blanks() +
                   (chance(50) ? operand(letter) : "(" + wellFormed(letter, depth - 1) + ")");
        } else if (pick < 9) {
            static const char ops[] = {'&', '^', '|'};
            text = wellFormed(letter, depth - 1) + blanks() + ops[below(3)] + blanks() +
                   wellFormed(letter, depth - 1);
        } else {
            text = "(" + wellFormed(letter, depth - 1) + ")";
        }
        if (chance(3)) text = std::string(static_cast<std::size_t>(below(20)), '(') + text;
        if (chance(3)) text = "(" + text + ")";
        return text;
    }

    // Near the bounds of the working storage: a chain of 12 to 20 operands,
    // or an operand under 12 to 20 levels of "(" and "!(".
    std::string large(char letter) {
        static const char ops[] = {'&', '^', '|'};
        if (chance(50)) {
            std::string text = operand(letter);
            for (int n = 11 + below(9); n > 0; --n)
                text += std::string(1, ops[below(3)]) + (chance(20) ? "!" : "") + operand(letter);
            return text;
        }
        std::string text = wellFormed(letter, 1);
        for (int n = 12 + below(9); n > 0; --n)
            text = (chance(25) ? "!(" : "(") + text + ")";
        return text;
    }

    std::string mutate(std::string text) {
        static const std::string alphabet = " 0123TF!&^|()I";
        const char c = alphabet[static_cast<std::size_t>(below(int(alphabet.size())))];
        if (text.empty()) return std::string(1, c);
        const auto at = static_cast<std::size_t>(below(int(text.size())));
        const int how = below(3); // erase, insert or replace one character
        if (how == 0) text.erase(at, 1);
        if (how == 1) text.insert(at, 1, c);
        if (how == 2) text[at] = c;
        return text;
    }

private:
    std::string blanks() { return chance(30) ? " " : ""; }
    // A constant, a bare digit, or a variable letter in either case.
    std::string operand(char letter) {
        const int kind = below(4);
        if (kind == 0) return std::string(1, chance(50) ? 'F' : 't');
        const std::string digit = std::to_string(below(4));
        if (kind == 1) return digit;
        return std::string(1, chance(50) ? letter : static_cast<char>(letter + 32)) + blanks() +
               digit;
    }

    std::mt19937 m_rng;
};

TEST(CompileExpressionRandom, AgreesWithTheReferenceParser) {
    constexpr int kMaxTexts = 150000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    TextGenerator gen(0x5EED1234u);
    int checked = 0;
    int failures = 0;
    int verdicts[4] = {};
    for (; checked < kMaxTexts && failures < 10; ++checked) {
        if (checked % 1024 == 0 && std::chrono::steady_clock::now() > deadline) break;
        const char letter = gen.chance(80) ? 'I' : 'P';
        const int kind = checked % 4;
        const std::string text = kind == 0        ? gen.junk()
                                 : kind == 1      ? gen.wellFormed(letter, gen.below(7))
                                 : kind == 2      ? gen.mutate(gen.wellFormed(letter, gen.below(5)))
                                 : gen.chance(80) ? gen.large(letter)
                                                  : gen.mutate(gen.large(letter));
        const CompiledExpression got = CompileExpression(text, letter);
        const reference::Result want = reference::evaluate(text, letter);
        ++verdicts[static_cast<int>(want.verdict)];
        if (got.valid != want.valid() || got.value != want.value) {
            ++failures;
            ADD_FAILURE() << "text \"" << text << "\" letter " << letter << ": compiler "
                          << got.valid << "/" << std::hex << got.value << ", reference "
                          << want.valid() << "/" << want.value;
        }
    }
    // The run must have reached every kind of verdict often enough to mean
    // something, even when the time bound cut it short.
    EXPECT_GT(checked, 20000);
    EXPECT_GT(verdicts[static_cast<int>(reference::Verdict::Valid)], checked / 5);
    EXPECT_GT(verdicts[static_cast<int>(reference::Verdict::Syntax)], checked / 5);
    EXPECT_GT(verdicts[static_cast<int>(reference::Verdict::TooLong)], checked / 50);
    EXPECT_GT(verdicts[static_cast<int>(reference::Verdict::TooDeep)], checked / 50);
}

} // namespace
