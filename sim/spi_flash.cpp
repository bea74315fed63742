#include "sim/spi_flash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

namespace sim {

namespace {

constexpr uint8_t kErased = 0xFF;
constexpr uint8_t kFloating = 0xFF;  // what the data line reads when nothing drives it
constexpr uint8_t kWritableStatusBits = 0xFC;

constexpr uint8_t kCmdWriteStatus = 0x01;
constexpr uint8_t kCmdWriteDisable = 0x04;
constexpr uint8_t kCmdReadStatus = 0x05;
constexpr uint8_t kCmdWriteEnable = 0x06;
constexpr uint8_t kCmdEnableWriteStatus = 0x50;
constexpr uint8_t kCmdChipErase = 0x60;
constexpr uint8_t kCmdChipEraseAlt = 0xC7;

enum class Command {
    kIgnored,
    kWriteEnable,
    kWriteDisable,
    kReadStatus,
    kWriteStatus,
    kEnableWriteStatus,
    kChipErase,
    kIdentify,
};

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const uint8_t* bytes, size_t length, off_t offset) {
    while (length > 0) {
        ssize_t n = ::pwrite(fd, bytes, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// Reads up to `length` bytes; returns how many were read, or -1 on error.
ssize_t ReadUpTo(int fd, uint8_t* bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd, bytes + done, length - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

struct SpiFlash::Impl {
    Impl(const SpiFlashConfig& cfg, platform::Clock& clk)
        : config(cfg),
          clock(clk),
          data(cfg.size, kErased),
          statusBits(cfg.status & kWritableStatusBits),
          writeEnabled((cfg.status & kStatusWriteEnable) != 0) {}

    ~Impl() {
        if (fd >= 0) ::close(fd);
    }

    // --- backing file ---

    bool OpenFile(std::string& error) {
        fd = ::open(config.file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = ErrnoText("cannot open flash file", config.file);
            return false;
        }
        ssize_t got = ReadUpTo(fd, data.data(), data.size());
        if (got < 0) {
            error = ErrnoText("cannot read flash file", config.file);
            return false;
        }
        // A short or new file grows to the part's size, erased, so that it
        // holds the whole part from the start.
        size_t have = static_cast<size_t>(got);
        if (have < data.size() &&
            !WriteAll(fd, data.data() + have, data.size() - have, static_cast<off_t>(have))) {
            error = ErrnoText("cannot write flash file", config.file);
            return false;
        }
        return true;
    }

    void WriteThrough(size_t offset, size_t length) {
        if (fd < 0 || length == 0) return;
        if (!WriteAll(fd, data.data() + offset, length, static_cast<off_t>(offset)) &&
            fileError.empty()) {
            fileError = ErrnoText("cannot write flash file", config.file);
        }
    }

    // Writes through `length` bytes starting at `start`, wrapping at the size.
    void WriteThroughWrapped(size_t start, size_t length) {
        length = std::min(length, data.size());
        size_t first = std::min(length, data.size() - start);
        WriteThrough(start, first);
        WriteThrough(0, length - first);
    }

    // --- status ---

    bool BusyNow() const { return clock.NowMs() < busyUntil; }

    uint8_t StatusNow() const {
        uint8_t status = statusBits;
        // The latch stays set while an erase runs and clears when it is done.
        if (BusyNow()) status |= kStatusBusy | kStatusWriteEnable;
        if (writeEnabled) status |= kStatusWriteEnable;
        return status;
    }

    bool Protected() const { return (statusBits & kStatusBlockProtect) != 0; }

    // --- pin-level commands ---

    Command Classify(uint8_t byte) const {
        switch (byte) {
            case kCmdWriteEnable:
                return Command::kWriteEnable;
            case kCmdWriteDisable:
                return Command::kWriteDisable;
            case kCmdReadStatus:
                return Command::kReadStatus;
            case kCmdWriteStatus:
                return Command::kWriteStatus;
            case kCmdEnableWriteStatus:
                return Command::kEnableWriteStatus;
            case kCmdChipErase:
            case kCmdChipEraseAlt:
                return Command::kChipErase;
            default:
                break;
        }
        return config.ids.contains(byte) ? Command::kIdentify : Command::kIgnored;
    }

    void BeginCommand(uint8_t byte) {
        haveCommand = true;
        opcode = byte;
        answerIndex = 0;
        statusData.reset();
        // The 0x50 allowance covers only the command right after it, decoded or not.
        statusWriteUnlocked = enableWriteStatusPending;
        enableWriteStatusPending = false;
        if (BusyNow() && byte != kCmdReadStatus) {
            command = Command::kIgnored;
            return;
        }
        command = Classify(byte);
    }

    void CommandByte(uint8_t byte) {
        if (command == Command::kWriteStatus && !statusData) statusData = byte;
    }

    uint8_t Answer() {
        switch (command) {
            case Command::kReadStatus:
                return StatusNow();
            case Command::kIdentify: {
                const std::vector<uint8_t>& answer = config.ids.at(opcode);
                return answerIndex < answer.size() ? answer[answerIndex++] : kFloating;
            }
            default:
                return kFloating;
        }
    }

    void EndCommand() {
        switch (command) {
            case Command::kWriteEnable:
                writeEnabled = true;
                break;
            case Command::kWriteDisable:
                writeEnabled = false;
                break;
            case Command::kEnableWriteStatus:
                enableWriteStatusPending = true;
                break;
            case Command::kWriteStatus:
                EndWriteStatus();
                break;
            case Command::kChipErase:
                EndChipErase();
                break;
            default:
                break;
        }
        haveCommand = false;
        command = Command::kIgnored;
    }

    void EndWriteStatus() {
        // Chip select rising before a whole data byte arrived aborts the write.
        if (!statusData || !(writeEnabled || statusWriteUnlocked)) return;
        statusBits = *statusData & kWritableStatusBits;
        writeEnabled = false;
    }

    void EndChipErase() {
        // A protected part ignores the erase outright and keeps its latch.
        if (!writeEnabled || Protected()) return;
        std::fill(data.begin(), data.end(), kErased);
        WriteThrough(0, data.size());
        busyUntil = clock.NowMs() + config.eraseMs;
        writeEnabled = false;
    }

    // --- the controller chip's data path ---

    bool Program(uint32_t address, std::span<const uint8_t> bytes, uint8_t writeEnableCommand,
                 uint8_t programCommand) {
        bool accepted = writeEnableCommand == config.writeEnableCommand &&
                        programCommand == config.programCommand && !BusyNow() && !Protected();
        writeEnabled = false;
        if (!accepted) return false;
        size_t start = address % data.size();
        for (size_t i = 0; i < bytes.size(); ++i) data[(start + i) % data.size()] &= bytes[i];
        WriteThroughWrapped(start, bytes.size());
        return true;
    }

    void Read(uint32_t address, std::span<uint8_t> out) const {
        size_t start = address % data.size();
        for (size_t i = 0; i < out.size(); ++i) out[i] = data[(start + i) % data.size()];
    }

    SpiFlashConfig config;
    platform::Clock& clock;
    mutable std::mutex mutex;
    std::vector<uint8_t> data;
    int fd = -1;
    std::string fileError;

    uint8_t statusBits;  // bits 2-7 as stored; busy and write enable live apart
    bool writeEnabled;
    uint64_t busyUntil = 0;

    bool selected = false;
    bool haveCommand = false;
    uint8_t opcode = 0;
    Command command = Command::kIgnored;
    size_t answerIndex = 0;
    std::optional<uint8_t> statusData;
    bool statusWriteUnlocked = false;       // the current command follows a 0x50
    bool enableWriteStatusPending = false;  // the last completed command was 0x50
};

std::unique_ptr<SpiFlash> SpiFlash::Create(const SpiFlashConfig& config, platform::Clock& clock,
                                           std::string& error) {
    if (config.size == 0) {
        error = "flash size must not be zero";
        return nullptr;
    }
    std::unique_ptr<SpiFlash> flash(new SpiFlash(config, clock));
    if (!config.file.empty() && !flash->impl_->OpenFile(error)) return nullptr;
    return flash;
}

SpiFlash::SpiFlash(const SpiFlashConfig& config, platform::Clock& clock)
    : impl_(std::make_unique<Impl>(config, clock)) {}

SpiFlash::~SpiFlash() = default;

void SpiFlash::Select() {
    std::lock_guard lock(impl_->mutex);
    impl_->selected = true;
    impl_->haveCommand = false;
    impl_->command = Command::kIgnored;
}

void SpiFlash::Deselect() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->selected) return;
    if (impl_->haveCommand) impl_->EndCommand();
    impl_->selected = false;
}

void SpiFlash::Send(uint8_t byte) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->selected) return;
    if (impl_->haveCommand) {
        impl_->CommandByte(byte);
    } else {
        impl_->BeginCommand(byte);
    }
}

uint8_t SpiFlash::Receive() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->selected || !impl_->haveCommand) return kFloating;
    return impl_->Answer();
}

bool SpiFlash::ProgramFromChip(uint32_t address, std::span<const uint8_t> data,
                               uint8_t writeEnableCommand, uint8_t programCommand) {
    std::lock_guard lock(impl_->mutex);
    return impl_->Program(address, data, writeEnableCommand, programCommand);
}

void SpiFlash::ReadFromChip(uint32_t address, std::span<uint8_t> out) const {
    std::lock_guard lock(impl_->mutex);
    impl_->Read(address, out);
}

uint8_t SpiFlash::Status() {
    std::lock_guard lock(impl_->mutex);
    return impl_->StatusNow();
}

bool SpiFlash::Busy() {
    std::lock_guard lock(impl_->mutex);
    return impl_->BusyNow();
}

bool SpiFlash::WriteEnabled() const {
    std::lock_guard lock(impl_->mutex);
    return (impl_->StatusNow() & kStatusWriteEnable) != 0;
}

uint32_t SpiFlash::Size() const {
    return impl_->config.size;
}

std::span<const uint8_t> SpiFlash::Contents() const {
    return impl_->data;
}

std::string SpiFlash::FileError() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->fileError;
}

}  // namespace sim
