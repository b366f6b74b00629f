// Language files: sections, entries, line limits, display names and the
// check of translated printf formats.
#include "shell/language.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/testfiles.h"

namespace {

// A small language file in the shape the program ships.
const char kGerman[] =
    "de Deutsch\r\n"
    "[Menu]\r\n"
    "Crop...=Zuschneiden...\r\n"
    "[DlgIrda2]\r\n"
    "IDC_TEXT=Second dialog\r\n"
    "[DlgIrda]\r\n"
    "IDC_TEXT = Infrarot  \r\n"
    "IDOK\t =\t  OK!\r\n"
    "IDC_SHORT=x\r\n"
    "IDC_SHORT=Long enough\r\n"
    "IDC_TWO=Line one\\nLine two\r\n"
    "no equals sign here\r\n"
    "[String]\r\n"
    "ids_error=Fehler\r\n"
    "IDS_EMPTY=\r\n"
    "[DlgLast]\n"
    "IDC_LAST=unix line end\n";

struct LookupCase {
    const char* section;
    const char* key;
    bool found;
    const char* text;
};

class LanguageFileTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LanguageFileTest, FindsEntriesOfTheSection) {
    const LookupCase& c = GetParam();
    LanguageFile file;
    file.LoadFromMemory(kGerman);
    std::string text;
    EXPECT_EQ(file.FindValue(file.FindSection(c.section), c.key, &text), c.found) << c.section << "/" << c.key;
    if (c.found) {
        EXPECT_EQ(text, c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LanguageFileTest,
    ::testing::Values(
        LookupCase{"Menu", "Crop...", true, "Zuschneiden..."},
        // Exact section names: "DlgIrda" is not answered by the "[DlgIrda2]" before it.
        LookupCase{"DlgIrda", "IDC_TEXT", true, "Infrarot"},
        LookupCase{"DlgIrda2", "IDC_TEXT", true, "Second dialog"},
        LookupCase{"DlgIrd", "IDC_TEXT", false, ""},
        LookupCase{"dlgirda", "IDC_TEXT", false, ""},  // section names are case-sensitive
        LookupCase{"DlgIrda", "IDOK", true, "OK!"},    // blanks and tabs around "=" go
        LookupCase{"DlgIrda", "idok", true, "OK!"},    // keys are not
        LookupCase{"DlgIrda", "IDC_SHORT", true, "Long enough"},  // one character counts as missing
        LookupCase{"DlgIrda", "IDC_TWO", true, "Line one\r\nLine two"},
        LookupCase{"DlgIrda", "IDS_ERROR", false, ""},  // a section ends at the next header
        LookupCase{"String", "IDS_ERROR", true, "Fehler"},
        LookupCase{"String", "IDS_EMPTY", false, ""},
        LookupCase{"DlgLast", "IDC_LAST", true, "unix line end"},
        LookupCase{"Missing", "IDC_TEXT", false, ""}));

TEST(LanguageFile, MissingSectionIsTheEndOfTheFile) {
    LanguageFile file;
    file.LoadFromMemory(kGerman);
    EXPECT_EQ(file.FindSection("Nothing"), file.End());
    std::string text;
    EXPECT_FALSE(file.FindValue(file.End(), "IDC_TEXT", &text));
}

TEST(LanguageFile, LinesLongerThanTheLimitAreSkippedWhole) {
    // The tail of a long line must not be read as a line of its own.
    const std::string longLine = "IDC_LONG=" + std::string(kLanguageLineMaxBytes, 'a') + "IDC_TAIL=tail text\r\n";
    const std::string limitLine = "IDC_LIMIT=" + std::string(kLanguageLineMaxBytes - 10, 'b') + "\r\n";
    const std::string longHeader = "[Dlg" + std::string(kLanguageLineMaxBytes, 'c') + "\r\n";
    LanguageFile file;
    file.LoadFromMemory("[Dlg]\r\n" + longLine + limitLine + longHeader + "IDC_AFTER=after\r\n");
    const size_t section = file.FindSection("Dlg");
    std::string text;
    EXPECT_FALSE(file.FindValue(section, "IDC_LONG", &text));
    EXPECT_FALSE(file.FindValue(section, "IDC_TAIL", &text));
    ASSERT_TRUE(file.FindValue(section, "IDC_LIMIT", &text));  // exactly at the limit: read
    EXPECT_EQ(text.size(), kLanguageLineMaxBytes - 10);
    // A too-long line beginning with "[" does not end the section either.
    ASSERT_TRUE(file.FindValue(section, "IDC_AFTER", &text));
    EXPECT_EQ(text, "after");
}

TEST(LanguageFile, KeyKeepsItsFirstCharacterAndOddLinesAreHarmless) {
    static const char kOdd[] = "[S]\n =blank key\n=no key\n\0=nul\nK\t=tab key\n[";
    LanguageFile file;
    file.LoadFromMemory(std::string(kOdd, sizeof kOdd - 1));
    const size_t section = file.FindSection("S");
    std::string text;
    ASSERT_TRUE(file.FindValue(section, " ", &text));
    EXPECT_EQ(text, "blank key");
    ASSERT_TRUE(file.FindValue(section, "K", &text));
    EXPECT_EQ(text, "tab key");
    EXPECT_FALSE(file.FindValue(section, "", &text));
}

TEST(LanguageFile, LoadsFromDiskAndRefusesMissingOrHugeFiles) {
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("de.lng");
    testing_support::WriteText(path, kGerman);
    LanguageFile file;
    ASSERT_TRUE(file.Load(path.c_str()));
    std::string text;
    EXPECT_TRUE(file.FindValue(file.FindSection("Menu"), "Crop...", &text));

    EXPECT_FALSE(file.Load(dir.File("xx.lng").c_str()));
    EXPECT_FALSE(file.IsOpen());

    const std::wstring huge = dir.File("hu.lng");
    testing_support::WriteText(huge, std::string(kLanguageFileMaxBytes + 1, '\n'));
    EXPECT_FALSE(file.Load(huge.c_str()));
}

TEST(LanguageState, StringLookupsLeaveTheDialogSectionAlone) {
    LanguageState language;
    language.OpenFromMemory(kGerman, "DE");
    EXPECT_EQ(language.CurrentCode(), L"de");
    language.SelectSection("DlgIrda");
    std::string text;
    ASSERT_TRUE(language.FindString("IDS_ERROR", &text));
    EXPECT_EQ(text, "Fehler");
    ASSERT_TRUE(language.FindInSection("IDC_TEXT", &text));
    EXPECT_EQ(text, "Infrarot");
    ASSERT_TRUE(language.FindString("IDS_ERROR", &text));  // the kept position answers again
}

TEST(LanguageState, FailedOpenFallsBackToEnglish) {
    testing_support::ScratchDir dir;
    const std::wstring path = dir.File("fr.lng");
    testing_support::WriteText(path, "fr Francais\n[String]\nIDS_X=Bonjour\n");
    LanguageState language;
    ASSERT_TRUE(language.Open(path.c_str(), "fr"));
    EXPECT_EQ(language.CurrentCode(), L"fr");

    EXPECT_FALSE(language.Open(dir.File("en.lng").c_str(), "en"));  // no file
    EXPECT_EQ(language.CurrentCode(), L"en");
    EXPECT_FALSE(language.IsOpen());
    std::string text;
    EXPECT_FALSE(language.FindString("IDS_X", &text));
    EXPECT_EQ(language.SelectSection("String"), 0u);

    // Only two letters make a code: nothing else reaches a file name.
    for (const char* code : {"f", "fra", "..", "f\\", ""}) {
        EXPECT_FALSE(language.Open(path.c_str(), code)) << code;
        EXPECT_EQ(language.CurrentCode(), L"en");
    }
}

TEST(LanguageState, SetLanguageReportsOnlyAChange) {
    LanguageState language;
    EXPECT_FALSE(language.SetLanguage(L"en"));
    EXPECT_FALSE(language.SetLanguage(L"en - English"));  // cut to two characters
    EXPECT_TRUE(language.SetLanguage(L"de - Deutsch"));
    EXPECT_EQ(language.CurrentCode(), L"de");
    EXPECT_FALSE(language.SetLanguage(L"de"));
    EXPECT_TRUE(language.SetLanguage(L"DE"));  // exact comparison
}

TEST(LanguageDisplayName, TakesTheTextAfterTheFirstDelimiter) {
    struct Case {
        const char* firstLine;
        const char* name;
    };
    const Case cases[] = {
        {"de Deutsch\r\n[Menu]", "Deutsch"},
        {"fr\tFran\xe7" "ais\n", "Fran\xe7" "ais"},
        {"it=Italiano", "Italiano"},
        {"nl  Nederlands", " Nederlands"},  // one delimiter only
        {"nodelimiter\r\n", ""},
        {"xx \r\n", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(LanguageDisplayName(c.firstLine), c.name) << c.firstLine;
    // Only the first 63 bytes are read.
    const std::string longName = "es " + std::string(100, 'e');
    EXPECT_EQ(LanguageDisplayName(longName).size(), kLanguageNameLineMaxBytes - 3);
}

TEST(FormatConversions, TranslationMustConsumeTheSameArguments) {
    struct Case {
        const wchar_t* builtin;
        const wchar_t* translated;
        bool match;
    };
    const Case cases[] = {
        {L"The capture has been saved into %s%s.", L"Gespeichert in %s%s.", true},
        {L"%d of %d", L"%i von %5d", true},      // flags and widths may change
        {L"%d files", L"%x files", true},         // same argument kind
        {L"%.2f%%", L"%5.1f %%", true},
        {L"%*d", L"%*d", true},
        {L"no format", L"kein Format 100%%", true},
        {L"%s%s", L"%s", false},                  // too few
        {L"%s", L"%s %s", false},                 // too many: reads past the arguments
        {L"%d %s", L"%s %d", false},              // order swapped
        {L"%s", L"%d", false},
        {L"%s", L"%hs", false},                   // another string width
        {L"%d", L"%ld", false},
        {L"%d", L"%I64d", false},
        {L"%d", L"%*d", false},
        {L"%s", L"%n", false},                    // writes memory
        {L"%s", L"%1$s", false},                  // positional
        {L"%s", L"%", false},                     // broken
        {L"%s", L"%k", false},
        {L"plain", nullptr, true},
        // Widths and precisions stay small: printf builds a text of that size.
        {L"Width : %d", L"Breite : %.100000000d", false},
        {L"%d", L"%100000000d", false},
        {L"%d", L"%0000000000000000000065d", false},
        {L"%s%s", L"%s%.4294967297s", false},  // no wrap past 32 bits
        {L"%d", L"%-64.64d", true},
        {L"%d", L"%65d", false},
        {L"%.2f", L"%.65f", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatConversionsMatch(c.builtin, c.translated), c.match)
            << "builtin '" << testing_support::ToFsPath(c.builtin).string() << "'";
}

TEST(FormatConversions, ANumberFillsACheckedFormatWhole) {
    const struct {
        std::wstring format;
        int value;
        std::wstring text;
    } cases[] = {
        {L"Width : %d", 640, L"Width : 640"},
        {L"Searching for device: #%d", 0, L"Searching for device: #0"},
        {L"%-64d|", -7, L"-7" + std::wstring(62, L' ') + L"|"},
        {L"%.64x", 255, std::wstring(62, L'0') + L"ff"},
        {L"100%% : %d", 3, L"100% : 3"},
        {std::wstring(500, L'a') + L"%d", 5, std::wstring(500, L'a') + L"5"},
        // Formats that do not take one number come back as they are.
        {L"%.100000000d", 1, L"%.100000000d"},
        {L"%s", 1, L"%s"},
        {L"%d %d", 1, L"%d %d"},
        {L"no number", 1, L"no number"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatWithNumber(c.format.c_str(), c.value), c.text) << testing_support::ToFsPath(c.format).string();
}

}  // namespace
