// Replacing the firmware in the camera's serial flash: refuse a streaming
// camera, prepare and erase the flash, check the erase, program the image and
// read it back.
//
// The bytes from which the camera recognises a firmware (the start of the
// sector table at 0x160, and on chip 0x16 also the first two bytes and the CRC
// area at 0x6700) are withheld from the main pass and written only once every
// other byte is in the flash: a burn that stops half way leaves them erased,
// so the camera never starts a half-written firmware.
//
// The programming and read-back loops run once per exchange: they use only
// buffers that live on the stack or were allocated before the loop.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "camlib/camera_device.h"
#include "platform/clock.h"

namespace quillon {

namespace {

// The start of the sector table: 8 bytes saved, the first 4 blanked.
constexpr int32_t kSectorTableAddress = 0x160;
constexpr size_t kSectorTableSaved = 8;
constexpr size_t kSectorTableBlanked = 4;

// Chip 0x16 also recognises its firmware by the first two bytes of the flash
// and by the CRC area at 0x6700 (2 + 21 bytes).
constexpr uint8_t kChipWithBootBytes = 0x16;
constexpr int32_t kBootAddress = 0x0000;
constexpr size_t kBootLength = 2;
constexpr int32_t kCrcHeadAddress = 0x6700;
constexpr size_t kCrcHeadLength = 2;
constexpr int32_t kCrcTailAddress = 0x6702;
constexpr size_t kCrcTailLength = 21;

// The bytes the burn writes unconditionally: an image must reach past them.
constexpr int32_t kMinImageLength = kSectorTableAddress + static_cast<int32_t>(kSectorTableSaved);
constexpr int32_t kMinImageLengthBootBytes = kCrcTailAddress + static_cast<int32_t>(kCrcTailLength);

constexpr uint32_t kEraseSettleMs = 2000;
constexpr int32_t kSampleStride = 1024;  // blank check and spot check: one sample per KiB
constexpr uint8_t kSampleLength = 8;
constexpr int32_t kProgressStride = 512;
constexpr uint8_t kMemoryPiece = 8;
constexpr uint8_t kBlockPiece = 64;

constexpr uint8_t kErased = 0xFF;
constexpr int32_t kStreaming = 1;

struct RegisterWrite {
    uint16_t reg;
    uint8_t value;
};

// Chip-specific settings made before anything else; what they do inside the
// chip does not matter here, their order does.
constexpr std::array<RegisterWrite, 3> kChip85Writes{
    {{0x05FF, 0x5A}, {0x0A00, 0x01}, {0x0A0A, 0x01}}};
constexpr std::array<RegisterWrite, 2> kChip86Writes{{{0x0A00, 0x01}, {0x0A0A, 0x01}}};

std::span<const RegisterWrite> ChipSpecificWrites(uint8_t chipID) {
    switch (chipID) {
        case 0x85:
            return kChip85Writes;
        case 0x86:
        case 0x89:
            return kChip86Writes;
        default:
            return {};
    }
}

// Progress once per 512 bytes, computed in single precision. With full
// verification the programming fills the first half and the read-back the second.
class Progress {
  public:
    Progress(ProgressCallback callback, void* context, int32_t length, bool fullVerify)
        : callback_(callback),
          context_(context),
          length_(static_cast<float>(length)),
          fullVerify_(fullVerify) {}

    void Programming(int32_t address) const {
        if (!callback_ || address % kProgressStride != 0) return;
        float fraction = static_cast<float>(address) / length_;
        if (fullVerify_) fraction = fraction * 0.5f;
        callback_(context_, fraction);
    }
    void ProgrammingDone() const { Report(fullVerify_ ? 0.5f : 1.0f); }
    void Checking(int32_t address) const {
        if (!callback_ || !fullVerify_ || address % kProgressStride != 0) return;
        callback_(context_, static_cast<float>(address) / length_ * 0.5f + 0.5f);
    }
    void CheckingDone() const {
        if (fullVerify_) Report(1.0f);
    }

  private:
    void Report(float fraction) const {
        if (callback_) callback_(context_, fraction);
    }

    ProgressCallback callback_;
    void* context_;
    float length_;
    bool fullVerify_;
};

// One run of image bytes kept out of the main pass.
struct WithheldRun {
    int32_t address;
    size_t length;
    std::array<uint8_t, kCrcTailLength> saved{};
};

class Burn {
  public:
    Burn(CameraDevice& device, std::span<const uint8_t> image, const Progress& progress,
         int32_t flashType, bool fullVerify)
        : dev_(device),
          image_(image),
          length_(static_cast<int32_t>(image.size())),
          progress_(progress),
          flashType_(flashType),
          fullVerify_(fullVerify) {}

