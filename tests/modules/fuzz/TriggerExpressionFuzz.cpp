// libFuzzer target for CompileExpression: arbitrary bytes as an expression
// text, compiled with both variable letters. Besides the sanitizers it checks
// that every verdict and truth table agrees with the reference reading of the
// language in ExpressionReference.h. How to build and run it: see
// modules/vladata.cmake.
#include "ExpressionReference.h"
#include "modules/TriggerExpression.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char letter : {'I', 'P'}) {
        const CompiledExpression got = CompileExpression(text, letter);
        const reference::Result want = reference::evaluate(text, letter);
        if (got.valid != want.valid() || got.value != want.value) {
            std::fprintf(stderr,
                         "mismatch for letter %c: compiler %d/0x%04X, reference %d/0x%04X\n",
                         letter, got.valid, got.value, want.valid(), want.value);
            std::abort();
        }
    }
    return 0;
}
