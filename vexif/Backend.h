// One connected library session, whatever carries it: the built-in engine in
// this process (LocalBackend) or a vexcountd over TCP (RemoteBackend).
//
// vexif.cpp has already checked the handle, null pointers and the codes it
// can check without a module (counter type, edge, gate, channel codes,
// threshold range) before calling; a backend answers QV_ status codes and
// checks what needs the session's module (buffer capacity against the channel
// count, no module open). A failing call leaves its out arguments unspecified:
// vexif.cpp copies them to the caller only on QV_OK.
//
// Calls on one backend are serialised by vexif.cpp (never two at a time).
#pragma once

#include "Engine.h"
#include "Readings.h"
#include "vexif.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexif {

// One row of the module list as QV_ModInfo reports it.
struct ModuleRecord {
    std::string name;    // at most 8 characters
    char model = 0;      // 'r', 'o', 'c', 'b'
    char freeFlag = 't'; // 'f' free or held by this session, 't' taken by another
    char present = 0;    // 'p' present
};

using CountSettings = vexengine::CountSettings;
using LibraryMeasures = vexengine::LibraryMeasures;
using TimeBase = vexengine::TimeBase;

class Backend {
public:
    // Destroying a backend ends its session: the count is stopped and the
    // module released (QV_Finalize).
    virtual ~Backend() = default;

    // "name,version,start date,start time" of the server, uncut.
    virtual int32_t serverId(std::string& text) = 0;
    virtual int32_t moduleCount(int32_t& count) = 0;
    // index out of range: QV_ERR_NO_SUCH_MODULE.
    virtual int32_t moduleInfo(int32_t index, ModuleRecord& record) = 0;
    // name: 1..8 characters.
    virtual int32_t openModule(const std::string& name) = 0;
    virtual int32_t isModuleOpen(bool& open) = 0;
    virtual int32_t closeModule() = 0;
    // The capacities below count channels. A capacity below the open module's
    // channel count gives QV_ERR_BAD_ARGUMENT and has no effect (a refused pin
    // read does not count as a read).
    // pins: one character per channel.
    virtual int32_t pinStatus(int32_t capacity, std::string& pins) = 0;
    // which 0 or 1, tenthsOfVolt 8..25 (already checked).
    virtual int32_t setThreshold(int32_t which, int32_t tenthsOfVolt) = 0;
    // settings already checked (validRunArguments); channelCodes 8 characters.
    virtual int32_t startCount(const CountSettings& settings) = 0;
    virtual int32_t stopCount() = 0;
    // words: channel count + 1 entries: [0] bit 0 busy, [1 + i] state of channel i.
    virtual int32_t counterStatus(int32_t capacity, std::vector<uint32_t>& words) = 0;
    // counts: one per channel.
    virtual int32_t counts(int32_t capacity, std::vector<int64_t>& counts) = 0;

    // Beyond the 15: a server without these requests answers
    // QV_ERR_NOT_SUPPORTED.
    // measures: one per channel of the current or last count.
    virtual int32_t measures(int32_t capacity, std::vector<LibraryMeasures>& measures) = 0;
    // The open module's time base, as vexengine::libraryTimeBase gives it.
    virtual int32_t timeBase(TimeBase& timeBase) = 0;
    // The device problems, each line ended by '\n'; "" when there are none.
    virtual int32_t deviceProblems(std::string& text) = 0;
};

} // namespace vexif
