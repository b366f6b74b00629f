// Album files: writing the archive and its config, converting pictures for a
// show, and parsing a received config. Portable: no platform headers.
#include "display/album.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>

#include "imagelib/bytereader.h"
#include "imagelib/imagelib.h"
#include "processing/adjust.h"
#include "processing/reduce.h"
#include "imagelib/geometry.h"
#include "zip/zipname.h"

namespace {

constexpr char kAlbumHeader[] = "#Trelmo Album";
constexpr size_t kAlbumHeaderLength = sizeof kAlbumHeader - 1;

// Wide text as 8-bit Windows-1252; characters without a form there become
// "?" (the platform's conversion does the same).
std::string ToAnsi(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; *p; ++p) {
        const wchar_t one[2] = {*p, 0};
        std::string c;
        out += EncodeCp1252Name(one, &c) ? c : std::string("?");
    }
    return out;
}

std::wstring FromAnsi(const std::string& text) {
    std::vector<wchar_t> wide(text.size() + 1);
    DecodeZipName(text.c_str(), false, wide.data(), wide.size());
    return std::wstring(wide.data());
}

std::wstring EntryName(int32_t index) {
    wchar_t name[16];
    std::swprintf(name, 16, L"%04d", int(index));
    return name;
}

bool HasSoundEntry(const AlbumOptions& options) { return options.sound && options.soundFile[0]; }

bool IsPlainEntryName(const std::wstring& name) {
    if (name.empty() || name.size() >= size_t(kAlbumPathChars) || name == L"." || name == L"..") return false;
    if (IsReservedFileName(name.c_str(), name.size())) return false;
    for (wchar_t c : name)
        if (IsZipSeparator(c) || c == L':') return false;
    return true;
}

// Matches "<key> = %d" as sscanf would (blanks around "=" optional); the
// number may be followed by anything.
bool MatchKeyNumber(const std::string& line, const char* key, int32_t* value) {
    int v = 0;
    const std::string format = std::string(key) + " = %d";
    if (std::sscanf(line.c_str(), format.c_str(), &v) != 1) return false;
    *value = v;
    return true;
}

bool ParseCount(const std::string& line, int32_t* count) { return MatchKeyNumber(line, "count", count); }

}  // namespace

bool AlbumBoxOfSize(int32_t sizeIndex, int32_t* width, int32_t* height) {
    static const int32_t kBoxes[5][2] = {{240, 180}, {320, 240}, {640, 480}, {800, 600}, {1024, 768}};
    if (sizeIndex < 1 || sizeIndex > 5) return false;
    *width = kBoxes[sizeIndex - 1][0];
    *height = kBoxes[sizeIndex - 1][1];
    return true;
}

const wchar_t* AlbumFileNamePart(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (IsZipSeparator(*p)) name = p + 1;
    return name;
}

std::string AlbumBuildConfig(const wchar_t* const* paths, int32_t count, const AlbumOptions& options) {
    const bool sound = HasSoundEntry(options);
    std::string text = std::string(kAlbumHeader) + "\n";
    char line[64];
    std::snprintf(line, sizeof line, "count = %d\n", int(count + (sound ? 1 : 0)));
    text += line;
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "%04d,", int(i));
        text += line + ToAnsi(AlbumFileNamePart(paths[i])) + "\n";
    }
    if (sound) {
        std::snprintf(line, sizeof line, "%04d,", int(count));
        text += line + ToAnsi(options.soundFile) + "\n";
    }
    const struct {
        const char* key;
        int32_t value;
    } keys[] = {
        {"Delay", options.delay},     {"Size", options.sizeIndex},   {"Fit", options.fit},
        {"Rotate", options.rotate},   {"AutoL", options.autoLevels}, {"JPEGQ", options.jpegQuality},
        {"Transitions", options.transitions}, {"Loop", options.loop}, {"Audio", sound ? 1 : 0},
    };
    for (const auto& k : keys) {
        std::snprintf(line, sizeof line, "%s = %d\n", k.key, int(k.value));
        text += line;
    }
    return text;
}

