// The viewer program: start-up and the main loop (app_win.cpp), the main
// window "TrelmoClass" with its panes, splitter, keys and commands
// (mainwindow_win.cpp), the browser controller between the file list and the
// image view (browserctl_win.cpp) and the file list view (listview_win.cpp);
// its folder tree and file texts are the shell's (foldertree_win.h,
// filetexts_win.h).
//
// Everything runs on the main thread; the state lives in g_AppSettings (the
// settings and the four windows), g_AppSettings.browser (the controller) and
// the browser model (ViewerModel()).
//
// Calls run one way: start-up -> main window -> commands and their dialogs
// (options, favorites, search, start screen) -> browser controller -> list
// view -> the shared state (viewerbase_win.cpp). A part that needs a lower
// part's work done by a higher one asks the main window by message (a layout
// command, WM_SIZE), as its menu would.
//
// Win32 only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "display/slideshow_win.h"
#include "display/view_win.h"
#include "shell/browsermodel.h"
#include "shell/filetexts_win.h"
#include "shell/foldertree_win.h"
#include "shell/settings_win.h"
#include "shell/viewerlogic.h"

constexpr const wchar_t* kMainClassName = L"TrelmoClass";
constexpr const wchar_t* kMainTitle = L"Trelmo";
constexpr UINT kTreeControlId = 1000;
constexpr UINT kListControlId = 1001;
constexpr UINT_PTR kSlideshowTimerId = 1000;
constexpr UINT_PTR kCaptureTimerId = 1001;
constexpr UINT_PTR kAnimationTimerId = 1002;

// The screen's pixels per inch, read once at start-up.
extern int g_DpiX;
extern int g_DpiY;
extern HINSTANCE g_Instance;

// ---------------------------------------------------------------------------
// Start-up (app_win.cpp)

int AppMain(HINSTANCE instance, HINSTANCE previous, const wchar_t* commandLine, int showCommand);
int InitInstance(HINSTANCE instance, int showCommand, const wchar_t* commandLine);
ATOM RegisterMainClass(HINSTANCE instance);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM first, LPARAM second);

// ---------------------------------------------------------------------------
// Main window (mainwindow_win.cpp)

HWND MainCreateMenuBar(HWND mainWindow);
void MainLayout(HWND mainWindow);
void MainKeyDown(UINT key);
void RunButtonAction(int action);
void ShowNextFile();
void ShowPreviousFile();
int OpenCommandLineFile(const wchar_t* path);
// Switches the layout (4007 thumbnails .. 4012 full screen).
void SetViewMode(UINT id);
// Makes the model, with the settings it follows, once the list exists.
void CreateBrowserModel(HWND mainWindow);

// ---------------------------------------------------------------------------
// Browser controller (browserctl_win.cpp)

void ShowEntry(long index, uint32_t page, int withTransition);
void ComputeLoadBox(int32_t pictureWidth, int32_t pictureHeight, int32_t* boxWidth, int32_t* boxHeight);
void ReleaseViewPicture();
void NextAnimationFrame();
void AutoRotateForScreen(Bitmap* bitmap);
void ReloadIfReduced();
void ShowFirstSelected();
// The panes of the main window's current layout, as MainLayout places them.
PaneLayout CurrentPanes(HWND mainWindow);
// The text over the shown picture: the file's name in full screen when
// LabelInFull is set, and in every layout a word that the file is damaged
// when only part of its picture could be read; none otherwise.
void ShowPictureLabel(const wchar_t* path);
// A picture that failed to open is reported once: ShowEntry does not try it
// again while the view shows nothing in its place, until the user changes
// the layout (which calls this) or another picture is shown.
void ForgetReportedFailure();
void ToggleImageView(long index);
void OnViewEvent(const ViewEvent* event);
void StartBrowserSlideshow();
void StopBrowserSlideshow();
void StepBrowserSlideshow(int direction);
void UpdateBrowserMenus();
// The view of the model that keeps the list view's items in step.
BrowserView* ListBrowserView();
// The view holds a picture (or its screen bitmap).
bool ViewShowsPicture();
// The zoom at which the view shows its picture, in percent.
int32_t CurrentZoomPercent();
// The zoom at which the view shows the picture's own pixels: a reduced
// bitmap's zoom scaled by how far it was reduced.
int32_t PictureZoomPercent();
// The "Go to" submenu (the first submenu of the File menu) after its fixed
// entries: the ancestors of `folder` from the root down, commands
// IDM_MAIN_GOTO_FIRST upward (GoToFolders), each cut to fit the menu.
constexpr int kGoToTextWidth = 100;
constexpr int kGoToTextChars = 64;
void BuildGoToMenu(const std::wstring& folder);
void UpdateItemLabels(int show);
LRESULT OnListNotify(HWND mainWindow, NMHDR* header);
// Sets the menu-bar button's state (TBSTATE_* bits, 8 = hidden).
void SetBarButtonState(UINT command, int state);

// ---------------------------------------------------------------------------
// File list view (listview_win.cpp)

HWND ListViewCreate(HWND parent, int x, int y, int width, int height);
void InsertListItem(HWND list, int index, const FileListEntry& entry);
void RefreshItemTexts(HWND list, int index, const FileListEntry& entry);
void SetupListImageLists(HWND list);
void SelectListImageList(HWND list);
void RefreshListLayout(HWND list);
// Sets the control's style for a browser layout (0 .. 3).
void SetListStyle(HWND list, int mode);
BOOL DrawListItem(const DRAWITEMSTRUCT* draw);
// NM_CUSTOMDRAW of the thumbnail and strip layouts.
LRESULT ListCustomDraw(NMLVCUSTOMDRAW* draw);
void FormatTypeName(const FileListEntry& entry, wchar_t* text, int length);
void ListViewRelease();
// The list's cell height (the thumbnail box's height).
int ListCellHeight();
// Sets an item's own text (its label in the list layout).
void SetListItemLabel(HWND list, int index, const wchar_t* text);
// Selected item indices, ascending.
std::vector<long> SelectedItems(HWND list);
// Makes `index` the only selected and the focused item and shows it.
void SelectOnly(HWND list, long index);

// ---------------------------------------------------------------------------
// Shared state and helpers (viewerbase_win.cpp, with g_DpiX, g_DpiY and
// g_Instance): what the parts above ask for, owned below them all.

// The browser model of the main window (null before it is created); the
// main window sets it when its list exists and clears it as it goes.
BrowserModel* ViewerModel();
void SetViewerModel(std::unique_ptr<BrowserModel> model);
// The settings of AppSettings the browser model follows.
BrowserSettings ViewerBrowserSettings();
// What an album slideshow is lent: the browser's thumbnail worker stops for
// the length of the show and starts again at its end.
const SlideshowHooks* BrowserSlideshowHooks();
// The main window's menu bar (null before it is made and once it is gone)
// and its menu.
HWND MainMenuBar();
void SetMainMenuBar(HWND bar);
HMENU MainMenu();
// The translated string (LngGetString) as a std::wstring.
std::wstring LoadText(UINT id, const char* key);
// `format` with its one "%s" replaced by `argument`.
std::wstring FillFormat(const std::wstring& format, const std::wstring& argument);
