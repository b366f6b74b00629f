// The stand-alone slideshow maker: a copy of the player program with a show
// appended (the layout is described in player/showfile.h): the header, an
// optional wave sound and the pictures re-encoded for the screen as the
// album's are.
//
// Portable: no platform headers; WriteExeSlideshow (slideshowmaker_win.h)
// adds the messages and the player's location.
#pragma once

#include <cstdint>

#include "display/album.h"
#include "imagelib/fileio.h"

enum ExeSlideshowResult : int {
    kExeSlideshowWritten = 0,
    kExeSlideshowCannotCreate = 1,  // the output could not be made
    kExeSlideshowNoStub = 2,        // the player program could not be read
    kExeSlideshowCancelled = 3,     // the progress callback asked to stop
    kExeSlideshowWriteFailed = 4,   // a write failed (a full card, say)
    kExeSlideshowNoPictures = 5,    // an empty picture list
};

// Where the maker finds the player and puts its temporary picture.
struct ExeSlideshowEnv {
    const wchar_t* stubPath;  // the player program, "slide.exe" beside the viewer
    AlbumWriteEnv album;      // temporary folder and screen
};

// Writes the slideshow at the options' output folder + output file name.
// Pictures that cannot be read or converted are left out of the table (the
// count says how many are in it); the file is made beside its final name and
// replaces an older one only once complete (FileReplacement: a read-only
// older file is refused, its permissions are kept). Nothing is left behind
// on failure or cancel.
int WriteExeSlideshowFile(const wchar_t* const* paths, int32_t count, const AlbumOptions& options,
                          uint32_t background, AlbumProgressCallback progress, uintptr_t user,
                          const ExeSlideshowEnv& env);

// Appends the whole file at `path`; its byte count goes to *copied. 0 when
// the file cannot be opened or read, else 1 (a failed write shows in the
// output's error flag).
int FileAppendCopy(PictureFile* out, const wchar_t* path, int64_t* copied);

// Converts one picture and appends it: 1 when appended, 0 when it could not
// be read or converted (nothing written), -1 when the copy broke off part way.
int ExeSlideshowAppendPicture(PictureFile* out, const wchar_t* path, const AlbumOptions& options,
                              const AlbumWriteEnv& env);
