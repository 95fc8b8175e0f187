// vladata: AnalyserData, its marker list, the run summary of the capture
// store and the model description loading.
#include "vladata.h"

#include "TModIfCpp.h"
#include "TriggerExpression.h"

#include <algorithm>

namespace {

constexpr char kNoModel = 'u';

// Bit `bit` of a sample word; bits outside the word are 0.
uint32_t bitOf(uint32_t word, int32_t bit) {
    return bit >= 0 && bit < 32 ? (word >> bit) & 1u : 0u;
}

bool takesModuleName(std::string_view name) {
    return name.size() == 8 && (name.starts_with("QV") || name.starts_with("GM"));
}

std::string channelName(int32_t i) {
    return "Channel " + std::to_string(i);
}

} // namespace

std::vector<AnalyserRun> summariseRuns(const AnalyserChannel& channel,
                                       const AnalyserCapture& capture) {
    std::vector<AnalyserRun> runs;
    const std::size_t members = std::min(channel.members.size(), channel.bitPositions.size());
    for (const AnalyserSample& sample : capture.samples) {
        uint32_t value = 0;
        if (channel.group == 0) {
            value = bitOf(sample.word, channel.index);
        } else {
            for (std::size_t m = 0; m < members; ++m) {
                const int32_t position = channel.bitPositions[m];
                if (position >= 0 && position < 32)
                    value |= bitOf(sample.word, channel.members[m]) << position;
            }
        }
        if (!runs.empty() && runs.back().value == value)
            runs.back().length += sample.length;
        else
            runs.push_back({value, sample.length});
    }
    return runs;
}

AnalyserMarkerList::AnalyserMarkerList() {
    m_markers.reserve(kMarkerCount);
    for (int32_t i = 0; i < kMarkerCount; ++i) {
        AnalyserMarker marker;
        marker.index = i;
        marker.shown = i < 2;
        marker.colour = AnalyserColours::kMarkerTable[i % 8];
        marker.position = (int64_t{i} + 1) * 2000 / 9;
        // Appending rather than "M" + to_string(i) keeps GCC 12 from a false
        // -Wrestrict warning in optimised builds.
        marker.name = i == 0 ? std::string("T") : std::string("M").append(std::to_string(i));
        m_markers.push_back(std::move(marker));
    }
}

AnalyserData::AnalyserData() {
    m_patternExpressions.fill("---");
    m_slotExpressions.fill("---");
    m_setting10 = -1;
    m_indexA = -1;
    m_indexB = -1;
    m_flag11 = true;
    m_modelCode = kNoModel;
    m_defaultModelCode = 'o';
    m_moduleName = "unknown";
    // Clears the placeholder name and loads the default model description.
    SelectModule("", m_defaultModelCode);
    m_colours = {AnalyserColours::kWindowBackground, AnalyserColours::kBlack,
                 AnalyserColours::kButtonFace, AnalyserColours::kBlack, AnalyserColours::kRed};
}

// Listeners are not owned and are not told that the model goes away.
AnalyserData::~AnalyserData() = default;

void AnalyserData::AddListener(AnalyserDataListenerFn function, void* context) {
    if (function) m_listeners.push_back({function, context});
}

void AnalyserData::addLayoutListener(AnalyserLayoutListenerFn function, void* context) {
    if (function) m_layoutListeners.push_back({function, context});
}

void AnalyserData::Notify(int32_t event, int32_t value, int32_t extra) {
    // By index, on a copy: a listener may register another listener (which
    // may reallocate the list) or set values that notify again.
    for (std::size_t i = 0; i < m_listeners.size(); ++i) {
        const AnalyserDataListener listener = m_listeners[i];
        listener.function(listener.context, event, value, extra);
    }
}

void AnalyserData::SelectModule(std::string_view name, char modelCode) {
    bool changed = false;
    if (name.empty()) {
        changed = !m_moduleName.empty();
        m_moduleName.clear();
        // With 'u' the model description stays as it is.
        changed = SetModelCode(modelCode) || changed;
    } else {
        if (!takesModuleName(name) || name == m_moduleName) return;
        m_moduleName = std::string(name);
        SetModelCode(modelCode);
        changed = true;
    }
    if (changed) Notify(AnalyserEvent::ModuleChanged, 0, 0);
}

