// The QV_ functions (the 15 and the three beyond them): argument checks,
// the handle table, and dispatch to the session's backend (built-in engine
// or TCP). No exception leaves a function: the C interface answers a status
// instead.
#include "vexif.h"

#include "Arguments.h"
#include "HandleTable.h"
#include "LocalBackend.h"
#include "ModelTable.h"
#include "RemoteBackend.h"

#include <algorithm>
#include <cstring>

namespace {

using vexif::Backend;

// Longest host text accepted (a DNS name has at most 253 characters).
constexpr size_t kMaxHostLength = 255;

// Runs fn(backend) for a connected handle, with the handle's calls
// serialised. fn answers a status.
template <typename F> int32_t withSession(int32_t handle, F&& fn) {
    try {
        std::shared_ptr<vexif::HandleEntry> entry = vexif::handleTable().find(handle);
        if (!entry) return QV_ERR_BAD_HANDLE;
        std::lock_guard lock(entry->mutex);
        if (entry->finalised) return QV_ERR_BAD_HANDLE;
        if (!entry->backend) return QV_ERR_NOT_CONNECTED;
        return fn(*entry->backend);
    } catch (...) {
        return QV_ERR_INTERNAL;
    }
}

// The size field shared by `count` entries of a growable struct (QV_ChannelMeasures,
// QV_TimeBase), which is also their stride in bytes; 0 when there are none,
// when it is below the first version's size, or when an entry differs.
template <typename T> int32_t entrySize(const T* entries, int32_t count) {
    if (!entries || count < 1) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(entries);
    int32_t size = 0;
    std::memcpy(&size, bytes, sizeof size);
    if (size < static_cast<int32_t>(sizeof(T))) return 0;
    for (int32_t i = 1; i < count; ++i) {
        int32_t other = 0;
        std::memcpy(&other, bytes + static_cast<size_t>(i) * static_cast<size_t>(size),
                    sizeof other);
        if (other != size) return 0;
    }
    return size;
}

} // namespace

