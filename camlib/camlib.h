/* The camera library: find cameras with the vendor extension unit, read their
 * identity and firmware version, and replace their firmware.
 *
 * Every function returns 0 for success and 1 for failure; why a call failed is
 * told by CamGetLastError. Compiles as C99 and C++. */
#ifndef QUILLON_CAMLIB_H
#define QUILLON_CAMLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char16_t CamChar16;
#else
typedef uint_least16_t CamChar16;
#endif

#if defined(__GNUC__)
#define CAMLIB_API __attribute__((visibility("default")))
#else
#define CAMLIB_API
#endif

/* Error codes kept per camera (and, for CamInitialize, for the library). */
typedef enum CamError {
    ERR_ENUM_FAILED = 2,        /* no qualifying camera at initialisation */
    ERR_FLASH_UNPROTECT = 3,    /* flash could not be prepared for writing */
    ERR_FLASH_ERASE = 4,        /* erase failed or left bytes that are not blank */
    ERR_ROM_ID_READ = 8,        /* the chip's ROM identification could not be read */
    ERR_CHIP_IDENT = 9,         /* the chip could not be identified */
    ERR_NO_FLASH_TYPE = 12,     /* burn asked for with flash type 0 */
    ERR_VERIFY = 13,            /* data read back differ from the image */
    ERR_COM_INIT = 14,          /* the platform layer could not be initialised */
    ERR_NO_MEMORY = 16,         /* no memory for the working copy of the image */
    ERR_STREAM_STATE_READ = 17, /* the streaming state could not be read */
    ERR_STREAMING = 18          /* the camera is streaming video; nothing was written */
} CamError;

/* One camera as the library describes it. Texts are UTF-16, zero-filled after
 * the text; a text that fills its field has no terminator. */
typedef struct DeviceInfo {
    CamChar16 friendName[1024];
    CamChar16 devicePath[1024];
    uint32_t classSize;
    uint8_t chipID;
} DeviceInfo;

/* Progress of a burn: (context, fraction from 0.0 to 1.0). */
typedef void (*ProgressCallback)(void* context, float fraction);

CAMLIB_API int32_t CamInitialize(const char* vidPid);
CAMLIB_API int32_t CamEnumDevices(DeviceInfo* infos, int32_t* number, int32_t maxCount);
CAMLIB_API int32_t CamGetChipId(int32_t index, int32_t* chipClass, uint8_t* id);
CAMLIB_API int32_t CamGetFirmwareId(int32_t index, uint8_t* buffer, int32_t size);
CAMLIB_API int32_t CamSelectDevice(int32_t index);
CAMLIB_API int32_t CamGetLastError(int32_t* error);
CAMLIB_API int32_t CamGetFirmwareVersion(char* buffer, int32_t size, uint8_t rawForm);
CAMLIB_API int32_t CamGetFlashType(int32_t* type, uint8_t allowFallback);
CAMLIB_API int32_t CamBurnFirmware(const uint8_t* image, int32_t length, ProgressCallback callback,
                                   void* context, int32_t flashType, uint8_t fullVerify);
CAMLIB_API int32_t CamFinishUpgrade(void);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_CAMLIB_H */
