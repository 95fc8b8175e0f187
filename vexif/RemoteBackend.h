// The TCP transport: a session on a vexcountd, reached over the line
// protocol (server/PROTOCOL.md). Every call is one request and one reply on
// the caller's thread, bounded in time, because the application makes its
// calls on the GUI thread: a dead or stalled server must never freeze it.
#pragma once

#include "Backend.h"
#include "TcpConnection.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexif {

// How long the transport waits. A call never takes much longer than the
// reply timeout, reconnection included.
struct RemoteTimeouts {
    std::chrono::milliseconds firstConnect{2000};  // QV_ConnectToServer
    std::chrono::milliseconds reconnect{500};      // one later try, connect + HELLO
    std::chrono::milliseconds retryInterval{1000}; // between later tries
    std::chrono::milliseconds reply{1000};         // one call, reconnection included
};

// Connects a new session to the vexcountd at host:port (host "" = this
// machine; port 1..65535, 0 already replaced by QV_DEFAULT_PORT). On success
// stores the backend in out and returns QV_OK; otherwise returns a non-zero
// status (QV_ERR_CONNECT_FAILED, QV_ERR_SERVER_BUSY, QV_ERR_PROTOCOL) and
// leaves out empty.
int32_t connectRemoteBackend(const std::string& host, uint16_t port, std::unique_ptr<Backend>& out);
int32_t connectRemoteBackend(const std::string& host, uint16_t port, std::unique_ptr<Backend>& out,
                             const RemoteTimeouts& timeouts);

// A lost connection makes the call that meets it fail; a later call
// connects again (at most one try per retry interval, failing at once in
// between). A new connection is a new server session, without the module
// the old one held, so a caller sees the loss as "no module open".
class RemoteBackend final : public Backend {
public:
    RemoteBackend(std::vector<SocketAddress> addresses, const RemoteTimeouts& timeouts);
    ~RemoteBackend() override = default; // closing the connection ends the session

    // The first connection, within the firstConnect time.
    int32_t connect();

    int32_t serverId(std::string& text) override;
    int32_t moduleCount(int32_t& count) override;
    int32_t moduleInfo(int32_t index, ModuleRecord& record) override;
    int32_t openModule(const std::string& name) override;
    int32_t isModuleOpen(bool& open) override;
    int32_t closeModule() override;
    int32_t pinStatus(int32_t capacity, std::string& pins) override;
    int32_t setThreshold(int32_t which, int32_t tenthsOfVolt) override;
    int32_t startCount(const CountSettings& settings) override;
    int32_t stopCount() override;
    int32_t counterStatus(int32_t capacity, std::vector<uint32_t>& words) override;
    int32_t counts(int32_t capacity, std::vector<int64_t>& counts) override;
    int32_t measures(int32_t capacity, std::vector<LibraryMeasures>& measures) override;
    int32_t timeBase(TimeBase& timeBase) override;
    int32_t deviceProblems(std::string& text) override;

private:
    // Sends request and returns the reply's status; payload gets the text
    // after the status of a successful reply. A request that is not one of
    // the 15's may meet a server older than it: its "unknown command" is
    // then QV_ERR_NOT_SUPPORTED rather than a protocol error.
    int32_t call(std::string_view request, std::string& payload, bool newerRequest = false);
    int32_t call(std::string_view request);
    // Connects and greets within deadline.
    int32_t open(Clock::time_point deadline);
    // A reply the library cannot read: the stream can no longer be trusted.
    int32_t protocolError();

    std::vector<SocketAddress> m_addresses;
    RemoteTimeouts m_timeouts;
    TcpConnection m_connection;
    Clock::time_point m_nextTry{}; // no reconnection before this
};

} // namespace vexif
