#include "imagelib/textutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(TextHelpers, CompareAndFindFoldOnlyAscii) {
    EXPECT_EQ(0, CompareTextNoCase("JPEG", "jpeg"));
    EXPECT_LT(CompareTextNoCase("abc", "abd"), 0);
    EXPECT_GT(CompareTextNoCase("abcd", "ABC"), 0);
    // Bytes above 127 compare as they are: no locale folding.
    EXPECT_NE(0, CompareTextNoCase("\xC9", "\xE9"));

    const char* name = "Photo.JPG";
    EXPECT_EQ(name + 5, FindTextNoCase(name, ".jpg"));
    EXPECT_EQ(nullptr, FindTextNoCase(name, ".png"));
    EXPECT_EQ(name, FindTextNoCase(name, ""));
    EXPECT_EQ(nullptr, FindTextNoCase("", ""));
    EXPECT_EQ(nullptr, FindTextNoCase(nullptr, "a"));
    EXPECT_EQ(nullptr, FindTextNoCase("a", nullptr));
    EXPECT_EQ(nullptr, FindTextNoCase("ab", "abc"));
}

TEST(TextHelpers, Duplicates) {
    char* s = DuplicateTextN("abcdef", 3);
    EXPECT_STREQ("abc", s);
    std::free(s);
    s = DuplicateTextN("ab", 10);  // shorter than n: no over-read
    EXPECT_STREQ("ab", s);
    std::free(s);
    s = DuplicateText("xyz");
    EXPECT_STREQ("xyz", s);
    std::free(s);
    wchar_t* w = DuplicateWideText(L"Wide");
    EXPECT_STREQ(L"wide", LowerWideText(w));
    std::free(w);
}

TEST(TextHelpers, BoundedCopiesAlwaysTerminate) {
    char small[4];
    CopyTextBounded(small, sizeof small, "abcdef");
    EXPECT_STREQ("abc", small);
    CopyTextBounded(small, sizeof small, nullptr);
    EXPECT_STREQ("", small);
    wchar_t wsmall[3];
    CopyWideTextBounded(wsmall, 3, L"xyz");
    EXPECT_STREQ(L"xy", wsmall);
}

TEST(TextHelpers, Utf8RoundTrip) {
    const wchar_t* text = L"a\u00e9\u4e2d\U0001F600";
    const std::string utf8 = WideToUtf8(text);
    EXPECT_EQ("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", utf8);
    EXPECT_EQ(std::wstring(text), Utf8ToWide(utf8.c_str()));
    // Broken sequences become U+FFFD, never an over-read.
    EXPECT_EQ(std::wstring(L"\uFFFDa"), Utf8ToWide("\xC3" "a"));
    EXPECT_EQ(std::wstring(L"\uFFFD"), Utf8ToWide("\xE4\xB8"));
    EXPECT_EQ(std::wstring(L"\uFFFD"), Utf8ToWide("\xC0\x80"));  // overlong
}

}  // namespace
