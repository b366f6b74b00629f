// UTF-8 to the system code page through UTF-16, each step sized first.
#include "codepage.h"

#include <windows.h>

#include <climits>
#include <cstdlib>

char* Utf8ToSystemCodePage(const char* text, size_t length, uint32_t* outLength) {
    if (length > INT_MAX) return nullptr;
    if (length == 0) {
        auto* empty = static_cast<char*>(std::calloc(1, 1));
        if (empty) *outLength = 0;
        return empty;
    }
    const int n = int(length);
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, n, nullptr, 0);
    if (wide <= 0) return nullptr;
    auto* w = static_cast<wchar_t*>(std::malloc(size_t(wide) * sizeof(wchar_t)));
    if (!w) return nullptr;
    char* out = nullptr;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, n, w, wide) == wide) {
        const int bytes = WideCharToMultiByte(CP_ACP, 0, w, wide, nullptr, 0, nullptr, nullptr);
        if (bytes > 0 && (out = static_cast<char*>(std::malloc(size_t(bytes) + 1)))) {
            if (WideCharToMultiByte(CP_ACP, 0, w, wide, out, bytes, nullptr, nullptr) == bytes) {
                out[bytes] = 0;
                *outLength = uint32_t(bytes);
            } else {
                std::free(out);
                out = nullptr;
            }
        }
    }
    std::free(w);
    return out;
}
