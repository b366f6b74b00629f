// The JPEG writer and the in-memory encoder, checked with djpeg (pixels, as
// PSNR against the source), ImageMagick's identify (quality estimate,
// sampling, progression) and exiftool (markers and their contents). Those
// tools run natively only; the result codes and the callback protocol are
// checked on both targets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/savecontext.h"
#include "imagelib/writers/jpegwriter.h"
#include "tests/imagelib/fakesave.h"
#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"

using namespace testing_support;

namespace {

// A smooth colour picture (a JPEG's easy case) with a soft diagonal ripple.
std::vector<uint8_t> ColourPixels(int w, int h) {
    std::vector<uint8_t> p(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* q = &p[(size_t(y) * size_t(w) + size_t(x)) * 3];
            q[0] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
            q[1] = uint8_t(y * 255 / (h > 1 ? h - 1 : 1));
            q[2] = uint8_t(128 + ((x + y) % 16) * 4);
        }
    return p;
}

void SetRows(FakeSave* f, const std::vector<uint8_t>& pixels, int w, int h, int bytesPerPixel) {
    f->rows.clear();
    const size_t rowBytes = size_t(w) * size_t(bytesPerPixel);
    for (int y = 0; y < h; ++y)
        f->rows.emplace_back(pixels.begin() + long(size_t(y) * rowBytes),
                             pixels.begin() + long(size_t(y + 1) * rowBytes));
}

// A colour picture of w x h ready to write.
void PrepareColour(FakeSave* f, int w, int h) {
    f->picture().kind = kPixelMaskColour;
    f->picture().subKind = kPixelRGB;
    f->picture().bitsPerPixel = 24;
    f->picture().width = w;
    f->picture().height = h;
    SetRows(f, ColourPixels(w, h), w, h, 3);
}

int WriteTo(FakeSave* f, const std::wstring& path) {
    FileSource src;
    InitFileSource(&src, path.c_str());
    return WriteJpeg(&src, f->ctx());
}

#ifndef _WIN32
// djpeg's decoding, which must succeed.
PnmImage DecodeJpeg(const std::string& path) {
    PnmImage img = Djpeg(path);
    EXPECT_FALSE(img.pixels.empty()) << path;
    return img;
}

std::string Identify(const std::string& format, const std::string& path) {
    return RunCommand("identify -format " + ShellQuote(format) + " " + ShellQuote(path) + " 2>/dev/null");
}

// The segments exiftool walks, one "JPEG <name> (<n> bytes):" line each.
std::string Segments(const std::string& path) {
    return RunCommand("exiftool -v1 " + ShellQuote(path) + " 2>/dev/null | grep '^JPEG '");
}

std::string ExifTag(const std::string& tag, const std::string& path) {
    return RunCommand("exiftool -s3 -" + tag + " " + ShellQuote(path) + " 2>/dev/null");
}
#endif

// ---------------------------------------------------------------------------
// Compression options.

struct JpegOptionCase {
    const char* name;
    int16_t quality;
    int16_t subsampling;    // the option value; -1 the library's default
    uint8_t progressive;
    uint8_t optimize;
    uint16_t dct;
    int16_t smoothing;
    const char* sampling;   // as identify reports it
    double minPsnr;
};

const JpegOptionCase kJpegOptionCases[] = {
    {"Defaults", 100, -1, 0, 0, 65535, 0, "2x2,1x1,1x1", 33},
    {"Q75_444_Progressive", 75, 2, 1, 0, 65535, 0, "1x1,1x1,1x1", 32},
    {"Q50_422", 50, 1, 0, 0, 65535, 0, "2x1,1x1,1x1", 30},
    {"Q25_420_Optimised", 25, 0, 0, 1, 65535, 0, "2x2,1x1,1x1", 26},
    {"FastDct", 90, 2, 0, 0, 1, 0, "1x1,1x1,1x1", 32},
    {"FloatDct", 90, 2, 0, 0, 2, 0, "1x1,1x1,1x1", 32},
    {"Smoothing", 90, 2, 0, 0, 65535, 40, "1x1,1x1,1x1", 28},
    {"ProgressiveOptimised", 85, -1, 1, 1, 65535, 0, "2x2,1x1,1x1", 30},
};

class JpegOptionTest : public ::testing::TestWithParam<JpegOptionCase> {};

TEST_P(JpegOptionTest, FileDecodesWithTheAskedParameters) {
    const JpegOptionCase& c = GetParam();
    ScratchDir dir;
    FakeSave f;
    PrepareColour(&f, 64, 48);
    SaveOptions& o = f.options();
    o.quality = c.quality;
    o.jpegSubsampling = c.subsampling;
    o.interlaced = c.progressive;
    o.jpegOptimize = c.optimize;
    o.jpegDctMethod = c.dct;
    o.jpegSmoothing = c.smoothing;
    const std::wstring path = dir.File("o.jpg");
    ASSERT_EQ(WriteTo(&f, path), kSaveOk);

    // The writer asked for 24-bit rows of the picture's width.
    EXPECT_EQ(f.header.planes, 1);
    EXPECT_EQ(f.header.bitsPerPlane, 24);
    EXPECT_EQ(f.header.bytesPerPlane, 64u * 3);
    EXPECT_STREQ(f.header.description, "Jpeg");
    EXPECT_EQ(f.begins, 1);
    EXPECT_EQ(f.ends, 1);
    EXPECT_EQ(f.rowsDelivered, 48);
    EXPECT_FALSE(f.badRequest);

#ifndef _WIN32
    const std::string p = Narrow(path);
    EXPECT_EQ(Identify("%Q", p), std::to_string(c.quality));
    EXPECT_EQ(Identify("%[jpeg:sampling-factor]", p), c.sampling);
    EXPECT_EQ(Identify("%[interlace]", p), c.progressive ? "JPEG" : "None");
    const PnmImage img = DecodeJpeg(p);
    ASSERT_EQ(img.width, 64);
    ASSERT_EQ(img.height, 48);
    ASSERT_EQ(img.channels, 3);
    EXPECT_GE(Psnr(img.pixels, ColourPixels(64, 48)), c.minPsnr);
#endif
}

INSTANTIATE_TEST_SUITE_P(Options, JpegOptionTest, ::testing::ValuesIn(kJpegOptionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Options that leave no trace a tool can name still change the stream: each
// file differs from the plain one written in the same run, and optimised
// Huffman tables make it smaller.
TEST(JpegWriter, OptionsWithoutMarkersChangeTheStream) {
    ScratchDir dir;
    auto write = [&](const char* name, void (*set)(SaveOptions*)) {
        FakeSave f;
        PrepareColour(&f, 64, 48);
        f.options().quality = 90;
        set(&f.options());
        const std::wstring path = dir.File(name);
        EXPECT_EQ(WriteTo(&f, path), kSaveOk) << name;
        return ReadBytes(path);
    };
    const auto plain = write("plain.jpg", [](SaveOptions*) {});
    const auto optimised = write("opt.jpg", [](SaveOptions* o) { o->jpegOptimize = 1; });
    const auto fast = write("fast.jpg", [](SaveOptions* o) { o->jpegDctMethod = 1; });
    const auto flt = write("float.jpg", [](SaveOptions* o) { o->jpegDctMethod = 2; });
    const auto smooth = write("smooth.jpg", [](SaveOptions* o) { o->jpegSmoothing = 60; });
    const auto otherDct = write("dct9.jpg", [](SaveOptions* o) { o->jpegDctMethod = 9; });
    EXPECT_LT(optimised.size(), plain.size());
    EXPECT_NE(fast, plain);
    EXPECT_NE(flt, plain);
    EXPECT_NE(smooth, plain);
    EXPECT_EQ(otherDct, plain);  // any other value: the library's default method
}

// ---------------------------------------------------------------------------
// Picture kinds.

TEST(JpegWriter, GreyAndBilevelWriteOneComponent) {
    for (uint16_t kind : {uint16_t(kPixelGrey), uint16_t(kPixelBilevel)}) {
        SCOPED_TRACE(kind);
        ScratchDir dir;
        FakeSave f;
        f.picture().kind = kind;
        f.picture().bitsPerPixel = kind == kPixelGrey ? 8 : 1;
        f.picture().width = 33;
        f.picture().height = 17;
        std::vector<uint8_t> grey(33 * 17);
        for (size_t i = 0; i < grey.size(); ++i)
            grey[i] = kind == kPixelGrey ? uint8_t(i % 33 * 7) : uint8_t((i / 33) < 8 ? 0 : 255);
        SetRows(&f, grey, 33, 17, 1);
        const std::wstring path = dir.File("g.jpg");
        ASSERT_EQ(WriteTo(&f, path), kSaveOk);
        EXPECT_EQ(f.header.bitsPerPlane, 8);
        EXPECT_EQ(f.header.bytesPerPlane, 33u);
        EXPECT_EQ(f.header.paletteLayout, 0);  // rows pass through the grey map
#ifndef _WIN32
        EXPECT_EQ(ExifTag("ColorComponents", Narrow(path)), "1\n");
        const PnmImage img = DecodeJpeg(Narrow(path));
        ASSERT_EQ(img.channels, 1);
        EXPECT_GE(Psnr(img.pixels, grey), 34);
#endif
    }
}

TEST(JpegWriter, CmykIsWrittenInvertedAsAdobeDoes) {
    ScratchDir dir;
    FakeSave f;
    f.picture().kind = kPixelMaskColour;
    f.picture().subKind = kPixelCMYK;
    f.picture().bitsPerPixel = 24;
    f.picture().width = 16;
    f.picture().height = 16;
    // The dispatch hands the inverted inks the writer asks for (kHeaderCmykInverted).
    std::vector<uint8_t> inks(16 * 16 * 4), stored(inks.size());
    for (size_t i = 0; i < inks.size(); ++i) {
        inks[i] = uint8_t((i % 4) * 60 + (i / 64) * 4);
        stored[i] = uint8_t(255 - inks[i]);
    }
    SetRows(&f, stored, 16, 16, 4);
    const std::wstring path = dir.File("cmyk.jpg");
    ASSERT_EQ(WriteTo(&f, path), kSaveOk);
    EXPECT_EQ(f.header.bitsPerPlane, 32);
    EXPECT_EQ(f.header.flags & kWriteCmykInverted, kWriteCmykInverted);
    EXPECT_EQ(f.header.bytesPerPlane, 64u);
#ifndef _WIN32
    EXPECT_EQ(ExifTag("ColorComponents", Narrow(path)), "4\n");
    // Pillow reads Adobe CMYK back as inks.
    const std::string out = RunPillow(
        "from PIL import Image\n"
        "im = Image.open('" + Narrow(path) + "')\n"
        "print(im.mode)\n"
        "print(' '.join(str(v) for px in im.getdata() for v in px))\n");
    const size_t nl = out.find('\n');
    ASSERT_NE(nl, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, nl), "CMYK");
    std::vector<uint8_t> back;
    for (size_t pos = nl + 1; pos < out.size();) {
        char* end;
        const long v = std::strtol(out.c_str() + pos, &end, 10);
        if (end == out.c_str() + pos) break;
        back.push_back(uint8_t(v));
        pos = size_t(end - out.c_str());
    }
    EXPECT_GE(Psnr(back, inks), 34);
#endif
}

// ---------------------------------------------------------------------------
// Density, comment and metadata markers.

TEST(JpegWriter, DensityIsDotsPerInchOrAnUnknownOneToOne) {
    struct Case {
        int16_t x, y;
        const char* unit;
        const char* xres;
        const char* yres;
    } cases[] = {
        {300, 150, "inches", "300", "150"},
        {72, 72, "inches", "72", "72"},
        {0, 72, "None", "1", "1"},
        {96, 0, "None", "1", "1"},
        {-5, -5, "None", "1", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "x" + std::to_string(c.y));
        ScratchDir dir;
        FakeSave f;
        PrepareColour(&f, 8, 8);
        f.picture().xResolution = c.x;
        f.picture().yResolution = c.y;
        const std::wstring path = dir.File("d.jpg");
        ASSERT_EQ(WriteTo(&f, path), kSaveOk);
#ifndef _WIN32
        const std::string p = Narrow(path);
        EXPECT_EQ(ExifTag("JFIF:ResolutionUnit", p), std::string(c.unit) + "\n");
        EXPECT_EQ(ExifTag("JFIF:XResolution", p), std::string(c.xres) + "\n");
        EXPECT_EQ(ExifTag("JFIF:YResolution", p), std::string(c.yres) + "\n");
#endif
    }
}

// Tiny metadata fixtures in the layouts the readers hand over.
std::vector<uint8_t> ExifFixture() {
    // "Exif\0\0", then a little-endian TIFF with one IFD entry: Make = "Testcam".
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0,
                              'I', 'I', 42, 0, 8, 0, 0, 0,          // header, IFD at 8
                              1, 0,                                 // one entry
                              0x0F, 0x01, 2, 0, 8, 0, 0, 0, 26, 0, 0, 0,  // Make, ASCII, 8, at 26
                              0, 0, 0, 0};                          // no next IFD
    const char make[] = "Testcam";
    b.insert(b.end(), make, make + sizeof make);
    return b;
}

std::vector<uint8_t> IptcFixture() {
    const std::string caption = "A caption";
    std::vector<uint8_t> iptc = {0x1C, 2, 120, 0, uint8_t(caption.size())};
    iptc.insert(iptc.end(), caption.begin(), caption.end());
    if (iptc.size() % 2) iptc.push_back(0);
    const char head[] = "Photoshop 3.0";
    std::vector<uint8_t> b(head, head + sizeof head);   // with its zero
    const uint8_t resource[] = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, uint8_t(iptc.size())};
    b.insert(b.end(), resource, resource + sizeof resource);
    b.insert(b.end(), iptc.begin(), iptc.end());
    return b;
}

