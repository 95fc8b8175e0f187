// One SCPI client's view of the engine: its own engine session, the
// measurement settings, its status reporting (ScpiStatus), and the mapping
// from program messages to engine calls and bare SCPI replies. Free of
// sockets and of time: a query that must wait for its gate says so, and the
// caller asks again later (resume), so tests drive it line by line on a
// manual clock.
//
// Each command header has one handler in one table (ScpiCommands.cpp); the
// frequency mode, width, duty and reference oscillator handlers live in
// ScpiTimeBase.cpp.
#pragma once

#include "Engine.h"
#include "Readings.h"
#include "ScpiStatus.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vexcountd::scpi {
struct Command;
enum class Header;
} // namespace vexcountd::scpi

namespace vexcountd {

class ScpiSession {
public:
    explicit ScpiSession(vexengine::Engine& engine);
    ~ScpiSession();
    ScpiSession(const ScpiSession&) = delete;
    ScpiSession& operator=(const ScpiSession&) = delete;

    struct Step {
        bool request = false;  // the line held a command (blank lines do not)
        bool hasReply = false; // the line held a query: reply is to be sent
        std::string reply;     // the replies of its queries, ';'-separated, no line end
        bool waiting = false;  // a query waits for its count: call resume() later
        std::chrono::milliseconds retryIn{0};  // when to call resume()
        std::chrono::milliseconds patience{0}; // how long the wait should take (gate)
    };

    // Runs one program message (a line without its line end).
    Step handleLine(std::string_view line);
    // Goes on with a waiting message. giveUp: the caller waited long enough;
    // unfinished results become 9.91E37 and -214 is queued.
    Step resume(bool giveUp);
    // A line over the length limit was dropped: -223 is queued.
    void lineTooLong();
    // Ends the engine session: stops its count and frees its module.
    void release();

    // Errors queued since the session began (the metrics count them).
    uint64_t errorsQueued() const { return m_status.errorsQueued(); }

private:
    // The first three are the engine's counter types; the widths and the duty
    // cycle come from a frequency count's measures.
    enum class Function { Frequency, Period, Totalize, PositiveWidth, NegativeWidth, DutyCycle };
    enum class Wait { None, Values, Opc, Silent };
    using Handler = void (*)(ScpiSession&, const scpi::Command&);

    // The handler of a header (ScpiCommands.cpp).
    static Handler handlerOf(scpi::Header header);

    Step run(bool giveUp);
    static bool isFrequencyCount(Function function) {
        return function == Function::Frequency || function >= Function::PositiveWidth;
    }
    void pushError(int code, std::string detail = {}) { m_status.push(code, std::move(detail)); }
    void resetSettings();
    // Gives the selected module the session's levels; a module with a fixed
    // threshold keeps its own, and the session's levels become those (false).
    bool applyLevels();
    void levelConflict(); // queues -221 naming the levels the module keeps
    // The catalog's name that equals word ignoring case (an exact match
    // first); word itself when none does.
    std::string moduleNamed(const std::string& word) const;
    bool configure(Function function, const scpi::Command& command);
    bool initiate();
    void abort();
    // CONF:<function> then READ?; a measurement that cannot start still
    // answers 9.91E+37.
    void measure(Function function, const scpi::Command& command);
    void startWait(Wait kind, bool startedHere);
    bool finishWait(bool giveUp);
    std::string results(const vexengine::CounterStatus& status);
    std::vector<int> measuredChannels(int channelCount) const;
    // A count's timing: a module with a reference whose count it did not
    // time makes the readings questionable (ScpiTimeBase.cpp).
    void checkReferenced(const std::vector<vexengine::ChannelMeasures>& measures);

    // Handlers with more than a line to them (ScpiCommands.cpp).
    void select(const scpi::Command& command);
    void configurationQuery();
    void gateTime(const scpi::Command& command);
    void slope(const scpi::Command& command, bool query);
    void level(const scpi::Command& command, bool query);
    void armCodes(const scpi::Command& command);
    void fetch();
    // The time-base handlers (ScpiTimeBase.cpp).
    void frequencyMode(const scpi::Command& command);
    void frequencyModeQuery();
    void referenceOscillator(const scpi::Command& command);

    vexengine::Engine& m_engine;
    vexengine::SessionId m_session = 0; // 0 once released
    std::string m_module;               // selected module, "" for none

    // Settings, as *RST leaves them.
    Function m_function = Function::Frequency;
    std::vector<int> m_channels; // empty: every channel of the module
    int m_gateCode = 1;          // engine gate code: 0 0.1 s, 1 1 s, 2 10 s, 7 infinite
    bool m_slopeRising[2] = {true, true};
    int m_levelTenths[2] = {14, 14}; // as the selected module uses them
    std::string m_armCodes = "--------";
    // SENS:FREQ:MODE: RECiprocal, COUNt (the grid's numbers) or REGRession.
    vexengine::FrequencyMode m_frequencyMode = vexengine::FrequencyMode::Reciprocal;

    // The count last started by INIT, READ? or MEAS?.
    bool m_initiated = false;
    Function m_measuredFunction = Function::Frequency;
    vexengine::CountSettings m_measuredSettings;
    std::vector<int> m_measuredChannels;

    ScpiStatus m_status;

    // The message being run: its commands, the next one, the header path for
    // compound commands, and the replies so far.
    std::vector<std::string> m_commands;
    std::size_t m_next = 0;
    std::string m_path;
    std::vector<std::string> m_replies;
    Wait m_wait = Wait::None;
    std::chrono::milliseconds m_firstRetry{1};
};

} // namespace vexcountd
