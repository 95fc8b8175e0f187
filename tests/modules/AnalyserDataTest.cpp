// AnalyserData on the real device library: construction, module selection,
// setters and their events, listeners, inputs, channels and trigger presets.
#include "modules/vladata.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Event = std::tuple<int32_t, int32_t, int32_t>; // code, value, extra

// Records every event it hears, optionally with a tag to tell listeners apart.
struct Recorder {
    std::vector<Event> events;
    std::vector<std::pair<char, Event>>* shared = nullptr;
    char tag = '?';

    static void hear(void* context, int32_t event, int32_t value, int32_t extra) {
        auto* self = static_cast<Recorder*>(context);
        self->events.emplace_back(event, value, extra);
        if (self->shared) self->shared->emplace_back(self->tag, Event{event, value, extra});
    }
    int count(int32_t code) const {
        int n = 0;
        for (const Event& e : events)
            n += std::get<0>(e) == code;
        return n;
    }
};

std::vector<std::string> slots(const AnalyserData& data) {
    std::vector<std::string> out;
    for (int i = 0; i < 8; ++i)
        out.push_back(data.slotExpression(i));
    return out;
}

TEST(AnalyserData, ConstructionLoadsTheDefaultModel) {
    AnalyserData data;
    EXPECT_EQ(data.moduleName(), "");
    EXPECT_EQ(data.modelCode(), 'o');
    EXPECT_FALSE(data.allowSimulations());
    EXPECT_EQ(slots(data), (std::vector<std::string>{"F", "F", "F", "F", "F", "F", "F", "I0"}));
    EXPECT_EQ(data.patternExpression(0), "(P0)");
    EXPECT_EQ(data.patternExpression(1), "(P0)");
    EXPECT_EQ(data.setting2(), 5);
    EXPECT_EQ(data.setting10(), 14);
    EXPECT_EQ(data.samplePosition(), -1);
    EXPECT_TRUE(data.flag3());
    EXPECT_EQ(data.inputs().size(), 16u);
    EXPECT_EQ(data.channels().size(), 16u);
    EXPECT_EQ(data.colours(),
              (std::array<AnalyserColour, 5>{0xFF000005, 0, 0xFF00000F, 0, 0x000000FF}));
}

TEST(AnalyserData, MarkersAreBuiltFromTheirIndex) {
    AnalyserData data;
    std::vector<std::pair<int64_t, std::string>> got;
    for (const AnalyserMarker& m : data.markers())
        got.emplace_back(m.position, m.name);
    EXPECT_EQ(got, (std::vector<std::pair<int64_t, std::string>>{{222, "T"},
                                                                 {444, "M1"},
                                                                 {666, "M2"},
                                                                 {888, "M3"},
                                                                 {1111, "M4"},
                                                                 {1333, "M5"},
                                                                 {1555, "M6"},
                                                                 {1777, "M7"}}));
    EXPECT_EQ(data.markers()[7].colour, 0x00808080u);
}

TEST(AnalyserData, SelectModuleTakesOnlyEightCharacterQvOrGmNames) {
    AnalyserData data;
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    for (const char* name : {"QV00001", "QV0000001", "XX000001", "qv000001", "Q", "GMx"}) {
        data.SelectModule(name, 'c');
        EXPECT_EQ(data.moduleName(), "") << name;
        EXPECT_EQ(data.modelCode(), 'o') << name;
    }
    EXPECT_TRUE(rec.events.empty());

    data.SelectModule("GM000001", 'c');
    EXPECT_EQ(data.moduleName(), "GM000001");
    EXPECT_EQ(data.modelCode(), 'c');
    EXPECT_EQ(data.inputs().size(), 18u);
    EXPECT_EQ(rec.count(AnalyserEvent::ModuleChanged), 1);
    EXPECT_EQ(rec.events.back(), (Event{0, 0, 0}));

    // A rejected name leaves the taken one.
    data.SelectModule("QV00001", 'r');
    EXPECT_EQ(data.moduleName(), "GM000001");
}

