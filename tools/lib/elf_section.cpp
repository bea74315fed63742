#include "tools/lib/elf_section.h"

#include <cstring>
#include <string>

#include "tools/lib/cli.h"

namespace quillon::tools {
namespace {

constexpr uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
constexpr uint8_t kClass32 = 1, kClass64 = 2, kLittleEndian = 1;
constexpr uint32_t kSectionNoBits = 8;
constexpr uint16_t kExtendedIndex = 0xFFFF;

// Reads little-endian fields of the file, refusing any read past its end.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> file) : file_(file) {}

    uint64_t Get(uint64_t offset, size_t size) const {
        if (offset > file_.size() || file_.size() - offset < size)
            throw ToolError("damaged ELF file: a header lies past the end of the file");
        uint64_t v = 0;
        for (size_t i = 0; i < size; ++i) v |= uint64_t{file_[offset + i]} << (8 * i);
        return v;
    }

private:
    std::span<const uint8_t> file_;
};

// Where the fields of the ELF and section headers lie, by file class.
struct Layout {
    size_t word;  // size of addresses and offsets
    uint64_t shoff, shentsize, shnum, shstrndx;
    uint64_t nameAt, typeAt, offsetAt, sizeAt, linkAt;
};

constexpr Layout k32{4, 0x20, 0x2E, 0x30, 0x32, 0x00, 0x04, 0x10, 0x14, 0x18};
constexpr Layout k64{8, 0x28, 0x3A, 0x3C, 0x3E, 0x00, 0x04, 0x18, 0x20, 0x28};

struct Section {
    uint64_t name, type, offset, size, link;
};

class ElfFile {
public:
    ElfFile(std::span<const uint8_t> file, const Layout& l) : file_(file), r_(file), l_(l) {
        shoff_ = r_.Get(l.shoff, l.word);
        shentsize_ = r_.Get(l.shentsize, 2);
        count_ = r_.Get(l.shnum, 2);
        strndx_ = r_.Get(l.shstrndx, 2);
        if (shoff_ == 0) throw ToolError("the ELF file has no section headers");
        if (shentsize_ < l.linkAt + 4) throw ToolError("damaged ELF file: bad section header size");
        // Large files keep the true count and string-table index in section 0.
        if (count_ == 0) count_ = At(0).size;
        if (strndx_ == kExtendedIndex) strndx_ = At(0).link;
        if (count_ > file.size() / shentsize_)
            throw ToolError("damaged ELF file: more section headers than the file can hold");
        if (strndx_ >= count_) throw ToolError("damaged ELF file: bad section-name table index");
    }

    std::span<const uint8_t> Find(std::string_view name) const {
        const Section names = At(strndx_);
        for (uint64_t i = 0; i < count_; ++i) {
            const Section s = At(i);
            if (NameOf(names, s.name) == name) return Bytes(s, name);
        }
        throw ToolError("the ELF file has no section " + std::string(name));
    }

private:
    Section At(uint64_t index) const {
        const uint64_t at = shoff_ + index * shentsize_;
        return {r_.Get(at + l_.nameAt, 4), r_.Get(at + l_.typeAt, 4),
                r_.Get(at + l_.offsetAt, l_.word), r_.Get(at + l_.sizeAt, l_.word),
                r_.Get(at + l_.linkAt, 4)};
    }

    std::string_view NameOf(const Section& names, uint64_t at) const {
        const std::span<const uint8_t> table = Bytes(names, "section-name table");
        if (at >= table.size()) return {};
        const auto* start = reinterpret_cast<const char*>(table.data() + at);
        return {start, strnlen(start, table.size() - at)};
    }

    std::span<const uint8_t> Bytes(const Section& s, std::string_view what) const {
        if (s.type == kSectionNoBits) return {};
        if (s.offset > file_.size() || file_.size() - s.offset < s.size)
            throw ToolError("damaged ELF file: " + std::string(what) + " runs past the end");
        return file_.subspan(s.offset, s.size);
    }

    std::span<const uint8_t> file_;
    Reader r_;
    const Layout& l_;
    uint64_t shoff_, shentsize_, count_, strndx_;
};

}  // namespace

bool LooksLikeElf(std::span<const uint8_t> file) {
    return file.size() >= 4 && std::memcmp(file.data(), kElfMagic, 4) == 0;
}

std::span<const uint8_t> ElfSection(std::span<const uint8_t> file, std::string_view name) {
    if (!LooksLikeElf(file) || file.size() < 0x40) throw ToolError("not an ELF file");
    if (file[5] != kLittleEndian) throw ToolError("only little-endian ELF files are supported");
    if (file[4] != kClass32 && file[4] != kClass64) throw ToolError("unknown ELF file class");
    return ElfFile(file, file[4] == kClass64 ? k64 : k32).Find(name);
}

}  // namespace quillon::tools
