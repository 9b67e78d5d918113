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

TEST(Utf8, CodeUnitsOfBothWidthsAndByteOrders) {
    const std::string text = "<\xCE\xA9\xF0\x9F\x94\x8C";  // '<', U+03A9, U+1F50C
    const struct {
        UnicodeUnits form;
        std::string bytes;
    } forms[] = {
        {{2, false}, std::string("<\0\xA9\x03\x3D\xD8\x0C\xDD", 8)},
        {{2, true}, std::string("\0<\x03\xA9\xD8\x3D\xDD\x0C", 8)},
        {{4, false}, std::string("<\0\0\0\xA9\x03\0\0\x0C\xF5\x01\0", 12)},
        {{4, true}, std::string("\0\0\0<\0\0\x03\xA9\0\x01\xF5\x0C", 12)},
    };
    for (const auto& [form, bytes] : forms) {
        EXPECT_EQ(EncodeUnits(text, form), bytes);
        std::string decoded;
        ASSERT_TRUE(DecodeUnits(bytes, form, decoded));
        EXPECT_EQ(decoded, text);
        // A partial unit, a lone surrogate or a value beyond Unicode is no text.
        EXPECT_FALSE(DecodeUnits(bytes.substr(1), form, decoded));
    }
    std::string decoded;
    EXPECT_FALSE(DecodeUnits(std::string("\x00\xD8", 2), {2, false}, decoded));
    EXPECT_FALSE(DecodeUnits(std::string("\0\0\x11\0", 4), {4, false}, decoded));
}

}  // namespace
}  // namespace ostrel
