// Album files: a ZIP archive (".alb") holding a slideshow, made of the
// pictures re-encoded as JPEG files fitted to a box, an optional sound file,
// and a text entry "config" with the show's settings:
//
//   #Trelmo Album
//   count = <pictures, plus 1 with a sound entry>
//   0000,<picture's file name>          one line per picture
//   0004,<sound file's full path>       only with a sound entry
//   Delay = 5
//   Size = 2  Fit = 0  Rotate = 0  AutoL = 0  JPEGQ = 80   (one per line)
//   Transitions = 1
//   Loop = 1
//   Audio = 1
//
// Lines end in a line feed; names are 8-bit text in the Windows code page.
// Entries "0000", "0001", ... hold the pictures; a picture whose conversion
// failed has no entry (its line stays). The sound entry follows them
// unchanged.
//
// Also the per-picture conversion shared with the stand-alone slideshow
// maker. Portable: no platform headers; the Win32 wrappers that show
// messages live in album_win.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "zip/zip.h"

constexpr int kAlbumPathChars = 260;

// What the album wizard collects; both writers take it.
struct AlbumOptions {
    int32_t delay;        // seconds between pictures
    int32_t sizeIndex;    // box: 1 240x180, 2 320x240, 3 640x480, 4 800x600, 5 1024x768, else none
    int32_t fit;          // 1: enlarge pictures smaller than the box too
    int32_t rotate;       // on a portrait screen turn landscape pictures: 1 by -90, 2 by +90 degrees
    int32_t autoLevels;
    int32_t jpegQuality;  // 1..100
    int32_t transitions;
    int32_t sound;
    int32_t loop;
    wchar_t soundFile[kAlbumPathChars];
    wchar_t outputFolder[kAlbumPathChars];  // ends with a separator
    wchar_t outputFile[kAlbumPathChars];
};

// Progress of a writer: (user value, path in hand or "" at the end, index,
// total = picture count + 1). Returns 0 to cancel.
using AlbumProgressCallback = int (*)(uintptr_t user, const wchar_t* path, int32_t index, int32_t total);

// Where a writer may put its temporary files and what screen the show is
// for (rotation applies only on a portrait screen).
struct AlbumWriteEnv {
    const wchar_t* tempFolder;  // ends with a separator
    int32_t screenWidth;
    int32_t screenHeight;
};

enum AlbumWriteResult : int {
    kAlbumWritten = 0,
    kAlbumCannotCreate = 1,   // the archive or the temporary config could not be made
    kAlbumCancelled = 2,      // the progress callback asked to stop; nothing is left behind
    kAlbumWriteFailed = 3,    // adding an entry or finishing the archive failed; nothing is left behind
};

// Box of a size index; false for "no box".
bool AlbumBoxOfSize(int32_t sizeIndex, int32_t* width, int32_t* height);

// The part of a path after its last separator ("\" or "/").
const wchar_t* AlbumFileNamePart(const wchar_t* path);

// The "config" text for the pictures and options. The sound line is written
// (and counted, and "Audio = 1" recorded) only when the sound flag is set and
// a sound path given.
std::string AlbumBuildConfig(const wchar_t* const* paths, int32_t count, const AlbumOptions& options);

// Writes the album at output folder + output file name. The archive is made
// beside the final name and replaces an older file only once complete
// (FileReplacement: a read-only older file is refused, its permissions are
// kept); a cancelled or failed write leaves the older file as it was.
int AlbumWriteFile(const wchar_t* const* paths, int32_t count, const AlbumOptions& options,
                   AlbumProgressCallback progress, uintptr_t user, const AlbumWriteEnv& env);

// The load of every picture that goes into an album or onto a show's
// screen. The program installs one that turns pictures upright (the shell's,
// which reads their orientation); null restores the default, the plain
// LoadPictureFromFile. Set once at start-up, before any album is made.
using AlbumPictureLoader = int (*)(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options);
void SetAlbumPictureLoader(AlbumPictureLoader loader);
// Loads with the installed loader; the load result code.
int AlbumLoadPicture(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options);

// Converts one picture to the album's JPEG: fitted into the box, turned on a
// portrait screen when asked, saved with the options' quality. 1 when the
// JPEG was written, else 0.
int SlideshowConvertPictureForScreen(const wchar_t* source, const wchar_t* destination, const AlbumOptions& options,
                                     int32_t screenWidth, int32_t screenHeight);

// ---------------------------------------------------------------------------
// Reading an album back

enum AlbumSoundKind : int32_t { kAlbumSoundOther = 0, kAlbumSoundWave = 1, kAlbumSoundMp3 = 2 };

// Limits on a received album: entry names are four digits, so no more
// entries than that; the config itself is a few lines per entry.
constexpr int32_t kAlbumMaxEntries = 10000;
constexpr size_t kAlbumMaxConfigBytes = 4u << 20;

// What the show needs of "config".
struct AlbumShowConfig {
    int32_t delay = 0;
    int32_t transitions = 0;
    int32_t sound = 0;
    int32_t loop = 0;
    std::vector<std::wstring> names;  // picture entries, in show order
    std::wstring soundName;           // the sound entry, empty without one
    int32_t soundKind = kAlbumSoundOther;
};

// Parses a config text. Returns 1 on success, 0 when the header or count is
// wrong, the text ends before the listed entries, an entry name is not a
// plain name (empty, "." or "..", a separator or a drive colon, longer than
// 259 characters, a device name or a name Windows strips: IsReservedFileName),
// or the count is above the limits.
int AlbumParseConfigText(const uint8_t* data, size_t size, AlbumShowConfig* config);
// The same for a config file.
int AlbumParseConfig(const wchar_t* path, AlbumShowConfig* config);
// Finds "config" in the archive (exact case) and parses it. 1 or 0.
int AlbumReadConfig(ZipHandle* archive, AlbumShowConfig* config);
