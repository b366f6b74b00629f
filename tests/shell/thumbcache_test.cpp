// The thumbnail cache file: its bytes, lookups by name and time, the box
// check, compaction (order, budget, unused records) and damaged files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <memory>
#include <tuple>

#include "fakefolders.h"
#include "imagelib/load.h"
#include "shell/thumbcache.h"
#include "tests/support/peakrss.h"
#include "tests/support/testfiles.h"

using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
void SetLe32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A picture whose pixels depend on `seed`; noise when `noisy`, so that its
// deflated size is close to its raw size.
struct Picture {
    Bitmap b{};
    Picture(uint16_t type, int32_t w, int32_t h, uint32_t seed, bool noisy = false) {
        EXPECT_EQ(AllocBitmap(&b, type, 4, w, h), 1);
        uint32_t x = seed * 2654435761u + 1;
        for (size_t i = 0; i < size_t(b.bytesPerRow) * size_t(h); ++i) {
            x = x * 1103515245u + 12345u;
            b.pixels[i] = noisy ? uint8_t(x >> 16) : uint8_t(i * 7 + seed);
        }
        if (b.palette) {
            b.paletteCount = 16;
            for (size_t i = 0; i < kPaletteBytes; ++i) b.palette[i] = uint8_t(i ^ seed);
        }
    }
    ~Picture() { FreeBitmap(&b); }
};

ImageInfo Info(int16_t format, int32_t w, int32_t h) {
    ImageInfo info;
    std::memset(&info, 0, sizeof info);
    info.formatIndex = format;
    info.width = w;
    info.height = h;
    info.bitsPerSample = 8;
    info.components = 3;
    info.planes = 1;
    info.bitsPerPlane = 24;
    return info;
}

class CacheFile : public ::testing::Test {
protected:
    std::wstring Folder() const { return dir.path().wstring() + fake_folders::Separator(); }
    std::wstring Path(const std::wstring& name) const { return Folder() + name; }
    std::wstring CacheZt() const { return Path(L"cache.zt"); }

    // Stores the pictures under names n0, n1, ... with time 1000 + i.
    void StoreAll(ThumbCache& cache, const std::vector<const Picture*>& pictures) {
        for (size_t i = 0; i < pictures.size(); ++i)
            ASSERT_TRUE(cache.Store(Path(L"n" + std::to_wstring(i) + L".jpg").c_str(), 1000 + i, pictures[i]->b,
                                    Info(int16_t(i), 4000, 3000)));
    }
    bool Finds(ThumbCache& cache, const std::wstring& name, uint64_t time, Bitmap* out = nullptr) {
        Bitmap b{};
        ImageInfo info{};
        const int found = cache.Lookup(Path(name).c_str(), time, &b, &info);
        if (out) {
            *out = b;
        } else {
            FreeBitmap(&b);
        }
        return found == 1;
    }

    ScratchDir dir;
};

