/* vexif-modules.c - lists the modules of libvexif's built-in server and counts
 * the frequency of channels 0 and 1 of the simulated module QVSIMC01 in a
 * 100 ms gate, then reads the count's measures (libvexif 1.1).
 *
 * Build:  cc vexif-modules.c $(pkg-config --cflags --libs vexif) -o vexif-modules
 * Run:    VEXIF_DEVICES= ./vexif-modules      (no USB analysers looked for)
 *
 * Exit status 0 when the modules were listed and the count came out as the
 * simulation's signals give it: 100000 edges of 1 MHz, 100 of 1 kHz, and the
 * measured frequencies 1 MHz and 1 kHz.
 */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <vexif.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static int failed(const char* call, int32_t status) {
    fprintf(stderr, "vexif-modules: %s failed with status %d\n", call, (int)status);
    return 1;
}

/* |value - expected| <= tolerance; false for NaN. */
static int near(double value, double expected, double tolerance) {
    return value >= expected - tolerance && value <= expected + tolerance;
}

static int countOnSimulation(int32_t handle) {
    QV_ModuleInfo model;
    int32_t status = QV_Info('c', &model, (int32_t)sizeof model);
    if (status != QV_OK) return failed("QV_Info", status);
    if ((status = QV_OpenMod(handle, "QVSIMC01")) != QV_OK) return failed("QV_OpenMod", status);
    /* Frequency, rising edges, 100 ms gate, no arming condition. */
    status = QV_FCRun(handle, QV_COUNT_FREQUENCY, QV_EDGE_RISE_RISE, QV_GATE_100MS, "--------", 1);
    if (status != QV_OK) return failed("QV_FCRun", status);

    uint32_t words[64];
    const struct timespec pause = {0, 10 * 1000 * 1000}; /* 10 ms */
    for (int polls = 0;; ++polls) {
        if ((status = QV_FCGetStatus(handle, words, 64)) != QV_OK)
            return failed("QV_FCGetStatus", status);
        if (!(words[0] & QV_STATUS_BUSY)) break;
        if (polls == 500) {
            fprintf(stderr, "vexif-modules: the 100 ms count did not finish in 5 s\n");
            return 1;
        }
        nanosleep(&pause, NULL);
    }
    int64_t counts[64];
    if ((status = QV_FCGetCounts(handle, counts, 64)) != QV_OK)
        return failed("QV_FCGetCounts", status);
    printf("QVSIMC01 (%s, %d channels), 100 ms gate: channel 0 %lld, channel 1 %lld\n",
           model.modelName, (int)model.channelCount, (long long)counts[0], (long long)counts[1]);
    if (counts[0] != 100000 || counts[1] != 100) return 1;

    /* The finest frequency the count gives, per channel; every entry's size
     * tells the library which version of the struct this program knows. */
    QV_ChannelMeasures measures[64];
    for (int i = 0; i < 64; ++i)
        measures[i].size = (int32_t)sizeof measures[i];
    if ((status = QV_FCGetMeasures(handle, measures, 64)) != QV_OK)
        return failed("QV_FCGetMeasures", status);
    printf("measured: channel 0 %.3f Hz (duty %.3f), channel 1 %.3f Hz\n", measures[0].frequency,
           measures[0].duty, measures[1].frequency);
    QV_CloseMod(handle);
    return near(measures[0].frequency, 1e6, 1e-3) && near(measures[1].frequency, 1e3, 1e-6) ? 0 : 1;
}

int main(void) {
    int32_t handle = 0;
    int32_t status = QV_Initialize(&handle);
    if (status != QV_OK) return failed("QV_Initialize", status);
    /* A null host: the built-in server inside this process. */
    if ((status = QV_ConnectToServer(handle, NULL, 0)) != QV_OK) {
        QV_Finalize(handle);
        return failed("QV_ConnectToServer", status);
    }

    char id[128];
    if (QV_QueryServerID(handle, id, (int32_t)sizeof id) == QV_OK) printf("server: %s\n", id);
    int32_t count = 0;
    if ((status = QV_ModCount(handle, &count)) != QV_OK) {
        QV_Finalize(handle);
        return failed("QV_ModCount", status);
    }
    printf("%d modules\n", (int)count);
    int result = count > 0 ? 0 : 1;
    for (int32_t i = 0; i < count && result == 0; ++i) {
        char name[QV_MODULE_NAME_SIZE];
        char info[QV_MODULE_INFO_SIZE];
        if ((status = QV_ModInfo(handle, i, name, info)) != QV_OK) {
            result = failed("QV_ModInfo", status);
            break;
        }
        printf("  %-8s model %c, %s, %s\n", name, info[0], info[1] == 'f' ? "free" : "taken",
               info[2] == 'p' ? "present" : "not present");
    }
    if (result == 0) result = countOnSimulation(handle);
    QV_Finalize(handle);
    return result;
}
