// The boundary of an event handler (a timer tick, an action): an exception
// that escapes the handler stops here, so the event loop never sees it and the
// next event is handled as usual. Plain C++; the window wraps its handlers.
#pragma once

#include <exception>
#include <string>
#include <utility>

// A short description of an exception: the device library's status for a
// TModIfError, what() for a standard exception, "unknown exception" otherwise.
std::string describeException(const std::exception_ptr& error);

// Writes one line about an exception that escaped a handler to stderr. The
// same text for the same handler is written once until another one comes, so
// a failure that repeats on every 100 ms tick does not flood the terminal.
void reportEscapedException(const char* handler, const std::exception_ptr& error);

// Runs handler() and answers true; an exception that escapes it is reported
// and dropped, and the answer is false.
template <class Handler> bool runGuarded(const char* name, Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        try {
            reportEscapedException(name, std::current_exception());
        } catch (...) {
            // Reporting must not let anything through either (e.g. bad_alloc).
        }
        return false;
    }
}
