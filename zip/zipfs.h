// What the ZIP layer adds to the file calls of imagelib/osfile.h (included
// here): writing a file by name through a replacement beside it, folder
// checks, and whether a stream can seek.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imagelib/fileio.h"
#include "imagelib/osfile.h"

// Writing a file by name without losing or weakening the one already there
// (FileReplacement in imagelib/fileio.h). Opens the new file beside the file
// `path` leads to (with FileReplacement::kReplaceLinks: beside a link at
// `path`, which it replaces); *replacement gets the replacement (new'd). A
// path that names a device is opened itself, leaving *replacement null. Null
// when the file cannot be made, or the existing file is read-only or has
// other names.
FILE* ZipOpenReplacement(const wchar_t* path, FileReplacement** replacement,
                         FileReplacement::Links links = FileReplacement::kFollowLinks);
// Ends a replacement after its stream was closed: with `keep`, commits it (0
// done; -1 when it could not, and then the new file is removed); without,
// removes the new file. Deletes and clears *replacement; nothing to do when
// it is null.
int ZipEndReplacement(FileReplacement** replacement, bool keep);
bool ZipPathIsFolder(const wchar_t* path);
// True when the stream is a regular file that can seek; *position gets its
// current position.
bool ZipStreamCanSeek(FILE* stream, uint64_t* position);
