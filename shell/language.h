// Language files: plain 8-bit text files beside the program that replace its
// built-in texts. The first line names the language ("de Deutsch"); sections
// begin with a line "[Name]" ("Menu", "String", one per dialog); entries are
// "key = text" lines, "\n" in a text standing for a line break.
//
// Portable: no platform headers. Texts stay 8-bit here (the device's ANSI code
// page); the Win32 glue in language_win.h turns them into wide text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest line, in bytes before its line end, that is read as an entry or a
// section header. Longer lines are skipped whole.
constexpr size_t kLanguageLineMaxBytes = 511;
// Longest first line read for the language's display name.
constexpr size_t kLanguageNameLineMaxBytes = 63;
// A larger file is not taken for a language file.
constexpr size_t kLanguageFileMaxBytes = 8u << 20;

// One language file held in memory. Positions are byte offsets into it; a
// position at End() finds nothing.
class LanguageFile {
public:
    // Reads the whole file; false (and nothing held) when it cannot be read or
    // is larger than kLanguageFileMaxBytes.
    bool Load(const wchar_t* path);
    void LoadFromMemory(std::string bytes);
    void Clear();
    bool IsOpen() const { return open_; }
    size_t End() const { return data_.size(); }

    // Position just after the header line of the first section whose name is
    // exactly `name` (case-sensitive; "[DlgIrda2]" does not answer "DlgIrda"),
    // or End() when there is none.
    size_t FindSection(const char* name) const;

    // Looks for `key` (ASCII case-insensitive) among the entries from `pos` up
    // to the next section header. An entry whose text is shorter than two
    // characters counts as missing, so a later entry with the same key may
    // still answer. On success `text` receives the text with each "\n" turned
    // into CR LF.
    bool FindValue(size_t pos, std::string_view key, std::string* text) const;

private:
    // The line that starts at *pos, without its line end; moves *pos past it.
    // Lines longer than kLanguageLineMaxBytes are stepped over. False at the end.
    bool NextLine(size_t* pos, std::string_view* line) const;

    std::string data_;
    bool open_ = false;
};

// The language state of the program: the open file, the section chosen last
// and where the "String" section is.
class LanguageState {
public:
    // Opens `path` as the language whose code is `code` (two ASCII letters).
    // Any file open before is forgotten. On failure, or for a code that is not
    // two letters, the language becomes "en" and false is returned.
    bool Open(const wchar_t* path, const char* code);
    void OpenFromMemory(std::string bytes, const char* code);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }

    // Lower-case two-letter code; "en" when no file is open.
    const std::wstring& CurrentCode() const { return code_; }
    // False when the first two characters of `code` equal the current code's;
    // else the code, cut to two characters, becomes current (the file stays).
    bool SetLanguage(const wchar_t* code);

    // Makes `name` the current section; returns its position (0 without a file).
    size_t SelectSection(const char* name);
    // Looks `key` up in the current section.
    bool FindInSection(std::string_view key, std::string* text) const;
    // Looks `key` up in the "String" section, whose position is found when
    // the file opens; the current section is left alone. Lookups change
    // nothing, so any number of threads may look up at once.
    bool FindString(std::string_view key, std::string* text) const;

    const LanguageFile& file() const { return file_; }

private:
    void SetCode(const char* code);

    LanguageFile file_;
    size_t currentSection_ = 0;
    size_t stringSection_ = 0;  // found at open
    std::wstring code_ = L"en";
};

// The display name from a language file's first line: the text after the first
// blank, tab or "=" up to the line end, within the first
// kLanguageNameLineMaxBytes bytes. Empty when there is none.
std::string LanguageDisplayName(std::string_view firstBytes);

// Largest width or precision a translated format may give: printf builds a
// text of that size, and a huge one ("%.100000000d") exhausts the stack.
constexpr unsigned kFormatWidthMax = 64;

// True when `translated` used as a printf format consumes the same arguments,
// in the same order and of the same kinds, as `builtin`. Flags, widths and
// precisions may differ up to kFormatWidthMax; "%n", positional arguments and
// broken conversions never match. A translation that fails this check must
// not be used as a format: the built-in text is used instead.
bool FormatConversionsMatch(const wchar_t* builtin, const wchar_t* translated);

// Whether a translated format may stand in for the built-in one in a buffer
// of `capacity` characters: it fits whole (a cut could end inside a
// conversion) and its conversions match the built-in text's.
bool TranslatedFormatUsable(const wchar_t* builtin, const std::wstring& translated, size_t capacity);

// A checked format that takes one int (as "%d" does) filled with `value`, as
// long as it needs to be. A format that takes anything else comes back as it
// is. Every number shown through a translated format goes through here.
std::wstring FormatWithNumber(const wchar_t* format, int value);
