#include "engine/pin_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <random>

namespace ostrel::engine {
namespace {

struct PinLineCase {
    const wchar_t* line;
    const wchar_t* expected;
};

// The pin line as the case's name: printable ASCII as it is, every other character escaped, so
// that test names are the same from run to run.
void PrintTo(const PinLineCase& row, std::ostream* out) {
    for (const wchar_t* c = row.line; *c != L'\0'; ++c) {
        if (*c > L' ' && *c < 0x7F) {
            *out << static_cast<char>(*c);
        } else {
            *out << "\\x" << std::hex << static_cast<unsigned>(*c) << std::dec;
        }
    }
}

class PinLineTable : public testing::TestWithParam<PinLineCase> {};

TEST_P(PinLineTable, RewritesAsTheTableSays) {
    EXPECT_EQ(RewritePinLine(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ExampleRows, PinLineTable,
    testing::Values(PinLineCase{L"12", L"12,13"}, PinLineCase{L"12,A7", L"12,13"},
                    PinLineCase{L"12,A7,B3", L"12,A7,B3"},
                    PinLineCase{L"12,A7,B3,C1", L"12,A7,B3,C1"},
                    PinLineCase{L"12,A7,B3,", L"12,A7,B3,"}, PinLineCase{L"12,,B3", L"12,13"},
                    PinLineCase{L",12,B3", L"12,13"}, PinLineCase{L"12,A7,", L"12,13"},
                    PinLineCase{L"K9", L"0,1"}, PinLineCase{L"7K", L"7,8"},
                    PinLineCase{L"-1", L"-1,0"}, PinLineCase{L",,,", L"0,1"}));

INSTANTIATE_TEST_SUITE_P(Numbers, PinLineTable,
                         testing::Values(PinLineCase{L"+5", L"5,6"}, PinLineCase{L"007", L"7,8"},
                                         PinLineCase{L"\v\f42", L"42,43"},
                                         PinLineCase{L"-", L"0,1"}, PinLineCase{L"+-3", L"0,1"},
                                         PinLineCase{L"2147483647", L"2147483647,2147483648"},
                                         PinLineCase{L"99999999999999999999",
                                                     L"2147483647,2147483648"},
                                         PinLineCase{L"-2147483648", L"-2147483648,-2147483647"},
                                         PinLineCase{L"-99999999999", L"-2147483648,-2147483647"},
                                         PinLineCase{L"\x0663", L"0,1"}));

INSTANTIATE_TEST_SUITE_P(
    ThirdField, PinLineTable,
    testing::Values(PinLineCase{L"12,A7,\r", L"12,13"},  // white space only: empty
                    PinLineCase{L"12,A7,\v\f", L"12,13"},
                    PinLineCase{L"12,A7,\r,B3", L"12,13"},          // only the third field counts
                    PinLineCase{L"12,A7\r,B3\r", L"12,A7\r,B3\r"},  // copied untrimmed
                    PinLineCase{L"12,A7,\rB", L"12,A7,\rB"},
                    PinLineCase{L"\xB5"
                                L"3,\x3A9,\xE9",
                                L"\xB5"
                                L"3,\x3A9,\xE9"}));

TEST(FixtureBlock, LaysOutEveryPinLineOnItsOwnIndentedLine) {
    EXPECT_EQ(RewriteFixtureBlock(L"\n\t\t\t\t12\n\t\t\t\t13,A7\n\t\t\t\t14,A7,B3\n\t\t\t"),
              L"\n\t\t\t\t12,13\n\t\t\t\t13,14\n\t\t\t\t14,A7,B3\n\t\t\t");
    // Old indentation, blank lines and carriage returns between lines do not matter.
    EXPECT_EQ(RewriteFixtureBlock(L"  12\n\n\n        13,A7  \n"),
              L"\n\t\t\t\t12,13\n\t\t\t\t13,14\n\t\t\t");
    // Two pin lines on one line come out on two lines.
    EXPECT_EQ(RewriteFixtureBlock(L"12 13\t14"),
              L"\n\t\t\t\t12,13\n\t\t\t\t13,14\n\t\t\t\t14,15\n\t\t\t");
    // A space after a comma splits the line.
    EXPECT_EQ(RewriteFixtureBlock(L"12, A7"), L"\n\t\t\t\t12,13\n\t\t\t\t0,1\n\t\t\t");
    // Empty and separator-only blocks give the closing line alone.
    EXPECT_EQ(RewriteFixtureBlock(L""), L"\n\t\t\t");
    EXPECT_EQ(RewriteFixtureBlock(L" \n\t \n"), L"\n\t\t\t");
}

TEST(FixtureBlock, CarriageReturnStaysInsideAPinLine) {
    // "12\r" has field 1 "12\r": the number is read; "1,2,3\r" has a third field and is copied.
    EXPECT_EQ(RewriteFixtureBlock(L"12\r\n1,2,3\r\n"), L"\n\t\t\t\t12,13\n\t\t\t\t1,2,3\r\n\t\t\t");
}

// Random blocks built from the characters that matter to the rewrite: rewriting twice must give
// the same text as rewriting once.
TEST(FixtureBlock, RewriteIsIdempotentOnRandomBlocks) {
    const std::wstring alphabet = L"0123456789,,,-+ \t\n\rAK\v\xB5";
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 80);
    for (int round = 0; round < 2000; ++round) {
        std::wstring block;
        for (int i = length(random); i > 0; --i) block += alphabet[pick(random)];
        const std::wstring once = RewriteFixtureBlock(block);
        ASSERT_EQ(RewriteFixtureBlock(once), once) << "block of round " << round;
    }
}

}  // namespace
}  // namespace ostrel::engine
