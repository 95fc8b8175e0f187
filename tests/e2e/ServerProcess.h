// Test helper: runs the real vexcountd as a child process on a loopback port
// of its own, and stops or kills it. The binary is taken from $VFC_BIN_DIR,
// else from the folder of the running test. The server's log (stderr) goes
// to a private file that tests can read.
//
//   ServerProcess server;              // not started yet
//   ASSERT_TRUE(server.start());       // any free port, printed by the server
//   QV_ConnectToServer(h, "127.0.0.1", server.port());
//   server.stop();                     // SIGTERM, then SIGKILL after 5 s
//   ASSERT_TRUE(server.start(server.port())); // same port again
#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vfctest {

class ServerProcess {
public:
    // extraArgs go after --listen, e.g. {"--idle-timeout", "1"}; without a
    // "--device" among them the server counts no logic analyser.
    explicit ServerProcess(std::vector<std::string> extraArgs = {})
        : m_extraArgs(std::move(extraArgs)) {}
    ~ServerProcess() {
        kill();
        removeLog();
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    static std::string binaryPath() {
        if (const char* dir = std::getenv("VFC_BIN_DIR"); dir && *dir)
            return std::string(dir) + "/vexcountd";
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        std::string path = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : "";
        return path.substr(0, path.rfind('/') + 1) + "vexcountd";
    }

    // Runs the server with this open-file limit (soft and hard), as
    // `ulimit -n` would; 0: inherited.
    void setFileLimit(long files) { m_fileLimit = files; }

    // Starts the server on 127.0.0.1:port (0: a free port) and waits until
    // it listens. False if it does not within 5 s or exits.
    bool start(uint16_t port = 0) {
        kill();
        removeLog();
        char logName[] = "/tmp/vexcountd-test-XXXXXX";
        const int logFd = ::mkostemp(logName, O_CLOEXEC);
        if (logFd < 0) return false;
        m_logPath = logName;

        const std::string binary = binaryPath();
        std::vector<std::string> args{binary, "--listen", "127.0.0.1:" + std::to_string(port)};
        args.insert(args.end(), m_extraArgs.begin(), m_extraArgs.end());
        // No logic analyser unless the test names one: one plugged into the
        // machine must not change what the tests see.
        if (std::find(args.begin(), args.end(), "--device") == args.end())
            args.insert(args.end(), {"--device", "none"});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(logFd);
            return false;
        }
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            ::dup2(logFd, STDERR_FILENO);
            ::dup2(logFd, STDOUT_FILENO);
            if (m_fileLimit > 0) {
                const rlimit files{static_cast<rlim_t>(m_fileLimit),
                                   static_cast<rlim_t>(m_fileLimit)};
                ::setrlimit(RLIMIT_NOFILE, &files);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(logFd);
        m_pid = pid;

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string text = log();
            const std::size_t at = text.find("listening on 127.0.0.1:");
            if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
                m_port = static_cast<uint16_t>(std::stoi(text.substr(at + 23)));
                return true;
            }
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill();
        return false;
    }

    // SIGTERM, and the exit status once it has ended (SIGKILL after 5 s:
    // then -1).
    int stop() {
        if (m_pid < 0) return -1;
        ::kill(m_pid, SIGTERM);
        return waitForExit();
    }

    // Waits for the server to end by itself (e.g. after a signal the test
    // sent): its exit status, or -1 when a signal ended it or it was still
    // running after timeout (then it is killed).
    int waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        if (m_pid < 0) return -1;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill();
        return -1;
    }

    // SIGKILL and reap: the server vanishes without a word to its clients.
    void kill() {
        if (m_pid < 0) return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    uint16_t port() const { return m_port; }

    // Everything the server has logged so far.
    std::string log() const {
        std::ifstream in(m_logPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Waits (at most timeout) until the log contains text.
    bool waitForLog(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        do {
            if (log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }

    // How often text occurs in the log.
    int countInLog(const std::string& text) const {
        const std::string all = log();
        int n = 0;
        for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++n;
        return n;
    }

private:
    void removeLog() {
        if (!m_logPath.empty()) ::unlink(m_logPath.c_str());
        m_logPath.clear();
    }

    std::vector<std::string> m_extraArgs;
    long m_fileLimit = 0;
    std::string m_logPath;
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

} // namespace vfctest
