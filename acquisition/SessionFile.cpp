// Session files read through libzip with every limit held; see SessionFile.h.
#include "SessionFile.h"

#include "DeviceConfig.h"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace vexacq {
namespace {

constexpr size_t kReadBytes = size_t(1) << 20; // one read of a sample entry

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using EntryPtr = std::unique_ptr<zip_file_t, EntryCloser>;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string sizeText(uint64_t bytes) {
    char text[64];
    if (bytes >= (uint64_t(1) << 30))
        std::snprintf(text, sizeof text, "%.2f GiB", double(bytes) / double(uint64_t(1) << 30));
    else if (bytes >= (uint64_t(1) << 20))
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / double(1 << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

const char* damaged = "the zip is truncated or damaged";

// The [device 1] section of the metadata: key -> value.
std::map<std::string, std::string, std::less<>> deviceSection(std::string_view text) {
    std::map<std::string, std::string, std::less<>> keys;
    bool inDevice = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.starts_with('[')) {
            if (inDevice) break; // only the first device is played
            inDevice = line == "[device 1]";
            continue;
        }
        const size_t eq = line.find('=');
        if (!inDevice || eq == std::string_view::npos) continue;
        keys.emplace(std::string(trim(line.substr(0, eq))), std::string(trim(line.substr(eq + 1))));
    }
    return keys;
}

// A decimal whole number without sign, or nullopt.
std::optional<uint64_t> wholeNumber(std::string_view text) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Reads a whole entry of at most limit bytes (the directory's size is
// checked first; the running total guards against a size that lies).
std::string readSmallEntry(zip_t* zip, zip_int64_t index, uint64_t limit, std::string& out) {
    EntryPtr entry(zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0));
    if (!entry) return std::string(damaged) + " (" + zip_strerror(zip) + ")";
    char buffer[4096];
    for (;;) {
        const zip_int64_t n = zip_fread(entry.get(), buffer, sizeof buffer);
        if (n < 0) return std::string(damaged) + " (" + zip_file_strerror(entry.get()) + ")";
        if (n == 0) return "";
        if (out.size() + static_cast<uint64_t>(n) > limit)
            return "the metadata entry is larger than the " + sizeText(limit) + " allowed";
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool startsLikeAZip(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    return in.read(head, 4) && std::memcmp(head, "PK\x03\x04", 4) == 0;
}

} // namespace

std::string LoadClock::interrupted() const {
    if (stop && stop->load(std::memory_order_relaxed)) return "the load was stopped";
    if (std::chrono::steady_clock::now() > deadline)
        return "the load took longer than " + std::to_string(limit.count() / 1000) + " s";
    return "";
}

std::optional<uint64_t> parseRateText(std::string_view text) {
    text = trim(text);
    size_t digits = 0;
    while (digits < text.size() &&
           ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.'))
        ++digits;
    const std::optional<double> number = parseDecimal(text.substr(0, digits));
    std::string_view unit = trim(text.substr(digits));
    if (!number) return std::nullopt;
    double scale = 1;
    if (!unit.empty() && (unit.front() == 'k' || unit.front() == 'K')) scale = 1e3;
    if (!unit.empty() && (unit.front() == 'm' || unit.front() == 'M')) scale = 1e6;
    if (!unit.empty() && (unit.front() == 'g' || unit.front() == 'G')) scale = 1e9;
    if (scale != 1) unit.remove_prefix(1);
    if (!unit.empty() && unit != "Hz" && unit != "hz" && unit != "HZ") return std::nullopt;
    const double hz = *number * scale;
    // Below 2^64, which a double holds exactly; llround would overflow above 2^63.
    if (!std::isfinite(hz) || hz >= 18446744073709551616.0) return std::nullopt;
    return static_cast<uint64_t>(std::round(hz));
}

std::string readSessionFile(const std::string& path, const LoadLimits& limits,
                            const LoadClock& clock, Capture& capture) {
    int code = 0;
    ZipPtr zip(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        // A zip's first entry header is there but its directory (at the end)
        // is not: the file was cut short.
        if (code == ZIP_ER_NOZIP && startsLikeAZip(path))
            return std::string(damaged) + " (its directory at the end is missing)";
        if (code == ZIP_ER_NOZIP)
            return "not a libsigrok session file (for another format give format=NAME)";
        return std::string(damaged) + " (" + text + ")";
    }
    // The metadata: its size from the directory, before it is inflated.
    const zip_int64_t metaIndex = zip_name_locate(zip.get(), "metadata", 0);
    if (metaIndex < 0) return "not a libsigrok session file (no metadata entry)";
    zip_stat_t stat;
    if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(metaIndex), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE))
        return std::string(damaged) + " (the metadata entry has no size)";
    if (stat.size > limits.metadataBytes)
        return "the metadata entry is " + sizeText(stat.size) + ", more than the " +
               sizeText(limits.metadataBytes) + " a session file's metadata may have";
    std::string metadata;
    if (std::string error = readSmallEntry(zip.get(), metaIndex, limits.metadataBytes, metadata);
        !error.empty())
        return error;
    const auto keys = deviceSection(metadata);
    const auto value = [&](std::string_view key) -> std::string_view {
        const auto it = keys.find(key);
        return it == keys.end() ? std::string_view() : std::string_view(it->second);
    };

    // Probes, unit size and rate: checked before any channel or buffer exists.
    const std::optional<uint64_t> probes = wholeNumber(value("total probes"));
    if (!probes || *probes == 0) return "the file has no logic channels";
    if (*probes > uint64_t(limits.logicChannels))
        return "the file claims " + std::to_string(*probes) + " probes; at most " +
               std::to_string(limits.logicChannels) + " logic channels can be counted";
    const std::optional<uint64_t> unitSize = wholeNumber(value("unitsize"));
    if (!unitSize || *unitSize == 0 || *unitSize > 8)
        return "the metadata's unitsize '" + std::string(value("unitsize")) +
               "' is no sample size of 1 to 8 bytes";
    if (value("samplerate").empty()) return "the file gives no sample rate";
    const std::optional<uint64_t> rate = parseRateText(value("samplerate"));
    if (!rate || *rate == 0)
        return "the sample rate '" + std::string(value("samplerate")) + "' is no rate";
    if (*rate > limits.sampleRate)
        return "the sample rate " + rateText(*rate) + " is above the " +
               rateText(limits.sampleRate) + " a capture may have";
    // Channels up to the last one named (enabled) that the samples hold.
    int channels = 0;
    for (const auto& [key, name] : keys) {
        if (!key.starts_with("probe")) continue;
        const std::optional<uint64_t> n = wholeNumber(std::string_view(key).substr(5));
        if (n && *n >= 1 && *n <= *probes) channels = std::max(channels, int(*n));
    }
    channels = std::min(channels, int(*unitSize * 8));
    if (channels == 0) return "the file has no logic channels";

    // The sample entries: capturefile itself, then capturefile-1, -2, ...
    const std::string base(value("capturefile").empty() ? "logic-1" : value("capturefile"));
    std::vector<std::pair<uint64_t, zip_int64_t>> chunks; // (number, entry)
    uint64_t declared = 0;
    const zip_int64_t entries = zip_get_num_entries(zip.get(), 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        const char* name = zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0);
        if (!name) continue;
        const std::string_view entryName(name);
        std::optional<uint64_t> number;
        if (entryName == base)
            number = 0;
        else if (entryName.starts_with(base + "-"))
            number = wholeNumber(entryName.substr(base.size() + 1));
        if (!number) continue;
        if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
            !(stat.valid & ZIP_STAT_SIZE))
            return std::string(damaged) + " (a sample entry has no size)";
        declared += stat.size;
        if (declared > limits.sampleBytes)
            return "the samples inflate to more than the " + sizeText(limits.sampleBytes) +
                   " a capture may hold";
        chunks.emplace_back(*number, i);
    }
    if (declared == 0) return "the file holds no logic samples";
    std::sort(chunks.begin(), chunks.end());

    capture.sampleRate = *rate;
    capture.unitSize = static_cast<unsigned>(*unitSize);
    capture.logicChannels = channels;
    capture.samples.reserve(declared); // what the directory declares, at most the cap
    std::vector<uint8_t> buffer(kReadBytes);
    for (const auto& [number, index] : chunks) {
        EntryPtr entry(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(index), 0));
        if (!entry) return std::string(damaged) + " (" + zip_strerror(zip.get()) + ")";
        for (;;) {
            if (std::string why = clock.interrupted(); !why.empty()) return why;
            const zip_int64_t n = zip_fread(entry.get(), buffer.data(), buffer.size());
            if (n < 0) return std::string(damaged) + " (" + zip_file_strerror(entry.get()) + ")";
            if (n == 0) break;
            if (capture.samples.size() + static_cast<uint64_t>(n) > declared)
                return std::string(damaged) + " (a sample entry holds more than it declares)";
            capture.samples.insert(capture.samples.end(), buffer.begin(), buffer.begin() + n);
        }
    }
    return "";
}

} // namespace vexacq
