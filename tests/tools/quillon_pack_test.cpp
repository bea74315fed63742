// quillon-pack, run as built: creating, listing and extracting packages, and
// what it says about bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/fw_package.h"
#include "tests/tools/demo_values.h"
#include "tests/tools/run_tool.h"

namespace quillon::testing_tools {
namespace {

using ::testing::HasSubstr;

const std::string kPack = QUILLON_PACK_EXE;

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string NameText(const FwPackageEntry& e) {
    const auto* p = reinterpret_cast<const char*>(e.name);
    return std::string(p, strnlen(p, sizeof e.name));
}

class QuillonPack : public testing::Test {
protected:
    QuillonPack() {
        WriteBytes(dir_ / "demo.bin", ReadBytes(QUILLON_DEMO_FIRMWARE_NEW));
        WriteBytes(dir_ / "digits.bin", Bytes("123456789"));
        WriteBytes(dir_ / "small.bin", std::vector<uint8_t>(100, 0x11));
    }
    ToolResult Run(const std::vector<std::string>& args) { return RunTool(kPack, args, dir_); }

    ScratchDir dir_;
};

TEST_F(QuillonPack, CreateThenListRoundTrips) {
    const std::string package = dir_ / "package.bin";
    const ToolResult created =
        Run({"create", package, "--pad-to", "1M", "--entry", "0x88", "51444D31", dir_ / "demo.bin",
             "--entry", "22", "fe00807f", dir_ / "digits.bin", "--name", "custom build 7"});
    ASSERT_EQ(created.exitCode, 0) << created.err;

    const std::vector<uint8_t> bytes = ReadBytes(package);
    EXPECT_EQ(bytes.size(), 1024u * 1024);
    std::vector<FwPackageEntry> entries;
    ASSERT_TRUE(ParsePackage(bytes, entries));
    ASSERT_EQ(entries.size(), 2u);

    const std::vector<uint8_t> demo = ReadBytes(dir_ / "demo.bin");
    EXPECT_EQ(entries[0].key, 0x88);
    EXPECT_TRUE(std::equal(entries[0].firmwareId, entries[0].firmwareId + 4,
                           std::vector<uint8_t>{0x51, 0x44, 0x4D, 0x31}.begin()));
    ASSERT_EQ(entries[0].length, demo.size());
    EXPECT_TRUE(std::equal(demo.begin(), demo.end(), entries[0].image));
    EXPECT_EQ(NameText(entries[0]), DemoName()) << "the name comes from the image";

    EXPECT_EQ(entries[1].key, 22);
    EXPECT_TRUE(std::equal(entries[1].firmwareId, entries[1].firmwareId + 4,
                           std::vector<uint8_t>{0xFE, 0x00, 0x80, 0x7F}.begin()));
    EXPECT_EQ(NameText(entries[1]), "custom build 7");
    EXPECT_EQ(std::string(entries[1].image, entries[1].image + entries[1].length), "123456789");

    const ToolResult listed = Run({"list", package});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("1048576 bytes, 2 entries"));
    EXPECT_THAT(listed.out, HasSubstr("(all zero)"));
    EXPECT_THAT(listed.out, HasSubstr("0x88  51444d31"));
    EXPECT_THAT(listed.out, HasSubstr(std::string("\"") + DemoName() + "\""));
    // CRC-32 of "123456789" is the algorithm's published check value.
    EXPECT_THAT(listed.out,
                testing::ContainsRegex("0x16  fe00807f +9  cbf43926  \"custom build 7\""));
}

TEST_F(QuillonPack, ListsAPackageWithoutEntries) {
    const std::string package = dir_ / "empty.bin";
    ASSERT_EQ(Run({"create", package}).exitCode, 0);
    EXPECT_EQ(ReadBytes(package).size(), 17u);
    const ToolResult listed = Run({"list", package});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("17 bytes, 0 entries"));
}

struct BadInput {
    const char* name;
    std::vector<std::string> args;  // "@x" stands for file x in the scratch directory
    int exitCode;
    const char* message;
};

class QuillonPackBadInput : public QuillonPack, public testing::WithParamInterface<BadInput> {};

