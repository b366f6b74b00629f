// Line breaking for narrow screens: see textwrap.h.
#include "platform/textwrap.h"

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The end of the longest run from `from`, at most `end`, that fits `width`;
// `from` itself when not even one character does.
size_t FitEnd(const std::wstring& text, size_t from, size_t end, int width, const TextMeasure& measure) {
    size_t low = from, high = end;  // text[from, low) fits; text[from, high + 1) may not exist
    while (low < high) {
        const size_t mid = low + (high - low + 1) / 2;
        if (measure(text.data() + from, mid - from) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

void WrapParagraph(const std::wstring& text, size_t from, size_t end, int width, const TextMeasure& measure,
                   std::vector<TextLine>* lines) {
    size_t at = from;
    for (;;) {
        const size_t fit = FitEnd(text, at, end, width, measure);
        if (fit == end) {
            size_t length = end - at;
            while (length > 0 && IsSpace(text[at + length - 1])) --length;
            lines->push_back({at, length});
            return;
        }
        size_t stop = fit;  // the line is text[at, stop); the next starts at `next`
        size_t next = fit;
        if (IsSpace(text[fit])) {
            next = fit;
        } else {
            size_t space = fit;
            while (space > at && !IsSpace(text[space - 1])) --space;
            if (space > at) {
                stop = space - 1;
                next = space;
            } else {
                size_t separator = fit;
                while (separator > at + 1 && !IsSeparator(text[separator - 1])) --separator;
                if (separator > at + 1) {
                    stop = next = separator;
                } else if (fit == at) {
                    stop = next = at + 1;  // not even one character fits: it goes alone
                }
            }
        }
        while (stop > at && IsSpace(text[stop - 1])) --stop;
        lines->push_back({at, stop - at});
        while (next < end && IsSpace(text[next])) ++next;
        if (next >= end) return;
        at = next;
    }
}

}  // namespace

std::vector<TextLine> WrapTextLines(const std::wstring& text, int width, const TextMeasure& measure) {
    std::vector<TextLine> lines;
    size_t from = 0;
    for (;;) {
        size_t end = text.find(L'\n', from);
        const bool last = end == std::wstring::npos;
        if (last) end = text.size();
        size_t paragraphEnd = end;
        if (paragraphEnd > from && text[paragraphEnd - 1] == L'\r') --paragraphEnd;
        if (paragraphEnd == from)
            lines.push_back({from, 0});
        else
            WrapParagraph(text, from, paragraphEnd, width, measure, &lines);
        if (last) return lines;
        from = end + 1;
    }
}
