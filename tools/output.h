// The output choices every picture-writing tool shares (format and its
// colour option, destination folder, prefix and suffix), the names built
// from them, and the one save path that applies them.
//
// Portable: no platform headers. The property-sheet pages and the message
// boxes that ask and report are output_win.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"

constexpr size_t kOutputPathCapacity = 260;
constexpr size_t kOutputAffixCapacity = 64;
// Longest extension SetOutputExtension puts in place.
constexpr size_t kOutputExtensionCapacity = 128;

// Colour option of GIF (0..2) and of BMP and PNG (0..3).
enum OutputColourChoice : int32_t {
    kOutputBlackWhite = 0,
    kOutputColours16 = 1,
    kOutputColours256 = 2,
    kOutputTrueColour = 3,
};

struct OutputOptions {
    int32_t format;          // index in the format registry
    int32_t colourMode;      // BitmapReduceColours mode the format's option asks for
    int32_t compression;     // PNG compression level when the format is PNG, else 0
    int32_t gifMode;         // OutputColourChoice 0..2
    int32_t bmpMode;         // OutputColourChoice 0..3
    int32_t pngMode;         // OutputColourChoice 0..3
    int32_t pngCompression;  // 1..9
    int32_t jpegQuality;     // 1..100
};

// The six choices the settings keep (section "Convert") and their defaults.
struct OutputChoices {
    int32_t format = 0;  // the registry's first format, JPEG
    int32_t jpegQuality = 80;
    int32_t pngCompression = 7;
    int32_t gifMode = kOutputColours256;
    int32_t bmpMode = kOutputTrueColour;
    int32_t pngMode = kOutputTrueColour;
};

struct OutputFolder {
    wchar_t folder[kOutputPathCapacity];  // ends in a separator when set; empty: the source's folder
    wchar_t prefix[kOutputAffixCapacity];
    wchar_t suffix[kOutputAffixCapacity];
};

// The colour mode a format's option asks for: JPEG true colour; GIF black and
// white, 16 or 256 colours; BMP and PNG the same or true colour; TGA and any
// other writer true colour (red, green, blue).
int32_t OutputColourMode(int32_t format, int32_t gifMode, int32_t bmpMode, int32_t pngMode);

// The full options from the six stored choices (compression and colour mode
// derived; quality and PNG level brought into their ranges).
OutputOptions MakeOutputOptions(const OutputChoices& choices);

// Replaces what follows the last '.' of the path's file name with the
// format's default extension. A name without '.' (a '.' in a folder name
// does not count) is left as it is; a format without an extension leaves the
// name ending in '.'. False, with the path unchanged, when the result would
// not fit `capacity` wide characters (terminator included).
bool SetOutputExtension(wchar_t* path, size_t capacity, int32_t format);

// Offset of the file name in a path: after the last '\' or '/'.
size_t FileNameOffset(const wchar_t* path);

// The output name of `source`: prefix, the source's name without its
// extension, suffix and the format's extension. When `folder->folder` is
// empty it becomes the source's folder (the path up to its last separator).
// `sourceFolder` (may be null) receives the source's folder and `sourceName`
// (may be null) the source's file name. False, with the outputs undefined,
// when any part would not fit its buffer (capacity kOutputPathCapacity each).
bool BuildOutputName(const wchar_t* source, wchar_t* sourceFolder, wchar_t* sourceName, wchar_t* outputName,
                     OutputFolder* folder, int32_t format);

// Who hears of each file a tool wrote over (its folder, ending in a
// separator, and its name): the browser, which re-reads a listed file and
// makes its thumbnail again.
struct RewriteListener {
    void* user = nullptr;
    void (*rewritten)(void* user, const wchar_t* folder, const wchar_t* name) = nullptr;
};
// Tells `listener` (may be null) of the file at `path` written over.
void TellRewritten(const RewriteListener* listener, const wchar_t* path);

// What a save asks of its caller and tells it.
struct SaveHooks {
    void* user = nullptr;
    // The output file exists: true to replace it. Null: replaced without asking.
    bool (*confirmOverwrite)(void* user, const wchar_t* path) = nullptr;
    // The save failed with this SavePicture result.
    void (*failed)(void* user, const wchar_t* path, int result) = nullptr;
    // Saved; `announce` is the caller's request for its done message.
    void (*saved)(void* user, const wchar_t* sourceName, const wchar_t* outputName, bool announce) = nullptr;
    // An existing file was replaced by the picture (folder, name).
    void (*replaced)(void* user, const wchar_t* folder, const wchar_t* name) = nullptr;
};

enum SaveOutcome : int {
    kSaveOutcomeSaved = 0,
    kSaveOutcomeSkipped = 1,  // the user kept the existing file
    kSaveOutcomeFailed = 2,   // reported through `failed`
};

// Writes `bitmap` (changed in place by the colour reduction; it stays the
// caller's) with the options beside the source or into the folder: reduces
// the colours, builds the name, asks before replacing a file, rebuilds a
// JPEG's EXIF thumbnail turned to the picture's shape, saves (the old file is
// replaced only by a complete new one) and reports. `outputPath` (may be
// null, capacity kOutputPathCapacity) receives the path written.
SaveOutcome SaveWithOutputOptions(const OutputOptions& options, OutputFolder folder, const wchar_t* source,
                                  Bitmap* bitmap, bool announce, const SaveHooks& hooks,
                                  wchar_t* outputPath = nullptr);

// The EXIF thumbnail of a JPEG save: when the metadata hold one, a copy of
// the picture fitted into the old thumbnail's box (160 x 120 when unknown)
// turned to the picture's shape replaces it. False when none was rebuilt
// (the old thumbnail stays).
bool RebuildExifThumbnail(Bitmap* bitmap);

// The thumbnail box turned to the picture: a landscape box for a portrait
// picture and a portrait box for a landscape picture are exchanged.
void TurnBoxToPicture(uint32_t* boxWidth, uint32_t* boxHeight, int32_t pictureWidth, int32_t pictureHeight);

// Screen capture names: "capture%03d" with the format's extension, the
// first that `exists` denies in `folder`, n = 1 .. 999. False when all are
// taken (nothing is ever written over) or the name does not fit.
bool FindCaptureName(const wchar_t* folder, int32_t format, int (*exists)(const wchar_t* path),
                     wchar_t* name, size_t nameCapacity);