extern "C" {

int32_t QV_Initialize(int32_t* handle) {
    if (!handle) return QV_ERR_BAD_ARGUMENT;
    try {
        return vexif::handleTable().create(handle);
    } catch (...) {
        return QV_ERR_INTERNAL;
    }
}

int32_t QV_ConnectToServer(int32_t handle, const char* host, int32_t port) {
    if (port < 0 || port > 65535) return QV_ERR_BAD_ARGUMENT;
    if (host && strnlen(host, kMaxHostLength + 1) > kMaxHostLength) return QV_ERR_BAD_ARGUMENT;
    try {
        std::shared_ptr<vexif::HandleEntry> entry = vexif::handleTable().find(handle);
        if (!entry) return QV_ERR_BAD_HANDLE;
        std::lock_guard lock(entry->mutex);
        if (entry->finalised) return QV_ERR_BAD_HANDLE;
        if (entry->backend) return QV_ERR_ALREADY_CONNECTED;
        if (!host) {
            entry->backend = std::make_unique<vexif::LocalBackend>(vexif::builtInEngine());
            return QV_OK;
        }
        uint16_t tcpPort = static_cast<uint16_t>(port == 0 ? QV_DEFAULT_PORT : port);
        std::unique_ptr<Backend> remote;
        int32_t status = vexif::connectRemoteBackend(host, tcpPort, remote);
        if (status == QV_OK && !remote) status = QV_ERR_CONNECT_FAILED;
        if (status == QV_OK) entry->backend = std::move(remote);
        return status;
    } catch (...) {
        return QV_ERR_INTERNAL;
    }
}

int32_t QV_Finalize(int32_t handle) {
    try {
        std::shared_ptr<vexif::HandleEntry> entry = vexif::handleTable().remove(handle);
        if (!entry) return QV_ERR_BAD_HANDLE;
        std::lock_guard lock(entry->mutex);
        entry->finalised = true;
        entry->backend.reset(); // ends the session: count stopped, module released
        return QV_OK;
    } catch (...) {
        return QV_ERR_INTERNAL;
    }
}

int32_t QV_QueryServerID(int32_t handle, char* buffer, int32_t length) {
    return withSession(handle, [&](Backend& b) {
        if (!buffer || length < 1) return int32_t{QV_ERR_BAD_ARGUMENT};
        std::string id;
        if (int32_t status = b.serverId(id)) return status;
        size_t n = std::min(id.size(), static_cast<size_t>(length - 1));
        std::memcpy(buffer, id.data(), n);
        buffer[n] = '\0';
        return int32_t{QV_OK};
    });
}

int32_t QV_ModCount(int32_t handle, int32_t* count) {
    return withSession(handle, [&](Backend& b) {
        if (!count) return int32_t{QV_ERR_BAD_ARGUMENT};
        int32_t n = 0;
        if (int32_t status = b.moduleCount(n)) return status;
        *count = n;
        return int32_t{QV_OK};
    });
}

int32_t QV_ModInfo(int32_t handle, int32_t index, char* name, char* info) {
    return withSession(handle, [&](Backend& b) {
        if (!name || !info) return int32_t{QV_ERR_BAD_ARGUMENT};
        vexif::ModuleRecord record;
        if (int32_t status = b.moduleInfo(index, record)) return status;
        std::memset(name, 0, QV_MODULE_NAME_SIZE);
        std::memcpy(name, record.name.data(),
                    std::min<size_t>(record.name.size(), QV_MODULE_NAME_SIZE - 1));
        info[0] = record.model;
        info[1] = record.freeFlag;
        info[2] = record.present;
        info[3] = 0;
        return int32_t{QV_OK};
    });
}

int32_t QV_OpenMod(int32_t handle, const char* name) {
    return withSession(handle, [&](Backend& b) {
        if (!name) return int32_t{QV_ERR_BAD_ARGUMENT};
        // No module has an empty name or one longer than 8 characters.
        size_t length = strnlen(name, QV_MODULE_NAME_SIZE);
        if (length == 0 || length >= QV_MODULE_NAME_SIZE) return int32_t{QV_ERR_NO_SUCH_MODULE};
        return b.openModule(std::string(name, length));
    });
}

int32_t QV_ModIsOpen(int32_t handle, int32_t* isOpen) {
    return withSession(handle, [&](Backend& b) {
        if (!isOpen) return int32_t{QV_ERR_BAD_ARGUMENT};
        bool open = false;
        if (int32_t status = b.isModuleOpen(open)) return status;
        *isOpen = open ? 1 : 0;
        return int32_t{QV_OK};
    });
}

int32_t QV_CloseMod(int32_t handle) {
    return withSession(handle, [&](Backend& b) { return b.closeModule(); });
}

int32_t QV_Info(int32_t modelCode, QV_ModuleInfo* info, int32_t length) {
    if (!info || length < QV_MODULE_INFO_BYTES) return QV_ERR_BAD_ARGUMENT;
    return vexif::fillModelInfo(modelCode, info) ? QV_OK : QV_ERR_UNKNOWN_MODEL;
}

int32_t QV_GetPinStatus(int32_t handle, char* buffer, int32_t length) {
    return withSession(handle, [&](Backend& b) {
        if (!buffer || length < 1) return int32_t{QV_ERR_BAD_ARGUMENT};
        std::string pins;
        if (int32_t status = b.pinStatus(length, pins)) return status;
        if (pins.size() > static_cast<size_t>(length)) return int32_t{QV_ERR_PROTOCOL};
        std::memcpy(buffer, pins.data(), pins.size());
        return int32_t{QV_OK};
    });
}

int32_t QV_SetThreshold(int32_t handle, int32_t which, int32_t tenthsOfVolt) {
    return withSession(handle, [&](Backend& b) {
        if (!vexif::validThreshold(which, tenthsOfVolt)) return int32_t{QV_ERR_BAD_ARGUMENT};
        return b.setThreshold(which, tenthsOfVolt);
    });
}

int32_t QV_FCRun(int32_t handle, int32_t counterType, int32_t edgeCode, int32_t gateCode,
                 const char* channelCodes, int32_t run) {
    return withSession(handle, [&](Backend& b) {
        if (run == 0) return b.stopCount();
        if (run != 1 || !vexif::validRunArguments(counterType, edgeCode, gateCode, channelCodes))
            return int32_t{QV_ERR_BAD_ARGUMENT};
        vexif::CountSettings settings;
        settings.counterType = counterType;
        settings.edgeCode = edgeCode;
        settings.gateCode = gateCode;
        settings.channelCodes.assign(channelCodes, vexif::kChannelCodeCount);
        return b.startCount(settings);
    });
}

int32_t QV_FCGetStatus(int32_t handle, uint32_t* words, int32_t count) {
    return withSession(handle, [&](Backend& b) {
        if (!words || count < 2) return int32_t{QV_ERR_BAD_ARGUMENT};
        std::vector<uint32_t> answer;
        if (int32_t status = b.counterStatus(count - 1, answer)) return status;
        if (answer.size() > static_cast<size_t>(count)) return int32_t{QV_ERR_PROTOCOL};
        std::copy(answer.begin(), answer.end(), words);
        std::fill(words + answer.size(), words + count, 0u);
        return int32_t{QV_OK};
    });
}

int32_t QV_FCGetCounts(int32_t handle, int64_t* counts, int32_t count) {
    return withSession(handle, [&](Backend& b) {
        if (!counts || count < 1) return int32_t{QV_ERR_BAD_ARGUMENT};
        std::vector<int64_t> answer;
        if (int32_t status = b.counts(count, answer)) return status;
        if (answer.size() > static_cast<size_t>(count)) return int32_t{QV_ERR_PROTOCOL};
        std::copy(answer.begin(), answer.end(), counts);
        std::fill(counts + answer.size(), counts + count, int64_t{0});
        return int32_t{QV_OK};
    });
}

int32_t QV_FCGetMeasures(int32_t handle, QV_ChannelMeasures* measures, int32_t count) {
    return withSession(handle, [&](Backend& b) {
        const int32_t stride = entrySize(measures, count);
        if (stride == 0) return int32_t{QV_ERR_BAD_ARGUMENT};
        std::vector<vexif::LibraryMeasures> answer;
        if (int32_t status = b.measures(count, answer)) return status;
        if (answer.size() > static_cast<size_t>(count)) return int32_t{QV_ERR_PROTOCOL};
        auto* bytes = reinterpret_cast<unsigned char*>(measures);
        const vexif::LibraryMeasures unknown; // extra entries: NaN, not referenced
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
            const vexif::LibraryMeasures& m = i < answer.size() ? answer[i] : unknown;
            QV_ChannelMeasures entry{};
            entry.size = stride;
            entry.referenced = m.referenced ? 1 : 0;
            entry.frequency = m.frequency;
            entry.period = m.period;
            entry.positiveWidth = m.positiveWidth;
            entry.negativeWidth = m.negativeWidth;
            entry.duty = m.duty;
            std::memcpy(bytes + i * static_cast<size_t>(stride), &entry, sizeof entry);
        }
        return int32_t{QV_OK};
    });
}

