// GUID equality decides which interface a query hands out, and which property
// set and node type a request names: every one of the 16 bytes must count.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/com.h"
#include "platform/ks.h"

namespace {

using platform::GUID;

static_assert(platform::IID_IKsControl == platform::IID_IKsControl);
static_assert(!(platform::IID_IKsControl == platform::IID_IBaseFilter));

TEST(Guid, EveryByteTakesPartInTheComparison) {
    const GUID base = platform::KSNODETYPE_DEV_SPECIFIC;
    EXPECT_TRUE(base == platform::KSNODETYPE_DEV_SPECIFIC);
    for (size_t byte = 0; byte < sizeof(GUID); ++byte) {
        for (const uint8_t flip : {0x01, 0x80}) {
            GUID other = base;
            auto* raw = reinterpret_cast<uint8_t*>(&other);
            raw[byte] ^= flip;
            EXPECT_FALSE(base == other) << "byte " << byte << " flipped by " << int(flip);
            EXPECT_FALSE(other == base) << "byte " << byte << " flipped by " << int(flip);
        }
    }
}

TEST(Guid, InterfaceIdsAreDistinct) {
    const GUID ids[] = {platform::IID_IUnknown,      platform::IID_IBaseFilter,
                        platform::IID_IKsControl,    platform::IID_IKsTopologyInfo,
                        platform::IID_IPropertyBag,  platform::IID_IMoniker,
                        platform::IID_IEnumMoniker,  platform::IID_ICreateDevEnum};
    for (size_t i = 0; i < std::size(ids); ++i)
        for (size_t j = 0; j < std::size(ids); ++j) EXPECT_EQ(ids[i] == ids[j], i == j) << i << " " << j;
}

}  // namespace
