// Trace.dll's export table, read from the loaded module: ordinals 1 to 19 and no names.
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(TraceExportTable, NineteenOrdinalsAndNoNames) {
    HMODULE module = LoadLibraryA(testing_support::libraryBesideTests("Trace").c_str());
    ASSERT_NE(module, nullptr);
    auto* base = reinterpret_cast<const unsigned char*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 19u);
    EXPECT_EQ(exports->NumberOfNames, 0u);
    for (WORD ordinal = 1; ordinal <= 19; ++ordinal)
        EXPECT_NE(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)), nullptr) << ordinal;
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(20)), nullptr);
    EXPECT_EQ(GetProcAddress(module, "TracePrint"), nullptr) << "no names";
    FreeLibrary(module);
}

} // namespace