bool AnalyserData::SetModelCode(char code) {
    if (code == m_modelCode || code == kNoModel) return false;
    m_modelCode = code;
    setSetting2(5);
    setTriggerKind(0);

    QV_ModuleInfo info{};
    {
        // A handle of our own just for the lookup; it is finalised when the
        // block is left, also when QV_Info fails.
        TModIfCpp library;
        check(QV_Info(static_cast<int32_t>(static_cast<signed char>(code)), &info,
                      QV_MODULE_INFO_BYTES));
    }

    setFlag8((info.featureFlags & 2) != 0);
    const int64_t half = info.sampleCount / 2;
    m_samplePosition = half >= 0 && half < m_capture.sampleCount ? half : m_capture.sampleCount - 1;
    resizeInputs(info.channelCount);
    resizeChannels(info.channelCount);
    setSetting10(14);
    setFlag11((info.thresholdFlags & 1) != 0);
    return true;
}

void AnalyserData::SetAllowSimulations(bool allow) {
    if (allow == m_allowSimulations) return;
    m_allowSimulations = allow;
    Notify(AnalyserEvent::AllowSimulations, allow ? 1 : 0, 0);
}

void AnalyserData::ApplyPresets() {
    const TriggerPresetRow& presets = TriggerPresets::forKind(m_triggerKind, m_presetRow);
    for (int slot = 0; slot < kTriggerSlots; ++slot)
        setSlotExpression(slot, std::string(presets[slot]));
    if (m_flag9) {
        for (const int slot : {7, 5, 3})
            setSlotExpression(slot, "(" + m_slotExpressions[slot] + ") | I3");
    }
    setFlag3(!(m_triggerKind == 2 && m_presetRow == 3));
}

void AnalyserData::setTriggerKind(int kind) {
    if (kind != 1 && kind != 2) kind = 0;
    m_triggerKind = static_cast<uint8_t>(kind);
    setSwitch(0, kind == 1 ? 1 : 0);
    setSwitch(1, 0);
    setPresetRow(0);
    ApplyPresets();
    setPatternExpression(0, "(P0)");
    setPatternExpression(1, "(P0)");
    Notify(AnalyserEvent::TriggerKind, kind, 0);
}

void AnalyserData::setSetting2(int32_t value) {
    value = std::clamp(value, 1, 1023);
    if (value == m_setting2) return;
    m_setting2 = value;
    Notify(AnalyserEvent::Setting2, value, 0);
}

void AnalyserData::setFlag3(bool value) {
    if (value == m_flag3) return;
    m_flag3 = value;
    Notify(AnalyserEvent::Flag3, value ? 1 : 0, 0);
}

void AnalyserData::setSwitch(int index, int32_t value) {
    if (index != 0 && index != 1) return;
    if (value != 1) value = 0;
    if (value == m_switches[index]) return;
    m_switches[index] = value;
    Notify(AnalyserEvent::Switch, index, value);
}

namespace {
// An invalid old or new text always counts as a change.
bool sameTruthTable(std::string_view oldText, std::string_view newText, char letter) {
    const CompiledExpression before = CompileExpression(oldText, letter);
    const CompiledExpression after = CompileExpression(newText, letter);
    return before.valid && after.valid && before.value == after.value;
}
} // namespace

void AnalyserData::setPatternExpression(int index, std::string text) {
    if (index != 0 && index != 1) return;
    if (sameTruthTable(m_patternExpressions[index], text, 'P')) return;
    m_patternExpressions[index] = std::move(text);
    Notify(AnalyserEvent::PatternExpression, index, 0);
}

void AnalyserData::setPresetRow(int32_t row) {
    if (row < 0 || row >= kPresetRows || row == m_presetRow) return;
    m_presetRow = row;
    Notify(AnalyserEvent::PresetRow, row, 0);
    ApplyPresets();
}

