// Internal entries of the BMP reader (bmp.cpp) and its DXT block decoder
// (dxt.cpp), declared for the reader's own tests. Callers outside the
// readers reach them through the format table only.
#pragma once

#include <cstdint>

#include "../fileio.h"
#include "../loadcontext.h"

// FourCC compressions, the four letters read as one little-endian value.
constexpr uint32_t kFourCcDxt1 = 0x31545844;
constexpr uint32_t kFourCcDxt3 = 0x33545844;
constexpr uint32_t kFourCcDxt5 = 0x35545844;

// Reads a BMP whose "BM" magic is `baseOffset` bytes into the file (the
// file is positioned there). `description` overrides the format name when
// not null. Returns a load result code.
int ReadBmp(PictureFile* file, LoadContext* ctx, const char* description, int64_t baseOffset);

// Declares a 32-bit R, G, B, A picture of the header's width and height,
// decodes the DXT1, DXT3 or DXT5 blocks found at `dataOffset` (any FourCC
// other than DXT1 and DXT5 selects DXT3) and delivers them four rows at a
// time. The caller has set the description and orientation. A file that
// ends inside the block data delivers what it holds and returns 4.
int DecodeDxtBitmap(PictureFile* file, LoadContext* ctx, ImageHeader* header, uint32_t fourCc,
                    int64_t dataOffset);
