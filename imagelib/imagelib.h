// The image library: the chief header for its users (browser, view, tools,
// player). Readers and writers include the context headers directly.
#pragma once

#include "bitmap.h"
#include "fileio.h"
#include "formats.h"
#include "load.h"
#include "loadcontext.h"
#include "metadata.h"
#include "save.h"
#include "textutil.h"
#include "writers/jpegwriter.h"  // EncodeJpegBuffer