TEST_P(QuillonPackBadInput, FailsWithAClearMessage) {
    WriteBytes(dir_ / "cut.bin", [] {
        std::vector<uint8_t> p(17 + 73 + 10, 0);
        p[16] = 1;
        p[17 + 5] = 11;  // one image byte more than the file holds
        return p;
    }());
    std::vector<std::string> args;
    for (const auto& a : GetParam().args)
        args.push_back(a.starts_with("@") ? dir_ / a.substr(1) : a);

    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, GetParam().exitCode);
    EXPECT_THAT(r.err, HasSubstr(GetParam().message));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.bin")) << "a failed create writes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuillonPackBadInput,
    testing::Values(
        BadInput{"NoCommand", {}, 2, "no command given"},
        BadInput{"UnknownCommand", {"frobnicate"}, 2, "unknown command 'frobnicate'"},
        BadInput{"CreateWithoutOutput", {"create"}, 2, "create needs an OUTPUT file"},
        BadInput{"UnknownOption", {"create", "@out.bin", "--force"}, 2, "unknown option '--force'"},
        BadInput{"EntryMissingValues",
                 {"create", "@out.bin", "--entry", "0x88", "51444d31"},
                 2,
                 "--entry needs 3 values"},
        BadInput{"NameBeforeEntry",
                 {"create", "@out.bin", "--name", "x"},
                 2,
                 "--name must follow the --entry it names"},
        BadInput{"KeyTooLarge",
                 {"create", "@out.bin", "--entry", "0x100", "51444d31", "@small.bin"},
                 1,
                 "chip key: '0x100' is out of range"},
        BadInput{"KeyNotANumber",
                 {"create", "@out.bin", "--entry", "8z", "51444d31", "@small.bin"},
                 1,
                 "chip key: '8z' is not a number"},
        BadInput{"IdTooShort",
                 {"create", "@out.bin", "--entry", "0x88", "51444d3", "@small.bin"},
                 1,
                 "must be 8 hex digits"},
        BadInput{"IdNotHex",
                 {"create", "@out.bin", "--entry", "0x88", "5144zz31", "@small.bin"},
                 1,
                 "must be 8 hex digits"},
        BadInput{"MissingImage",
                 {"create", "@out.bin", "--entry", "0x88", "51444d31", "@none.bin", "--name", "x"},
                 1,
                 "cannot open"},
        BadInput{"NameTooLong",
                 {"create", "@out.bin", "--entry", "0x88", "51444d31", "@small.bin", "--name",
                  std::string(65, 'n')},
                 1,
                 "entry 0: name is 65 bytes long; at most 64 fit"},
        BadInput{"NoVersionAddressesForKey",
                 {"create", "@out.bin", "--entry", "0x32", "51444d31", "@demo.bin"},
                 1,
                 "chip key 0x32 keep their version fields at no fixed place; give --name"},
        BadInput{"ImageTooShortForVersionFields",
                 {"create", "@out.bin", "--entry", "0x88", "51444d31", "@small.bin"},
                 1,
                 "(100 bytes) is too short to hold the version fields"},
        BadInput{"PaddedSizeTooSmall",
                 {"create", "@out.bin", "--pad-to", "100", "--entry", "0x88", "51444d31",
                  "@small.bin", "--name", "x"},
                 1,
                 "more than the padded size of 100"},
        BadInput{"ListWithoutFile", {"list"}, 2, "list needs exactly one FILE"},
        BadInput{"ListMissingFile", {"list", "@none.bin"}, 1, "cannot open"},
        BadInput{"ListDamagedPackage",
                 {"list", "@cut.bin"},
                 1,
                 "damaged package: entry 0 (at byte 17): the image runs past the end"},
        BadInput{"ListProgramWithoutPackage",
                 {"list", QUILLON_PACK_EXE},
                 1,
                 "has no section .quillon.res.FW.133"},
        BadInput{
            "ExtractFromNonProgram", {"extract", "@small.bin", "@out.bin"}, 1, "is not a program"}),
    [](const testing::TestParamInfo<BadInput>& info) { return info.param.name; });

// This test program links the build's package resource, as the application
// does, so the tool can be pointed at it.
TEST_F(QuillonPack, ListsAndExtractsThePackageAProgramCarries) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const ToolResult listed = Run({"list", self});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const ToolResult direct = Run({"list", QUILLON_EMBEDDED_PACKAGE});
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    // Same listing but for the label before the first ':'.
    EXPECT_EQ(listed.out.substr(listed.out.find(':')), direct.out.substr(direct.out.find(':')));
    EXPECT_THAT(listed.out, HasSubstr("(carried package)"));

    const std::string extracted = dir_ / "extracted.bin";
    const ToolResult r = Run({"extract", self, extracted});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(extracted), ReadBytes(QUILLON_EMBEDDED_PACKAGE));
}

TEST_F(QuillonPack, CarriedDemoPackageShowsItsEntry) {
    if (!QUILLON_EMBEDDED_PACKAGE_IS_DEMO)
        GTEST_SKIP() << "this build embeds " << QUILLON_EMBEDDED_PACKAGE << ", not the demo";
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const ToolResult listed = Run({"list", self});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("1 entry"));
    EXPECT_THAT(listed.out, testing::ContainsRegex("0  0x88  51444d31 +131072  [0-9a-f]{8}  \"" +
                                                   DemoName() + "\""));
}

}  // namespace
}  // namespace quillon::testing_tools
