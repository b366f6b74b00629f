// Settings in the registry under Wine: every key of the main settings read
// with its default, brought into range, written and read back, and the
// written values checked independently with "reg query" run through cmd.
#include "shell/settings_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

namespace {

// Each test program has its own key: test programs run side by side share
// one registry.
class RegistrySettings : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t root[64];
        swprintf(root, 64, L"Software\\Trelmo-test-%lu", GetCurrentProcessId());
        root_ = root;
        RegSetSettingsRoot(root);
        RegDeleteTreeW(HKEY_CURRENT_USER, root);
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
        RegSetSettingsRoot(L"Software\\Trelmo");
    }
    std::wstring root_;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Runs "cmd /c reg query <key>" and returns name -> (type, data) per value.
std::map<std::string, std::pair<std::string, std::string>> RegQuery(const std::wstring& key) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"cmd /c reg query \"HKCU\\" + key + L"\"";
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char chunk[4096];
        DWORD got;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got) output.append(chunk, got);
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    EXPECT_TRUE(started) << "cmd did not start: " << GetLastError();

    // Lines of values: "    <name>    <type>    <data>".
    std::map<std::string, std::pair<std::string, std::string>> values;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 4, "    ") != 0) continue;
        const size_t typeAt = line.find("    REG_", 4);
        if (typeAt == std::string::npos) continue;
        const size_t dataAt = line.find("    ", typeAt + 4);
        const std::string name = line.substr(4, typeAt - 4);
        const std::string type = line.substr(typeAt + 4, dataAt == std::string::npos ? std::string::npos : dataAt - typeAt - 4);
        const std::string data = dataAt == std::string::npos ? "" : line.substr(dataAt + 4);
        values[name] = {type, data};
    }
    return values;
}

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// A settings field as a comparable value.
int64_t Value(int32_t field) { return field; }
int64_t Value(DWORD field) { return field; }
std::wstring Value(const wchar_t* field) { return field; }

// Every settings field with a value other than its default, in range.
void SetEveryField(AppSettings& s) {
    s.slideBackColor = 0x102030;
    s.viewBackColor = 0x405060;
    s.treeViewHeight = 111;
    s.highQualityThumb = 1;
    s.useSplashScreen = 0;
    s.slideDelay = 7;
    s.slideUseDelay = 0;
    s.slideUseTransition = 0;
    s.slideLandscape = 1;
    s.slideLoop = 1;
    s.viewMode = 3;
    s.sort = 0x1002;
    s.rotateAuto = 0;
    wcscpy(s.home, L"\\Storage Card\\Pictures\\");
    s.useSoundFilename = 1;
    wcscpy(s.soundFilename, L"\\My Documents\\tune.mp3");
    s.userViewMode = 4;
    s.showLabel = 0;
    s.thumbSize = 4;
    s.fontTree = 9;
    s.fontThumb = 19;
    s.useScrollbar = 1;
    s.viewMove = 0;
    s.keyUp = 6;
    s.keyRight = 5;
    s.keyLeft = 4;
    s.keyDown = 0;
    s.keyReturn = 1;
    s.openInFull = 0;
    s.oneClick = 1;
    s.labelInFull = 0;
    s.playAnimatedGif = 0;
    s.rotateLeft = 0;
    s.showExt = 0;
    s.addToBottom = 0;
    s.recursive = 1;
    s.useCache = 0;
}

TEST_F(RegistrySettings, EmptyRegistryGivesEveryDefault) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 240, 268, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(SettingsLoad(window), 0);  // "Fit" missing
    const AppSettings& s = g_AppSettings;
    EXPECT_EQ(s.mainWindow, window);
    EXPECT_EQ(s.currentItem, -1);
    EXPECT_EQ(s.slideBackColor, 0x808080u);
    EXPECT_EQ(s.viewBackColor, 0x808080u);
    EXPECT_EQ(s.treeViewHeight, 268 / 2 - 16);  // 0 means half the client less 16
    EXPECT_EQ(s.useSplashScreen, 1);
    EXPECT_EQ(s.slideDelay, 2);
    EXPECT_EQ(s.viewMode, 0);
    EXPECT_EQ(s.userViewMode, 4);
    EXPECT_EQ(s.thumbSize, 2);
    EXPECT_EQ(s.keyReturn, 3);
    EXPECT_EQ(s.useCache, 1);
    EXPECT_STREQ(s.home, L"\\My Documents\\");
    EXPECT_STREQ(s.soundFilename, L"");
    // Every number field against the key table's default.
    const SettingKey* key = kGeneralSettingKeys;
