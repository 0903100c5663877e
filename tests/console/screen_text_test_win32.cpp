// CS_TRACEDD draws straight onto the screen: yellow text on blue, where the host said. The drawing is
// read back in the same process (Wine keeps what a process draws on the desktop to that process).
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

namespace {

struct ColourCount {
    int blue = 0;
    int yellow = 0;
};

ColourCount countColours(int left, int top, int width, int height) {
    ColourCount count;
    HDC screen = GetDC(nullptr);
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            COLORREF colour = GetPixel(screen, x, y);
            if (colour == RGB(0, 0, 255))
                ++count.blue;
            else if (colour == RGB(255, 255, 0))
                ++count.yellow;
        }
    }
    ReleaseDC(nullptr, screen);
    return count;
}

TEST(ScreenText, TraceDDDrawsYellowOnBlueAtThePosition) {
    testing_support::TemporaryFolder folder;
    testing_support::ScopedEnvironmentVariable store("KITBAG_SETTINGS", folder.file("settings.ini"));
    platform::DynamicLibrary console(testing_support::libraryBesideTests("Console"));
    ASSERT_TRUE(console.loaded()) << console.error();
    using TraceDD = void (*)(long, long, const char*, ...);
    void* address = console.symbol("_Z10CS_TRACEDDllPKcz"); // CS_TRACEDD(long, long, char const*, ...)
    ASSERT_NE(address, nullptr);
    TraceDD traceDD = nullptr;
    std::memcpy(&traceDD, &address, sizeof traceDD);

    ASSERT_EQ(countColours(200, 300, 200, 20).blue, 0) << "the area is not blue to begin with";
    traceDD(200, 300, "%s", "WWWWWWWWWWWWWWWW");

    ColourCount drawn = countColours(200, 300, 200, 20);
    EXPECT_GT(drawn.blue, 100) << "the text's background";
    EXPECT_GT(drawn.yellow, 20) << "the text itself";
    ColourCount left = countColours(150, 300, 49, 20);
    EXPECT_EQ(left.blue + left.yellow, 0) << "nothing drawn before the position";
    ColourCount above = countColours(200, 270, 200, 29);
    EXPECT_EQ(above.blue + above.yellow, 0) << "nothing drawn above the position";
}

} // namespace