TEST_F(CacheFile, BytesOfOneStoredThumbnail) {
    Picture rgb(kPixelRGB, 3, 2, 5);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 68));
        ASSERT_TRUE(cache.Store(Path(L"photo.jpg").c_str(), 0x0123456789ABCDEFull, rgb.b, Info(7, 4000, 3000)));
        cache.Close(false);
    }
    const std::vector<uint8_t> f = ReadBytes(CacheZt());
    ASSERT_GE(f.size(), 20u + 164u + 52u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), std::string("ZT01\0\0\0\0", 8));
    EXPECT_EQ(Le32(f, 8), 70u);
    EXPECT_EQ(Le32(f, 12), 68u);
    EXPECT_EQ(Le32(f, 16), 1u);
    const size_t r = 20;
    EXPECT_EQ(Le32(f, r + 0), 184u);  // the payload follows the index
    EXPECT_EQ(Le32(f, r + 4), f.size() - 184u);
    EXPECT_EQ(Le16(f, r + 8), 7u);
    EXPECT_EQ(Le32(f, r + 12), 4000u);
    EXPECT_EQ(Le32(f, r + 16), 3000u);
    EXPECT_EQ(Le16(f, r + 20), 8u);
    EXPECT_EQ(Le16(f, r + 22), 3u);
    EXPECT_EQ(Le16(f, r + 24), 1u);
    EXPECT_EQ(Le16(f, r + 26), 24u);
    EXPECT_EQ(Le32(f, r + 28), 0x89ABCDEFu);
    EXPECT_EQ(Le32(f, r + 32), 0x01234567u);
    const std::wstring name = L"photo.jpg";
    for (size_t i = 0; i < 64; ++i) EXPECT_EQ(Le16(f, r + 36 + 2 * i), i < name.size() ? uint16_t(name[i]) : 0u);
    // The description: width, height, bytes per row, type, bytes per pixel,
    // bits, components, alignment; no palette reference; 12 zero bytes.
    const size_t p = 184;
    EXPECT_EQ(Le32(f, p), 3u);
    EXPECT_EQ(Le32(f, p + 4), 2u);
    EXPECT_EQ(Le32(f, p + 8), 12u);
    EXPECT_EQ(Le16(f, p + 12), uint16_t(kPixelRGB));
    EXPECT_EQ(Le16(f, p + 14), 3u);
    EXPECT_EQ(Le16(f, p + 16), 8u);
    EXPECT_EQ(Le16(f, p + 18), 3u);
    EXPECT_EQ(Le16(f, p + 20), 4u);
    EXPECT_EQ(Le32(f, p + 36), 0u);
    for (size_t i = 40; i < 52; ++i) EXPECT_EQ(f[p + i], 0u);
    // zlib itself inflates the pixels.
    std::vector<uint8_t> pixels(24);
    uLongf length = uLongf(pixels.size());
    ASSERT_EQ(uncompress(pixels.data(), &length, f.data() + p + 52, uLong(f.size() - p - 52)), Z_OK);
    EXPECT_EQ(length, 24u);
    EXPECT_EQ(0, std::memcmp(pixels.data(), rgb.b.pixels, 24));
}

TEST_F(CacheFile, ReopenedCacheGivesBackPixelsPaletteAndInformation) {
    Picture rgb(kPixelRGB, 70, 52, 1);
    Picture pal(kPixelPalette, 33, 70, 2);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&rgb, &pal});
        cache.Close(false);
    }
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 70, 70));
    for (const auto& [name, time, want] : {std::make_tuple(L"n0.jpg", 1000, &rgb), std::make_tuple(L"n1.jpg", 1001, &pal)}) {
        Bitmap got{};
        ImageInfo info;
        std::memset(&info, 0x55, sizeof info);
        ASSERT_EQ(cache.Lookup(Path(name).c_str(), uint64_t(time), &got, &info), 1) << name;
        EXPECT_EQ(got.width, want->b.width);
        EXPECT_EQ(got.height, want->b.height);
        EXPECT_EQ(got.pixelType, want->b.pixelType);
        EXPECT_EQ(0, std::memcmp(got.pixels, want->b.pixels, size_t(got.bytesPerRow) * size_t(got.height)));
        EXPECT_EQ(got.paletteCount, want->b.paletteCount);
        if (want->b.palette) {
            EXPECT_EQ(0, std::memcmp(got.palette, want->b.palette, kPaletteBytes));
        }
        EXPECT_EQ(info.width, 4000);
        EXPECT_EQ(info.planes, 1);
        EXPECT_EQ(info.fileSize, 0u);  // the rest of the record is zero
        EXPECT_EQ(info.comment, nullptr);
        FreeBitmap(&got);
    }
    // Another time, another name, another folder's namesake: misses.
    EXPECT_FALSE(Finds(cache, L"n0.jpg", 1001));
    EXPECT_FALSE(Finds(cache, L"N0.jpg", 1000));
    Bitmap b{};
    ImageInfo info{};
    const std::wstring sub = Folder() + L"sub" + fake_folders::Separator() + L"n0.jpg";
    EXPECT_EQ(cache.Lookup(sub.c_str(), 1000, &b, &info), 0);
}

