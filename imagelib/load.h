// Loading a picture: choose a reader by format index, by extension or by
// probing, run it against the reader callbacks, and hand back the Bitmap and
// the picture information.
//
// Portable: no platform headers. The caller owns the returned Bitmap (freed
// with FreeBitmap) and the contents of the ImageInfo (FreePictureInfo). Every
// result is a load result code (LoadResult in loadcontext.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"
#include "fileio.h"
#include "loadcontext.h"

// Loads a file into `bitmap` (cleared first). `info` may be null.
int LoadPictureFromFile(const wchar_t* name, Bitmap* bitmap, const LoadOptions* options, ImageInfo* info);
// The same; `byName` is always 1.
int LoadPicture(const wchar_t* name, Bitmap* bitmap, const LoadOptions* options, ImageInfo* info, int byName);
// Loads a picture held in memory. `nameForExtension` (may be null) only
// chooses the reader by its extension, as a file name would.
int LoadPictureFromMemory(const uint8_t* data, size_t size, const wchar_t* nameForExtension, Bitmap* bitmap,
                          const LoadOptions* options, ImageInfo* info);

// Information only: the reader stops once the picture is declared; no pixels.
// With kLoadKeepComment and kLoadKeepMetadata in `flags`, the comment and the
// metadata blocks met before the picture's rows come into `info`, so one
// read serves a caller that shows a file's facts and EXIF or IPTC.
int QueryPictureInfo(const wchar_t* name, int formatIndex, uint32_t flags, ImageInfo* info);
// The same for page `page` of a multi-page picture (0 the first): its size
// and declaration, and the file's page count.
int QueryPagePictureInfo(const wchar_t* name, int formatIndex, uint32_t flags, uint32_t page, ImageInfo* info);
// As QueryPictureInfo; with a null name the prepared `source` is read (a
// path, a stream or memory), with `extensionName` (may be null) naming its
// extension.
int GetPictureInfo(const wchar_t* name, FileSource* source, int formatIndex, uint32_t flags, uint32_t unused,
                   ImageInfo* info);
int GetPictureInfoFromSource(FileSource* source, const wchar_t* extensionName, int formatIndex, uint32_t flags,
                             ImageInfo* info);
void FreePictureInfo(ImageInfo* info);

// The memory one load may ask for: its output bitmap plus the row buffers and
// tables of its rows, and what its reader holds (ReserveReaderMemory: a
// decoder's whole-image workspace), checked before anything is allocated. A
// declaration beyond it fails with kLoadNoMemory. libjpeg's decoders outside
// a load (lossless transforms, the slideshow player) are held to it too. The
// default holds a 100-megapixel photo at four bytes a pixel. Process-wide;
// returns the budget it replaces. 0 restores the default.
constexpr uint64_t kDefaultLoadMemoryBudget = uint64_t(512) << 20;
uint64_t SetLoadMemoryBudget(uint64_t bytes);
uint64_t GetLoadMemoryBudget();

// 1 when the name's extension belongs to a registered format.
int IsKnownExtension(const wchar_t* name);
// 1 when the name's extension is one of the format's.
int ExtensionBelongsToFormat(const wchar_t* name, int formatIndex);

// The steps of a load, for the dispatch itself and its tests.
int LoadWithChosenReader(FileSource* source, LoadContext* ctx, int formatIndex, Bitmap* bitmap);
int TryFormatReader(FileSource* source, LoadContext* ctx, int formatIndex);