TEST(AnalyserData, SameNameWithAnotherModelCodeChangesNothing) {
    AnalyserData data;
    data.SelectModule("QV000001", 'c');
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    data.SelectModule("QV000001", 'b');
    EXPECT_EQ(data.modelCode(), 'c');
    EXPECT_EQ(data.inputs().size(), 18u);
    EXPECT_TRUE(rec.events.empty());
}

TEST(AnalyserData, ClearingTheNameSendsOneEventAndKeepsTheModel) {
    AnalyserData data;
    data.SelectModule("QV000001", 'c');
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    data.SelectModule("", 'u');
    EXPECT_EQ(data.moduleName(), "");
    EXPECT_EQ(data.modelCode(), 'c');
    EXPECT_EQ(data.inputs().size(), 18u);
    EXPECT_EQ(rec.events, (std::vector<Event>{{0, 0, 0}}));

    data.SelectModule("", 'u'); // already clear
    EXPECT_EQ(rec.events.size(), 1u);
}

TEST(AnalyserData, ListenersHearEveryEventInRegistrationOrder) {
    AnalyserData data;
    std::vector<std::pair<char, Event>> heard;
    Recorder a{{}, &heard, 'A'};
    Recorder b{{}, &heard, 'B'};
    data.AddListener(&Recorder::hear, &a);
    data.AddListener(&Recorder::hear, &b);

    data.setTriggerKind(2); // row 0 of table 3: only slot 7 differs
    data.setPresetRow(3);
    const std::vector<Event> expected = {{7, 7, 0}, {1, 2, 0}, // kind 2
                                         {6, 3, 0}, {7, 0, 0}, {7, 2, 0}, {7, 3, 0},
                                         {7, 4, 0}, // row 3
                                         {7, 5, 0}, {7, 6, 0}, {7, 7, 0}, {3, 0, 0}};
    ASSERT_EQ(heard.size(), 2 * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(heard[2 * i], (std::pair<char, Event>{'A', expected[i]})) << i;
        EXPECT_EQ(heard[2 * i + 1], (std::pair<char, Event>{'B', expected[i]})) << i;
    }
    EXPECT_EQ(slots(data),
              (std::vector<std::string>{"I2", "F", "I0", "I2", "!I0", "I2", "I0", "F"}));
    EXPECT_FALSE(data.flag3());
}

// The selection group answers event 0 by handing its selection over again.
TEST(AnalyserData, ListenerMayCallBackIntoSelectModule) {
    struct Group {
        AnalyserData* data;
        int heard = 0;
        static void changed(void* context, int32_t event, int32_t, int32_t) {
            auto* self = static_cast<Group*>(context);
            if (event != AnalyserEvent::ModuleChanged) return;
            ++self->heard;
            self->data->SelectModule(self->data->moduleName(), 'b');
        }
    };
    AnalyserData data;
    Group group{&data};
    Recorder window;
    data.AddListener(&Group::changed, &group);
    data.AddListener(&Recorder::hear, &window);
    data.SelectModule("QV000001", 'c');
    EXPECT_EQ(group.heard, 1);
    EXPECT_EQ(window.count(AnalyserEvent::ModuleChanged), 1);
    EXPECT_EQ(data.modelCode(), 'c');
}

// A listener that registers more listeners while being notified: the list
// grows under the loop that walks it.
TEST(AnalyserData, ListenerMayRegisterListenersWhileNotified) {
    struct Spawner {
        AnalyserData* data;
        Recorder spawned[8];
        int next = 0;
        static void hear(void* context, int32_t, int32_t, int32_t) {
            auto* self = static_cast<Spawner*>(context);
            if (self->next < 8)
                self->data->AddListener(&Recorder::hear, &self->spawned[self->next++]);
        }
    };
    AnalyserData data;
    Spawner spawner{&data, {}, 0};
    data.AddListener(&Spawner::hear, &spawner);
    data.SetAllowSimulations(true);
    EXPECT_EQ(spawner.next, 1);
    EXPECT_EQ(spawner.spawned[0].events, (std::vector<Event>{{14, 1, 0}}));
}

