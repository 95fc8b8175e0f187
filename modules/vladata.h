// vladata: AnalyserData, the data model of a logic-analyser module and its
// captures. It holds the selected module (name and model code), the model's
// capabilities as the device library describes them, the inputs, display
// channels and markers of a capture, the trigger expressions and a set of
// acquisition settings, and it announces every change to its listeners by an
// event code (AnalyserEvent). Plain C++; GUI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Colours in the toolkit's encoding: top byte 0xFF names a system colour
// (0xFF000005 window background, 0xFF00000F button face); anything else is
// RGB with red in bits 0..7, green in bits 8..15 and blue in bits 16..23.
using AnalyserColour = uint32_t;

namespace AnalyserColours {
inline constexpr AnalyserColour kWindowBackground = 0xFF000005;
inline constexpr AnalyserColour kButtonFace = 0xFF00000F;
inline constexpr AnalyserColour kBlack = 0x00000000;
inline constexpr AnalyserColour kRed = 0x000000FF;

// Marker i takes entry i mod 8.
inline constexpr std::array<AnalyserColour, 8> kMarkerTable = {
    0x000000FF, // red
    0x00FF0000, // blue
    0x00008000, // green
    0x0000FF00, // lime
    0x0000FFFF, // yellow
    0x00FFFFFF, // white
    0x00800080, // purple
    0x00808080, // grey
};

// Inputs and channels: entry i mod 18 (inputs: i mod 8 above 18 inputs).
inline constexpr std::array<AnalyserColour, 18> kChannelTable = {
    0x000000FF, 0x004080FF, 0x0000FFFF, 0x00008000, 0x00FF0000, 0x00800080, // red .. purple
    0x00808080, 0x00FFFFFF, 0x00004080,                                     // grey, white, brown
    0x000000FF, 0x004080FF, 0x0000FFFF, 0x00008000, 0x00FF0000, 0x00800080, // entries 0..7
    0x00808080, 0x00FFFFFF,                                                 //   again
    0x00000000,                                                             // black
};
} // namespace AnalyserColours

// Event codes sent to the listeners as (code, value, extra).
namespace AnalyserEvent {
enum : int32_t {
    ModuleChanged = 0,     // (0, 0, 0): module name set or cleared
    TriggerKind = 1,       // (1, kind, 0): always sent by the trigger-kind setter
    Setting2 = 2,          // (2, new value, 0)
    Flag3 = 3,             // (3, 0 or 1, 0)
    Switch = 4,            // (4, switch index, new value)
    PatternExpression = 5, // (5, index, 0)
    PresetRow = 6,         // (6, row, 0)
    SlotExpression = 7,    // (7, index, 0)
    Flag8 = 8,             // (8, 0 or 1, 0)
    Flag9 = 9,             // (9, 0 or 1, 0)
    Setting10 = 10,        // (10, new value, 0)
    Flag11 = 11,           // (11, 0 or 1, 0)
    AllowSimulations = 14, // (14, 0 or 1, 0)
};
} // namespace AnalyserEvent

struct AnalyserMarker {
    int32_t index = 0;
    bool shown = false;
    AnalyserColour colour = 0;
    int64_t position = 0; // samples
    std::string name;
};

struct AnalyserInput {
    int32_t index = 0;
    std::string name;
    AnalyserColour colour = 0;
};

// A stretch of equal channel values in the capture.
struct AnalyserRun {
    uint32_t value = 0;
    int64_t length = 0; // samples

    friend bool operator==(const AnalyserRun&, const AnalyserRun&) = default;
};

struct AnalyserChannel {
    std::vector<AnalyserRun> runs; // summary of the capture store
    uint8_t group = 0;             // 0: the channel shows input `index`
    int32_t index = 0;
    std::string name = "no name";
    AnalyserColour colour = 0;
    std::vector<int32_t> members;      // inputs of a group channel
    std::vector<int32_t> bitPositions; // where each member lands in the value
};

// One sample record: one bit per input, held for `length` samples.
struct AnalyserSample {
    uint32_t word = 0;
    int64_t length = 0;
};

struct AnalyserCapture {
    int32_t id = 12345678;
    std::vector<AnalyserSample> samples;
    int32_t recordCount = 0;
    int64_t sampleCount = 0; // total length in samples
    int32_t counter = 0;
};

// Run list of one channel over the capture: a one-input channel takes the
// word's bit of its input, a group ORs each member input's bit shifted to its
// bit position. Inputs and positions outside 0..31 contribute nothing.
std::vector<AnalyserRun> summariseRuns(const AnalyserChannel& channel,
                                       const AnalyserCapture& capture);

// Called as function(context, event, value, extra).
using AnalyserDataListenerFn = void (*)(void* context, int32_t event, int32_t value, int32_t extra);
struct AnalyserDataListener {
    AnalyserDataListenerFn function = nullptr;
    void* context = nullptr;
};
// Called with the context alone after every resize of the channel list.
using AnalyserLayoutListenerFn = void (*)(void* context);
struct AnalyserLayoutListener {
    AnalyserLayoutListenerFn function = nullptr;
    void* context = nullptr;
};