std::vector<uint8_t> XmpFixture() {
    const std::string x =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:format>image/x-test</dc:format>"
        "</rdf:Description></rdf:RDF></x:xmpmeta>";
    return std::vector<uint8_t>(x.begin(), x.end());
}

// Not a real profile: only its size field (big-endian, first) and an empty
// tag table are right.
std::vector<uint8_t> IccFixture(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + i / 251);
    for (size_t i = 0; i < 4 && i < n; ++i) b[i] = uint8_t(n >> (24 - 8 * i));
    for (size_t i = 128; i < 132 && i < n; ++i) b[i] = 0;  // no tag table
    return b;
}

class MetadataList {
public:
    ~MetadataList() { FreeMetadataList(&head_); }
    // Appends at the end, so the list order is the order of these calls.
    MetadataList& Add(uint32_t kind, const std::vector<uint8_t>& data) {
        auto* node = static_cast<MetadataBlock*>(std::calloc(1, sizeof(MetadataBlock)));
        node->kind = kind;
        node->length = uint32_t(data.size());
        node->data = static_cast<uint8_t*>(std::malloc(data.size()));
        std::memcpy(node->data, data.data(), data.size());
        MetadataBlock** tail = &head_;
        while (*tail) tail = &(*tail)->next;
        *tail = node;
        return *this;
    }
    const MetadataBlock* head() const { return head_; }

private:
    MetadataBlock* head_ = nullptr;
};

