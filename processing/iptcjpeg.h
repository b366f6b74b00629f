// Writing an IptcRecord into a JPEG file without recompressing it: the
// record goes into an APP13 segment as Photoshop resource 0x0404.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "iptc.h"

enum IptcWriteResult : int {
    kIptcWriteDone = 0,
    kIptcWriteNoMemory = 1,
    kIptcWriteCannotOpen = 3,    // the file cannot be read (or is no plain file)
    kIptcWriteNoPlace = 6,       // not a JPEG, or the new file cannot be written (also a read-only file, or one with other names)
    kIptcWriteTooLarge = 16,     // the record does not fit one APP13 segment
};

// Writes `record` into the JPEG file at `path`. The segment takes the place
// of the file's first Photoshop APP13 (keeping its other resources), else
// goes right before the first APP14, else right after the first of APP12 ..
// APP0 found in that order, else right before a baseline frame header, else
// right after the start-of-image marker. The file is rewritten through a
// FileReplacement: beside itself (beside the file a link leads to), replaced
// only when every byte was written and keeping its permissions; a read-only
// file is refused, and on any failure the file is left as it was.
int IptcWriteJpegFile(const wchar_t* path, const IptcRecord* record);
