#include "res/texts.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Messages, FillPlaceholdersInOrder) {
    EXPECT_EQ(FormatText(IDS_FILE_OPEN_ERROR, {L"bad"}), L"File Open Error:   bad");
    EXPECT_EQ(FormatText(IDS_FILE_OPEN_ERROR, {L""}), L"File Open Error:   ");
    EXPECT_EQ(FormatText(IDS_CONVERTED_FIXTURES, {L"-3"}), L"Converted -3 fixtures");
    EXPECT_EQ(FormatText(IDS_TARGET_WRITE_ERROR, {HexCode(hr::kDiskFull)}),
              L"Unable to write to the target file.  Error code 80070070.");
    // An argument that itself holds a placeholder is not expanded again.
    EXPECT_EQ(FormatText(IDS_OPENING_FILE, {L"%s%i.vlf"}), L"Opening file %s%i.vlf.");
    EXPECT_EQ(FormatText(IDS_OPENING_FILE, {}), L"Opening file %s.");
}

TEST(Messages, HexCodesHaveEightLowerCaseDigits) {
    EXPECT_EQ(HexCode(0), L"00000000");
    EXPECT_EQ(HexCode(1), L"00000001");
    EXPECT_EQ(HexCode(hr::kPointer), L"80004003");
}

TEST(Messages, UnknownNumbersGiveNoText) { EXPECT_EQ(LoadText(99), L""); }

}  // namespace
}  // namespace ostrel