namespace {

int PlainLoad(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options) {
    return LoadPictureFromFile(path, bitmap, options, nullptr);
}

AlbumPictureLoader g_pictureLoader = PlainLoad;

// The picture's size in the box: width to the box, then height to the box
// when it is still too tall (64-bit products: a hostile header may be huge).
void FitIntoBox(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t* outWidth,
                int32_t* outHeight) {
    int64_t w = boxWidth;
    int64_t h = int64_t(height) * boxWidth / width;
    if (h > boxHeight) {
        h = boxHeight;
        w = int64_t(width) * boxHeight / height;
    }
    *outWidth = int32_t(w < 1 ? 1 : w);
    *outHeight = int32_t(h < 1 ? 1 : h);
}

// Rotation applies on a portrait screen to landscape pictures.
int32_t TurnFor(const AlbumOptions& options, int32_t width, int32_t height, int32_t screenWidth,
                int32_t screenHeight) {
    if ((options.rotate != 1 && options.rotate != 2) || screenWidth >= screenHeight || width <= height) return 0;
    return options.rotate == 1 ? -90 : 90;
}

}  // namespace

void SetAlbumPictureLoader(AlbumPictureLoader loader) { g_pictureLoader = loader ? loader : PlainLoad; }

int AlbumLoadPicture(const wchar_t* path, Bitmap* bitmap, const LoadOptions* options) {
    return g_pictureLoader(path, bitmap, options);
}

int SlideshowConvertPictureForScreen(const wchar_t* source, const wchar_t* destination, const AlbumOptions& options,
                                     int32_t screenWidth, int32_t screenHeight) {
    int32_t boxWidth = 0, boxHeight = 0;
    const bool box = AlbumBoxOfSize(options.sizeIndex, &boxWidth, &boxHeight);

    LoadOptions load;
    InitLoadOptions(&load);
    load.flags |= kLoadPreferThreeBytes;
    // A picture that will shrink is decoded at a reduced scale that still
    // covers its size in the box (JPEG's DCT scaling: most of the time of
    // making an album of camera pictures); the exact size comes below.
    int32_t fullWidth = 0, fullHeight = 0;
    if (box) {
        ImageInfo info{};
        if (QueryPictureInfo(source, -1, 0, &info) == 0 && info.width > 0 && info.height > 0) {
            fullWidth = int32_t(info.width);
            fullHeight = int32_t(info.height);
        }
        FreePictureInfo(&info);
        int32_t w = boxWidth, h = boxHeight;
        if (TurnFor(options, fullWidth, fullHeight, screenWidth, screenHeight)) std::swap(w, h);
        if (fullWidth > w || fullHeight > h) {
            FitIntoBox(fullWidth, fullHeight, w, h, &load.targetWidth, &load.targetHeight);
            load.flags |= kLoadReduced;
            load.embeddedThumbnailMode = 0;
        }
    }
    Bitmap picture{};
    if (AlbumLoadPicture(source, &picture, &load) != 0) return 0;
    // The size before any reduction gives the size in the box, as a full
    // decode would have; a picture the loader turned upright has it turned.
    if (!(load.flags & kLoadReduced)) {
        fullWidth = picture.width;
        fullHeight = picture.height;
    } else if ((picture.width > picture.height) != (fullWidth > fullHeight) && picture.width != picture.height) {
        std::swap(fullWidth, fullHeight);
    }
    // Palette and grey pictures hold one byte a pixel, however few bits the
    // file used; the picture operations want the byte's depth.
    if ((picture.pixelType == kPixelPalette || picture.pixelType == kPixelGrey) && picture.bitsPerSample < 8)
        picture.bitsPerSample = 8;

    const int32_t turn = TurnFor(options, fullWidth, fullHeight, screenWidth, screenHeight);
    if (turn) std::swap(boxWidth, boxHeight);
    int ok = 1;
    if (box && (options.fit || fullWidth > boxWidth || fullHeight > boxHeight)) {
        int32_t width, height;
        FitIntoBox(fullWidth, fullHeight, boxWidth, boxHeight, &width, &height);
        if (width != picture.width || height != picture.height)
            ok = BitmapResample(&picture, nullptr, width, height, 0) == kGeometryDone;
    }
    if (ok && turn) ok = BitmapRotate(&picture, nullptr, turn, nullptr, 0) == kGeometryDone;
    // The JPEG writer takes true colour, grey and bilevel pictures only.
    if (ok && picture.pixelType == kPixelPalette) ok = BitmapReduceColours(&picture, nullptr, kColourRGB, 0) == 0;
    if (ok && options.autoLevels) ok = BitmapAutoLevels(&picture, nullptr, nullptr) == 0;

    if (ok) {
        SaveOptions save;
        InitSaveOptions(&save);
        save.formatIndex = int16_t(FindFormatByName("jpeg"));
        save.quality = int16_t(options.jpegQuality < 1 ? 1 : options.jpegQuality > 100 ? 100 : options.jpegQuality);
        ok = save.formatIndex >= 0 && SavePictureToFile(destination, &picture, &save) == 0;
    }
    FreeBitmap(&picture);
    return ok ? 1 : 0;
}

