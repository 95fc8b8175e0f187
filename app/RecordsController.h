// RecordsController: the main window's measurement records. It keeps the
// per-channel statistics of the finished counts, writes the CSV log, shows
// the Statistics window and copies the grid to the clipboard, with the
// actions for them:
//   File > Log to File...   (checked while logging)
//   Edit > Copy             Ctrl+C
//   Counter > Statistics... Ctrl+T
// The window hands it every finished count and every module change. The work
// is done by plain classes (ChannelStatistics, MeasurementLog, GridCopy);
// this class only joins them to the window's actions and widgets.
#pragma once

#include "counter/ChannelStatistics.h"
#include "counter/FinishedCount.h"
#include "counter/MeasurementLog.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QMainWindow;
class QMenu;
class StatisticsWindow;
class TModGrid;

class RecordsController : public QObject {
    Q_OBJECT

public:
    // Creates the actions and adds them to the window's menus: Log to File
    // before File's last item, an Edit menu (with Copy) before the Counter
    // menu, and Statistics at the end of Counter. moduleName answers the name
    // of the module in use.
    RecordsController(QMainWindow& window, QMenu& fileMenu, QMenu& counterMenu, TModGrid& grid,
                      std::function<std::string()> moduleName);

    // A count has finished: statistics, log row, Statistics window.
    void countFinished(const FinishedCount& count);
    // The module changed: the statistics start afresh.
    void moduleChanged();
    // The user's Reset.
    void resetStatistics();

    // Starts logging to path (as the file dialog does); answers false and
    // tells the user when the file cannot be opened.
    bool startLogging(const QString& path);
    void stopLogging();
    bool logging() const { return m_log.isOpen(); }

    // The grid as tab-separated text (what Copy puts on the clipboard).
    QString copyText() const;

    QAction* logAction() const { return m_logAction; }
    QAction* copyAction() const { return m_copyAction; }
    QAction* statisticsAction() const { return m_statisticsAction; }
    QMenu* editMenu() const { return m_editMenu; }
    const ChannelStatistics& statistics() const { return m_statistics; }
    // Null until Statistics is first chosen.
    StatisticsWindow* statisticsWindow() const { return m_statisticsWindow; }
    // The last message about the log, while it is open.
    QMessageBox* logMessage() const { return m_logMessage; }

private:
    void logTriggered(bool checked);
    void showStatistics();
    void copy();
    // Tells the user once, without waiting for an answer, so counts go on.
    void tellUser(const QString& text);

    QMainWindow& m_window;
    TModGrid& m_grid;
    std::function<std::string()> m_moduleName;
    QAction* m_logAction = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_statisticsAction = nullptr;
    QMenu* m_editMenu = nullptr;
    ChannelStatistics m_statistics;
    MeasurementLog m_log;
    StatisticsWindow* m_statisticsWindow = nullptr;
    QPointer<QMessageBox> m_logMessage;
    std::unique_ptr<QTemporaryDir> m_dialogSettings; // see logTriggered
};
