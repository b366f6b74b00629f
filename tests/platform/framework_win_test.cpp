// The window and dialog framework under Wine: table dispatch, a DialogObject
// run from a resource and driven like a user, and the font and text helpers.
#include "platform/framework_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../support/modaldriver.h"
#include "platform/handheld.h"
#include "framework_win_test.rh"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// ---------------------------------------------------------------------------
// Message and command tables

struct Seen {
    UINT message;
    WPARAM first;
    LPARAM second;
    int row;
};
std::vector<Seen> g_seen;

LRESULT FirstRow(HWND, UINT message, WPARAM first, LPARAM second) {
    g_seen.push_back({message, first, second, 1});
    return 11;
}
LRESULT SecondRow(HWND, UINT message, WPARAM first, LPARAM second) {
    g_seen.push_back({message, first, second, 2});
    return 22;
}

constexpr UINT kProbe = WM_USER + 7;
constexpr UINT kUnhandled = WM_USER + 8;

const MessageRow kTwoRows[] = {{kProbe, FirstRow}, {kProbe, SecondRow}};
const MessageTable kNoDefault = MakeMessageTable(kTwoRows, kDefaultNone);
const MessageTable kWindowDefault = MakeMessageTable(kTwoRows, kDefaultWindow);
const MessageTable kEmptyTable = {0, nullptr, kDefaultWindow};

LRESULT CALLBACK WindowDefaultProc(HWND w, UINT m, WPARAM a, LPARAM b) {
    return MsgTableDispatch(kWindowDefault, w, m, a, b);
}

class TableWindow {
public:
    explicit TableWindow(WNDPROC proc, const wchar_t* name) : name_(name) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = proc;
        wc.hInstance = Instance();
        wc.lpszClassName = name;
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, name, L"start", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, Instance(), nullptr);
    }
    ~TableWindow() {
        DestroyWindow(window_);
        UnregisterClassW(name_, Instance());
    }
    HWND get() const { return window_; }

private:
    const wchar_t* name_;
    HWND window_;
};

TEST(MessageTables, FirstRowWinsAndUnhandledMessagesFallBack) {
    TableWindow window(WindowDefaultProc, L"PvTestWindowDefault");
    ASSERT_NE(window.get(), nullptr);

    g_seen.clear();
    EXPECT_EQ(SendMessageW(window.get(), kProbe, 5, 6), 11);
    ASSERT_EQ(g_seen.size(), 1u);  // two rows for one message: only the first is called
    EXPECT_EQ(g_seen[0].row, 1);
    EXPECT_EQ(g_seen[0].first, 5u);
    EXPECT_EQ(g_seen[0].second, 6);

    // Kind 0: no row answers 0, and nothing reaches DefWindowProcW.
    EXPECT_EQ(MsgTableDispatch(kNoDefault, window.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"changed")), 0);
    EXPECT_EQ(modaltest::Text(window.get()), L"start");
    // Kind 1: DefWindowProcW receives the message as it was.
    EXPECT_EQ(SendMessageW(window.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"changed")), TRUE);
    EXPECT_EQ(modaltest::Text(window.get()), L"changed");
    EXPECT_EQ(MsgTableDispatch(kEmptyTable, window.get(), WM_GETTEXTLENGTH, 0, 0), 7);
    EXPECT_EQ(SendMessageW(window.get(), kUnhandled, 1, 2), 0);
}

// A plain dialog whose procedure records what DefDlgProcW hands it.
std::vector<Seen> g_dialogSeen;
INT_PTR CALLBACK RecordingDialogProc(HWND, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_COMMAND) g_dialogSeen.push_back({message, first, second, 0});
    return message == WM_INITDIALOG;
}

HWND CreateTestDialog(DLGPROC proc) {
    HRSRC found = FindResourceW(Instance(), MAKEINTRESOURCEW(IDD_TEST_DIALOG), MAKEINTRESOURCEW(5));
    const auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(Instance(), found)));
    return CreateDialogIndirectParamW(Instance(), dialogTemplate, nullptr, proc, 0);
}

