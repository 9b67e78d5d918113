// The default data directory: the editor's registry value "DataFiles" becomes the current
// directory when a browse starts from an empty field.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"

namespace ostrel::test {
namespace {

constexpr wchar_t kEditorKey[] = L"Software\\Korrin\\Vela Editor";

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return buffer;
}

bool EditorKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEditorKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class DataDirectoryTest : public MainDialogTest {
  protected:
    void SetUp() override {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEditorKey);
        startDirectory = CurrentDirectory();
        MainDialogTest::SetUp();
        dialog.browseAnswer = std::nullopt;
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        SetCurrentDirectoryW(startDirectory.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEditorKey);
    }

    // Stores "DataFiles" with that type and those bytes.
    void StoreValue(DWORD type, const void* data, std::size_t bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEditorKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, L"DataFiles", 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Stores "DataFiles" as a string with its terminating null.
    void StoreString(DWORD type, const std::wstring& text) {
        StoreValue(type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }

    // Browses for the source from an empty field; gives the browse dialog's initial name.
    std::wstring BrowseSource() {
        Click(Item(IDC_BROWSE_SOURCE));
        return dialog.browseDialogs.empty() ? L"<no dialog>"
                                            : dialog.browseDialogs.back().FileName();
    }

    std::wstring startDirectory;
    TempDir data;
};

TEST_F(DataDirectoryTest, AStringValueBecomesTheCurrentDirectory) {
    StoreString(REG_SZ, data.path());
    EXPECT_EQ(BrowseSource(), L"");
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), data.path()));
}

TEST_F(DataDirectoryTest, EveryBrowseFromAnEmptyFieldReadsTheValueAfresh) {
    StoreString(REG_SZ, data.path());
    BrowseSource();
    SetCurrentDirectoryW(startDirectory.c_str());
    Click(Item(IDC_BROWSE_TARGET));
    ASSERT_EQ(dialog.browseDialogs.size(), 2u);
    EXPECT_EQ(dialog.browseDialogs[1].FileName(), L"");
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), data.path()));
}

TEST_F(DataDirectoryTest, AMissingKeyIsCreatedAndTheDirectoryStays) {
    EXPECT_EQ(BrowseSource(), L"");
    EXPECT_EQ(CurrentDirectory(), startDirectory);
    EXPECT_TRUE(EditorKeyExists());
}

TEST_F(DataDirectoryTest, AMissingValueLeavesTheDirectory) {
    StoreValue(REG_SZ, nullptr, 0);  // creates the key with an empty value
    EXPECT_EQ(BrowseSource(), L"");
    EXPECT_EQ(CurrentDirectory(), startDirectory);
}

TEST_F(DataDirectoryTest, ValuesThatAreNoValidStringLeaveTheDirectory) {
    const std::wstring path = data.path();
    // Followed by more text: a null right after the data would be stored with it.
    const std::wstring pathAndMore = path + L"\\more";
    const DWORD number = 7;
    struct Case {
        const char* name;
        DWORD type;
        const void* data;
        std::size_t bytes;
    } cases[] = {
        {"binary holding the path", REG_BINARY, path.c_str(), (path.size() + 1) * sizeof(wchar_t)},
        {"number", REG_DWORD, &number, sizeof number},
        {"string without its terminating null", REG_SZ, pathAndMore.c_str(),
         path.size() * sizeof(wchar_t)},
        {"odd byte count", REG_SZ, path.c_str(), (path.size() + 1) * sizeof(wchar_t) - 1},
    };
    for (const Case& value : cases) {
        StoreValue(value.type, value.data, value.bytes);
        EXPECT_EQ(BrowseSource(), L"") << value.name;
        EXPECT_EQ(CurrentDirectory(), startDirectory) << value.name;
    }
}

TEST_F(DataDirectoryTest, AValueLongerThan259CharactersLeavesTheDirectory) {
    // The folder itself, named through enough "\." steps to reach 260 characters.
    std::wstring longPath = data.path();
    while (longPath.size() < 258) longPath += L"\\.";
    longPath.resize(260, L'\\');
    StoreString(REG_SZ, longPath);
    EXPECT_EQ(BrowseSource(), L"");
    EXPECT_EQ(CurrentDirectory(), startDirectory);
}

TEST_F(DataDirectoryTest, AnExpandableStringIsUsedAsStoredWithoutExpansion) {
    const std::wstring literal = data.File(L"%OSTREL_DATA%");
    ASSERT_TRUE(CreateDirectoryW(literal.c_str(), nullptr));
    const std::wstring expanded = data.File(L"expanded");
    ASSERT_TRUE(CreateDirectoryW(expanded.c_str(), nullptr));
    SetEnvironmentVariableW(L"OSTREL_DATA", L"expanded");
    StoreString(REG_EXPAND_SZ, literal);
    EXPECT_EQ(BrowseSource(), L"");
    SetEnvironmentVariableW(L"OSTREL_DATA", nullptr);
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), literal));
    SetCurrentDirectoryW(startDirectory.c_str());  // the folder must not be in use at removal
}

TEST_F(DataDirectoryTest, AFieldWithTextStartsTheBrowseThereAndLeavesTheDirectory) {
    StoreString(REG_SZ, data.path());
    SetWindowTextW(Item(IDC_SOURCE_EDIT), L"C:\\elsewhere\\board.vlf");
    EXPECT_EQ(BrowseSource(), L"C:\\elsewhere\\board.vlf");
    EXPECT_EQ(CurrentDirectory(), startDirectory);
}

}  // namespace
}  // namespace ostrel::test
