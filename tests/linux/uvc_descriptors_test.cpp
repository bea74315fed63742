// The descriptor walk: which unit it finds for which interface, and that no
// lying length makes it read outside the blob (each blob sits in a heap block
// of exactly its size, so AddressSanitizer sees any over-read).
#include "platform/linux/uvc_descriptors.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/uvc_backend.h"
#include "tests/linux/uvc_blobs.h"

namespace {

using namespace platform::uvc;
using namespace uvc_test;

ParsedDescriptors Parse(const Bytes& blob, uint8_t config = 1) {
    ExactBuffer exact(blob);
    return ParseVideoFunctions(exact.Span(), config);
}

std::optional<ExtensionUnit> UnitFor(const Bytes& blob, uint8_t interfaceNumber,
                                     uint8_t config = 1) {
    const ParsedDescriptors parsed = Parse(blob, config);
    const VideoFunction* f = FunctionOfInterface(parsed, interfaceNumber);
    if (!f) return std::nullopt;
    return FindUnit(*f, CameraGuid());
}

TEST(UvcGuid, StoresTheFirstThreeFieldsLittleEndian) {
    const platform::GUID g{
        0x28F03370, 0x6311, 0x4A2E, {0xBA, 0x2C, 0x68, 0x90, 0xEB, 0x33, 0x40, 0x16}};
    const UsbGuid expected{0x70, 0x33, 0xF0, 0x28, 0x11, 0x63, 0x2E, 0x4A,
                           0xBA, 0x2C, 0x68, 0x90, 0xEB, 0x33, 0x40, 0x16};
    EXPECT_EQ(ToUsbGuid(g), expected);
}

TEST(UvcDescriptors, FindsTheUnitAmongUnitsOfOtherGuids) {
    const Bytes blob = Camera(Join({UnitDescriptor(2, OtherGuid(1), {0xFF, 0xFF}),
                                    UnitDescriptor(4, CameraGuid(), {0x2F, 0x00}, {2, 3}),
                                    UnitDescriptor(6, OtherGuid(2), {0x3F})}));
    const auto unit = UnitFor(blob, 0);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->unitId, 4);
    EXPECT_EQ(unit->controls, (std::vector<uint8_t>{0x2F, 0x00}));
    EXPECT_FALSE(Parse(blob).malformed);
}

TEST(UvcDescriptors, TheUnitOfTheSecondFunctionBelongsToItsOwnInterfacesOnly) {
    // Two video functions in one configuration (say a colour and an infrared
    // camera): interfaces 0-1 without the unit, 2-3 with it.
    const Bytes blob =
        Join({DeviceDescriptor(0x1d6b, 0x0102),
              Configuration(
                  1, Join({FunctionDescriptors(0, UnitDescriptor(3, OtherGuid(7), {0x01})),
                           FunctionDescriptors(2, UnitDescriptor(5, CameraGuid(), {0x2F}))}))});
    EXPECT_FALSE(UnitFor(blob, 0));
    EXPECT_FALSE(UnitFor(blob, 1));
    const auto control = UnitFor(blob, 2);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->unitId, 5);
    // A node on the streaming interface reaches the unit of its own function.
    const auto streaming = UnitFor(blob, 3);
    ASSERT_TRUE(streaming);
    EXPECT_EQ(streaming->unitId, 5);
    EXPECT_FALSE(UnitFor(blob, 4));
}

TEST(UvcDescriptors, OnlyTheGivenConfigurationCounts) {
    const Bytes blob =
        Join({DeviceDescriptor(0x1d6b, 0x0102),
              Configuration(1, FunctionDescriptors(0, UnitDescriptor(3, OtherGuid(1), {0x01}))),
              Configuration(2, FunctionDescriptors(0, UnitDescriptor(7, CameraGuid(), {0x2F})))});
    EXPECT_FALSE(UnitFor(blob, 0, 1));
    const auto unit = UnitFor(blob, 0, 2);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->unitId, 7);
}

TEST(UvcDescriptors, SelectorNIsBitNMinusOne) {
    // A unit that declares selectors 1 to 4 only.
    const auto unit = UnitFor(Camera(UnitDescriptor(4, CameraGuid(), {0x0F})), 0);
    ASSERT_TRUE(unit);
    for (uint32_t s = 1; s <= 4; ++s) EXPECT_TRUE(unit->Declares(s)) << s;
    for (uint32_t s : {0u, 5u, 6u, 8u, 9u, 200u}) EXPECT_FALSE(unit->Declares(s)) << s;

    const auto wide = UnitFor(Camera(UnitDescriptor(4, CameraGuid(), {0x00, 0x01})), 0);
    ASSERT_TRUE(wide);
    EXPECT_TRUE(wide->Declares(9));
    EXPECT_FALSE(wide->Declares(1));
}

