// Loading a recorded capture; see Capture.h.
//
// Session files: SessionFile.cpp reads the zip itself. Other formats: a
// libsigrok input module is fed the file's bytes, 1 MiB at a time, and sends
// its packets into a session of our own; the datafeed callback collects the
// logic packets, the sample rate (from a meta packet) and the first error,
// and refuses what is over the limits as it arrives.
#include "Capture.h"

#include "SessionFile.h"

#include <libsigrok/libsigrok.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace vexacq {
namespace {

struct Collector {
    LoadLimits limits;
    Capture capture;
    uint64_t metaRate = 0; // Hz, from an SR_DF_META packet
    std::string error;
    sr_session* session = nullptr; // stopped on an error while it runs
};

void fail(Collector& collector, std::string error) {
    if (!collector.error.empty()) return;
    collector.error = std::move(error);
    if (collector.session && sr_session_is_running(collector.session))
        sr_session_stop(collector.session);
}

void onPacket(const sr_dev_inst*, const sr_datafeed_packet* packet, void* data) {
    auto& collector = *static_cast<Collector*>(data);
    if (!collector.error.empty()) return;
    if (packet->type == SR_DF_META) {
        const auto* meta = static_cast<const sr_datafeed_meta*>(packet->payload);
        for (const GSList* l = meta->config; l; l = l->next) {
            const auto* config = static_cast<const sr_config*>(l->data);
            if (config->key == SR_CONF_SAMPLERATE)
                collector.metaRate = g_variant_get_uint64(config->data);
        }
        if (collector.metaRate > collector.limits.sampleRate) {
            return fail(collector, "the sample rate " + rateText(collector.metaRate) +
                                       " is above the " + rateText(collector.limits.sampleRate) +
                                       " a capture may have");
        }
    } else if (packet->type == SR_DF_LOGIC) {
        const auto* logic = static_cast<const sr_datafeed_logic*>(packet->payload);
        Capture& capture = collector.capture;
        if (logic->unitsize == 0) return;
        if (capture.unitSize == 0) capture.unitSize = logic->unitsize;
        if (logic->unitsize != capture.unitSize)
            return fail(collector, "the sample size changes within the file");
        if (capture.samples.size() + logic->length > collector.limits.sampleBytes)
            return fail(collector, "the samples are more than the " +
                                       std::to_string(collector.limits.sampleBytes >> 20) +
                                       " MiB a capture may hold");
        const auto* bytes = static_cast<const uint8_t*>(logic->data);
        capture.samples.insert(capture.samples.end(), bytes, bytes + logic->length);
    }
}

// Logic channels up to the last one enabled: bit i of a sample is the logic
// channel of index i, and a session file lists as enabled the channels that
// were recorded (one saved by a 16-channel driver with 8 probes in use has 16
// channels, the upper 8 disabled).
int logicChannelCount(const sr_dev_inst* device) {
    int count = 0;
    for (GSList* l = sr_dev_inst_channels_get(device); l; l = l->next) {
        const auto* channel = static_cast<const sr_channel*>(l->data);
        if (channel->type == SR_CHANNEL_LOGIC && channel->enabled)
            count = std::max(count, channel->index + 1);
    }
    return count;
}

// libsigrok says why it refused something only in its log. One forwarding
// callback is installed for the process (never removed, so no thread can
// call one that is gone); while a load runs on a thread, the last error line
// libsigrok logs on that thread is kept for the message, and every line
// still goes to the handler that was there before.
thread_local std::string* t_lastError = nullptr;
sr_log_callback g_previousLog = nullptr;
void* g_previousLogData = nullptr;

int forwardLog(void*, int level, const char* format, va_list args) {
    if (level <= SR_LOG_ERR && t_lastError) {
        va_list copy;
        va_copy(copy, args);
        char line[512];
        std::vsnprintf(line, sizeof line, format, copy);
        va_end(copy);
        *t_lastError = line;
    }
    return g_previousLog ? g_previousLog(g_previousLogData, level, format, args) : SR_OK;
}

class ErrorLog {
public:
    ErrorLog() {
        installCaptureLog();
        t_lastError = &m_last;
    }
    ~ErrorLog() { t_lastError = nullptr; }
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // ": <last error>" or "".
    std::string detail() const { return m_last.empty() ? "" : ": " + m_last; }

private:
    std::string m_last;
};

struct SessionDeleter {
    void operator()(sr_session* session) const { sr_session_destroy(session); }
};
using SessionPtr = std::unique_ptr<sr_session, SessionDeleter>;

struct InputDeleter {
    void operator()(const sr_input* input) const { sr_input_free(input); }
};
using InputPtr = std::unique_ptr<const sr_input, InputDeleter>;

// The option's text as the GVariant type of its default value (a new
// floating reference), or nullptr.
GVariant* inputOptionValue(const sr_option& option, const std::string& text) {
    const char* c = text.c_str();
    char* end = nullptr;
    if (!option.def || g_variant_is_of_type(option.def, G_VARIANT_TYPE_STRING))
        return g_variant_new_string(c);
    if (g_variant_is_of_type(option.def, G_VARIANT_TYPE_UINT64)) {
        uint64_t value = 0;
        return sr_parse_sizestring(c, &value) == SR_OK ? g_variant_new_uint64(value) : nullptr;
    }
    if (g_variant_is_of_type(option.def, G_VARIANT_TYPE_INT32)) {
        const long value = std::strtol(c, &end, 10);
        return *c && !*end && value >= INT32_MIN && value <= INT32_MAX
                   ? g_variant_new_int32(static_cast<int32_t>(value))
                   : nullptr;
    }
    if (g_variant_is_of_type(option.def, G_VARIANT_TYPE_UINT32)) {
        const unsigned long value = std::strtoul(c, &end, 10);
        return *c && *c != '-' && !*end && value <= UINT32_MAX
                   ? g_variant_new_uint32(static_cast<uint32_t>(value))
                   : nullptr;
    }
    if (g_variant_is_of_type(option.def, G_VARIANT_TYPE_DOUBLE)) {
        const double value = std::strtod(c, &end);
        return *c && !*end ? g_variant_new_double(value) : nullptr;
    }
    if (g_variant_is_of_type(option.def, G_VARIANT_TYPE_BOOLEAN)) {
        for (const char* word : {"1", "true", "yes", "on"})
            if (text == word) return g_variant_new_boolean(TRUE);
        for (const char* word : {"0", "false", "no", "off"})
            if (text == word) return g_variant_new_boolean(FALSE);
    }
    return nullptr;
}

std::string knownFormats() {
    std::string names;
    for (const sr_input_module* const* m = sr_input_list(); m && *m; ++m)
        names += std::string(names.empty() ? "" : ", ") + sr_input_id_get(*m);
    return names;
}

// The input options of `module` from the texts given, or an error.
std::variant<GHashTable*, std::string>
inputOptions(const sr_input_module* module, const std::string& format, const CaptureFile& file) {
    const sr_option** options = sr_input_options_get(module);
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                              reinterpret_cast<GDestroyNotify>(g_variant_unref));
    std::string error;
    for (const auto& [key, text] : file.options) {
        const sr_option* option = nullptr;
        std::string names;
        for (const sr_option** o = options; o && *o; ++o) {
            names += std::string(names.empty() ? "" : ", ") + (*o)->id;
            if (key == (*o)->id) option = *o;
        }
        if (!option) {
            error = "format '" + format + "' has no option '" + key + "'" +
                    (names.empty() ? " (it takes none)" : " (it takes: " + names + ")");
            break;
        }
        GVariant* value = inputOptionValue(*option, text);
        if (!value) {
            error = "format '" + format + "': option '" + key + "' does not take '" + text + "'";
            break;
        }
        g_hash_table_insert(table, g_strdup(key.c_str()), g_variant_ref_sink(value));
    }
    if (options) sr_input_options_free(options);
    if (!error.empty()) {
        g_hash_table_destroy(table);
        return error;
    }
    return table;
}

