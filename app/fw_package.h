// The firmware package: the firmware images the application can install,
// carried inside the program as one binary resource.
//
// Layout (numbers little-endian, no padding):
//   0   16 bytes  header, never read
//   16  1 byte    count of entries, 0 to 255
//   17  entries   `count` entries back to back, then any filler (ignored)
// Entry: key (1), firmware identifier (4), image length (4, unsigned),
// name (64, NUL-padded text), image (length bytes). The next entry starts
// 73 + length bytes after the entry's first byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/resource.h"

namespace quillon {

inline constexpr size_t kPackageHeaderSize = 16;
inline constexpr size_t kPackageCountOffset = 16;
inline constexpr size_t kPackageEntriesOffset = 17;
inline constexpr size_t kEntryHeaderSize = 73;
inline constexpr size_t kEntryNameSize = 64;
inline constexpr size_t kMaxPackageEntries = 255;

// Where the application finds its package: resource type "FW", id 133.
inline constexpr char16_t kFwResourceType[] = u"FW";
inline constexpr uint16_t kFwResourceId = 133;

// Message string ids of the two ways loading can fail.
inline constexpr int kMsgFwResourceFailed = 107;  // missing, unloadable, empty or damaged
inline constexpr int kMsgAllocFailed = 108;

// One entry of a parsed package.
struct FwPackageEntry {
    uint8_t key;            // chip ID of the cameras this image is for
    uint8_t firmwareId[4];  // identifier, in package byte order
    uint8_t name[64];       // NUL-padded text naming the build; not interpreted
    const uint8_t* image;   // into the package bytes the entries were parsed from
    uint32_t length;        // image bytes
};

// Why a package was rejected, for tools that explain it.
struct PackageFault {
    enum class Kind {
        kNone,
        kNoCount,      // shorter than header + count
        kEntryHeader,  // an entry's 73 fixed bytes run past the end
        kImage,        // an entry's image runs past the end
    };
    Kind kind = Kind::kNone;
    size_t entry = 0;   // index of the offending entry
    size_t offset = 0;  // where that entry starts
};

// Parses a package. Appends one entry per package entry, in package order,
// and returns true when every entry lies within `data`; otherwise returns
// false, leaves `entries` as it was and, when `fault` is given, says why.
// Reads nothing outside `data`. The entries point into `data`.
[[nodiscard]] bool ParsePackage(std::span<const uint8_t> data, std::vector<FwPackageEntry>& entries,
                                PackageFault* fault = nullptr);

// A fault in words, e.g. "entry 2 (at byte 4113): image of 512 bytes runs past the end".
[[nodiscard]] std::string DescribeFault(const PackageFault& fault);

// The program's own copy of its package and the entries parsed from it. The
// entries point into `data`, which lives as long as they do.
struct FwPackage {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
    std::vector<FwPackageEntry> entries;

    void Reset();
};

// Allocates the buffer for the package copy; null when memory is short.
using PackageAllocator = std::unique_ptr<uint8_t[]> (*)(size_t size);

// Finds, loads, copies and parses the package resource of `module` (null: the
// program's own) into `package`, replacing what it held. Returns 0 when the
// package is ready, kMsgFwResourceFailed when the resource is missing, cannot
// be loaded, is empty or is damaged, kMsgAllocFailed when the copy cannot be
// allocated; on failure `package` is left empty. `allocate` defaults to
// new (std::nothrow).
[[nodiscard]] int LoadPackageResource(FwPackage& package, platform::HMODULE module = nullptr,
                                      PackageAllocator allocate = nullptr);

}  // namespace quillon
