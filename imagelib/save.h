// Saving a Bitmap in one of the registry's formats.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bitmap.h"

// Writes `bitmap` in the format options->formatIndex names, to the file
// `fileName` or, without a name, to `stream` (which stays open).
//
// A named file is written beside its final name and moves into place only
// when the writer succeeded, so a failed save never leaves a partial file nor
// destroys the file it would have replaced. A name that is a device or a
// symbolic link is written in place.
//
// With kSaveSetExtension (0x40) the name gets the format's extension; with
// kSaveCopyNameBack (0x80) that name is also copied into `nameOut`, which
// holds `nameOutCapacity` wide characters. A name that would not fit there is
// refused with 5 before anything is written.
//
// Results (SaveResult in savecontext.h): 0 done, 1 out of memory, 5 cannot
// create, 6 a write failed, 7 the format does not take this picture (or the
// bitmap is not a valid picture), 8 no such format or no writer, 11 JPEG
// library error, 15 cancelled by the progress callback.
int SavePicture(const wchar_t* fileName, FILE* stream, const Bitmap* bitmap, const SaveOptions* options,
                wchar_t* nameOut = nullptr, size_t nameOutCapacity = 0);
int SavePictureToFile(const wchar_t* fileName, const Bitmap* bitmap, const SaveOptions* options,
                      wchar_t* nameOut = nullptr, size_t nameOutCapacity = 0);

// Bits needed for a colour count: below 3 gives 1, below 5 2, below 9 3,
// below 17 4, below 33 5, below 65 6, below 129 7, else 8.
int BitsForColourCount(int32_t colourCount);