// Writes an 8 x 8 picture carrying `list` and returns the file's path.
std::wstring WriteWithMetadata(const ScratchDir& dir, const MetadataList& list, void (*set)(SaveOptions*),
                               const char* comment = nullptr) {
    FakeSave f;
    PrepareColour(&f, 8, 8);
    f.picture().metadata = list.head();
    f.picture().comment = comment;
    set(&f.options());
    const std::wstring path = dir.File("m.jpg");
    EXPECT_EQ(WriteTo(&f, path), kSaveOk);
    return path;
}

#ifndef _WIN32
TEST(JpegWriter, CommentIsOneMarkerWithItsZero) {
    ScratchDir dir;
    MetadataList none;
    const std::string p = Narrow(WriteWithMetadata(dir, none, [](SaveOptions*) {}, "abc"));
    EXPECT_NE(Segments(p).find("JPEG COM (4 bytes):"), std::string::npos) << Segments(p);
    EXPECT_EQ(ExifTag("Comment", p), "abc\n");

    const std::string q = Narrow(WriteWithMetadata(dir, none, [](SaveOptions*) {}));
    EXPECT_EQ(Segments(q).find("COM"), std::string::npos);
}

TEST(JpegWriter, KeptBlocksBecomeMarkersInListOrder) {
    ScratchDir dir;
    MetadataList list;
    const std::vector<uint8_t> exif = ExifFixture(), iptc = IptcFixture(), xmp = XmpFixture(),
                               icc = IccFixture(3000);
    list.Add(kMetadataIptc, iptc).Add(kMetadataExif, exif).Add(kMetadataXmp, xmp).Add(kMetadataIcc, icc);
    const std::string all = Narrow(WriteWithMetadata(dir, list, [](SaveOptions* o) {
        o->keepExif = o->keepIptc = o->keepXmp = 1;
        o->flags |= kSaveWriteIcc;
    }));
    const std::string expected = "JPEG APP0 (14 bytes):\n"
                                 "JPEG APP13 (" + std::to_string(iptc.size()) + " bytes):\n"
                                 "JPEG APP1 (" + std::to_string(exif.size()) + " bytes):\n"
                                 "JPEG APP1 (" + std::to_string(xmp.size() + 29) + " bytes):\n"
                                 "JPEG APP2 (" + std::to_string(icc.size() + 14) + " bytes):\n";
    EXPECT_EQ(Segments(all).substr(0, expected.size()), expected) << Segments(all);
    EXPECT_EQ(ExifTag("IFD0:Make", all), "Testcam\n");
    EXPECT_EQ(ExifTag("IPTC:Caption-Abstract", all), "A caption\n");
    EXPECT_EQ(ExifTag("XMP-dc:Format", all), "image/x-test\n");
    const std::string profile = RunCommand("exiftool -b -ICC_Profile " + ShellQuote(all) + " 2>/dev/null");
    EXPECT_EQ(std::vector<uint8_t>(profile.begin(), profile.end()), icc);

    // Each block only when its switch asks for it.
    struct Case {
        const char* name;
        void (*set)(SaveOptions*);
        bool exif, iptc, xmp, icc;
    } cases[] = {
        {"none", [](SaveOptions* o) { o->keepExif = o->keepIptc = o->keepXmp = 0; }, false, false, false, false},
        {"defaults", [](SaveOptions*) {}, true, true, false, false},
        {"xmp", [](SaveOptions* o) { o->keepExif = o->keepIptc = 0; o->keepXmp = 1; }, false, false, true, false},
        {"icc", [](SaveOptions* o) { o->keepExif = o->keepIptc = 0; o->flags |= kSaveWriteIcc; }, false, false,
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = Narrow(WriteWithMetadata(dir, list, c.set));
        const std::string s = Segments(p);
        EXPECT_EQ(s.find("APP1 (" + std::to_string(exif.size()) + " ") != std::string::npos, c.exif) << s;
        EXPECT_EQ(s.find("APP13") != std::string::npos, c.iptc) << s;
        EXPECT_EQ(s.find("APP1 (" + std::to_string(xmp.size() + 29) + " ") != std::string::npos, c.xmp) << s;
        EXPECT_EQ(s.find("APP2") != std::string::npos, c.icc) << s;
    }
}

TEST(JpegWriter, IccProfilesAreChunkedAndOversizedBlocksLeftOut) {
    struct Case {
        size_t iccBytes;
        std::vector<size_t> chunks;  // APP2 lengths as exiftool reports them
    } cases[] = {
        {70000, {65533, 4495}},
        {65519, {65533}},
        {65520, {65533, 15}},
        {1, {15}},
        {255 * 65519, std::vector<size_t>(255, 65533)},
        {255 * 65519 + 1, {}},  // a 256th chunk cannot be numbered: no profile
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.iccBytes);
        ScratchDir dir;
        MetadataList list;
        const std::vector<uint8_t> icc = IccFixture(c.iccBytes);
        list.Add(kMetadataIcc, icc);
        const std::string p = Narrow(WriteWithMetadata(dir, list, [](SaveOptions* o) { o->flags |= kSaveWriteIcc; }));
        std::string expected;
        for (size_t n : c.chunks) expected += "JPEG APP2 (" + std::to_string(n) + " bytes):\n";
        const std::string s = Segments(p);
        size_t first = s.find("JPEG APP2");
        std::string got;
        for (size_t pos = first; pos != std::string::npos; pos = s.find("JPEG APP2", pos + 1))
            got += s.substr(pos, s.find('\n', pos) - pos + 1);
        EXPECT_EQ(got, expected);
        if (c.iccBytes >= 128 && !c.chunks.empty() && c.chunks.size() < 4) {
            const std::string profile = RunCommand("exiftool -b -ICC_Profile " + ShellQuote(p) + " 2>/dev/null");
            EXPECT_EQ(std::vector<uint8_t>(profile.begin(), profile.end()), icc);
        }
    }

    // Blocks other than ICC that do not fit one marker are dropped; the save goes on.
    ScratchDir dir;
    MetadataList big;
    std::vector<uint8_t> exif = ExifFixture();
    exif.resize(65534);
    std::vector<uint8_t> exifFits = ExifFixture();
    exifFits.resize(65533);
    std::vector<uint8_t> xmp(65533 - 29 + 1, ' ');
    big.Add(kMetadataExif, exif).Add(kMetadataXmp, xmp).Add(kMetadataExif, exifFits);
    const std::string p = Narrow(WriteWithMetadata(dir, big, [](SaveOptions* o) { o->keepXmp = 1; }));
    const std::string s = Segments(p);
    const std::string app = "JPEG APP0 (14 bytes):\nJPEG APP1 (65533 bytes):\nJPEG DQT";
    EXPECT_EQ(s.substr(0, app.size()), app) << s;
}
#endif

