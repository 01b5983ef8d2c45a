#include "tools/UsbLock.h"

#include <gtest/gtest.h>

using modReg::Found;
using modReg::Value;

namespace {

UsbLock::Status reading(Value start, Found found) {
    return {std::move(start), std::nullopt, found};
}

} // namespace

TEST(UsbLockTexts, ARegistryNumberAloneDecides) {
    // Where there are no rule lines (the registry), 4 and 3 are the states and nothing disagrees.
    EXPECT_EQ(UsbLock::StatusText(reading(std::uint32_t{4}, Found::Read)), "Locked");
    EXPECT_EQ(UsbLock::StatusText(reading(std::uint32_t{3}, Found::Read)), "Un-Locked");
    EXPECT_EQ(UsbLock::StatusText(reading(std::uint32_t{2}, Found::Read)), "Neither (Start=2)");
    EXPECT_FALSE(UsbLock::LinesDisagree(reading(std::uint32_t{4}, Found::Read)));
}

TEST(UsbLockTexts, AMissingKeyOrValueOrAnotherTypeIsNeither) {
    const std::vector<std::pair<UsbLock::Status, std::string>> cases = {
        {reading(Value(), Found::NoKey), "Neither (no USBSTOR key)"},
        {reading(Value(), Found::NoValue), "Neither (no Start value)"},
        // A text that reads "4" starts no driver: only a 32-bit number does.
        {reading(std::string("4"), Found::OtherType), "Neither (Start=4, not a 32-bit number)"},
        {reading(std::string("3"), Found::OtherType), "Neither (Start=3, not a 32-bit number)"},
        {reading(Value(), Found::OtherType), "Neither (Start is not a 32-bit number)"},
    };
    for (const auto& [status, text] : cases) {
        EXPECT_EQ(UsbLock::StatusText(status), text);
        EXPECT_FALSE(UsbLock::StateOf(status)) << text;
        EXPECT_FALSE(UsbLock::LinesDisagree(status)) << text;
    }
}

TEST(UsbLockTexts, AFailedChangeNamesTheRightsThisSystemAsksFor) {
    const std::string denied =
        UsbLock::FailureText(true, std::make_error_code(std::errc::permission_denied));
#ifdef _WIN32
    EXPECT_EQ(denied, " USB Port could not be locked.\r\nAdministrator rights are needed to change "
                      "the USB storage driver's start value.");
#else
    EXPECT_EQ(denied, " USB Port could not be locked.\r\nRoot rights are needed to change the USB "
                      "storage rule.");
#endif
    const std::string other =
        UsbLock::FailureText(false, std::make_error_code(std::errc::no_space_on_device));
    EXPECT_EQ(other.rfind(" USB Port could not be un-locked.\r\nThe ", 0), 0U);
    EXPECT_NE(other.find(" could not be written: "), std::string::npos);
}
