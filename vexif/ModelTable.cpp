// The static model table behind QV_Info. README.md lists the values.
#include "ModelTable.h"

#include <cstring>

namespace vexif {
namespace {

struct ModelRow {
    char code;
    int32_t channels;
    int32_t samples;       // capture memory, samples
    int32_t rateKHz;       // highest sample rate, kHz
    int32_t thresholdMin;  // tenths of a volt
    int32_t thresholdMax;  // tenths of a volt
    bool adjustable;       // byte 36 bit 0
    bool extendedTriggers; // byte 40 bit 1
    const char* name;
};

// 'r' has a fixed 1.4 V threshold; the larger models have the extended
// trigger unit.
constexpr ModelRow kModels[] = {
    {'r', 8, 65536, 100000, 14, 14, false, false, "Vex8"},
    {'o', 16, 131072, 200000, 8, 25, true, false, "Vex16"},
    {'c', 18, 262144, 200000, 8, 25, true, true, "Vex18e"},
    {'b', 32, 1048576, 500000, 8, 25, true, true, "Glimbur K34"},
};

constexpr int32_t kCounterClockHz = 100000000; // period counter clock, 100 MHz
constexpr int32_t kArmChannels = 8;            // channels 0..7 carry channel codes

const ModelRow* findModel(int32_t code) {
    for (const ModelRow& row : kModels)
        if (row.code == code) return &row;
    return nullptr;
}

} // namespace

bool fillModelInfo(int32_t modelCode, QV_ModuleInfo* info) {
    const ModelRow* row = findModel(modelCode);
    if (!row) return false;
    QV_ModuleInfo out;
    std::memset(&out, 0, sizeof out);
    out.channelCount = row->channels;
    out.sampleCount = row->samples;
    out.modelCode = row->code;
    out.sampleRateKHz = row->rateKHz;
    out.thresholdMin = row->thresholdMin;
    out.thresholdMax = row->thresholdMax;
    out.armChannels = kArmChannels;
    out.counterClockHz = kCounterClockHz;
    out.thresholdFlags = row->adjustable ? 1 : 0;
    out.featureFlags = row->extendedTriggers ? 2 : 0;
    std::strncpy(out.modelName, row->name, sizeof out.modelName - 1);
    *info = out;
    return true;
}

int32_t modelChannelCount(int32_t modelCode) {
    const ModelRow* row = findModel(modelCode);
    return row ? row->channels : 0;
}

} // namespace vexif
