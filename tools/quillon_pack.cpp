// quillon-pack: creates and lists firmware packages, and pulls the package
// out of a built program that carries one.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/fw_package.h"
#include "platform/resource.h"
#include "tools/lib/cli.h"
#include "tools/lib/elf_section.h"
#include "tools/lib/package_file.h"
#include "tools/lib/version_fields.h"

namespace quillon::tools {
namespace {

constexpr std::string_view kUsage = R"(usage:
  quillon-pack create OUTPUT [--pad-to SIZE] --entry KEY ID IMAGE [--name TEXT] [--entry ...]
  quillon-pack list FILE
  quillon-pack extract PROGRAM OUTPUT

create   writes a package holding one entry per --entry, in the order given.
         KEY    chip key, the chip ID of the cameras the image is for (e.g. 0x88)
         ID     firmware identifier: 8 hex digits, its 4 bytes in package order
         IMAGE  the firmware image file, stored unchanged
         --name the entry's name (at most 64 bytes); without it the name is the
                image's raw version text, read where images for chip KEY keep it
         --pad-to  pads the package with zero bytes to SIZE (e.g. 5M)
list     shows each entry: key, identifier, image length, CRC-32 of the image,
         name. FILE is a package or a program that carries one.
extract  writes the package that PROGRAM carries to OUTPUT.
)";

struct PendingEntry {
    uint8_t key;
    std::array<uint8_t, 4> firmwareId;
    std::string imagePath;
    std::optional<std::string> name;
};

struct CreateArgs {
    std::string output;
    uint64_t padTo = 0;
    std::vector<PendingEntry> entries;
};

std::string EmbeddedSectionName() {
    return std::string(platform::kResourceSectionPrefix) + "FW." + std::to_string(kFwResourceId);
}

// The values after option `args[i]`; throws when fewer than `n` follow.
std::span<const std::string_view> Values(std::span<const std::string_view> args, size_t i,
                                         size_t n) {
    if (args.size() - i - 1 < n)
        throw UsageError(std::string(args[i]) + " needs " + std::to_string(n) +
                         (n == 1 ? " value" : " values"));
    return args.subspan(i + 1, n);
}

CreateArgs ParseCreate(std::span<const std::string_view> args) {
    if (args.empty() || args[0].starts_with("--")) throw UsageError("create needs an OUTPUT file");
    CreateArgs out;
    out.output = args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string_view opt = args[i];
        if (opt == "--entry") {
            const auto v = Values(args, i, 3);
            out.entries.push_back({static_cast<uint8_t>(ParseNumber(v[0], 0xFF, "chip key")),
                                   ParseFirmwareId(v[1]), std::string(v[2]), std::nullopt});
            i += 3;
        } else if (opt == "--name") {
            const auto v = Values(args, i, 1);
            if (out.entries.empty()) throw UsageError("--name must follow the --entry it names");
            if (out.entries.back().name) throw UsageError("an entry has two --name options");
            out.entries.back().name = std::string(v[0]);
            i += 1;
        } else if (opt == "--pad-to") {
            out.padTo = ParseSize(Values(args, i, 1)[0], "--pad-to size");
            i += 1;
        } else {
            throw UsageError("unknown option '" + std::string(opt) + "'");
        }
    }
    return out;
}

std::string NameFromImage(const PendingEntry& e, const std::vector<uint8_t>& image, size_t index) {
    const std::string which = "entry " + std::to_string(index) + ": ";
    const auto at = VersionFieldsForChip(e.key);
    if (!at)
        throw ToolError(which + "images for chip key " + FormatByte(e.key) +
                        " keep their version fields at no fixed place; give --name");
    auto text = RawVersionText(image, *at);
    if (!text)
        throw ToolError(which + "image '" + e.imagePath + "' (" + std::to_string(image.size()) +
                        " bytes) is too short to hold the version fields; give --name");
    return *text;
}

int Create(std::span<const std::string_view> args) {
    const CreateArgs parsed = ParseCreate(args);
    std::vector<EntrySpec> plannedEntries;
    for (size_t i = 0; i < parsed.entries.size(); ++i) {
        const PendingEntry& e = parsed.entries[i];
        EntrySpec planned{e.key, e.firmwareId, {}, ReadFile(e.imagePath)};
        planned.name = e.name ? *e.name : NameFromImage(e, planned.image, i);
        plannedEntries.push_back(std::move(planned));
    }
    const std::vector<uint8_t> package = BuildPackage(plannedEntries, parsed.padTo);
    WriteFile(parsed.output, package);
    std::cout << parsed.output << ": " << plannedEntries.size()
              << (plannedEntries.size() == 1 ? " entry, " : " entries, ") << package.size() << " bytes\n";
    return 0;
}

// The package in `file`, or the one it carries when it is a program.
std::span<const uint8_t> PackageOf(std::span<const uint8_t> file) {
    return LooksLikeElf(file) ? ElfSection(file, EmbeddedSectionName()) : file;
}

int List(std::span<const std::string_view> args) {
    if (args.size() != 1) throw UsageError("list needs exactly one FILE");
    const std::string path(args[0]);
    const std::vector<uint8_t> file = ReadFile(path);
    const bool program = LooksLikeElf(file);
    const std::string label = program ? path + " (carried package)" : path;
    std::cout << FormatListing(label, PackageOf(file));
    return 0;
}

int Extract(std::span<const std::string_view> args) {
    if (args.size() != 2) throw UsageError("extract needs a PROGRAM and an OUTPUT file");
    const std::vector<uint8_t> file = ReadFile(std::string(args[0]));
    if (!LooksLikeElf(file)) throw ToolError("'" + std::string(args[0]) + "' is not a program");
    WriteFile(std::string(args[1]), ElfSection(file, EmbeddedSectionName()));
    return 0;
}

int Run(std::span<const std::string_view> args) {
    if (args.empty()) throw UsageError("no command given");
    const std::string_view command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "create") return Create(args.subspan(1));
    if (command == "list") return List(args.subspan(1));
    if (command == "extract") return Extract(args.subspan(1));
    throw UsageError("unknown command '" + std::string(command) + "'");
}

}  // namespace
}  // namespace quillon::tools

int main(int argc, char** argv) {
    using namespace quillon::tools;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    try {
        return Run(args);
    } catch (const UsageError& e) {
        std::cerr << "quillon-pack: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const ToolError& e) {
        std::cerr << "quillon-pack: " << e.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "quillon-pack: out of memory\n";
        return 1;
    }
}
