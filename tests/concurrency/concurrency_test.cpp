// Several threads at once, each with its own files: saves, loads, reduced
// loads (thumbnails), archives written and read back, temporary names, and
// text lookups in one shared language file. Run natively under ASan/UBSan and
// in the ThreadSanitizer build (scripts/test.sh), which fails on any data
// race between the threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/fileio.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "shell/language.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"
#include "zip/zip.h"

namespace {

using testing_support::LoadedPicture;
using testing_support::OwnedBitmap;
using testing_support::ScratchDir;

constexpr int kThreads = 4;
constexpr int kRounds = 3;
constexpr int32_t kWidth = 96, kHeight = 64;
constexpr int32_t kThumbnailBox = 24;

// A picture that differs per thread, so that a mix-up between threads shows.
void MakePicture(Bitmap* b, int seed) {
    ASSERT_EQ(AllocBitmap(b, kPixelRGB, 4, kWidth, kHeight), 1);
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = b->pixels + size_t(y) * size_t(b->bytesPerRow);
        for (int32_t x = 0; x < kWidth; ++x) {
            row[3 * x] = uint8_t(x * 2 + seed * 40);
            row[3 * x + 1] = uint8_t(y * 3);
            row[3 * x + 2] = uint8_t(seed * 60);
        }
    }
}

// Everything one thread does in one round; failures are counted, not
// asserted, so that a failing thread still lets the others finish.
struct Worker {
    int id;
    ScratchDir* dir;
    const LanguageState* language;
    std::vector<std::string> failures;

    void Fail(const std::string& what) { failures.push_back("thread " + std::to_string(id) + ": " + what); }

    void SaveAndLoad(int round, const Bitmap& picture, int formatIndex, const char* extension) {
        const std::wstring name =
            dir->File("t" + std::to_string(id) + "_" + std::to_string(round) + "." + extension);
        SaveOptions save;
        InitSaveOptions(&save);
        save.formatIndex = int16_t(formatIndex);
        if (SavePictureToFile(name.c_str(), &picture, &save) != 0) return Fail(std::string("save ") + extension);
        // Saving again replaces the file in place.
        if (SavePictureToFile(name.c_str(), &picture, &save) != 0) return Fail(std::string("resave ") + extension);

        LoadOptions options;
        InitLoadOptions(&options);
        LoadedPicture full;
        full.result = LoadPictureFromFile(name.c_str(), &full.bitmap, &options, &full.info);
        if (full.result != kLoadOk || full.bitmap.width != kWidth || full.bitmap.height != kHeight)
            return Fail(std::string("load ") + extension);
        if (formatIndex != kFormatJpeg && std::memcmp(full.Row(5), picture.pixels + 5 * size_t(picture.bytesPerRow),
                                                       size_t(kWidth) * 3) != 0)
            Fail(std::string("pixels ") + extension);

        LoadOptions reduced;
        InitLoadOptions(&reduced);
        reduced.targetWidth = reduced.targetHeight = kThumbnailBox;
        reduced.flags |= kLoadReduced;
        LoadedPicture thumbnail;
        thumbnail.result = LoadPictureFromFile(name.c_str(), &thumbnail.bitmap, &reduced, &thumbnail.info);
        if (thumbnail.result != kLoadOk || thumbnail.bitmap.width != kThumbnailBox)
            Fail(std::string("thumbnail ") + extension);
    }

    void Archive(int round) {
        const std::string tag = std::to_string(id) + "_" + std::to_string(round);
        const std::wstring source = dir->File("src" + tag + ".bin");
        std::vector<uint8_t> bytes(30000);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t((i * (id + 3)) >> 4);
        testing_support::WriteBytes(source, bytes);
        const std::wstring archive = dir->File("a" + tag + ".zip");
        // Every other round encrypted: the header's random bytes come from
        // each writer's own source.
        const char* password = round % 2 ? "secret" : nullptr;
        ZipHandle* w = CreateZipFile(archive.c_str(), password);
        if (!w || LastZipWriterResult != kZipOk) return Fail("create archive");
        if (ZipAddFile(w, L"data.bin", source.c_str()) != kZipOk) Fail("add");
        if (LastZipWriterResult != kZipOk) Fail("last writer result");
        if (CloseZipWriter(w) != kZipOk) return Fail("close archive");

        ZipHandle* r = OpenZipFile(archive.c_str(), password);
        if (!r || LastZipReaderResult != kZipOk) return Fail("open archive");
        int32_t index = -1;
        if (FindZipItem(r, L"missing", 0, &index, nullptr) != kZipNotFound || LastZipReaderResult != kZipNotFound)
            Fail("missing item");
        std::vector<uint8_t> out(bytes.size());
        uint32_t rc = UnzipItemToMemory(r, 0, out.data(), uint32_t(out.size()));
        if (rc == kZipMoreData) rc = UnzipItemToMemory(r, 0, out.data(), uint32_t(out.size()));
        if (rc != kZipOk || out != bytes) Fail("archive item");
        if (LastZipReaderResult != rc) Fail("last reader result");
        CloseZipReader(r);
    }

    void Lookups() {
        std::string text;
        if (!language->FindString("IDS_ERROR", &text) || text != "Fehler") Fail("string lookup");
        if (language->FindString("IDS_NONE", &text)) Fail("missing string");
    }

    void Run() {
        InitFormatRegistry();  // each thread holds its own reference
        OwnedBitmap picture;
        MakePicture(picture.get(), id);
        for (int round = 0; round < kRounds; ++round) {
            SaveAndLoad(round, picture.b, kFormatPng, "png");
            SaveAndLoad(round, picture.b, kFormatBmp, "bmp");
            SaveAndLoad(round, picture.b, kFormatJpeg, "jpg");
            Archive(round);
            Lookups();
        }
        FreeFormatRegistry();
    }
};

TEST(Concurrency, LoadsSavesThumbnailsAndArchivesOnSeveralThreads) {
    testing_support::EnsureFormatRegistry();
    ScratchDir dir;
    LanguageState language;
    language.OpenFromMemory("de Deutsch\r\n[String]\r\nIDS_ERROR=Fehler\r\n", "de");

    std::vector<Worker> workers;
    for (int i = 0; i < kThreads; ++i) workers.push_back(Worker{i, &dir, &language, {}});
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (Worker& w : workers) {
        threads.emplace_back([&w, &ready] {
            // Start together, so that the threads overlap.
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            w.Run();
        });
    }
    for (std::thread& t : threads) t.join();
    for (const Worker& w : workers)
        for (const std::string& f : w.failures) ADD_FAILURE() << f;
}

TEST(Concurrency, TemporaryNamesAreUniqueAcrossThreads) {
    constexpr int kNamesPerThread = 40;
    std::vector<std::vector<std::wstring>> names(kThreads);
    std::vector<std::thread> threads;
    ScratchDir dir;
    const std::wstring target = dir.File("picture.jpg");
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int n = 0; n < kNamesPerThread; ++n) {
                wchar_t buffer[300];
                if (MakeTempFileName(buffer, 300) != 0) names[size_t(i)].push_back(buffer);
                names[size_t(i)].push_back(SiblingName(target, L"t"));
            }
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<std::wstring> all;
    size_t count = 0;
    for (const auto& list : names) {
        for (const std::wstring& name : list) {
            EXPECT_FALSE(name.empty());
            all.insert(name);
            ++count;
        }
    }
    EXPECT_EQ(all.size(), count);
    EXPECT_EQ(count, size_t(kThreads) * kNamesPerThread * 2);
    for (const std::wstring& name : all) DeletePictureFile(name.c_str());
}

}  // namespace
