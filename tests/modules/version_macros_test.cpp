// The version a host sees at compile time (PelmoraVersion.h, through each public header) is the project's
// version, which CMake passes in as PL_EXPECTED_VERSION*.
#include "Console.h"
#include "Kitbag.h"
#include "Trace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VersionMacros, PublicHeadersCarryTheProjectVersion) {
    EXPECT_EQ(PELMORA_VERSION_MAJOR, PL_EXPECTED_VERSION_MAJOR);
    EXPECT_EQ(PELMORA_VERSION_MINOR, PL_EXPECTED_VERSION_MINOR);
    EXPECT_EQ(PELMORA_VERSION_PATCH, PL_EXPECTED_VERSION_PATCH);
    EXPECT_STREQ(PELMORA_VERSION_STRING, PL_EXPECTED_VERSION);
    // The text and the numbers say the same.
    const std::string numbers = std::to_string(PELMORA_VERSION_MAJOR) + "." +
                                std::to_string(PELMORA_VERSION_MINOR) + "." +
                                std::to_string(PELMORA_VERSION_PATCH);
    EXPECT_EQ(numbers, PELMORA_VERSION_STRING);
}

} // namespace
