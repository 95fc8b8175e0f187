// MeasurementCycle: starting, polling and stopping counts on the open module.
// The main window drives it (UpdateCounter on every 100 ms tick and from the
// Run and Stop actions) and lends it its displays and settings through the
// CycleHost interface, so the cycle's decisions run and are tested without a
// window.
#pragma once

#include "counter/FinishedCount.h"
#include "counter/vfcgroups_values.h"
#include "vexif.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What the cycle needs from the main window. Every call is made on the GUI
// thread from inside a cycle operation.
class CycleHost {
public:
    virtual ~CycleHost() = default;

    // The library handle of the window's session.
    virtual int32_t libraryHandle() const = 0;
    // n: the channel count of the current model description (it keeps the last
    // model's value after the module closes).
    virtual int32_t channelCount() const = 0;
    // The settings groups' current selection in library codes.
    virtual CounterSettings counterSettings() const = 0;
    // The checked state of the Continuous action.
    virtual bool continuousChecked() const = 0;
    // The result grid: its channel code of channel `index` ('0', '1', 'R', 'F',
    // 'E' or '-'), its row count (heading row included), its result heading,
    // and the result cell of `channel`, wherever the user moved that channel's
    // row. Writing a result also ends the grid's plain-results drawing. The
    // cycle writes only channels with a row (channel + 1 below the row count).
    virtual char channelCode(int32_t index) const = 0;
    virtual int32_t rowCount() const = 0;
    virtual void setResultHeading(std::string_view heading) = 0;
    virtual void writeResult(int32_t channel, std::string_view text) = 0;
    // The state panel of the status bar.
    virtual void setRunStateText(std::string_view text) = 0;
    // Enabled states of the Run and Stop actions.
    virtual void enableRunStop(bool run, bool stop) = 0;
    // The window's module close: closes the module if open, disables Run and
    // Stop, empties the state panel, zeroes the pins and makes the cycle idle
    // (clearRunState). It may throw when asking the library whether a module
    // is open fails; that exception leaves UpdateCounter.
    virtual void closeModule() = 0;
    // A count has ended and its results are written: its captured settings
    // and its measured values (no value for a channel that did not finish).
    // Called once per count, before a continuous run restarts, and for a
    // count ended by Stop (marked stopped) after the library stopped it.
    virtual void countFinished(const FinishedCount& count) { (void)count; }
    // The checked state of Counter > High Resolution: frequency and period
    // cells show the engine's measures with the digits they resolve.
    virtual bool highResolution() const { return false; }
    // Samples/s of the open module's counts (0: unknown), for those digits.
    virtual double sampleRate() const { return 0.0; }
    // The open module has an external reference that is not locked: a count
    // that is not armed yet waits for it rather than for a trigger.
    virtual bool referenceUnlocked() const { return false; }
};

class MeasurementCycle {
public:
    explicit MeasurementCycle(CycleHost& host) : m_host(host) {}

    // One step of the cycle: reset makes it idle and shows "Idle" without
    // asking the library; otherwise it asks whether the module is open (a
    // failing query throws TModIfError out of here) and then starts (start
    // while idle), stops (stop while running) or polls the running count.
    // Library failures while starting, polling or stopping close the module
    // through the host without a message.
    void UpdateCounter(bool reset, bool start, bool stop);

    // Sends the threshold twice and the captured settings with the channel
    // codes of channels 0 to 7, which starts a count. Throws TModIfError.
    void StartCount();

    // One poll of a running count of that type: writes the results that are
    // ready and the state panel text, answers whether the count has finished.
    // Throw TModIfError on a library failure.
    bool PollFrequency();
    bool PollPeriod();
    bool PollEvents();

    // 1 while a started count has not ended, else 0.
    uint8_t runState() const { return m_runState; }
    // The window opened or closed a module: no count of ours runs any more,
    // and the server (perhaps a new one) is asked for measures again.
    void clearRunState() {
        m_runState = 0;
        m_measuresUnsupported = false;
    }

private:
    class PollBuffers;

    // The frame of every poll: the heading, the two buffers, the status words,
    // then the counter type's own part, which answers finished, and the state
    // panel text (finishedText, "Counting", or "Waiting for trigger" while the
    // channel codes have not yet opened the gate).
    template <typename Specific>
    bool poll(std::string_view heading, std::string_view finishedText, Specific specific);
    void readCounts(PollBuffers& buffers);
    // Writes one channel's result if the grid has a row for it.
    void writeResult(int32_t channel, std::string_view text);
    // Sets the values of the running count, valueOf(i) giving channel i's
    // measured value or none.
    template <typename ValueOf> void setValues(int32_t n, ValueOf valueOf);
    // Tells the host about the count that ended, with its values.
    void reportEnded(bool stopped);
    // Reads the engine's measures of the running count's n channels (one
    // call); answers whether it has them. A server that lacks the request is
    // not asked again until the module changes; any other failure leaves
    // this count without measures (the counts' texts stand).
    bool readMeasures(int32_t n);
    // High Resolution is on and this count has measures.
    bool highResolution() const;
    // The measures of a channel, once read (channel below the count's n).
    const QV_ChannelMeasures& measuresOf(int32_t channel) const;

    CycleHost& m_host;
    uint8_t m_runState = 0;
    // The settings of the running (or last) count, as captured at its start.
    int32_t m_counterType = 0;
    int32_t m_gateCode = 0;
    int32_t m_edgeCode = 0;
    // The values of the running count as far as its polls have read them
    // (all none at its start), reported when it ends; kept to reuse the
    // storage.
    std::vector<std::optional<double>> m_values;
    // The engine's measures of the running count, when read (once when a
    // count ends; for a period count in High Resolution also whenever a
    // channel finishes), and whether they came from a locked reference.
    std::vector<QV_ChannelMeasures> m_measures;
    bool m_measured = false;
    bool m_measuresUnsupported = false;
    // Which channels of a period count had ended by the last poll.
    std::vector<bool> m_final;
};
