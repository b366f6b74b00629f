// Bitmaps saved as JPEG and PNG through SavePicture: the save's converters
// and the writers together, checked with Pillow and djpeg (natively), and
// the result codes of refusals, write failures and cancels on both targets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/metadata.h"
#include "imagelib/save.h"
#include "imagelib/savecontext.h"
#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"

using namespace testing_support;

namespace {

class JpegPngSave : public ::testing::Test {
protected:
    void SetUp() override { InitFormatRegistry(); }
    void TearDown() override {
        FreeBitmap(&bitmap_);
        FreeFormatRegistry();
    }

    // A bitmap of the pixel type whose pixel (x, y) has the sample values
    // Sample() gives (in the type's own byte order).
    Bitmap& Make(uint16_t type, int w, int h, int16_t colours = 0) {
        FreeBitmap(&bitmap_);
        EXPECT_EQ(AllocBitmap(&bitmap_, type, 4, w, h), 1);
        if (type == kPixelPalette || type == kPixelGrey) bitmap_.paletteCount = colours;
        for (int y = 0; y < h; ++y) {
            uint8_t* row = bitmap_.pixels + size_t(y) * size_t(bitmap_.bytesPerRow);
            for (int x = 0; x < w; ++x) {
                if (type == kPixelBilevel) {
                    PutRowBit(row, x, (x + y) % 3 == 0);
                    continue;
                }
                for (int c = 0; c < bitmap_.bytesPerPixel; ++c)
                    row[x * bitmap_.bytesPerPixel + c] = Sample(type, x, y, c, colours);
            }
        }
        if (bitmap_.palette)
            for (int i = 0; i < 256; ++i) {
                bitmap_.palette[i] = uint8_t(i * 10);
                bitmap_.palette[kPaletteGreen + i] = uint8_t(255 - i);
                bitmap_.palette[kPaletteBlue + i] = uint8_t(i * 3);
            }
        return bitmap_;
    }

    static uint8_t Sample(uint16_t type, int x, int y, int c, int colours) {
        if (type == kPixelPalette || type == kPixelGrey) return uint8_t((x * 3 + y) % colours);
        return uint8_t(x * 9 + y * 5 + c * 60);
    }

    int Save(const char* format, const std::wstring& path, void (*set)(SaveOptions*) = nullptr) {
        SaveOptions o;
        InitSaveOptions(&o);
        o.formatIndex = int16_t(FindFormatByName(format));
        if (set) set(&o);
        return SavePictureToFile(path.c_str(), &bitmap_, &o);
    }

    int SaveToStream(const char* format, FILE* stream, void (*set)(SaveOptions*) = nullptr) {
        SaveOptions o;
        InitSaveOptions(&o);
        o.formatIndex = int16_t(FindFormatByName(format));
        if (set) set(&o);
        return SavePicture(nullptr, stream, &bitmap_, &o);
    }

    Bitmap bitmap_{};
    ScratchDir dir_;
};

// R, G, B of pixel (x, y) of a Make() colour bitmap, whatever its byte order.
std::vector<uint8_t> RgbOf(uint16_t type, int w, int h, bool alpha) {
    // Make() stores sample c at byte c; this maps each type's bytes to R, G, B, A.
    int r = 0, g = 1, b = 2, a = 3;
    switch (type) {
    case kPixelBGR: r = 2, b = 0; break;
    case kPixelABGR: a = 0, b = 1, g = 2, r = 3; break;
    case kPixelBGRA: b = 0, r = 2; break;
    case kPixelARGB: a = 0, r = 1, g = 2, b = 3; break;
    default: break;
    }
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            for (int c : {r, g, b}) out.push_back(uint8_t(x * 9 + y * 5 + c * 60));
            if (alpha) out.push_back(uint8_t(x * 9 + y * 5 + a * 60));
        }
    return out;
}

#ifndef _WIN32
TEST_F(JpegPngSave, ColourBitmapsRoundTripThroughPng) {
    struct Case {
        uint16_t type;
        const char* mode;
    } cases[] = {{kPixelRGB, "RGB"},   {kPixelBGR, "RGB"},   {kPixelRGBA, "RGBA"},
                 {kPixelABGR, "RGBA"}, {kPixelBGRA, "RGBA"}, {kPixelARGB, "RGBA"}};
    for (const Case& c : cases) {
        for (uint8_t interlaced : {0, 1}) {
            SCOPED_TRACE(std::to_string(c.type) + (interlaced ? " interlaced" : ""));
            Make(c.type, 7, 5);
            const std::wstring path = dir_.File("c.png");
            void (*interlace)(SaveOptions*) = [](SaveOptions* o) { o->interlaced = 1; };
            ASSERT_EQ(Save("png", path, interlaced ? interlace : nullptr), kSaveOk);
            const PillowView v = Pillow(Narrow(path));
            EXPECT_EQ(v.mode(), c.mode);
            EXPECT_EQ(v.pixels(), RgbOf(c.type, 7, 5, std::string(c.mode) == "RGBA"));
        }
    }
}

