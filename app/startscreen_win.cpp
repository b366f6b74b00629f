// The start screen: a full-screen launcher over the hidden main window, with
// six tiles drawn on a picture kept in the program as a ZIP archive; a tap
// shows the main window, starts the tile's action and closes the launcher.
// Also the choose-folder dialog that two of its tiles open.
#include "app/startscreen_win.h"

#include <commdlg.h>
#include <windowsx.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "display/slideshow_win.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "resources/startscreen.rh"
#include "shell/language_win.h"
#include "app/startscreen.h"
#include "app/viewer_win.h"
#include "zip/zip.h"

namespace {

constexpr const wchar_t* kSplashClass = L"SplashClass";
constexpr int kLabelCapacity = 64;

struct StartScreenState {
    HBITMAP picture = nullptr;
    HWND main = nullptr;
};

StartTile g_tiles[kStartTileCount];

StartScreenState* State(HWND window) {
    return reinterpret_cast<StartScreenState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The archive's first item, whole; empty when anything is wrong with it.
std::vector<uint8_t> UnzipFirstItem(const void* archive, uint32_t length) {
    std::vector<uint8_t> data;
    ZipHandle* zip = OpenZipMemory(archive, length, nullptr);
    if (!zip) return data;
    ZipItem item = {};
    if (GetZipItem(zip, 0, &item) == kZipOk && item.uncompressedSize > 0 &&
        item.uncompressedSize < 16u * 1024 * 1024) {
        data.resize(item.uncompressedSize);
        // The first call fills the buffer; the next finds the item's end and
        // checks its size and CRC-32 (any byte more is an item larger than
        // its header said).
        uint8_t beyond = 0;
        uint32_t result = UnzipItemToMemory(zip, 0, data.data(), uint32_t(data.size()));
        if (result == kZipMoreData) result = UnzipItemToMemory(zip, 0, &beyond, 1);
        if (result != kZipOk) data.clear();
    }
    CloseZipReader(zip);
    return data;
}

HBITMAP LoadSplashPicture(HWND window) {
    const HRSRC found = FindResourceW(g_Instance, MAKEINTRESOURCEW(IDR_STARTSCREEN_SPLASH), L"SPLASH");
    const HGLOBAL loaded = found ? LoadResource(g_Instance, found) : nullptr;
    const void* archive = loaded ? LockResource(loaded) : nullptr;
    if (!archive) return nullptr;
    const std::vector<uint8_t> file = UnzipFirstItem(archive, SizeofResource(g_Instance, found));
    SplashBitmap checked = {};
    if (!CheckSplashBitmap(file.data(), file.size(), &checked)) return nullptr;

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = kSplashWidth;
    info.header.biHeight = kSplashHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biSizeImage = DWORD(kSplashPixelBytes);
    info.header.biClrUsed = 256;
    std::memcpy(info.colours, checked.palette, kSplashPaletteBytes);
    void* bits = nullptr;
    const HDC dc = GetDC(window);
    const HBITMAP picture = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                             nullptr, 0);
    ReleaseDC(window, dc);
    if (picture && bits) std::memcpy(bits, checked.pixels, kSplashPixelBytes);
    return picture;
}

LRESULT OnCreate(HWND window, UINT, WPARAM, LPARAM second) {
    auto* state = new (std::nothrow) StartScreenState;
    if (!state) return -1;
    state->main = static_cast<HWND>(reinterpret_cast<CREATESTRUCTW*>(second)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    state->picture = LoadSplashPicture(window);
    StartTilesAtDefault(g_tiles);
    ScaleStartTiles(g_tiles, g_DpiX, g_DpiY);
    return 0;
}

LRESULT OnDestroy(HWND window, UINT, WPARAM, LPARAM) {
    StartScreenState* state = State(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (state && state->picture) DeleteObject(state->picture);
    delete state;
    return 0;
}

LRESULT OnPaint(HWND window, UINT, WPARAM, LPARAM) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const StartScreenState* state = State(window);
    if (state && state->picture) {
        const HDC memory = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(memory, state->picture);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, kSplashWidth, kSplashHeight, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    } else {
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    LOGFONTW font = {};
    font.lfHeight = -(g_DpiY * 8 / 72);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = VARIABLE_PITCH;
    wcscpy(font.lfFaceName, L"Tahoma");
    const HFONT labels = CreateFontIndirectW(&font);
    const HGDIOBJ oldFont = SelectObject(dc, labels);
    SetBkMode(dc, TRANSPARENT);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    for (const StartTile& tile : g_tiles) {
        SetTextColor(dc, tile.selected ? RGB(255, 0, 0) : RGB(0, 0, 0));
        wchar_t text[kLabelCapacity] = L"", shown[kLabelCapacity + 8] = L"";
        LngGetString(g_Instance, tile.stringId, tile.stringKey, text, kLabelCapacity);
        ExpandLineBreaks(text, shown, kLabelCapacity + 8);
        RECT box = {tile.left, tile.bottom, tile.right, tile.bottom + 2 * metrics.tmHeight};
        DrawTextW(dc, shown, -1, &box, DT_CENTER | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
    DeleteObject(labels);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnTapDown(HWND window, UINT, WPARAM, LPARAM second) {
    const int tile = StartTileAt(g_tiles, GET_X_LPARAM(second), GET_Y_LPARAM(second));
    if (tile < 0) return 0;
    g_tiles[tile].selected = 1;
    InvalidateRect(window, nullptr, TRUE);
    return 0;
}

void OpenAlbumFile(HWND main) {
    wchar_t path[MAX_PATH] = L"";
    wchar_t filter[kLabelCapacity + 16] = L"";
    LngGetString(g_Instance, IDS_ALBUMFILES, "IDS_ALBUMFILES", filter, kLabelCapacity);
    // "<name>\0*.alb\0\0"
    const size_t nameLength = wcslen(filter);
    std::wmemcpy(filter + nameLength + 1, L"*.alb\0", 7);
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = main;
    open.lpstrFilter = filter;
    open.nFilterIndex = 1;
    open.lpstrFile = path;
    open.nMaxFile = MAX_PATH;
    open.lpstrInitialDir = g_AppSettings.currentFolder;
    open.lpstrTitle = L"";
    // Path and file must exist, read-only box hidden; the program's current
    // folder stays where it was, so that the browser can still delete or
    // rename the album's folder.
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&open)) SlideshowStartAlbum(BrowserSlideshowHooks(), L"", path, g_AppSettings.slideBackColor);
}

LRESULT OnTapUp(HWND window, UINT, WPARAM, LPARAM) {
    int tile = -1;
    for (int i = 0; i < kStartTileCount && tile < 0; ++i) {
        if (g_tiles[i].selected) tile = i;
    }
    if (tile < 0) return 0;
    const StartScreenState* state = State(window);
    const HWND main = state ? state->main : nullptr;
    ShowWindow(main, SW_SHOW);
    HandheldFullScreen(main, kShowTopBar | kShowInputButton);
    HandheldFullScreen(window, kShowTopBar | kShowInputButton);
    switch (tile) {
    case 1: OpenAlbumFile(main); break;
    case 2:
    case 3: {
        wchar_t folder[MAX_PATH];
        wcsncpy(folder, g_AppSettings.currentFolder, MAX_PATH - 1);
        folder[MAX_PATH - 1] = 0;
        if (ChooseFolderDialog(main, folder, MAX_PATH)) {
            TreeSelectPath(g_AppSettings.treeWindow, folder);
            SendMessageW(main, WM_COMMAND, tile == 2 ? IDM_MAIN_CREATE_ALBUM : IDM_MAIN_CREATE_SLIDESHOW, 0);
        }
        break;
    }
    case 4: SendMessageW(main, WM_COMMAND, IDM_MAIN_BROWSE_CARD, 0); break;
    case 5: SendMessageW(main, WM_COMMAND, IDM_MAIN_OPTIONS, 0); break;
    default: break;
    }
    DestroyWindow(window);
    return 0;
}

const MessageRow kStartScreenMessages[] = {
    {WM_CREATE, OnCreate},     {WM_DESTROY, OnDestroy}, {WM_LBUTTONDOWN, OnTapDown},
    {WM_LBUTTONUP, OnTapUp},   {WM_PAINT, OnPaint},
};
const MessageTable kStartScreenTable = MakeMessageTable(kStartScreenMessages, kDefaultWindow);

LRESULT CALLBACK StartScreenProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kStartScreenTable, window, message, first, second);
}

// --- Choose folder ------------------------------------------------------------

class ChooseFolderBox : public DialogObject {
public:
    ChooseFolderBox(HWND parentWindow, wchar_t* buffer, int capacity) : path(buffer), pathCapacity(capacity) {
        DialogInitBase(this, parentWindow, g_Instance, IDD_CHOOSEFOLDER, kMap);
    }

private:
    INT_PTR OnInit() {
        LngSelectSection("DlgFolder2");
        LngSetItemText(window, IDC_CHOOSEFOLDER_TEXT, "IDC_TEXT");
        const HWND tree = GetDlgItem(window, IDC_CHOOSEFOLDER_TREE);
        TreeSetOwner(tree);
        if (path[0]) TreeSelectPath(tree, path);
        SetFocus(tree);
        // "Open" and "Cancel" are the menu bar's; it goes with the dialog.
        if (const HWND bar = MenuBarCreate(MenuBarSpec{window, g_Instance, IDR_CHOOSEFOLDER_MENUBAR, 0, 0}))
            LngTranslateMenu(bar, MenuBarGetMenu(bar));
        return FALSE;
    }
    void OnNotify(int, NMHDR* header, LRESULT* result) {
        if (header->idFrom == IDC_CHOOSEFOLDER_TREE) *result = TreeOnNotify(window, header);
    }
    void OnOpen(int) {
        const HWND tree = GetDlgItem(window, IDC_CHOOSEFOLDER_TREE);
        // Nothing selected chooses nothing.
        if (!SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)) {
            EndDialog(window, 0);
            return;
        }
        std::vector<wchar_t> chosen(size_t(pathCapacity), L'\0');
        TreeGetSelectedPath(tree, chosen.data(), pathCapacity);
        if (!chosen[0]) {
            EndDialog(window, 0);
            return;
        }
        wcsncpy(path, chosen.data(), size_t(pathCapacity));
        EndDialog(window, 1);
    }
    void OnEnd(int) { EndDialog(window, 0); }

    wchar_t* path;
    int pathCapacity;
    static const DialogMapRow kMap[];
};

const DialogMapRow ChooseFolderBox::kMap[] = {
    dialogmap::InitDialog(&ChooseFolderBox::OnInit),
    dialogmap::NotifyAny(&ChooseFolderBox::OnNotify),
    dialogmap::Command(IDC_CHOOSEFOLDER_OPEN, &ChooseFolderBox::OnOpen),
    dialogmap::Command(IDOK, IDCANCEL, &ChooseFolderBox::OnEnd),
    dialogmap::End(),
};

}  // namespace

int ChooseFolderDialog(HWND parent, wchar_t* path, int capacity) {
    if (!path || capacity < 2) return 0;
    ChooseFolderBox dialog(parent, path, capacity);
    return DialogRunModalResource(&dialog) == 1 ? 1 : 0;
}

HWND StartScreenCreate(HWND mainWindow) {
    static ATOM registered = 0;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = StartScreenProc;
        wc.hInstance = g_Instance;
        wc.lpszClassName = kSplashClass;
        registered = RegisterClassW(&wc);
        if (!registered) return nullptr;
    }
    const HWND window = CreateWindowExW(0, kSplashClass, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                        nullptr, g_Instance, mainWindow);
    if (!window) return nullptr;
    HandheldFullScreen(window, kHideTopBar | kHideInputButton);
    UpdateWindow(window);
    return window;
}

const StartTile* StartScreenTiles() { return g_tiles; }
