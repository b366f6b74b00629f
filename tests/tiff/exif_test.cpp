// The EXIF of TIFF files through the path of the properties sheet: a
// reduced load keeping metadata, then the property list of the bitmap's
// metadata. Files of both byte orders, tagged by exiftool, must show what
// exiftool's raw values say (exif.txt, made by make_fixtures.py).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "processing/exif_props.h"
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
    EXPECT_EQ(24, rows) << "exif.txt was not made (exiftool is needed)";
}

}  // namespace