TEST_F(CacheFile, LongNamesAreCutTo63Units) {
    Picture rgb(kPixelRGB, 4, 4, 3);
    const std::wstring common(63, L'x');
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 70, 70));
    ASSERT_TRUE(cache.Store(Path(common + L"1.jpg").c_str(), 5, rgb.b, Info(1, 4, 4)));
    EXPECT_TRUE(Finds(cache, common + L"2.png", 5));
    EXPECT_FALSE(Finds(cache, std::wstring(62, L'x') + L"y.png", 5));
    EXPECT_EQ(cache.Records()[0].name[62], L'x');
    EXPECT_EQ(cache.Records()[0].name[63], 0);
}

TEST_F(CacheFile, AnotherBoxStartsEmptyAndIsRewrittenOnlyWhenSomethingIsStored) {
    Picture rgb(kPixelRGB, 4, 4, 3);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&rgb});
    }
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 68, 68));
    EXPECT_TRUE(cache.Records().empty());
    EXPECT_FALSE(Finds(cache, L"n0.jpg", 1000));
    cache.Close(true);
    EXPECT_TRUE(ReadBytes(CacheZt()).empty());
    ASSERT_TRUE(cache.Open(Folder(), 68, 68));
    StoreAll(cache, {&rgb});
    cache.Close(true);
    EXPECT_EQ(Le32(ReadBytes(CacheZt()), 8), 68u);
    EXPECT_EQ(Le32(ReadBytes(CacheZt()), 16), 1u);
}

TEST_F(CacheFile, CompactionKeepsUsedRecordsInOrderWithinTheBudget) {
    // Noisy 200 x 200 RGB: about 120 KB each after deflate, so the budget
    // of 409,600 bytes is passed by the fourth record kept.
    std::vector<std::unique_ptr<Picture>> pictures;
    std::vector<const Picture*> list;
    for (uint32_t i = 0; i < 6; ++i) {
        pictures.push_back(std::make_unique<Picture>(kPixelRGB, 200, 200, i, true));
        list.push_back(pictures.back().get());
    }
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 200, 200));
        StoreAll(cache, list);
        cache.Close(false);
    }
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 200, 200));
    ASSERT_EQ(cache.Records().size(), 4u);  // three under the budget, the fourth passes it
    uint64_t total = 0;
    for (const ThumbCacheRecord& r : cache.Records()) total += r.length;
    EXPECT_GT(total, kThumbCacheBudget);
    EXPECT_LT(total - cache.Records().back().length, kThumbCacheBudget);
    // Used n3 and n1 (in that order): the file keeps index order.
    EXPECT_TRUE(Finds(cache, L"n3.jpg", 1003));
    EXPECT_TRUE(Finds(cache, L"n1.jpg", 1001));
    cache.Close(true);
    ASSERT_TRUE(cache.Open(Folder(), 200, 200));
    ASSERT_EQ(cache.Records().size(), 2u);
    EXPECT_EQ(cache.Records()[0].name[1], L'1');
    EXPECT_EQ(cache.Records()[1].name[1], L'3');
    Bitmap got{};
    ASSERT_TRUE(Finds(cache, L"n3.jpg", 1003, &got));
    EXPECT_EQ(0, std::memcmp(got.pixels, list[3]->b.pixels, size_t(got.bytesPerRow) * 200));
    FreeBitmap(&got);
}

