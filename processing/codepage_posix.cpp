// UTF-8 to the system code page, taken here as Latin-1.
#include "codepage.h"

#include <cstdlib>

namespace {

// The next code point of well-formed UTF-8 at text[*i], or -1.
long NextCodePoint(const unsigned char* text, size_t length, size_t* i) {
    const unsigned char lead = text[(*i)++];
    if (lead < 0x80) return lead;
    int more;
    long cp;
    long minimum;
    if ((lead & 0xE0) == 0xC0) more = 1, cp = lead & 0x1F, minimum = 0x80;
    else if ((lead & 0xF0) == 0xE0) more = 2, cp = lead & 0x0F, minimum = 0x800;
    else if ((lead & 0xF8) == 0xF0) more = 3, cp = lead & 0x07, minimum = 0x10000;
    else return -1;
    for (int k = 0; k < more; ++k) {
        if (*i >= length || (text[*i] & 0xC0) != 0x80) return -1;
        cp = cp << 6 | (text[(*i)++] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

}  // namespace

char* Utf8ToSystemCodePage(const char* text, size_t length, uint32_t* outLength) {
    if (length > 0xFFFFFFFEu) return nullptr;
    auto* out = static_cast<char*>(std::malloc(length + 1));
    if (!out) return nullptr;
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        const long cp = NextCodePoint(in, length, &i);
        if (cp < 0) {
            std::free(out);
            return nullptr;
        }
        out[n++] = cp <= 0xFF ? char(cp) : '?';
    }
    out[n] = 0;
    *outLength = uint32_t(n);
    return out;
}
