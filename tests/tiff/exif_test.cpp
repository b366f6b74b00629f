// The EXIF of TIFF files through the path of the properties sheet: a
// reduced load keeping metadata, then the property list of the bitmap's
// metadata. Files of both byte orders, tagged by exiftool (or, without an
// Exif directory, by tiffset), must show what exiftool's raw values say
// (exif.txt, made by make_fixtures.py).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "processing/exif_props.h"
#include "processing/exifedit.h"
#include "tests/tiff/tifftest.h"

namespace {

using PropertyTexts = std::map<std::pair<uint32_t, uint16_t>, std::string>;

void Collect(void* context, uint32_t category, uint16_t tag, const char*, const char* text) {
    if (text) (*static_cast<PropertyTexts*>(context))[{category, tag}] = text;
}

// The properties the sheet shows for a file: it loads the picture reduced,
// keeping comment and metadata, and lists the bitmap's EXIF.
PropertyTexts SheetProperties(const std::string& file) {
    LoadOptions o = tifftest::Load::Options(kLoadKeepComment | kLoadKeepMetadata | kLoadReduced);
    o.targetWidth = 16;
    o.targetHeight = 16;
    tifftest::Load load(testing_support::ReadReaderFixture(file), L"picture.tif", o);
    EXPECT_EQ(kLoadOk, load.result) << file;
    PropertyTexts texts;
    ExifEnumProperties(load.bitmap.metadata, Collect, &texts);
    return texts;
}

TEST(TiffExif, PropertiesOfBothByteOrdersMatchExiftool) {
    std::ifstream in(testing_support::ToFsPath(
        testing_support::FixtureFile(testing_support::ReaderFixtureDir(), "exif.txt")));
    std::map<std::string, PropertyTexts> byFile;
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string file, category, tag, text;
        if (!std::getline(fields, file, '\t') || !std::getline(fields, category, '\t') ||
            !std::getline(fields, tag, '\t') || !std::getline(fields, text))
            continue;
        if (!byFile.count(file)) byFile[file] = SheetProperties(file);
        const auto& texts = byFile[file];
        const auto found = texts.find({uint32_t(std::stoul(category)), uint16_t(std::stoul(tag))});
        ASSERT_NE(texts.end(), found) << file << " " << category << " " << tag;
        EXPECT_EQ(text, found->second) << file << " " << tag;
        ++rows;
    }
    EXPECT_EQ(30, rows) << "exif.txt was not made (exiftool is needed)";
}

// A picture turned by its Orientation tag comes with an EXIF block whose
// orientation is 1: the block describes the delivered bitmap, which must
// not be turned again by whoever turns pictures by their EXIF orientation.
TEST(TiffExif, TurnedPictureCarriesOrientationOne) {
    for (const char* file : {"orient3.tif", "orient6.tif"}) {
        SCOPED_TRACE(file);
        tifftest::Load load(testing_support::ReadReaderFixture(file), L"picture.tif",
                            tifftest::Load::Options(kLoadKeepMetadata));
        ASSERT_EQ(kLoadOk, load.result);
        uint32_t value = 0;
        ASSERT_TRUE(ExifGetOrientation(load.bitmap.metadata, &value));
        EXPECT_EQ(1u, value);
    }
}

}  // namespace
