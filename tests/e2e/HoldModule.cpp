// Test helper program: a library client in a process of its own. Connects
// to the vexcountd at 127.0.0.1:PORT, opens MODULE, starts an event count,
// prints "held" and waits to be killed (it gives up by itself after 30 s).
//   e2e_hold_module PORT MODULE
#include "vexif.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: e2e_hold_module PORT MODULE\n");
        return 2;
    }
    int32_t handle = 0;
    if (QV_Initialize(&handle) || QV_ConnectToServer(handle, "127.0.0.1", std::atoi(argv[1])) ||
        QV_OpenMod(handle, argv[2]) || QV_FCRun(handle, 2, 3, 7, "--------", 1)) {
        std::printf("failed\n");
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    // Keep the session busy the way the application does, so only the kill
    // (not an idle timeout) can end it.
    for (int tick = 0; tick < 300; ++tick) {
        int32_t open = 0;
        QV_ModIsOpen(handle, &open);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    QV_Finalize(handle);
    return 0;
}
