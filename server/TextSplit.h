// Splitting a text at a separator into views of the text (SCPI headers and
// channel lists, --monitor texts).
#pragma once

#include <string_view>
#include <vector>

namespace vexcountd {

// "a:b::c" at ':' gives "a", "b", "", "c"; an empty text gives one empty part.
inline std::vector<std::string_view> splitAt(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

} // namespace vexcountd
