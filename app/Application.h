// Application-wide set-up of the program and the run of its main window,
// kept out of the entry point so that main() stays a few lines.
#pragma once

#include <QFont>
#include <QString>

class QWidget;

#include <string>
#include <vector>

// The program's title: the application's and the main window's.
inline const QString kApplicationTitle = QStringLiteral("Vex Frequency And Event Counter");

// The font of the main window and its dialogs: 11-pixel DejaVu Sans. The
// pixel size is set explicitly so that the window's metrics do not depend on
// the font the system finds.
QFont windowFont();

// Whether the platform has a screen that someone can look at. The offscreen
// and minimal platforms have none: a modal box there could never be answered.
bool hasInteractiveScreen();

// Tells the user why the start failed: one line "<caption>: <message>" on
// stderr and, where someone can see it, a message box over parent (none:
// no parent) that waits for OK.
void reportFatalStart(const QString& caption, const QString& message, QWidget* parent = nullptr);

// Name and window font of the application (QApplication exists).
void prepareApplication();

// Creates the main window with the program's arguments (without the program
// name) and runs the event loop until the window closes. Returns the process
// exit status: 0, or 1 when the start failed (the user has been told).
int runMainWindow(const std::vector<std::string>& arguments);
