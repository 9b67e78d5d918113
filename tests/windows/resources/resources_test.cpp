// Ostrel's resources read back from the built executable: what the build and the code depend
// on, against res/ (the dialogs' controls, the texts, the manifest, the version and the icon).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "res/version.h"

namespace {

// Runs the check on Ostrel.exe of this build, or on the executable that OSTREL_EXE_UNDER_TEST
// names (the x86 product, which a 64-bit test reads as a data file).
template <typename Check>
void ForTheExecutable(Check check) {
    const wchar_t* named = _wgetenv(L"OSTREL_EXE_UNDER_TEST");
    const std::wstring path = named && *named ? named : ostrel::FromUtf8(OSTREL_PROGRAM);
    SCOPED_TRACE(ostrel::ToUtf8(path));
    const DWORD asData = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, asData);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    check(module, path);
    FreeLibrary(module);
}

// The bytes of a resource, or the empty text when there is none.
std::string ResourceBytes(HMODULE module, LPCWSTR type, UINT id) {
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    const void* data = found ? LockResource(LoadResource(module, found)) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module, found)) : "";
}

INT_PTR CALLBACK NoDialogProcedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(ResourcesTest, TheDialogsHoldTheControlsTheCodeBindsAndTheIconExists) {
    const std::pair<UINT, std::vector<int>> dialogs[] = {
        {IDD_ABOUTBOX, {IDOK}},
        {IDD_OSTREL_DIALOG,
         {IDC_SOURCE_EDIT, IDC_BROWSE_SOURCE, IDC_TARGET_EDIT, IDC_BROWSE_TARGET, IDC_CONVERT,
          IDCANCEL, IDC_RESULTS_EDIT}},
    };
    ForTheExecutable([&](HMODULE module, const std::wstring&) {
        for (const auto& [dialog, controls] : dialogs) {
            const std::string bytes = ResourceBytes(module, RT_DIALOG, dialog);
            ASSERT_FALSE(bytes.empty()) << "dialog " << dialog;
            const HWND window = CreateDialogIndirectParamW(
                GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                NoDialogProcedure, 0);
            for (int id : controls) EXPECT_NE(GetDlgItem(window, id), nullptr) << id;
            DestroyWindow(window);
        }
        EXPECT_FALSE(ResourceBytes(module, RT_GROUP_ICON, IDR_MAINFRAME).empty());
    });
}

TEST(ResourcesTest, TheStringTableHoldsTheResourceStrings) {
    ForTheExecutable([](HMODULE module, const std::wstring&) {
        const auto expect = [module](UINT id, const wchar_t* text) {
            const wchar_t* found = nullptr;
            const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&found), 0);
            EXPECT_EQ(std::wstring(found ? found : L"", length > 0 ? length : 0), text) << id;
        };
#define OSTREL_EXPECT_STRING(id, text) expect(id, L"" text);
        OSTREL_RESOURCE_STRINGS(OSTREL_EXPECT_STRING)
#undef OSTREL_EXPECT_STRING
    });
}

// The common controls that the manifest asks for must be of the process's own architecture.
TEST(ResourcesTest, TheManifestNamesTheExecutablesOwnArchitecture) {
    ForTheExecutable([](HMODULE module, const std::wstring& path) {
        DWORD type = 0;
        ASSERT_TRUE(GetBinaryTypeW(path.c_str(), &type));
        const std::string xml = ResourceBytes(module, RT_MANIFEST, 1);
        EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
        const std::regex named("processorArchitecture=\"([^\"]*)\"");
        int count = 0;
        for (std::sregex_iterator it(xml.begin(), xml.end(), named), end; it != end; ++it, ++count)
            EXPECT_EQ((*it)[1], type == SCS_64BIT_BINARY ? "amd64" : "x86");
        EXPECT_EQ(count, 2) << "the program's own identity and the common controls'";
    });
}

TEST(ResourcesTest, TheVersionBlockCarriesTheVersionNumbers) {
    ForTheExecutable([](HMODULE, const std::wstring& path) {
        std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        ASSERT_TRUE(
            GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        const WORD file[] = {OSTREL_FILE_VERSION}, product[] = {OSTREL_PRODUCT_VERSION};
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(file[1], file[0]));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(file[3], file[2]));
        EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(product[1], product[0]));
        EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(product[3], product[2]));
    });
}

}  // namespace