TEST_F(JpegPngSave, IndexedBitmapsRoundTripThroughPng) {
    {
        SCOPED_TRACE("16 colours at 4 bits, odd width, transparent entry 3");
        Bitmap& b = Make(kPixelPalette, 5, 9, 16);
        b.transparentIndex = 3;
        const std::wstring path = dir_.File("p.png");
        ASSERT_EQ(Save("png", path, [](SaveOptions* o) { o->interlaced = 1; }), kSaveOk);
        const PillowView v = Pillow(Narrow(path));
        EXPECT_EQ(v.mode(), "P");
        EXPECT_EQ(v.transparency(), "3");
        std::vector<uint8_t> indexes;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 5; ++x) indexes.push_back(uint8_t((x * 3 + y) % 16));
        EXPECT_EQ(v.pixels(), indexes);
        EXPECT_EQ(v.palette().substr(0, 30), "[0, 255, 0, 10, 254, 3, 20, 25");
        EXPECT_TRUE(Contains(RunCommand("pngcheck -v " + ShellQuote(Narrow(path))), "4-bit palette"));
    }
    {
        SCOPED_TRACE("a grey ramp of 4 levels, transparent level 2");
        Bitmap& b = Make(kPixelGrey, 6, 4, 4);
        b.transparentIndex = 2;
        const std::wstring path = dir_.File("g.png");
        ASSERT_EQ(Save("png", path), kSaveOk);
        const PillowView v = Pillow(Narrow(path));
        EXPECT_EQ(v.mode(), "L");
        EXPECT_EQ(v.transparency(), "170");  // the level index 2 is written as
        std::vector<uint8_t> levels;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) levels.push_back(uint8_t((x * 3 + y) % 4 * 85));
        EXPECT_EQ(v.pixels(), levels);
    }
    {
        SCOPED_TRACE("bilevel, odd width, transparent white");
        Bitmap& b = Make(kPixelBilevel, 13, 7);
        b.transparentIndex = 1;
        const std::wstring path = dir_.File("b.png");
        ASSERT_EQ(Save("png", path), kSaveOk);
        const PillowView v = Pillow(Narrow(path));
        EXPECT_EQ(v.mode(), "1");
        EXPECT_EQ(v.transparency(), "1");
        std::vector<uint8_t> bits;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x) bits.push_back((x + y) % 3 == 0 ? 255 : 0);
        EXPECT_EQ(v.pixels(), bits);
    }
}

TEST_F(JpegPngSave, BitmapsSavedAsJpegDecodeCloseToTheirPixels) {
    for (uint16_t type : {kPixelRGB, kPixelBGR, kPixelRGBA, kPixelARGB}) {
        SCOPED_TRACE(type);
        Make(type, 40, 24);
        const std::wstring path = dir_.File("c.jpg");
        ASSERT_EQ(Save("jpeg", path, [](SaveOptions* o) { o->jpegSubsampling = 2; }), kSaveOk);
        const PnmImage img = Djpeg(Narrow(path));
        ASSERT_EQ(img.channels, 3);
        EXPECT_GE(Psnr(img.pixels, RgbOf(type, 40, 24, false)), 35);
    }
    {
        SCOPED_TRACE("grey");
        Make(kPixelGrey, 40, 24, 256);
        const std::wstring path = dir_.File("g.jpg");
        ASSERT_EQ(Save("jpeg", path), kSaveOk);
        const PnmImage img = Djpeg(Narrow(path));
        ASSERT_EQ(img.channels, 1);
        std::vector<uint8_t> grey;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) grey.push_back(uint8_t((x * 3 + y) % 256));
        EXPECT_GE(Psnr(img.pixels, grey), 40);
    }
    {
        SCOPED_TRACE("bilevel as grey 0 and 255");
        Make(kPixelBilevel, 16, 16);
        const std::wstring path = dir_.File("b.jpg");
        ASSERT_EQ(Save("jpeg", path), kSaveOk);
        const PnmImage img = Djpeg(Narrow(path));
        ASSERT_EQ(img.channels, 1);
        std::vector<uint8_t> bits;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) bits.push_back((x + y) % 3 == 0 ? 255 : 0);
        EXPECT_GE(Psnr(img.pixels, bits), 28);
    }
    {
        SCOPED_TRACE("CMYK keeps its inks");
        Make(kPixelCMYK, 16, 8);
        const std::wstring path = dir_.File("k.jpg");
        ASSERT_EQ(Save("jpeg", path, [](SaveOptions* o) { o->jpegSubsampling = 2; }), kSaveOk);
        const std::string out = RunPillow("from PIL import Image\n"
                                          "im = Image.open('" + Narrow(path) + "')\n"
                                          "print(im.mode, bytes(v for px in im.getdata() for v in px).hex())\n");
        ASSERT_EQ(out.substr(0, 5), "CMYK ") << out;
        std::vector<uint8_t> back, inks;
        for (size_t i = 5; i + 1 < out.size(); i += 2) back.push_back(uint8_t(std::stoi(out.substr(i, 2), nullptr, 16)));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < 4; ++c) inks.push_back(uint8_t(x * 9 + y * 5 + c * 60));
        EXPECT_GE(Psnr(back, inks), 35);
    }
}

