// What the ZIP fuzz targets share: the reader's result codes.
#pragma once

#include <cstdint>

#include "zip/zip.h"

namespace fuzzing {

// True for every code a reader operation may give.
inline bool IsZipReaderCode(uint32_t r) {
    switch (r) {
        case kZipOk: case kZipCannotOpen: case kZipNoMemory: case kZipWriteFailed: case kZipNotFound:
        case kZipMoreData: case kZipBadLocalHeader: case kZipBadLocalExtra: case kZipBadPassword:
        case kZipBadArguments: case kZipDataError:
            return true;
        default:
            return false;
    }
}

}  // namespace fuzzing
