// Capture files made at test time: libsigrok session files written from a
// sample buffer through libsigrok's own "binary" input and "srzip" output
// (what `sigrok-cli -I binary -i FILE -o FILE.sr` does), and plain files.
#pragma once

#include <libsigrok/libsigrok.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vexacq::testing {

// A directory of its own under the system's temporary directory, removed
// with the object.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vexreplay-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// n samples of unitSize bytes where bit i of sample k is bit i of k / 2^i
// shifted: channel i is a square wave of period 2^(i+1) samples.
inline std::vector<uint8_t> squareWaves(size_t n, unsigned unitSize) {
    std::vector<uint8_t> bytes(n * unitSize);
    for (size_t k = 0; k < n; ++k)
        for (unsigned b = 0; b < unitSize; ++b)
            bytes[k * unitSize + b] = uint8_t(k >> (8 * b));
    return bytes;
}

// Writes `samples` (unitSize bytes each, `channels` logic channels) at `rate`
// Hz as a libsigrok session file; false on failure.
inline bool writeSessionFile(sr_context* context, const std::string& path,
                             const std::vector<uint8_t>& samples, int channels, uint64_t rate) {
    struct Writer {
        const sr_output* output = nullptr;
        static void onPacket(const sr_dev_inst*, const sr_datafeed_packet* packet, void* self) {
            auto* writer = static_cast<Writer*>(self);
            GString* text = nullptr; // srzip writes its file itself, but the call wants a place
            if (writer->output) sr_output_send(writer->output, packet, &text);
            if (text) g_string_free(text, TRUE);
        }
    } writer;
    char binaryId[] = "binary", srzipId[] = "srzip";
    GHashTable* options =
        g_hash_table_new_full(g_str_hash, g_str_equal, g_free, (GDestroyNotify)g_variant_unref);
    g_hash_table_insert(options, g_strdup("numchannels"),
                        g_variant_ref_sink(g_variant_new_int32(channels)));
    g_hash_table_insert(options, g_strdup("samplerate"),
                        g_variant_ref_sink(g_variant_new_uint64(rate)));
    const sr_input* input = sr_input_new(sr_input_find(binaryId), options);
    g_hash_table_destroy(options);
    if (!input) return false;
    sr_session* session = nullptr;
    sr_session_new(context, &session);
    sr_session_datafeed_callback_add(session, &Writer::onPacket, &writer);
    GString* buffer =
        g_string_new_len(reinterpret_cast<const char*>(samples.data()), gssize(samples.size()));
    bool ok = sr_input_send(input, buffer) == SR_OK;
    g_string_free(buffer, TRUE);
    sr_dev_inst* device = sr_input_dev_inst_get(input);
    if (ok && device) {
        sr_session_dev_add(session, device);
        writer.output = sr_output_new(sr_output_find(srzipId), nullptr, device, path.c_str());
        ok = writer.output && sr_input_end(input) == SR_OK;
        if (writer.output) sr_output_free(writer.output);
    }
    sr_session_destroy(session);
    sr_input_free(input);
    return ok && device && std::filesystem::exists(path);
}

// The replay device config of 8-channel `samples` at `rate` Hz written into
// dir: a session file (sessionFile) or a raw file read with the binary
// input format; options (e.g. ":speed=10") appended. Empty on failure.
inline std::string replayFixture(const TempDir& dir, const std::vector<uint8_t>& samples,
                                 uint64_t rate, bool sessionFile, const std::string& options) {
    if (!sessionFile) {
        const std::string path = dir.file("fixture.bin");
        writeFile(path, std::string(samples.begin(), samples.end()));
        return "replay:file=" + path + ":format=binary:samplerate=" + std::to_string(rate) +
               options;
    }
    const std::string path = dir.file("fixture.sr");
    sr_context* context = nullptr;
    if (sr_init(&context) != SR_OK) return {};
    const bool written = writeSessionFile(context, path, samples, 8, rate);
    sr_exit(context);
    return written ? "replay:file=" + path + options : std::string();
}

} // namespace vexacq::testing