TEST(AnalyserData, MoreThanEighteenInputsUseTheFirstEightColours) {
    AnalyserData data;
    data.SelectModule("QV000032", 'b');
    ASSERT_EQ(data.inputs().size(), 32u);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(data.inputs()[i].colour, AnalyserColours::kChannelTable[i % 8]) << i;
        EXPECT_EQ(data.inputs()[i].index, static_cast<int32_t>(i));
        EXPECT_EQ(data.inputs()[i].name, "Channel " + std::to_string(i));
    }
    // Channels keep the whole table: 17 is black, 18 starts over.
    ASSERT_EQ(data.channels().size(), 32u);
    EXPECT_EQ(data.channels()[17].colour, AnalyserColours::kBlack);
    EXPECT_EQ(data.channels()[18].colour, AnalyserColours::kChannelTable[0]);
    EXPECT_EQ(data.channels()[31].name, "Channel 31");

    data.SelectModule("QV000018", 'c');
    ASSERT_EQ(data.inputs().size(), 18u);
    EXPECT_EQ(data.inputs()[8].colour, 0x00004080u); // brown again
    EXPECT_EQ(data.inputs()[17].colour, AnalyserColours::kBlack);
    EXPECT_EQ(data.channels().size(), 18u);
}

TEST(AnalyserData, LayoutListenersHearEveryChannelResize) {
    AnalyserData data;
    int resizes = 0;
    data.addLayoutListener([](void* context) { ++*static_cast<int*>(context); }, &resizes);
    data.resizeChannels(16); // the current count
    data.resizeChannels(-1);
    EXPECT_EQ(resizes, 0);
    data.SelectModule("QV000001", 'c');
    EXPECT_EQ(resizes, 1);
    data.resizeChannels(4);
    EXPECT_EQ(resizes, 2);
    data.resizeInputs(-3);
    EXPECT_EQ(data.inputs().size(), 18u);
}

TEST(AnalyserData, SlotWithAnEqualTruthTableIsNotChanged) {
    AnalyserData data;
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    for (const char* same : {"I0 | I0", "(I0)", "i0", " 0 ", "I0 & T"}) {
        data.setSlotExpression(7, same);
        EXPECT_EQ(data.slotExpression(7), "I0") << same;
    }
    EXPECT_TRUE(rec.events.empty());

    data.setSlotExpression(0, "---"); // invalid texts are stored and announced
    data.setSlotExpression(0, "---");
    data.setSlotExpression(0, "F");
    EXPECT_EQ(data.slotExpression(0), "F");
    EXPECT_EQ(rec.events, (std::vector<Event>{{7, 0, 0}, {7, 0, 0}, {7, 0, 0}}));

    data.setSlotExpression(8, "I1");
    data.setSlotExpression(-1, "I1");
    EXPECT_EQ(data.slotExpression(8), "T");
    EXPECT_EQ(data.slotExpression(-1), "T");
    EXPECT_EQ(rec.events.size(), 3u);
}

TEST(AnalyserData, PatternExpressionsUseTheLetterP) {
    AnalyserData data;
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    data.setPatternExpression(1, "p0");
    EXPECT_EQ(data.patternExpression(1), "(P0)");
    data.setPatternExpression(1, "I0");
    data.setPatternExpression(2, "P1");
    EXPECT_EQ(data.patternExpression(1), "I0");
    EXPECT_EQ(data.patternExpression(2), "");
    EXPECT_EQ(rec.events, (std::vector<Event>{{5, 1, 0}}));
}

TEST(AnalyserData, Flag9WidensThePresetsAndNarrowsTheChannels) {
    AnalyserData data;
    data.SelectModule("QV000001", 'c');
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    data.setFlag9(true);
    EXPECT_EQ(slots(data), (std::vector<std::string>{"F", "F", "F", "(F) | I3", "F", "(F) | I3",
                                                     "F", "(I0) | I3"}));
    EXPECT_EQ(rec.events, (std::vector<Event>{{9, 1, 0}, {7, 7, 0}, {7, 5, 0}, {7, 3, 0}}));
    EXPECT_EQ(data.channels().size(), 16u);
    EXPECT_EQ(data.inputs().size(), 18u);

    rec.events.clear();
    data.setFlag9(true); // unchanged: nothing at all
    EXPECT_TRUE(rec.events.empty());

    // flag8 always clears flag9, even when flag8 itself stays.
    data.setFlag8(data.flag8());
    EXPECT_FALSE(data.flag9());
    EXPECT_EQ(rec.events.front(), (Event{9, 0, 0}));
    EXPECT_EQ(slots(data)[7], "I0");
    EXPECT_EQ(data.channels().size(), 18u);
}

