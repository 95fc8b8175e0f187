// Modules added at run time, modules whose device goes away and comes back,
// and the hook the engine calls when its list is asked for. A pluggable test
// module stands in for an acquired one: the engine sees only the interface.
#include "Engine.h"
#include "Module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

namespace {

using vexengine::Result;

class PluggableModule final : public vexengine::Module {
public:
    explicit PluggableModule(std::string name) : Module(std::move(name), 'c', 18) {}

    bool present() const override { return m_present; }
    void open(int64_t) override { ++opened; }
    void release() override { ++released; }
    int threshold(int) const override { return 14; }
    void setThreshold(int, int) override {}
    void reset() override {}
    void start(const vexengine::CountSettings&, int64_t) override {}
    void stop(int64_t) override {}
    void status(int64_t, vexengine::CounterStatus& status) const override {
        status.channelStates.assign(18, 1);
    }
    void counts(int64_t, std::vector<int64_t>& counts) const override { counts.assign(18, 0); }
    void pins(int64_t, std::string& pins) override { pins.assign(18, '0'); }

    std::atomic<bool> m_present{true};
    int opened = 0;
    int released = 0;
};

struct Registry : ::testing::Test {
    PluggableModule* plug(const char* name) {
        auto module = std::make_unique<PluggableModule>(name);
        auto* raw = module.get();
        EXPECT_EQ(engine.addModule(std::move(module)), raw);
        return raw;
    }

    vexengine::Engine engine{std::make_shared<vexengine::ManualClock>()};
    vexengine::SessionId session = engine.openSession();
};

TEST_F(Registry, AddedModulesAppendWithUniqueNamesAndReportPresence) {
    const int simulations = engine.moduleCount();
    PluggableModule* module = plug("QVDEMO01");
    EXPECT_EQ(engine.addModule(std::make_unique<PluggableModule>("QVDEMO01")), nullptr);
    EXPECT_EQ(engine.addModule(std::make_unique<PluggableModule>("QVSIMC01")), nullptr);
    ASSERT_EQ(engine.moduleCount(), simulations + 1);

    vexengine::ModuleEntry entry;
    ASSERT_EQ(engine.moduleAt(simulations, entry), Result::ok);
    EXPECT_EQ(entry.name, "QVDEMO01");
    EXPECT_EQ(entry.model, 'c');
    EXPECT_TRUE(entry.present);

    module->m_present = false;
    EXPECT_FALSE(engine.modules().back().present);
    EXPECT_EQ(engine.openModule(session, "QVDEMO01"), Result::noSuchModule);
    module->m_present = true; // plugged in again: the same name opens
    EXPECT_EQ(engine.openModule(session, "QVDEMO01"), Result::ok);
    EXPECT_EQ(module->opened, 1);
}

// Every call that needs the open module reports the loss once, releases the
// module, and from then on the session simply has no module.
TEST_F(Registry, EveryCallOnAVanishedModuleFailsOnceAndReleasesIt) {
    const std::vector<std::pair<const char*, std::function<Result()>>> calls = {
        {"isModuleOpen",
         [&] {
             bool open;
             return engine.isModuleOpen(session, open);
         }},
        {"channelCount",
         [&] {
             int n;
             return engine.channelCount(session, n);
         }},
        {"pinStatus",
         [&] {
             std::string p;
             return engine.pinStatus(session, 64, p);
         }},
        {"setThreshold", [&] { return engine.setThreshold(session, 0, 14); }},
        {"threshold",
         [&] {
             int tenths;
             return engine.threshold(session, 0, tenths);
         }},
        {"startCount", [&] { return engine.startCount(session, {}); }},
        {"stopCount", [&] { return engine.stopCount(session); }},
        {"counterStatus",
         [&] {
             vexengine::CounterStatus st;
             return engine.counterStatus(session, 64, st);
         }},
        {"counts",
         [&] {
             std::vector<int64_t> c;
             return engine.counts(session, 64, c);
         }},
    };
    PluggableModule* module = plug("QVDEMO01");
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        ASSERT_EQ(engine.openModule(session, "QVDEMO01"), Result::ok);
        const int released = module->released;
        module->m_present = false;
        EXPECT_EQ(call(), Result::moduleGone);
        EXPECT_EQ(module->released, released + 1);
        EXPECT_EQ(engine.modules().back().holder, 0u);
        bool open = true;
        EXPECT_EQ(engine.isModuleOpen(session, open), Result::ok);
        EXPECT_FALSE(open);
        EXPECT_EQ(engine.stopCount(session), Result::noModuleOpen);
        module->m_present = true;
    }
}

TEST_F(Registry, TheListHookRunsWhenTheListIsAskedAndOutsideTheEngineLock) {
    int calls = 0;
    // The hook may call back into the engine: it is not run under its lock.
    engine.setModuleListHook([&] {
        ++calls;
        (void)engine.sessionCount();
    });
    (void)engine.moduleCount();
    (void)engine.modules();
    EXPECT_EQ(calls, 2);
    engine.setModuleListHook({});
    (void)engine.moduleCount();
    EXPECT_EQ(calls, 2);
}

} // namespace