LRESULT OnDelete(HWND window, UINT id, UINT code, HWND control) {
    g_seen.push_back({id, code, reinterpret_cast<LPARAM>(control), 3});
    return 33;
}
const CommandRow kCommands[] = {{CMD_DELETE, OnDelete}};

TEST(MessageTables, DefaultKindsAndCommandRouting) {
    HWND dialog = CreateTestDialog(RecordingDialogProc);
    ASSERT_NE(dialog, nullptr);
    // DM_GETDEFID tells the three kinds apart: only the dialog default knows
    // the default button.
    EXPECT_EQ(MsgTableDefaultProc(kDefaultDialog, dialog, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
    EXPECT_EQ(MsgTableDefaultProc(kDefaultWindow, dialog, DM_GETDEFID, 0, 0), 0);
    EXPECT_EQ(MsgTableDefaultProc(kDefaultNone, dialog, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(MsgTableDefaultProc(7, dialog, WM_GETTEXTLENGTH, 0, 0), 0);

    // A row: (window, id, notification code, control).
    const CommandTable table = MakeCommandTable(kCommands, kDefaultDialog);
    g_seen.clear();
    HWND control = GetDlgItem(dialog, IDC_NAME);
    EXPECT_EQ(CmdTableDispatch(table, dialog, WM_COMMAND, MAKEWPARAM(CMD_DELETE, 9),
                               reinterpret_cast<LPARAM>(control)),
              33);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, UINT(CMD_DELETE));
    EXPECT_EQ(g_seen[0].first, 9u);
    EXPECT_EQ(g_seen[0].second, reinterpret_cast<LPARAM>(control));

    // No row: the default procedure gets the WM_COMMAND unchanged (here
    // DefDlgProcW, which hands it to the dialog procedure).
    g_dialogSeen.clear();
    CmdTableDispatch(table, dialog, WM_COMMAND, MAKEWPARAM(4321, 5), 77);
    ASSERT_EQ(g_dialogSeen.size(), 1u);
    EXPECT_EQ(g_dialogSeen[0].first, MAKEWPARAM(4321, 5));
    EXPECT_EQ(g_dialogSeen[0].second, 77);
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// A DialogObject run modally from its resource

constexpr UINT kCodeSpecific = 0x1234;
constexpr UINT kCodeAnswered = 0x1235;

class NameDialog : public DialogObject {
public:
    NameDialog();

    std::wstring name;
    int initCount = 0;
    int fontCalls = 0;
    std::vector<int> rangeIds;
    HWND optionControl = nullptr;
    std::vector<int> anyNotifyIds;
    UINT_PTR timerId = 0;
    int sizeWidth = -1;
    RECT initRect = {};

private:
    INT_PTR OnInit() {
        ++initCount;
        GetWindowRect(window, &initRect);
        return TRUE;
    }
    void OnOk(int) {
        name = modaltest::ItemText(window, IDC_NAME);
        EndDialog(window, 1);
    }
    void OnCancel(int) { EndDialog(window, 0); }
    void OnRange(int id) { rangeIds.push_back(id); }
    void OnOption(HWND control) { optionControl = control; }
    void OnSpecific(NMHDR*, LRESULT*) {}  // leaves the result at -1
    void OnAnswered(NMHDR*, LRESULT* result) { *result = 42; }
    void OnAnyNotify(int id, NMHDR*, LRESULT*) { anyNotifyIds.push_back(id); }
    void OnTimer(UINT_PTR id) { timerId = id; }
    void OnSize(UINT, int width, int) { sizeWidth = width; }
    INT_PTR OnSetFont(WPARAM, LPARAM) {
        ++fontCalls;
        return 0;
    }

    static const DialogMapRow kMap[];
};

const DialogMapRow NameDialog::kMap[] = {
    dialogmap::InitDialog(&NameDialog::OnInit),
    dialogmap::Command(IDOK, &NameDialog::OnOk),
    dialogmap::Command(IDCANCEL, &NameDialog::OnCancel),
    dialogmap::Command(IDC_RANGE_FIRST, IDC_RANGE_LAST, &NameDialog::OnRange, BN_CLICKED),
    dialogmap::CommandControl(IDC_OPTION, IDC_OPTION, &NameDialog::OnOption),
    dialogmap::Notify(IDC_NAME, kCodeSpecific, &NameDialog::OnSpecific),
    dialogmap::Notify(IDC_NAME, kCodeAnswered, &NameDialog::OnAnswered),
    dialogmap::NotifyAny(&NameDialog::OnAnyNotify),
    dialogmap::Message<WM_TIMER>(&NameDialog::OnTimer),
    dialogmap::Message<WM_SIZE>(&NameDialog::OnSize),
    dialogmap::Message<WM_SETFONT>(&NameDialog::OnSetFont),
    dialogmap::End(),
};

NameDialog::NameDialog() { DialogInitBase(this, nullptr, Instance(), 0x10000 | IDD_TEST_DIALOG, kMap); }

// Straight to the dialog procedure: DefDlgProcW clears DWLP_MSGRESULT first.
LRESULT SendNotify(HWND dialog, int id, UINT code) {
    NMHDR header = {GetDlgItem(dialog, id), UINT_PTR(id), code};
    return DialogObjectProc(dialog, WM_NOTIFY, WPARAM(id), reinterpret_cast<LPARAM>(&header));
}

TEST(DialogObject, RunsFromItsResourceAndRoutesByTheMap) {
    ClearHandheldCalls();
    NameDialog dialog;
    EXPECT_EQ(dialog.resourceId, IDD_TEST_DIALOG);  // cut to 16 bits
    EXPECT_EQ(dialog.fullScreen, 1);
    EXPECT_EQ(dialog.window, nullptr);

    modaltest::ModalDriver driver;
    LRESULT specific = 0, answered = 0, other = 0;
    LONG_PTR untouched = 0, answeredResult = 0;
    driver.OnDialog([&](HWND window) {
        EXPECT_EQ(dialog.window, window);
        EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&dialog));
        modaltest::SetItemText(window, IDC_NAME, L"Holiday");
        modaltest::Click(window, IDC_RANGE_FIRST);
        modaltest::Click(window, IDC_RANGE_LAST);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_RANGE_LAST, BN_DBLCLK), 0);  // other code: no match
        modaltest::Click(window, IDC_OPTION);

        SetWindowLongPtrW(window, DWLP_MSGRESULT, 77);
        specific = SendNotify(window, IDC_NAME, kCodeSpecific);
        untouched = GetWindowLongPtrW(window, DWLP_MSGRESULT);
        answered = SendNotify(window, IDC_NAME, kCodeAnswered);
        answeredResult = GetWindowLongPtrW(window, DWLP_MSGRESULT);
        other = SendNotify(window, IDC_LABEL, 0x999);
        SendMessageW(window, WM_TIMER, 17, 0);
        SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(123, 45));

        DlgItemEnable(window, IDC_CHOICE, FALSE);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_CHOICE)));
        DlgItemEnable(window, IDC_CHOICE, TRUE);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_CHOICE)));
        DlgItemShow(window, IDC_LABEL, FALSE);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, IDC_LABEL)));
        DlgItemShow(window, IDC_LABEL, 5);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, IDC_LABEL)));
        modaltest::Click(window, IDOK);
    });
    EXPECT_EQ(DialogRunModalResource(&dialog), 1);
    EXPECT_EQ(dialog.modal, 1u);
    EXPECT_EQ(driver.dialogsSeen(), 1);

    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(dialog.fontCalls, 0);  // WM_SETFONT came before WM_INITDIALOG: not routed
    EXPECT_EQ(dialog.name, L"Holiday");
    EXPECT_EQ(dialog.rangeIds, (std::vector<int>{IDC_RANGE_FIRST, IDC_RANGE_LAST}));
    EXPECT_NE(dialog.optionControl, nullptr);  // the control flag hands over the window
    EXPECT_EQ(specific, 0);                    // result left at -1: FALSE ...
    EXPECT_EQ(untouched, 77);                  // ... and no DWLP_MSGRESULT
    EXPECT_EQ(answered, TRUE);
    EXPECT_EQ(answeredResult, 42);
    // The catch-all row sees the unmatched notification only; the specific
    // rows came first for the other two.
    EXPECT_EQ(dialog.anyNotifyIds, std::vector<int>{IDC_LABEL});
    EXPECT_EQ(other, FALSE);
    EXPECT_EQ(dialog.timerId, 17u);
    EXPECT_EQ(dialog.sizeWidth, 123);

    // Full screen at WM_INITDIALOG: the work area above the menu bar.
    const RECT expected = {0, TopBarHeight(), 240, 320 - MenuBarHeight()};
    EXPECT_EQ(dialog.initRect.left, expected.left);
    EXPECT_EQ(dialog.initRect.top, expected.top);
    EXPECT_EQ(dialog.initRect.right, expected.right);
    EXPECT_EQ(dialog.initRect.bottom, expected.bottom);
    bool setUp = false;
    for (const HandheldCallRecord& call : HandheldCalls())
        if (call.call == HandheldCall::kDialogSetup && call.value == kSetupStandardDialog) setUp = true;
    EXPECT_TRUE(setUp);

    DialogDetachObject(&dialog);
    EXPECT_EQ(dialog.window, nullptr);
}

