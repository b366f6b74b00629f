// A language file "<code>.lng" beside the test program, where the viewer
// looks for its language files, removed again when the object goes (also
// when a test stops early).
//
// Win32 only. Header-only so any test program can use it.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/testfiles.h"

namespace testing_support {

class LanguageFileBesideProgram {
public:
    // `text` is the file's whole content, e.g. "xx=Name\r\n[String]\r\nIDS_X=...\r\n".
    // Beside this test program, or beside `program` (a path) when given.
    LanguageFileBesideProgram(const char* code, const std::string& text, const wchar_t* program = nullptr) {
        wchar_t own[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, own, MAX_PATH);
        path_ = program ? program : own;
        path_ = path_.substr(0, path_.find_last_of(L"\\/") + 1) + Utf8ToWide(code) + L".lng";
        WriteText(path_, text);
    }
    ~LanguageFileBesideProgram() { DeleteFileW(path_.c_str()); }
    LanguageFileBesideProgram(const LanguageFileBesideProgram&) = delete;
    LanguageFileBesideProgram& operator=(const LanguageFileBesideProgram&) = delete;

private:
    std::wstring path_;
};

}  // namespace testing_support