// ---------------------------------------------------------------------------
// Refusals and failures.

TEST(JpegWriter, RefusalsAndFailuresGiveTheirCodes) {
    ScratchDir dir;
    {
        SCOPED_TRACE("palette pictures are refused before the file is made");
        FakeSave f;
        PrepareColour(&f, 8, 8);
        f.picture().kind = kPixelPalette;
        EXPECT_EQ(WriteTo(&f, dir.File("p.jpg")), kSaveRefused);
        EXPECT_EQ(f.begins, 0);
        EXPECT_FALSE(WidePathExists(dir.File("p.jpg").c_str()));
    }
    {
        SCOPED_TRACE("a file that cannot be created");
        FakeSave f;
        PrepareColour(&f, 8, 8);
        EXPECT_EQ(WriteTo(&f, dir.File("missing/x.jpg")), kSaveCannotCreate);
        EXPECT_EQ(f.begins, 0);
    }
    {
        SCOPED_TRACE("BeginWrite out of memory is 1, and nothing is written");
        FakeSave f;
        PrepareColour(&f, 8, 8);
        f.beginResult = kSaveNoMemory;
        EXPECT_EQ(WriteTo(&f, dir.File("m.jpg")), kSaveNoMemory);
        EXPECT_EQ(f.ends, 0);
        EXPECT_TRUE(ReadBytes(dir.File("m.jpg")).empty());
    }
    {
        SCOPED_TRACE("a cancel at a row stops the write");
        FakeSave f;
        PrepareColour(&f, 8, 40);
        f.failAtRow = 20;
        EXPECT_EQ(WriteTo(&f, dir.File("c.jpg")), kSaveCancelled);
        EXPECT_EQ(f.rowsDelivered, 20);
        EXPECT_EQ(f.ends, 1);
    }
    {
        SCOPED_TRACE("a row provider's error is handed on");
        FakeSave f;
        PrepareColour(&f, 8, 8);
        f.failAtRow = 0;
        f.rowFailure = 42;
        EXPECT_EQ(WriteTo(&f, dir.File("e.jpg")), 42);
        EXPECT_EQ(f.ends, 1);
    }
    {
        SCOPED_TRACE("a libjpeg error (a picture too wide for JPEG) is 11");
        FakeSave f;
        PrepareColour(&f, 8, 1);
        f.picture().width = 70000;
        f.rows[0].resize(70000 * 3);
        EXPECT_EQ(WriteTo(&f, dir.File("w.jpg")), kSaveJpegError);
        EXPECT_EQ(f.begins, 1);
        EXPECT_EQ(f.ends, 1);
    }
}

