// The acquisition thread: one per source (and so per process), running one
// GLib main loop on its own GMainContext, which it pushes as the thread's
// default context. Everything that talks to a device runs here: libsigrok
// sessions attach their event sources to this context, and other threads post
// work to it instead of calling in.
#pragma once

#include <glib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vexacq {

class AcquisitionLoop {
public:
    AcquisitionLoop();
    // Runs what is posted until then, then ends the loop and joins the thread.
    ~AcquisitionLoop();
    AcquisitionLoop(const AcquisitionLoop&) = delete;
    AcquisitionLoop& operator=(const AcquisitionLoop&) = delete;

    // Runs work on the loop thread, in the order posted. Never blocks.
    void post(std::function<void()> work);
    // Posts work and waits until it has run. Never from the loop thread:
    // that would wait for ever, so it aborts.
    void call(const std::function<void()>& work);
    // Runs work on the loop thread after delay (from the loop thread only).
    void after(std::chrono::milliseconds delay, std::function<void()> work);
    // Dispatches pending events until done() or timeout (loop thread only;
    // for shutdown, which waits for streams to end).
    void runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    bool onLoopThread() const { return std::this_thread::get_id() == m_thread.get_id(); }
    GMainContext* context() const { return m_context; }

private:
    void run();
    static gboolean drain(gpointer self);

    GMainContext* m_context;
    GMainLoop* m_loop;
    std::mutex m_mutex; // guards m_queue
    std::deque<std::function<void()>> m_queue;
    std::thread m_thread; // last: starts after everything above
};

} // namespace vexacq
