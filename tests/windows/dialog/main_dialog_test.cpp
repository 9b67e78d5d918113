// The main dialog driven through its controls: the target following the source (typed, browsed or
// dropped), the Results log, the system menu, its boxes, the data directory, Enter in a field, a
// failed start.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "app/ostrel_app.h"
#include "base/error.h"
#include "res/resource.h"
#include "res/texts.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"
#include "win/module.h"

namespace ostrel::test {
namespace {

// A user's step in the main dialog, or a check of what it shows.
using Step = std::function<void(MainDialog&)>;
Step Type(int edit, const wchar_t* text) {
    return [=](MainDialog& d) { d.Type(edit, text); };
}
Step Leave() {  // the focus moves on
    return [](MainDialog& d) { d.Focus(IDC_RESULTS_EDIT); };
}
Step Browse(int button, const wchar_t* answer = nullptr) {  // no answer: Cancel
    return [=](MainDialog& dialog) {
        dialog.browseAnswer = answer ? std::optional<std::wstring>(answer) : std::nullopt;
        dialog.Click(button);
    };
}
Step Drop(int control, std::vector<std::wstring> files) {  // control 0: the dialog itself
    return [=](MainDialog& dialog) { dialog.Drop(control, files); };
}
Step TargetIs(const wchar_t* text) {
    return [=](MainDialog& d) { EXPECT_EQ(d.Text(IDC_TARGET_EDIT), text); };
}
Step Beeped(int times) {
    return [=](MainDialog& d) { EXPECT_EQ(d.beeps, times); };
}

TEST(MirroringTest, TheTargetFollowsTheSourceUntilTheUserSetsIt) {
    const int source = IDC_SOURCE_EDIT, target = IDC_TARGET_EDIT;
    const int browseSource = IDC_BROWSE_SOURCE, browseTarget = IDC_BROWSE_TARGET;
    TempDir folder;
    const std::wstring existing = folder.File(L"chosen.vlf");
    WriteBytes(existing, "<Editor/>");
    const wchar_t* chosen = existing.c_str();  // dropped sources must exist
    const std::pair<const char*, std::vector<Step>> cases[] = {
        {"source typed, focus still there", {Type(source, L"a.vlf"), TargetIs(L"")}},
        {"source typed, then left", {Type(source, L"a.vlf"), Leave(), TargetIs(L"a.vlf")}},
        {"a copied target keeps following",
         {Type(source, L"a.vlf"), Leave(), Type(source, L"b.vlf"), Leave(), TargetIs(L"b.vlf")}},
        {"a target typed by the user, then cleared, stops following",
         {Type(source, L"a.vlf"), Leave(), Type(target, L"x"), Type(target, L"\b"),
          Type(source, L"b.vlf"), Leave(), TargetIs(L"")}},
        {"a browsed source is carried", {Browse(browseSource, chosen), TargetIs(chosen)}},
        {"the carried copy is not the user's",
         {Browse(browseSource, chosen), Type(source, L"b.vlf"), Leave(), TargetIs(L"b.vlf")}},
        {"a browsed source leaves a user's target",
         {Type(target, L"mine.vlf"), Browse(browseSource, chosen), TargetIs(L"mine.vlf")}},
        {"a browsed target is the user's",
         {Browse(browseTarget, L"out.vlf"), Type(source, L"a"), Leave(), TargetIs(L"out.vlf")}},
        {"cancelled browses change nothing",
         {Browse(browseTarget), Browse(browseSource), Type(source, L"a"), Leave(), TargetIs(L"a")}},
        {"the first of the files dropped on the dialog is the source",
         {Drop(0, {chosen, L"other.vlf"}), TargetIs(chosen), Beeped(0)}},
        {"a file dropped on the source is carried, not the user's",
         {Drop(source, {chosen}), Type(source, L"b.vlf"), Leave(), TargetIs(L"b.vlf")}},
        {"a file dropped on the target is the user's",
         {Drop(target, {L"out.vlf"}), Type(source, L"a"), Leave(), TargetIs(L"out.vlf")}},
        {"a target dropped while the source is typed stays",
         {Type(source, L"a.vlf"), Drop(target, {L"out.vlf"}), Leave(), TargetIs(L"out.vlf")}},
        {"dropped folders are refused with a beep",
         {Drop(0, {folder.path(), chosen}), Drop(target, {folder.path()}), Beeped(2),
          Type(source, L"a.vlf"), Leave(), TargetIs(L"a.vlf")}},
    };
    for (const auto& [name, steps] : cases) {
        SCOPED_TRACE(name);
        MainDialog dialog;
        for (const Step& step : steps) step(dialog);
    }
}

TEST(MirroringTest, TheBrowseDialogsAreOpenAndSaveAsOnTheCarriedName) {
    MainDialog dialog;
    EXPECT_EQ(GetFocus(), dialog.Item(IDC_SOURCE_EDIT));  // the dialog opens on the source
    dialog.Type(IDC_SOURCE_EDIT, L"typed.vlf");
    // The button takes the focus before its handler runs: the source is carried first.
    for (int button : {IDC_BROWSE_TARGET, IDC_BROWSE_SOURCE}) dialog.Click(button);
    ASSERT_EQ(dialog.browseDialogs.size(), 2u);
    EXPECT_FALSE(dialog.browseDialogs[0].IsOpen());
    EXPECT_TRUE(dialog.browseDialogs[1].IsOpen());
    for (const auto& browse : dialog.browseDialogs) EXPECT_EQ(browse.FileName(), L"typed.vlf");
}

TEST(DropTest, TheDialogAndBothNamesTakeFilesFromTheShell) {
    MainDialog dialog;
    for (HWND each : {dialog.Handle(), dialog.Item(IDC_SOURCE_EDIT), dialog.Item(IDC_TARGET_EDIT)})
        EXPECT_NE(GetWindowLongW(each, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
}

// A drop follows the browse dialogs' rules: the Open dialog's "must exist" for a source, the Save
// As dialog's question before an existing file becomes the target.
TEST(DropTest, ASourceMustExistAndAnExistingTargetIsOnlyTakenWhenTheUserAgrees) {
    TempDir folder;
    const std::wstring existing = folder.File(L"old.vlf");
    WriteBytes(existing, "<Editor/>");
    MainDialog dialog;
    dialog.Drop(IDC_SOURCE_EDIT, {folder.File(L"missing.vlf")});
    EXPECT_EQ(dialog.Text(IDC_SOURCE_EDIT), L"");
    EXPECT_EQ(dialog.beeps, 1);

    for (const int answer : {IDNO, IDYES}) {
        const auto modals =
            RunClosingModals([&] { dialog.Drop(IDC_TARGET_EDIT, {existing}); },
                             [answer](HWND box) {
                                 PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
                             });
        ASSERT_EQ(modals.size(), 1u);
        EXPECT_EQ(modals[0].owner, dialog.Handle());
        EXPECT_EQ(modals[0].title, LoadText(IDS_CONFIRM_REPLACE_CAPTION));
        EXPECT_TRUE(modals[0].Shows(FormatText(IDS_CONFIRM_REPLACE, {existing})));
        EXPECT_EQ(dialog.Text(IDC_TARGET_EDIT), answer == IDYES ? existing : L"");
    }
    // A new file is taken without a question.
    const auto modals =
        RunClosingModals([&] { dialog.Drop(IDC_TARGET_EDIT, {folder.File(L"new.vlf")}); });
    EXPECT_TRUE(modals.empty());
    EXPECT_EQ(dialog.Text(IDC_TARGET_EDIT), folder.File(L"new.vlf"));
}

TEST(ResultsLogTest, EachAppendAddsALineEndAndKeepsTheCaretBeforeTheLastLineFeed) {
    MainDialog dialog;
    const auto selection = [&] {
        DWORD start = 0, end = 0;
        SendMessageW(dialog.Item(IDC_RESULTS_EDIT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return std::make_pair(start, end);
    };
    std::wstring expected;
    for (const wchar_t* text : {L"Opening file a.vlf.", L"\r\n", L"", L"first\r\nsecond"}) {
        dialog.AppendResult(text);
        expected += std::wstring(text) + L"\r\n";
        EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), expected);
        const auto caret = static_cast<DWORD>(expected.size() - 1);
        EXPECT_EQ(selection(), std::make_pair(caret, caret)) << "after " << text;
    }

    for (int i = 0; i < 60; ++i) dialog.AppendResult(L"Opening file " + std::to_wstring(i) + L".");
    const auto first = SendMessageW(dialog.Item(IDC_RESULTS_EDIT), EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(first, 46);
    EXPECT_LE(first, 65);  // the last line that holds text
}

TEST(SystemMenuTest, TheAboutItemAndItsCommandRangeOpenTheAboutBox) {
    MainDialog dialog;
    HMENU menu = GetSystemMenu(dialog.Handle(), FALSE);
    wchar_t text[64] = {};
    GetMenuStringW(menu, IDM_ABOUTBOX, text, 64, MF_BYCOMMAND);
    EXPECT_EQ(text, LoadText(IDS_ABOUTBOX));
    const auto icon = reinterpret_cast<LRESULT>(
        LoadIconW(win::ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    for (WPARAM size : {ICON_BIG, ICON_SMALL})
        EXPECT_EQ(SendMessageW(dialog.Handle(), WM_GETICON, size, 0), icon);

    // The About command with any of the low four bits (the system's own) opens the About box,
    // the next command does not. SC_CLOSE last: its default handling ends the dialog.
    const WPARAM about = IDM_ABOUTBOX;
    for (WPARAM command : {about, about | 0x3, about | 0xF, about + 0x10, WPARAM{SC_CLOSE}}) {
        const bool opens = command <= (about | 0xF);
        const auto modals = RunClosingModals([&] {
            SendMessageW(dialog.Handle(), WM_SYSCOMMAND, command, 0);
            for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
                DispatchMessageW(&message);
        });
        ASSERT_EQ(modals.size(), opens ? 1u : 0u) << "command " << command;
        EXPECT_EQ(IsWindowVisible(dialog.Handle()) != FALSE, command != SC_CLOSE);
        if (!opens) continue;
        EXPECT_EQ(modals[0].title, L"" OSTREL_ABOUT_TITLE);
        EXPECT_EQ(modals[0].owner, dialog.Handle());
    }
}

// The boxes of the error hook (text 201 with the error's description and code) and of the run.
TEST(MessageBoxTest, TheErrorHookAndTheRunShowTheirBoxesOwnedByTheDialog) {
    MainDialog dialog;
    dialog.browseFailure = [] { RaiseError(E_ACCESSDENIED, L"the shell refused"); };
    const std::tuple<int, std::wstring, std::wstring> cases[] = {
        {IDC_BROWSE_SOURCE, win::ApplicationName(),
         FormatText(IDS_UNEXPECTED_ERROR, {L"the shell refused", HexCode(E_ACCESSDENIED)})},
        {IDC_CONVERT, LoadText(IDS_FILE_ERROR_CAPTION), LoadText(IDS_SELECT_FILES)},  // no names
    };
    for (const auto& [button, title, text] : cases) {
        const auto modals = RunClosingModals([&] { dialog.Click(button); });
        ASSERT_EQ(modals.size(), 1u);
        EXPECT_EQ(modals[0].owner, dialog.Handle());
        EXPECT_EQ(modals[0].title, title);
        EXPECT_TRUE(modals[0].Shows(text));
    }
}

constexpr wchar_t kEditorKey[] = L"Software\\Korrin\\Vela Editor", kValue[] = L"DataFiles";

// The editor's registry value "DataFiles" becomes the current directory when a browse starts
// from an empty field. One dialog browses for every case in turn: each reads the value afresh.
TEST(DataDirectoryTest, ABrowseFromAnEmptyFieldChangesToTheStoredFolderWhenItIsValid) {
    const std::filesystem::path start = std::filesystem::current_path();
    TempDir data;
    const std::wstring path = data.path();
    // Followed by more text: a null right after the data would be stored with it.
    const std::wstring pathAndMore = path + L"\\more";
    const std::wstring literal = data.File(L"%OSTREL_DATA%");
    ASSERT_TRUE(CreateDirectoryW(literal.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(data.File(L"expanded").c_str(), nullptr));
    SetEnvironmentVariableW(L"OSTREL_DATA", L"expanded");
    const auto size = [](const std::wstring& text) { return DWORD((text.size() + 1) * 2); };
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        DWORD bytes;
        std::wstring directory;  // the current directory after the browse
    } cases[] = {
        {"a string", REG_SZ, path.c_str(), size(path), path},
        {"no value", REG_SZ, nullptr, 0, start},
        {"binary", REG_BINARY, path.c_str(), size(path), start},
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
        if (test.type != REG_NONE)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEditorKey, kValue, test.type, test.data,
                            test.bytes);
        dialog.Click(IDC_BROWSE_SOURCE);
        ASSERT_FALSE(dialog.browseDialogs.empty());
        EXPECT_EQ(dialog.browseDialogs.back().FileName(), L"") << test.name;
        EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), test.directory))
            << test.name;
    }
    SetEnvironmentVariableW(L"OSTREL_DATA", nullptr);

    // A field with text starts the browse there and leaves the directory alone.
    SetCurrentDirectoryW(start.c_str());
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEditorKey, kValue, REG_SZ, path.c_str(), size(path));
    dialog.Type(IDC_SOURCE_EDIT, L"C:\\elsewhere\\board.vlf");
    dialog.Click(IDC_BROWSE_SOURCE);
    EXPECT_EQ(dialog.browseDialogs.back().FileName(), L"C:\\elsewhere\\board.vlf");
    EXPECT_EQ(std::filesystem::current_path(), start);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEditorKey);
}

// The template has no default push button, so Enter in a field makes the dialog manager send
// IDOK, whose default handling ends the dialog: nothing is converted. Space on Convert converts.
TEST(KeyboardTest, EnterInAFieldEndsTheDialogWithoutConvertingSpaceOnConvertConverts) {
    for (const int field : {IDC_SOURCE_EDIT, IDC_TARGET_EDIT}) {
        MainDialog dialog;
        dialog.Type(IDC_SOURCE_EDIT, L"a.vlf");
        dialog.Type(IDC_TARGET_EDIT, L"b.vlf");
        dialog.Focus(field);
        ASSERT_TRUE(IsWindowVisible(dialog.Handle()));
        MSG enter{dialog.Item(field), WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
        const auto modals = RunClosingModals([&] { IsDialogMessageW(dialog.Handle(), &enter); });
        EXPECT_TRUE(modals.empty()) << field;
        EXPECT_EQ(dialog.Text(IDC_RESULTS_EDIT), L"") << field;
        EXPECT_FALSE(IsWindowVisible(dialog.Handle())) << field;
    }
    MainDialog dialog;  // Space on Convert, once it has the focus, converts: a missing source's box
    dialog.Type(IDC_SOURCE_EDIT, L"missing.vlf");
    dialog.Focus(IDC_CONVERT);
    const auto modals = RunClosingModals([&] {
        for (UINT key : {WM_KEYDOWN, WM_KEYUP})
            SendMessageW(dialog.Item(IDC_CONVERT), key, VK_SPACE, 0);
    });
    EXPECT_EQ(modals.size(), 1u);
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
    EXPECT_TRUE(modals[0].Shows(LoadText(IDS_OLE_INIT_FAILED)));
}

}  // namespace
}  // namespace ostrel::test
