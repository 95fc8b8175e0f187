// TMainForm: construction, actions, menu, panels, groups and the window's size.
#include "app/vfcmain.h"

#include "app/Application.h"
#include "app/EventGuard.h"
#include "app/HelpWindow.h"
#include "app/ToolStrip.h"
#include "app/TopPanel.h"
#include "app/vfcmain_host.h"
#include "counter/vfcgroups.h"
#include "counter/vfcgroups_thresh.h"
#include "display/vfcabout.h"
#include "display/vfcgrid.h"
#include "display/vfcstat.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QColor kClientPanelColour(0, 128, 0); // green behind the grid
}

TMainForm::TMainForm(const std::vector<std::string>& arguments)
    : QMainWindow(nullptr), m_host(std::make_unique<Host>(*this)), m_cycle(*m_host),
      m_attachment(*m_host, m_analyserData, m_moduleInfo) {
    // The embedded AnalyserData, the first member, is built by now; its
    // constructor asked the library for the default model description. A
    // library error there has left the constructor already (the entry point
    // reports it like a failed connection, exit status 1).

    // Caption; a fixed-size window with a system menu and a minimise box, no
    // maximise box. FitWindow fixes the size.
    setWindowTitle(kApplicationTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(windowFont());

    createActions();
    createMenu();
    createTopPanel();
    createStatusBar();
    createClientPanel();
    createRecords();
    createMeasuresActions();

    // Show the window, with Run and Stop disabled until a module is open.
    show();
    m_continuousAction->setEnabled(true);
    EnableRunStop(false, false);

    createGroups();

    // Fit to the grid's channel count, centred on the screen.
    FitWindow(kStartChannelCount, true);

    readCommandLine(arguments);
    connectToServer(); // does not return on failure

    registerModuleListener();
    startPollTimer();
}

// The library session goes first (QV_Finalize), then the data model (the
// first member, so the last one destroyed), then the window with everything it
// owns. No module is closed and no count stopped.
TMainForm::~TMainForm() {
    m_library.reset();
}

QAction* TMainForm::makeAction(const char* caption, const char* hint, int image) {
    auto* action = new QAction(m_imageList.icon(image), QString::fromUtf8(caption), this);
    action->setToolTip(QString::fromUtf8(hint));
    action->setStatusTip(QString::fromUtf8(hint));
    // The window holds every action, so its short-cut works wherever the
    // focus is in the window.
    addAction(action);
    return action;
}

template <class Handler>
void TMainForm::onTriggered(QAction* action, const char* name, Handler handler) {
    connect(action, &QAction::triggered, this,
            [this, name, handler] { runGuarded(name, [this, handler] { (this->*handler)(); }); });
}

void TMainForm::createActions() {
    m_continuousAction =
        makeAction("&Continuous", "Continuous measurements", ImageList::kContinuous);
    // A checkable action flips its own checked state when triggered; the
    // measurement cycle reads it at the end of each count. Its menu item
    // shows a check mark, which the style draws only for an item without a
    // picture; the tool button keeps the picture and stays pressed.
    m_continuousAction->setCheckable(true);
    m_continuousAction->setIconVisibleInMenu(false);

    m_runAction = makeAction("&Run", "Run", ImageList::kRun);
    m_runAction->setShortcut(QKeySequence(Qt::Key_F5));
    onTriggered(m_runAction, "Run", &TMainForm::runExecute);

    m_stopAction = makeAction("&Stop", "Stop immediately", ImageList::kStop);
    m_stopAction->setShortcut(QKeySequence(Qt::Key_F6));
    onTriggered(m_stopAction, "Stop", &TMainForm::stopExecute);

    m_helpAction = makeAction("&Help", "Help contents", ImageList::kHelp);
    m_helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    onTriggered(m_helpAction, "Help", &TMainForm::helpExecute);

    m_aboutAction = makeAction("&About", "The About window", ImageList::kHelp);
    onTriggered(m_aboutAction, "About", &TMainForm::aboutExecute);

    m_quitAction = makeAction("&Quit", "Exit the program", ImageList::kQuit);
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // as desktop programs do
    onTriggered(m_quitAction, "Quit", &TMainForm::quitExecute);
}

void TMainForm::createMenu() {
    // Menu items show their action's caption, so File shows "&Quit" and Help
    // shows "&Help" and "&About".
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QMenu* counter = bar->addMenu(QStringLiteral("&Counter"));
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    file->addAction(m_quitAction);
    help->addAction(m_helpAction);
    help->addAction(m_aboutAction);
    counter->addAction(m_continuousAction);
    counter->addAction(m_runAction);
    counter->addAction(m_stopAction);
}

void TMainForm::createTopPanel() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    m_topPanel = new TopPanel(central);
    column->addWidget(m_topPanel);

    ToolStrip* strip = m_topPanel->toolStrip();
    strip->addButton(m_continuousAction);
    strip->addButton(m_runAction);
    strip->addButton(m_stopAction);
    strip->addSeparator();
    strip->addButton(m_helpAction);
    strip->addSeparator();
    strip->addButton(m_quitAction);
}

void TMainForm::createStatusBar() {
    m_statusBar = new TModStatusBar(this);
    m_statusBar->SetPinCount(kStartChannelCount);
    setStatusBar(m_statusBar);
}