TEST_F(CacheFile, UnusedRecordsStayUnlessTheFolderWasFinished) {
    Picture a(kPixelRGB, 8, 8, 1), b(kPixelRGB, 8, 8, 2);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&a, &b});
    }
    const std::vector<uint8_t> before = ReadBytes(CacheZt());
    {
        // Left before the worker was through: nothing used, nothing dropped,
        // nothing rewritten.
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        cache.Close(false);
    }
    EXPECT_EQ(ReadBytes(CacheZt()), before);
    {
        // Every record found, nothing stored: not rewritten either.
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        EXPECT_TRUE(Finds(cache, L"n0.jpg", 1000));
        EXPECT_TRUE(Finds(cache, L"n1.jpg", 1001));
        cache.Close(true);
    }
    EXPECT_EQ(ReadBytes(CacheZt()), before);
    EXPECT_FALSE(testing_support::fs::exists(testing_support::ToFsPath(Path(L"cache.zt1"))));
    {
        // n1 rewritten in place (a new time): its old record goes.
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        EXPECT_TRUE(Finds(cache, L"n0.jpg", 1000));
        EXPECT_FALSE(Finds(cache, L"n1.jpg", 2001));
        cache.Close(true);
    }
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 70, 70));
    EXPECT_EQ(cache.Records().size(), 1u);
}

// The file is read whole when the cache is opened: one cut under the open
// cache loses nothing when it is rewritten, the payloads come from what was
// read.
TEST_F(CacheFile, CompactionWritesWhatWasReadWhenTheFileWasOpened) {
    Picture a(kPixelRGB, 64, 64, 1, true), b(kPixelRGB, 64, 64, 2, true), c(kPixelRGB, 64, 64, 3, true);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&a, &b, &c});
    }
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 70, 70));
    EXPECT_TRUE(Finds(cache, L"n1.jpg", 1001));
    EXPECT_TRUE(Finds(cache, L"n2.jpg", 1002));
    // n2's payload is last in the file.
    const auto size = testing_support::fs::file_size(testing_support::ToFsPath(CacheZt()));
    testing_support::fs::resize_file(testing_support::ToFsPath(CacheZt()), size - 3);
    cache.Close(true);
    ASSERT_TRUE(cache.Open(Folder(), 70, 70));
    ASSERT_EQ(cache.Records().size(), 2u);
    EXPECT_TRUE(Finds(cache, L"n1.jpg", 1001));
    Bitmap got{};
    ASSERT_TRUE(Finds(cache, L"n2.jpg", 1002, &got));
    EXPECT_EQ(0, std::memcmp(got.pixels, c.b.pixels, size_t(got.bytesPerRow) * 64));
    FreeBitmap(&got);
}

// A thumbnail is at most its box, either way round: one stored for a box
// that the file's header no longer names is refused at the lookup, before
// anything is allocated for it; a bitmap beyond the box is not stored.
TEST_F(CacheFile, AThumbnailLargerThanItsBoxIsRefused) {
    Picture wide(kPixelRGB, 70, 52, 1);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&wide});
        cache.Close(false);
    }
    const std::vector<uint8_t> stored = ReadBytes(CacheZt());
    const struct {
        int32_t boxWidth, boxHeight;
        bool found;
    } kBoxes[] = {{70, 52, true}, {52, 70, true}, {69, 51, false}, {70, 51, false}, {51, 70, false}};
    for (const auto& box : kBoxes) {
        SCOPED_TRACE(std::to_string(box.boxWidth) + " x " + std::to_string(box.boxHeight));
        std::vector<uint8_t> file = stored;
        SetLe32(&file, 8, uint32_t(box.boxWidth));
        SetLe32(&file, 12, uint32_t(box.boxHeight));
        WriteBytes(CacheZt(), file);
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), box.boxWidth, box.boxHeight));
        EXPECT_EQ(cache.Records().size(), 1u);
        EXPECT_EQ(Finds(cache, L"n0.jpg", 1000), box.found);
        cache.Close(false);
    }
    // 52 x 70 fits a 70 x 52 box turned; 71 x 10 does not fit it.
    Picture turned(kPixelRGB, 52, 70, 2), tooWide(kPixelRGB, 71, 10, 3);
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 70, 52));
    EXPECT_TRUE(cache.Store(Path(L"turned.jpg").c_str(), 1, turned.b, Info(0, 52, 70)));
    EXPECT_FALSE(cache.Store(Path(L"wide.jpg").c_str(), 1, tooWide.b, Info(0, 71, 10)));
}

