// The TCP transport; see RemoteBackend.h. Each Backend call becomes one
// request line of server/PROTOCOL.md, and its reply is checked strictly: a
// reply that does not have the expected shape is a protocol error and ends
// the connection rather than handing the caller made-up values.
#include "RemoteBackend.h"

#include "TcpProtocol.h"

#include <algorithm>
#include <limits>

namespace vexif {

namespace {

// Statuses a server may answer for a request, passed on as they are.
bool isLibraryStatus(int status) {
    return status > QV_OK && status <= QV_ERR_NOT_SUPPORTED;
}

std::string number(int64_t n) {
    return std::to_string(n);
}

} // namespace

int32_t connectRemoteBackend(const std::string& host, uint16_t port,
                             std::unique_ptr<Backend>& out) {
    return connectRemoteBackend(host, port, out, RemoteTimeouts{});
}

int32_t connectRemoteBackend(const std::string& host, uint16_t port, std::unique_ptr<Backend>& out,
                             const RemoteTimeouts& timeouts) {
    out.reset();
    // Names are resolved here, once: the system resolver has no timeout of
    // its own, so reconnections during polling use the addresses found now.
    std::vector<SocketAddress> addresses = resolveHost(host, port);
    if (addresses.empty()) return QV_ERR_CONNECT_FAILED;
    auto backend = std::make_unique<RemoteBackend>(std::move(addresses), timeouts);
    if (const int32_t status = backend->connect()) return status;
    out = std::move(backend);
    return QV_OK;
}

RemoteBackend::RemoteBackend(std::vector<SocketAddress> addresses, const RemoteTimeouts& timeouts)
    : m_addresses(std::move(addresses)), m_timeouts(timeouts) {}

int32_t RemoteBackend::connect() {
    const auto now = Clock::now();
    m_nextTry = now + m_timeouts.retryInterval;
    const int32_t status = open(now + m_timeouts.firstConnect);
    return status == QV_ERR_TIMEOUT || status == QV_ERR_CONNECTION_LOST ? QV_ERR_CONNECT_FAILED
                                                                        : status;
}

int32_t RemoteBackend::open(Clock::time_point deadline) {
    if (!m_connection.connect(m_addresses, deadline)) return QV_ERR_CONNECTION_LOST;
    std::string reply;
    const std::string hello = std::string(wire::kHello) + " " + number(wire::kProtocolVersion);
    switch (m_connection.exchange(hello, reply, deadline)) {
    case TcpConnection::Result::Ok:
        break;
    case TcpConnection::Result::Timeout:
        return QV_ERR_TIMEOUT;
    case TcpConnection::Result::Lost:
        return QV_ERR_CONNECTION_LOST;
    }
    const auto split = wire::splitReply(reply);
    if (split && split->status == QV_ERR_SERVER_BUSY) {
        m_connection.close();
        return QV_ERR_SERVER_BUSY;
    }
    if (!split || split->status != QV_OK || split->payload != number(wire::kProtocolVersion))
        return protocolError();
    return QV_OK;
}

int32_t RemoteBackend::protocolError() {
    m_connection.close();
    return QV_ERR_PROTOCOL;
}

int32_t RemoteBackend::call(std::string_view request, std::string& payload, bool newerRequest) {
    const auto start = Clock::now();
    const auto deadline = start + m_timeouts.reply;

    // A connection the server has closed meanwhile (it stopped, or dropped
    // us as idle) is replaced before the request rather than failing it.
    if (m_connection.isOpen() && m_connection.brokenWhileIdle()) m_connection.close();
    if (!m_connection.isOpen()) {
        // While the server is gone every call fails at once, except one try
        // per retry interval, itself bounded.
        if (start < m_nextTry) return QV_ERR_CONNECTION_LOST;
        m_nextTry = start + m_timeouts.retryInterval;
        const int32_t status = open(std::min(deadline, start + m_timeouts.reconnect));
        if (status != QV_OK) {
            m_connection.close();
            return status == QV_ERR_SERVER_BUSY ? QV_ERR_SERVER_BUSY : QV_ERR_CONNECTION_LOST;
        }
    }

    std::string reply;
    switch (m_connection.exchange(request, reply, deadline)) {
    case TcpConnection::Result::Ok:
        break;
    case TcpConnection::Result::Timeout:
        // The connection is closed: a late reply must not be read as the
        // answer to a later request. A stalled server gets a rest before the
        // next try.
        m_nextTry = Clock::now() + m_timeouts.retryInterval;
        return QV_ERR_TIMEOUT;
    case TcpConnection::Result::Lost:
        return QV_ERR_CONNECTION_LOST;
    }

    const auto split = wire::splitReply(reply);
    if (!split) return protocolError();
    if (split->status == QV_OK) {
        payload.assign(split->payload);
        return QV_OK;
    }
    if (isLibraryStatus(split->status)) return split->status;
    // An older server: the stream is in step and the other calls still work.
    if (newerRequest && split->status == wire::kStatusUnknownCommand) return QV_ERR_NOT_SUPPORTED;
    // The server could not read the request (50-52): the stream is still in
    // step, but the library sent something it should not have.
    if (split->status >= wire::kStatusUnknownCommand && split->status <= wire::kStatusLineTooLong)
        return QV_ERR_PROTOCOL;
    return protocolError();
}

int32_t RemoteBackend::call(std::string_view request) {
    std::string payload;
    const int32_t status = call(request, payload);
    if (status == QV_OK && !payload.empty()) return protocolError();
    return status;
}

int32_t RemoteBackend::serverId(std::string& text) {
    return call(wire::kIdentify, text);
}

int32_t RemoteBackend::moduleCount(int32_t& count) {
    std::string payload;
    if (const int32_t status = call(wire::kModCount, payload)) return status;
    wire::NumberReader reader(payload);
    const auto n = reader.next<int32_t>();
    if (!n || *n < 0 || !reader.atEnd()) return protocolError();
    count = *n;
    return QV_OK;
}

int32_t RemoteBackend::moduleInfo(int32_t index, ModuleRecord& record) {
    std::string payload;
    if (const int32_t status = call(std::string(wire::kModInfo) + " " + number(index), payload))
        return status;
    // "<name> <model><free><present>"
    const std::size_t blank = payload.find(' ');
    if (blank == std::string::npos || blank == 0 || blank >= QV_MODULE_NAME_SIZE ||
        payload.size() != blank + 4)
        return protocolError();
    record.name = payload.substr(0, blank);
    record.model = payload[blank + 1];
    record.freeFlag = payload[blank + 2];
    record.present = payload[blank + 3];
    if (!std::all_of(payload.begin(), payload.end(),
                     [](char c) { return c == ' ' || wire::isWordChar(c); }))
        return protocolError();
    return QV_OK;
}

int32_t RemoteBackend::openModule(const std::string& name) {
    // A name that cannot be one word of a request names no module.
    if (name.empty() || !std::all_of(name.begin(), name.end(), wire::isWordChar))
        return QV_ERR_NO_SUCH_MODULE;
    return call(std::string(wire::kModOpen) + " " + name);
}

int32_t RemoteBackend::isModuleOpen(bool& open) {
    std::string payload;
    if (const int32_t status = call(wire::kModIsOpen, payload)) return status;
    if (payload != "0" && payload != "1") return protocolError();
    open = payload == "1";
    return QV_OK;
}

int32_t RemoteBackend::closeModule() {
    return call(wire::kModClose);
}

int32_t RemoteBackend::pinStatus(int32_t capacity, std::string& pins) {
    if (const int32_t status = call(std::string(wire::kPins) + " " + number(capacity), pins))
        return status;
    if (pins.empty() || pins.size() > static_cast<std::size_t>(std::max(capacity, 0)) ||
        !std::all_of(pins.begin(), pins.end(), wire::isWordChar))
        return protocolError();
    return QV_OK;
}

int32_t RemoteBackend::setThreshold(int32_t which, int32_t tenthsOfVolt) {
    return call(std::string(wire::kThreshold) + " " + number(which) + " " + number(tenthsOfVolt));
}

int32_t RemoteBackend::startCount(const CountSettings& settings) {
    if (settings.channelCodes.empty() ||
        !std::all_of(settings.channelCodes.begin(), settings.channelCodes.end(), wire::isWordChar))
        return QV_ERR_BAD_ARGUMENT;
    return call(std::string(wire::kFcRun) + " " + number(settings.counterType) + " " +
                number(settings.edgeCode) + " " + number(settings.gateCode) + " " +
                settings.channelCodes);
}

int32_t RemoteBackend::stopCount() {
    return call(wire::kFcStop);
}

int32_t RemoteBackend::counterStatus(int32_t capacity, std::vector<uint32_t>& words) {
    // The wire counts words, the busy word included.
    const int64_t wordCount =
        std::min<int64_t>(int64_t{capacity} + 1, std::numeric_limits<int32_t>::max());
    std::string payload;
    if (const int32_t status =
            call(std::string(wire::kFcStatus) + " " + number(wordCount), payload))
        return status;
    words.clear();
    wire::NumberReader reader(payload);
    while (!reader.atEnd()) {
        const auto word = reader.next<uint32_t>();
        if (!word || static_cast<int64_t>(words.size()) >= wordCount) return protocolError();
        words.push_back(*word);
    }
    if (words.empty()) return protocolError();
    return QV_OK;
}

int32_t RemoteBackend::counts(int32_t capacity, std::vector<int64_t>& counts) {
    std::string payload;
    if (const int32_t status = call(std::string(wire::kFcCounts) + " " + number(capacity), payload))
        return status;
    counts.clear();
    wire::NumberReader reader(payload);
    while (!reader.atEnd()) {
        const auto count = reader.next<int64_t>();
        if (!count || static_cast<int64_t>(counts.size()) >= capacity) return protocolError();
        counts.push_back(*count);
    }
    if (counts.empty()) return protocolError();
    return QV_OK;
}

int32_t RemoteBackend::measures(int32_t capacity, std::vector<LibraryMeasures>& measures) {
    std::string payload;
    if (const int32_t status =
            call(std::string(wire::kFcMeasures) + " " + number(capacity), payload, true))
        return status;
    // Six words a channel: referenced, frequency, period, widths, duty.
    measures.clear();
    wire::NumberReader reader(payload);
    while (!reader.atEnd()) {
        LibraryMeasures m;
        const auto referenced = reader.next<int32_t>();
        const auto frequency = reader.next<double>();
        const auto period = reader.next<double>();
        const auto positiveWidth = reader.next<double>();
        const auto negativeWidth = reader.next<double>();
        const auto duty = reader.next<double>();
        if (!referenced || (*referenced != 0 && *referenced != 1) || !frequency || !period ||
            !positiveWidth || !negativeWidth || !duty ||
            static_cast<int64_t>(measures.size()) >= capacity)
            return protocolError();
        m.referenced = *referenced == 1;
        m.frequency = *frequency;
        m.period = *period;
        m.positiveWidth = *positiveWidth;
        m.negativeWidth = *negativeWidth;
        m.duty = *duty;
        measures.push_back(m);
    }
    if (measures.empty()) return protocolError();
    return QV_OK;
}

int32_t RemoteBackend::timeBase(TimeBase& timeBase) {
    std::string payload;
    if (const int32_t status = call(wire::kTimeBase, payload, true)) return status;
    // channel, locked, reference Hz, offset ppm, measured rate, nominal rate
    wire::NumberReader reader(payload);
    const auto channel = reader.next<int32_t>();
    const auto locked = reader.next<int32_t>();
    const auto referenceHz = reader.next<double>();
    const auto offsetPpm = reader.next<double>();
    const auto measuredRate = reader.next<double>();
    const auto nominalRate = reader.next<double>();
    if (!channel || !locked || (*locked != 0 && *locked != 1) || !referenceHz || !offsetPpm ||
        !measuredRate || !nominalRate || !reader.atEnd())
        return protocolError();
    timeBase = TimeBase{};
    timeBase.external = *channel >= 0;
    timeBase.referenceChannel = *channel;
    timeBase.locked = *locked == 1;
    timeBase.referenceHz = *referenceHz;
    timeBase.offsetPpm = *offsetPpm;
    timeBase.rate = *measuredRate;
    timeBase.nominalRate = *nominalRate;
    timeBase = vexengine::libraryTimeBase(timeBase); // as the Backend promises, whatever was sent
    return QV_OK;
}

int32_t RemoteBackend::deviceProblems(std::string& text) {
    std::string payload;
    if (const int32_t status = call(wire::kDeviceProblems, payload, true)) return status;
    const auto unescaped = wire::unescapeText(payload);
    if (!unescaped) return protocolError();
    text = *unescaped;
    return QV_OK;
}

} // namespace vexif