void AnalyserData::setSlotExpression(int index, std::string text) {
    if (index < 0 || index >= kTriggerSlots) return;
    if (sameTruthTable(m_slotExpressions[index], text, 'I')) return;
    m_slotExpressions[index] = std::move(text);
    Notify(AnalyserEvent::SlotExpression, index, 0);
}

void AnalyserData::setFlag8(bool value) {
    if (value != m_flag8) {
        m_flag8 = value;
        Notify(AnalyserEvent::Flag8, value ? 1 : 0, 0);
    }
    setFlag9(false);
}

void AnalyserData::setFlag9(bool value) {
    if (value == m_flag9) return;
    m_flag9 = value;
    Notify(AnalyserEvent::Flag9, value ? 1 : 0, 0);
    ApplyPresets();
    setChannelCountByModel();
}

void AnalyserData::setSetting10(int32_t value) {
    value = std::clamp(value, 8, 25);
    if (value == m_setting10) return;
    m_setting10 = value;
    Notify(AnalyserEvent::Setting10, value, 0);
}

void AnalyserData::setFlag11(bool value) {
    if (value == m_flag11) return;
    m_flag11 = value;
    Notify(AnalyserEvent::Flag11, value ? 1 : 0, 0);
}

void AnalyserData::resizeInputs(int32_t n) {
    if (n < 0) return;
    m_inputs.resize(static_cast<std::size_t>(n));
    // Up to 18 inputs every input has a colour of its own; above that the
    // first eight colours repeat, so neighbours stay distinguishable.
    const int32_t period = n <= 18 ? 18 : 8;
    for (int32_t i = 0; i < n; ++i) {
        AnalyserInput& input = m_inputs[static_cast<std::size_t>(i)];
        input.index = i;
        input.colour = AnalyserColours::kChannelTable[static_cast<std::size_t>(i % period)];
        if (input.name.empty()) input.name = channelName(i);
    }
}

void AnalyserData::resizeChannels(int32_t n) {
    if (n < 0 || static_cast<std::size_t>(n) == m_channels.size()) return;
    if (static_cast<std::size_t>(n) < m_channels.size()) {
        m_channels.resize(static_cast<std::size_t>(n));
    } else {
        m_channels.reserve(static_cast<std::size_t>(n));
        for (auto i = static_cast<int32_t>(m_channels.size()); i < n; ++i) {
            AnalyserChannel channel;
            channel.group = 0;
            channel.index = i;
            channel.colour = AnalyserColours::kChannelTable[static_cast<std::size_t>(i % 18)];
            channel.name = channelName(i);
            channel.runs = summariseRuns(channel, m_capture);
            m_channels.push_back(std::move(channel));
        }
    }
    for (std::size_t i = 0; i < m_layoutListeners.size(); ++i) {
        const AnalyserLayoutListener listener = m_layoutListeners[i];
        listener.function(listener.context);
    }
}

void AnalyserData::setChannelCountByModel() {
    const bool reduced = m_flag9 || m_indexA == 0 || m_indexA == 29 || m_indexA == 30;
    if (m_modelCode == 'c')
        resizeChannels(reduced ? 16 : 18);
    else if (m_modelCode == 'b')
        resizeChannels(reduced ? 30 : 32);
}

void AnalyserData::loadCapture(std::vector<AnalyserSample> samples) {
    int64_t total = 0;
    for (const AnalyserSample& sample : samples)
        total += sample.length;
    m_capture.samples = std::move(samples);
    m_capture.recordCount = static_cast<int32_t>(m_capture.samples.size());
    m_capture.sampleCount = total;
    for (AnalyserChannel& channel : m_channels)
        channel.runs = summariseRuns(channel, m_capture);
}

int32_t AnalyserData::switchValue(int index) const {
    return index == 0 || index == 1 ? m_switches[static_cast<std::size_t>(index)] : 0;
}

const std::string& AnalyserData::patternExpression(int index) const {
    static const std::string none;
    return index == 0 || index == 1 ? m_patternExpressions[static_cast<std::size_t>(index)] : none;
}

const std::string& AnalyserData::slotExpression(int index) const {
    static const std::string outside = "T";
    return index >= 0 && index < kTriggerSlots ? m_slotExpressions[static_cast<std::size_t>(index)]
                                               : outside;
}
