// One accepted camera: its identity, the references through which every
// extension-unit request reaches it, what has been learnt about its chip and
// flash, and its last error code. Every device operation is a member.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "camlib/camlib.h"
#include "chip/register_profile.h"
#include "platform/com.h"
#include "platform/devenum.h"
#include "platform/ks.h"

namespace quillon {

class CameraShow;

// Where extension-unit requests go: the capture filter and the unit's node.
// Worker threads of the timed calls hold their own filter reference, so a device
// destroyed while an abandoned worker still runs leaves that worker's target valid.
struct XuTarget {
    platform::IBaseFilter* filter = nullptr;
    int32_t nodeId = -1;
};

// Extension-unit primitives on a target; see the device members of the same names.
namespace xu {
int32_t ReadRegister(const XuTarget& t, uint16_t reg, uint8_t* out);
int32_t WriteRegister(const XuTarget& t, uint16_t reg, uint8_t value);
int32_t ReadMemory(const XuTarget& t, int32_t address, uint8_t* out8, uint8_t count);
int32_t WriteMemory(const XuTarget& t, int32_t address, const uint8_t* data, uint8_t count);
int32_t ReadRom(const XuTarget& t, uint16_t address, uint8_t* out8);
int32_t GetMemoryType(const XuTarget& t, uint8_t* out);
int32_t ReadBlock(const XuTarget& t, uint8_t* out, uint8_t count);
int32_t WriteBlock(const XuTarget& t, const uint8_t* data, uint8_t count);
}  // namespace xu

// Finds the extension unit among the filter's topology nodes; -1 when none.
int32_t FindExtensionUnitNode(platform::IBaseFilter* filter);

struct ChipProfile {
    int32_t chipIndex;
    RegisterProfile registers;
};

class CameraDevice {
public:
    CameraDevice(platform::IMoniker* moniker, platform::IBaseFilter* filter, int32_t xuNodeId);
    ~CameraDevice();
    CameraDevice(const CameraDevice&) = delete;
    CameraDevice& operator=(const CameraDevice&) = delete;

    // --- identity ---
    void SetDeviceInfo(const DeviceInfo& record);
    void GetDeviceInfo(DeviceInfo& out) const;
    std::string VidPidString() const;

    // --- extension-unit primitives: 0, 1, or the request's failure status ---
    int32_t XuGetMemoryType(uint8_t* out);
    int32_t XuReadMemory(int32_t address, uint8_t* out8, uint8_t count);
    int32_t XuWriteMemory(int32_t address, const uint8_t* data, uint8_t count);
    int32_t XuReadBlock(uint8_t* out, uint8_t count);
    int32_t XuWriteBlock(const uint8_t* data, uint8_t count);
    int32_t XuReadRegister(uint16_t reg, uint8_t* out);
    int32_t XuWriteRegister(uint16_t reg, uint8_t value);
    int32_t XuReadRom(uint16_t address, uint8_t* out8);

    // --- timed device calls: direct, or on a worker with a time limit ---
    int32_t GetMemoryType(uint8_t* out);
    int32_t ReadMemory(int32_t address, uint8_t* out8, uint8_t count);
    int32_t WriteMemory(int32_t address, const uint8_t* data, uint8_t count);
    int32_t ReadBlock(int32_t address, uint8_t* out, uint8_t count);
    int32_t WriteBlock(int32_t address, const uint8_t* data, uint8_t count);
    int32_t ReadRegister(uint16_t reg, uint8_t* out);
    int32_t WriteRegister(uint16_t reg, uint8_t value);
    int32_t ReadRom(uint16_t address, uint8_t* out8);

    // --- register and memory access ---
    bool ReadRegisterWithRetry(uint16_t reg, uint8_t* out);
    int32_t TestRegisterBit(uint16_t reg, uint8_t bit, uint8_t* out);
    bool ReadRegister32(uint16_t reg, uint32_t* out);
    bool WriteRegister32(uint16_t reg, uint32_t value);
    int32_t ReadMemoryRange(int32_t address, std::span<uint8_t> out);
    void ResetBlockWindow();
    int32_t BeginBlockRead(uint32_t start, uint32_t length, uint8_t pieceSize);
    int32_t BeginBlockWrite(uint32_t start, uint32_t length, uint8_t pieceSize);

    // --- chip identification ---
    int32_t ReadChipId(uint8_t* chipID, int32_t* asicArchType);
    int32_t ProbeChip();
    int32_t MatchRomCode(uint8_t* out8);
    int32_t ReadRomVersion(uint8_t* out8);
    bool ReadStreamState(const uint8_t* code, int32_t* state);
    void InitChipProfile(int32_t asicArchType);
    void LoadRegisterProfile(int32_t asicArchType);
    bool UsesBlockTransfer() const { return blockTransfer; }

    // --- serial-flash identification ---
    int32_t WaitTransferDone();
    int32_t ReadFlashId(uint8_t command, uint8_t dummyCount, uint8_t idLength);
    uint8_t LookupFlashType();
    int32_t IdentifyFlash();
    int32_t GetFlashType(int32_t* type, uint8_t allowFallback);

    // --- serial-flash commands ---
    int32_t WaitFlashIdle();
    int32_t PrepareFlashWrite(int32_t sfType);
    int32_t EraseFlash(int32_t sfType);
    int32_t EnableBlockTransfer();
    int32_t ProgramFlash(int32_t address, const uint8_t* bytes, int32_t count);
    int32_t FinishUpgrade();

    // --- burn and firmware information ---
    int32_t BurnFirmware(const uint8_t* image, int32_t length, ProgressCallback callback,
                         void* context, int32_t flashType, uint8_t fullVerify);
    int32_t GetFlashLayout(uint32_t* start, uint32_t* end, uint32_t* crc);
    int32_t ReadFirmwareVersion(char* buffer, int32_t size, uint8_t rawForm);

    // --- preview holder ---
    CameraShow* GetCameraShow();
    void ReleaseCameraShow();

    // SPI byte protocol on the engine registers of `registers`.
    int32_t SpiSend(uint8_t byte);
    int32_t SpiReceive(uint8_t* byte);

    // Fields, in this order.
    int32_t lastError = 0;
    std::unique_ptr<CameraShow> cameraShow;
    platform::ComPtr<platform::IBaseFilter> baseFilter;
    platform::ComPtr<platform::IMoniker> moniker;
    int32_t xuNodeId;
    std::u16string devicePath;
    std::u16string friendName;
    uint8_t flashId[3] = {0, 0, 0};
    uint8_t flashCmdSet = 0;
    ChipProfile profile{};
    bool blockTransfer = false;
    DeviceInfo info{};

private:
    XuTarget Target() const { return XuTarget{baseFilter.Get(), xuNodeId}; }
};

}  // namespace quillon