TEST(DialogObject, TheDoneButtonSendsOkAndMissingResourcesFail) {
    NameDialog dialog;
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND) {
        HWND ok = FindWindowExW(TopBarWindow(), nullptr, L"BUTTON", L"ok");
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(IsWindowVisible(ok));
        SendMessageW(ok, BM_CLICK, 0, 0);
    });
    EXPECT_EQ(DialogRunModalResource(&dialog), 1);

    NameDialog missing;
    missing.resourceId = 999;
    EXPECT_EQ(DialogRunModalResource(&missing), -1);
}

TEST(DialogObject, WithoutTheFullScreenFlagKeepsItsOwnGeometry) {
    NameDialog dialog;
    dialog.fullScreen = 0;
    modaltest::ModalDriver driver;
    driver.OnDialog([&](HWND window) { modaltest::Click(window, IDCANCEL); });
    ClearHandheldCalls();
    EXPECT_EQ(DialogRunModalResource(&dialog), 0);
    EXPECT_TRUE(HandheldCalls().empty());
    EXPECT_LT(dialog.initRect.right - dialog.initRect.left, 240);
}

TEST(DialogObject, PlainProceduresSetUpFullScreenWithTheirRecord) {
    HWND dialog = CreateTestDialog(RecordingDialogProc);
    ASSERT_NE(dialog, nullptr);
    int record = 0;
    ClearHandheldCalls();
    DialogInitFullScreen(dialog, &record);
    EXPECT_EQ(GetWindowLongPtrW(dialog, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&record));
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.top, TopBarHeight());
    EXPECT_EQ(r.bottom, 320 - MenuBarHeight());
    const auto calls = HandheldCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].value, kSetupStandardDialog);
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// Texts: built-in until a translator is installed

