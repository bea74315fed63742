// The firmware package: parsing sound and damaged packages, loading the
// package resource, and the package this test program carries.
#include "app/fw_package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/resource.h"

namespace quillon {
namespace {

struct TestEntry {
    uint8_t key;
    std::array<uint8_t, 4> id;
    std::string name;
    std::vector<uint8_t> image;
};

std::vector<uint8_t> Image(size_t size, uint8_t seed) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return image;
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Lays a package out byte by byte, independently of the parser.
std::vector<uint8_t> Pack(const std::vector<TestEntry>& entries, size_t filler = 0,
                          uint8_t headerByte = 0) {
    std::vector<uint8_t> out(16, headerByte);
    out.push_back(static_cast<uint8_t>(entries.size()));
    for (const auto& e : entries) {
        out.push_back(e.key);
        out.insert(out.end(), e.id.begin(), e.id.end());
        PutLe32(out, static_cast<uint32_t>(e.image.size()));
        std::array<uint8_t, 64> name{};
        std::copy(e.name.begin(), e.name.end(), name.begin());
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), e.image.begin(), e.image.end());
    }
    out.resize(out.size() + filler, 0);
    return out;
}

// A heap copy of exactly the package's size: a read past the end is caught
// by AddressSanitizer.
class ExactBuffer {
public:
    explicit ExactBuffer(const std::vector<uint8_t>& bytes)
        : size_(bytes.size()), data_(new uint8_t[bytes.size()]) {
        std::copy(bytes.begin(), bytes.end(), data_.get());
    }
    std::span<const uint8_t> Span() const { return {data_.get(), size_}; }
    const uint8_t* Data() const { return data_.get(); }

private:
    size_t size_;
    std::unique_ptr<uint8_t[]> data_;
};

// Checks parsed entries against what was packed, including where each image
// lies in the package and that its bytes are the stored ones.
void ExpectEntries(const std::vector<FwPackageEntry>& parsed, const std::vector<TestEntry>& packed,
                   const uint8_t* package) {
    ASSERT_EQ(parsed.size(), packed.size());
    size_t offset = 17;
    for (size_t i = 0; i < packed.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const FwPackageEntry& got = parsed[i];
        const TestEntry& want = packed[i];
        EXPECT_EQ(got.key, want.key);
        EXPECT_TRUE(std::equal(want.id.begin(), want.id.end(), got.firmwareId));
        std::array<uint8_t, 64> name{};
        std::copy(want.name.begin(), want.name.end(), name.begin());
        EXPECT_TRUE(std::equal(name.begin(), name.end(), got.name));
        EXPECT_EQ(got.length, want.image.size());
        EXPECT_EQ(got.image, package + offset + 73);
        EXPECT_TRUE(std::equal(want.image.begin(), want.image.end(), got.image));
        offset += 73 + want.image.size();
    }
}

// --- sound packages ---

struct SoundCase {
    const char* name;
    std::vector<TestEntry> entries;
    size_t filler;
};

class SoundPackage : public testing::TestWithParam<SoundCase> {};

TEST_P(SoundPackage, ParsesEveryEntryInOrder) {
    const SoundCase& c = GetParam();
    const ExactBuffer package(Pack(c.entries, c.filler));
    std::vector<FwPackageEntry> entries;
    ASSERT_TRUE(ParsePackage(package.Span(), entries));
    ExpectEntries(entries, c.entries, package.Data());
}

std::vector<TestEntry> ManySmallEntries(size_t count) {
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < count; ++i)
        entries.push_back({static_cast<uint8_t>(i),
                           {1, 2, 3, static_cast<uint8_t>(i)},
                           "e",
                           Image(i % 5, static_cast<uint8_t>(i))});
    return entries;
}

const std::array<uint8_t, 4> kIdA{0x51, 0x44, 0x4D, 0x31};
const std::array<uint8_t, 4> kIdB{0xFE, 0x00, 0x80, 0x7F};