#ifndef _WIN32
// A full disk: small files fail at the final flush, large ones while rows go out.
TEST(JpegWriter, FullDiskIsAWriteFailure) {
    for (int side : {8, 300}) {
        SCOPED_TRACE(side);
        FakeSave f;
        PrepareColour(&f, side, side);
        f.options().quality = 100;
        EXPECT_EQ(WriteTo(&f, L"/dev/full"), kSaveWriteFailed);
        EXPECT_EQ(f.ends, f.begins);
    }
    // Through an open stream too.
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    FakeSave f;
    PrepareColour(&f, 8, 8);
    FileSource src{};
    src.stream = full;
    EXPECT_EQ(WriteJpeg(&src, f.ctx()), kSaveWriteFailed);
    std::fclose(full);
}
#endif

// ---------------------------------------------------------------------------
// Encoding into memory.

TEST(EncodeJpegBuffer, SmallGreyPictureIsACompleteStream) {
    const uint8_t grey = 200;
    std::vector<uint8_t> out(4096, 0xEE);
    size_t size = 12345;
    ASSERT_EQ(EncodeJpegBuffer(&grey, 1, 1, 1, 1, out.data(), out.size(), &size, 80), kEncodeJpegDone);
    ASSERT_GT(size, 100u);
    ASSERT_LT(size, 1000u);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xD8);
    EXPECT_EQ(out[size - 2], 0xFF);
    EXPECT_EQ(out[size - 1], 0xD9);
    EXPECT_EQ(out[size], 0xEE);  // nothing past the stream
