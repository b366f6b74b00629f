// Translated strings under Wine: dialog items, strings and formats, menus and
// menu bar buttons, and the language list, from language files written beside
// the test program.
#include "shell/language_win.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "../support/modaldriver.h"
#include "platform/handheld.h"
#include "platform/framework_win.h"
#include "shell_win_test.rh"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// "Zedish": the test's own language.
const char kZedish[] =
    "zz Zedish\r\n"
    "[Menu]\r\n"
    "File=Fyle\r\n"
    "Crop...=Krop...\r\n"
    "Sort=Zort\r\n"
    "Name=Naym\r\n"
    "[DlgTest2]\r\n"
    "IDC_LABEL=Wrong section\r\n"
    "[DlgTest]\r\n"
    "IDC_LABEL=Naym:\r\n"
    "IDOK=Okay\r\n"
    "IDC_OPTION=Opshun\\nsecond line\r\n"
    "[String]\r\n"
    "IDS_TINY=Teeny\r\n"
    "IDS_SAVED=Zaved %s into %s.\r\n"
    "IDS_BAD_FORMAT=Zaved %s %s %s %s\r\n"
    "IDS_HUGE_WIDTH=Zaved %s into %.100000000s\r\n"
    "IDS_LONG_FORMAT=Zaved %s into %s, and then a tail that does not fit the caller's buffer\r\n";

class LanguageFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t folder[MAX_PATH];
        LngProgramFolder(folder, MAX_PATH);
        folder_ = folder;
        Write(L"zz.lng", kZedish);
        Write(L"yy.lng", "yy=Yish\r\n[Menu]\r\n");
        Write(L"nn.lng", "nodisplayname\r\n");  // not listed
        Write(L"zz.txt", "zz Not a language\r\n");
    }
    static void TearDownTestSuite() {
        for (const wchar_t* name : {L"zz.lng", L"yy.lng", L"nn.lng", L"zz.txt"}) DeleteFileW((folder_ + name).c_str());
        LngClose();
    }
    static void Write(const wchar_t* name, const char* text) {
        FILE* f = _wfopen((folder_ + name).c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        fputs(text, f);
        fclose(f);
    }
    void SetUp() override { ASSERT_EQ(LngOpen("zz"), 1); }

    static std::wstring folder_;
};
std::wstring LanguageFiles::folder_;

class TranslatedDialog : public DialogObject {
public:
    TranslatedDialog() {
        DialogInitBase(this, nullptr, Instance(), IDD_TEST_DIALOG, kMap);
        fullScreen = 0;
    }

private:
    INT_PTR OnInit() {
        LngSelectSection("DlgTest");
        for (auto item : {std::make_pair(IDC_LABEL, "IDC_LABEL"), std::make_pair(IDOK, "IDOK"),
                          std::make_pair(IDC_OPTION, "IDC_OPTION"), std::make_pair(IDCANCEL, "IDCANCEL"),
                          std::make_pair(IDC_UNKEYED, "IDC_UNKEYED")}) {
            // A string lookup between items must not move the dialog's section.
            wchar_t scratch[64];
            LngGetString(Instance(), IDS_TINY, "IDS_TINY", scratch, 64);
            LngSetItemText(window, item.first, item.second);
        }
        DlgComboAddString(window, IDC_CHOICE, IDS_TINY, "IDS_TINY");
        DlgComboAddString(window, IDC_CHOICE, IDS_ONLY_BUILTIN, "IDS_ONLY_BUILTIN");
        return TRUE;
    }
    void OnEnd(int id) { EndDialog(window, id); }
    static const DialogMapRow kMap[];
};

const DialogMapRow TranslatedDialog::kMap[] = {
    dialogmap::InitDialog(&TranslatedDialog::OnInit),
    dialogmap::Command(IDOK, IDCANCEL, &TranslatedDialog::OnEnd),
    dialogmap::End(),
};

TEST_F(LanguageFiles, DialogItemsTakeTheirTranslations) {
    EXPECT_STREQ(LngCurrentLanguage(), L"zz");
    TranslatedDialog dialog;
    modaltest::ModalDriver driver;
    driver.OnDialog([](HWND window) {
        EXPECT_EQ(modaltest::ItemText(window, IDC_LABEL), L"Naym:");
        EXPECT_EQ(modaltest::ItemText(window, IDOK), L"Okay");
        EXPECT_EQ(modaltest::ItemText(window, IDC_OPTION), L"Opshun\r\nsecond line");
        EXPECT_EQ(modaltest::ItemText(window, IDCANCEL), L"Cancel");  // no entry: the resource's
        EXPECT_EQ(modaltest::ItemText(window, IDC_UNKEYED), L"Built in");
        EXPECT_EQ(modaltest::ComboItems(window, IDC_CHOICE), (std::vector<std::wstring>{L"Teeny", L"Built-in only"}));
        modaltest::Click(window, IDOK);
    });
    EXPECT_EQ(DialogRunModalResource(&dialog), IDOK);
}