INSTANTIATE_TEST_SUITE_P(
    Packages, SoundPackage,
    testing::Values(
        SoundCase{"CountZero", {}, 0}, SoundCase{"CountZeroWithFiller", {}, 4096},
        SoundCase{
            "OneEntry", {{0x88, kIdA, "2411ADEMO------QUILLON---2411281030", Image(300, 1)}}, 0},
        SoundCase{"ZeroLengthEntryFollowedByAnother",
                  {{0x88, kIdA, "empty", {}}, {0x85, kIdB, "next", Image(9, 2)}},
                  0},
        SoundCase{"ZeroLengthEntryEndingThePackage", {{0x88, kIdA, "empty", {}}}, 0},
        SoundCase{"TrailingZeroFiller",
                  {{0x88, kIdA, "a", Image(70000, 3)}, {0x92, kIdB, "b", Image(1, 4)}},
                  5 * 4096},
        SoundCase{"SameKeyAndIdTwice",
                  {{0x88, kIdA, "first", Image(17, 5)}, {0x88, kIdA, "second", Image(18, 6)}},
                  0},
        SoundCase{"FullLengthName", {{0x16, kIdB, std::string(64, 'N'), Image(2, 7)}}, 0},
        SoundCase{"MostEntriesACountHolds", ManySmallEntries(255), 0}),
    [](const testing::TestParamInfo<SoundCase>& info) { return info.param.name; });

TEST(ParsePackage, ZeroLengthImagePointsAtTheNextEntry) {
    const ExactBuffer package(Pack({{0x88, kIdA, "empty", {}}, {0x85, kIdB, "next", Image(9, 2)}}));
    std::vector<FwPackageEntry> entries;
    ASSERT_TRUE(ParsePackage(package.Span(), entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].image, package.Data() + 17 + 73);
    EXPECT_EQ(*entries[0].image, 0x85);  // the next entry's key
}

TEST(ParsePackage, HeaderBytesChangeNothing) {
    const std::vector<TestEntry> packed{{0x88, kIdA, "x", Image(40, 8)}};
    for (uint8_t header : {0x00, 0x5A, 0xFF}) {
        SCOPED_TRACE(header);
        const ExactBuffer package(Pack(packed, 0, header));
        std::vector<FwPackageEntry> entries;
        ASSERT_TRUE(ParsePackage(package.Span(), entries));
        ExpectEntries(entries, packed, package.Data());
    }
}

TEST(ParsePackage, AppendsAfterWhatTheListHeld) {
    const ExactBuffer package(Pack({{0x88, kIdA, "x", Image(4, 9)}}));
    std::vector<FwPackageEntry> entries(1);
    entries[0].key = 0x42;
    ASSERT_TRUE(ParsePackage(package.Span(), entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].key, 0x42);
    EXPECT_EQ(entries[1].key, 0x88);
}

// --- damaged packages ---

std::vector<uint8_t> WithLength(std::vector<uint8_t> package, size_t entryAt, uint32_t length) {
    for (int i = 0; i < 4; ++i) package[entryAt + 5 + i] = static_cast<uint8_t>(length >> (8 * i));
    return package;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> package, size_t missing) {
    package.resize(package.size() - missing);
    return package;
}

std::vector<uint8_t> WithCount(std::vector<uint8_t> package, uint8_t count) {
    package[16] = count;
    return package;
}

struct DamagedCase {
    const char* name;
    std::vector<uint8_t> bytes;
    PackageFault::Kind kind;
    size_t entry;
};

class DamagedPackage : public testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedPackage, IsRejectedWholeWithoutReadingPastTheEnd) {
    const DamagedCase& c = GetParam();
    const ExactBuffer package(c.bytes);
    std::vector<FwPackageEntry> entries(1);
    entries[0].key = 0x42;
    PackageFault fault;
    EXPECT_FALSE(ParsePackage(package.Span(), entries, &fault));
    ASSERT_EQ(entries.size(), 1u) << "a damaged package must add no entries";
    EXPECT_EQ(entries[0].key, 0x42);
    EXPECT_EQ(fault.kind, c.kind);
    EXPECT_EQ(fault.entry, c.entry);
}

const std::vector<uint8_t> kTwoEntries =
    Pack({{0x88, kIdA, "a", Image(100, 1)}, {0x88, kIdB, "b", Image(50, 2)}});
