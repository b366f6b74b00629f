// E-mail: the recipient rule, message stores and submitted messages, read
// back by Python's e-mail parser (Debian's /usr/bin/python3). Native only.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/loadcontext.h"
#include "platform/mailstore.h"
#include "tests/support/missingoracle.h"
#include "tests/support/oracles.h"
#include "tests/support/testfiles.h"
#include "tools/mail.h"

using namespace testing_support;

namespace {

// What the parser saw: key -> lines (attachments and sources repeat).
std::multimap<std::string, std::string> ReadWithPython(const std::wstring& message,
                                                       const std::vector<std::wstring>& sources) {
    std::string command = "/usr/bin/python3 " PV_SOURCE_DIR "/tests/sharing/read_mail.py '" +
                          WideToUtf8(message.c_str()) + "'";
    for (const auto& s : sources) command += " '" + WideToUtf8(s.c_str()) + "'";
    std::multimap<std::string, std::string> seen;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return seen;
    char line[8192];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t tab = text.find('\t');
        if (tab != std::string::npos) seen.emplace(text.substr(0, tab), text.substr(tab + 1));
    }
    pclose(pipe);
    return seen;
}

// A text as Python's json.dumps writes it (ASCII, \uXXXX for the rest of the
// basic plane).
std::string JsonText(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
            out += escape;
        }
    }
    return out + "\"";
}

std::string One(const std::multimap<std::string, std::string>& seen, const std::string& key) {
    auto it = seen.find(key);
    return it == seen.end() ? "<missing>" : it->second;
}

std::vector<std::string> All(const std::multimap<std::string, std::string>& seen, const std::string& key) {
    std::vector<std::string> values;
    for (auto range = seen.equal_range(key); range.first != range.second; ++range.first)
        values.push_back(range.first->second);
    return values;
}

class MailStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("/usr/bin/python3 -c 'import email.policy' 2>/dev/null") != 0)
            PV_ORACLE_MISSING("Debian's /usr/bin/python3");
        MailStoreSetRoot(root_.path().wstring());
    }
    void TearDown() override { MailStoreSetRoot(L""); }
    ScratchDir root_;
    ScratchDir files_;
};

}  // namespace

TEST(MailAddressTest, SplitsRecipientTexts) {
    const struct {
        const wchar_t* text;
        std::vector<std::wstring> addresses;
    } cases[] = {
        {L"", {}},
        {L"   ", {}},
        {L"a@x.org", {L"a@x.org"}},
        {L"a@x.org; b@y.org", {L"a@x.org", L"b@y.org"}},
        {L"a@x.org ;b@y.org", {L"a@x.org", L"b@y.org"}},  // no empty address between
        {L";;a@x.org;", {L"a@x.org"}},
        {L"  a@x.org   b@y.org  ", {L"a@x.org", L"b@y.org"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MailSplitAddresses(c.text), c.addresses) << WideToUtf8(c.text);
        EXPECT_EQ(MailCountAddresses(c.text), c.addresses.size());
    }
    EXPECT_EQ(MailAttachmentName(L"\\My Documents\\a.jpg"), L"a.jpg");
    EXPECT_EQ(MailAttachmentName(L"b.png"), L"b.png");
}

TEST_F(MailStoreTest, StoresAreListedAndFoundByEntryId) {
    MailStoreInfo first, second;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &first), 0);
    ASSERT_EQ(MailStoreCreate(L"Bureau \u00e9t\u00e9", "work@office.example", &second), 0);
    const auto stores = MailStoreList();
    ASSERT_EQ(stores.size(), 2u);
    MailStoreInfo found;
    ASSERT_TRUE(MailStoreFind(second.entryId, &found));
    EXPECT_EQ(found.name, L"Bureau \u00e9t\u00e9");
    EXPECT_EQ(found.sender, "work@office.example");
    EXPECT_FALSE(MailStoreFind(std::vector<uint8_t>(16, 0), &found));
    EXPECT_NE(MailStoreCreate(L"two\nlines", "x@y", nullptr), 0);
}