void TMainForm::createClientPanel() {
    m_clientPanel = new QWidget(centralWidget());
    m_clientPanel->setAutoFillBackground(true);
    QPalette palette = m_clientPanel->palette();
    palette.setColor(QPalette::Window, kClientPanelColour);
    m_clientPanel->setPalette(palette);
    centralWidget()->layout()->addWidget(m_clientPanel);
    // The grid fills the client panel, which FitWindow sizes to its rows.
    m_grid = new TModGrid(m_clientPanel, kStartChannelCount);
}

void TMainForm::createGroups() {
    // Each group takes the leftmost place of the top panel (and the
    // tab order follows), so the window shows, left to right: module, counter
    // type, gate length, edges, threshold.
    m_threshGroup = new TThreshGroup(m_topPanel, QStringLiteral("Threshold"));
    m_topPanel->addGroupAtLeft(m_threshGroup);
    m_edgeGroup = new TEdgeGroup(m_topPanel, QStringLiteral("Edges"));
    m_topPanel->addGroupAtLeft(m_edgeGroup);
    m_gateGroup = new TGateLengthGroup(m_topPanel, QStringLiteral("GateLength"));
    m_topPanel->addGroupAtLeft(m_gateGroup);
    m_countTypeGroup = new TCountTypeGroup(m_topPanel, QStringLiteral("Counter Type"));
    m_topPanel->addGroupAtLeft(m_countTypeGroup);
    m_countTypeGroup->OnItemChange = [this](TMyRadioGroup& group, int index) {
        runGuarded("CounterTypeChanged", [&] { CounterTypeChanged(group, index); });
    };
    // The heading and the gate choices match the initial counter type.
    CounterTypeChanged(*m_countTypeGroup, m_countTypeGroup->itemIndex());

    // The module group registers its own listener with the data model here,
    // before the window's (registerModuleListener).
    m_moduleGroup = new TModSelGroup(m_topPanel, QStringLiteral("Module"), &m_analyserData, false);
    m_topPanel->addGroupAtLeft(m_moduleGroup);
    m_moduleGroup->OnHandlerFailure = &reportEscapedException;
    // Choosing the module that is already chosen opens it if it is closed.
    m_moduleGroup->OnSameModuleChosen = [this] { m_attachment.Reattach(); };

    // Tab runs through the groups left to right, then into the grid.
    m_topPanel->chainTabOrder(m_grid);
}

void TMainForm::CounterTypeChanged(TMyRadioGroup&, int index) {
    applyCounterType(index, *m_gateGroup,
                     [this](const QString& heading) { m_grid->SetResultHeading(heading); });
}

void TMainForm::readCommandLine(const std::vector<std::string>& arguments) {
    m_server = readServerArgument(arguments);
}

void TMainForm::registerModuleListener() {
    // The last listener: the module group has re-read its selection before
    // the window attaches the module.
    m_analyserData.AddListener(&TMainForm::moduleListener, this);
}

void TMainForm::moduleListener(void* context, int32_t event, int32_t value, int32_t extra) {
    static_cast<TMainForm*>(context)->ModuleChanged(event, value, extra);
}

void TMainForm::startPollTimer() {
    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(kPollInterval);
    connect(m_pollTimer, &QTimer::timeout, this,
            [this] { runGuarded("PollTick", [this] { PollTick(); }); });
    m_idleTicks = IdleTickCounter(); // the first refresh comes on the second tick
    m_pollTimer->start();
}

ToolStrip* TMainForm::toolBar() const {
    return m_topPanel->toolStrip();
}

void TMainForm::EnableRunStop(bool run, bool stop) {
    // The tool buttons and menu items follow their actions at once.
    m_runAction->setEnabled(run);
    m_stopAction->setEnabled(stop);
}

void TMainForm::runExecute() {
    EnableRunStop(false, true);
    UpdateCounter(false, true, false); // start request
}

void TMainForm::stopExecute() {
    EnableRunStop(true, false);
    UpdateCounter(false, false, true); // stop request
}

void TMainForm::helpExecute() {
    if (!m_helpWindow) m_helpWindow = new HelpWindow(this);
    m_helpWindow->showTopic(HelpWindow::kMainTopic);
}

void TMainForm::aboutExecute() {
    ShowAboutWindow(this, QStringLiteral("About ") + windowTitle(),
                    AboutServerInfo{m_host->libraryHandle(), m_server.host, m_server.port});
}

void TMainForm::quitExecute() {
    close();
}

// --- Window size

void TMainForm::FitWindow(int channelCount, bool centre) {
    // The window holds the menu bar, the top panel (tool bar included), one
    // grid row of 25 pixels (24 and a grid line) for the heading and each
    // channel plus the grid's closing line, and the status bar; it ends 6
    // pixels right of the threshold group. The title bar and frame belong to
    // the window manager and are not counted.
    const int gridHeight = kRowHeight * (channelCount + 1) + 1;
    const int height =
        menuBar()->sizeHint().height() + TopPanel::kHeight + gridHeight + m_statusBar->height();
    const int width = m_threshGroup->x() + m_threshGroup->width() + kRightMargin;
    setFixedSize(width, height);

    // The client panel spans the window; its layout may follow only later.
    m_grid->ArrangeColumns(width);

    if (centre) {
        const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect area = shown->geometry();
        // Integer halves, truncated toward zero as the division does.
        move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
    }
}
