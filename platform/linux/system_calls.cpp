#include "platform/linux/system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::uvc {

namespace {

class RealCalls final : public SystemCalls {
  public:
    int Open(const std::string& path, int flags) override {
        int fd;
        do {
            fd = ::open(path.c_str(), flags);
        } while (fd < 0 && errno == EINTR);
        return fd < 0 ? -errno : fd;
    }

    void Close(int fd) override { ::close(fd); }

    int Ioctl(int fd, unsigned long request, void* argument) override {
        const int r = ::ioctl(fd, request, argument);
        return r < 0 ? -errno : r;
    }

    int ReadDir(const std::string& path, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return -errno;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        const int error = errno;
        ::closedir(dir);
        return error ? -error : 0;
    }

    int ReadLink(const std::string& path, std::string& target) override {
        std::vector<char> buffer(256);
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
            if (n < 0) return -errno;
            if (static_cast<size_t>(n) < buffer.size()) {
                target.assign(buffer.data(), static_cast<size_t>(n));
                return 0;
            }
            if (buffer.size() >= 65536) return -ENAMETOOLONG;
            buffer.resize(buffer.size() * 2);
        }
    }

    int ReadFile(const std::string& path, std::vector<uint8_t>& bytes, size_t limit) override {
        bytes.clear();
        const int fd = Open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return fd;
        int result = 0;
        uint8_t chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = -errno;
                break;
            }
            if (n == 0) break;
            if (bytes.size() + static_cast<size_t>(n) > limit) {
                result = -EFBIG;
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        ::close(fd);
        if (result < 0) bytes.clear();
        return result;
    }
};

}  // namespace

std::shared_ptr<SystemCalls> RealSystemCalls() {
    return std::make_shared<RealCalls>();
}

int RetryIoctl(SystemCalls& sys, int fd, unsigned long request, void* argument) {
    int r;
    do {
        r = sys.Ioctl(fd, request, argument);
    } while (r == -EINTR);
    return r;
}

}  // namespace platform::uvc