#ifndef _WIN32
    ScratchDir dir;
    WriteBytes(dir.File("g.jpg"), std::vector<uint8_t>(out.begin(), out.begin() + long(size)));
    const PnmImage img = DecodeJpeg(Narrow(dir.File("g.jpg")));
    ASSERT_EQ(img.pixels.size(), 1u);
    EXPECT_NEAR(img.pixels[0], 200, 2);
#endif
}

TEST(EncodeJpegBuffer, LongStreamArrivesWholeAndExact) {
    // Grey noise in RGB pixels compresses badly (far more than one 4096-byte
    // work buffer) and loses nothing to the subsampled chroma.
    const int w = 96, h = 80, stride = w * 3 + 5;
    std::vector<uint8_t> px(size_t(stride) * h), packed;
    uint32_t seed = 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            for (int c = 0; c < 3; ++c) {
                px[size_t(y) * stride + size_t(x) * 3 + size_t(c)] = uint8_t(seed >> 24);
                packed.push_back(uint8_t(seed >> 24));
            }
        }
    std::vector<uint8_t> out(size_t(h) * stride + 4096);
    size_t size = 0;
    ASSERT_EQ(EncodeJpegBuffer(px.data(), w, h, stride, 3, out.data(), out.size(), &size, 100), kEncodeJpegDone);
    ASSERT_GT(size, 3 * 4096u);
    EXPECT_EQ(out[size - 1], 0xD9);