TEST_F(MailStoreTest, SubmittedMessagesReadBackWithPythonsParser) {
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    const std::wstring jpeg = files_.File("photo.jpg"), png = files_.File("cafe1.png");
    std::vector<uint8_t> bytes(70000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 300);
    WriteBytes(jpeg, bytes);
    WriteBytes(png, {});
    MailMessageData message;
    message.from = "me@device.example";
    message.to = {L"a@x.org", L"", L"b@y.org", L"evil@x.org\r\nBcc: spy@z.org"};
    message.bcc = {L"hidden@z.org"};
    message.subject = L"Receipt of Photo(s) \u2014 \u00e9t\u00e9 =?x?= and a long tail of words to fold the header";
    message.body = L"Photo(s) sent : \u00e9\n";
    message.attachments = {{L"photo.jpg", bytes}, {L"caf\u00e9 \"1\".png", {}}};
    std::wstring path;
    ASSERT_EQ(MailStoreSubmit(store, message, &path), 0);
    EXPECT_EQ(path.rfind(store.folder + L"Outbox/", 0), 0u);

    const auto seen = ReadWithPython(path, {jpeg, png});
    EXPECT_EQ(One(seen, "from"), "\"me@device.example\"");
    EXPECT_EQ(One(seen, "to"), "\"a@x.org,b@y.org\"");
    EXPECT_EQ(One(seen, "bcc"), "null");
    EXPECT_EQ(One(seen, "subject"),
              "\"Receipt of Photo(s) \\u2014 \\u00e9t\\u00e9 =?x?= and a long tail of words to fold the header\"");
    EXPECT_EQ(One(seen, "body"), "\"Photo(s) sent : \\u00e9\\n\"");
    const auto attachments = All(seen, "attachment");
    const auto sources = All(seen, "source");
    ASSERT_EQ(attachments.size(), 2u);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(attachments[0], "\"photo.jpg\"\t" + sources[0]);
    EXPECT_EQ(attachments[1], "\"caf\\u00e9 \\\"1\\\".png\"\t" + sources[1]);
    EXPECT_EQ(One(seen, "defects"), "0");
}

TEST_F(MailStoreTest, AMessageWithoutRecipientsOrSubjectIsStillWellFormed) {
    // A store without a sender, or with one that is no address: RFC 5322
    // asks for a From header all the same.
    for (const char* sender : {"", "Me Myself <me@x.org>"}) {
        SCOPED_TRACE(sender);
        MailStoreInfo store;
        ASSERT_EQ(MailStoreCreate(L"Outlook", sender, &store), 0);
        MailMessageData message;
        message.from = store.sender;
        std::wstring path;
        ASSERT_EQ(MailStoreSubmit(store, message, &path), 0);
        const auto seen = ReadWithPython(path, {});
        EXPECT_EQ(One(seen, "from"), "\"unknown-sender@pictureviewer.invalid\"");
        EXPECT_EQ(One(seen, "to"), "\"\"");
        EXPECT_EQ(One(seen, "subject"), "\"\"");
        EXPECT_EQ(One(seen, "body"), "\"\"");
        EXPECT_EQ(One(seen, "defects"), "0");
    }
}

