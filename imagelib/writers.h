// The writer entries and writer option functions of the format table. A
// writer not built yet is a null entry here.
#pragma once

#include "formats.h"
#include "writers/jpegwriter.h"
#include "writers/pngwriter.h"

constexpr FormatWriteFn kWriteJpeg = WriteJpeg;
constexpr FormatWriteFn kWriteTga = nullptr;
constexpr FormatWriteFn kWriteBmp = nullptr;
constexpr FormatWriteFn kWriteGif = nullptr;
constexpr FormatWriteFn kWritePng = WritePng;
constexpr FormatOptionsFn kOptionsJpeg = GetJpegWriterOptions;
constexpr FormatOptionsFn kOptionsGif = nullptr;
constexpr FormatOptionsFn kOptionsPng = PngWriterOptions;
