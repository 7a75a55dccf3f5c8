#include "protocol/device_filter.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

using vnk::protocol::deviceFilterAccepts;

namespace {
std::string writeIni(const std::string& body) {
    static int n = 0;
    const auto path = std::filesystem::temp_directory_path() /
                      ("vnk_filter_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + ".ini");
    std::ofstream(path) << "[General Information]\n" << body;
    return path.string();
}
} // namespace

TEST(DeviceFilter, WithoutSettingsFileOnlyTypeZeroWhateverTheVendor) {
    EXPECT_TRUE(deviceFilterAccepts("/nonexistent/Config.ini", 0x99, 0));
    EXPECT_FALSE(deviceFilterAccepts("/nonexistent/Config.ini", 0, 1));
}

TEST(DeviceFilter, VendorTestIsOffWhenEitherSideIsZero) {
    const auto p = writeIni("VendorID=7\nDeviceType1=0\n");
    EXPECT_TRUE(deviceFilterAccepts(p, 7, 3));
    EXPECT_TRUE(deviceFilterAccepts(p, 0, 3));
    EXPECT_FALSE(deviceFilterAccepts(p, 8, 0));
    const auto off = writeIni("VendorID=0\nDeviceType1=0\n");
    EXPECT_TRUE(deviceFilterAccepts(off, 8, 5));
}

TEST(DeviceFilter, VendorAbove127MatchesAsAnUnsignedByte) {
    const auto p = writeIni("VendorID=200\n");
    EXPECT_TRUE(deviceFilterAccepts(p, 200, 0));
    EXPECT_FALSE(deviceFilterAccepts(p, 201, 0));
    const auto wide = writeIni("VendorID=456\n"); // low 8 bits: 200
    EXPECT_TRUE(deviceFilterAccepts(wide, 200, 0));
}

TEST(DeviceFilter, DeviceTypesAreListedPlusOneAndEndAtTheFirstGap) {
    const auto p = writeIni("DeviceType1=3\nDeviceType2=5\n");
    EXPECT_TRUE(deviceFilterAccepts(p, 0, 0));
    EXPECT_TRUE(deviceFilterAccepts(p, 0, 2));
    EXPECT_TRUE(deviceFilterAccepts(p, 0, 4));
    EXPECT_FALSE(deviceFilterAccepts(p, 0, 3));
    const auto gap = writeIni("DeviceType1=3\nDeviceType3=5\n");
    EXPECT_TRUE(deviceFilterAccepts(gap, 0, 2));
    EXPECT_FALSE(deviceFilterAccepts(gap, 0, 4));
    const auto none = writeIni("Title=x\n");
    EXPECT_FALSE(deviceFilterAccepts(none, 0, 1));
    EXPECT_TRUE(deviceFilterAccepts(none, 0, 0));
}

TEST(DeviceFilter, ZeroAdmitsEveryTypeAndValuesAreReadAsThreeCharacters) {
    const auto p = writeIni("DeviceType1=0\n");
    EXPECT_TRUE(deviceFilterAccepts(p, 0, 200));
    // "2561" is read as "256", whose low byte 0 admits everything.
    const auto longer = writeIni("DeviceType1=2561\n");
    EXPECT_TRUE(deviceFilterAccepts(longer, 0, 77));
    // 257 - 1 = 256 -> byte 0: admits only 0 via the first rule, not type 0 by subtraction.
    const auto wrap = writeIni("DeviceType1=257\n");
    EXPECT_FALSE(deviceFilterAccepts(wrap, 0, 1));
    EXPECT_TRUE(deviceFilterAccepts(wrap, 0, 0));
    const auto letters = writeIni("DeviceType1=abc\n"); // no digits reads as 0
    EXPECT_TRUE(deviceFilterAccepts(letters, 0, 9));
}