TEST_F(JpegPngSave, BitmapTextsAndBlocksReachTheFiles) {
    Bitmap& b = Make(kPixelRGB, 8, 8);
    const char comment[] = "Made here";
    b.comment = static_cast<char*>(std::malloc(sizeof comment));
    std::memcpy(b.comment, comment, sizeof comment);
    const char xmp[] = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    ASSERT_EQ(AddMetadataBlockToList(&b.metadata, kMetadataXmp, xmp, uint32_t(sizeof xmp - 1)), 1);
    b.xResolution = b.yResolution = 200;

    const std::wstring jpg = dir_.File("m.jpg");
    ASSERT_EQ(Save("jpeg", jpg, [](SaveOptions* o) { o->keepXmp = 1; }), kSaveOk);
    const std::string tags =
        RunCommand("exiftool -s3 -Comment -XResolution -ResolutionUnit -XMPToolkit " + ShellQuote(Narrow(jpg)) +
                   " 2>/dev/null; exiftool -v1 " + ShellQuote(Narrow(jpg)) + " | grep -c 'APP1'");
    EXPECT_EQ(tags, "Made here\n200\ninches\n1\n");

    const std::wstring png = dir_.File("m.png");
    ASSERT_EQ(Save("png", png), kSaveOk);
    EXPECT_EQ(Pillow(Narrow(png)).comment(), "'Made here'");
    EXPECT_TRUE(Contains(RunCommand("pngcheck -v " + ShellQuote(Narrow(png))), "7874x7874 pixels/meter"));
}

TEST_F(JpegPngSave, FullDiskIsAWriteFailure) {
    for (const char* format : {"jpeg", "png"}) {
        for (int side : {4, 300}) {
            SCOPED_TRACE(std::string(format) + " " + std::to_string(side));
            Make(kPixelRGB, side, side);
            FILE* full = std::fopen("/dev/full", "wb");
            ASSERT_NE(full, nullptr);
            EXPECT_EQ(SaveToStream(format, full, [](SaveOptions* o) { o->compressionLevel = 0; }),
                      kSaveWriteFailed);
            std::fclose(full);
        }
    }
}
#endif

TEST_F(JpegPngSave, RefusalsCancelsAndProviderErrors) {
    {
        SCOPED_TRACE("JPEG takes no palette bitmap");
        Make(kPixelPalette, 4, 4, 16);
        EXPECT_EQ(Save("jpeg", dir_.File("p.jpg")), kSaveRefused);
        EXPECT_FALSE(WidePathExists(dir_.File("p.jpg").c_str()));
    }
    for (const char* format : {"jpeg", "png"}) {
        SCOPED_TRACE(std::string(format) + ": a cancel leaves no file");
        Make(kPixelRGB, 8, 20);
        const std::wstring path = dir_.File(std::string("c.") + format);
        EXPECT_EQ(Save(format, path, [](SaveOptions* o) {
                      o->progressCallback = [](int32_t row, int32_t, uintptr_t) { return row >= 5 ? 1 : 0; };
                  }),
                  kSaveCancelled);
        EXPECT_FALSE(WidePathExists(path.c_str()));
    }
    for (const char* format : {"jpeg", "png"}) {
        SCOPED_TRACE(std::string(format) + ": rows from a provider, which fails");
        Bitmap& b = Make(kPixelGrey, 8, 8, 256);
        std::free(b.pixels);
        b.pixels = nullptr;
        EXPECT_EQ(Save(format, dir_.File(std::string("r.") + format), [](SaveOptions* o) {
                      o->rowProvider = [](uint8_t* row, int32_t y, int32_t, uintptr_t) {
                          std::memset(row, y * 10, 8);
                          return y == 6 ? 33 : 0;
                      };
                  }),
                  33);
    }
}

}  // namespace
