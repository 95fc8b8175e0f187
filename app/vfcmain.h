// TMainForm: the program's one window. It builds every control in code,
// connects its library session to the counting server named on the command
// line, and runs the 100 ms poll timer that drives everything periodic.
//
// The implementation is split by concern:
//   vfcmain.cpp        construction, actions, menu, panels, groups, window size
//   vfcmain_server.cpp the server connection and its failure report
//   vfcmain_poll.cpp   the poll timer, module attachment and measurement cycle
//   vfcmain_host.cpp   the adapter that lends the window's displays to them
//   vfcmain_records.cpp the measurement records: statistics, log, copy
//
// The decisions of module attachment (ModuleAttachment) and of the
// measurement cycle (MeasurementCycle) live in plain classes; the window only
// forwards to them and shows what they decide.
#pragma once

#include "TModIfCpp.h"
#include "app/CommandLine.h"
#include "app/IdleTickCounter.h"
#include "app/ImageList.h"
#include "counter/EngineWatch.h"
#include "counter/MeasurementCycle.h"
#include "modules/ModuleAttachment.h"
#include "modules/vladata.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DeviceProblemsDialog;
class HelpWindow;
class QAction;
class QTimer;
class RecordsController;
class TCountTypeGroup;
class TEdgeGroup;
class TGateLengthGroup;
class TModGrid;
class TModSelGroup;
class TModStatusBar;
class TMyRadioGroup;
class TThreshGroup;
class ToolStrip;
class TopPanel;

// Thrown to end the program during start-up with an exit status, after the
// user has been told why; the entry point returns the status.
class ProcessExit {
public:
    explicit ProcessExit(int status) : m_status(status) {}
    int status() const { return m_status; }

private:
    int m_status;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Caption of the message on a failed start and the text it starts with.
    static constexpr const char* kServerFailureText = "Failed to connect to server";
    static constexpr const char* kServerFailureCaptionSuffix = " - Server: Fatal Error";

    // Fixed metrics of the window, in pixels.
    static constexpr int kStartChannelCount = 18;
    static constexpr int kRowHeight = 25;     // one grid row with its grid line
    static constexpr int kRightMargin = 6;    // window edge beyond the last group
    static constexpr int kPollInterval = 100; // ms

    // Builds the window and connects to the server given by the arguments
    // (the program's arguments without its name). A failed connection is
    // reported to the user and ends in ProcessExit(1). The data model's
    // look-up of its default model, the first thing built, throws TModIfError
    // when the library fails; the entry point reports that.
    explicit TMainForm(const std::vector<std::string>& arguments = {});
    ~TMainForm() override;

    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // --- Operations the rest of the program uses.

    // Enables the Run and Stop actions; menu items and buttons follow at once.
    void EnableRunStop(bool run, bool stop);
    // Sizes the window to show channelCount grid rows; with centre, places it
    // in the middle of the screen (only at start), otherwise keeps its
    // top-left corner.
    void FitWindow(int channelCount, bool centre);
    // Tells the user that the start failed ("<text> (host) on port N"), then
    // ends the program with exit status 1 by throwing ProcessExit. The poll
    // timer, if it exists, is paused while the message is up. On a platform
    // without a screen the message goes to stderr only (it always does).
    [[noreturn]] void ReportServerFailure(const QString& text);
    // One tick of the poll timer: one step of the measurement cycle, once a
    // second the time base and the device problems, and, while no count
    // runs, the pins, and once a second the module list and the heartbeat.
    void PollTick();

    // The window's reaction to a new counter type: the grid's result heading
    // and the gate length group's infinite choice follow it.
    void CounterTypeChanged(TMyRadioGroup& group, int index);

    // --- Module attachment (ModuleAttachment does the work).

    // Data model listener: on a module change closes the old module and
    // attaches the new one. Registered last.
    void ModuleChanged(int32_t event, int32_t value, int32_t extra);
    // Reads the pin levels of the open module into the status bar.
    void PollPins();
    // Closes the open module and resets the run controls and panels. Throws
    // TModIfError when the library cannot say whether a module is open.
    void CloseModule();

    // --- Measurement cycle (MeasurementCycle does the work).

    // One step of the measurement cycle: reset, start and stop requests.
    void UpdateCounter(bool reset, bool start, bool stop);

    // --- Parts of the window, for the rest of the program and for tests.

