// The built-in server: a session on the one engine of this process.
#pragma once

#include "Backend.h"

#include <memory>

namespace vexif {

// The process's engine, created on first use and shared by every local
// backend; it lives as long as the last of them.
std::shared_ptr<vexengine::Engine> builtInEngine();

class LocalBackend final : public Backend {
public:
    explicit LocalBackend(std::shared_ptr<vexengine::Engine> engine);
    ~LocalBackend() override;

    int32_t serverId(std::string& text) override;
    int32_t moduleCount(int32_t& count) override;
    int32_t moduleInfo(int32_t index, ModuleRecord& record) override;
    int32_t openModule(const std::string& name) override;
    int32_t isModuleOpen(bool& open) override;
    int32_t closeModule() override;
    int32_t pinStatus(int32_t capacity, std::string& pins) override;
    int32_t setThreshold(int32_t which, int32_t tenthsOfVolt) override;
    int32_t startCount(const CountSettings& settings) override;
    int32_t stopCount() override;
    int32_t counterStatus(int32_t capacity, std::vector<uint32_t>& words) override;
    int32_t counts(int32_t capacity, std::vector<int64_t>& counts) override;
    int32_t measures(int32_t capacity, std::vector<LibraryMeasures>& measures) override;
    int32_t timeBase(TimeBase& timeBase) override;
    int32_t deviceProblems(std::string& text) override;

private:
    std::shared_ptr<vexengine::Engine> m_engine;
    vexengine::SessionId m_session;
};

} // namespace vexif
