// The facts the image properties sheet shows for a picture file, as texts.
//
// Portable: no platform headers. The sheet is properties_win.h.
#pragma once

#include <string>

#include "imagelib/loadcontext.h"

struct PictureFacts {
    std::wstring type;        // the format's short name, upper-cased
    std::wstring dimensions;  // "W x H"
    std::wstring colours;     // 2 to the bits of one plane ("0" from 32 bits), "16M" for several planes
    std::wstring dpi;         // "X x Y", "72 x 72" without a resolution
    std::wstring comment;
};
PictureFacts DescribePicture(const ImageInfo& info);
