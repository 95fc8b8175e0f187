// fakevexif: a scripted stand-in for libvexif, for tests of failure paths.
//
// Link `vexif_fake` instead of `vexif`: it defines all 15 QV_ functions and
// the three beyond them (measures, time base, device problems) with C linkage and keeps their state
// in this process. No engine, no counting, no time: every answer is what the test scripted.
//
// Default after reset() (and at program start):
//   * every call succeeds unless its arguments are bad;
//   * QV_Initialize hands out 1, 2, 3, ...; QV_Finalize forgets the handle;
//   * QV_ConnectToServer succeeds for any host (null, "" or a name) and port;
//   * no modules, nothing open; server ID "vexfake,1.0,2024-01-01,00:00:00";
//   * pin text, status words and counts are empty (answered as '0' / 0);
//   * the three requests beyond the 15 are supported: measures all NaN and
//     not referenced, no reference in the time base (channel -1, rates 0),
//     no device problems.
//
// Argument checks match the real library: an unknown or finalised handle gives
// QV_ERR_BAD_HANDLE, a call before QV_ConnectToServer QV_ERR_NOT_CONNECTED,
// null pointers, short buffers and out-of-range codes QV_ERR_BAD_ARGUMENT,
// calls that need a module without one QV_ERR_NO_MODULE_OPEN. QV_Info uses the
// real model table ('r' 8, 'o' 16, 'c' 18, 'b' 32 channels; other codes give
// QV_ERR_UNKNOWN_MODEL). A buffer sized by the channel count uses the open
// module's model.
//
// Scripted failures come first: a call that matches one returns its status
// without checking arguments or touching the caller's memory. Every call is
// logged (also the failing ones) before anything else happens.
//
// Typical use:
//   fakevexif::reset();
//   fakevexif::setModules({{"QV000001", 'c'}});
//   fakevexif::failNext("QV_FCGetCounts", QV_ERR_CONNECTION_LOST);
//   ... run the code under test ...
//   EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 1);
//
// All functions are thread-safe.
#pragma once

#include "vexif.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fakevexif {

// One module of the list that QV_ModCount / QV_ModInfo report and QV_OpenMod
// accepts. QV_ModInfo returns the bytes as given (freeFlag and present are not
// adjusted for the calling session). QV_OpenMod opens a listed module whose
// present byte is 'p' and whose free flag is 'f'; a 't' module gives
// QV_ERR_MODULE_TAKEN, an unlisted or absent one QV_ERR_NO_SUCH_MODULE.
struct Module {
    std::string name;    // at most 8 characters are reported
    char model = 'c';    // model code, info byte 0
    char freeFlag = 'f'; // info byte 1: 'f' free, 't' taken
    char present = 'p';  // info byte 2: 'p' present
};

// One logged call.
struct Call {
    std::string function;      // "QV_FCRun", ...
    std::vector<int64_t> args; // integer arguments in order, the handle first
    std::string text;          // the text argument (host, module name, channel codes)
    bool textNull = false;     // the text argument was a null pointer
    // Null-ness of the other pointer arguments in order (out pointers and
    // buffers: QV_ModInfo has two, name then info).
    std::vector<bool> pointersNull;
};

// Back to the defaults above: clears modules, scripts, handles and the log.
void reset();

// --- scripted failures (function names as in vexif.h, e.g. "QV_FCGetCounts")
// The next `times` calls of fn return status.
void failNext(std::string_view fn, int32_t status, int times = 1);
// Every call of fn returns status until clearFailures() or reset().
void failAlways(std::string_view fn, int32_t status);
void clearFailures();

// --- what the calls report
void setModules(std::vector<Module> modules);
// Pin characters that QV_GetPinStatus copies (pin 0 first); missing pins are
// answered '0', extra characters are cut.
void setPinText(std::string pins);
// Status words (word 0 bit 0 = busy, bit 1 = armed, word 1 + i = channel i;
// passed on as given, so any bit can be scripted) and counts
// (one per channel) that QV_FCGetStatus / QV_FCGetCounts answer on every poll;
// missing entries are 0, extra entries are cut to the caller's count.
void setStatusWords(std::vector<uint32_t> words);
void setCounts(std::vector<int64_t> counts);
// Answers for the next polls, one per call, before the steady answer above:
// e.g. queueStatusWords({1, 1}) twice then setStatusWords({0, 2}) gives
// "busy, busy, done, done, ...".
void queueStatusWords(std::vector<uint32_t> words);
void queueCounts(std::vector<int64_t> counts);
// The text QV_QueryServerID copies (cut to the buffer, zero-terminated).
void setServerId(std::string id);
// While set, every session's module has vanished: QV_ModIsOpen answers 0 and
// calls that need a module give QV_ERR_NO_MODULE_OPEN.
void setModuleVanished(bool vanished);

// --- the requests beyond the 15
// Measures QV_FCGetMeasures copies, channel 0 first (the size field is left
// as the caller set it); missing channels get NaN values and not referenced.
void setMeasures(std::vector<QV_ChannelMeasures> measures);
// The time base QV_GetTimeBase copies (the size field is left as set).
void setTimeBase(const QV_TimeBase& timeBase);
// The text QV_GetDeviceProblems copies: problems one a line, each ended by
// '\n'; cut at a line end to fit the buffer where possible.
void setDeviceProblems(std::string text);
// While set, the three answer QV_ERR_NOT_SUPPORTED as a server that predates
// them does (after logging the call, before checking anything).
void setOldServer(bool old);
// A measures entry with every value NaN and referenced 0.
QV_ChannelMeasures unknownMeasures();
// A time base of a 12 MS/s module: a reference of referenceHz on channel 0
// (none when 0) running ppm off; the measured rate follows the offset.
QV_TimeBase referenceTimeBase(double referenceHz, int32_t locked, double ppm);

// --- inspection
std::vector<Call> calls();
void clearCalls();
int callCount(std::string_view fn);
// Calls of fn, oldest first.
std::vector<Call> callsOf(std::string_view fn);
std::optional<Call> lastCall(std::string_view fn);
// Names of all logged calls in order, e.g. {"QV_ModIsOpen", "QV_SetThreshold", ...}.
std::vector<std::string> callNames();
// Name of the module a handle holds ("" for none or an unknown handle).
std::string openModule(int32_t handle);
// Number of live (initialised, not finalised) handles.
int liveHandles();

} // namespace fakevexif
