// Splitting and digit grouping of result cell texts.
#include "counter/ResultCell.h"

namespace {

template <class Char> BasicResultCell<Char> split(std::basic_string_view<Char> text) {
    BasicResultCell<Char> cell;
    const auto dollar = text.find(Char('$'));
    if (dollar != text.npos) {
        cell.remark.assign(text.substr(dollar + 1));
        cell.hasRemark = true;
        text = text.substr(0, dollar);
    }
    const auto bar = text.find(Char('|'));
    if (bar != text.npos) {
        cell.unit.assign(text.substr(bar + 1));
        cell.hasUnit = true;
        text = text.substr(0, bar);
    }
    cell.number.assign(text);
    return cell;
}

template <class Char> std::basic_string<Char> group(std::basic_string_view<Char> in) {
    const long length = static_cast<long>(in.size());
    const auto pointAt = in.find(Char('.'));
    const bool hasPoint = pointAt != in.npos;
    // f characters before the point, e after it; one blank per full group.
    const long f = hasPoint ? static_cast<long>(pointAt) : length;
    const long e = hasPoint ? length - f - 1 : 0;
    const long size = f + (f - 1) / 3 + (hasPoint ? 1 : 0) + e + e / 3;
    std::basic_string<Char> out(static_cast<size_t>(size < 0 ? 0 : size), Char(' '));

    // The counter says how many characters are left in the current group;
    // the integer part starts with its short group (f mod 3, or 3).
    long counter = ((f - 1) % 3) + 1;
    long o = 0;
    auto put = [&](Char c) {
        if (o < size) out[static_cast<size_t>(o)] = c;
        ++o;
    };
    for (long i = 0; i < length; ++i) {
        put(in[static_cast<size_t>(i)]);
        if (i + 1 < length && in[static_cast<size_t>(i + 1)] == Char('.')) {
            put(Char('.'));
            ++i;
            counter = 3;
        } else if (counter-- == 1) {
            ++o; // leave a blank after a full group
            counter = 3;
        }
    }
    return out;
}

} // namespace

ResultCell splitResultCell(std::string_view text) {
    return split(text);
}
ResultCell32 splitResultCell(std::u32string_view text) {
    return split(text);
}
std::string groupDigits(std::string_view number) {
    return group(number);
}
std::u32string groupDigits(std::u32string_view number) {
    return group(number);
}

std::string readoutSpeech(std::string_view text, bool plain) {
    const auto trim = [](std::string_view part) {
        const auto first = part.find_first_not_of(' ');
        if (first == std::string_view::npos) return std::string();
        return std::string(part.substr(first, part.find_last_not_of(' ') - first + 1));
    };
    if (plain) return trim(text);
    const ResultCell cell = splitResultCell(text);
    std::string speech = trim(groupDigits(cell.number));
    if (cell.hasUnit && !cell.unit.empty()) speech += " " + trim(cell.unit);
    if (cell.hasRemark) {
        std::string_view remark = cell.remark;
        const auto open = remark.find_first_not_of(' ');
        const auto close = remark.find_last_not_of(' ');
        if (open != std::string_view::npos && remark[open] == '[' && remark[close] == ']')
            remark = remark.substr(open + 1, close - open - 1);
        if (const std::string words = trim(remark); !words.empty()) speech += ", " + words;
    }
    return speech;
}
