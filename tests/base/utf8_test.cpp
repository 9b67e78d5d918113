#include "base/utf8.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
    const std::wstring text = L"Pin \xB5 \x3A9 \xE9 \x20AC " + FromUtf8("\xF0\x9F\x94\x8C");
    EXPECT_EQ(ToUtf8(text), "Pin \xC2\xB5 \xCE\xA9 \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x8C");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("\xF0\x9F\x94\x8C").size(), sizeof(wchar_t) == 2 ? 2u : 1u);
}

TEST(Utf8, ReplacesEachInvalidSequenceOnce) {
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(FromUtf8("a\xC3"), L"a\xFFFD");    // truncated at the end
    EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\xFFFD");  // overlong
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"
                       "x"),
              L"\xFFFD"
              L"x");  // encoded surrogate
    EXPECT_EQ(FromUtf8(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

}  // namespace
}  // namespace ostrel
