// The rewrites of a JPEG file by name on arbitrary bytes: a lossless
// transform into another file and in place (the transform, trim, Orientation
// reset and a crop chosen by the input's first byte) and an IPTC edit. Each
// either reports success or leaves every file as it was and nothing beside
// it; a transformed file is a JPEG the reader takes.
//
// The files live in a folder of this process's own, so whatever a rewrite
// leaves there is seen. The load budget, which also bounds the transforms'
// coefficient buffers, is lowered so that large declared pictures fail fast.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imagelib/fileio.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "processing/iptc.h"
#include "processing/iptcjpeg.h"
#include "processing/lossless.h"
#include "tempfiles.h"

namespace {

constexpr uint64_t kFuzzBudget = uint64_t(64) << 20;

void Check(bool ok) {
    if (!ok) std::abort();
}

// A folder of this process's own beside the scratch stem; empty when none
// could be made.
const std::wstring& Folder() {
    static const std::wstring folder = [] {
        const std::wstring stem = fuzzing::ScratchStem();
        if (stem.empty() || MakeWideFolder((stem + L"_rewrite").c_str()) != 0) return std::wstring();
        return stem + L"_rewrite/";
    }();
    return folder;
}

std::vector<uint8_t> ReadAll(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    FILE* f = OpenWidePath(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

bool WriteAll(const std::wstring& path, const uint8_t* data, size_t size) {
    FILE* f = OpenWidePath(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}

size_t FilesInFolder() {
    std::error_code ec;
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(Folder()), ec))
        (void)entry, ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool setUp = (InitFormatRegistry(), SetLoadMemoryBudget(kFuzzBudget), true);
    (void)setUp;
    if (size < 2 || Folder().empty()) return 0;
    const uint8_t knobs = data[0];
    const int code = knobs & 7;
    const int trim = (knobs >> 3) & 1;
    const int reset = (knobs >> 4) & 1;
    const bool crop = (knobs >> 5) & 1;
    ++data;
    --size;
    const std::wstring path = Folder() + L"photo.jpg";
    const std::wstring out = Folder() + L"turned.jpg";
    if (!WriteAll(path, data, size)) return 0;

    // Into another file.
    const int turned =
        TransformJpegLosslessly(path.c_str(), out.c_str(), crop ? 8 : 0, crop ? 8 : 0, crop ? 24 : 0, crop ? 16 : 0,
                                code, trim, reset);
    Check(turned == 0 || turned == 1);
    Check(FilesInFolder() == (turned ? 2u : 1u));
    if (turned) {
        ImageInfo info;
        Check(QueryPictureInfo(out.c_str(), kFormatJpeg, 0, &info) == kLoadOk);
        FreePictureInfo(&info);
        DeletePictureFile(out.c_str());
    }
    Check(ReadAll(path) == std::vector<uint8_t>(data, data + size));

    // In place.
    if (TransformJpegFileInPlace(path.c_str(), code, trim, reset) == 0)
        Check(ReadAll(path) == std::vector<uint8_t>(data, data + size));
    Check(FilesInFolder() == 1);

    // An IPTC edit of whatever the file now holds.
    const std::vector<uint8_t> before = ReadAll(path);
    IptcRecord record{};
    IptcSetText(&record, 120, "caption", 7);
    if (IptcWriteJpegFile(path.c_str(), &record) != kIptcWriteDone) Check(ReadAll(path) == before);
    IptcFree(&record);
    Check(FilesInFolder() == 1);
    DeletePictureFile(path.c_str());
    return 0;
}
