// Ostrel.exe driven from another process, to show that the layers of the real program are
// connected: a read-only target is reported and left alone, the source is converted in place, and
// Cancel ends the program. The conversion's own rules are tested where they live.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/utf8.h"
#include "res/resource.h"
#include "res/texts.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/end_to_end/ostrel_session.h"

namespace ostrel::test {
namespace {

TEST(EndToEndTest, TheProgramConvertsWhatIsTypedAndReportsWhatItCannotWrite) {
    // Wine draws its windows on the X display; without one the dialog can never appear.
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "no X display";
    TempDir folder;
    const std::wstring source = folder.File(L"bench.vlf"), locked = folder.File(L"locked.vlf");
    WriteBytes(source, ReadBytes(SourceFile(L"examples/sample.vlf")).value_or(""));
    WriteBytes(locked, "kept as it was\n");
    ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    OstrelSession session(FromUtf8(OSTREL_PROGRAM));
    ASSERT_TRUE(session.started()) << ToUtf8(session.failure());

    session.Type(IDC_SOURCE_EDIT, source, IDC_RESULTS_EDIT);
    session.Type(IDC_TARGET_EDIT, locked, IDC_RESULTS_EDIT);
    EXPECT_TRUE(session.Convert(LoadText(IDS_TARGET_ACCESS_DENIED)));
    EXPECT_EQ(ReadBytes(locked).value_or("<unreadable>"), "kept as it was\n");
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

    session.Type(IDC_TARGET_EDIT, source, IDC_RESULTS_EDIT);
    EXPECT_TRUE(session.Convert(LoadText(IDS_CONVERSION_COMPLETE)));
    const std::wstring log = session.Text(IDC_RESULTS_EDIT);
    EXPECT_EQ(log.find(FormatText(IDS_OPENING_FILE, {source})), 0u) << ToUtf8(log);
    EXPECT_NE(ReadBytes(source).value_or("").find("12,13"), std::string::npos);
    PostMessageW(session.dialog(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(session.WaitForExit()) << "the process did not end";
}

}  // namespace
}  // namespace ostrel::test
