// The PNG writer of the format table.
//
// Portable: no platform headers.
#pragma once

struct FileSource;
struct FormatCapability;
struct FormatRow;
struct PictureFile;
struct SaveContext;

// Writer of the "png" row: opens the file, writes it with WritePngStream and
// closes it; 5 when the file cannot be created, 6 when closing it fails.
int WritePng(FileSource* source, SaveContext* ctx);

// Writes the picture to an open file: 0 done, 1 out of memory, 6 a libpng
// error or a failed write, 7 a picture kind PNG cannot take, or the status of
// BeginWrite / GetScanlines (15 cancelled).
int WritePngStream(PictureFile* file, SaveContext* ctx);

// Accepted pixel types, in this order: four-byte, three-byte, grey, palette,
// bilevel.
void PngWriterOptions(FormatCapability* records, const FormatRow* row);
