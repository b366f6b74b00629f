// What the ZIP layer adds to the file calls of imagelib/osfile.h (included
// here): writing a file by name through a replacement beside it, folder
// checks, and whether a stream can seek.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imagelib/osfile.h"

// Writing a file by name without losing the one already there. Opens a new
// file beside `path` for writing; *temp gets its name (malloc'd). A path
// that names something other than a plain file (a device, a link) is opened
// itself, leaving *temp null. Null when the file cannot be made, or when the
// existing file could not be opened for writing.
FILE* ZipOpenReplacement(const wchar_t* path, wchar_t** temp);
// Ends a replacement after its stream was closed: with `keep`, moves the new
// file over `path` (ReplaceWithTemp: 0 done; -1 when it could not, and then
// the new file is removed); without, removes the new file. Frees and clears
// *temp; nothing to do when it is null.
int ZipEndReplacement(wchar_t** temp, const wchar_t* path, bool keep);
bool ZipPathIsFolder(const wchar_t* path);
// True when the stream is a regular file that can seek; *position gets its
// current position.
bool ZipStreamCanSeek(FILE* stream, uint64_t* position);
