// The JPEG reader: the jpeg row's entry, the decoding of JPEG streams inside
// other files (camera RAW previews, JPEG data inside TIFF), a header-only
// size query and the quality estimate. Decoding is libjpeg's; this reader
// declares the picture and hands its rows to the load.
//
// Portable: no platform headers. Everything lives in the call: two loads may
// run it at once.
#pragma once

#include <cstdint>

#include "../fileio.h"
#include "../loadcontext.h"

struct jpeg_decompress_struct;

// The jpeg row's reader. Load results: 0 done; 1 no memory; 2 not a JPEG (or
// an error before the picture was declared); 4 the file ends early (the
// rows read so far are kept); 10 corrupt, an empty file, or an unsupported
// process; 15 cancelled; BeginImage's refusal as it came.
//
// Load options read: 0x800 reduced (thumbnail) load, 0x10000 keep the
// comment, 0x40000 keep metadata blocks, 0x400000 refuse an EXIF thumbnail
// smaller than the box, 0x800000 fast decode, 0x2000000 estimate the quality
// (into the load's first reader value); targetWidth and targetHeight as the
// box of a reduced load; embeddedThumbnailMode (0 never, 1 use the EXIF
// thumbnail for a reduced load, 2 also take its size as the box).
// The load's readerFlags gets 8 for a progressive file, and is 1 when the
// picture came from the EXIF thumbnail.
int ReadJpeg(FileSource* source, LoadContext* ctx);

// Decodes the JPEG stream at the file's current position as the load's
// picture. The description is used as it stands; headerWord goes to the
// header's orientation; the file size (when both sides are above 0) and
// bitsPerComponent are what the picture information reports; previewFlag
// non-zero sets readerFlags to 1, else 0. Results as ReadJpeg's, except that
// every failure before the picture is declared is 2.
int DecodeJpegAt(PictureFile* file, LoadContext* ctx, const char* description, uint16_t headerWord,
                 int32_t fileWidth, int32_t fileHeight, int bitsPerComponent, int previewFlag);
// DecodeJpegAt with the stream's own size, 8 bits per component, no preview.
int DecodeJpegAtDefault(PictureFile* file, LoadContext* ctx, const char* description, uint16_t headerWord);

// Reads only the header of the stream at the file's current position: its
// output size, and 1 when it decodes to RGB. After any error both sizes are
// 0 and the result is 0. The file position moves.
int ReadJpegStreamSize(PictureFile* file, int32_t* width, int32_t* height);

// The quality (1..100) the picture was saved with, from its quantisation
// tables, or -1 when there is no table in slot 0 or no match. Called after
// jpeg_read_header.
int EstimateJpegQuality(const jpeg_decompress_struct* cinfo);

// Where the load's reader values keep the quality estimate.
constexpr int kJpegQualityValue = 0;
