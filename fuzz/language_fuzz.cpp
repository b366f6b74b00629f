// Language files: any bytes are looked up without harm, and a found text is
// at least two characters, no longer than a line, with every line break a
// CR LF pair. The same bytes, widened, are checked as printf formats.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    LanguageState language;
    language.OpenFromMemory(bytes, "xx");
    static const char* const kSections[] = {"Menu", "String", "DlgAbout", "D"};
    static const char* const kKeys[] = {"IDOK", "IDS_ERROR", "Crop...", "k", "="};
    std::string text;
    for (const char* section : kSections) {
        language.SelectSection(section);
        for (const char* key : kKeys) {
            if (!language.FindInSection(key, &text)) continue;
            if (text.size() < 2 || text.size() > kLanguageLineMaxBytes) std::abort();
            for (size_t i = 0; i < text.size(); ++i)
                if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) std::abort();
        }
    }
    language.FindString("IDS_ERROR", &text);
    LanguageDisplayName(bytes);

    // Printf formats: split the input in two, widened byte by byte.
    std::wstring a, b;
    for (size_t i = 0; i < size; ++i) (i < size / 2 ? a : b).push_back(wchar_t(data[i] ? data[i] : 1));
    if (FormatConversionsMatch(a.c_str(), b.c_str()) != FormatConversionsMatch(b.c_str(), a.c_str())) std::abort();
    return 0;
}
