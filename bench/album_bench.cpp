// Making an album of 50 camera-sized JPEGs (2592 x 1944, one picture copied
// 50 times, made with ImageMagick at start), fitted into 320 x 240:
//  - BM_AlbumWrite: the whole album writer, per picture (counter ms/picture).
//  - Its parts on the same pictures: BM_AlbumDecode (the load as the writer
//    makes it: DCT-scaled towards the box and fitted on load),
//    BM_AlbumEncodeAndArchive (JPEG save of the small picture and adding it
//    to the archive); and for reference the way without reduced decoding,
//    BM_AlbumDecodeFull (the whole picture) and BM_AlbumResizeFull (its
//    resample into the box).
//  Times are wall-clock, as the peer's are.
//  - Peer: BM_PeerVipsthumbnailZip, one vipsthumbnail process for the 50
//    files into 320 x 240 and Info-ZIP's zip of the results.
// Peers run as subprocesses, timed around the call (UseManualTime).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "display/album.h"
#include "imagelib/imagelib.h"
#include "peer.h"
#include "imagelib/geometry.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPictures = 50;

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

struct Folder {
    fs::path dir;
    std::vector<std::wstring> files;
    std::vector<const wchar_t*> pointers;
    bool ok = false;
};

const Folder& Pictures() {
    static Folder f = [] {
        Folder made;
        made.dir = fs::temp_directory_path() / ("pv-album-bench-" + std::to_string(getpid()));
        fs::create_directories(made.dir);
        const fs::path first = made.dir / "p00.jpg";
        const std::string make = "convert -size 2592x1944 plasma:fractal -seed 7 -quality 90 " + Quote(first) +
                                 " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return made;
        for (int i = 0; i < kPictures; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "p%02d.jpg", i);
            if (i) fs::copy_file(first, made.dir / name, fs::copy_options::overwrite_existing);
            made.files.push_back(Utf8ToWide((made.dir / name).string().c_str()));
        }
        for (const auto& w : made.files) made.pointers.push_back(w.c_str());
        made.ok = true;
        InitFormatRegistry();
        return made;
    }();
    return f;
}

fs::path Out(const char* name) { return Pictures().dir / "out" / name; }

void PerPicture(benchmark::State& state) {
    state.counters["ms/picture"] = benchmark::Counter(
        double(kPictures) / 1000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_AlbumWrite(benchmark::State& state) {
    const Folder& f = Pictures();
    if (!f.ok) return state.SkipWithError("could not make the pictures");
    fs::create_directories(Out(""));
    AlbumOptions o{};
    o.delay = 5;
    o.sizeIndex = 2;
    o.jpegQuality = 80;
    std::wcscpy(o.outputFolder, Utf8ToWide((Out("").string()).c_str()).c_str());
    std::wcscpy(o.outputFile, L"bench.alb");
    const std::wstring temp = o.outputFolder;
    const AlbumWriteEnv env{temp.c_str(), 240, 320};
    for (auto _ : state)
        if (AlbumWriteFile(f.pointers.data(), kPictures, o, nullptr, 0, env) != kAlbumWritten)
            return state.SkipWithError("album not written");
    PerPicture(state);
}

void Decode(benchmark::State& state, bool reduced) {
    const Folder& f = Pictures();
    if (!f.ok) return state.SkipWithError("could not make the pictures");
    for (auto _ : state)
        for (const wchar_t* file : f.pointers) {
            LoadOptions load;
            InitLoadOptions(&load);
            load.flags |= kLoadPreferThreeBytes;
            if (reduced) {
                ImageInfo info{};
                QueryPictureInfo(file, -1, 0, &info);
                FreePictureInfo(&info);
                load.flags |= kLoadReduced;
                load.embeddedThumbnailMode = 0;
                load.targetWidth = 320;
                load.targetHeight = 240;
            }
            Bitmap b{};
            LoadPictureFromFile(file, &b, &load, nullptr);
            FreeBitmap(&b);
        }
    PerPicture(state);
}

void BM_AlbumDecode(benchmark::State& state) { Decode(state, true); }
void BM_AlbumDecodeFull(benchmark::State& state) { Decode(state, false); }

void BM_AlbumResizeFull(benchmark::State& state) {
    const Folder& f = Pictures();
    if (!f.ok) return state.SkipWithError("could not make the pictures");
    LoadOptions load;
    InitLoadOptions(&load);
    load.flags |= kLoadPreferThreeBytes;
    Bitmap big{};
    LoadPictureFromFile(f.pointers[0], &big, &load, nullptr);
    for (auto _ : state)
        for (int i = 0; i < kPictures; ++i) {
            Bitmap small{};
            BitmapResample(&big, &small, 320, 240, 0);
            FreeBitmap(&small);
        }
    FreeBitmap(&big);
    PerPicture(state);
}

void BM_AlbumEncodeAndArchive(benchmark::State& state) {
    const Folder& f = Pictures();
    if (!f.ok) return state.SkipWithError("could not make the pictures");
    fs::create_directories(Out(""));
    LoadOptions load;
    InitLoadOptions(&load);
    load.flags |= kLoadPreferThreeBytes;
    Bitmap big{}, small{};
    LoadPictureFromFile(f.pointers[0], &big, &load, nullptr);
    BitmapResample(&big, &small, 320, 240, 0);
    FreeBitmap(&big);
    SaveOptions save;
    InitSaveOptions(&save);
    save.formatIndex = int16_t(FindFormatByName("jpeg"));
    save.quality = 80;
    const std::wstring temp = Utf8ToWide(Out("temp.jpg").string().c_str());
    const std::wstring archive = Utf8ToWide(Out("parts.alb").string().c_str());
    for (auto _ : state) {
        ZipHandle* zip = CreateZipFile(archive.c_str(), nullptr);
        for (int i = 0; i < kPictures; ++i) {
            SavePictureToFile(temp.c_str(), &small, &save);
            wchar_t name[8];
            std::swprintf(name, 8, L"%04d", i);
            ZipAddFile(zip, name, temp.c_str());
        }
        CloseZipWriter(zip);
    }
    FreeBitmap(&small);
    PerPicture(state);
}

void BM_PeerVipsthumbnailZip(benchmark::State& state) {
    const Folder& f = Pictures();
    if (!f.ok) return state.SkipWithError("could not make the pictures");
    const fs::path peer = f.dir / "peer";
    fs::create_directories(peer);
    std::string command = "vipsthumbnail";
    for (const std::wstring& file : f.files) command += " " + Quote(WideToUtf8(file.c_str()));
    command += " -s 320x240 -o " + Quote(peer / "%s.jpg[Q=80]") + " && cd " + Quote(peer) +
               " && rm -f peer.zip && zip -q peer.zip *.jpg";
    bench_support::TimePeerCommand(state, command + " >/dev/null 2>&1");
    PerPicture(state);
}

}  // namespace

BENCHMARK(BM_AlbumWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_AlbumDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_AlbumEncodeAndArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_AlbumDecodeFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_AlbumResizeFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PeerVipsthumbnailZip)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK_MAIN();