    QAction* continuousAction() const { return m_continuousAction; }
    QAction* runAction() const { return m_runAction; }
    QAction* stopAction() const { return m_stopAction; }
    QAction* helpAction() const { return m_helpAction; }
    QAction* aboutAction() const { return m_aboutAction; }
    QAction* quitAction() const { return m_quitAction; }
    // Counter > High Resolution (checked: the engine's measures in the grid).
    QAction* highResolutionAction() const { return m_highResolutionAction; }
    // Help > Device Problems...
    QAction* deviceProblemsAction() const { return m_deviceProblemsAction; }
    // Null until Device Problems is first chosen.
    DeviceProblemsDialog* deviceProblemsDialog() const { return m_problemsDialog; }
    // The time base and device problems as last read.
    const EngineWatch& engineWatch() const { return m_watch; }
    const ImageList& imageList() const { return m_imageList; }
    TopPanel* topPanel() const { return m_topPanel; }
    ToolStrip* toolBar() const;
    TModStatusBar* modStatusBar() const { return m_statusBar; }
    QWidget* clientPanel() const { return m_clientPanel; }
    TModGrid* grid() const { return m_grid; }
    TThreshGroup* threshGroup() const { return m_threshGroup; }
    TEdgeGroup* edgeGroup() const { return m_edgeGroup; }
    TGateLengthGroup* gateGroup() const { return m_gateGroup; }
    TCountTypeGroup* countTypeGroup() const { return m_countTypeGroup; }
    TModSelGroup* moduleGroup() const { return m_moduleGroup; }
    AnalyserData& analyserData() { return m_analyserData; }
    QTimer* pollTimer() const { return m_pollTimer; }
    HelpWindow* helpWindow() const { return m_helpWindow; }
    // Statistics, log and copy of the finished counts.
    RecordsController* records() const { return m_records; }
    // The server named on the command line (the About window shows it).
    const ServerAddress& server() const { return m_server; }
    // The library session; null only while the window is being built.
    const TModIfCpp* library() const { return m_library.get(); }
    // The model description of the attached (or last attached) module.
    const QV_ModuleInfo& moduleInfo() const { return m_moduleInfo; }
    // 0: no count running; 1: a count is running.
    uint8_t runState() const { return m_cycle.runState(); }

private:
    // Lends the window's displays, settings and run controls to module
    // attachment and the measurement cycle (vfcmain_host.cpp).
    class Host;

    // Construction steps, in the order the constructor runs them.
    void createActions();
    void createMenu();
    void createTopPanel();
    void createStatusBar();
    void createClientPanel();
    void createGroups();
    void createRecords();
    void createMeasuresActions();
    void readCommandLine(const std::vector<std::string>& arguments);
    void connectToServer();
    void registerModuleListener();
    void startPollTimer();

    QAction* makeAction(const char* caption, const char* hint, int image);
    // Connects an action's trigger to a handler behind an exception boundary.
    template <class Handler> void onTriggered(QAction* action, const char* name, Handler handler);

    // Action handlers.
    void runExecute();
    void stopExecute();
    void helpExecute();
    void aboutExecute();
    void quitExecute();
    void deviceProblemsExecute();
    // Reads the time base and the device problems when due and shows what
    // changed: the time-base panel, a new problem in the status bar, the
    // Device Problems dialog.
    void watchEngine();

    static void moduleListener(void* context, int32_t event, int32_t value, int32_t extra);

    // Built before everything else (its constructor already asks the library
    // for the default model) and destroyed after the library session, but
    // before Qt deletes the child widgets, the module group among them.
    AnalyserData m_analyserData;

    ImageList m_imageList;
    QAction* m_continuousAction = nullptr;
    QAction* m_runAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_quitAction = nullptr;
    QAction* m_highResolutionAction = nullptr;
    QAction* m_deviceProblemsAction = nullptr;
    DeviceProblemsDialog* m_problemsDialog = nullptr;
    TopPanel* m_topPanel = nullptr;
    TModStatusBar* m_statusBar = nullptr;
    QWidget* m_clientPanel = nullptr;
    TModGrid* m_grid = nullptr;
    TThreshGroup* m_threshGroup = nullptr;
    TEdgeGroup* m_edgeGroup = nullptr;
    TGateLengthGroup* m_gateGroup = nullptr;
    TCountTypeGroup* m_countTypeGroup = nullptr;
    TModSelGroup* m_moduleGroup = nullptr;
    HelpWindow* m_helpWindow = nullptr;
    RecordsController* m_records = nullptr;

    QTimer* m_pollTimer = nullptr; // null until the end of construction
    IdleTickCounter m_idleTicks;
    EngineWatch m_watch;
    ServerAddress m_server;
    QV_ModuleInfo m_moduleInfo{}; // the attached module's model; channelCount 0 at start
    std::unique_ptr<Host> m_host;
    MeasurementCycle m_cycle;
    ModuleAttachment m_attachment;
    std::unique_ptr<TModIfCpp> m_library;
};
