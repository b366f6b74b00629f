// Save-side scanline converters: a fetcher turns one bitmap row into the
// fetch line (one byte per index or grey pixel, R, G, B or R, G, B, A bytes,
// or packed bits for bilevel bitmaps), and a packer turns the fetch line into
// the row layout a writer declared. Also the writer palette and the grey map
// that BeginWrite builds.
//
// Converters run once per row and allocate nothing: BeginWrite sizes the
// fetch, scratch and narrow lines so that every fetcher and packer stays
// inside them (see SaveLineCapacity).
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "savecontext.h"

// PixelOrder of a bitmap pixel type: 16, 32 give 0; 64, 128 give 1; 256 gives
// 2; 512 gives 3; 1024 (CMYK) gives 4; anything else 0.
uint16_t PixelOrderOfType(uint16_t pixelType);

// Works out, from the source mode, pixel order and the writer's layout, the
// bytes per fetched pixel, the output line length and the sizes of the fetch,
// scratch and narrow lines (each large enough for every converter that may
// touch it). 0 done; 1 a size does not fit in memory; 7 the writer's layout
// cannot be made from this picture (colour rows into 8 bits or less, index
// rows into more than 8, samples deeper than 8 bits, or a layout out of
// range).
int PlanWriteLines(SaveRowState* s, int16_t headerComponents, int16_t headerBitsPerSample);

// Sets s->fetch and s->pack (pack may stay null for kWriteSeparatePlanes,
// where the fetch line is copied out as it is). Never fails.
void SelectWriteConverters(SaveRowState* s);

// Builds s->writerPalette in the writer's palette layout when the writer asks
// for one and the bitmap is not true colour. 0 done, 1 out of memory.
int BuildWriterPalette(SaveRowState* s);

// Fills s->greyMap and sets s->greyMapEnabled when grey or index rows go to a
// writer without a palette. Never fails.
void BuildGreyMap(SaveRowState* s);
// Applies the grey map to the fetch line.
void ApplyGreyMap(SaveRowState* s);

// Narrows one row of deep samples (2 or 4 bytes each, native order) to 8 bits
// into s->narrowLine; the fetcher then reads that line.
void NarrowDeepRow(SaveRowState* s, const uint8_t* row);

// For each group of 16 one-byte pixels, one 16-bit word per plane, high byte
// first, plane 0 first; bit p of pixel i becomes bit 15 - i of plane p's word.
void PackInterleavedBitplanes(const uint8_t* src, uint8_t* dst, size_t groups, int planes);
// Plane 0's row, then plane 1's, ...; bit p of pixel 8k + j becomes bit 7 - j
// of byte k of plane p.
void PackLineBitplanes(const uint8_t* src, uint8_t* dst, size_t bytesPerPlane, int planes);
// `outBytes` bytes of packed pixels: bits 1 eight a byte (MSB first, low bit
// of each pixel), 2 four a byte, 3 or 4 two a byte (high nibble first), 5 to 8
// a plain copy; any other value writes nothing.
void PackPixels(const uint8_t* src, uint8_t* dst, size_t outBytes, int bits);
