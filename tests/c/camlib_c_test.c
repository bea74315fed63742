/* A C program that uses the camera library as a factory script would: include
 * the header, link the library, enumerate the simulated cameras. */
#include <stdio.h>
#include <string.h>

#include "camlib/camlib.h"

static int fail(const char* what) {
    int32_t error = -1;
    CamGetLastError(&error);
    fprintf(stderr, "camlib C test: %s (error code %d)\n", what, (int)error);
    return 1;
}

int main(void) {
    DeviceInfo infos[4];
    int32_t count = -1;
    int32_t chipClass = -1;
    uint8_t chipId = 0;
    uint8_t firmwareId[4] = {0, 0, 0, 0};
    char name[8];
    int i;

    if (sizeof(DeviceInfo) != 2 * 1024 * 2 + 4 + 4) return fail("DeviceInfo layout");
    if (CamEnumDevices(infos, &count, 4) != 1) return fail("works before initialisation");
    if (CamInitialize(NULL) != 0) return fail("CamInitialize");
    memset(infos, 0, sizeof infos);
    if (CamEnumDevices(infos, &count, 4) != 0) return fail("CamEnumDevices");
    if (count != 1) return fail("expected one camera");
    for (i = 0; i < 7 && infos[0].friendName[i]; ++i) name[i] = (char)infos[0].friendName[i];
    name[i] = 0;
    if (strcmp(name, "C Cam") != 0) return fail("friendly name");
    if (infos[0].chipID != 0x88 || infos[0].classSize != 0x20000) return fail("chip record");
    if (CamGetChipId(0, &chipClass, &chipId) != 0 || chipClass != 2 || chipId != 0x88)
        return fail("CamGetChipId");
    if (CamGetFirmwareId(0, firmwareId, 4) != 0) return fail("CamGetFirmwareId");
    printf("camera: %s chip 0x%02x class %d firmware id %02x%02x%02x%02x\n", name, chipId,
           (int)chipClass, firmwareId[0], firmwareId[1], firmwareId[2], firmwareId[3]);
    return 0;
}