// A small file whose record claims a 16000 x 16000 thumbnail (256 MB of
// pixels, deflated to 250 KB): the lookup misses and takes no memory for it.
#if defined(__linux__)
TEST_F(CacheFile, AClaimedGiantThumbnailTakesNoMemory) {
    constexpr uint32_t kSide = 16000;
    std::vector<uint8_t> payload;
    const auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) payload.push_back(uint8_t(v >> (8 * i)));
    };
    const auto put16 = [&](uint16_t v) {
        payload.push_back(uint8_t(v));
        payload.push_back(uint8_t(v >> 8));
    };
    // The description of a grey picture as the image library lays it out.
    put32(kSide);
    put32(kSide);
    put32(kSide);
    put16(uint16_t(kPixelGrey));
    put16(1);
    put16(8);
    put16(1);
    put16(4);
    put16(0);
    put32(0);
    put32(0);
    put16(256);
    put16(uint16_t(-1));
    put32(0);
    payload.resize(kThumbDescriptionBytes);
    // zlib deflates the rows of zeros, a row at a time.
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, Z_BEST_COMPRESSION), Z_OK);
    const std::vector<uint8_t> row(kSide, 0);
    std::vector<uint8_t> out(1 << 16);
    for (uint32_t y = 0; y < kSide; ++y) {
        z.next_in = const_cast<Bytef*>(row.data());
        z.avail_in = kSide;
        const int flush = y + 1 == kSide ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, flush);
            payload.insert(payload.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    // One record in front of it.
    std::vector<uint8_t> file = {'Z', 'T', '0', '1', 0, 0, 0, 0};
    for (uint32_t v : {70u, 70u, 1u}) {
        for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t> record(kThumbCacheRecordBytes, 0);
    SetLe32(&record, 0, uint32_t(kThumbCacheHeaderBytes + kThumbCacheRecordBytes));
    SetLe32(&record, 4, uint32_t(payload.size()));
    SetLe32(&record, 28, 1000);
    record[36] = 'g';
    file.insert(file.end(), record.begin(), record.end());
    file.insert(file.end(), payload.begin(), payload.end());
    ASSERT_LT(file.size(), 1u << 20);
    WriteBytes(CacheZt(), file);
    const auto peak = testing_support::PeakRssGrowth([&] {
        ThumbCache cache;
        Bitmap b{};
        ImageInfo info{};
        if (!cache.Open(Folder(), 70, 70) || cache.Records().size() != 1 ||
            cache.Lookup(Path(L"g").c_str(), 1000, &b, &info) != 0)
            std::_Exit(1);
        cache.Close(false);
    });
    ASSERT_TRUE(peak.has_value()) << "the record was not read, or the lookup found it";
    EXPECT_LT(*peak, uint64_t(64) << 20);
}
#endif

// A cache file larger than any the program keeps is not read: it is made
// anew, empty.
TEST_F(CacheFile, AFileBeyondTheLargestKeptStartsEmpty) {
    Picture rgb(kPixelRGB, 5, 3, 9);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&rgb});
    }
    std::vector<uint8_t> file = ReadBytes(CacheZt());
    file.resize(size_t(kThumbCacheMaxFile) + 1);
    WriteBytes(CacheZt(), file);
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(Folder(), 70, 70));
    EXPECT_TRUE(cache.Records().empty());
    EXPECT_FALSE(Finds(cache, L"n0.jpg", 1000));
    cache.Close(true);
    EXPECT_TRUE(ReadBytes(CacheZt()).empty());
}

