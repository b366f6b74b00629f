// Breaking a text into lines that fit a width, for message boxes on a narrow
// screen: at line feeds, after spaces and, for a word wider than the line (a
// path, an address), after its last path separator that fits or else between
// two characters. Portable: the caller measures.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// One line: `length` characters of the text from `start`, without the spaces
// or line break that ended it.
struct TextLine {
    size_t start;
    size_t length;
};

// The width of `length` characters from `text`; wider texts never measure
// less than their beginnings.
using TextMeasure = std::function<int(const wchar_t* text, size_t length)>;

// The lines of `text` at most `width` wide (a line of one character may be
// wider when even that does not fit). An empty text has one empty line.
std::vector<TextLine> WrapTextLines(const std::wstring& text, int width, const TextMeasure& measure);
