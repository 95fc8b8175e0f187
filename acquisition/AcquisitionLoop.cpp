// The acquisition thread and its GLib main loop.
#include "AcquisitionLoop.h"

#include <cstdio>
#include <cstdlib>

namespace vexacq {

namespace {

struct Timed {
    std::function<void()> work;
};

gboolean runTimed(gpointer data) {
    static_cast<Timed*>(data)->work();
    return G_SOURCE_REMOVE;
}

void freeTimed(gpointer data) {
    delete static_cast<Timed*>(data);
}

} // namespace

AcquisitionLoop::AcquisitionLoop()
    : m_context(g_main_context_new()), m_loop(g_main_loop_new(m_context, FALSE)),
      m_thread(&AcquisitionLoop::run, this) {}

AcquisitionLoop::~AcquisitionLoop() {
    post([this] { g_main_loop_quit(m_loop); });
    m_thread.join();
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

void AcquisitionLoop::run() {
    g_main_context_push_thread_default(m_context);
    g_main_loop_run(m_loop);
    // Work posted after the quit still runs (a module's last stop, say).
    while (g_main_context_iteration(m_context, FALSE)) {
    }
    g_main_context_pop_thread_default(m_context);
}

void AcquisitionLoop::post(std::function<void()> work) {
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = m_queue.empty();
        m_queue.push_back(std::move(work));
    }
    if (!first) return; // a drain is already attached
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, &AcquisitionLoop::drain, this, nullptr);
    g_source_attach(source, m_context);
    g_source_unref(source);
}

gboolean AcquisitionLoop::drain(gpointer self) {
    auto* loop = static_cast<AcquisitionLoop*>(self);
    std::unique_lock lock(loop->m_mutex);
    while (!loop->m_queue.empty()) {
        // Taken off only after it ran: a post meanwhile sees a non-empty
        // queue and relies on this drain.
        std::function<void()> work = std::move(loop->m_queue.front());
        lock.unlock();
        work();
        lock.lock();
        loop->m_queue.pop_front();
    }
    return G_SOURCE_REMOVE;
}

void AcquisitionLoop::call(const std::function<void()>& work) {
    // From the loop thread the work would wait behind the caller for ever.
    if (onLoopThread()) {
        std::fputs("AcquisitionLoop::call from the loop thread\n", stderr);
        std::abort();
    }
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    post([&] {
        work();
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_all();
    });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished; });
}

void AcquisitionLoop::after(std::chrono::milliseconds delay, std::function<void()> work) {
    GSource* source = g_timeout_source_new(static_cast<guint>(delay.count()));
    g_source_set_callback(source, &runTimed, new Timed{std::move(work)}, &freeTimed);
    g_source_attach(source, m_context);
    g_source_unref(source);
}

void AcquisitionLoop::runUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        // Bounded waits, so the deadline holds when nothing happens.
        if (!g_main_context_iteration(m_context, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace vexacq
