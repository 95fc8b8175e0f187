// The TCP transport is not built yet: every remote connection fails, so a
// program started against a named server takes its connection-failure path.
#include "RemoteBackend.h"

namespace vexif {

int32_t connectRemoteBackend(const std::string&, uint16_t, std::unique_ptr<Backend>& out) {
    out.reset();
    return QV_ERR_CONNECT_FAILED;
}

} // namespace vexif