// The marker list: eight markers "T", "M1" .. "M7" at (i + 1) * 2000 / 9.
class AnalyserMarkerList {
public:
    static constexpr int kMarkerCount = 8;
    AnalyserMarkerList();
    virtual ~AnalyserMarkerList() = default;
    const std::vector<AnalyserMarker>& markers() const { return m_markers; }

protected:
    std::vector<AnalyserMarker> m_markers;
};

class AnalyserData : public AnalyserMarkerList {
public:
    // Loads the description of model 'o' through a short-lived library
    // handle; a library failure propagates as TModIfError.
    AnalyserData();
    ~AnalyserData() override;
    AnalyserData(const AnalyserData&) = delete;
    AnalyserData& operator=(const AnalyserData&) = delete;

    // Listeners are called in registration order and never removed; they may
    // call back into this object. A null function is not registered.
    void AddListener(AnalyserDataListenerFn function, void* context);
    void addLayoutListener(AnalyserLayoutListenerFn function, void* context);
    void Notify(int32_t event, int32_t value, int32_t extra);

    // Takes a module name of exactly 8 characters beginning with "QV" or
    // "GM" (others are ignored); an empty name clears the selection. Sends
    // ModuleChanged when the name changed. May throw TModIfError from
    // SetModelCode, after which the new name and code stay and no event is
    // sent.
    void SelectModule(std::string_view name, char modelCode);
    // Loads the description of `code` unless it is 'u' or the current code;
    // true when it did. Throws TModIfError when the library fails.
    bool SetModelCode(char code);
    void SetAllowSimulations(bool allow);
    // Refills the eight trigger slots from the preset tables.
    void ApplyPresets();

    // Acquisition settings: each stores a normalised value and sends its
    // event only when the value changed (the trigger kind always sends).
    void setTriggerKind(int kind);   // 0, 1, 2; others count as 0
    void setSetting2(int32_t value); // clamped to 1..1023
    void setFlag3(bool value);
    void setSwitch(int index, int32_t value);               // index 0 or 1; value 0 or 1
    void setPatternExpression(int index, std::string text); // index 0 or 1
    void setPresetRow(int32_t row);                         // 0..8
    void setSlotExpression(int index, std::string text);    // index 0..7
    void setFlag8(bool value);                              // then flag9 = false
    void setFlag9(bool value);
    void setSetting10(int32_t value); // clamped to 8..25
    void setFlag11(bool value);

    // Resizes and renumbers the inputs; n < 0 does nothing.
    void resizeInputs(int32_t n);
    // Resizes the display channels (new ones summarised from the capture)
    // and calls the layout listeners; n < 0 or the current count does nothing.
    void resizeChannels(int32_t n);
    // Channel count after a flag9 change: 'c' 16 or 18, 'b' 30 or 32.
    void setChannelCountByModel();
    // Stores a capture and rebuilds every channel's runs. Nothing in the
    // counter program captures; this is the way in for tools and tests.
    void loadCapture(std::vector<AnalyserSample> samples);

    const std::string& moduleName() const { return m_moduleName; }
    char modelCode() const { return m_modelCode; }
    char defaultModelCode() const { return m_defaultModelCode; }
    bool allowSimulations() const { return m_allowSimulations; }
    const std::array<AnalyserColour, 5>& colours() const { return m_colours; }
    int64_t samplePosition() const { return m_samplePosition; }
    int32_t indexA() const { return m_indexA; }
    int32_t indexB() const { return m_indexB; }
    int32_t setting10() const { return m_setting10; }
    bool flag11() const { return m_flag11; }
    bool flag8() const { return m_flag8; }
    bool flag9() const { return m_flag9; }
    int triggerKind() const { return m_triggerKind; }
    int32_t setting2() const { return m_setting2; }
    bool flag3() const { return m_flag3; }
    int32_t switchValue(int index) const; // 0 for an index other than 0, 1
    // The stored text; "" for an index other than 0, 1.
    const std::string& patternExpression(int index) const;
    int32_t presetRow() const { return m_presetRow; }
    // The stored text; "T" for an index outside 0..7.
    const std::string& slotExpression(int index) const;
    const AnalyserCapture& capture() const { return m_capture; }
    const std::vector<AnalyserChannel>& channels() const { return m_channels; }
    const std::vector<AnalyserInput>& inputs() const { return m_inputs; }
    std::size_t listenerCount() const { return m_listeners.size(); }

private:
    std::string m_moduleName;
    char m_modelCode = 0;
    char m_defaultModelCode = 0;
    std::array<AnalyserColour, 5> m_colours = {};
    int64_t m_samplePosition = 0;
    int32_t m_indexA = 0;
    int32_t m_setting10 = 0;
    bool m_flag11 = false;
    int32_t m_indexB = 0;
    bool m_flag8 = false;
    bool m_flag9 = false;
    bool m_allowSimulations = false;
    uint8_t m_triggerKind = 0;
    int32_t m_setting2 = 0;
    bool m_flag3 = false;
    std::array<int32_t, 2> m_switches = {};
    std::array<std::string, 2> m_patternExpressions;
    int32_t m_presetRow = 0;
    std::array<std::string, 8> m_slotExpressions;
    AnalyserCapture m_capture;
    std::vector<AnalyserChannel> m_channels;
    std::vector<AnalyserInput> m_inputs;
    std::vector<AnalyserLayoutListener> m_layoutListeners;
    std::vector<AnalyserDataListener> m_listeners;
};
