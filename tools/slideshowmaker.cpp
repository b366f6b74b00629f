// The stand-alone slideshow maker. Portable: no platform headers.
#include "tools/slideshowmaker.h"

#include <string>
#include <vector>

#include "imagelib/imagelib.h"

namespace {

constexpr char kShowMagicText[] = "TRELMO-SCR";
constexpr uint32_t kShowReserved = 0xFFFFFFFFu;
// Flag bits the maker sets: pictures are already turned by the conversion.
constexpr uint32_t kMakerTransitions = 0x01;
constexpr uint32_t kMakerSound = 0x08;
constexpr uint32_t kMakerLoop = 0x10;

}  // namespace

int FileAppendCopy(PictureFile* out, const wchar_t* path, int64_t* copied) {
    *copied = 0;
    FileSource where;
    InitFileSource(&where, path);
    PictureFile* in = OpenPictureFile(&where, kOpenReadBinary);
    if (!in) return 0;
    uint8_t block[4096];
    size_t got;
    while ((got = ReadFileBytes(in, block, sizeof block)) > 0) {
        WriteFileBytes(out, block, got);
        *copied += int64_t(got);
    }
    const bool readError = in->error != 0;
    ClosePictureFile(in);
    return readError ? 0 : 1;
}

int ExeSlideshowAppendPicture(PictureFile* out, const wchar_t* path, const AlbumOptions& options,
                              const AlbumWriteEnv& env) {
    ImageInfo info{};
    const int known = QueryPictureInfo(path, -1, kLoadExtensionOnly, &info);
    FreePictureInfo(&info);
    if (known != 0) return 0;
    const std::wstring temp = std::wstring(env.tempFolder) + L"trelmo_temporary.tmp";
    if (!SlideshowConvertPictureForScreen(path, temp.c_str(), options, env.screenWidth, env.screenHeight)) {
        DeletePictureFile(temp.c_str());
        return 0;
    }
    int64_t copied;
    const int appended = FileAppendCopy(out, temp.c_str(), &copied);
    DeletePictureFile(temp.c_str());
    // A copy that broke off part way has written bytes: the caller must not
    // carry on as if nothing was appended.
    if (!appended) return copied ? -1 : 0;
    return 1;
}

int WriteExeSlideshowFile(const wchar_t* const* paths, int32_t count, const AlbumOptions& options,
                          uint32_t background, AlbumProgressCallback progress, uintptr_t user,
                          const ExeSlideshowEnv& env) {
    if (count < 1) return kExeSlideshowNoPictures;
    FileReplacement show;
    if (show.Begin(std::wstring(options.outputFolder) + options.outputFile, L"exe") != FileReplacement::kReady)
        return kExeSlideshowCannotCreate;
    FileSource where;
    InitFileSource(&where, show.temp().c_str());
    PictureFile* out = OpenPictureFile(&where, kOpenCreateUpdateBinary);
    if (!out) return kExeSlideshowCannotCreate;
    auto abandon = [&](int result) {
        ClosePictureFile(out);
        return result;
    };

    int64_t stubSize;
    if (!FileAppendCopy(out, env.stubPath, &stubSize) || stubSize == 0) return abandon(kExeSlideshowNoStub);

    // The sound's size is written as copied, so a file that changes while it
    // is read cannot leave a header that disagrees with the bytes.
    const bool wantSound = options.sound && options.soundFile[0];
    FileSource soundWhere;
    InitFileSource(&soundWhere, options.soundFile);
    PictureFile* sound = wantSound ? OpenPictureFile(&soundWhere, kOpenReadBinary) : nullptr;
    if (sound) ClosePictureFile(sound);
    uint32_t flags = (options.transitions ? kMakerTransitions : 0) | (options.loop ? kMakerLoop : 0);
    if (sound) flags |= kMakerSound;

    WriteFileBytes(out, kShowMagicText, sizeof kShowMagicText - 1);
    WriteUInt32Le(flags, out);
    WriteUInt32Le(uint32_t(options.delay), out);
    WriteUInt32Le(background, out);
    WriteUInt32Le(kShowReserved, out);
    if (sound) {
        const int64_t sizeAt = TellPictureFile(out);
        WriteUInt32Le(0, out);
        int64_t copied;
        if (!FileAppendCopy(out, options.soundFile, &copied) || copied > int64_t(UINT32_MAX))
            return abandon(kExeSlideshowWriteFailed);
        const int64_t end = TellPictureFile(out);
        SeekPictureFile(out, sizeAt, SEEK_SET);
        WriteUInt32Le(uint32_t(copied), out);
        SeekPictureFile(out, end, SEEK_SET);
    }
    // The table is reserved for every picture; pictures that fail are left
    // out of it and the count rewritten, so no offset repeats or points past
    // the end. Unused slots stay zero, before the first picture.
    const int64_t countAt = TellPictureFile(out);
    WriteUInt32Le(uint32_t(count), out);
    const std::vector<uint8_t> zeros(size_t(count) * 4, 0);
    WriteFileBytes(out, zeros.data(), zeros.size());
    if (PictureFileFailed(out)) return abandon(kExeSlideshowWriteFailed);

    std::vector<uint32_t> offsets;
    const int32_t total = count + 1;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t offset = TellPictureFile(out);
        if (progress && !progress(user, paths[i], i, total)) return abandon(kExeSlideshowCancelled);
        if (offset > int64_t(UINT32_MAX)) return abandon(kExeSlideshowWriteFailed);
        const int appended = ExeSlideshowAppendPicture(out, paths[i], options, env.album);
        if (appended < 0 || PictureFileFailed(out)) return abandon(kExeSlideshowWriteFailed);
        if (appended) offsets.push_back(uint32_t(offset));
    }
    SeekPictureFile(out, countAt, SEEK_SET);
    WriteUInt32Le(uint32_t(offsets.size()), out);
    for (uint32_t offset : offsets) WriteUInt32Le(offset, out);
    if (PictureFileFailed(out)) return abandon(kExeSlideshowWriteFailed);
    if (ClosePictureFileChecked(out) != 0 || show.Commit() != 0) return kExeSlideshowWriteFailed;
    if (progress) progress(user, L"", count, total);
    return kExeSlideshowWritten;
}
