// Start-up, single instance and the main loop of the viewer: global services
// first (format registry, display layer, language), then either hand the
// command line to a running copy and end, or build the main window with its
// three panes, open what the command line names (else the saved folder), run
// the message loop and save the folder and the language on the way out.
#include <cwchar>
#include <string>

#include "display/album.h"
#include "display/display_win.h"
#include "display/view_win.h"
#include "imagelib/formats.h"
#include "imagelib/textutil.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/main.rh"
#include "app/associations_win.h"
#include "shell/language_win.h"
#include "shell/pictureload.h"
#include "app/startscreen_win.h"
#include "app/viewer_win.h"
#include "shell/viewerlogic.h"

namespace {

constexpr int kLanguageCapacity = 64;

void HideNewFolder() {
    const wchar_t* folder = L"\\temp\\NewFolder";
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(folder, attributes | FILE_ATTRIBUTE_HIDDEN);
}

void ReadScreenResolution() {
    const HDC screen = GetDC(nullptr);
    g_DpiX = GetDeviceCaps(screen, LOGPIXELSX);
    g_DpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
}

void OpenLanguage() {
    wchar_t language[kLanguageCapacity] = L"";
    RegReadText(nullptr, L"Language", L"", language, kLanguageCapacity);
    if (!language[0] && !GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, kLanguageCapacity))
        GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, language, kLanguageCapacity);
    char code[3] = {char(language[0] & 0x7F), char(language[0] ? language[1] & 0x7F : 0), 0};
    LngOpen(code);
}

// Hands the command line to the running copy; true when there was one.
bool HandToRunningCopy(const wchar_t* commandLine) {
    const HWND running = FindWindowW(kMainClassName, kMainTitle);
    if (!running) return false;
    SetForegroundWindow(running);
    if (commandLine && commandLine[0]) {
        COPYDATASTRUCT data = {};
        data.cbData = DWORD((wcslen(commandLine) + 1) * sizeof(wchar_t));
        data.lpData = const_cast<wchar_t*>(commandLine);
        SendMessageW(running, WM_COPYDATA, reinterpret_cast<WPARAM>(running), reinterpret_cast<LPARAM>(&data));
    }
    return true;
}

// A folder chosen in the main window's tree is shown in the file list.
void BrowseChosenFolder(const wchar_t* folder) {
    if (!ViewerModel()) return;
    CopyWideTextBounded(g_AppSettings.currentFolder, kSettingTextCapacity, folder);
    ViewerModel()->BrowseFolder(folder);
}

void CreatePanes(HWND main) {
    RECT client;
    GetClientRect(main, &client);
    const int middle = client.bottom / 2;
    g_AppSettings.treeWindow = TreeCreate(main, 0, 0, client.right, middle - 16, kTreeControlId, BrowseChosenFolder);
    if (g_AppSettings.fontTree > 0) SetWindowFontHeight(g_AppSettings.treeWindow, g_AppSettings.fontTree);
    g_AppSettings.listWindow = ListViewCreate(main, 0, middle - 12, client.right, 24);
    if (g_AppSettings.fontThumb > 0) SetWindowFontHeight(g_AppSettings.listWindow, g_AppSettings.fontThumb);
    RefreshListLayout(g_AppSettings.listWindow);
    CreateBrowserModel(main);

    const HWND view = ViewCreate(main, 0, &client, 0x808080, nullptr);
    g_AppSettings.viewWindow = view;
    ViewSetEventCallback(view, OnViewEvent, 0);
    ViewSetAspectCorrection(view, 1);
    const HMENU menu = MainMenu();
    if (menu && (GetMenuState(menu, IDM_MAIN_ORIGINAL_SIZE, MF_BYCOMMAND) & MF_CHECKED)) {
        ViewSetZoomMode(view, kZoomCustom);
        g_AppSettings.zoom = 100;
    } else {
        ViewSetZoomMode(view, kZoomShrinkToFit);
        g_AppSettings.zoom = -1;
    }
    ViewSetMouseMode(view, g_AppSettings.viewMove ? kMousePan : kMouseSelect4);
    ViewSetScrollBars(view, g_AppSettings.useScrollbar);
    ViewSetBackgroundColor(view, g_AppSettings.viewBackColor);
}

}  // namespace

ATOM RegisterMainClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kMainClassName;
    return RegisterClassW(&wc);
}

int InitInstance(HINSTANCE instance, int, const wchar_t* commandLine) {
    g_Instance = instance;
    if (HandToRunningCopy(commandLine)) return 0;
    if (!RegisterMainClass(instance)) return 0;
    const HWND main = HandheldCreateWindow(0, kMainClassName, kMainTitle, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!main) return 0;
    ShowWindow(TopBarWindow(), SW_SHOWNA);
    RECT place;
    GetWindowRect(main, &place);
    if (MainMenuBar())
        MoveWindow(main, place.left, place.top, place.right - place.left,
                   place.bottom - place.top - (g_DpiY * 52 + 48) / 96, FALSE);
    ShowWindow(main, SW_HIDE);
    CreatePanes(main);
    const int saved = g_AppSettings.viewMode;
    g_AppSettings.viewMode = 0;
    const UINT command = saved == 2 ? IDM_MAIN_DETAILS : saved == 1 ? IDM_MAIN_LIST
                                                        : saved == 3 ? IDM_MAIN_STRIP
                                                                     : IDM_MAIN_THUMBNAILS;
    SetViewMode(command);
    return 1;
}

int AppMain(HINSTANCE instance, HINSTANCE, const wchar_t* commandLine, int showCommand) {
    HideNewFolder();
    g_AppSettings = AppSettings{};
    RegisterAlbumAssociation();
    InitFormatRegistry();
    DisplayInit();
    // Albums and the album wizard take pictures upright, as the browser shows them.
    SetAlbumPictureLoader(LoadPictureUpright);
    ReadScreenResolution();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    OpenLanguage();
    if (!InitInstance(instance, showCommand, commandLine)) {
        LngClose();
        FreeFormatRegistry();
        DisplayRelease();
        return 0;
    }
    RegReadText(nullptr, L"Path", L"", g_AppSettings.currentFolder, int(kSettingTextCapacity));
    const std::wstring savedPath = g_AppSettings.currentFolder;
    const HWND main = g_AppSettings.mainWindow;
    if (OpenCommandLineFile(commandLine)) {
        ShowWindow(main, SW_SHOW);
        // An album's show was made before the main window was shown: it
        // stays in front.
        if (const HWND show = FindWindowW(L"slideClass", nullptr)) {
            SetWindowPos(show, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetForegroundWindow(show);
        }
    } else {
        // On a 240 x 320 screen the start screen comes first, over the
        // hidden browser, unless the user turned it off.
        const bool startScreen = g_AppSettings.useSplashScreen && GetSystemMetrics(SM_CXSCREEN) == 240 &&
                                 GetSystemMetrics(SM_CYSCREEN) == 320;
        if (!startScreen || !StartScreenCreate(main)) {
            ShowWindow(main, showCommand);
            UpdateWindow(main);
        }
        // Only when the command line opened nothing: it chose the folder.
        if (!savedPath.empty()) TreeSelectPath(g_AppSettings.treeWindow, savedPath.c_str());
        if (g_AppSettings.viewMode == 1) UpdateItemLabels(1);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    RegWriteText(nullptr, L"Path", g_AppSettings.currentFolder);
    RegWriteText(nullptr, L"Language", LngCurrentLanguage());
    LngClose();
    FreeFormatRegistry();
    DisplayRelease();
    return int(message.wParam);
}