    int32_t Run();

  private:
    [[nodiscard]] int32_t Fail(int32_t code) {
        dev_.lastError = code;
        return 1;
    }
    [[nodiscard]] bool Identify();
    [[nodiscard]] int32_t CheckNotStreaming();
    [[nodiscard]] int32_t EraseAndCheck();
    [[nodiscard]] bool BlankCheck();
    void WithholdSignatures();
    [[nodiscard]] bool ProgramAll();
    [[nodiscard]] bool WriteWithheld();
    [[nodiscard]] int32_t ReadBack();

    // Copies one piece of the working copy into a 0xFF-filled buffer; an image
    // whose length is not a whole number of pieces ends on a padded piece.
    void LoadPiece(int32_t address, uint8_t count) {
        const size_t n = std::min<size_t>(count, static_cast<size_t>(length_ - address));
        std::memcpy(data_.data(), copy_.get() + address, n);
        if (n < count) std::memset(data_.data() + n, kErased, count - n);
    }
    // Whether the flash bytes in `data_` equal the image at `address`; bytes
    // past the image's end are not compared.
    bool Matches(int32_t address, uint8_t count) const {
        const size_t n = std::min<size_t>(count, static_cast<size_t>(length_ - address));
        return std::memcmp(data_.data(), copy_.get() + address, n) == 0;
    }

    CameraDevice& dev_;
    const std::span<const uint8_t> image_;
    const int32_t length_;
    const Progress& progress_;
    const int32_t flashType_;
    const bool fullVerify_;

