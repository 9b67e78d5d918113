// The Results log: lines appended to the read-only Results box, the last one kept in view.
#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "tests/windows/dialog/dialog_driver.h"

namespace ostrel::test {
namespace {

class ResultsLogTest : public MainDialogTest {
  protected:
    std::wstring Log() const { return Text(IDC_RESULTS_EDIT); }
    // The selection of the Results box as start and end.
    std::pair<DWORD, DWORD> Selection() const {
        DWORD start = 0, end = 0;
        SendMessageW(Item(IDC_RESULTS_EDIT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    int FirstVisibleLine() const {
        return static_cast<int>(SendMessageW(Item(IDC_RESULTS_EDIT), EM_GETFIRSTVISIBLELINE, 0, 0));
    }
};

TEST_F(ResultsLogTest, EachAppendAddsOneLineAndPutsTheCaretBeforeTheLastLineFeed) {
    std::wstring expected;
    for (int i = 1; i <= 5; ++i) {
        const std::wstring line = L"line " + std::to_wstring(i);
        dialog.AppendResult(line);
        expected += line + L"\r\n";
        ASSERT_EQ(Log(), expected);
        const DWORD caret = static_cast<DWORD>(expected.size() - 1);
        EXPECT_EQ(Selection(), std::make_pair(caret, caret));
    }
}

TEST_F(ResultsLogTest, ALineEndArgumentAndAnEmptyArgumentEachMakeAnEmptyLine) {
    dialog.AppendResult(L"Conversion complete!");
    dialog.AppendResult(L"\r\n");
    EXPECT_EQ(Log(), L"Conversion complete!\r\n\r\n\r\n");
    dialog.AppendResult(L"");
    EXPECT_EQ(Log(), L"Conversion complete!\r\n\r\n\r\n\r\n");
}

TEST_F(ResultsLogTest, ATextWithLineEndsShowsAsSeveralLinesFromOneAppend) {
    dialog.AppendResult(L"first\r\nsecond");
    EXPECT_EQ(Log(), L"first\r\nsecond\r\n");
    EXPECT_EQ(SendMessageW(Item(IDC_RESULTS_EDIT), EM_GETLINECOUNT, 0, 0), 3);
}

TEST_F(ResultsLogTest, ManyLinesScrollTheLastLineIntoView) {
    for (int i = 0; i < 60; ++i) dialog.AppendResult(L"Opening file " + std::to_wstring(i) + L".");
    EXPECT_EQ(SendMessageW(Item(IDC_RESULTS_EDIT), EM_GETLINECOUNT, 0, 0), 61);
    const int lastLine = 59;
    EXPECT_GT(FirstVisibleLine(), 40);
    EXPECT_LE(FirstVisibleLine(), lastLine);
    const DWORD caret = static_cast<DWORD>(Log().size() - 1);
    EXPECT_EQ(Selection(), std::make_pair(caret, caret));
}

TEST_F(ResultsLogTest, TheUserCannotTypeIntoTheLog) {
    dialog.AppendResult(L"kept");
    Type(Item(IDC_RESULTS_EDIT), L"typed");
    EXPECT_EQ(Log(), L"kept\r\n");
}

}  // namespace
}  // namespace ostrel::test