int AlbumWriteFile(const wchar_t* const* paths, int32_t count, const AlbumOptions& options,
                   AlbumProgressCallback progress, uintptr_t user, const AlbumWriteEnv& env) {
    FileReplacement album;
    if (album.Begin(std::wstring(options.outputFolder) + options.outputFile, L"alb") != FileReplacement::kReady)
        return kAlbumCannotCreate;
    ZipHandle* zip = CreateZipFile(album.temp().c_str(), nullptr);
    if (!zip) return kAlbumCannotCreate;
    auto abandon = [&](int result) {
        CloseZipWriter(zip);
        return result;
    };

    // The config goes through a file because the archive adds files; binary
    // mode keeps its line feeds as they are.
    const std::wstring temp = std::wstring(env.tempFolder) + L"trelmo_temp";
    {
        FileSource where;
        InitFileSource(&where, temp.c_str());
        PictureFile* file = OpenPictureFile(&where, kOpenWriteBinary);
        if (!file) return abandon(kAlbumCannotCreate);
        const std::string config = AlbumBuildConfig(paths, count, options);
        WriteFileBytes(file, config.data(), config.size());
        if (ClosePictureFileChecked(file) != 0) {
            DeletePictureFile(temp.c_str());
            return abandon(kAlbumCannotCreate);
        }
    }
    const uint32_t added = ZipAddFile(zip, L"config", temp.c_str());
    DeletePictureFile(temp.c_str());
    if (added != kZipOk) return abandon(kAlbumWriteFailed);

    const int32_t total = count + 1;
    for (int32_t i = 0; i < count; ++i) {
        if (progress && !progress(user, paths[i], i, total)) return abandon(kAlbumCancelled);
        if (SlideshowConvertPictureForScreen(paths[i], temp.c_str(), options, env.screenWidth, env.screenHeight)) {
            const uint32_t r = ZipAddFile(zip, EntryName(i).c_str(), temp.c_str());
            DeletePictureFile(temp.c_str());
            if (r != kZipOk) return abandon(kAlbumWriteFailed);
        }
    }
    if (HasSoundEntry(options)) {
        if (progress && !progress(user, options.soundFile, count, total)) return abandon(kAlbumCancelled);
        // A sound file that cannot be read leaves its line without an entry,
        // as a failed picture does; the show then plays silently.
        const uint32_t r = ZipAddFile(zip, EntryName(count).c_str(), options.soundFile);
        if (r != kZipOk && r != kZipCannotOpen) return abandon(kAlbumWriteFailed);
    }
    if (progress) progress(user, L"", count, total);
    if (CloseZipWriter(zip) != kZipOk) return kAlbumWriteFailed;
    return album.Commit() == 0 ? kAlbumWritten : kAlbumCannotCreate;
}

