// Application-wide set-up and the run of the main window.
#include "app/Application.h"

#include "TModIfCpp.h"
#include "app/EventGuard.h"
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
}

void reportFatalStart(const QString& caption, const QString& message, QWidget* parent) {
    // Also on stderr, so that a start from a terminal or a script shows why.
    std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(),
                 message.toLocal8Bit().constData());
    std::fflush(stderr);
    if (hasInteractiveScreen()) {
        QMessageBox box(QMessageBox::NoIcon, caption, message, QMessageBox::Ok, parent);
        box.exec();
    }
}

int runMainWindow(const std::vector<std::string>& arguments) {
    try {
        TMainForm mainForm(arguments);
        return QApplication::exec();
    } catch (const ProcessExit& exit) {
        return exit.status(); // the user has already been told why
    } catch (const TModIfError& error) {
        // The server connection turns its failures into ProcessExit, so a
        // library error here comes from the data model's look-up of its
        // default model, before the window or its session exists.
        reportFatalStart(kApplicationTitle + QStringLiteral(" - Device Library: Fatal Error"),
                         QStringLiteral("Failed to read the default model description from the "
                                        "device library (status %1).")
                             .arg(error.status()));
        return 1;
    } catch (...) {
        // Anything else that stops the start (memory, say) ends the program as
        // a failed start, not as a success.
        reportFatalStart(
            kApplicationTitle + QStringLiteral(" - Fatal Error"),
            QStringLiteral("The program could not start: %1")
                .arg(QString::fromStdString(describeException(std::current_exception()))));
        return 1;
    }
}