int32_t QV_GetTimeBase(int32_t handle, QV_TimeBase* info) {
    return withSession(handle, [&](Backend& b) {
        const int32_t size = entrySize(info, 1);
        if (size == 0) return int32_t{QV_ERR_BAD_ARGUMENT};
        vexif::TimeBase timeBase;
        if (int32_t status = b.timeBase(timeBase)) return status;
        QV_TimeBase out{};
        out.size = size;
        // Both backends give it as libraryTimeBase() left it: channel -1 and
        // 0 Hz without a reference, an offset only while locked.
        out.channel = timeBase.referenceChannel;
        out.locked = timeBase.locked ? 1 : 0;
        out.referenceHz = timeBase.referenceHz;
        out.offsetPpm = timeBase.offsetPpm;
        out.measuredRate = timeBase.rate;
        out.nominalRate = timeBase.nominalRate;
        std::memcpy(info, &out, sizeof out);
        return int32_t{QV_OK};
    });
}

int32_t QV_GetDeviceProblems(int32_t handle, char* buffer, int32_t length) {
    return withSession(handle, [&](Backend& b) {
        if (!buffer || length < 1) return int32_t{QV_ERR_BAD_ARGUMENT};
        std::string text;
        if (int32_t status = b.deviceProblems(text)) return status;
        size_t n = text.size();
        const size_t room = static_cast<size_t>(length - 1);
        if (n > room) {
            // Whole lines where at least one fits, else as much as fits.
            const size_t lineEnd = room == 0 ? std::string::npos : text.rfind('\n', room - 1);
            n = lineEnd == std::string::npos ? room : lineEnd + 1;
        }
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        return int32_t{QV_OK};
    });
}

} // extern "C"