    uint8_t chipID_ = 0;
    std::unique_ptr<uint8_t[]> copy_;
    std::array<uint8_t, kSectorTableSaved> intBuffer_{};
    // Chip 0x16 only, in the order they are written back: the CRC tail, the
    // boot bytes, the CRC head.
    std::array<WithheldRun, 3> bootRuns_{{{kCrcTailAddress, kCrcTailLength},
                                          {kBootAddress, kBootLength},
                                          {kCrcHeadAddress, kCrcHeadLength}}};
    std::array<uint8_t, kBlockPiece> data_{};
};

bool Burn::Identify() {
    int32_t asicArchType = 0;
    if (dev_.ReadChipId(&chipID_, &asicArchType) == -1) return false;
    // Chip 0x16's late writes reach 0x6716: an image that ends before cannot be burnt.
    return chipID_ != kChipWithBootBytes || length_ >= kMinImageLengthBootBytes;
}

int32_t Burn::CheckNotStreaming() {
    uint8_t romVersion[10] = {};
    if (dev_.ReadRomVersion(romVersion) != 0) return Fail(ERR_ROM_ID_READ);
    int32_t rVal = -1;
    if (!dev_.ReadStreamState(romVersion, &rVal)) return Fail(ERR_STREAM_STATE_READ);
    if (rVal == kStreaming) return Fail(ERR_STREAMING);
    return 0;
}

int32_t Burn::EraseAndCheck() {
    // Whatever code the preparation stored, the burn reports that it could not prepare.
    if (dev_.PrepareFlashWrite(flashType_) != 0) return Fail(ERR_FLASH_UNPROTECT);
    if (dev_.EraseFlash(flashType_) != 0) return Fail(ERR_FLASH_ERASE);
    platform::Sleep(kEraseSettleMs);
    return 0;
}

// Samples 8 bytes of every KiB; false (without a code) when a read fails,
// with ERR_FLASH_ERASE stored when a sample is not blank.
bool Burn::BlankCheck() {
    static constexpr std::array<uint8_t, kSampleLength> temp = [] {
        std::array<uint8_t, kSampleLength> blank{};
        blank.fill(kErased);
        return blank;
    }();
    for (int32_t offset = 0; offset < length_ - kSampleStride; offset += kSampleStride) {
        std::memset(data_.data(), kErased, data_.size());
        if (dev_.ReadMemory(offset, data_.data(), kSampleLength) != 0) return false;
        if (std::memcmp(data_.data(), temp.data(), kSampleLength) != 0) {
            dev_.lastError = ERR_FLASH_ERASE;
            return false;
        }
    }
    return true;
}

void Burn::WithholdSignatures() {
    std::memcpy(intBuffer_.data(), copy_.get() + kSectorTableAddress, kSectorTableSaved);
    std::memset(copy_.get() + kSectorTableAddress, kErased, kSectorTableBlanked);
    if (chipID_ != kChipWithBootBytes) return;
    for (WithheldRun& run : bootRuns_) {
        std::memcpy(run.saved.data(), copy_.get() + run.address, run.length);
        std::memset(copy_.get() + run.address, kErased, run.length);
    }
}

bool Burn::ProgramAll() {
    const bool block = dev_.UsesBlockTransfer();
    const uint8_t piece = block ? kBlockPiece : kMemoryPiece;
    if (block) {
        (void)dev_.EnableBlockTransfer();
        // Block pieces carry no address: without an open window the chip would
        // take the first piece of the image for a window command. Stop instead.
        if (dev_.BeginBlockWrite(0, static_cast<uint32_t>(length_), kBlockPiece) != 0) return false;
    }
    for (int32_t address = 0; address < length_; address += piece) {
        progress_.Programming(address);
        LoadPiece(address, piece);
        const int32_t result = block ? dev_.WriteBlock(address, data_.data(), piece)
                                     : dev_.WriteMemory(address, data_.data(), piece);
        if (result != 0) return false;
    }
    return true;
}

// The withheld bytes, the sector table first; the working copy gets each run
// back once all are written, so it equals the image again for the read-back.
bool Burn::WriteWithheld() {
    if (dev_.WriteMemory(kSectorTableAddress, intBuffer_.data(), kSectorTableSaved) != 0)
        return false;
    std::memcpy(copy_.get() + kSectorTableAddress, intBuffer_.data(), kSectorTableSaved);
    if (chipID_ != kChipWithBootBytes) return true;
    const WithheldRun& tail = bootRuns_[0];
    if (dev_.ProgramFlash(tail.address, tail.saved.data(), static_cast<int32_t>(tail.length)) != 0)
        return false;
    for (size_t i = 1; i < bootRuns_.size(); ++i) {
        const WithheldRun& run = bootRuns_[i];
        if (dev_.WriteMemory(run.address, run.saved.data(), static_cast<uint8_t>(run.length)) != 0)
            return false;
    }
    for (const WithheldRun& run : bootRuns_)
        std::memcpy(copy_.get() + run.address, run.saved.data(), run.length);
    return true;
}

int32_t Burn::ReadBack() {
    const bool block = dev_.UsesBlockTransfer();
    int32_t step = kSampleStride;
    uint8_t compare = kSampleLength;
    if (fullVerify_) step = compare = block ? kBlockPiece : kMemoryPiece;
    if (block) {
        (void)dev_.EnableBlockTransfer();
        if (fullVerify_) (void)dev_.BeginBlockRead(0, static_cast<uint32_t>(length_), kBlockPiece);
    }
    for (int32_t address = 0; address < length_; address += step) {
        std::memset(data_.data(), kErased, compare);
        int32_t result = 0;
        if (block) {
            if (!fullVerify_) (void)dev_.BeginBlockRead(address, kSampleLength, kSampleLength);
            result = dev_.ReadBlock(address, data_.data(), compare);
        } else {
            result = dev_.ReadMemory(address, data_.data(), compare);
        }
        if (result != 0) return 1;
        if (!Matches(address, compare)) return Fail(ERR_VERIFY);
        progress_.Checking(address);
    }
    progress_.CheckingDone();
    return 0;
}

int32_t Burn::Run() {
    if (flashType_ == 0) return Fail(ERR_NO_FLASH_TYPE);
    if (!Identify()) return 1;
    for (const RegisterWrite& w : ChipSpecificWrites(chipID_))
        (void)dev_.WriteRegister(w.reg, w.value);
    if (CheckNotStreaming() != 0) return 1;
    if (EraseAndCheck() != 0) return 1;
    if (!BlankCheck()) return 1;

    copy_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(length_)]);
    if (!copy_) return Fail(ERR_NO_MEMORY);
    std::memcpy(copy_.get(), image_.data(), image_.size());
    WithholdSignatures();

    if (!ProgramAll()) return 1;
    if (!WriteWithheld()) return 1;
    progress_.ProgrammingDone();
    return ReadBack();
}

}  // namespace

int32_t CameraDevice::BurnFirmware(const uint8_t* image, int32_t length, ProgressCallback callback,
                                   void* context, int32_t flashType, uint8_t fullVerify) {
    // The burn always writes the sector table start at 0x160..0x167: an image
    // that ends before it (or a missing one) is refused before anything is sent.
    if (image == nullptr || length < kMinImageLength) return 1;
    const Progress progress(callback, context, length, fullVerify != 0);
    Burn burn(*this, std::span<const uint8_t>(image, static_cast<size_t>(length)), progress,
              flashType, fullVerify != 0);
    return burn.Run();
}

}  // namespace quillon
