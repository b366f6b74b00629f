// JPEG marker walker.
//
// Portable: no platform headers.
#include "jpegsize.h"

#include <cstdio>

#include "imagelib/bytereader.h"

namespace {

// Start-of-frame codes: 0xC0..0xCF less 0xC4 (DHT), 0xC8 (JPG), 0xCC (DAC).
bool IsFrameHeader(uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

int Fail(const char* message) {
    std::fprintf(stderr, "%s\n", message);
    return 0;
}

}  // namespace

int GetJpegSizeFromMemory(const uint8_t* data, size_t length, uint32_t* width, uint32_t* height) {
    ByteReader in(data, data ? length : 0);
    if (in.U8() != 0xFF || in.U8() != 0xD8) return Fail(in.ok ? "Not a JPEG file" : "Premature EOF in JPEG file");
    for (;;) {
        // Next marker: any bytes before the 0xFF are garbage; fill bytes
        // (repeated 0xFF) are allowed.
        size_t skipped = 0;
        uint8_t byte = in.U8();
        while (in.ok && byte != 0xFF) {
            ++skipped;
            byte = in.U8();
        }
        while (in.ok && byte == 0xFF) byte = in.U8();
        if (!in.ok) return Fail("Premature EOF in JPEG file");
        if (skipped) std::fprintf(stderr, "Warning: garbage data found in JPEG file\n");

        const uint8_t code = byte;
        if (code == 0xD9 || code == 0xDA) return 0;  // end of image or scan before any frame
        const uint16_t segment = in.U16Be();
        if (IsFrameHeader(code)) {
            in.Skip(1);  // sample precision
            const uint16_t h = in.U16Be();
            const uint16_t w = in.U16Be();
            if (!in.ok) return Fail("Premature EOF in JPEG file");
            *width = w;
            *height = h;
            return 1;
        }
        if (!in.ok) return Fail("Premature EOF in JPEG file");
        if (segment < 2) return Fail("Erroneous JPEG marker length");
        if (!in.Skip(segment - 2u)) return Fail("Premature EOF in JPEG file");
    }
}
