// AnalyserData on the real device library: construction, module selection,
// setters and their events, listeners, inputs, channels and trigger presets.
#include "modules/vladata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Event = std::tuple<int32_t, int32_t, int32_t>; // code, value, extra
using Events = std::vector<Event>;
using Slots = std::vector<std::string>;

// Records every event it hears; with `shared`, also into a log common to
// several recorders, tagged to tell them apart.
struct Recorder {
    Events events;
    std::vector<std::pair<char, Event>>* shared = nullptr;
    char tag = '?';

    static void hear(void* context, int32_t event, int32_t value, int32_t extra) {
        auto* self = static_cast<Recorder*>(context);
        self->events.emplace_back(event, value, extra);
        if (self->shared) self->shared->emplace_back(self->tag, Event{event, value, extra});
    }
    int count(int32_t code) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [code](const Event& e) {
            return std::get<0>(e) == code;
        }));
    }
};

Slots slots(const AnalyserData& data) {
    Slots out;
    for (int i = 0; i < 8; ++i)
        out.push_back(data.slotExpression(i));
    return out;
}

const Slots kTable1 = {"F", "F", "F", "F", "F", "F", "F", "I0"};

// A data model with a recorder listening, optionally with a module selected
// before the recorder starts listening.
struct Recorded {
    explicit Recorded(const char* name = nullptr, char code = 'c') {
        if (name) data.SelectModule(name, code);
        data.AddListener(&Recorder::hear, &rec);
    }
    AnalyserData data;
    Recorder rec;
};

TEST(AnalyserData, ConstructionLoadsTheDefaultModel) {
    AnalyserData data;
    EXPECT_EQ(data.moduleName(), "");
    EXPECT_EQ(data.modelCode(), 'o');
    EXPECT_EQ(slots(data), kTable1);
    EXPECT_EQ(data.patternExpression(1), "(P0)");
    EXPECT_EQ(data.samplePosition(), -1);
    EXPECT_EQ(data.inputs().size(), 16u);
    EXPECT_EQ(data.channels().size(), 16u);
    const AnalyserMarker& first = data.markers().front();
    const AnalyserMarker& last = data.markers().back();
    EXPECT_EQ(std::tie(first.position, first.name), std::make_tuple(222, std::string("T")));
    EXPECT_EQ(std::tie(last.position, last.name, last.colour),
              std::make_tuple(1777, std::string("M7"), 0x00808080u));
}

TEST(AnalyserData, SelectModuleTakesOnlyEightCharacterQvOrGmNames) {
    Recorded r;
    for (const char* name : {"QV00001", "QV0000001", "XX000001", "qv000001", "Q", "GMx"}) {
        r.data.SelectModule(name, 'c');
        EXPECT_EQ(r.data.moduleName(), "") << name;
        EXPECT_EQ(r.data.modelCode(), 'o') << name;
    }
    EXPECT_TRUE(r.rec.events.empty());

    r.data.SelectModule("GM000001", 'c');
    EXPECT_EQ(r.data.moduleName(), "GM000001");
    EXPECT_EQ(r.data.modelCode(), 'c');
    EXPECT_EQ(r.data.inputs().size(), 18u);
    EXPECT_EQ(r.rec.count(AnalyserEvent::ModuleChanged), 1);
    EXPECT_EQ(r.rec.events.back(), (Event{0, 0, 0}));
    r.data.SelectModule("QV00001", 'r'); // a rejected name leaves the taken one
    EXPECT_EQ(r.data.moduleName(), "GM000001");
}

TEST(AnalyserData, SameNameChangesNothingAndClearingKeepsTheModel) {
    Recorded r("QV000001");
    r.data.SelectModule("QV000001", 'b');
    EXPECT_EQ(r.data.modelCode(), 'c');
    EXPECT_TRUE(r.rec.events.empty());

    r.data.SelectModule("", 'u');
    r.data.SelectModule("", 'u'); // already clear
    EXPECT_EQ(r.data.moduleName(), "");
    EXPECT_EQ(r.data.modelCode(), 'c');
    EXPECT_EQ(r.data.inputs().size(), 18u);
    EXPECT_EQ(r.rec.events, (Events{{0, 0, 0}}));
}

