// Line breaking for message boxes: where lines break, measured with one unit
// a character, and the promise that no line is wider than asked.
#include "platform/textwrap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int OneEach(const wchar_t*, size_t length) { return int(length); }

std::vector<std::wstring> Lines(const std::wstring& text, int width, const TextMeasure& measure = OneEach) {
    std::vector<std::wstring> out;
    for (const TextLine& line : WrapTextLines(text, width, measure)) out.push_back(text.substr(line.start, line.length));
    return out;
}

TEST(WrapTextLines, BreaksWhereAReaderExpects) {
    struct Case {
        const char* what;
        std::wstring text;
        int width;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {"fits", L"Problem", 10, {L"Problem"}},
        {"empty", L"", 10, {L""}},
        {"at a space", L"Do you want it?", 10, {L"Do you", L"want it?"}},
        {"exactly the width", L"abcde fghij", 5, {L"abcde", L"fghij"}},
        {"runs of spaces are dropped at breaks", L"ab    cd", 3, {L"ab", L"cd"}},
        {"a path after its separators",
         L"Problem to load \\Temp\\journeys\\more\\broken.jpg.", 16,
         {L"Problem to load", L"\\Temp\\journeys\\", L"more\\broken.jpg."}},
        {"a word without separators between characters", L"abcdefghij", 4, {L"abcd", L"efgh", L"ij"}},
        {"line feeds kept, blank lines too", L"one\r\n\ntwo three", 5, {L"one", L"", L"two", L"three"}},
        {"a leading separator is no break", L"\\abcdef", 4, {L"\\abc", L"def"}},
        {"narrower than one character", L"ab", 0, {L"a", L"b"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Lines(c.text, c.width), c.lines) << c.what;
}

// Characters of unequal widths (wide 'W', narrow 'i'): no line passes the
// width, and together the lines hold every character that is not a space
// at a break.
TEST(WrapTextLines, NoLineIsWiderThanTheWidth) {
    const TextMeasure measure = [](const wchar_t* text, size_t length) {
        int width = 0;
        for (size_t i = 0; i < length; ++i) width += text[i] == L'W' ? 9 : text[i] == L'i' ? 2 : 5;
        return width;
    };
    const std::wstring text = L"Wiki WWWWWWWWWWWW \\Storage Card\\iii\\WWW\\name with spaces.jpg and more";
    for (int width : {9, 20, 37, 60, 200}) {
        std::wstring joined;
        for (const TextLine& line : WrapTextLines(text, width, measure)) {
            EXPECT_LE(measure(text.data() + line.start, line.length), width) << width;
            joined += text.substr(line.start, line.length);
        }
        std::wstring expected;
        for (wchar_t c : text)
            if (c != L' ') expected += c;
        std::wstring got;
        for (wchar_t c : joined)
            if (c != L' ') got += c;
        EXPECT_EQ(got, expected) << width;
    }
}

}  // namespace
