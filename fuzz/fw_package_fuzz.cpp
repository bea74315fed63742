// The package parser: whatever the bytes, it reads only inside them, and the
// entries it accepts lie inside them, back to back from the first entry on.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "app/fw_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> package(data, size);
    std::vector<quillon::FwPackageEntry> entries;
    quillon::PackageFault fault;
    if (!quillon::ParsePackage(package, entries, &fault)) {
        if (!entries.empty() || fault.kind == quillon::PackageFault::Kind::kNone) std::abort();
        (void)quillon::DescribeFault(fault);
        return 0;
    }
    if (entries.size() != package[quillon::kPackageCountOffset]) std::abort();
    const uint8_t* next = data + quillon::kPackageEntriesOffset;
    for (const auto& e : entries) {
        if (e.image != next + quillon::kEntryHeaderSize) std::abort();
        if (e.length > static_cast<size_t>(data + size - e.image)) std::abort();
        next = e.image + e.length;
    }
    return 0;
}