const size_t kSecondEntryAt = 17 + 73 + 100;

INSTANTIATE_TEST_SUITE_P(
    Packages, DamagedPackage,
    testing::Values(
        DamagedCase{"Empty", {}, PackageFault::Kind::kNoCount, 0},
        DamagedCase{"HeaderWithoutCount", std::vector<uint8_t>(16, 0), PackageFault::Kind::kNoCount,
                    0},
        DamagedCase{"CountWithoutEntries", WithCount(Pack({}), 1), PackageFault::Kind::kEntryHeader,
                    0},
        DamagedCase{"EntryHeaderCutShort", Truncated(Pack({{0x88, kIdA, "a", {}}}), 1),
                    PackageFault::Kind::kEntryHeader, 0},
        DamagedCase{"ImageOneByteShort", Truncated(kTwoEntries, 1), PackageFault::Kind::kImage, 1},
        DamagedCase{"CountBeyondTheEntries", WithCount(kTwoEntries, 3),
                    PackageFault::Kind::kEntryHeader, 2},
        DamagedCase{"CountOfAllOnes", WithCount(kTwoEntries, 0xFF),
                    PackageFault::Kind::kEntryHeader, 2},
        DamagedCase{"FirstLengthPastTheEnd", WithLength(kTwoEntries, 17, 100 + 73 + 50 + 1),
                    PackageFault::Kind::kImage, 0},
        DamagedCase{"SecondLengthPastTheEnd", WithLength(kTwoEntries, kSecondEntryAt, 51),
                    PackageFault::Kind::kImage, 1},
        DamagedCase{"LengthOfAllOnes", WithLength(kTwoEntries, 17, 0xFFFFFFFFu),
                    PackageFault::Kind::kImage, 0},
        DamagedCase{"LengthWrappingTheOffset",
                    WithLength(kTwoEntries, kSecondEntryAt, 0xFFFFFFFFu - 72),
                    PackageFault::Kind::kImage, 1}),
    [](const testing::TestParamInfo<DamagedCase>& info) { return info.param.name; });

TEST(ParsePackage, EveryTruncationOfASoundPackageIsRejected) {
    const std::vector<uint8_t> whole = Pack(
        {{0x88, kIdA, "a", Image(5, 1)}, {0x88, kIdA, "b", {}}, {0x92, kIdB, "c", Image(20, 2)}});
    for (size_t size = 0; size < whole.size(); ++size) {
        const ExactBuffer prefix(std::vector<uint8_t>(whole.begin(), whole.begin() + size));
        std::vector<FwPackageEntry> entries;
        EXPECT_FALSE(ParsePackage(prefix.Span(), entries)) << "size " << size;
        EXPECT_TRUE(entries.empty()) << "size " << size;
    }
    const ExactBuffer full(whole);
    std::vector<FwPackageEntry> entries;
    EXPECT_TRUE(ParsePackage(full.Span(), entries));
    EXPECT_EQ(entries.size(), 3u);
}

// Random damage to the count, the lengths or anything else: whatever the
// parser accepts lies wholly inside the package, entry after entry.
TEST(ParsePackage, AcceptedEntriesAlwaysLieInsideThePackage) {
    const std::vector<uint8_t> sound = Pack({{0x88, kIdA, "a", Image(30, 1)},
                                             {0x85, kIdB, "b", Image(3, 2)},
                                             {0x92, kIdA, "c", Image(12, 3)}},
                                            20);
    std::mt19937 random(20241128);
    const std::array<size_t, 5> hotSpots{16, 17 + 5, 17 + 73 + 30 + 5, 17 + 73 + 30 + 73 + 3 + 5,
                                         17 + 73 + 30 + 5 + 1};
    size_t accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = sound;
        bytes.resize(bytes.size() - random() % 40);
        for (unsigned k = 0, n = 1 + random() % 3; k < n; ++k) {
            const size_t at =
                (random() % 2) ? hotSpots[random() % hotSpots.size()] : random() % bytes.size();
            if (at < bytes.size()) bytes[at] = static_cast<uint8_t>(random());
        }
        const ExactBuffer package(bytes);
        std::vector<FwPackageEntry> entries;
        if (!ParsePackage(package.Span(), entries)) {
            EXPECT_TRUE(entries.empty());
            continue;
        }
        ++accepted;
        ASSERT_EQ(entries.size(), bytes[16]);
        const uint8_t* next = package.Data() + 17;
        const uint8_t* end = package.Data() + bytes.size();
        for (const auto& e : entries) {
            ASSERT_EQ(e.image, next + 73);
            ASSERT_LE(e.length, static_cast<size_t>(end - e.image));
            next = e.image + e.length;
        }
    }
    EXPECT_GT(accepted, 0u) << "the damage should leave some packages sound";
}