TEST(AnalyserData, TriggerEventsReachEveryListenerInRegistrationOrder) {
    AnalyserData data;
    std::vector<std::pair<char, Event>> heard;
    Recorder a{{}, &heard, 'A'};
    Recorder b{{}, &heard, 'B'};
    data.AddListener(&Recorder::hear, &a);
    data.AddListener(&Recorder::hear, &b);

    data.setTriggerKind(2); // row 0 of table 3: only slot 7 differs
    data.setPresetRow(3);
    const Events expected = {{7, 7, 0}, {1, 2, 0},                                  // kind 2
                             {6, 3, 0}, {7, 0, 0}, {7, 2, 0}, {7, 3, 0}, {7, 4, 0}, // row 3
                             {7, 5, 0}, {7, 6, 0}, {7, 7, 0}, {3, 0, 0}};
    ASSERT_EQ(heard.size(), 2 * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(heard[2 * i], (std::pair<char, Event>{'A', expected[i]})) << i;
        EXPECT_EQ(heard[2 * i + 1], (std::pair<char, Event>{'B', expected[i]})) << i;
    }
    EXPECT_EQ(slots(data), (Slots{"I2", "F", "I0", "I2", "!I0", "I2", "I0", "F"}));
    EXPECT_FALSE(data.flag3());

    // Kind 0 returns to row 0 of table 1 and clears switch 0; an unknown kind
    // counts as 0 and is still announced; kind 1 sets switch 0.
    data.setTriggerKind(0);
    EXPECT_EQ(data.presetRow(), 0);
    EXPECT_EQ(slots(data), kTable1);
    a.events.clear();
    data.setTriggerKind(7);
    data.setTriggerKind(1);
    EXPECT_EQ(a.events, (Events{{1, 0, 0}, {4, 0, 1}, {1, 1, 0}}));
    EXPECT_EQ(data.triggerKind(), 1);
}

// The selection group answers event 0 by handing its selection over again; a
// listener may also register more listeners while the list is being walked.
TEST(AnalyserData, ListenersMayCallBackIntoTheModel) {
    struct Group {
        AnalyserData* data;
        int heard = 0;
        Recorder spawned;
        static void changed(void* context, int32_t event, int32_t, int32_t) {
            auto* self = static_cast<Group*>(context);
            if (event == AnalyserEvent::AllowSimulations)
                self->data->AddListener(&Recorder::hear, &self->spawned);
            if (event != AnalyserEvent::ModuleChanged) return;
            ++self->heard;
            self->data->SelectModule(self->data->moduleName(), 'b');
        }
    };
    AnalyserData data;
    Group group{&data, 0, {}};
    Recorder window;
    data.AddListener(&Group::changed, &group);
    data.AddListener(&Recorder::hear, &window);
    data.SelectModule("QV000001", 'c');
    EXPECT_EQ(group.heard, 1);
    EXPECT_EQ(window.count(AnalyserEvent::ModuleChanged), 1);
    EXPECT_EQ(data.modelCode(), 'c');

    data.SetAllowSimulations(true);
    EXPECT_EQ(group.spawned.events, (Events{{14, 1, 0}}));
}

