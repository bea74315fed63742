#include "app/fw_package.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quillon {
namespace {

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads the entry starting at `offset`, which the caller has checked leaves
// room for the entry's fixed bytes.
FwPackageEntry ReadEntry(std::span<const uint8_t> data, size_t offset) {
    const uint8_t* p = data.data() + offset;
    FwPackageEntry entry{};
    entry.key = p[0];
    std::memcpy(entry.firmwareId, p + 1, sizeof entry.firmwareId);
    entry.length = ReadLe32(p + 5);
    std::memcpy(entry.name, p + 9, sizeof entry.name);
    entry.image = p + kEntryHeaderSize;
    return entry;
}

bool Fail(PackageFault* fault, PackageFault::Kind kind, size_t entry, size_t offset) {
    if (fault) *fault = {kind, entry, offset};
    return false;
}

std::unique_ptr<uint8_t[]> AllocateNothrow(size_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

}  // namespace

bool ParsePackage(std::span<const uint8_t> data, std::vector<FwPackageEntry>& entries,
                  PackageFault* fault) {
    if (data.size() < kPackageEntriesOffset)
        return Fail(fault, PackageFault::Kind::kNoCount, 0, kPackageCountOffset);
    const size_t count = data[kPackageCountOffset];

    // Collected apart so that a damaged package adds nothing: a package whose
    // entries run past the end is damaged as a whole and must not reach a camera.
    std::vector<FwPackageEntry> parsed;
    parsed.reserve(count);
    size_t offset = kPackageEntriesOffset;
    for (size_t i = 0; i < count; ++i) {
        if (data.size() - offset < kEntryHeaderSize)
            return Fail(fault, PackageFault::Kind::kEntryHeader, i, offset);
        const FwPackageEntry entry = ReadEntry(data, offset);
        offset += kEntryHeaderSize;
        if (data.size() - offset < entry.length)
            return Fail(fault, PackageFault::Kind::kImage, i, offset - kEntryHeaderSize);
        offset += entry.length;
        parsed.push_back(entry);
    }
    entries.insert(entries.end(), parsed.begin(), parsed.end());
    if (fault) *fault = {};
    return true;
}

std::string DescribeFault(const PackageFault& fault) {
    const std::string where =
        "entry " + std::to_string(fault.entry) + " (at byte " + std::to_string(fault.offset) + ")";
    switch (fault.kind) {
        case PackageFault::Kind::kNone:
            return "no fault";
        case PackageFault::Kind::kNoCount:
            return "too short for the 16-byte header and the entry count";
        case PackageFault::Kind::kEntryHeader:
            return where + ": the entry's 73 fixed bytes run past the end";
        case PackageFault::Kind::kImage:
            return where + ": the image runs past the end";
    }
    return "unknown fault";
}

void FwPackage::Reset() {
    entries.clear();
    data.reset();
    size = 0;
}

int LoadPackageResource(FwPackage& package, platform::HMODULE module, PackageAllocator allocate) {
    // Entries point into the old copy, so both go before anything else.
    package.Reset();

    const platform::HRSRC resource =
        platform::FindResourceW(module, kFwResourceId, kFwResourceType);
    if (resource == nullptr) return kMsgFwResourceFailed;
    const platform::HGLOBAL loaded = platform::LoadResource(module, resource);
    const auto* bytes = static_cast<const uint8_t*>(platform::LockResource(loaded));
    const uint32_t size = platform::SizeofResource(module, resource);
    // Found but unusable is as good as missing: there is nothing to parse.
    if (bytes == nullptr || size == 0) return kMsgFwResourceFailed;

    std::unique_ptr<uint8_t[]> copy = (allocate ? allocate : AllocateNothrow)(size);
    if (!copy) return kMsgAllocFailed;
    std::copy_n(bytes, size, copy.get());

    std::vector<FwPackageEntry> entries;
    if (!ParsePackage(std::span<const uint8_t>(copy.get(), size), entries))
        return kMsgFwResourceFailed;

    package.data = std::move(copy);
    package.size = size;
    package.entries = std::move(entries);
    return 0;
}

}  // namespace quillon
