// Properties of the chip tables that a single mistyped entry would break.
#include "chip/chip_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace quillon {
namespace {

// The versions 0-255 that a row accepts.
bool Accepts(const ChipRomEntry& row, int version) {
    return row.orLater ? version >= row.codeVersion : version == row.codeVersion;
}

bool SameCode(const ChipRomEntry& a, const ChipRomEntry& b) {
    return a.romAddress == b.romAddress && std::equal(a.romCode, a.romCode + 4, b.romCode);
}

TEST(ChipTablesTest, EveryRomRowIsStoredAtASearchedAddress) {
    for (int j = 0; j < kChipRomRows; ++j) {
        SCOPED_TRACE(j);
        EXPECT_NE(
            std::find(RomCodeAddresses.begin(), RomCodeAddresses.end(), ChipRomTable[j].romAddress),
            RomCodeAddresses.end());
    }
}

// Rows sharing an address and code must split the versions between them;
// where they overlap the earlier row wins and the later is dead for those versions.
TEST(ChipTablesTest, OnlyTheRepeatedRowIsShadowedByAnEarlierOne) {
    std::vector<std::pair<int, int>> overlapping;
    for (int j = 0; j < kChipRomRows; ++j) {
        for (int i = 0; i < j; ++i) {
            if (!SameCode(ChipRomTable[i], ChipRomTable[j])) continue;
            for (int version = 0; version < 256; ++version) {
                if (Accepts(ChipRomTable[i], version) && Accepts(ChipRomTable[j], version)) {
                    overlapping.emplace_back(i, j);
                    break;
                }
            }
        }
    }
    EXPECT_EQ(overlapping, (std::vector<std::pair<int, int>>{{18, 19}}));
}

TEST(ChipTablesTest, ClassifiedChipIdsAreDistinctAndInRange) {
    for (size_t i = 0; i < ChipIdTable.size(); ++i) {
        SCOPED_TRACE(i);
        const ChipIdClass& row = ChipIdTable[i];
        EXPECT_EQ(ClassifyChipId(row.chipId), &row);  // the first row with this ID is this one
        EXPECT_GE(row.chipClass, 0);
        EXPECT_LE(row.chipClass, 3);
        EXPECT_GE(row.asicArchType, 0);
        EXPECT_LT(row.asicArchType, kArchTypes);
    }
}

TEST(ChipTablesTest, ClassSizeDoublesPerClassAndIsZeroOutside) {
    const std::pair<int32_t, uint32_t> cases[] = {
        {-1, 0}, {0, 0x8000}, {1, 0x10000}, {2, 0x20000}, {3, 0x40000}, {4, 0}, {31, 0}, {-31, 0},
    };
    for (const auto& [chipClass, size] : cases) EXPECT_EQ(ClassSize(chipClass), size) << chipClass;
}

TEST(ChipTablesTest, RomCodeComparesFourCharacters) {
    const uint8_t buffer[8] = {'Q', 'M', 'C', 'S', '7', 1, 0, 0};
    EXPECT_TRUE(RomCodeIs(buffer, "QMCS0"));
    EXPECT_FALSE(RomCodeIs(buffer, "QMCT0"));
    EXPECT_FALSE(RomCodeIs(buffer, "XMCS0"));
}

}  // namespace
}  // namespace quillon
