// Temporary library body: every call fails until the engine lands.
#include "vexif.h"

#include <cstring>

extern "C" {
int32_t QV_Initialize(int32_t* handle) { if (!handle) return QV_ERR_BAD_ARGUMENT; *handle = 1; return QV_OK; }
int32_t QV_ConnectToServer(int32_t, const char*, int32_t) { return QV_ERR_CONNECT_FAILED; }
int32_t QV_Finalize(int32_t) { return QV_OK; }
int32_t QV_QueryServerID(int32_t, char*, int32_t) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_ModCount(int32_t, int32_t*) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_ModInfo(int32_t, int32_t, char*, char*) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_OpenMod(int32_t, const char*) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_ModIsOpen(int32_t, int32_t*) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_CloseMod(int32_t) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_Info(int32_t code, QV_ModuleInfo* info, int32_t length) {
    if (!info || length < QV_MODULE_INFO_BYTES) return QV_ERR_BAD_ARGUMENT;
    std::memset(info, 0, sizeof *info);
    switch (code) {
    case 'r': info->channelCount = 8; break;
    case 'o': info->channelCount = 16; break;
    case 'c': info->channelCount = 18; break;
    case 'b': info->channelCount = 32; break;
    default: return QV_ERR_UNKNOWN_MODEL;
    }
    return QV_OK;
}
int32_t QV_GetPinStatus(int32_t, char*, int32_t) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_SetThreshold(int32_t, int32_t, int32_t) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_FCRun(int32_t, int32_t, int32_t, int32_t, const char*, int32_t) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_FCGetStatus(int32_t, uint32_t*, int32_t) { return QV_ERR_NOT_CONNECTED; }
int32_t QV_FCGetCounts(int32_t, int64_t*, int32_t) { return QV_ERR_NOT_CONNECTED; }
}