// Long attachment names and subjects: RFC 2231 continuations and folding
// keep every line within 78 characters (the limit is 998), and Python's
// parser puts the texts back together.
TEST_F(MailStoreTest, LongNamesAndSubjectsFoldIntoShortLines) {
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    const std::wstring words = [] {
        std::wstring text;
        while (text.size() < 250) text += L"photos of the summer ";
        return text.substr(0, 255);
    }();
    const struct {
        const char* what;
        std::wstring name;
        std::wstring subject;
    } cases[] = {
        {"accented name", std::wstring(255, L'\u00e9') + L".jpg", L"short"},
        {"ideographs", std::wstring(100, L'\u5199') + L"\u771f.png", std::wstring(255, L'\u5199')},
        {"plain ASCII", std::wstring(255, L'a') + L".jpg", words},
        {"quotes force the extended form", L"\"" + std::wstring(200, L'q') + L"\".jpg", std::wstring(255, L'x')},
        {"escapes and characters next to each other", std::wstring(60, L'%') + std::wstring(60, L'\u00e9') +
             std::wstring(60, L' ') + L".gif", words + L"\u00e9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MailMessageData message;
        message.from = store.sender;
        message.to = {L"a@x.org"};
        message.subject = c.subject;
        message.attachments = {{c.name, {1, 2, 3}}};
        std::wstring path;
        ASSERT_EQ(MailStoreSubmit(store, message, &path), 0);
        const auto seen = ReadWithPython(path, {});
        const auto attachments = All(seen, "attachment");
        ASSERT_EQ(attachments.size(), 1u);
        EXPECT_EQ(attachments[0].substr(0, attachments[0].find('\t')), JsonText(c.name));
        EXPECT_EQ(One(seen, "typename"), JsonText(c.name));
        EXPECT_EQ(One(seen, "subject"), JsonText(c.subject));
        EXPECT_EQ(One(seen, "defects"), "0");
        EXPECT_LE(std::stoi(One(seen, "longest")), 78);
    }
}

TEST(MailConvertTest, PicturesAreScaledAndWrittenInTheChosenFormat) {
    ScratchDir dir;
    const std::string source = (dir.path() / "photo.jpg").string();
    ASSERT_EQ(std::system(("/usr/bin/python3 -c \"from PIL import Image; Image.new('RGB', (40, 30), (200, 80, 20))"
                           ".save('" + source + "')\"").c_str()), 0);
    InitFormatRegistry();
    const struct {
        int size, format;
        int width, height, formatIndex;
        const wchar_t* name;
    } cases[] = {
        {2, 1, 20, 15, kFormatPng, L"photo.png"},
        {4, 3, 4, 3, kFormatJpeg, L"photo.jpg"},
        {0, 0, 40, 30, kFormatJpeg, L"photo.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const std::wstring temp = MailTemporaryName(dir.path().wstring() + L"/", c.format);
        std::wstring name;
        ASSERT_EQ(MailConvertPicture(Utf8ToWide(source.c_str()).c_str(), temp.c_str(), c.size, c.format, &name), 0);
        EXPECT_EQ(name, c.name);
        ImageInfo info{};
        ASSERT_EQ(QueryPictureInfo(temp.c_str(), -1, 0, &info), 0);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.formatIndex, c.formatIndex);
        FreePictureInfo(&info);
    }
    std::wstring name;
    EXPECT_NE(MailConvertPicture((dir.path() / "missing.jpg").wstring().c_str(), L"x.tmp", 1, 1, &name), 0);
    FreeFormatRegistry();
}

// The writers' colour models: a true-colour picture of more than 256 colours
// goes out as a palette GIF, a palette GIF as a true-colour JPEG; Pillow
// reads both attachments of the submitted message.
TEST_F(MailStoreTest, ConvertedPicturesTravelInTheWritersColourModels) {
    const std::string gradient = (files_.path() / "gradient.png").string();
    const std::string palette = (files_.path() / "palette.gif").string();
    ASSERT_EQ(std::system(("/usr/bin/python3 -c \"from PIL import Image; "
                           "g = Image.new('RGB', (64, 48)); "
                           "g.putdata([(x * 4, y * 5, (x + y) * 2) for y in range(48) for x in range(64)]); "
                           "g.save('" + gradient + "'); "
                           "g.quantize(16).save('" + palette + "')\"").c_str()), 0);
    InitFormatRegistry();
    const struct {
        std::string source;
        int format;
        const wchar_t* name;
    } cases[] = {
        {gradient, 5, L"gradient.gif"},
        {palette, 3, L"palette.jpg"},
    };
    MailMessageData message;
    message.from = "me@device.example";
    message.to = {L"a@x.org"};
    for (const auto& c : cases) {
        const std::wstring temp = MailTemporaryName(files_.path().wstring() + L"/", c.format);
        std::wstring name;
        ASSERT_EQ(MailConvertPicture(Utf8ToWide(c.source.c_str()).c_str(), temp.c_str(), 2, c.format, &name), 0)
            << c.source;
        EXPECT_EQ(name, c.name);
        message.attachments.push_back({name, ReadBytes(temp)});
    }
    FreeFormatRegistry();
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    std::wstring path;
    ASSERT_EQ(MailStoreSubmit(store, message, &path), 0);
    const auto pictures = All(ReadWithPython(path, {}), "picture");
    EXPECT_EQ(pictures, (std::vector<std::string>{"GIF 32x24 P", "JPEG 32x24 RGB"}));
}

// "Original format" with a size reduction: a source no writer takes goes out
// as a JPEG, and what the source carries besides its pixels (a camera's
// EXIF) stays with the copy. Python's parser reads every attachment.
TEST_F(MailStoreTest, OriginalFormatFallsBackToJpegAndKeepsTheMetadata) {
    if (std::system("exiftool -ver >/dev/null 2>&1") != 0) PV_ORACLE_MISSING("exiftool");
    const std::string folder = files_.path().string() + "/";
    int status = 0;
    const std::string made = RunPillow(
        "from PIL import Image\n"
        "g = Image.new('RGB', (64, 48))\n"
        "g.putdata([(x * 4, y * 5, (x + y) * 2) for y in range(48) for x in range(64)])\n"
        "d = '" + folder + "'\n"
        "g.save(d + 'scan.tif'); g.save(d + 'paint.pcx'); g.save(d + 'raw.ppm')\n"
        "e = Image.Exif(); e[0x010F] = 'ProbeCam'; e[0x0110] = 'Probe 1'\n"
        "g.save(d + 'camera.jpg', exif=e.tobytes(), quality=95)\n", &status);
    ASSERT_EQ(status, 0) << made;
    InitFormatRegistry();
    const struct {
        const char* source;
        const wchar_t* name;
    } cases[] = {{"scan.tif", L"scan.jpg"}, {"paint.pcx", L"paint.jpg"}, {"raw.ppm", L"raw.jpg"},
                 {"camera.jpg", L"camera.jpg"}};
    MailMessageData message;
    message.from = "me@device.example";
    message.to = {L"a@x.org"};
    std::wstring cameraCopy;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const std::wstring temp = MailTemporaryName(Utf8ToWide(folder.c_str()), int(message.attachments.size()));
        std::wstring name;
        bool loadFailed = true;
        ASSERT_EQ(MailConvertPicture(Utf8ToWide((folder + c.source).c_str()).c_str(), temp.c_str(), 2, 0, &name,
                                     &loadFailed),
                  0);
        EXPECT_FALSE(loadFailed);
        EXPECT_EQ(name, c.name);
        message.attachments.push_back({name, ReadBytes(temp)});
        cameraCopy = temp;
    }
    // A picture that cannot be read, and one that cannot be written.
    bool loadFailed = false;
    EXPECT_NE(MailConvertPicture(Utf8ToWide((folder + "gone.jpg").c_str()).c_str(), L"x.tmp", 2, 0, nullptr,
                                 &loadFailed),
              0);
    EXPECT_TRUE(loadFailed);
    EXPECT_NE(MailConvertPicture(Utf8ToWide((folder + "camera.jpg").c_str()).c_str(),
                                 Utf8ToWide((folder + "no/such/folder.tmp").c_str()).c_str(), 2, 0, nullptr,
                                 &loadFailed),
              0);
    EXPECT_FALSE(loadFailed);
    FreeFormatRegistry();
    EXPECT_EQ(RunCommand("exiftool -s3 -Make -Model " + ShellQuote(WideToUtf8(cameraCopy.c_str()))),
              "ProbeCam\nProbe 1\n");

    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    std::wstring path;
    ASSERT_EQ(MailStoreSubmit(store, message, &path), 0);
    const auto seen = ReadWithPython(path, {});
    EXPECT_EQ(All(seen, "picture"), std::vector<std::string>(4, "JPEG 32x24 RGB"));
    EXPECT_EQ(One(seen, "defects"), "0");
}