int AlbumParseConfigText(const uint8_t* data, size_t size, AlbumShowConfig* config) {
    *config = AlbumShowConfig{};
    if (!data || size > kAlbumMaxConfigBytes) return 0;
    // Lines of any length: a long one is one line, never two.
    size_t pos = 0;
    auto nextLine = [&](std::string* line) {
        if (pos >= size) return false;
        const void* nl = std::memchr(data + pos, '\n', size - pos);
        const size_t end = nl ? size_t(static_cast<const uint8_t*>(nl) - data) : size;
        line->assign(reinterpret_cast<const char*>(data + pos), end - pos);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        // A NUL ends the text as far as the number and key matching go.
        const size_t nul = line->find('\0');
        if (nul != std::string::npos) line->resize(nul);
        pos = nl ? end + 1 : size;
        return true;
    };

    std::string line;
    if (!nextLine(&line) || line.compare(0, kAlbumHeaderLength, kAlbumHeader) != 0) return 0;
    int32_t count = 0;
    if (!nextLine(&line) || !ParseCount(line, &count) || count < 1 || count > kAlbumMaxEntries) return 0;
    // Each listed entry takes at least two bytes of the text.
    if (size_t(count) > (size - pos) / 2 + 1) return 0;

    std::string lastValue;
    config->names.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        if (!nextLine(&line)) return 0;
        const size_t comma = line.find(',');
        const std::wstring name = FromAnsi(line.substr(0, comma));
        if (!IsPlainEntryName(name)) return 0;
        config->names.push_back(name);
        if (comma != std::string::npos) lastValue = line.substr(comma + 1);
    }
    while (nextLine(&line)) {
        if (line.compare(0, 5, "Delay") == 0) MatchKeyNumber(line, "Delay", &config->delay);
        else if (line.compare(0, 10, "Transition") == 0) MatchKeyNumber(line, "Transitions", &config->transitions);
        else if (line.compare(0, 5, "Audio") == 0) MatchKeyNumber(line, "Audio", &config->sound);
        else if (line.compare(0, 4, "Loop") == 0) MatchKeyNumber(line, "Loop", &config->loop);
    }
    if (config->sound) {
        config->soundName = config->names.back();
        config->names.pop_back();
        if (FindTextNoCase(lastValue.c_str(), ".mp3")) config->soundKind = kAlbumSoundMp3;
        else if (FindTextNoCase(lastValue.c_str(), ".wav")) config->soundKind = kAlbumSoundWave;
    }
    return 1;
}

int AlbumParseConfig(const wchar_t* path, AlbumShowConfig* config) {
    *config = AlbumShowConfig{};
    FileSource where;
    InitFileSource(&where, path);
    PictureFile* file = OpenPictureFile(&where, kOpenReadBinary);
    if (!file) return 0;
    std::vector<uint8_t> text;
    if (file->size >= 0 && size_t(file->size) <= kAlbumMaxConfigBytes) {
        text.resize(size_t(file->size));
        if (ReadFileBytes(file, text.data(), text.size()) != text.size()) text.clear();
    }
    ClosePictureFile(file);
    return text.empty() ? 0 : AlbumParseConfigText(text.data(), text.size(), config);
}

int AlbumReadConfig(ZipHandle* archive, AlbumShowConfig* config) {
    *config = AlbumShowConfig{};
    int32_t index = -1;
    ZipItem item;
    if (FindZipItem(archive, L"config", 0, &index, &item) != kZipOk) return 0;
    if (item.uncompressedSize == 0 || item.uncompressedSize > kAlbumMaxConfigBytes) return 0;
    // The first call fills the buffer with the whole item; the second must
    // find its end (and check the CRC), else the stated size was a lie.
    std::vector<uint8_t> text(item.uncompressedSize);
    if (UnzipItemToMemory(archive, index, text.data(), uint32_t(text.size())) != kZipMoreData) return 0;
    uint8_t extra;
    if (UnzipItemToMemory(archive, index, &extra, 1) != kZipOk) return 0;
    return AlbumParseConfigText(text.data(), text.size(), config);
}
