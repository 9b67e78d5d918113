// The target name follows the source name until the user sets a target of their own.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/windows/dialog/dialog_driver.h"

namespace ostrel::test {
namespace {

using MirroringTest = MainDialogTest;

TEST_F(MirroringTest, TheSourceFieldHasTheFocusWhenTheDialogOpens) {
    EXPECT_EQ(GetFocus(), Item(IDC_SOURCE_EDIT));
}

TEST_F(MirroringTest, LeavingTheSourceFieldCopiesItsTextToTheTarget) {
    Type(Item(IDC_SOURCE_EDIT), L"C:\\data\\board.vlf");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"");
    Focus(Item(IDC_RESULTS_EDIT));
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"C:\\data\\board.vlf");
}

TEST_F(MirroringTest, TheCopiedTargetKeepsFollowingLaterSourceChanges) {
    Type(Item(IDC_SOURCE_EDIT), L"first.vlf");
    Focus(Item(IDC_TARGET_EDIT));  // the copy raises the target's change notification
    Type(Item(IDC_SOURCE_EDIT), L"-second");
    Focus(Item(IDC_RESULTS_EDIT));
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"first.vlf-second");
}

TEST_F(MirroringTest, ClickingAButtonCarriesTheSourceBeforeTheHandlerRuns) {
    dialog.browseAnswer = std::nullopt;
    Type(Item(IDC_SOURCE_EDIT), L"typed.vlf");
    Click(Item(IDC_BROWSE_TARGET));
    ASSERT_EQ(dialog.browseDialogs.size(), 1u);
    EXPECT_EQ(dialog.browseDialogs[0].FileName(), L"typed.vlf");  // already in the target field
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"typed.vlf");
}

TEST_F(MirroringTest, ATargetTypedByTheUserStopsFollowingEvenWhenCleared) {
    Type(Item(IDC_SOURCE_EDIT), L"a.vlf");
    Type(Item(IDC_TARGET_EDIT), L"x");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"a.vlfx");
    SetWindowTextW(Item(IDC_TARGET_EDIT), L"");
    Type(Item(IDC_SOURCE_EDIT), L"b");
    Focus(Item(IDC_RESULTS_EDIT));
    EXPECT_EQ(Text(IDC_SOURCE_EDIT), L"a.vlfb");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"");
}

TEST_F(MirroringTest, ASourceChosenByBrowsingIsCarriedToAFollowingTarget) {
    dialog.browseAnswer = L"C:\\programs\\chosen.vlf";
    Click(Item(IDC_BROWSE_SOURCE));
    EXPECT_EQ(Text(IDC_SOURCE_EDIT), L"C:\\programs\\chosen.vlf");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"C:\\programs\\chosen.vlf");
    // The carried copy was not the user's: the target still follows.
    Type(Item(IDC_SOURCE_EDIT), L"2");
    Focus(Item(IDC_RESULTS_EDIT));
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"C:\\programs\\chosen.vlf2");
}

TEST_F(MirroringTest, ASourceChosenByBrowsingLeavesAUserTargetAlone) {
    Type(Item(IDC_TARGET_EDIT), L"mine.vlf");
    dialog.browseAnswer = L"C:\\programs\\chosen.vlf";
    Click(Item(IDC_BROWSE_SOURCE));
    EXPECT_EQ(Text(IDC_SOURCE_EDIT), L"C:\\programs\\chosen.vlf");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"mine.vlf");
}

TEST_F(MirroringTest, ATargetChosenByBrowsingIsTheUsersForTheRestOfTheDialog) {
    dialog.browseAnswer = L"C:\\out\\target.vlf";
    Click(Item(IDC_BROWSE_TARGET));
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"C:\\out\\target.vlf");
    Type(Item(IDC_SOURCE_EDIT), L"source.vlf");
    Focus(Item(IDC_RESULTS_EDIT));
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"C:\\out\\target.vlf");
}

TEST_F(MirroringTest, ACancelledBrowseChangesNeitherFieldNorFlag) {
    dialog.browseAnswer = std::nullopt;
    Click(Item(IDC_BROWSE_TARGET));
    Click(Item(IDC_BROWSE_SOURCE));
    EXPECT_EQ(Text(IDC_SOURCE_EDIT), L"");
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"");
    Type(Item(IDC_SOURCE_EDIT), L"still.vlf");
    Focus(Item(IDC_RESULTS_EDIT));
    EXPECT_EQ(Text(IDC_TARGET_EDIT), L"still.vlf");
}

TEST_F(MirroringTest, TheBrowseDialogsAreTheOpenAndSaveAsDialogsOfProgramFiles) {
    dialog.browseAnswer = std::nullopt;
    Click(Item(IDC_BROWSE_SOURCE));
    Click(Item(IDC_BROWSE_TARGET));
    ASSERT_EQ(dialog.browseDialogs.size(), 2u);
    const win::FileDialog& source = dialog.browseDialogs[0];
    EXPECT_TRUE(source.IsOpen());
    EXPECT_EQ(source.DefaultExtension(), L"vlf");
    EXPECT_EQ(source.Flags(), 0x02001004u);
    EXPECT_EQ(
        source.Filter(),
        L"Vela Program Files (*.vlf)|*.vlf|Vela ZRP Files (*.zrp)|*.zrp|All Files (*.*)|*.*||");
    const win::FileDialog& target = dialog.browseDialogs[1];
    EXPECT_FALSE(target.IsOpen());
    EXPECT_EQ(target.DefaultExtension(), L"vlf");
    EXPECT_EQ(target.Flags(), 0x02000802u);
    EXPECT_EQ(target.Filter(), L"Vela Program Files (*.vlf)|*.vlf||");
}

TEST_F(MirroringTest, CancelEndsTheDialog) {
    Click(Item(IDCANCEL));
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
}

}  // namespace
}  // namespace ostrel::test
