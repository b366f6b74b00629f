// What the Photoshop reader (psd.cpp) offers besides its entry point.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

struct PictureFile;

// Longest layer name kept, in bytes.
constexpr uint32_t kPsdLayerNameMax = 64;

// A length byte n and n bytes of text, padded so that the whole takes an even
// number of bytes. Returns the text (malloc'd, zero-terminated) with *size
// the bytes it took: n + 1 for an odd n, n + 2 for an even one. For n = 0 the
// pad byte is read too and there is no text (*size 2). Null, with *size 0,
// when the file ends first or memory runs out.
char* ReadLengthPrefixedText(PictureFile* file, uint32_t* size);