#ifndef _WIN32
    ScratchDir dir;
    WriteBytes(dir.File("n.jpg"), std::vector<uint8_t>(out.begin(), out.begin() + long(size)));
    const PnmImage img = DecodeJpeg(Narrow(dir.File("n.jpg")));
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.channels, 3);
    EXPECT_GE(Psnr(img.pixels, packed), 35);
    EXPECT_EQ(ExifTag("EncodingProcess", Narrow(dir.File("n.jpg"))), "Baseline DCT, Huffman coding\n");
#endif

    // The same stream into too small a buffer: refused, nothing written past it.
    for (size_t capacity : {size_t(0), size_t(100), size_t(4096), size - 1}) {
        SCOPED_TRACE(capacity);
        std::vector<uint8_t> small(capacity + 64, 0xA5);
        size_t untouched = 777;
        EXPECT_EQ(EncodeJpegBuffer(px.data(), w, h, stride, 3, small.data(), capacity, &untouched, 100),
                  kEncodeJpegTooLarge);
        EXPECT_EQ(untouched, 777u);
        for (size_t i = capacity; i < small.size(); ++i) ASSERT_EQ(small[i], 0xA5) << i;
    }
    // Exactly enough room is enough.
    std::vector<uint8_t> exact(size);
    size_t again = 0;
    EXPECT_EQ(EncodeJpegBuffer(px.data(), w, h, stride, 3, exact.data(), size, &again, 100), kEncodeJpegDone);
    EXPECT_EQ(again, size);
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), out.begin()));
}

TEST(EncodeJpegBuffer, BadArgumentsFailWithoutTouchingTheSize) {
    std::vector<uint8_t> px(64 * 3, 128), out(8192);
    struct Case {
        const char* name;
        const uint8_t* pixels;
        int32_t w, h, stride;
        int components;
    } cases[] = {
        {"width 0", px.data(), 0, 8, 24, 3},
        {"height 0", px.data(), 8, 0, 24, 3},
        {"negative width", px.data(), -8, 8, 24, 3},
        {"rows shorter than the width", px.data(), 8, 8, 23, 3},
        {"no pixels", nullptr, 8, 8, 24, 3},
        {"too wide for JPEG", px.data(), 70000, 1, 70000, 1},
    };
    std::vector<uint8_t> wide(70000, 1);
    cases[5].pixels = wide.data();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t size = 99;
        EXPECT_EQ(EncodeJpegBuffer(c.pixels, c.w, c.h, c.stride, c.components, out.data(), out.size(), &size, 80),
                  kEncodeJpegFailed);
        EXPECT_EQ(size, 99u);
    }
}

}  // namespace
