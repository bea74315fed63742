// The demo firmware the build makes: the two images, the package holding the
// new one, and the generator's handling of bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/fw_package.h"
#include "tests/tools/demo_values.h"
#include "tests/tools/run_tool.h"

namespace quillon::testing_tools {
namespace {

using ::testing::HasSubstr;

const std::string kGenerator = QUILLON_DEMO_IMAGE_EXE;

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

std::string Text(const std::vector<uint8_t>& b, size_t at, size_t size) {
    return std::string(b.begin() + at, b.begin() + at + size);
}

std::vector<uint8_t> DemoFirmwareId() {
    const std::string hex = QUILLON_DEMO_FIRMWARE_ID;
    std::vector<uint8_t> id;
    for (size_t i = 0; i < 8; i += 2) id.push_back(std::stoi(hex.substr(i, 2), nullptr, 16));
    return id;
}

struct ImageCase {
    const char* name;
    const char* path;
    const char* dayVer;
};

class DemoImage : public testing::TestWithParam<ImageCase> {};

TEST_P(DemoImage, HoldsTheLayoutTheUpgraderReads) {
    const std::vector<uint8_t> image = ReadBytes(GetParam().path);
    ASSERT_EQ(image.size(), 131072u);

    EXPECT_EQ(Text(image, 0x160, 4), "tSec");
    EXPECT_EQ(Be32(image, 0x160 + 15), 0x13000u) << "parameter table start";
    EXPECT_EQ(Be32(image, 0x160 + 19), 0x600u) << "parameter table length";
    EXPECT_EQ(Be32(image, 0x160 + 39), 0x13B00u) << "CRC area start";
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x13006, image.begin() + 0x1300A),
              DemoFirmwareId());

    // Where chip 0x88 keeps its version fields.
    EXPECT_EQ(Text(image, 0x2000, 10), DashPadded(QUILLON_DEMO_CUSTOMER, 10));
    EXPECT_EQ(Text(image, 0x200A, 5), DashPadded(QUILLON_DEMO_CODE_VER, 5));
    EXPECT_EQ(Text(image, 0x2012, 10), DashPadded(QUILLON_DEMO_CUS_VER, 10));
    EXPECT_EQ(Text(image, 0x201D, 10), GetParam().dayVer);

    // A read-back must be able to tell every programmed byte from an erased one.
    EXPECT_EQ(std::count(image.begin(), image.end(), 0xFF), 0);
    EXPECT_GT(std::set<uint8_t>(image.begin(), image.end()).size(), 200u) << "filler is trivial";
}

INSTANTIATE_TEST_SUITE_P(
    Build, DemoImage,
    testing::Values(ImageCase{"New", QUILLON_DEMO_FIRMWARE_NEW, QUILLON_DEMO_DAY_VER_NEW},
                    ImageCase{"Old", QUILLON_DEMO_FIRMWARE_OLD, QUILLON_DEMO_DAY_VER_OLD}),
    [](const testing::TestParamInfo<ImageCase>& info) { return info.param.name; });

TEST(DemoImage, OldAndNewDifferBeyondTheirDayVer) {
    const std::vector<uint8_t> oldImage = ReadBytes(QUILLON_DEMO_FIRMWARE_OLD);
    const std::vector<uint8_t> newImage = ReadBytes(QUILLON_DEMO_FIRMWARE_NEW);
    ASSERT_EQ(oldImage.size(), newImage.size());
    EXPECT_LT(std::string(QUILLON_DEMO_DAY_VER_OLD), std::string(QUILLON_DEMO_DAY_VER_NEW));
    size_t differing = 0;
    for (size_t i = 0; i < newImage.size(); ++i) differing += oldImage[i] != newImage[i];
    // A burn that left the old image in place must not pass a read-back of the new one.
    EXPECT_GT(differing, newImage.size() / 2);
}