#define PV_CHECK_DEFAULT(keyName, field, kind, ...)                                        \
    if (SettingKind::kind != SettingKind::kText && std::wstring(key->name) != L"TreeViewHeight") { \
        EXPECT_EQ(int64_t(s.field), int64_t(key->defaultValue)) << #keyName;              \
    }                                                                                      \
    ++key;
    PV_GENERAL_SETTINGS(PV_CHECK_DEFAULT)
#undef PV_CHECK_DEFAULT
    DestroyWindow(window);
}

TEST_F(RegistrySettings, StoredValuesAreClampedAndTheStartModeApplied) {
    struct Stored {
        const wchar_t* name;
        DWORD value;
    };
    for (const Stored& v : {Stored{L"Mode", 7}, Stored{L"UserViewMode", 2}, Stored{L"SlideDelay", 0},
                            Stored{L"ThumbSize", 99}, Stored{L"KeyUp", 0xFFFFFFFF}, Stored{L"ShowLabel", 5},
                            Stored{L"FontTree", 3}, Stored{L"Sort", 0x1007}, Stored{L"ViewBackColor", 0x7F000000},
                            Stored{L"Fit", 0xFFFFFFFF}})
        ASSERT_EQ(RegWriteDword(kGeneralSection, v.name, v.value), ERROR_SUCCESS);
    // A number where a text belongs, and a text that does not fit.
    ASSERT_EQ(RegWriteDword(kGeneralSection, L"Home", 5), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteText(kGeneralSection, L"SoundFilename", std::wstring(300, L'x').c_str()), ERROR_SUCCESS);
    // A text where a number belongs.
    ASSERT_EQ(RegWriteText(kGeneralSection, L"UseCache", L"0"), ERROR_SUCCESS);

    EXPECT_EQ(SettingsLoad(nullptr), 0);
    const AppSettings& s = g_AppSettings;
    EXPECT_EQ(s.userViewMode, 2);
    EXPECT_EQ(s.viewMode, 2);  // UserViewMode other than 4 replaces Mode
    EXPECT_EQ(s.slideDelay, 1);
    EXPECT_EQ(s.thumbSize, 99);  // kept as stored: the thumbnail box maps it
    EXPECT_EQ(s.keyUp, 1);
    EXPECT_EQ(s.showLabel, 1);
    EXPECT_EQ(s.fontTree, 8);
    EXPECT_EQ(s.sort, 0x1000);
    EXPECT_EQ(s.viewBackColor, 0x808080u);
    EXPECT_STREQ(s.home, L"\\My Documents\\");
    EXPECT_STREQ(s.soundFilename, L"");
    EXPECT_EQ(s.useCache, 1);

    ASSERT_EQ(RegWriteDword(kGeneralSection, L"UserViewMode", 4), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteDword(kGeneralSection, L"Mode", 7), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteDword(kGeneralSection, L"Fit", 2), ERROR_SUCCESS);
    EXPECT_EQ(SettingsLoad(nullptr), 2);
    EXPECT_EQ(g_AppSettings.viewMode, 0);  // a Mode of 7 starts in thumbnails
}