TEST(AnalyserData, SettersNormaliseAndAnnounceOnlyChanges) {
    AnalyserData data;
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    data.setSetting2(0);    // -> 1
    data.setSetting2(-7);   // -> 1, unchanged
    data.setSetting2(4096); // -> 1023
    data.setSetting10(3);   // -> 8
    data.setSetting10(99);  // -> 25
    data.setSwitch(2, 1);   // no such switch
    data.setSwitch(0, 5);   // -> 0, unchanged
    data.setSwitch(1, 1);
    data.setPresetRow(9); // out of range
    data.setPresetRow(-1);
    data.setFlag3(true);             // unchanged
    data.SetAllowSimulations(false); // unchanged
    data.SetAllowSimulations(true);
    EXPECT_EQ(rec.events,
              (std::vector<Event>{
                  {2, 1, 0}, {2, 1023, 0}, {10, 8, 0}, {10, 25, 0}, {4, 1, 1}, {14, 1, 0}}));
    EXPECT_EQ(data.switchValue(1), 1);
    EXPECT_EQ(data.switchValue(5), 0);
}

TEST(AnalyserData, TriggerKindSetsSwitchesAndIsAlwaysAnnounced) {
    AnalyserData data;
    Recorder rec;
    data.AddListener(&Recorder::hear, &rec);
    data.setTriggerKind(7); // counts as 0: nothing else changes
    data.setTriggerKind(1);
    EXPECT_EQ(rec.events, (std::vector<Event>{{1, 0, 0}, {4, 0, 1}, {1, 1, 0}}));
    EXPECT_EQ(data.triggerKind(), 1);

    data.setTriggerKind(2);
    data.setPresetRow(5);
    rec.events.clear();
    data.setTriggerKind(0); // back to row 0 and table 1, switch 0 cleared
    EXPECT_EQ(data.presetRow(), 0);
    EXPECT_EQ(slots(data), (std::vector<std::string>{"F", "F", "F", "F", "F", "F", "F", "I0"}));
    EXPECT_EQ(rec.events.back(), (Event{1, 0, 0}));
}

TEST(AnalyserData, RunsSummariseTheCapture) {
    AnalyserCapture capture;
    capture.samples = {{0b01, 10}, {0b11, 5}, {0b10, 7}, {0b00, 3}, {0b10, 1}};
    AnalyserChannel single;
    single.index = 1;
    EXPECT_EQ(summariseRuns(single, capture),
              (std::vector<AnalyserRun>{{0, 10}, {1, 12}, {0, 3}, {1, 1}}));
    AnalyserChannel group;
    group.group = 1;
    group.members = {0, 1, 40};
    group.bitPositions = {1, 0, 2}; // input 40 does not exist
    EXPECT_EQ(summariseRuns(group, capture),
              (std::vector<AnalyserRun>{{2, 10}, {3, 5}, {1, 7}, {0, 3}, {1, 1}}));
    EXPECT_TRUE(summariseRuns(single, AnalyserCapture{}).empty());
}

TEST(AnalyserData, NewChannelsAreSummarisedFromTheCapture) {
    AnalyserData data;
    data.loadCapture({{1u << 20, 100}, {0, 50}});
    EXPECT_EQ(data.capture().sampleCount, 150);
    EXPECT_EQ(data.capture().recordCount, 2);
    EXPECT_EQ(data.channels()[0].runs, (std::vector<AnalyserRun>{{0, 150}}));
    data.SelectModule("QV000001", 'b');
    EXPECT_EQ(data.channels()[20].runs, (std::vector<AnalyserRun>{{1, 100}, {0, 50}}));
}

} // namespace
