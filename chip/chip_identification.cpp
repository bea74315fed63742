// Telling the controller chip apart: its chip ID and architecture, its ROM code
// and the variants that share one, its streaming state, and the quick probe
// with which an enumeration checks that a known camera still answers.
#include <cstring>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "chip/chip_tables.h"

namespace quillon {

namespace {

// The registers the variant checks address directly: those of architecture 0,
// whatever the device's own profile says.
constexpr uint16_t kChipIdReg = 0x101F;
constexpr uint16_t kPinInReg = 0x1005;
constexpr uint16_t kPinOutReg = 0x1006;
constexpr uint16_t kPinOeReg = 0x1007;
constexpr uint16_t kIdSelectReg = 0x100A;
constexpr uint16_t kVariantReg = 0x1185;

constexpr uint8_t kIdSelectBit = 0x10;
constexpr uint8_t kVariantBits = 0x70;

constexpr int kRowQmcg = 15;
constexpr int kRowQmcs = 18;
constexpr int kRowQmbz = 20;
constexpr int kRowQmcb = 21;
constexpr int kRowQmch = 22;
constexpr int kRowQmcj = 23;

constexpr uint16_t kStreamStateRegQmcs = 0xA312;

// Puts the timed-call settings back however the probe ends.
class TimedCallSettingsScope {
  public:
    TimedCallSettingsScope(bool useWorkerThread, uint32_t timeoutMs)
        : manager_(CameraManager::Instance()),
          savedUseWorkerThread_(manager_.useWorkerThread),
          savedTimeoutMs_(manager_.timeoutMs) {
        manager_.useWorkerThread = useWorkerThread;
        manager_.timeoutMs = timeoutMs;
    }
    ~TimedCallSettingsScope() {
        manager_.useWorkerThread = savedUseWorkerThread_;
        manager_.timeoutMs = savedTimeoutMs_;
    }
    TimedCallSettingsScope(const TimedCallSettingsScope&) = delete;
    TimedCallSettingsScope& operator=(const TimedCallSettingsScope&) = delete;

