// SPDX-License-Identifier: GPL-3.0-or-later
// The DLL's version resource, read through the Windows version API as the
// system's file properties read it: the project's version in the fixed part
// and in the strings, the product's name, its file name and its licence.
// Windows only: the Linux library carries no such resource.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/hostsim.h"

namespace {

// The DLL's version data block, empty when it has none.
std::vector<char> version_info() {
    const std::string path = hostsim::Host::default_library_path();
    const std::wstring wide(path.begin(), path.end());  // a build path: ASCII
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &unused);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(wide.c_str(), 0, size, info.data())) info.clear();
    return info;
}

// One value of the U.S. English, Unicode string table; empty when missing.
std::wstring string_value(const std::vector<char>& info, const std::wstring& name) {
    const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) return {};
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);  // length counts the NUL
}

std::wstring widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

TEST(VersionResource, FixedPartCarriesTheProjectVersion) {
    const std::vector<char> info = version_info();
    ASSERT_FALSE(info.empty()) << "no version resource in " << hostsim::Host::default_library_path();
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    const std::string file_version = std::to_string(HIWORD(fixed.dwFileVersionMS)) + "." +
                                     std::to_string(LOWORD(fixed.dwFileVersionMS)) + "." +
                                     std::to_string(HIWORD(fixed.dwFileVersionLS));
    EXPECT_EQ(file_version, HOSTMATH_VERSION);
    EXPECT_EQ(LOWORD(fixed.dwFileVersionLS), 0);
    EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
    EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS);
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST(VersionResource, StringsNameProductVersionFileAndLicence) {
    const std::vector<char> info = version_info();
    ASSERT_FALSE(info.empty()) << "no version resource in " << hostsim::Host::default_library_path();
    const struct {
        const wchar_t* name;
        std::wstring expected;
    } cases[] = {
        {L"ProductName", L"hostmath"},
        {L"ProductVersion", widen(HOSTMATH_VERSION)},
        {L"FileVersion", widen(HOSTMATH_VERSION)},
        {L"OriginalFilename", L"hostmath.dll"},
    };
    for (const auto& c : cases) EXPECT_EQ(string_value(info, c.name), c.expected) << std::wstring(c.name);
    EXPECT_FALSE(string_value(info, L"FileDescription").empty());
    EXPECT_NE(string_value(info, L"LegalCopyright").find(L"GPL-3.0-or-later"), std::wstring::npos);
}

}  // namespace

#endif  // _WIN32