std::string loadInputFormat(sr_context* context, const CaptureFile& file, const LoadClock& clock,
                            Collector& collector) {
    if (!context) return "libsigrok did not start, so format '" + file.format + "' cannot be read";
    ErrorLog log;
    std::string id = file.format;
    const sr_input_module* module = sr_input_find(id.data());
    if (!module)
        return "unknown input format '" + file.format + "' (libsigrok knows: " + knownFormats() +
               ")";
    auto table = inputOptions(module, file.format, file);
    if (auto* error = std::get_if<std::string>(&table)) return *error;
    GHashTable* options = std::get<GHashTable*>(table);
    InputPtr input(sr_input_new(module, options));
    g_hash_table_destroy(options);
    if (!input) return "format '" + file.format + "' refused its options" + log.detail();

    sr_session* raw = nullptr;
    if (sr_session_new(context, &raw) != SR_OK) return "libsigrok could not make a session";
    SessionPtr session(raw);
    sr_session_datafeed_callback_add(session.get(), onPacket, &collector);

    std::ifstream in(file.path, std::ios::binary);
    if (!in) return "cannot read the file";
    // Most formats give about as many sample bytes as the file has (binary
    // exactly): reserved once, untouched pages cost no memory, and the
    // buffer seldom has to grow (a doubling would hold the samples twice).
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file.path, ec);
    if (!ec)
        collector.capture.samples.reserve(std::min<uintmax_t>(size, collector.limits.sampleBytes));
    std::vector<char> chunk(1 << 20);
    sr_dev_inst* device = nullptr;
    // The module announces its device once it has read the file's header;
    // it sends no samples before that, so none are lost by adding it late.
    const auto attach = [&] {
        if (device) return;
        device = sr_input_dev_inst_get(input.get());
        if (device) sr_session_dev_add(session.get(), device);
    };
    while (collector.error.empty() && in) {
        if (std::string why = clock.interrupted(); !why.empty()) return why;
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto n = static_cast<gssize>(in.gcount());
        if (n <= 0) break;
        GString* buffer = g_string_new_len(chunk.data(), n);
        const int result = sr_input_send(input.get(), buffer);
        g_string_free(buffer, TRUE);
        if (result != SR_OK) return "the file is not valid " + file.format + log.detail();
        attach();
    }
    if (in.bad()) return "reading the file failed";
    if (collector.error.empty() && sr_input_end(input.get()) != SR_OK)
        return "the file is not valid " + file.format + log.detail();
    attach();
    if (device) collector.capture.logicChannels = logicChannelCount(device);
    if (collector.capture.logicChannels > collector.limits.logicChannels)
        collector.error = "the file has " + std::to_string(collector.capture.logicChannels) +
                          " logic channels; at most " +
                          std::to_string(collector.limits.logicChannels) + " can be counted";
    // The session lets go of the device before the input frees it.
    session.reset();
    return collector.error;
}