  private:
    CameraManager& manager_;
    bool savedUseWorkerThread_;
    uint32_t savedTimeoutMs_;
};

bool RomRowMatches(const ChipRomEntry& row, const uint8_t* romString) {
    if (std::memcmp(romString, row.romCode, 4) != 0) return false;
    const uint8_t version = romString[5];
    return row.orLater ? version >= row.codeVersion : version == row.codeVersion;
}

// The first row stored at `address` that the buffer matches; -1 when none.
int FindRomRow(uint16_t address, const uint8_t* romString) {
    for (int j = 0; j < kChipRomRows; ++j) {
        const ChipRomEntry& row = ChipRomTable[j];
        if (row.romAddress == address && RomRowMatches(row, romString)) return j;
    }
    return -1;
}

// The variant checks look at what the registers answer and go on regardless:
// a read that fails leaves its byte 0, a write that fails changes nothing.
uint8_t PeekRegister(CameraDevice& dev, uint16_t reg) {
    uint8_t value = 0;
    (void)dev.ReadRegister(reg, &value);
    return value;
}

void PokeRegister(CameraDevice& dev, uint16_t reg, uint8_t value) {
    (void)dev.WriteRegister(reg, value);
}

void RenameRomCode(uint8_t* out8, const char* code) {
    std::memcpy(out8, code, 4);
}

// Drives the pin(s) of `mask` high as outputs and samples the input level.
// The output-enable bits cleared here stay cleared.
struct PinSample {
    uint8_t output;  // what was written to the output register
    uint8_t input;   // the input level register afterwards
};

PinSample DrivePinHigh(CameraDevice& dev, uint8_t mask) {
    const uint8_t enables = PeekRegister(dev, kPinOeReg) & static_cast<uint8_t>(~mask);
    const uint8_t output = PeekRegister(dev, kPinOutReg) | mask;
    PokeRegister(dev, kPinOeReg, enables);
    PokeRegister(dev, kPinOutReg, output);
    return PinSample{output, PeekRegister(dev, kPinInReg)};
}

void ReleasePin(CameraDevice& dev, const PinSample& sample, uint8_t mask) {
    PokeRegister(dev, kPinOutReg, sample.output & static_cast<uint8_t>(~mask));
}

// Reads the chip ID while bit 4 of 0x100A is cleared, then puts that bit back.
uint8_t ChipIdWithSelectCleared(CameraDevice& dev) {
    const uint8_t select = PeekRegister(dev, kIdSelectReg);
    const uint8_t saved = select & kIdSelectBit;
    const uint8_t cleared = select & static_cast<uint8_t>(~kIdSelectBit);
    PokeRegister(dev, kIdSelectReg, cleared);
    const uint8_t chipId = PeekRegister(dev, kChipIdReg);
    PokeRegister(dev, kIdSelectReg, cleared | saved);
    return chipId;
}

// QMCG0: a variant whose bits 4-6 of 0x1185 can be set is the '1' variant.
void RefineQmcg(CameraDevice& dev, uint8_t* out8) {
    const uint8_t value = PeekRegister(dev, kVariantReg) | kVariantBits;
    PokeRegister(dev, kVariantReg, value);
    if ((PeekRegister(dev, kVariantReg) & kVariantBits) == kVariantBits) out8[4] = '1';
}

// QMCS0: chip ID 0x89 means the chip is a QMCT0; otherwise pin 5 tells the variant.
void RefineQmcs(CameraDevice& dev, uint8_t* out8) {
    if (PeekRegister(dev, kChipIdReg) == 0x89) {
        RenameRomCode(out8, "QMCT0");
        return;
    }
    constexpr uint8_t kPin = 0x20;
    const PinSample sample = DrivePinHigh(dev, kPin);
    if (sample.input & kPin) {
        out8[4] = '1';
    } else {
        ReleasePin(dev, sample, kPin);
    }
}

// QMCB0 and QMBZ0 share a ROM: chip ID 0x70 read that way means QMBZ0. Then
// pin 3, and failing that pin 4, tell the variant.
void RefineQmcb(CameraDevice& dev, uint8_t* out8, int32_t& chipIndex) {
    if (ChipIdWithSelectCleared(dev) == 0x70) {
        RenameRomCode(out8, "QMBZ0");
        chipIndex = kRowQmbz;
    }
    constexpr uint8_t kPin3 = 0x08;
    const PinSample pin3 = DrivePinHigh(dev, kPin3);
    if (pin3.input & kPin3) {
        out8[4] = '1';
        ReleasePin(dev, pin3, kPin3);
        return;
    }
    constexpr uint8_t kPin4 = 0x10;
    const PinSample pin4 = DrivePinHigh(dev, kPin4);
    if (pin4.input & kPin4) {
        out8[4] = '0';
    } else if (chipIndex == kRowQmbz) {
        out8[4] = '2';
        ReleasePin(dev, pin4, kPin4);
    }
}

// QMCJ0 and QMCH0 share a ROM: chip ID 0x80 read that way means QMCH0. Then
// pin 3 tells the variant.
void RefineQmcj(CameraDevice& dev, uint8_t* out8, int32_t& chipIndex) {
    if (ChipIdWithSelectCleared(dev) == 0x80) {
        RenameRomCode(out8, "QMCH0");
        chipIndex = kRowQmch;
    }
    constexpr uint8_t kPin3 = 0x08;
    const PinSample pin3 = DrivePinHigh(dev, kPin3);
    if (pin3.input & kPin3) {
        out8[4] = '1';
        ReleasePin(dev, pin3, kPin3);
    } else {
        out8[4] = '0';
    }
}

// The register holding the streaming flag for a ROM code; 0 when the chip has none.
uint16_t StreamStateRegister(const uint8_t* code) {
    for (const char* c :
         {"QMBN0", "QMBV0", "QMBX0", "QMBZ0", "QMCF0", "QMCH0", "QMCJ0", "QMCK0", "QMCW0"}) {
        if (RomCodeIs(code, c)) return 0x1101;
    }
    if (RomCodeIs(code, "QMCP0")) return 0x4891;
    if (RomCodeIs(code, "QMCG0")) return 0x4A91;
    for (const char* c : {"QMCM0", "QMCN0", "QMCS0", "QMCT0", "QMCV0"}) {
        if (RomCodeIs(code, c)) return 0xA302;
    }
    return 0;
}

bool UsesBlockTransferRow(int32_t chipIndex) {
    for (int32_t row : {15, 18, 35, 36, 37}) {
        if (chipIndex == row) return true;
    }
    return false;
}

}  // namespace

int32_t CameraDevice::ReadChipId(uint8_t* chipID, int32_t* asicArchType) {
    // The architecture-0 register is always tried first; the other one only
    // when the first answered something unknown.
    for (const RegisterProfile& candidate : RegisterProfiles) {
        uint8_t value = 0;
        if (!ReadRegisterWithRetry(candidate[REG_CHIP_ID], &value)) return -1;
        if (const ChipIdClass* known = ClassifyChipId(value)) {
            *chipID = value;
            // The chip ID, not the register that answered, decides the architecture.
            *asicArchType = known->asicArchType;
            return known->chipClass;
        }
    }
    return -1;
}

int32_t CameraDevice::ProbeChip() {
    if (!baseFilter) return 1;
    // Each call on a worker with a one-second limit, so a camera that stopped
    // answering cannot block the enumeration.
    TimedCallSettingsScope scope(true, 1000);
    uint8_t chipID = 0;
    int32_t asicArchType = 0;
    return ReadChipId(&chipID, &asicArchType) == -1 ? 1 : 0;
}

int32_t CameraDevice::MatchRomCode(uint8_t* out8) {
    for (uint16_t address : RomCodeAddresses) {
        uint8_t romString[8] = {};
        if (ReadRom(address, romString) != 0) return 1;
        const int row = FindRomRow(address, romString);
        if (row >= 0) {
            std::memcpy(out8, romString, sizeof romString);
            profile.chipIndex = row;
            return 0;
        }
    }
    return 1;
}

int32_t CameraDevice::ReadRomVersion(uint8_t* out8) {
    if (MatchRomCode(out8) != 0) return 1;
    // Some chips share a ROM code; registers and pin straps tell them apart.
    // Each check looks at the row as the checks before it left it.
    int32_t& chipIndex = profile.chipIndex;
    if (chipIndex == kRowQmcg) RefineQmcg(*this, out8);
    if (chipIndex == kRowQmcs) RefineQmcs(*this, out8);
    if (chipIndex == kRowQmcb) RefineQmcb(*this, out8, chipIndex);
    if (chipIndex == kRowQmcj) RefineQmcj(*this, out8, chipIndex);
    return 0;
}

bool CameraDevice::ReadStreamState(const uint8_t* code, int32_t* state) {
    const uint16_t reg = StreamStateRegister(code);
    if (reg == 0) return true;  // this chip has no streaming flag: leave the caller's value

    uint8_t value = 0;
    if (ReadRegister(reg, &value) != 0) return false;
    int32_t streaming = value & 0x01;

    if (streaming == 0 && (RomCodeIs(code, "QMCS0") || RomCodeIs(code, "QMCT0"))) {
        // These chips keep a second streaming flag.
        value = 0;
        if (ReadRegister(kStreamStateRegQmcs, &value) != 0) return false;
        streaming = value & 0x01;
    } else if (streaming == 0 && RomCodeIs(code, "QMCW0")) {
        // Bit 4 of the same register is reported as it is (0 or 0x10); only a
        // state of 1 stops a burn.
        value = 0;
        if (ReadRegister(reg, &value) != 0) return false;
        streaming = value & 0x10;
    }
    *state = streaming;
    return true;
}

void CameraDevice::InitChipProfile(int32_t asicArchType) {
    uint8_t romVersion[10] = {};
    if (ReadRomVersion(romVersion) == 0 && UsesBlockTransferRow(profile.chipIndex)) {
        blockTransfer = true;
    }
    LoadRegisterProfile(asicArchType);
}

void CameraDevice::LoadRegisterProfile(int32_t asicArchType) {
    // Only the two architectures exist; anything else leaves the profile as it is.
    if (asicArchType < 0 || asicArchType >= kArchTypes) return;
    profile.registers = RegisterProfiles[asicArchType];
}

}  // namespace quillon
