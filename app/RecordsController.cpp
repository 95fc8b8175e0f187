// RecordsController: statistics, log, Statistics window and copy for the main
// window.
#include "app/RecordsController.h"

#include "app/EventGuard.h"
#include "counter/GridCopy.h"
#include "counter/QtText.h"
#include "display/StatisticsWindow.h"
#include "display/vfcgrid.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include <chrono>

RecordsController::RecordsController(QMainWindow& window, QMenu& fileMenu, QMenu& counterMenu,
                                     TModGrid& grid, std::function<std::string()> moduleName)
    : QObject(&window), m_window(window), m_grid(grid), m_moduleName(std::move(moduleName)) {
    const auto makeAction = [&](const char* caption, const char* hint, QKeySequence key) {
        auto* action = new QAction(QString::fromUtf8(caption), &window);
        action->setToolTip(QString::fromUtf8(hint));
        action->setStatusTip(QString::fromUtf8(hint));
        action->setShortcut(key);
        // Held by the window, so the short-cut works wherever the focus is in
        // it; the name editor of the grid still copies its own text.
        window.addAction(action);
        return action;
    };

    m_logAction = makeAction("&Log to File...", "Log every finished count to a CSV file", {});
    m_logAction->setCheckable(true);
    connect(m_logAction, &QAction::triggered, this,
            [this](bool checked) { runGuarded("Log to File", [&] { logTriggered(checked); }); });

    m_copyAction = makeAction("&Copy", "Copy the channels, names and results",
                              QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(m_copyAction, &QAction::triggered, this,
            [this] { runGuarded("Copy", [this] { copy(); }); });

    m_statisticsAction = makeAction("S&tatistics...", "Statistics and trend of the counts",
                                    QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(m_statisticsAction, &QAction::triggered, this,
            [this] { runGuarded("Statistics", [this] { showStatistics(); }); });

    // File: Log to File, a separator, then the existing last item (Quit).
    const QList<QAction*> fileItems = fileMenu.actions();
    QAction* before = fileItems.isEmpty() ? nullptr : fileItems.back();
    fileMenu.insertAction(before, m_logAction);
    fileMenu.insertSeparator(before);

    m_editMenu = new QMenu(QStringLiteral("E&dit"), window.menuBar());
    m_editMenu->addAction(m_copyAction);
    window.menuBar()->insertMenu(counterMenu.menuAction(), m_editMenu);

    counterMenu.addSeparator();
    counterMenu.addAction(m_statisticsAction);
}

void RecordsController::countFinished(const FinishedCount& count) {
    const std::string module = m_moduleName();
    m_statistics.add(module, count);
    if (m_log.isOpen()) {
        if (const auto failure = m_log.append(std::chrono::system_clock::now(), module, count)) {
            m_logAction->setChecked(false);
            tellUser(QString::fromStdString(*failure));
        }
    }
    if (m_statisticsWindow) m_statisticsWindow->countsChanged();
}

void RecordsController::moduleChanged() {
    resetStatistics();
}

void RecordsController::resetStatistics() {
    m_statistics.reset();
    if (m_statisticsWindow) m_statisticsWindow->refresh();
}

bool RecordsController::startLogging(const QString& path) {
    if (const auto failure = m_log.open(path.toStdString())) {
        m_logAction->setChecked(false);
        tellUser(QString::fromStdString(*failure));
        return false;
    }
    m_logAction->setChecked(true);
    return true;
}

void RecordsController::stopLogging() {
    m_log.close();
    m_logAction->setChecked(false);
}

void RecordsController::logTriggered(bool checked) {
    if (!checked) {
        stopLogging();
        return;
    }
    // The action shows checked only once a file is open.
    m_logAction->setChecked(false);
    // The file dialog keeps its history and last folder through QSettings;
    // the program keeps no settings, so they go to a folder of this run only,
    // removed when the program ends.
    if (!m_dialogSettings) {
        m_dialogSettings = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dialogSettings->path());
    }
    const QString path = QFileDialog::getSaveFileName(
        &m_window, QStringLiteral("Log to File"), QString(),
        QStringLiteral("CSV files (*.csv);;All files (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite); // rows are appended, nothing is overwritten
    if (!path.isEmpty()) startLogging(path);
}

void RecordsController::showStatistics() {
    if (!m_statisticsWindow) {
        m_statisticsWindow = new StatisticsWindow(&m_window, m_statistics);
        m_statisticsWindow->placeBesideOf(m_window);
        connect(m_statisticsWindow, &StatisticsWindow::resetRequested, this,
                [this] { runGuarded("Reset", [this] { resetStatistics(); }); });
    }
    m_statisticsWindow->show();
    m_statisticsWindow->raise();
    m_statisticsWindow->activateWindow();
}

QString RecordsController::copyText() const {
    std::vector<GridCopyRow> rows;
    for (int row = 1; row < m_grid.rowCount(); ++row) {
        const int channel = m_grid.ChannelOfRow(row);
        if (channel < 0) continue;
        rows.push_back(
            {channel, fromQt(m_grid.ChannelName(channel)), fromQt(m_grid.Result(channel))});
    }
    return toQt(gridCopyText(fromQt(m_grid.ResultHeading()), rows));
}

void RecordsController::copy() {
    QGuiApplication::clipboard()->setText(copyText());
}

void RecordsController::tellUser(const QString& text) {
    // Not modal: the poll timer goes on while the message is up.
    if (m_logMessage) m_logMessage->close();
    m_logMessage = new QMessageBox(QMessageBox::Warning, QStringLiteral("Log to File"), text,
                                   QMessageBox::Ok, &m_window);
    m_logMessage->setAttribute(Qt::WA_DeleteOnClose);
    m_logMessage->setWindowModality(Qt::NonModal);
    m_logMessage->show();
}
