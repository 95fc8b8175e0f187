// Entry point of vexcounter: the application object, then the main window.
#include "app/Application.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    prepareApplication();
    // QApplication has taken its own options out of argv by now.
    return runMainWindow(std::vector<std::string>(argv + 1, argv + argc));
}