int Translator(HINSTANCE, UINT stringId, const char* key, wchar_t* buffer, int capacity) {
    const std::wstring text = L"zz:" + std::to_wstring(stringId) + L":" + std::wstring(key, key + strlen(key));
    wcsncpy(buffer, text.c_str(), size_t(capacity));
    buffer[capacity - 1] = L'\0';
    return 1;
}

TEST(FrameworkTexts, BuiltInUntilATranslatorIsInstalled) {
    HWND dialog = CreateTestDialog(RecordingDialogProc);
    ASSERT_NE(dialog, nullptr);
    auto item = [&](int index) {
        wchar_t text[64] = {};
        SendDlgItemMessageW(dialog, IDC_CHOICE, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    DlgComboAddString(dialog, IDC_CHOICE, IDS_TINY, "IDS_TINY");
    SetFrameworkTextLookup(Translator);
    DlgComboAddString(dialog, IDC_CHOICE, IDS_TINY, "IDS_TINY");
    SetFrameworkTextLookup(nullptr);
    DlgComboAddString(dialog, IDC_CHOICE, IDS_TINY, "IDS_TINY");
    EXPECT_EQ(item(0), L"Tiny");
    EXPECT_EQ(item(1), L"zz:5001:IDS_TINY");
    EXPECT_EQ(item(2), L"Tiny");  // null puts the built-in strings back

    wchar_t text[8];
    EXPECT_EQ(FrameworkGetText(Instance(), IDS_TINY, "IDS_TINY", text, 8), 4);
    EXPECT_STREQ(text, L"Tiny");
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// Fonts and text fitting

TEST(WindowFonts, SetWindowFontHeightReplacesOnlyItsOwnFont) {
    HWND label = CreateWindowExW(0, L"STATIC", L"text", WS_POPUP, 0, 0, 100, 30, nullptr, nullptr, Instance(),
                                 nullptr);
    ASSERT_NE(label, nullptr);
    LOGFONTW description = {};
    description.lfHeight = -10;
    wcscpy(description.lfFaceName, L"Tahoma");
    HFONT shared = CreateFontIndirectW(&description);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(shared), FALSE);
    EXPECT_EQ(GetWindowFontHeight(label), 10);

    SetWindowFontHeight(label, 14);
    EXPECT_EQ(GetWindowFontHeight(label), 14);
    LOGFONTW check;
    EXPECT_EQ(GetObjectW(shared, sizeof check, &check), int(sizeof check));  // not ours: kept

    HFONT first = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    SetWindowFontHeight(label, 18);
    EXPECT_EQ(GetWindowFontHeight(label), 18);
    EXPECT_EQ(GetObjectW(first, sizeof check, &check), 0);  // ours: deleted

    HFONT current = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    SetWindowFontHeight(label, 18);  // same height: nothing changes
    SetWindowFontHeight(label, 0);   // below 1: nothing changes
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), current);

    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Instance(), nullptr);
    EXPECT_EQ(GetWindowFontHeight(plain), 0);  // no font set
    SetWindowFontHeight(plain, 12);
    EXPECT_EQ(GetWindowFontHeight(plain), 12);
    DestroyWindow(plain);

    // The last font made here goes with the window; one set by others stays.
    HFONT last = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    EXPECT_NE(GetObjectW(last, sizeof check, &check), 0);
    DestroyWindow(label);
    EXPECT_EQ(GetObjectW(last, sizeof check, &check), 0);
    EXPECT_EQ(GetObjectW(shared, sizeof check, &check), int(sizeof check));
    DeleteObject(shared);
}

TEST(FitText, ShortensWithAnEllipsisToTheWidth) {
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    auto width = [&](const wchar_t* text) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, text, int(wcslen(text)), &size);
        return int(size.cx);
    };
    wchar_t out[64];
    const wchar_t* name = L"holiday-picture-0001.jpg";
    const int full = width(name);

    EXPECT_EQ(FitTextToWidth(dc, name, out, 64, full + 4), 1);
    EXPECT_STREQ(out, name);  // fits: unchanged, no "..."

    FitTextToWidth(dc, name, out, 64, full / 2);
    const std::wstring cut = out;
    ASSERT_GT(cut.size(), 3u);
    EXPECT_EQ(cut.substr(cut.size() - 3), L"...");
    EXPECT_EQ(std::wstring(name).compare(0, cut.size() - 3, cut, 0, cut.size() - 3), 0);
    EXPECT_LE(width(out), full / 2 - 4);

    FitTextToWidth(dc, name, out, 64, 3);  // nothing fits
    EXPECT_STREQ(out, L"");

    FitTextToWidth(dc, name, out, 8, 1000);  // the capacity holds text and "..."
    EXPECT_STREQ(out, L"holi...");
    DeleteDC(dc);
}

}  // namespace
