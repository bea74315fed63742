// The few system calls the real-camera backend makes, behind an interface of
// our own: the real implementation calls the system, tests put a fake sysfs
// tree and fake device nodes behind it. Results follow one rule throughout: a
// negative value is -errno, nothing is logged here (callers know the context).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/com.h"

namespace platform::uvc {

class SystemCalls {
  public:
    virtual ~SystemCalls() = default;

    // A new file descriptor, or -errno.
    [[nodiscard]] virtual int Open(const std::string& path, int flags) = 0;
    virtual void Close(int fd) = 0;
    // One attempt: 0 (or the call's non-negative result), or -errno. EINTR is
    // returned as it is; RetryIoctl retries it.
    [[nodiscard]] virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
    // The entries of a directory without "." and "..", in no particular order; 0 or -errno.
    [[nodiscard]] virtual int ReadDir(const std::string& path, std::vector<std::string>& names) = 0;
    // The text of a symbolic link; 0 or -errno.
    [[nodiscard]] virtual int ReadLink(const std::string& path, std::string& target) = 0;
    // At most `limit` bytes of a file; 0 or -errno (-EFBIG when the file holds more).
    [[nodiscard]] virtual int ReadFile(const std::string& path, std::vector<uint8_t>& bytes,
                                       size_t limit) = 0;
};

// The system itself.
std::shared_ptr<SystemCalls> RealSystemCalls();

// An ioctl retried for as long as a signal interrupts it.
[[nodiscard]] int RetryIoctl(SystemCalls& sys, int fd, unsigned long request, void* argument);

// An errno as a status of the object model: negative, so "status >= 0" reads as
// success, and the errno stays readable in the low 16 bits (0x80070000 | errno).
[[nodiscard]] constexpr HRESULT StatusFromErrno(int error) {
    return static_cast<HRESULT>(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFFu));
}

// An open file descriptor, closed through the same system calls when the
// owner goes. Move-only.
class UniqueFd {
  public:
    UniqueFd() = default;
    UniqueFd(std::shared_ptr<SystemCalls> sys, int fd) : sys_(std::move(sys)), fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept
        : sys_(std::move(other.sys_)), fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            sys_ = std::move(other.sys_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool Valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0 && sys_) sys_->Close(fd_);
        fd_ = -1;
    }

  private:
    std::shared_ptr<SystemCalls> sys_;
    int fd_ = -1;
};

}  // namespace platform::uvc
