// vfcabout: the About window. A small modal window built in code: the program's
// version and our notice in the upper panel, the counting server's identity in
// the lower one. A click anywhere in it closes it, except on the hidden notice
// line, which a click shows in red and a second click hides again.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QDialog;
class QWidget;

// Where the main window's library session is connected: serverHost is empty
// (std::nullopt) for the built-in server and set by a "server=" argument, even
// to an empty text; serverPort 0 is the default port.
struct AboutServerInfo {
    int32_t libraryHandle = 0;
    std::optional<std::string> serverHost;
    int32_t serverPort = 0;
};

// Builds the About window (fixed 330 x 260 pixels, centred on the screen of
// mainWindow, or the primary screen without one) and asks the server for its
// identity once. The window is modal but not shown yet; a click on it, its
// panels or its first two labels closes it.
std::unique_ptr<QDialog> BuildAboutWindow(QWidget* mainWindow, const QString& caption,
                                          const AboutServerInfo& server);

// Builds the About window, runs it modally until it is closed and frees it.
// The main window's About action calls it with "About " and its own caption.
void ShowAboutWindow(QWidget* mainWindow, const QString& caption, const AboutServerInfo& server);
