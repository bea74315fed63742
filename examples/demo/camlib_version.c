/* camlib-version: prints the firmware version of every camera the library
 * finds, one line each: index, name, version text. "--raw" prints the raw
 * form of the version (the 35 characters stored in flash).
 *
 * Set QUILLON_SIMULATOR=<scenario dir> to ask simulated cameras. Exits with 1
 * when the library finds no camera. Written in plain C to show the library
 * from a C caller's side. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "camlib/camlib.h"

#define MAX_CAMERAS 10

/* The name as printable ASCII: enough for a listing. */
static void PrintName(const CamChar16* name) {
    size_t i;
    for (i = 0; i < 1024 && name[i] != 0; ++i) putchar(name[i] < 0x80 ? (int)name[i] : '?');
}

int main(int argc, char** argv) {
    static DeviceInfo infos[MAX_CAMERAS];
    int32_t count = 0;
    int32_t i;
    const uint8_t raw = (argc > 1 && strcmp(argv[1], "--raw") == 0) ? 1 : 0;

    if (CamInitialize(NULL) != 0) {
        int32_t error = 0;
        CamGetLastError(&error);
        fprintf(stderr, "camlib-version: no camera (library error %d)\n", (int)error);
        return 1;
    }
    if (CamEnumDevices(infos, &count, MAX_CAMERAS) != 0) {
        fprintf(stderr, "camlib-version: no camera\n");
        return 1;
    }
    for (i = 0; i < count; ++i) {
        char version[64];
        memset(version, 0, sizeof version);
        printf("camera %d (", (int)i);
        PrintName(infos[i].friendName);
        printf("): ");
        if (CamSelectDevice(i) == 0 &&
            CamGetFirmwareVersion(version, (int32_t)sizeof version, raw) == 0) {
            version[sizeof version - 1] = '\0';
            printf("%s\n", version);
        } else {
            printf("(version not readable)\n");
        }
    }
    return 0;
}