TEST_F(RegistrySettings, SaveWritesEveryKeyAndLoadReadsItBack) {
    SettingsLoad(nullptr);
    SetEveryField(g_AppSettings);
    const AppSettings written = g_AppSettings;
    SettingsSave();

    // Checked with the system's own registry tool, not with our reader.
    const auto values = RegQuery(root_ + L"\\General");
    ASSERT_EQ(values.size(), kGeneralSettingKeyCount);
    EXPECT_EQ(values.count("Fit"), 0u);  // written by the Quit command only
    struct {
        const std::map<std::string, std::pair<std::string, std::string>>& values;
        void operator()(const char* name, DWORD value) const {
            auto it = values.find(name);
            ASSERT_NE(it, values.end()) << name;
            EXPECT_EQ(it->second.first, "REG_DWORD") << name;
            EXPECT_EQ(it->second.second, Hex(value)) << name;
        }
        void operator()(const char* name, int32_t value) const { (*this)(name, DWORD(value)); }
        void operator()(const char* name, const wchar_t* text) const {
            auto it = values.find(name);
            ASSERT_NE(it, values.end()) << name;
            EXPECT_EQ(it->second.first, "REG_SZ") << name;
            EXPECT_EQ(it->second.second, Narrow(text)) << name;
        }
    } expectStored{values};
#define PV_CHECK_STORED(keyName, field, kind, ...) expectStored(#keyName, written.field);
    PV_GENERAL_SETTINGS(PV_CHECK_STORED)
#undef PV_CHECK_STORED

    // Texts are stored with their terminating zero.
    HKEY general;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (root_ + L"\\General").c_str(), 0, KEY_READ, &general), ERROR_SUCCESS);
    DWORD size = 0;
    RegQueryValueExW(general, L"Home", nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(size, (wcslen(written.home) + 1) * sizeof(wchar_t));
    RegCloseKey(general);

    g_AppSettings = AppSettings{};
    SettingsLoad(nullptr);
    const AppSettings& read = g_AppSettings;
#define PV_CHECK_READ(keyName, field, kind, ...) EXPECT_EQ(Value(read.field), Value(written.field)) << #keyName;
    PV_GENERAL_SETTINGS(PV_CHECK_READ)
#undef PV_CHECK_READ
}

TEST_F(RegistrySettings, SectionsTextsAndTheRootKey) {
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"Quality", 85), 85u);  // no section
    ASSERT_EQ(RegWriteDword(L"Convert", L"Quality", 90), ERROR_SUCCESS);
    EXPECT_EQ(RegReadSettingDefault(L"Convert", L"Quality", 85), 90u);
    EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Convert", L"Missing", 3), 3u);

    ASSERT_EQ(RegWriteText(nullptr, L"Language", L"de"), ERROR_SUCCESS);
    wchar_t text[8];
    RegReadText(nullptr, L"Language", L"", text, 8);
    EXPECT_STREQ(text, L"de");
    RegReadText(nullptr, L"Language", L"", text, 3);  // "de" and its zero fit 3
    EXPECT_STREQ(text, L"de");
    RegReadText(nullptr, L"Language", L"xx", text, 2);  // one character too many
    EXPECT_STREQ(text, L"x");
    RegReadText(nullptr, L"Path", L"\\", text, 8);
    EXPECT_STREQ(text, L"\\");
    const auto root = RegQuery(root_);
    ASSERT_EQ(root.count("Language"), 1u);
    EXPECT_EQ(root.at("Language").second, "de");
}

TEST_F(RegistrySettings, MenuChecksFollowTheSettings) {
    HMENU menu = CreatePopupMenu();
    for (UINT id : {4007u, 4008u, 4009u, 4010u, 4011u, 4012u, 4133u, 4134u, 4135u, 4136u, 4137u, 4138u, 4139u,
                    4121u, 4122u, 4125u, 4131u, 4223u, 4224u, 4225u, 4226u, 4228u})
        AppendMenuW(menu, MF_STRING, id, L"item");
    EnableMenuItem(menu, 4223, MF_BYCOMMAND | MF_GRAYED);
    SettingsLoad(nullptr);
    g_AppSettings.viewMode = 2;
    g_AppSettings.sort = 0x1003;
    g_AppSettings.rotateAuto = 1;
    g_AppSettings.showLabel = 0;
    g_AppSettings.recursive = 1;
    SettingsApplyMenuChecks(menu, 2);
    auto checked = [&](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    EXPECT_TRUE(checked(4009));
    EXPECT_FALSE(checked(4007));
    EXPECT_TRUE(checked(4136));
    EXPECT_TRUE(checked(4139));
    EXPECT_FALSE(checked(4138));
    EXPECT_TRUE(checked(4121));
    EXPECT_FALSE(checked(4225));
    EXPECT_TRUE(checked(4226));
    EXPECT_TRUE(checked(4125));  // Fit 2: original size
    EXPECT_FALSE(checked(4131));
    EXPECT_EQ(GetMenuState(menu, 4223, MF_BYCOMMAND) & MF_GRAYED, 0u);
    DestroyMenu(menu);
}

}  // namespace
