// The GIF reader's entry with its two caller parameters, for callers that
// read a GIF from an already open picture file (the format table reaches it
// through ReadGifEntry in readers.h).
#pragma once

#include <cstdint>

#include "../fileio.h"
#include "../loadcontext.h"

// Reads the image of the load's image index. A non-empty `description`
// replaces the built one; `headerWord` goes to the ImageHeader's
// headerExtra. Sets the load's image count to the images met. Returns a load
// result code: 2 when the file has no such image.
int ReadGif(PictureFile* file, LoadContext* ctx, const char* description, int16_t headerWord);
