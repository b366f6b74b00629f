// The rewrites of a user's file in place that the rewrite tests run each
// case through: a lossless turn, an IPTC edit, and a save over the picture
// as a convert makes it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imagelib/imagelib.h"
#include "iptcfixtures.h"
#include "processing/iptcjpeg.h"
#include "processing/lossless.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace rewritetest {

struct Rewrite {
    const char* name;
    std::function<bool(const std::wstring& path)> run;  // true when it reports success
};

inline bool SaveOver(const std::wstring& path) {
    testing_support::EnsureFormatRegistry();
    LoadOptions load;
    InitLoadOptions(&load);
    testing_support::LoadedPicture picture;
    if (LoadPictureFromFile(path.c_str(), &picture.bitmap, &load, nullptr) != kLoadOk) return false;
    SaveOptions save;
    InitSaveOptions(&save);
    save.formatIndex = int16_t(FindFormatByName("jpeg"));
    save.quality = 50;
    return SavePictureToFile(path.c_str(), &picture.bitmap, &save) == 0;
}

// A camera picture (JFIF and EXIF) copied into `dir` under `name`.
inline std::wstring CopyPicture(const testing_support::ScratchDir& dir, const std::string& name) {
    const std::wstring path = dir.File(name);
    testing_support::WriteBytes(path, testing_support::ReadBytes(iptctest::Fixture("camera.jpg")));
    return path;
}

inline const std::vector<Rewrite>& Rewrites() {
    static const std::vector<Rewrite> rewrites = {
        {"lossless turn",
         [](const std::wstring& p) { return TransformJpegFileInPlace(p.c_str(), kLosslessRotate180, 1, 0) == 1; }},
        {"IPTC edit",
         [](const std::wstring& p) {
             iptctest::Record record;
             return IptcSetText(record.get(), 120, "rewritten", 9) == 1 &&
                    IptcWriteJpegFile(p.c_str(), record.get()) == kIptcWriteDone;
         }},
        {"save over it", SaveOver},
    };
    return rewrites;
}

}  // namespace rewritetest