// Damaged files: each is opened (or recreated) and every lookup misses.
TEST_F(CacheFile, DamagedFilesMissOrStartEmpty) {
    Picture rgb(kPixelRGB, 5, 3, 9);
    {
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70));
        StoreAll(cache, {&rgb});
    }
    const std::vector<uint8_t> good = ReadBytes(CacheZt());
    const size_t r = 20, p = 184;
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>*)> damage;
    };
    const Case cases[] = {
        {"wrong magic", [](std::vector<uint8_t>* f) { (*f)[1] = 'X'; }},
        {"box too large", [](std::vector<uint8_t>* f) { SetLe32(f, 8, 641); }},
        {"count beyond the file", [](std::vector<uint8_t>* f) { SetLe32(f, 16, 0xFFFFFFFF); }},
        {"count one too many", [](std::vector<uint8_t>* f) { SetLe32(f, 16, 2); }},
        {"negative offset", [=](std::vector<uint8_t>* f) { SetLe32(f, r, 0x80000000u); }},
        {"payload past the end", [=](std::vector<uint8_t>* f) { SetLe32(f, r + 4, Le32(*f, r + 4) + 1); }},
        {"payload shorter than its description", [=](std::vector<uint8_t>* f) { SetLe32(f, r + 4, 51); }},
        {"width zero", [=](std::vector<uint8_t>* f) { SetLe32(f, p, 0); }},
        {"width beyond the box", [=](std::vector<uint8_t>* f) { SetLe32(f, p, 40000); }},
        {"unknown pixel type", [=](std::vector<uint8_t>* f) { (*f)[p + 12] = 3; }},
        {"bytes per row too small", [=](std::vector<uint8_t>* f) { SetLe32(f, p + 8, 4); }},
        {"bytes per row too large", [=](std::vector<uint8_t>* f) { SetLe32(f, p + 8, 0x7FFFFFF0); }},
        {"height beyond the pixels", [=](std::vector<uint8_t>* f) { SetLe32(f, p + 4, 300); }},
        {"palette promised", [=](std::vector<uint8_t>* f) { (*f)[p + 32] = 16; (*f)[p + 36] = 1; }},
        {"deflated data cut", [=](std::vector<uint8_t>* f) {
             f->resize(f->size() - 4);
             SetLe32(f, r + 4, Le32(*f, r + 4) - 4);
         }},
        {"deflated data damaged", [=](std::vector<uint8_t>* f) { (*f)[p + 54] ^= 0xFF; }},
        {"short file", [](std::vector<uint8_t>* f) { f->resize(19); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        c.damage(&bad);
        WriteBytes(CacheZt(), bad);
        ThumbCache cache;
        ASSERT_TRUE(cache.Open(Folder(), 70, 70)) << c.what;
        EXPECT_FALSE(Finds(cache, L"n0.jpg", 1000)) << c.what;
        // Still usable: a store and a lookup after the damage work.
        Picture fresh(kPixelGrey, 6, 6, 4);
        ASSERT_TRUE(cache.Store(Path(L"new.jpg").c_str(), 1, fresh.b, Info(0, 6, 6))) << c.what;
        EXPECT_TRUE(Finds(cache, L"new.jpg", 1)) << c.what;
        cache.Close(true);
        ASSERT_TRUE(cache.Open(Folder(), 70, 70)) << c.what;
        EXPECT_TRUE(Finds(cache, L"new.jpg", 1)) << c.what;
        EXPECT_EQ(cache.Records().size(), 1u) << c.what;
    }
}

TEST_F(CacheFile, NoFolderMeansNoCache) {
    ThumbCache cache;
    EXPECT_FALSE(cache.Open(Folder() + L"missing" + fake_folders::Separator(), 70, 70));
    Picture rgb(kPixelRGB, 4, 4, 3);
    EXPECT_FALSE(cache.Store(Path(L"missing/a.jpg").c_str(), 1, rgb.b, Info(0, 4, 4)));
    cache.Close(true);
}

}  // namespace
