// What the libjpeg decoders share (the JPEG reader, the EXIF thumbnail
// decoder, TIFF's JPEG strips, lossless transforms and the slideshow
// player): the error manager whose exit is a long jump, the source manager
// that reads through a PictureFile (a stream or memory), the guards against
// endless scan sequences and against more memory than the load budget, and
// the picture layout each output colour space declares.
//
// Portable: no platform headers. A function that sets a jump point keeps no
// object with a destructor in its frame (a long jump would skip it) and does
// not change a local variable between setting the point and a jump back to it.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "../fileio.h"
#include "../loadcontext.h"

// How an error manager turns libjpeg's errors and warnings into load results.
enum class JpegErrorPolicy {
    // A file of its own: an empty input or an unsupported process is corrupt
    // (10), any other error not recognised (2); a data segment that ends
    // early jumps back with 4.
    kFile,
    // A stream inside another file: every error gives 1 (the callers turn it
    // into their own codes); a data segment that ends early jumps with 4.
    kStream,
    // An EXIF thumbnail: an unsupported process is 10, any other error 2;
    // warnings are dropped, so a damaged thumbnail decodes on with libjpeg's
    // own recovery.
    kThumbnail,
    // A picture of the slideshow player: an empty input is 10, any other
    // error 2; a file that ends early jumps back with 10, so the player skips
    // the picture instead of showing its missing part grey.
    kPlayer,
};

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    JpegErrorPolicy policy;
    int code;                 // the load result the last jump carries
    // A file whose scans are all read before the first row (progressive or
    // multi-scan) notes a premature end instead of jumping, so the picture
    // that was read can still be delivered.
    uint8_t deferTruncation;
    uint8_t truncated;
};

// libjpeg's standard manager with our exit and message hooks and trace
// level 0, installed on `cinfo` (before CreateJpegDecoder).
void InitJpegErrorManager(JpegErrorManager* err, JpegErrorPolicy policy, j_decompress_ptr cinfo);

// Scans a stream may hold before it counts as corrupt; a hostile file of a
// few kilobytes could otherwise make the decoder pass over a large picture
// without end.
constexpr int kJpegMaxScans = 1000;

struct JpegScanGuard {
    jpeg_progress_mgr pub;
};

// To be called right after jpeg_create_decompress: the scan limit, and the
// load's memory budget (GetLoadMemoryBudget) as the most working memory
// libjpeg may take; more is an error ("out of memory", result 1 under the
// kFile and kThumbnail policies), not an allocation. `guard` must live as
// long as the decompress object.
void LimitJpegDecoder(j_decompress_ptr cinfo, JpegScanGuard* guard);
// Lowers libjpeg's share of the budget by what the caller holds beside the
// decoder (before jpeg_start_decompress); nothing is left for libjpeg when
// that is the whole budget.
void LimitJpegMemory(j_decompress_ptr cinfo, uint64_t heldBeside);

// The whole-image coefficient buffer libjpeg keeps for the stream whose
// header has been read: always for jpeg_read_coefficients (`forTranscoding`),
// otherwise only when the stream has several scans (progressive files), as
// single-scan streams are decoded a band of rows at a time. 0 when none.
// Dominates the decoder's memory; what else it takes grows with the width.
uint64_t JpegCoefficientBytes(j_decompress_ptr cinfo, bool forTranscoding);

// Installs the source manager that reads `file` from its current position
// in blocks of 4096 bytes. Its record and buffer come from the object's
// permanent pool; a second call on the same object reuses them. At the end
// of the file it supplies an EOI marker after a "premature end" warning, and
// an empty file raises the "empty input" error.
void UseJpegFileSource(j_decompress_ptr cinfo, PictureFile* file);

// Creates the decompress object behind `cinfo` (its error manager already
// installed), limits it with `guard` and reads `file` through the source
// manager above. The caller sets its jump point first: an error here jumps
// back to it.
void CreateJpegDecoder(j_decompress_ptr cinfo, JpegScanGuard* guard, PictureFile* file);

// Faster, coarser decoding: the fast integer DCT and plain upsampling.
void UseFastJpegDecoding(j_decompress_ptr cinfo);

// The layout of libjpeg's output for the load: width, height, one plane of
// 8, 24 or 32 bits, bytes per plane, compression 3; CMYK adds header flag
// 0x4000 (the inverted samples Adobe writes) and colour-space code 3. False
// for an output colour space the load cannot take.
bool DeclareJpegLayout(ImageHeader* header, j_decompress_ptr cinfo);
// "JPEG Grayscale", "JPEG TrueColor" or "JPEG CMYK" for libjpeg's colour
// space code; null for any other.
const char* JpegColourSpaceName(int colourSpace);
// Samples per pixel of those colour spaces, else 0.
int JpegColourSpaceComponents(int colourSpace);
// The description "<colour space name> (v<major>.<minor>)" with the stream's
// JFIF version; "JPEG" stands in for a colour space without a name.
void DescribeJpegVersion(char* text, size_t capacity, int colourSpace, j_decompress_ptr cinfo);