TEST(AnalyserData, MoreThanEighteenInputsUseTheFirstEightColours) {
    AnalyserData data;
    data.SelectModule("QV000032", 'b');
    ASSERT_EQ(data.inputs().size(), 32u);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(data.inputs()[i].colour, AnalyserColours::kChannelTable[i % 8]) << i;
        EXPECT_EQ(data.inputs()[i].name, "Channel " + std::to_string(i));
    }
    // Channels keep the whole table: 17 is black, 18 starts over.
    ASSERT_EQ(data.channels().size(), 32u);
    EXPECT_EQ(data.channels()[17].colour, AnalyserColours::kBlack);
    EXPECT_EQ(data.channels()[18].colour, AnalyserColours::kChannelTable[0]);

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
    Recorded r;
    for (const char* same : {"I0 | I0", "(I0)", "i0", " 0 ", "I0 & T"}) {
        r.data.setSlotExpression(7, same);
        EXPECT_EQ(r.data.slotExpression(7), "I0") << same;
    }
    EXPECT_TRUE(r.rec.events.empty());

    r.data.setSlotExpression(0, "---"); // invalid texts are stored and announced
    r.data.setSlotExpression(0, "---");
    r.data.setSlotExpression(0, "F");
    EXPECT_EQ(r.data.slotExpression(0), "F");
    r.data.setSlotExpression(8, "I1");
    r.data.setSlotExpression(-1, "I1");
    EXPECT_EQ(r.data.slotExpression(8), "T");
    EXPECT_EQ(r.data.slotExpression(-1), "T");
    EXPECT_EQ(r.rec.events, (Events{{7, 0, 0}, {7, 0, 0}, {7, 0, 0}}));

    // Pattern expressions compile with the letter P.
    r.rec.events.clear();
    r.data.setPatternExpression(1, "p0");
    EXPECT_EQ(r.data.patternExpression(1), "(P0)");
    r.data.setPatternExpression(1, "I0");
    r.data.setPatternExpression(2, "P1");
    EXPECT_EQ(r.data.patternExpression(1), "I0");
    EXPECT_EQ(r.data.patternExpression(2), "");
    EXPECT_EQ(r.rec.events, (Events{{5, 1, 0}}));
}

TEST(AnalyserData, Flag9WidensThePresetsAndNarrowsTheChannels) {
    Recorded r("QV000001");
    r.data.setFlag9(true);
    EXPECT_EQ(slots(r.data), (Slots{"F", "F", "F", "(F) | I3", "F", "(F) | I3", "F", "(I0) | I3"}));
    EXPECT_EQ(r.rec.events, (Events{{9, 1, 0}, {7, 7, 0}, {7, 5, 0}, {7, 3, 0}}));
    EXPECT_EQ(r.data.channels().size(), 16u);
    EXPECT_EQ(r.data.inputs().size(), 18u);

    r.rec.events.clear();
    r.data.setFlag9(true); // unchanged: nothing at all
    EXPECT_TRUE(r.rec.events.empty());

    // flag8 always clears flag9, even when flag8 itself stays.
    r.data.setFlag8(r.data.flag8());
    EXPECT_FALSE(r.data.flag9());
    EXPECT_EQ(r.rec.events.front(), (Event{9, 0, 0}));
    EXPECT_EQ(slots(r.data)[7], "I0");
    EXPECT_EQ(r.data.channels().size(), 18u);
}

TEST(AnalyserData, SettersNormaliseAndAnnounceOnlyChanges) {
    Recorded r;
    AnalyserData& data = r.data;
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
    EXPECT_EQ(r.rec.events,
              (Events{{2, 1, 0}, {2, 1023, 0}, {10, 8, 0}, {10, 25, 0}, {4, 1, 1}, {14, 1, 0}}));
    EXPECT_EQ(data.switchValue(1), 1);
    EXPECT_EQ(data.switchValue(5), 0);
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

    // Channels added later are summarised from the stored capture.
    AnalyserData data;
    data.loadCapture({{1u << 20, 100}, {0, 50}});
    EXPECT_EQ(data.capture().sampleCount, 150);
    EXPECT_EQ(data.channels()[0].runs, (std::vector<AnalyserRun>{{0, 150}}));
    data.SelectModule("QV000001", 'b');
    EXPECT_EQ(data.channels()[20].runs, (std::vector<AnalyserRun>{{1, 100}, {0, 50}}));
}

} // namespace
