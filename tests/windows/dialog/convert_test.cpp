// Convert on real files: the conversion run reports through the dialog's Results log and its
// message box.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog/dialog_driver.h"

namespace ostrel::test {
namespace {

class ConvertTest : public MainDialogTest {
  protected:
    std::wstring Log() const { return Text(IDC_RESULTS_EDIT); }
    // Presses Convert; gives the modal windows that the run opened (and that were closed).
    std::vector<ModalWindow> Convert() {
        return RunClosingModals([&] { Click(Item(IDC_CONVERT)); });
    }
    TempDir folder;
};

TEST_F(ConvertTest, AProgramFileIsConvertedIntoTheTargetAndEachStepIsLogged) {
    const std::wstring source = folder.File(L"board.vlf");
    const std::wstring target = folder.File(L"board-tp.vlf");
    const auto original = ReadBytes(SourceFile(L"examples/sample.vlf"));
    ASSERT_TRUE(original);
    WriteBytes(source, *original);

    Type(Item(IDC_SOURCE_EDIT), source);
    Enter(Item(IDC_TARGET_EDIT), target);
    EXPECT_TRUE(Convert().empty());

    EXPECT_EQ(Log(), L"Opening file " + source +
                         L".\r\nConverted 3 fixtures\r\n"
                         L"Conversion complete!\r\n\r\n\r\n");
    const auto converted = ReadBytes(target);
    ASSERT_TRUE(converted);
    EXPECT_NE(converted->find("CRC=\"\""), std::string::npos);
    EXPECT_NE(converted->find("12,13"), std::string::npos);
    EXPECT_NE(converted->find("14,A7,B3"), std::string::npos);
    EXPECT_EQ(ReadBytes(source), original);  // the source is only read
}

TEST_F(ConvertTest, ATypedSourceIsConvertedInPlaceThroughTheMirroredTarget) {
    const std::wstring source = folder.File(L"inplace.vlf");
    WriteBytes(source, "<Editor CRC=\"1\"><Harness><Fixtures/></Harness></Editor>");
    Type(Item(IDC_SOURCE_EDIT), source);
    Convert();  // the click carries the source name into the target field first
    EXPECT_EQ(Text(IDC_TARGET_EDIT), source);
    EXPECT_EQ(Log(), L"Opening file " + source +
                         L".\r\nConverted 0 fixtures\r\n"
                         L"Conversion complete!\r\n\r\n\r\n");
    const auto converted = ReadBytes(source);
    ASSERT_TRUE(converted);
    EXPECT_NE(converted->find("CRC=\"\""), std::string::npos);
}

TEST_F(ConvertTest, AFileThatIsNoProgramIsRefusedAndNothingIsWritten) {
    const std::wstring source = folder.File(L"other.xml");
    WriteBytes(source, "<Other/>");
    Type(Item(IDC_SOURCE_EDIT), source);
    Enter(Item(IDC_TARGET_EDIT), folder.File(L"out.vlf"));
    Convert();
    EXPECT_EQ(Log(), L"Opening file " + source +
                         L".\r\nNot a valid Vela Program file.  Conversion aborted.\r\n");
    EXPECT_FALSE(ReadBytes(folder.File(L"out.vlf")));
}

TEST_F(ConvertTest, MissingInputShowsTheMessageBoxAndLogsNothing) {
    const auto modals = Convert();  // both fields empty
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].title, L"File Error");
    EXPECT_EQ(modals[0].owner, dialog.Handle());
    EXPECT_NE(std::find(modals[0].texts.begin(), modals[0].texts.end(),
                        L"Please select a source and target file."),
              modals[0].texts.end());
    EXPECT_EQ(Log(), L"");
}

TEST_F(ConvertTest, RunsFollowOneAnotherInTheLogAndTheDialogStaysOpen) {
    const std::wstring source = folder.File(L"twice.vlf");
    WriteBytes(source, "<Editor><Harness><Fixtures/></Harness></Editor>");
    Type(Item(IDC_SOURCE_EDIT), source);
    Enter(Item(IDC_TARGET_EDIT), folder.File(L"out.vlf"));
    Convert();
    SetWindowTextW(Item(IDC_SOURCE_EDIT), folder.File(L"missing.vlf").c_str());
    EXPECT_EQ(Convert().size(), 1u);  // the source does not exist: the message box
    SetWindowTextW(Item(IDC_SOURCE_EDIT), source.c_str());
    Convert();
    const std::wstring run = L"Opening file " + source +
                             L".\r\nConverted 0 fixtures\r\n"
                             L"Conversion complete!\r\n\r\n\r\n";
    EXPECT_EQ(Log(), run + run);
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
}

}  // namespace
}  // namespace ostrel::test
