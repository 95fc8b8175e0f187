// TMainForm: the measurement records (statistics, log, copy) and their menu
// items, added to the menus the window has built; High Resolution and the
// device problems, which show what the engine measures beside the counts.
#include "app/EventGuard.h"
#include "app/RecordsController.h"
#include "app/vfcmain.h"
#include "counter/HighResolutionText.h"
#include "counter/QtText.h"
#include "display/DeviceProblemsDialog.h"
#include "display/vfcstat.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

void TMainForm::createRecords() {
    // The menu bar holds File, Counter and Help, in that order.
    const QList<QAction*> menus = menuBar()->actions();
    m_records = new RecordsController(*this, *menus[0]->menu(), *menus[1]->menu(), *m_grid,
                                      [this] { return m_analyserData.moduleName(); });
}

void TMainForm::createMeasuresActions() {
    const QList<QAction*> menus = menuBar()->actions();
    QMenu* counter = menus[2]->menu(); // File, Edit, Counter, Help
    QMenu* help = menus[3]->menu();

    // Off at start-up: the grid shows the counts' own texts. Takes effect
    // with the next count that ends.
    m_highResolutionAction = new QAction(QStringLiteral("&High Resolution"), this);
    const QString hint =
        QStringLiteral("Show the engine's best frequency and mean period with the digits the "
                       "gate resolves, and the duty cycle");
    m_highResolutionAction->setToolTip(hint);
    m_highResolutionAction->setStatusTip(hint);
    m_highResolutionAction->setCheckable(true);
    addAction(m_highResolutionAction);
    counter->insertAction(m_records->statisticsAction(), m_highResolutionAction);

    m_deviceProblemsAction = new QAction(QStringLiteral("Device &Problems..."), this);
    const QString problemsHint =
        QStringLiteral("The problems of the server's device configuration and devices");
    m_deviceProblemsAction->setToolTip(problemsHint);
    m_deviceProblemsAction->setStatusTip(problemsHint);
    addAction(m_deviceProblemsAction);
    help->insertAction(m_aboutAction, m_deviceProblemsAction);
    connect(m_deviceProblemsAction, &QAction::triggered, this,
            [this] { runGuarded("Device Problems", [this] { deviceProblemsExecute(); }); });
    // A click on a problem's message in the status bar lists them all.
    connect(m_statusBar, &TModStatusBar::messageClicked, m_deviceProblemsAction, &QAction::trigger);
}

void TMainForm::deviceProblemsExecute() {
    if (!m_problemsDialog) m_problemsDialog = new DeviceProblemsDialog(this);
    m_problemsDialog->setProblems(m_watch.problems());
    m_problemsDialog->show();
    m_problemsDialog->raise();
    m_problemsDialog->activateWindow();
}

void TMainForm::watchEngine() {
    if (!m_watch.tick(m_library->handle())) return;
    if (m_watch.timeBase())
        m_statusBar->SetTimeBaseText(toQt(timeBaseText(*m_watch.timeBase())),
                                     toQt(timeBaseShortText(*m_watch.timeBase())));
    else
        m_statusBar->SetTimeBaseText({});
    const std::vector<std::string> fresh = m_watch.takeNewProblems();
    if (fresh.size() == 1)
        m_statusBar->ShowMessage(QStringLiteral("Device problem: ") + toQt(fresh.front()));
    else if (fresh.size() > 1)
        m_statusBar->ShowMessage(QStringLiteral("%1 device problems (Help > Device Problems): %2")
                                     .arg(fresh.size())
                                     .arg(toQt(fresh.front())));
    if (m_problemsDialog) m_problemsDialog->setProblems(m_watch.problems());
}
