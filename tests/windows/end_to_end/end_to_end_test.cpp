// Ostrel.exe as a user drives it: each test starts the program, works its main dialog from this
// process (fields, focus, buttons, the Open dialog, the message box) and checks what the dialog
// shows and what lands on disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "io/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/end_to_end/dialog_driver.h"

namespace {

using ostrel::test::ReadBytes;
using ostrel::test::TempDir;
using ostrel::test::WriteBytes;
using ostrel::test::e2e::OstrelSession;

// A program file with a checksum and two fixtures: one block laid out by the editor, one
// written on a single line.
constexpr char kProgram[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Editor Version=\"3.2\" CRC=\"0BADF00D\">\n"
    "\t<Harness Name=\"Bench\">\n"
    "\t\t<Fixtures>\n"
    "\t\t\t<Fixture Name=\"J1\">\n"
    "\t\t\t\t<![CDATA[\n"
    "\t\t\t\t12\n"
    "\t\t\t\t13,A7\n"
    "\t\t\t\t14,A7,B3\n"
    "\t\t\t]]>\n"
    "\t\t\t</Fixture>\n"
    "\t\t\t<Fixture Name=\"Pads\"><![CDATA[101 K9  7K,X]]></Fixture>\n"
    "\t\t</Fixtures>\n"
    "\t</Harness>\n"
    "</Editor>\n";

// kProgram as the conversion must write it: checksum cleared, every block rewritten.
constexpr char kConvertedProgram[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Editor Version=\"3.2\" CRC=\"\">\n"
    "\t<Harness Name=\"Bench\">\n"
    "\t\t<Fixtures>\n"
    "\t\t\t<Fixture Name=\"J1\">\n"
    "\t\t\t\t<![CDATA[\n"
    "\t\t\t\t12,13\n"
    "\t\t\t\t13,14\n"
    "\t\t\t\t14,A7,B3\n"
    "\t\t\t]]>\n"
    "\t\t\t</Fixture>\n"
    "\t\t\t<Fixture Name=\"Pads\"><![CDATA[\n"
    "\t\t\t\t101,102\n"
    "\t\t\t\t0,1\n"
    "\t\t\t\t7,8\n"
    "\t\t\t]]></Fixture>\n"
    "\t\t</Fixtures>\n"
    "\t</Harness>\n"
    "</Editor>\n";

std::wstring Message(int id, const std::wstring& argument = {}) {
    return ostrel::test::e2e::StringTableText(id, argument);
}

std::wstring Line(int id, const std::wstring& argument = {}) {
    return Message(id, argument) + L"\r\n";
}

std::string Narrow(const std::wstring& text) { return ostrel::io::ToUtf8(text); }

class EndToEndTest : public testing::Test {
  protected:
    void SetUp() override {
        // Wine draws its windows on the X display; without one the dialog can never appear.
        if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
            GTEST_SKIP() << "no X display: run under xvfb-run";
        }
        session_ = std::make_unique<OstrelSession>(ostrel::io::FromUtf8(OSTREL_PROGRAM));
        ASSERT_TRUE(session_->started()) << Narrow(session_->failure());
    }

    // Writes a file of the test folder and returns its path.
    std::wstring MakeFile(const wchar_t* name, const char* content) {
        const std::wstring path = folder_.File(name);
        WriteBytes(path, content);
        return path;
    }

    // Types the text into a field of the dialog and leaves the field, as a user does.
    void Type(int id, const std::wstring& text) {
        session_->Focus(id);
        session_->SetText(id, text);
        session_->Focus(IDC_RESULTS_EDIT);
    }

    // Presses Convert and waits for the log to end as expected; returns the log.
    std::wstring Convert(const std::wstring& expectedEnding) {
        session_->Click(IDC_CONVERT);
        std::wstring log;
        EXPECT_TRUE(session_->WaitForLogEnding(expectedEnding, &log)) << Narrow(log);
        return log;
    }

    // Presses Convert with input missing: the message box, then nothing else.
    void ExpectMissingInputBox() {
        session_->PostClick(IDC_CONVERT);
        HWND box = session_->WaitForOwnedDialog();
        ASSERT_NE(box, nullptr) << "no message box appeared";
        EXPECT_EQ(ostrel::test::e2e::WindowText(box), Message(IDS_FILE_ERROR_CAPTION));
        EXPECT_EQ(ostrel::test::e2e::MessageText(box), Message(IDS_SELECT_FILES));
        ostrel::test::e2e::PostDialogButton(box, IDOK);
        EXPECT_TRUE(ostrel::test::e2e::WaitUntil(
            [&] { return ostrel::test::e2e::OwnedDialogs(session_->dialog()).empty(); }));
        EXPECT_EQ(session_->Text(IDC_RESULTS_EDIT), L"");
    }

    TempDir folder_;
    std::unique_ptr<OstrelSession> session_;
};

TEST_F(EndToEndTest, TargetFollowsTypedSourceUntilSetAndConvertWritesIt) {
    const std::wstring source = MakeFile(L"bench.vlf", kProgram);
    const std::wstring target = folder_.File(L"bench-absolute.vlf");

    Type(IDC_SOURCE_EDIT, source);
    EXPECT_EQ(session_->Text(IDC_TARGET_EDIT), source);

    Type(IDC_TARGET_EDIT, target);
    // Once the user has set the target, leaving the source field no longer copies it.
    Type(IDC_SOURCE_EDIT, source);
    EXPECT_EQ(session_->Text(IDC_TARGET_EDIT), target);

    const std::wstring log = Convert(Line(IDS_CONVERSION_COMPLETE) + L"\r\n\r\n");
    EXPECT_EQ(log, Line(IDS_OPENING_FILE, source) + Line(IDS_CONVERTED_FIXTURES, L"2") +
                       Line(IDS_CONVERSION_COMPLETE) + L"\r\n\r\n");
    EXPECT_EQ(ReadBytes(target).value_or("<unreadable>"), kConvertedProgram);
    EXPECT_EQ(ReadBytes(source).value_or("<unreadable>"), kProgram);

    // A second run appends its lines after the two empty lines of the first.
    EXPECT_EQ(Convert(log + log), log + log);
    EXPECT_EQ(ReadBytes(target).value_or("<unreadable>"), kConvertedProgram);
}

TEST_F(EndToEndTest, OpenDialogChoosesTheSourceAndTheTargetFollows) {
    const std::wstring source = MakeFile(L"chosen.vlf", kProgram);

    session_->PostClick(IDC_BROWSE_SOURCE);
    HWND openDialog = session_->WaitForOwnedDialog();
    ASSERT_NE(openDialog, nullptr) << "no Open dialog appeared";
    HWND fileName = nullptr;
    ASSERT_TRUE(ostrel::test::e2e::WaitUntil([&] {
        fileName = ostrel::test::e2e::FileNameEdit(openDialog);
        return fileName != nullptr;
    })) << "the Open dialog has no file-name field";
    SendMessageW(fileName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(source.c_str()));
    ostrel::test::e2e::PostDialogButton(openDialog, IDOK);

    EXPECT_TRUE(ostrel::test::e2e::WaitUntil([&] {
        return ostrel::test::e2e::OwnedDialogs(session_->dialog()).empty();
    })) << "the Open dialog did not close";
    EXPECT_TRUE(ostrel::test::e2e::WaitUntil([&] {
        return session_->Text(IDC_SOURCE_EDIT) == source;
    })) << Narrow(session_->Text(IDC_SOURCE_EDIT));
    EXPECT_EQ(session_->Text(IDC_TARGET_EDIT), source);
    EXPECT_EQ(ReadBytes(source).value_or("<unreadable>"), kProgram);
}

TEST_F(EndToEndTest, FileThatIsNotAProgramIsRefusedAndNothingIsWritten) {
    const std::wstring source = MakeFile(L"other.xml", "<?xml version=\"1.0\"?>\n<Other/>\n");
    Type(IDC_SOURCE_EDIT, source);
    Type(IDC_TARGET_EDIT, folder_.File(L"never.vlf"));

    const std::wstring expected = Line(IDS_OPENING_FILE, source) + Line(IDS_NOT_A_PROGRAM_FILE);
    EXPECT_EQ(Convert(Line(IDS_NOT_A_PROGRAM_FILE)), expected);
    EXPECT_EQ(folder_.Listing(), L"other.xml\n");
}

TEST_F(EndToEndTest, ReadOnlyTargetIsReportedAndLeftAlone) {
    const std::wstring source = MakeFile(L"bench.vlf", kProgram);
    const std::wstring target = MakeFile(L"locked.vlf", "kept as it was\n");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    Type(IDC_SOURCE_EDIT, source);
    Type(IDC_TARGET_EDIT, target);

    const std::wstring log = Convert(Line(IDS_TARGET_ACCESS_DENIED));
    EXPECT_EQ(log, Line(IDS_OPENING_FILE, source) + Line(IDS_CONVERTED_FIXTURES, L"2") +
                       Line(IDS_TARGET_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(target).value_or("<unreadable>"), "kept as it was\n");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(EndToEndTest, EmptySourceAsksForBothFiles) {
    Type(IDC_TARGET_EDIT, folder_.File(L"never.vlf"));
    ExpectMissingInputBox();
    EXPECT_EQ(folder_.Listing(), L"");
}

TEST_F(EndToEndTest, EmptyTargetAsksForBothFiles) {
    const std::wstring source = MakeFile(L"bench.vlf", kProgram);
    Type(IDC_SOURCE_EDIT, source);
    Type(IDC_TARGET_EDIT, L"");
    ExpectMissingInputBox();
    EXPECT_EQ(ReadBytes(source).value_or("<unreadable>"), kProgram);
}

TEST_F(EndToEndTest, CancelEndsTheProcessAndLeavesNoWindow) {
    session_->PostClick(IDCANCEL);
    ASSERT_TRUE(session_->WaitForExit()) << "the process did not end";
    EXPECT_TRUE(ostrel::test::e2e::VisibleWindowsOf(session_->processId()).empty());
    EXPECT_FALSE(IsWindow(session_->dialog()));
}

}  // namespace

