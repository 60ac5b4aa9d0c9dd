// The uevent texts the system's device listing reads: which values it takes
// and which ids it accepts.
#include "hid_uevent.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace vireon::core::hid;

TEST(HidUevent, ValuesAreTakenOnlyFromWholeLinesOfTheirOwnKey)
{
    const struct {
        const char *text;
        const char *key;
        std::optional<std::string> value;
    } cases[] = {
        {"DRIVER=hid-generic\nHID_UNIQ=A=B\n", "HID_UNIQ", "A=B"},
        {"HID_UNIQ=\nHID_NAME=x\n", "HID_UNIQ", ""},
        {"HID_IDX=1\nXHID_ID=2\nHID_ID\n", "HID_ID", std::nullopt}, // other keys, no '='
        {"HID_NAME=x\nHID_UNIQ=0042", "HID_UNIQ", std::nullopt},   // cut before its line feed
    };
    for (const auto &c : cases)
        EXPECT_EQ(ueventValue(c.text, c.key), c.value) << c.text;
}

TEST(HidUevent, IdsAreThreeHexFieldsWithSixteenBitIds)
{
    const struct {
        const char *value;
        std::optional<HidId> id;
    } cases[] = {
        {"0003:00001502:00000101", HidId{kBusUsb, 0x1502, 0x0101}},
        {"5:0000aBcD:0000FFFF", HidId{5, 0xABCD, 0xFFFF}},
        {"0003:00010000:00000101", std::nullopt}, // vendor beyond 16 bits
        {"0003:000001502:00000101", std::nullopt}, // nine digits
        {"0003:00001502", std::nullopt},
        {"0003:0000150g:00000101", std::nullopt},
        {"0003:-0001502:00000101", std::nullopt}, // a sign
        {"0003:0x001502:00000101", std::nullopt}, // a prefix
        {"0003::00000101", std::nullopt},
    };
    for (const auto &c : cases) {
        const std::optional<HidId> id = parseHidId(c.value);
        ASSERT_EQ(id.has_value(), c.id.has_value()) << c.value;
        if (id) {
            EXPECT_EQ(std::tie(id->bus, id->vendorId, id->productId), std::tie(c.id->bus, c.id->vendorId, c.id->productId))
                << c.value;
        }
    }
}

} // namespace
