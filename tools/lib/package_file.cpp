#include "tools/lib/package_file.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "tools/lib/cli.h"
#include "tools/lib/crc32.h"

namespace quillon::tools {
namespace {

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void CheckEntry(const EntrySpec& e, size_t index) {
    const std::string which = "entry " + std::to_string(index);
    if (e.name.size() > kEntryNameSize)
        throw ToolError(which + ": name is " + std::to_string(e.name.size()) +
                        " bytes long; at most 64 fit");
    if (e.image.size() > std::numeric_limits<uint32_t>::max())
        throw ToolError(which + ": image is larger than 4 GiB - 1 bytes");
}

void AppendEntry(std::vector<uint8_t>& out, const EntrySpec& e) {
    out.push_back(e.key);
    out.insert(out.end(), e.firmwareId.begin(), e.firmwareId.end());
    PutLe32(out, static_cast<uint32_t>(e.image.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.resize(out.size() + (kEntryNameSize - e.name.size()), 0);
    out.insert(out.end(), e.image.begin(), e.image.end());
}

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*x", digits, v);
    return buf;
}

std::string EntryLine(size_t index, const FwPackageEntry& e) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%3zu  0x%02x  %-11s  %10u  %08x  ", index, e.key,
                  FormatFirmwareId(std::span<const uint8_t, 4>(e.firmwareId)).c_str(), e.length,
                  Crc32({e.image, e.length}));
    return buf + ("\"" + PrintableName(e.name) + "\"\n");
}

std::string FillerNote(std::span<const uint8_t> filler) {
    const bool zero = std::all_of(filler.begin(), filler.end(), [](uint8_t b) { return b == 0; });
    return std::to_string(filler.size()) + " filler bytes" +
           (filler.empty() ? ""
            : zero         ? " (all zero)"
                           : " (not all zero)");
}

}  // namespace

std::vector<uint8_t> BuildPackage(std::span<const EntrySpec> entries, uint64_t padTo) {
    if (entries.size() > kMaxPackageEntries)
        throw ToolError(std::to_string(entries.size()) + " entries; a package holds at most 255");
    std::vector<uint8_t> out(kPackageHeaderTag, kPackageHeaderTag + kPackageHeaderSize);
    out.push_back(static_cast<uint8_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        CheckEntry(entries[i], i);
        AppendEntry(out, entries[i]);
    }
    if (padTo != 0 && out.size() > padTo)
        throw ToolError("the entries take " + std::to_string(out.size()) +
                        " bytes, more than the padded size of " + std::to_string(padTo));
    if (out.size() < padTo) out.resize(padTo, 0);
    return out;
}

std::string FormatListing(std::string_view label, std::span<const uint8_t> package) {
    std::vector<FwPackageEntry> entries;
    PackageFault fault;
    if (!ParsePackage(package, entries, &fault))
        throw ToolError(std::string(label) + ": damaged package: " + DescribeFault(fault));

    size_t end = kPackageEntriesOffset;
    for (const auto& e : entries) end += kEntryHeaderSize + e.length;
    std::string out = std::string(label) + ": " + std::to_string(package.size()) + " bytes, " +
                      std::to_string(entries.size()) +
                      (entries.size() == 1 ? " entry, " : " entries, ") +
                      FillerNote(package.subspan(end)) + "\n";
    if (entries.empty()) return out;
    out += "  #  key   firmware id      length  crc32     name\n";
    for (size_t i = 0; i < entries.size(); ++i) out += EntryLine(i, entries[i]);
    return out;
}

std::string PrintableName(std::span<const uint8_t> name) {
    while (!name.empty() && name.back() == 0) name = name.first(name.size() - 1);
    std::string out;
    for (uint8_t b : name) {
        if (b >= 0x20 && b < 0x7F && b != '\\' && b != '"')
            out += static_cast<char>(b);
        else
            out += "\\x" + Hex(b, 2);
    }
    return out;
}

}  // namespace quillon::tools
