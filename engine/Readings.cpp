// The library's measures of a session's count, read from the engine.
#include "Readings.h"

namespace vexengine {

Result readLibraryMeasures(Engine& engine, SessionId session, int capacity,
                           std::vector<LibraryMeasures>& measures) {
    int channels = 0;
    if (Result r = engine.channelCount(session, channels); r != Result::ok) return r;
    if (capacity < channels) return Result::badArgument;
    CountSettings settings;
    CounterStatus status;
    std::vector<int64_t> counts;
    std::vector<ChannelMeasures> engineMeasures;
    if (Result r = engine.countSettings(session, settings); r != Result::ok) return r;
    if (Result r = engine.counterStatus(session, channels, status); r != Result::ok) return r;
    if (Result r = engine.counts(session, channels, counts); r != Result::ok) return r;
    if (Result r = engine.measures(session, engineMeasures); r != Result::ok) return r;
    measures.clear();
    for (size_t i = 0; i < engineMeasures.size(); ++i)
        measures.push_back(
            libraryMeasures(engineMeasures[i], settings.counterType,
                            i < status.channelStates.size() ? status.channelStates[i] : 0,
                            i < counts.size() ? counts[i] : 0));
    return Result::ok;
}

} // namespace vexengine
