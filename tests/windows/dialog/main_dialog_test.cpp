// The main dialog driven through its controls: the target name following the source name, the
// Results log, the system menu, Convert on real files, the default data directory, and the
// application's failed start.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ostrel_app.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"
#include "win/module.h"

namespace ostrel::test {
namespace {

// A user's step in the main dialog. A browse answers with the text, or cancels when it is null.
struct Step {
    enum Action { TypeSource, LeaveSource, TypeTarget, BrowseSource, BrowseTarget } action;
    const wchar_t* text;
};

void Perform(MainDialog& dialog, const Step& step) {
    switch (step.action) {
        case Step::TypeSource:
            return dialog.Type(IDC_SOURCE_EDIT, step.text);
        case Step::LeaveSource:  // types the source and moves the focus on
            dialog.Type(IDC_SOURCE_EDIT, step.text);
            return dialog.Focus(IDC_RESULTS_EDIT);
        case Step::TypeTarget:
            return dialog.Type(IDC_TARGET_EDIT, step.text);
        case Step::BrowseSource:
        case Step::BrowseTarget:
            dialog.browseAnswer = step.text ? std::optional<std::wstring>(step.text) : std::nullopt;
            return dialog.Click(step.action == Step::BrowseSource ? IDC_BROWSE_SOURCE
                                                                  : IDC_BROWSE_TARGET);
    }
}

TEST(MirroringTest, TheTargetFollowsTheSourceUntilTheUserSetsIt) {
    using S = Step;
    const wchar_t* chosen = L"C:\\p\\chosen.vlf";
    const struct {
        const char* name;
        std::vector<Step> steps;
        const wchar_t* target;  // the target name afterwards
    } cases[] = {
        {"source typed, focus still there", {{S::TypeSource, L"a.vlf"}}, L""},
        {"source typed, then left", {{S::LeaveSource, L"C:\\a.vlf"}}, L"C:\\a.vlf"},
        {"a copied target keeps following",
         {{S::LeaveSource, L"a.vlf"}, {S::LeaveSource, L"b.vlf"}},
         L"b.vlf"},
        {"a target typed by the user, then cleared, stops following",
         {{S::LeaveSource, L"a.vlf"},
          {S::TypeTarget, L"x"},
          {S::TypeTarget, L"\b"},
          {S::LeaveSource, L"b.vlf"}},
         L""},
        {"a browsed source is carried", {{S::BrowseSource, chosen}}, chosen},
        {"the carried copy is not the user's",
         {{S::BrowseSource, chosen}, {S::LeaveSource, L"b.vlf"}},
         L"b.vlf"},
        {"a browsed source leaves a user's target",
         {{S::TypeTarget, L"mine.vlf"}, {S::BrowseSource, chosen}},
         L"mine.vlf"},
        {"a browsed target is the user's",
         {{S::BrowseTarget, L"out.vlf"}, {S::LeaveSource, L"a.vlf"}},
         L"out.vlf"},
        {"cancelled browses change nothing",
         {{S::BrowseTarget, nullptr}, {S::BrowseSource, nullptr}, {S::LeaveSource, L"a.vlf"}},
         L"a.vlf"},
    };
    for (const auto& test : cases) {
        MainDialog dialog;
        for (const Step& step : test.steps) Perform(dialog, step);
        EXPECT_EQ(dialog.Text(IDC_TARGET_EDIT), test.target) << test.name;
    }
}

TEST(MirroringTest, TheBrowseDialogsAreOpenAndSaveAsForProgramFilesOnTheCarriedName) {
    MainDialog dialog;
    EXPECT_EQ(GetFocus(), dialog.Item(IDC_SOURCE_EDIT));  // the dialog opens on the source
    dialog.Type(IDC_SOURCE_EDIT, L"typed.vlf");
    // The button takes the focus before its handler runs: the source is carried first.
    Perform(dialog, {Step::BrowseTarget, nullptr});
    Perform(dialog, {Step::BrowseSource, nullptr});
    ASSERT_EQ(dialog.browseDialogs.size(), 2u);
    const win::FileDialog& target = dialog.browseDialogs[0];
    EXPECT_FALSE(target.IsOpen());
    EXPECT_EQ(target.FileName(), L"typed.vlf");
    const win::FileDialog& source = dialog.browseDialogs[1];
    EXPECT_TRUE(source.IsOpen());
    EXPECT_EQ(source.FileName(), L"typed.vlf");
    dialog.Click(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
}

// The Results log's selection, as start and end.
std::pair<DWORD, DWORD> LogSelection(const MainDialog& dialog) {
    DWORD start = 0, end = 0;
    SendMessageW(dialog.Item(IDC_RESULTS_EDIT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

TEST(ResultsLogTest, EachAppendAddsALineEndAndKeepsTheCaretBeforeTheLastLineFeed) {
    MainDialog dialog;
    std::wstring expected;
    for (const wchar_t* text : {L"Opening file a.vlf.", L"\r\n", L"", L"first\r\nsecond"}) {
        dialog.AppendResult(text);
        expected += std::wstring(text) + L"\r\n";
        EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), expected);
        const auto caret = static_cast<DWORD>(expected.size() - 1);
        EXPECT_EQ(LogSelection(dialog), std::make_pair(caret, caret)) << "after " << text;
    }
    EXPECT_EQ(SendMessageW(dialog.Item(IDC_RESULTS_EDIT), EM_GETLINECOUNT, 0, 0), 7);
    dialog.Type(IDC_RESULTS_EDIT, L"typed");  // the log is read-only
    EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), expected);

    for (int i = 0; i < 60; ++i) dialog.AppendResult(L"Opening file " + std::to_wstring(i) + L".");
    const auto firstVisible =
        SendMessageW(dialog.Item(IDC_RESULTS_EDIT), EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(firstVisible, 46);
    EXPECT_LE(firstVisible, 65);  // the last line that holds text
    const auto caret = static_cast<DWORD>(dialog.Text(IDC_RESULTS_EDIT).size() - 1);
    EXPECT_EQ(LogSelection(dialog), std::make_pair(caret, caret));
}

TEST(SystemMenuTest, TheAboutItemAndItsCommandRangeOpenTheAboutBox) {
    MainDialog dialog;
    HMENU menu = GetSystemMenu(dialog.Handle(), FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_NE(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), 0x0010u);
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&About Ostrel...");
    HICON icon = LoadIconW(win::ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    for (WPARAM size : {ICON_BIG, ICON_SMALL})
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(dialog.Handle(), WM_GETICON, size, 0)),
                  icon);

    // SC_CLOSE last: its default handling ends the dialog as Cancel does.
    for (WPARAM command : {0x0010, 0x0013, 0x001F, 0x0020, SC_CLOSE}) {
        const auto modals = RunClosingModals([&] {
            SendMessageW(dialog.Handle(), WM_SYSCOMMAND, command, 0);
            for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
                DispatchMessageW(&message);
        });
        const bool about = command <= 0x001F;
        ASSERT_EQ(modals.size(), about ? 1u : 0u) << "command " << command;
        if (about) {
            EXPECT_EQ(modals[0].title, L"About Ostrel");
            EXPECT_EQ(modals[0].owner, dialog.Handle());
        }
        EXPECT_EQ(IsWindowVisible(dialog.Handle()) != FALSE, command != SC_CLOSE);
    }
}

TEST(ConvertTest, ARunIsLoggedOrTheMissingInputIsAskedFor) {
    MainDialog dialog;
    const auto convert = [&] { return RunClosingModals([&] { dialog.Click(IDC_CONVERT); }); };
    const auto modals = convert();  // both fields empty
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].title, L"File Error");
    EXPECT_EQ(modals[0].owner, dialog.Handle());
    EXPECT_TRUE(modals[0].Shows(L"Please select a source and target file."));
    EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), L"");

    TempDir folder;
    const std::wstring other = folder.File(L"other.xml"), target = folder.File(L"out.vlf");
    WriteBytes(other, "<Other/>");
    dialog.Type(IDC_SOURCE_EDIT, other);
    dialog.Type(IDC_TARGET_EDIT, target);
    EXPECT_TRUE(convert().empty());
    std::wstring log =
        L"Opening file " + other + L".\r\nNot a valid Vela Program file.  Conversion aborted.\r\n";
    EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), log);
    EXPECT_FALSE(ReadBytes(target));

    const std::wstring source = folder.File(L"board.vlf");
    const auto original = ReadBytes(SourceFile(L"examples/sample.vlf"));
    ASSERT_TRUE(original);
    WriteBytes(source, *original);
    dialog.Type(IDC_SOURCE_EDIT, source);  // the target is the user's: it stays
    EXPECT_TRUE(convert().empty());
    log += L"Opening file " + source +
           L".\r\nConverted 3 fixtures\r\nConversion complete!\r\n\r\n\r\n";
    EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), log);
    const std::string converted = ReadBytes(target).value_or("");
    for (const char* part : {"CRC=\"\"", "12,13", "14,A7,B3"})
        EXPECT_NE(converted.find(part), std::string::npos) << part;
    EXPECT_EQ(ReadBytes(source), original);  // the source is only read
}

