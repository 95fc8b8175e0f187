// Scripted logic analysers: Device handles over shared records, and the
// test's actions, each run on the acquisition thread.
#include "ScriptedBackend.h"

#include <chrono>
#include <future>

namespace vexacq::test {

namespace {

unsigned unitsizeFor(int channels) {
    return channels <= 8 ? 1 : channels <= 16 ? 2 : 4;
}

gboolean endNow(gpointer data) {
    auto* device = static_cast<ScriptedDevice*>(data);
    PacketSink* sink = nullptr;
    {
        std::lock_guard lock(device->mutex);
        sink = device->sink;
        if (!sink) return G_SOURCE_REMOVE;
        device->sink = nullptr;
        device->running = false;
        ++device->ends;
    }
    sink->ended();
    return G_SOURCE_REMOVE;
}

// Ends device's stream from the loop, as libsigrok does after a stop.
void scheduleEnd(ScriptedDevice& device) {
    GSource* source = g_idle_source_new();
    g_source_set_callback(source, &endNow, &device, nullptr);
    g_source_attach(source, g_main_context_get_thread_default());
    g_source_unref(source);
}

class ScriptedHandle final : public Device {
public:
    explicit ScriptedHandle(std::shared_ptr<ScriptedDevice> device)
        : m_device(std::move(device)), m_info(m_device->info) {}

    const DeviceInfo& info() const override { return m_info; }

    bool open(std::string& error) override {
        std::lock_guard lock(m_device->mutex);
        if (!m_device->plugged) error = "unplugged";
        return m_device->plugged;
    }
    void close() override {}
    bool applySettings(std::string&) override { return true; }
    RateChoices sampleRates() override { return m_device->rates; }
    bool setSampleRate(uint64_t hz) override {
        std::lock_guard lock(m_device->mutex);
        m_device->rate = hz;
        return true;
    }
    uint64_t sampleRate() override {
        std::lock_guard lock(m_device->mutex);
        return m_device->rate;
    }
    bool setThreshold(double low, double high) override {
        std::lock_guard lock(m_device->mutex);
        if (m_info.threshold == ThresholdKind::single) low = high = (low + high) / 2;
        m_device->low = low;
        m_device->high = high;
        return true;
    }
    bool setSampleLimit(uint64_t samples) override {
        std::lock_guard lock(m_device->mutex);
        m_device->limit = samples;
        return true;
    }
    bool start(PacketSink& sink, std::string& error) override {
        std::function<void()> hook;
        {
            std::lock_guard lock(m_device->mutex);
            if (!m_device->plugged) {
                error = "unplugged";
                return false;
            }
            ++m_device->starts;
            m_device->running = true;
            m_device->next = 0; // each stream starts its pattern afresh
            m_device->sink = &sink;
            m_device->thread = std::this_thread::get_id();
            hook = m_device->onStart;
        }
        if (hook) hook();
        return true;
    }
    void stop() override {
        {
            std::lock_guard lock(m_device->mutex);
            ++m_device->stops;
            if (m_device->holdStop) return;
        }
        scheduleEnd(*m_device);
    }

private:
    std::shared_ptr<ScriptedDevice> m_device;
    DeviceInfo m_info; // as the scan saw it
};

} // namespace

std::shared_ptr<ScriptedDevice> ScriptedBackend::add(DeviceInfo info) {
    auto device = std::make_shared<ScriptedDevice>();
    device->info = std::move(info);
    std::lock_guard lock(m_mutex);
    m_devices.push_back(device);
    return device;
}

bool ScriptedBackend::init(std::string&) {
    m_context = g_main_context_ref_thread_default();
    return true;
}

std::vector<std::unique_ptr<Device>> ScriptedBackend::scan(const DeviceConfig& config, bool) {
    std::vector<std::unique_ptr<Device>> found;
    std::lock_guard lock(m_mutex);
    for (const auto& device : m_devices) {
        std::lock_guard deviceLock(device->mutex);
        if (device->plugged && device->info.driver == config.driver)
            found.push_back(std::make_unique<ScriptedHandle>(device));
    }
    return found;
}

void ScriptedBackend::run(const std::function<void()>& work) {
    std::packaged_task<void()> task(work);
    std::future<void> done = task.get_future();
    GSource* source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer task) -> gboolean {
            (*static_cast<std::packaged_task<void()>*>(task))();
            return G_SOURCE_REMOVE;
        },
        &task, nullptr);
    g_source_attach(source, m_context);
    g_source_unref(source);
    done.get();
}

void ScriptedBackend::deliver(ScriptedDevice& device, const std::vector<uint32_t>& samples) {
    run([&] {
        PacketSink* sink = nullptr;
        std::vector<uint8_t> bytes;
        const unsigned unit = unitsizeFor(device.info.logicChannels);
        {
            std::lock_guard lock(device.mutex);
            if (!device.running) return;
            sink = device.sink;
            for (uint32_t s : samples)
                for (unsigned b = 0; b < unit; ++b)
                    bytes.push_back(static_cast<uint8_t>(s >> (8 * b)));
        }
        sink->logic(bytes.data(), bytes.size(), unit);
    });
}

void ScriptedBackend::deliverPattern(ScriptedDevice& device, uint64_t n) {
    std::vector<uint32_t> samples;
    {
        std::lock_guard lock(device.mutex);
        for (uint64_t i = 0; i < n; ++i)
            samples.push_back(static_cast<uint32_t>(device.next++));
    }
    deliver(device, samples);
}

void ScriptedBackend::changeRate(ScriptedDevice& device, uint64_t hz) {
    run([&] {
        PacketSink* sink = nullptr;
        {
            std::lock_guard lock(device.mutex);
            device.rate = hz;
            sink = device.running ? device.sink : nullptr;
        }
        if (sink) sink->sampleRate(hz);
    });
}

void ScriptedBackend::endStream(ScriptedDevice& device) {
    run([&] { endNow(&device); });
}

void ScriptedBackend::unplug(ScriptedDevice& device) {
    {
        std::lock_guard lock(device.mutex);
        device.plugged = false;
    }
    endStream(device);
}

void ScriptedBackend::plug(ScriptedDevice& device, const std::string& connection) {
    std::lock_guard lock(device.mutex);
    device.plugged = true;
    device.info.connection = connection;
}

bool ScriptedBackend::waitFor(const ScriptedDevice& device,
                              const std::function<bool(const ScriptedDevice&)>& test) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(device.mutex);
            if (test(device)) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace vexacq::test
