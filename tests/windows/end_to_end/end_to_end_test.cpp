// Ostrel.exe as a user drives it: each test starts the program, works its main dialog from this
// process (fields, focus, buttons, the Open dialog, the message box) and checks what the dialog
// shows and what lands on disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "base/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/end_to_end/dialog_driver.h"

namespace ostrel::test::e2e {
namespace {

// A program file with a checksum and a fixture block laid out as the editor does, and the same
// file as the conversion writes it.
constexpr char kProgram[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor CRC=\"0BADF00D\">"
    "<Harness><Fixtures><Fixture "
    "Name=\"J1\"><![CDATA[\n\t\t\t\t12\n\t\t\t\t13,A7\n\t\t\t\t14,A7,B3\n\t\t\t]]>"
    "</Fixture></Fixtures></Harness></Editor>\n";
constexpr char kConvertedProgram[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Editor CRC=\"\">"
    "<Harness><Fixtures><Fixture "
    "Name=\"J1\"><![CDATA[\n\t\t\t\t12,13\n\t\t\t\t13,14\n\t\t\t\t14,A7,B3\n\t\t\t]]>"
    "</Fixture></Fixtures></Harness></Editor>\n";

// A line of the Results log: a text of the string table and the line end.
std::wstring Line(int id, const std::wstring& argument = {}) {
    return StringTableText(id, argument) + L"\r\n";
}

class EndToEndTest : public testing::Test {
  protected:
    void SetUp() override {
        // Wine draws its windows on the X display; without one the dialog can never appear.
        if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "no X display";
        session = std::make_unique<OstrelSession>(FromUtf8(OSTREL_PROGRAM));
        ASSERT_TRUE(session->started()) << ToUtf8(session->failure());
    }

    std::wstring MakeFile(const wchar_t* name, const char* content) {
        WriteBytes(folder.File(name), content);
        return folder.File(name);
    }
    // Types into a field and moves on to the Results log, as a user leaving the field does.
    void Type(int id, const std::wstring& text) { session->Type(id, text, IDC_RESULTS_EDIT); }
    // Presses Convert and waits for the Results log to read as expected.
    void ConvertLogging(const std::wstring& log) {
        session->Click(IDC_CONVERT);
        WaitUntil([&] { return session->Text(IDC_RESULTS_EDIT) == log; });
        EXPECT_EQ(session->Text(IDC_RESULTS_EDIT), log);
    }
    // Waits for the one dialog box the main dialog opened.
    HWND OwnedDialog() {
        std::vector<HWND> owned;
        EXPECT_TRUE(WaitUntil([&] { return (owned = session->OwnedDialogs()).size() == 1; }));
        return owned.empty() ? nullptr : owned.front();
    }

    TempDir folder;
    std::unique_ptr<OstrelSession> session;
};

TEST_F(EndToEndTest, TheTargetFollowsATypedSourceAndConvertRewritesIt) {
    const std::wstring source = MakeFile(L"bench.vlf", kProgram);
    Type(IDC_SOURCE_EDIT, source);
    EXPECT_EQ(session->Text(IDC_TARGET_EDIT), source);
    ConvertLogging(Line(IDS_OPENING_FILE, source) + Line(IDS_CONVERTED_FIXTURES, L"1") +
                   Line(IDS_CONVERSION_COMPLETE) + L"\r\n\r\n");
    EXPECT_EQ(ReadBytes(source).value_or("<unreadable>"), kConvertedProgram);
}

TEST_F(EndToEndTest, TheOpenDialogChoosesTheSourceAndTheTargetFollows) {
    const std::wstring source = MakeFile(L"chosen.vlf", kProgram);
    session->Click(IDC_BROWSE_SOURCE, false);
    HWND openDialog = OwnedDialog(), fileName = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (fileName = FileNameEdit(openDialog)) != nullptr; }));
    SendMessageW(fileName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(source.c_str()));
    PostMessageW(openDialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return session->Text(IDC_SOURCE_EDIT) == source; }))
        << ToUtf8(session->Text(IDC_SOURCE_EDIT));
    EXPECT_TRUE(session->OwnedDialogs().empty());
    EXPECT_EQ(session->Text(IDC_TARGET_EDIT), source);
}

TEST_F(EndToEndTest, AFileThatIsNotAProgramIsRefusedAndNothingIsWritten) {
    const std::wstring source = MakeFile(L"other.xml", "<?xml version=\"1.0\"?>\n<Other/>\n");
    Type(IDC_SOURCE_EDIT, source);
    Type(IDC_TARGET_EDIT, folder.File(L"never.vlf"));
    ConvertLogging(Line(IDS_OPENING_FILE, source) + Line(IDS_NOT_A_PROGRAM_FILE));
    EXPECT_EQ(folder.Listing(), L"other.xml\n");
}

TEST_F(EndToEndTest, AReadOnlyTargetIsReportedAndLeftAlone) {
    const std::wstring source = MakeFile(L"bench.vlf", kProgram);
    const std::wstring target = MakeFile(L"locked.vlf", "kept as it was\n");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    Type(IDC_SOURCE_EDIT, source);
    Type(IDC_TARGET_EDIT, target);
    ConvertLogging(Line(IDS_OPENING_FILE, source) + Line(IDS_CONVERTED_FIXTURES, L"1") +
                   Line(IDS_TARGET_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(target).value_or("<unreadable>"), "kept as it was\n");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(EndToEndTest, AnEmptySourceOrTargetAsksForBothFiles) {
    const std::wstring source = MakeFile(L"bench.vlf", kProgram);
    Type(IDC_TARGET_EDIT, folder.File(L"never.vlf"));  // no source
    for (int attempt = 0; attempt < 2; ++attempt) {
        session->Click(IDC_CONVERT, false);
        HWND box = OwnedDialog();
        ASSERT_NE(box, nullptr) << "no message box in attempt " << attempt;
        EXPECT_EQ(WindowText(box), StringTableText(IDS_FILE_ERROR_CAPTION));
        EXPECT_TRUE(Shows(box, StringTableText(IDS_SELECT_FILES)));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return session->OwnedDialogs().empty(); }));
        Type(IDC_SOURCE_EDIT, source);  // then a source, but no target
        Type(IDC_TARGET_EDIT, L"");
    }
    EXPECT_EQ(session->Text(IDC_RESULTS_EDIT), L"");
    EXPECT_EQ(folder.Listing(), L"bench.vlf\n");
    EXPECT_EQ(ReadBytes(source).value_or("<unreadable>"), kProgram);
}

TEST_F(EndToEndTest, CancelEndsTheProcess) {
    session->Click(IDCANCEL, false);
    EXPECT_TRUE(session->WaitForExit()) << "the process did not end";
    EXPECT_FALSE(IsWindow(session->dialog()));
}

}  // namespace
}  // namespace ostrel::test::e2e