// --- loading the package resource ---

struct Resource {
    std::vector<uint8_t> bytes;
    platform::EmbeddedResource Entry(platform::ResourceName name = kFwResourceId,
                                     platform::ResourceName type = kFwResourceType) const {
        return {type, name, bytes.data(), bytes.data() + bytes.size()};
    }
};

bool IsEmpty(const FwPackage& package) {
    return package.data == nullptr && package.size == 0 && package.entries.empty();
}

class LoadPackage : public testing::Test {
protected:
    const std::vector<TestEntry> packed_{{0x88, kIdA, "first", Image(1000, 1)},
                                         {0x85, kIdB, "second", Image(10, 2)}};
    const Resource sound_{Pack(packed_, 64)};

    // Loads a sound package first, so each test also shows that what a
    // failed load leaves behind is an empty package, not the earlier one.
    void LoadSoundFirst() {
        const platform::EmbeddedResource table[] = {sound_.Entry()};
        const platform::ResourceModule module(table);
        ASSERT_EQ(LoadPackageResource(package_, &module), 0);
        ASSERT_EQ(package_.entries.size(), 2u);
    }

    FwPackage package_;
};

TEST_F(LoadPackage, CopiesAndParsesTheResource) {
    const platform::EmbeddedResource table[] = {sound_.Entry(134), sound_.Entry()};
    const platform::ResourceModule module(table);
    ASSERT_EQ(LoadPackageResource(package_, &module), 0);
    ASSERT_EQ(package_.size, sound_.bytes.size());
    EXPECT_NE(package_.data.get(), sound_.bytes.data()) << "the package must be a copy";
    EXPECT_TRUE(std::equal(sound_.bytes.begin(), sound_.bytes.end(), package_.data.get()));
    ExpectEntries(package_.entries, packed_, package_.data.get());
}

TEST_F(LoadPackage, ReloadingReplacesTheEntries) {
    LoadSoundFirst();
    const std::vector<TestEntry> other{{0x92, kIdB, "only", Image(5, 9)}};
    const Resource resource{Pack(other)};
    const platform::EmbeddedResource table[] = {resource.Entry()};
    const platform::ResourceModule module(table);
    ASSERT_EQ(LoadPackageResource(package_, &module), 0);
    ExpectEntries(package_.entries, other, package_.data.get());
}

struct LoadFailureCase {
    const char* name;
    std::vector<platform::EmbeddedResource> table;
};

const Resource kSound{Pack({{0x88, kIdA, "a", Image(8, 1)}})};
const Resource kDamaged{Truncated(kSound.bytes, 1)};
const Resource kEmpty{};

class LoadPackageFailure : public LoadPackage,
                           public testing::WithParamInterface<LoadFailureCase> {};

TEST_P(LoadPackageFailure, ReportsMessage107AndLeavesNoPackage) {
    LoadSoundFirst();
    const platform::ResourceModule module(GetParam().table);
    EXPECT_EQ(LoadPackageResource(package_, &module), kMsgFwResourceFailed);
    EXPECT_TRUE(IsEmpty(package_));
}

INSTANTIATE_TEST_SUITE_P(
    Resources, LoadPackageFailure,
    testing::Values(LoadFailureCase{"NoResources", {}},
                    LoadFailureCase{"OtherId", {kSound.Entry(134)}},
                    LoadFailureCase{"OtherTextType", {kSound.Entry(kFwResourceId, u"FX")}},
                    LoadFailureCase{"NumberedType", {kSound.Entry(kFwResourceId, uint16_t{10})}},
                    LoadFailureCase{"CannotBeLoaded",
                                    {{kFwResourceType, kFwResourceId, nullptr, nullptr}}},
                    LoadFailureCase{"SizeZero", {kEmpty.Entry()}},
                    LoadFailureCase{"DamagedPackage", {kDamaged.Entry()}}),
    [](const testing::TestParamInfo<LoadFailureCase>& info) { return info.param.name; });