// Whether the file can be opened for reading, and why not.
std::string openable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return "";
    }
    const int error = errno;
    if (error == EACCES || error == EPERM) return "permission denied";
    return std::string("cannot open the file: ") + std::strerror(error);
}

} // namespace

void installCaptureLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        sr_log_callback_get(&g_previousLog, &g_previousLogData);
        sr_log_callback_set(&forwardLog, nullptr);
    });
}

std::string captureKey(const CaptureFile& file) {
    std::string text = file.path;
    if (!file.format.empty()) text += ":format=" + file.format;
    for (const auto& [name, value] : file.options)
        text += ":" + name + "=" + value;
    return text;
}

std::string rateText(uint64_t hz) {
    const char* units[] = {"Hz", "kHz", "MHz", "GHz"};
    double value = double(hz);
    int unit = 0;
    while (value >= 1000 && unit < 3) {
        value /= 1000;
        ++unit;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.6g %s", value, units[unit]);
    return text;
}

std::variant<Capture, std::string> loadCapture(sr_context* context, const CaptureFile& file,
                                               const LoadLimits& limits) {
    const std::string where = "capture '" + file.path + "': ";
    const LoadClock clock{std::chrono::steady_clock::now() + limits.time, limits.stop, limits.time};
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file.path, ec))
        return where +
               (std::filesystem::exists(file.path, ec) ? "not a regular file" : "no such file");
    if (std::string why = openable(file.path); !why.empty()) return where + why;
    if (std::filesystem::file_size(file.path, ec) == 0 && !ec) return where + "the file is empty";
    Collector collector;
    collector.limits = limits;
    const std::string error = file.format.empty()
                                  ? readSessionFile(file.path, limits, clock, collector.capture)
                                  : loadInputFormat(context, file, clock, collector);
    if (!error.empty()) return where + error;
    Capture& capture = collector.capture;
    if (collector.metaRate) capture.sampleRate = collector.metaRate;
    if (capture.logicChannels == 0) return where + "the file has no logic channels";
    if (capture.unitSize) // channels beyond the sample's bits were never recorded
        capture.logicChannels = std::min<int>(capture.logicChannels, int(capture.unitSize * 8));
    if (capture.sampleRate == 0)
        return where + "the file gives no sample rate" +
               (file.format.empty() ? "" : " (give it as samplerate=...)");
    if (capture.sampleRate > limits.sampleRate)
        return where + "the sample rate " + rateText(capture.sampleRate) + " is above the " +
               rateText(limits.sampleRate) + " a capture may have";
    if (capture.sampleCount() == 0) return where + "the file holds no logic samples";
    // Whole samples only; a session file's buffer is already its exact size,
    // so it is not copied (a copy of 2 GiB would double the peak).
    const size_t whole = capture.sampleCount() * capture.unitSize;
    if (whole != capture.samples.size()) capture.samples.resize(whole);
    if (!file.format.empty()) capture.samples.shrink_to_fit();
    return std::move(capture);
}

} // namespace vexacq
