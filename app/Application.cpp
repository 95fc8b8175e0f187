// Application-wide set-up and the run of the main window.
#include "app/Application.h"

#include "app/EventGuard.h"
#include "app/HelpWindow.h"
#include "app/vfcmain.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

QFont windowFont() {
    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

bool hasInteractiveScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void prepareApplication() {
    // The title goes to the main window as its caption. It is deliberately
    // not Qt's application display name, which Qt would append to every other
    // window's caption (the failure message's, the help window's).
    QApplication::setApplicationName(QStringLiteral("vexcounter"));
    QApplication::setFont(windowFont());
    HelpWindow::setHelpFile(QStringLiteral(":/help/vexcounter.html"));
}

int runMainWindow(const std::vector<std::string>& arguments) {
    try {
        TMainForm mainForm(arguments);
        return QApplication::exec();
    } catch (const ProcessExit& exit) {
        return exit.status(); // the user has already been told why
    } catch (...) {
        // Anything else that stops the start (a library error while the
        // window is built, memory) ends the program as a failed start, not as
        // a success.
        const std::string reason = describeException(std::current_exception());
        std::fprintf(stderr, "vexcounter: start-up failed: %s\n", reason.c_str());
        if (hasInteractiveScreen())
            QMessageBox::critical(nullptr, kApplicationTitle,
                                  QStringLiteral("The program could not start: %1")
                                      .arg(QString::fromStdString(reason)));
        return 1;
    }
}