// A blob with one lying length, and whether the unit (which comes before the
// lie in some of them) is still found.
struct MalformedCase {
    const char* name;
    Bytes blob;
    bool unitFound;
};

Bytes WithByte(Bytes b, size_t at, uint8_t value) {
    b.at(at) = value;
    return b;
}

Bytes Truncated(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

// A camera whose configuration ends with `last` (after the VideoControl
// interface, its header and the unit), so that a field of `last` that points
// past its own length points past the blob too.
Bytes EndingWith(const Bytes& last, bool header = true) {
    return Join(
        {DeviceDescriptor(0x1d6b, 0x0102),
         Configuration(1, Join({VideoControlInterface(0), header ? ControlHeader({1}) : Bytes{},
                                UnitDescriptor(4, CameraGuid(), {0x2F}), last}))});
}

std::vector<MalformedCase> MalformedCases() {
    const Bytes ours = UnitDescriptor(4, CameraGuid(), {0x2F});
    const Bytes other = UnitDescriptor(6, OtherGuid(1), {0xFF, 0xFF});
    const Bytes good = Camera(ours);
    // Where the pieces sit in `good`.
    const size_t config = 18;
    const size_t vcHeader = config + 9 + 8 + 9;
    const size_t unit = vcHeader + 13 + 18;
    return {
        // Lengths that do not fit the blob or the configuration.
        {"zero descriptor length", WithByte(good, unit, 0), false},
        {"descriptor length one", WithByte(good, unit, 1), false},
        {"unit longer than the configuration", WithByte(good, unit, 0xF0), false},
        {"configuration longer than the blob", WithByte(good, config + 2, 0xFF), false},
        {"configuration shorter than itself",
         WithByte(WithByte(good, config + 2, 4), config + 3, 0), false},
        {"configuration ends inside the unit",
         WithByte(WithByte(good, config + 2, static_cast<uint8_t>(unit + 5 - config)), config + 3,
                  0),
         false},
        {"blob cut inside the unit", Truncated(good, unit + 10), false},
        {"blob cut after one length byte", Truncated(good, config + 1), false},
        {"unit of another GUID before ours lies", Camera(Join({WithByte(other, 21, 0x40), ours})),
         false},
        // Fields inside the last descriptor that point past its end (and the blob's).
        {"unit too short for its pins", EndingWith(WithByte(other, 21, 0x40)), true},
        {"unit control size beyond its length", EndingWith(WithByte(other, 23, 0x20)), true},
        {"unit shorter than its fixed part", EndingWith(Bytes{8, 0x24, 0x06, 4, 0, 0, 0, 0}), true},
        {"class descriptor without a subtype", EndingWith(Bytes{2, 0x24}), true},
        {"header collection beyond its length",
         Join({DeviceDescriptor(0x1d6b, 0x0102),
               Configuration(
                   1, Join({VideoControlInterface(0), WithByte(ControlHeader({1}), 11, 0x30)}))}),
         false},
        {"interface descriptor too short", EndingWith(Bytes{5, 0x04, 0x01, 0x00, 0x01}), true},
        {"configuration descriptor too short",
         Join({DeviceDescriptor(0x1d6b, 0x0102), Bytes{4, 0x02, 4, 0}}), false},
    };
}

TEST(UvcDescriptors, LyingLengthsEndTheWalkWithoutReadingPastTheBlob) {
    for (const MalformedCase& c : MalformedCases()) {
        SCOPED_TRACE(c.name);
        const ParsedDescriptors parsed = Parse(c.blob);
        EXPECT_TRUE(parsed.malformed);
        const VideoFunction* f = FunctionOfInterface(parsed, 0);
        EXPECT_EQ(f && FindUnit(*f, CameraGuid()).has_value(), c.unitFound);
    }
}

TEST(UvcDescriptors, EveryCutOfTheBlobIsSafeAndOnlyTheWholeOneHasTheUnit) {
    const Bytes good = Camera(Join({UnitDescriptor(2, OtherGuid(1), {0xFF, 0xFF}, {1, 2}),
                                    UnitDescriptor(4, CameraGuid(), {0x2F})}));
    for (size_t size = 0; size <= good.size(); ++size) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(size));
        const bool found = UnitFor(cut, 0).has_value();
        EXPECT_EQ(found, size == good.size()) << "cut at " << size;
    }
}

}  // namespace