constexpr wchar_t kEditorKey[] = L"Software\\Korrin\\Vela Editor";

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return buffer;
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

// The editor's registry value "DataFiles" becomes the current directory when a browse starts
// from an empty field. One dialog browses for every case in turn: each reads the value afresh.
TEST(DataDirectoryTest, ABrowseFromAnEmptyFieldChangesToTheStoredFolderWhenItIsValid) {
    const std::wstring start = CurrentDirectory();
    TempDir data;
    const std::wstring path = data.path();
    // Followed by more text: a null right after the data would be stored with it.
    const std::wstring pathAndMore = path + L"\\more";
    std::wstring longPath = path;  // the folder itself in 260 characters, through "\." steps
    while (longPath.size() < 258) longPath += L"\\.";
    longPath.resize(260, L'\\');
    const std::wstring literal = data.File(L"%OSTREL_DATA%");
    ASSERT_TRUE(CreateDirectoryW(literal.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(data.File(L"expanded").c_str(), nullptr));
    SetEnvironmentVariableW(L"OSTREL_DATA", L"expanded");
    const DWORD number = 7;
    const auto size = [](const std::wstring& text) { return (text.size() + 1) * sizeof(wchar_t); };
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        std::size_t bytes;
        std::wstring directory;  // the current directory after the browse
    } cases[] = {
        {"a string", REG_SZ, path.c_str(), size(path), path},
        {"no value", REG_SZ, nullptr, 0, start},
        {"260 characters", REG_SZ, longPath.c_str(), size(longPath), start},
        {"binary", REG_BINARY, path.c_str(), size(path), start},
        {"a number", REG_DWORD, &number, sizeof number, start},
        {"no terminating null", REG_SZ, pathAndMore.c_str(), size(path) - 2, start},
        {"an odd byte count", REG_SZ, path.c_str(), size(path) - 1, start},
        {"expandable, used unexpanded", REG_EXPAND_SZ, literal.c_str(), size(literal), literal},
        {"no key", REG_NONE, nullptr, 0, start},
    };
    MainDialog dialog;
    dialog.browseAnswer = std::nullopt;
    for (const auto& test : cases) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEditorKey);
        SetCurrentDirectoryW(start.c_str());
        if (test.type != REG_NONE) StoreValue(test.type, test.data, test.bytes);
        dialog.Click(IDC_BROWSE_SOURCE);
        ASSERT_FALSE(dialog.browseDialogs.empty());
        EXPECT_EQ(dialog.browseDialogs.back().FileName(), L"") << test.name;
        EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), test.directory)) << test.name;
    }
    HKEY key = nullptr;  // the browse without a key created it
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEditorKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    SetEnvironmentVariableW(L"OSTREL_DATA", nullptr);

    // A field with text starts the browse there and leaves the directory alone.
    SetCurrentDirectoryW(start.c_str());
    StoreValue(REG_SZ, path.c_str(), size(path));
    dialog.Type(IDC_SOURCE_EDIT, L"C:\\elsewhere\\board.vlf");
    dialog.Click(IDC_BROWSE_SOURCE);
    EXPECT_EQ(dialog.browseDialogs.back().FileName(), L"C:\\elsewhere\\board.vlf");
    EXPECT_EQ(CurrentDirectory(), start);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEditorKey);
}

TEST(ApplicationTest, AFailedOleStartShowsTheOnlyBoxAndEnds) {
    // OLE needs a single-threaded apartment: a thread already multithreaded refuses it.
    std::vector<ModalWindow> modals;
    BOOL result = TRUE;
    std::thread thread([&] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        app::COstrelApp application;
        modals = RunClosingModals([&] { result = application.InitInstance(); });
        CoUninitialize();
    });
    thread.join();
    EXPECT_FALSE(result);
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].title, win::ApplicationName());
    EXPECT_TRUE(modals[0].Shows(L"Ole Init Failed"));
}

}  // namespace
}  // namespace ostrel::test