TEST_F(LanguageFiles, StringsAndFormatsFallBackToTheResources) {
    wchar_t text[64];
    EXPECT_EQ(LngGetString(Instance(), IDS_TINY, "ids_tiny", text, 64), 1);
    EXPECT_STREQ(text, L"Teeny");
    EXPECT_EQ(LngGetString(Instance(), IDS_ONLY_BUILTIN, "IDS_ONLY_BUILTIN", text, 64), 13);
    EXPECT_STREQ(text, L"Built-in only");
    EXPECT_EQ(LngGetString(Instance(), IDS_TINY, "IDS_TINY", text, 4), 1);  // cut to the buffer
    EXPECT_STREQ(text, L"Tee");

    // A translated format is used only when it takes the same arguments.
    EXPECT_EQ(LngGetFormat(Instance(), IDS_SAVED, "IDS_SAVED", text, 64), 1);
    EXPECT_STREQ(text, L"Zaved %s into %s.");
    LngGetFormat(Instance(), IDS_SAVED, "IDS_BAD_FORMAT", text, 64);
    EXPECT_STREQ(text, L"Saved into %s%s.");
    wchar_t line[128];
    wsprintfW(line, text, L"\\Temp\\", L"capture001.bmp");
    EXPECT_STREQ(line, L"Saved into \\Temp\\capture001.bmp.");
    // A huge precision, and a format cut short by the buffer, are not used either.
    for (const char* key : {"IDS_HUGE_WIDTH", "IDS_LONG_FORMAT"}) {
        LngGetFormat(Instance(), IDS_SAVED, key, text, 64);
        EXPECT_STREQ(text, L"Saved into %s%s.") << key;
    }

    LngSelectSection("DlgTest");
    EXPECT_EQ(LngFindValue("IDC_LABEL", text, 64), 1);
    EXPECT_STREQ(text, L"Naym:");
    EXPECT_EQ(LngFindSection("Nowhere"), LngFindSection("AlsoNowhere"));  // both the end
}

TEST_F(LanguageFiles, NoFileMeansBuiltInTextsAndEnglish) {
    LngClose();
    EXPECT_EQ(LngOpen("en"), 0);  // no en.lng beside the program
    EXPECT_STREQ(LngCurrentLanguage(), L"en");
    wchar_t text[64];
    EXPECT_EQ(LngGetString(Instance(), IDS_TINY, "IDS_TINY", text, 64), 4);
    EXPECT_STREQ(text, L"Tiny");
    EXPECT_EQ(LngSelectSection("DlgTest"), 0u);
    EXPECT_EQ(LngOpen("z\\"), 0);
    EXPECT_EQ(LngSetLanguage(L"en"), 0);
    EXPECT_EQ(LngSetLanguage(L"de - Deutsch"), 1);
    EXPECT_STREQ(LngCurrentLanguage(), L"de");
}

std::wstring ButtonText(HWND bar, int index) {
    TBBUTTON button = {};
    SendMessageW(bar, TB_GETBUTTON, WPARAM(index), reinterpret_cast<LPARAM>(&button));
    wchar_t text[64] = {};
    if (SendMessageW(bar, TB_GETBUTTONTEXTW, WPARAM(button.idCommand), 0) < 64)
        SendMessageW(bar, TB_GETBUTTONTEXTW, WPARAM(button.idCommand), reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ItemText(HMENU menu, int position) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, UINT(position), text, 64, MF_BYPOSITION);
    return text;
}

TEST_F(LanguageFiles, MenusAndMenuBarButtonsAreTranslated) {
    HWND owner = HandheldCreateWindow(0, L"STATIC", L"owner", WS_POPUP, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                      nullptr, Instance(), nullptr);
    const MenuBarSpec spec = {owner, Instance(), IDM_TEST_MENU, 0, 0};
    HWND bar = MenuBarCreate(spec);
    ASSERT_NE(bar, nullptr);
    HMENU menu = MenuBarGetMenu(bar);
    ASSERT_NE(menu, nullptr);
    const LRESULT buttons = SendMessageW(bar, TB_BUTTONCOUNT, 0, 0);

    LngTranslateMenu(bar, menu);

    EXPECT_EQ(ItemText(menu, 0), L"Fyle");
    EXPECT_EQ(ItemText(menu, 1), L"View");  // no entry
    HMENU file = GetSubMenu(menu, 0);
    EXPECT_EQ(ItemText(file, 0), L"Krop...");
    EXPECT_EQ(ItemText(file, 2), L"Quit");
    HMENU view = GetSubMenu(menu, 1);
    EXPECT_EQ(ItemText(view, 1), L"Zort");  // submenus of untranslated items too
    EXPECT_EQ(ItemText(GetSubMenu(view, 1), 0), L"Naym");

    EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), buttons);
    EXPECT_EQ(ButtonText(bar, 0), L"Fyle");
    EXPECT_EQ(ButtonText(bar, 1), L"View");
    TBBUTTON first = {};
    SendMessageW(bar, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&first));
    EXPECT_EQ(first.idCommand, CMD_FILE);  // put back where it was, same command
    EXPECT_EQ(first.fsStyle & BTNS_DROPDOWN, BTNS_DROPDOWN);
    DestroyWindow(owner);
}

TEST_F(LanguageFiles, LanguageListShowsEveryLanguageFile) {
    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 100, 100, nullptr,
                                 nullptr, Instance(), nullptr);
    LngListLanguages(combo);
    std::vector<std::wstring> items;
    const int count = int(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], L"en - English");
    std::sort(items.begin() + 1, items.end());
    EXPECT_EQ(items[1], L"yy - Yish");
    EXPECT_EQ(items[2], L"zz - Zedish");
    wchar_t chosen[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, SendMessageW(combo, CB_GETCURSEL, 0, 0), reinterpret_cast<LPARAM>(chosen));
    EXPECT_STREQ(chosen, L"zz - Zedish");

    LngClose();  // English: the first item is chosen
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    LngListLanguages(combo);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    DestroyWindow(combo);
}

}  // namespace
