// Registry and language values as the program uses them. The input is a
// language file, and its bytes read as 32-bit words are the stored numbers
// of the settings. Translated formats go through the same check and the same
// filling as in the program (with its buffer sizes and extreme numbers);
// stored numbers go through the settings table into the pane layout, the
// thumbnail box, the output options and the batch rename names. Nothing may
// come out of range, and nothing may read or write out of bounds.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imagelib/formats.h"
#include "app/commandlogic.h"
#include "shell/filelist.h"
#include "shell/language.h"
#include "shell/settings.h"
#include "shell/viewerlogic.h"
#include "tools/output.h"
#include "tools/rename.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// The translated formats that take a number, with their built-in texts and
// the buffers the program reads them into.
const struct {
    const char* key;
    const wchar_t* builtin;
    size_t capacity;
} kNumberFormats[] = {
    {"IDS_INFO_WIDTH", L"Width : %d", 64},
    {"IDS_INFO_HEIGHT", L"Height : %d", 64},
    {"IDS_SEARCHDEV", L"Searching for device: #%d", 128},
    {"IDS_IRDA_SEND_FAILED", L"send failed. Error: %d", 128},
    {"IDS_IRDA_RECEIVE_LIMITED", L"The sender passed the limit of one transfer (%d pictures or 4 GB).", 256},
};

// As the program widens a language file's 8-bit text (the ANSI code page
// maps every byte to one character).
std::wstring Widen(const std::string& text) {
    std::wstring wide;
    for (unsigned char c : text) wide.push_back(wchar_t(c));
    return wide;
}

void CheckTranslatedFormats(const LanguageState& language) {
    std::string text;
    for (const auto& f : kNumberFormats) {
        std::wstring format = f.builtin;
        if (language.FindString(f.key, &text) && TranslatedFormatUsable(f.builtin, Widen(text), f.capacity))
            format = Widen(text);
        for (int value : {INT_MIN, -1, 0, 7, INT_MAX}) {
            const std::wstring shown = FormatWithNumber(format.c_str(), value);
            Check(shown.size() <= format.size() + kFormatWidthMax + 16);
        }
    }
    // Copy names fill their patterns by hand.
    std::wstring copyOf = L"%sCopy of %s", copyN = L"%sCopy (%d) of %s";
    if (language.FindString("IDS_COPY1", &text)) copyOf = Widen(text);
    if (language.FindString("IDS_COPY2", &text)) copyN = Widen(text);
    int taken = 0;  // the first few names are taken, so both patterns are filled
    const std::wstring name =
        MakeCopyName(L"\\Temp\\", L"a.jpg", copyOf, copyN, [&](const std::wstring&) { return ++taken < 4; });
    Check(name.size() <= 2 * std::max(copyOf.size(), copyN.size()) + 16);
}

struct Words {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t Next() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i, ++at) v |= uint32_t(size ? data[at % size] : 0) << (8 * i);
        return v;
    }
};

int32_t Stored(Words& words, const wchar_t* name) {
    for (size_t i = 0; i < kGeneralSettingKeyCount; ++i)
        if (std::wcscmp(kGeneralSettingKeys[i].name, name) == 0) {
            const uint32_t word = words.Next();
            return SettingValueFromStore(kGeneralSettingKeys[i], word & 1, words.Next() ^ word);
        }
    std::abort();
}

void CheckStoredNumbers(Words words) {
    // The panes of the 240 x 320 screen (and of a larger one).
    for (int32_t height : {294, 614}) {
        PaneInput in{};
        in.mode = Stored(words, L"Mode");
        in.treeViewHeight = Stored(words, L"TreeViewHeight");
        in.treeHidden = words.Next() & 1;
        in.listHidden = words.Next() & 1;
        in.stripHeight = 60;
        in.clientWidth = height == 294 ? 240 : 480;
        in.clientHeight = height;
        const PaneLayout layout = LayoutPanes(in);
        for (const PaneRect& r : {layout.tree, layout.list, layout.view}) {
            if (!r.visible) continue;
            Check(r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom);
            Check(r.right <= in.clientWidth && r.bottom <= in.clientHeight);
        }
    }
    // The thumbnail box at the screen's pixels per inch.
    for (int32_t dpi : {96, 131, 192}) {
        int32_t width = 0, height = 0;
        ThumbBoxFor(Stored(words, L"ThumbSize"), 4 + (words.Next() & 1), dpi, dpi, &width, &height);
        Check(width > 0 && height > 0 && width <= 4 * dpi && height <= 4 * dpi);
    }
    // The output page's stored choices.
    OutputChoices choices;
    choices.format = int32_t(words.Next() % 64) - 8;
    choices.jpegQuality = int32_t(words.Next());
    choices.pngCompression = int32_t(words.Next());
    choices.gifMode = int32_t(words.Next());
    choices.bmpMode = int32_t(words.Next());
    choices.pngMode = int32_t(words.Next());
    const OutputOptions options = MakeOutputOptions(choices);
    Check(options.jpegQuality >= 1 && options.jpegQuality <= 100);
    Check(options.pngCompression >= 1 && options.pngCompression <= 9);
    wchar_t path[kOutputPathCapacity] = L"\\My Documents\\photo.jpg";
    SetOutputExtension(path, kOutputPathCapacity, options.format);
    Check(std::wcslen(path) < kOutputPathCapacity);
    // Batch rename's stored start and digits.
    RenamePlan plan{};
    std::wcscpy(plan.base, L"trip");
    std::wcscpy(plan.extension, L"jpg");
    plan.start = words.Next();
    plan.digits = words.Next();
    wchar_t name[kRenameTextCapacity];
    if (RenamedFileName(plan, plan.start, name, kRenameTextCapacity))
        Check(std::wcslen(name) <= std::wcslen(L"trip.jpg") + kRenameMaxDigits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registry = [] {
        InitFormatRegistry();
        return true;
    }();
    (void)registry;
    LanguageState language;
    language.OpenFromMemory(std::string(reinterpret_cast<const char*>(data), size), "xx");
    CheckTranslatedFormats(language);
    CheckStoredNumbers(Words{data, size});
    return 0;
}
