// Each DLL carries a version resource that matches the project's version: what a file's properties
// show, read back the way Explorer and installers read it (GetFileVersionInfoA, VerQueryValueA). The
// expected version comes from CMake (PL_EXPECTED_VERSION*), not from the resource script.
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Module {
    const char* baseName;
    const char* description;
};

const Module kModules[] = {
    {"Trace", "Pelmora trace library"},
    {"Console", "Pelmora diagnostic console and logging"},
    {"Kitbag", "Pelmora settings store"},
};

class VersionResource {
public:
    explicit VersionResource(const std::string& path) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0)
            return;
        m_block.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, m_block.data()))
            m_block.clear();
    }
    bool present() const { return !m_block.empty(); }

    const VS_FIXEDFILEINFO* fixed() const {
        void* data = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(m_block.data(), "\\", &data, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(data);
    }
    // The (language, code page) pairs of \VarFileInfo\Translation.
    std::vector<std::pair<WORD, WORD>> translations() const {
        std::vector<std::pair<WORD, WORD>> pairs;
        void* data = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(m_block.data(), "\\VarFileInfo\\Translation", &data, &length))
            return pairs;
        const WORD* words = static_cast<const WORD*>(data);
        for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2)
            pairs.emplace_back(words[i], words[i + 1]);
        return pairs;
    }
    // A string of the block "language code page" (hexadecimal); "<missing>" when there is none.
    std::string text(const std::pair<WORD, WORD>& translation, const char* name) const {
        char query[64];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation.first,
                      translation.second, name);
        void* data = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(m_block.data(), query, &data, &length) || data == nullptr)
            return "<missing>";
        const char* chars = static_cast<const char*>(data);
        return std::string(chars, strnlen(chars, length));
    }

private:
    std::vector<char> m_block;
};

constexpr DWORD kVersionMs = (PL_EXPECTED_VERSION_MAJOR << 16) | PL_EXPECTED_VERSION_MINOR;
constexpr DWORD kVersionLs = (PL_EXPECTED_VERSION_PATCH << 16) | PL_EXPECTED_VERSION_TWEAK;

TEST(VersionResource, EveryDllCarriesTheProjectVersion) {
    for (const Module& module : kModules) {
        SCOPED_TRACE(module.baseName);
        const std::string path = testing_support::libraryBesideTests(module.baseName);
        VersionResource resource(path);
        ASSERT_TRUE(resource.present()) << path << " has no version resource";

        const VS_FIXEDFILEINFO* fixed = resource.fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, kVersionMs);
        EXPECT_EQ(fixed->dwFileVersionLS, kVersionLs);
        EXPECT_EQ(fixed->dwProductVersionMS, kVersionMs);
        EXPECT_EQ(fixed->dwProductVersionLS, kVersionLs);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
        EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));

        // One translation: language neutral, Unicode.
        const auto translations = resource.translations();
        ASSERT_EQ(translations.size(), 1u);
        EXPECT_EQ(translations[0].first, 0x0000);
        EXPECT_EQ(translations[0].second, 1200);

        const std::string file = std::string(module.baseName) + ".dll";
        EXPECT_EQ(resource.text(translations[0], "FileVersion"), PL_EXPECTED_VERSION);
        EXPECT_EQ(resource.text(translations[0], "ProductVersion"), PL_EXPECTED_VERSION);
        EXPECT_EQ(resource.text(translations[0], "ProductName"), PL_EXPECTED_PRODUCT_NAME);
        EXPECT_EQ(resource.text(translations[0], "FileDescription"), module.description);
        EXPECT_EQ(resource.text(translations[0], "OriginalFilename"), file);
        EXPECT_EQ(resource.text(translations[0], "InternalName"), module.baseName);
        EXPECT_EQ(resource.text(translations[0], "LegalCopyright"), PL_EXPECTED_COPYRIGHT);
    }
}

} // namespace
