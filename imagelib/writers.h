// The writer entries and writer option functions of the format table. A
// writer not built yet is a null entry here.
#pragma once

#include "formats.h"
#include "writers/jpegwriter.h"
#include "writers/pngwriter.h"

constexpr FormatWriteFn kWriteJpeg = WriteJpeg;
int WriteTarga(FileSource* source, SaveContext* ctx);
constexpr FormatWriteFn kWriteTga = WriteTarga;
int WriteBmp(FileSource* source, SaveContext* ctx);
constexpr FormatWriteFn kWriteBmp = WriteBmp;
int WriteGif(FileSource* source, SaveContext* ctx);
constexpr FormatWriteFn kWriteGif = WriteGif;
constexpr FormatWriteFn kWritePng = WritePng;
constexpr FormatOptionsFn kOptionsJpeg = GetJpegWriterOptions;
void GetGifWriterOptions(FormatCapability* records, const FormatRow* row);
constexpr FormatOptionsFn kOptionsGif = GetGifWriterOptions;
constexpr FormatOptionsFn kOptionsPng = PngWriterOptions;