TEST(DemoPackage, HoldsTheNewImageForChip0x88) {
    const std::vector<uint8_t> package = ReadBytes(QUILLON_DEMO_PACKAGE);
    std::vector<FwPackageEntry> entries;
    ASSERT_TRUE(ParsePackage(package, entries));
    ASSERT_EQ(entries.size(), 1u);
    const FwPackageEntry& e = entries[0];

    // The values docs/package.md gives for the demo package.
    EXPECT_EQ(e.key, 0x88);
    EXPECT_EQ(std::vector<uint8_t>(e.firmwareId, e.firmwareId + 4),
              (std::vector<uint8_t>{0x51, 0x44, 0x4D, 0x31}));
    const std::string name(reinterpret_cast<const char*>(e.name), sizeof e.name);
    EXPECT_EQ(name, std::string("2411ADEMO------QUILLON---2411281030") + std::string(29, '\0'));
    EXPECT_EQ(name.substr(0, 35), DemoName());

    const std::vector<uint8_t> image = ReadBytes(QUILLON_DEMO_FIRMWARE_NEW);
    ASSERT_EQ(e.length, image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), e.image));
}

std::vector<std::string> DemoOptions(const std::string& output) {
    return {output,
            "--id",
            QUILLON_DEMO_FIRMWARE_ID,
            "--code-ver",
            QUILLON_DEMO_CODE_VER,
            "--cus-ver",
            QUILLON_DEMO_CUS_VER,
            "--customer",
            QUILLON_DEMO_CUSTOMER,
            "--day-ver",
            QUILLON_DEMO_DAY_VER_NEW};
}

TEST(DemoImageGenerator, MakesTheSameImageForTheSameOptions) {
    ScratchDir dir;
    const ToolResult r = RunTool(kGenerator, DemoOptions(dir / "again.bin"), dir);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir / "again.bin"), ReadBytes(QUILLON_DEMO_FIRMWARE_NEW));
}

struct GeneratorBadInput {
    const char* name;
    std::string option;  // replaced in, or added to, the demo options
    std::string value;
    int exitCode;
    const char* message;
};

class DemoImageGeneratorBadInput : public testing::TestWithParam<GeneratorBadInput> {};

TEST_P(DemoImageGeneratorBadInput, FailsWithAClearMessage) {
    ScratchDir dir;
    std::vector<std::string> args = DemoOptions(dir / "out.bin");
    const auto at = std::find(args.begin(), args.end(), GetParam().option);
    if (at == args.end()) {
        args.push_back(GetParam().option);
        args.push_back(GetParam().value);
    } else {
        *(at + 1) = GetParam().value;
    }
    const ToolResult r = RunTool(kGenerator, args, dir);
    EXPECT_EQ(r.exitCode, GetParam().exitCode);
    EXPECT_THAT(r.err, HasSubstr(GetParam().message));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DemoImageGeneratorBadInput,
    testing::Values(GeneratorBadInput{"DayVerTooShort", "--day-ver", "241128103", 1,
                                      "DayVer '241128103' must be exactly 10 characters"},
                    GeneratorBadInput{"CustomerTooLong", "--customer", "QUILLONCAMS", 1,
                                      "Customer 'QUILLONCAMS' must be at most 10 characters"},
                    GeneratorBadInput{"CodeVerTooLong", "--code-ver", "2411AB", 1,
                                      "must be at most 5 characters"},
                    GeneratorBadInput{"BadId", "--id", "51444d", 1, "must be 8 hex digits"},
                    GeneratorBadInput{"ChipWithoutFixedAddresses", "--chip", "0x32", 1,
                                      "no fixed version field addresses are known for chip 0x32"},
                    GeneratorBadInput{"UnknownOption", "--size", "4096", 2,
                                      "unknown option '--size'"}),
    [](const testing::TestParamInfo<GeneratorBadInput>& info) { return info.param.name; });

TEST(DemoImageGenerator, NeedsEveryField) {
    ScratchDir dir;
    const ToolResult r = RunTool(kGenerator, {dir / "out.bin", "--id", "51444d31"}, dir);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_THAT(r.err, HasSubstr("are all needed"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
}

}  // namespace
}  // namespace quillon::testing_tools
