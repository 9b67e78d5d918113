// The resources of Ostrel.exe and ostrel-convert.exe read back from the built executables: what
// the build and the code depend on, against res/ (the dialogs' controls, the texts, the icon, the
// manifests and the version blocks).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "res/version.h"

namespace {

// One of the two programs: the one of this build, or the executable that the environment
// variable names (the x86 product, which a 64-bit test reads as a data file).
struct Program {
    const char* built;
    const wchar_t* variable;
};
const Program kDialogProgram{OSTREL_PROGRAM, L"OSTREL_EXE_UNDER_TEST"};
const Program kConsoleProgram{OSTREL_CONSOLE_PROGRAM, L"OSTREL_CONSOLE_EXE_UNDER_TEST"};

template <typename Check>
void ForTheExecutable(const Program& program, Check check) {
    const wchar_t* named = _wgetenv(program.variable);
    const std::wstring path = named && *named ? named : ostrel::FromUtf8(program.built);
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

TEST(ResourcesTest, TheDialogsHoldTheControlsTheCodeBinds) {
    const std::pair<UINT, std::vector<int>> dialogs[] = {
        {IDD_ABOUTBOX, {IDOK}},
        {IDD_OSTREL_DIALOG,
         {IDC_SOURCE_EDIT, IDC_BROWSE_SOURCE, IDC_TARGET_EDIT, IDC_BROWSE_TARGET, IDC_CONVERT,
          IDCANCEL, IDC_RESULTS_EDIT}},
    };
    ForTheExecutable(kDialogProgram, [&](HMODULE module, const std::wstring&) {
        for (const auto& [dialog, controls] : dialogs) {
            const std::string bytes = ResourceBytes(module, RT_DIALOG, dialog);
            ASSERT_FALSE(bytes.empty()) << "dialog " << dialog;
            const HWND window = CreateDialogIndirectParamW(
                GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                NoDialogProcedure, 0);
            for (int id : controls) EXPECT_NE(GetDlgItem(window, id), nullptr) << id;
            DestroyWindow(window);
        }
    });
}

TEST(ResourcesTest, TheStringTableHoldsTheResourceStrings) {
    ForTheExecutable(kDialogProgram, [](HMODULE module, const std::wstring&) {
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

// The icon group: 48, 32 and 16 pixels square at 8 and at 32 bits per pixel, each image's own
// bitmap of that size and depth (its height counts the AND mask too).
TEST(ResourcesTest, TheIconGroupHoldsItsSixImages) {
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    ForTheExecutable(kDialogProgram, [](HMODULE module, const std::wstring&) {
        const std::string group = ResourceBytes(module, RT_GROUP_ICON, IDR_MAINFRAME);
        ASSERT_GE(group.size(), 6u);
        const auto count = *reinterpret_cast<const WORD*>(group.data() + 4);
        ASSERT_EQ(group.size(), 6 + count * sizeof(GroupEntry));
        std::set<std::pair<int, int>> images;
        for (WORD i = 0; i < count; ++i) {
            const auto* entry = reinterpret_cast<const GroupEntry*>(group.data() + 6) + i;
            const std::string icon = ResourceBytes(module, RT_ICON, entry->id);
            ASSERT_GE(icon.size(), sizeof(BITMAPINFOHEADER)) << entry->id;
            const auto* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(icon.data());
            EXPECT_EQ(bitmap->biWidth, entry->width);
            EXPECT_EQ(bitmap->biHeight, 2 * entry->height);
            EXPECT_EQ(bitmap->biBitCount, entry->bitCount);
            images.emplace(entry->width, entry->bitCount);
        }
        const std::set<std::pair<int, int>> expected = {{48, 8},  {32, 8},  {16, 8},
                                                        {48, 32}, {32, 32}, {16, 32}};
        EXPECT_EQ(count, 6);
        EXPECT_EQ(images, expected);
    });
}

// Each manifest names the executable's own architecture (the common controls that the dialog's
// asks for would not load otherwise); the console's asks for no elevation, long paths, and no
// code page of its own.
TEST(ResourcesTest, TheManifestsNameTheExecutablesOwnArchitecture) {
    const std::pair<Program, bool> programs[] = {{kDialogProgram, false}, {kConsoleProgram, true}};
    for (const auto& [program, console] : programs) {
        ForTheExecutable(program, [console = console](HMODULE module, const std::wstring& path) {
            DWORD type = 0;
            ASSERT_TRUE(GetBinaryTypeW(path.c_str(), &type));
            const std::string xml = ResourceBytes(module, RT_MANIFEST, 1);
            EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
            const std::regex architecture("processorArchitecture=\"([^\"]*)\"");
            int count = 0;
            for (std::sregex_iterator it(xml.begin(), xml.end(), architecture), end; it != end;
                 ++it, ++count) {
                EXPECT_EQ((*it)[1], type == SCS_64BIT_BINARY ? "amd64" : "x86");
            }
            EXPECT_EQ(count, console ? 1 : 2) << "the program's own and the common controls'";
            EXPECT_EQ(xml.find("Microsoft.Windows.Common-Controls") == std::string::npos, console);
            if (!console) return;
            EXPECT_TRUE(std::regex_search(xml, std::regex("<longPathAware[^>]*>true</")));
            EXPECT_EQ(xml.find("<activeCodePage"), std::string::npos);
        });
    }
}

// A text of a version block's string table (U.S. English, code page 1252).
std::wstring VersionText(std::vector<BYTE>& block, const std::wstring& name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040904e4\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) {
        return L"(none)";
    }
    return std::wstring(text, length > 0 ? length - 1 : 0);  // the length counts the NUL
}

TEST(ResourcesTest, TheVersionBlocksCarryTheVersionNumbersAndNameTheirProgram) {
    const std::pair<Program, std::vector<std::pair<const wchar_t*, const wchar_t*>>> programs[] = {
        {kDialogProgram,
         {{L"FileDescription", L"" OSTREL_FILE_DESCRIPTION},
          {L"OriginalFilename", L"Ostrel.exe"},
          {L"InternalName", L"Ostrel.exe"}}},
        {kConsoleProgram,
         {{L"FileDescription", L"Ostrel console converter"},
          {L"OriginalFilename", L"ostrel-convert.exe"},
          {L"InternalName", L"ostrel-convert"}}},
    };
    for (const auto& [program, texts] : programs) {
        ForTheExecutable(program, [&texts = texts](HMODULE, const std::wstring& path) {
            std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
            ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()),
                                            block.data()));
            VS_FIXEDFILEINFO* fixed = nullptr;
            UINT size = 0;
            ASSERT_TRUE(
                VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
            const WORD file[] = {OSTREL_FILE_VERSION}, product[] = {OSTREL_PRODUCT_VERSION};
            EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(file[1], file[0]));
            EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(file[3], file[2]));
            EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(product[1], product[0]));
            EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(product[3], product[2]));
            EXPECT_EQ(VersionText(block, L"FileVersion"), L"" OSTREL_FILE_VERSION_TEXT);
            EXPECT_EQ(VersionText(block, L"ProductVersion"), L"" OSTREL_PRODUCT_VERSION_TEXT);
            for (const auto& [name, text] : texts) EXPECT_EQ(VersionText(block, name), text);
        });
    }
}

}  // namespace