TEST_F(LoadPackage, AllocationFailureReportsMessage108) {
    LoadSoundFirst();
    static size_t requested;
    requested = 0;
    const platform::EmbeddedResource table[] = {sound_.Entry()};
    const platform::ResourceModule module(table);
    const PackageAllocator failing = [](size_t size) {
        requested = size;
        return std::unique_ptr<uint8_t[]>();
    };
    EXPECT_EQ(LoadPackageResource(package_, &module, failing), kMsgAllocFailed);
    EXPECT_EQ(requested, sound_.bytes.size()) << "the copy is exactly the resource's size";
    EXPECT_TRUE(IsEmpty(package_));
}

// --- the resource stand-in ---

TEST(Resource, TextNamesIgnoreCaseAndNeverMatchNumbers) {
    const Resource r{Pack({})};
    const platform::EmbeddedResource table[] = {r.Entry(7, u"Fw"), r.Entry(u"LOGO", 3)};
    const platform::ResourceModule module(table);
    EXPECT_EQ(platform::FindResourceW(&module, 7, u"fW"), &table[0]);
    EXPECT_EQ(platform::FindResourceW(&module, u"logo", 3), &table[1]);
    EXPECT_EQ(platform::FindResourceW(&module, 7, u"FWX"), nullptr);
    EXPECT_EQ(platform::FindResourceW(&module, u"7", u"FW"), nullptr);
    EXPECT_EQ(platform::FindResourceW(&module, u"LOGO", u"3"), nullptr);
}

std::vector<uint8_t> ReadWholeFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// This program links the build's package resource, as the application does.
TEST(EmbeddedPackage, IsFoundByTypeAndIdWithTheFileBytes) {
    const std::vector<uint8_t> file = ReadWholeFile(QUILLON_EMBEDDED_PACKAGE);
    ASSERT_FALSE(file.empty()) << "cannot read " << QUILLON_EMBEDDED_PACKAGE;

    const platform::HMODULE self = platform::GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    const platform::HRSRC found = platform::FindResourceW(self, 133, u"FW");
    ASSERT_NE(found, nullptr);
    const auto* bytes =
        static_cast<const uint8_t*>(platform::LockResource(platform::LoadResource(self, found)));
    ASSERT_NE(bytes, nullptr);
    ASSERT_EQ(platform::SizeofResource(self, found), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), bytes));

    EXPECT_EQ(platform::FindResourceW(self, 134, u"FW"), nullptr);
    EXPECT_EQ(platform::FindResourceW(self, 133, u"RCDATA"), nullptr);
    EXPECT_EQ(platform::FindResourceW(self, 133, uint16_t{10}), nullptr);
    EXPECT_EQ(platform::GetModuleHandleW(u"other.dll"), nullptr);
}

TEST(EmbeddedPackage, LoadsIntoTheSameEntriesAsTheFile) {
    const std::vector<uint8_t> file = ReadWholeFile(QUILLON_EMBEDDED_PACKAGE);
    std::vector<FwPackageEntry> fromFile;
    ASSERT_TRUE(ParsePackage(file, fromFile));

    FwPackage package;
    ASSERT_EQ(LoadPackageResource(package), 0);
    ASSERT_EQ(package.entries.size(), fromFile.size());
    for (size_t i = 0; i < fromFile.size(); ++i) {
        EXPECT_EQ(package.entries[i].key, fromFile[i].key);
        EXPECT_EQ(0, std::memcmp(package.entries[i].firmwareId, fromFile[i].firmwareId, 4));
        ASSERT_EQ(package.entries[i].length, fromFile[i].length);
        EXPECT_EQ(0, std::memcmp(package.entries[i].image, fromFile[i].image, fromFile[i].length));
    }
}

}  // namespace
}  // namespace quillon
