// The boundary of an event handler: describing and reporting what escaped it.
#include "app/EventGuard.h"

#include "TModIfCpp.h"

#include <cstdio>

std::string describeException(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const TModIfError& e) {
        return "device library status " + std::to_string(e.status());
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void reportEscapedException(const char* handler, const std::exception_ptr& error) {
    // Everything runs on the GUI thread, so one remembered line is enough.
    static std::string lastLine;
    std::string line = "vexcounter: ";
    line += handler ? handler : "event handler";
    line += ": " + describeException(error) + " (ignored)";
    if (line == lastLine) return;
    lastLine = line;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}
