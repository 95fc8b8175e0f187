// Replay of a recorded capture as a device; see ReplayDevice.h.
#include "ReplayDevice.h"

#include "ReplayPacer.h"

#include <glib.h>

#include <chrono>
#include <filesystem>
#include <optional>

namespace vexacq {
namespace {

using Clock = std::chrono::steady_clock;

// GLib's timeout between two plays, ms: one packet's worth at speed 1.
constexpr guint kTickMs = 10;

class ReplayDevice final : public Device {
public:
    ReplayDevice(std::shared_ptr<const Capture> capture, double speed, DeviceInfo info)
        : m_capture(std::move(capture)), m_speed(speed), m_info(std::move(info)) {}
    ~ReplayDevice() override { stop(); }

    const DeviceInfo& info() const override { return m_info; }
    bool open(std::string&) override { return true; }
    void close() override {}
    bool applySettings(std::string&) override { return true; }
    RateChoices sampleRates() override { return RateChoices{{m_capture->sampleRate}}; }
    bool setSampleRate(uint64_t hz) override { return hz == m_capture->sampleRate; }
    uint64_t sampleRate() override { return m_capture->sampleRate; }
    bool setThreshold(double, double) override { return false; } // recorded levels are fixed
    bool setSampleLimit(uint64_t samples) override { return samples == 0; }

    bool start(PacketSink& sink, std::string& error) override {
        if (m_tick) {
            error = "the capture is already playing";
            return false;
        }
        m_sink = &sink;
        m_pacer.emplace(m_capture->sampleCount(), m_capture->sampleRate, m_speed);
        m_rateSent = false;
        m_start = Clock::now();
        m_tick = g_timeout_source_new(kTickMs);
        g_source_set_callback(m_tick, &ReplayDevice::onTick, this, nullptr);
        g_source_attach(m_tick, g_main_context_get_thread_default());
        return true;
    }

    void stop() override {
        if (!m_tick) return;
        g_source_destroy(m_tick);
        g_source_unref(m_tick);
        m_tick = nullptr;
        // The end comes from the loop, never from within stop(); the idle
        // source holds only the sink, which outlives the stream, so it may
        // run after this device is gone.
        GSource* idle = g_idle_source_new();
        g_source_set_callback(idle, &ReplayDevice::onEnded, m_sink, nullptr);
        g_source_attach(idle, g_main_context_get_thread_default());
        g_source_unref(idle);
        m_sink = nullptr;
    }

private:
    static gboolean onTick(gpointer self) {
        static_cast<ReplayDevice*>(self)->play();
        return G_SOURCE_CONTINUE;
    }

    static gboolean onEnded(gpointer sink) {
        static_cast<PacketSink*>(sink)->ended();
        return G_SOURCE_REMOVE;
    }

    // Hands the sink what is due by now, one packet at a time.
    void play() {
        if (!m_sink) return;
        if (!m_rateSent) {
            m_rateSent = true;
            m_sink->sampleRate(m_capture->sampleRate);
        }
        m_spans.clear();
        m_pacer->due(Clock::now() - m_start, m_spans);
        const unsigned unit = m_capture->unitSize;
        for (const ReplayPacer::Span& span : m_spans) {
            if (!m_sink) break; // stopped from within the sink
            m_sink->logic(m_capture->samples.data() + span.first * unit, span.count * unit, unit);
        }
    }

    const std::shared_ptr<const Capture> m_capture;
    const double m_speed;
    const DeviceInfo m_info;
    GSource* m_tick = nullptr; // while playing
    PacketSink* m_sink = nullptr;
    std::optional<ReplayPacer> m_pacer;
    Clock::time_point m_start;
    bool m_rateSent = false;
    std::vector<ReplayPacer::Span> m_spans; // reused by every tick
};

class ReplayBackend final : public Backend {
public:
    explicit ReplayBackend(CaptureLookup lookup) : m_lookup(std::move(lookup)) {}

    bool init(std::string&) override { return true; }

    bool prepare(const DeviceConfig& config, std::string& error) override {
        auto parsed = parseReplayConfig(config);
        if (auto* fault = std::get_if<ConfigError>(&parsed)) {
            error = fault->message;
            return false;
        }
        return true;
    }

    std::vector<std::unique_ptr<Device>> scan(const DeviceConfig& config, bool) override {
        std::vector<std::unique_ptr<Device>> devices;
        auto parsed = parseReplayConfig(config);
        if (!std::holds_alternative<ReplayConfig>(parsed)) return devices;
        const ReplayConfig& replay = std::get<ReplayConfig>(parsed);
        std::shared_ptr<const Capture> loaded = m_lookup(replay.file);
        if (!loaded) return devices;
        const Capture& capture = *loaded;
        DeviceInfo info;
        info.driver = kReplayDriver;
        info.vendor = "capture";
        info.model = std::filesystem::path(replay.file.path).filename().string();
        info.serial = captureKey(replay.file);
        info.logicChannels = capture.logicChannels;
        info.rateFromConfig = true; // the file's rate; nothing to choose
        info.preferredRate = capture.sampleRate;
        devices.push_back(std::make_unique<ReplayDevice>(std::move(loaded), replay.speed, info));
        return devices;
    }

    void shutdown() override {}

private:
    CaptureLookup m_lookup;
};

} // namespace

std::unique_ptr<Backend> makeReplayBackend(CaptureLookup lookup) {
    return std::make_unique<ReplayBackend>(std::move(lookup));
}

} // namespace vexacq
