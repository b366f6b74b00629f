// The main window, "TrelmoClass": the frame of the browser. It owns the menu
// bar, lays out the folder tree, the splitter bar and the file list (or the
// strip above the image view, or the view alone), turns the hardware keys
// into actions, receives the thumbnail worker's results, the folder's change
// notifications and the command line of a second copy, and hands WM_COMMAND
// to its command table: each command is one row of kMainCommands.
#include <algorithm>
#include <memory>
#include <string>

#include "display/audio.h"
#include "display/slideshow_win.h"
#include "display/view_win.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "app/browser_win.h"
#include "app/commands_win.h"
#include "app/favorites_win.h"
#include "app/options_win.h"
#include "shell/language_win.h"
#include "app/viewer_win.h"
#include "shell/viewerlogic.h"

namespace {

struct MainWindowState {
    HIMAGELIST barNormalImages = nullptr;
    HIMAGELIST barDisabledImages = nullptr;
    bool dragging = false;
    int dragStartY = 0;
    int dragStartHeight = 0;
    int lastScreenWidth = -1;
    int splitterTop = -1;  // where the last layout put the splitter bar
    ActivateInfo activateInfo = {sizeof(ActivateInfo), nullptr, 0};
    int fit = 0;                   // the zoom choice read at start-up
    int keptColumnWidths[5] = {};  // the list's columns while details show
};

MainWindowState g_main;

void ShowPane(HWND window, const PaneRect& pane) {
    if (!window) return;
    if (pane.visible) MoveWindow(window, pane.left, pane.top, pane.right - pane.left, pane.bottom - pane.top, TRUE);
    ShowWindow(window, pane.visible ? SW_SHOW : SW_HIDE);
}

bool SplitterShown() { return g_AppSettings.viewMode <= 2 && !g_AppSettings.slideshowRunning; }

void RunKeyAction(int action, int dx, int dy) {
    if (action == 0) {
        ViewScrollBy(g_AppSettings.viewWindow, dx, dy);
        return;
    }
    RunButtonAction(action);
}

// --- Message handlers ------------------------------------------------------

LRESULT OnCommand(HWND window, UINT message, WPARAM first, LPARAM second);

LRESULT OnCreate(HWND window, UINT, WPARAM, LPARAM) {
    SetMainMenuBar(MainCreateMenuBar(window));
    g_main.fit = SettingsLoad(window);
    g_AppSettings.previousViewMode = -1;
    UpdateBrowserMenus();
    SettingsApplyMenuChecks(MainMenu(), g_main.fit);
    g_AppSettings.splitterImages =
        ImageList_LoadImageW(g_Instance, MAKEINTRESOURCEW(IDB_MAIN_SPLITTER), 31, 0, RGB(255, 0, 255), IMAGE_BITMAP,
                             LR_CREATEDIBSECTION);
    return 0;
}

LRESULT OnActivate(HWND window, UINT, WPARAM first, LPARAM second) {
    HandheldHandleActivate(window, first, second, &g_main.activateInfo);
    return 0;
}

LRESULT OnSettingChange(HWND window, UINT, WPARAM first, LPARAM second) {
    HandheldHandleSettingChange(window, first, second, &g_main.activateInfo);
    MainLayout(window);
    return 0;
}

// While another window holds the main window disabled (a modal dialog, a
// sheet), only the front window's menu bar may be shown and pressed. A
// window without one of its own (a message box) leaves the main one in
// sight, disabled, rather than an empty strip of screen.
LRESULT OnEnable(HWND, UINT, WPARAM first, LPARAM) {
    if (MainMenuBar() && !g_AppSettings.slideshowRunning && g_AppSettings.viewMode != 5) {
        EnableWindow(MainMenuBar(), first ? TRUE : FALSE);
        const bool shown = first || !MenuBarOtherShown(MainMenuBar());
        ShowWindow(MainMenuBar(), shown ? SW_SHOWNA : SW_HIDE);
    }
    return 0;
}

LRESULT OnDestroy(HWND window, UINT, WPARAM, LPARAM) {
    if (MainMenuBar()) DestroyWindow(MainMenuBar());
    SetMainMenuBar(nullptr);
    SettingsSave();
    if (ViewerModel()) ViewerModel()->StopWorker();
    ReleaseViewPicture();
    ListViewRelease();
    SetViewerModel(nullptr);  // frees the list with its thumbnails
    UnwatchFolders(window);
    if (g_AppSettings.splitterImages) ImageList_Destroy(g_AppSettings.splitterImages);
    g_AppSettings.splitterImages = nullptr;
    for (HIMAGELIST* l : {&g_main.barNormalImages, &g_main.barDisabledImages}) {
        if (*l) ImageList_Destroy(*l);
        *l = nullptr;
    }
    AudioUnload();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnNotify(HWND window, UINT message, WPARAM first, LPARAM second) {
    auto* header = reinterpret_cast<NMHDR*>(second);
    if (!header) return 0;
    if (header->idFrom == kTreeControlId) return TreeOnNotify(window, header);
    if (header->idFrom == kListControlId) return OnListNotify(window, header);
    return DefWindowProcW(window, message, first, second);
}

LRESULT OnBrowserMessage(HWND, UINT message, WPARAM first, LPARAM second) {
    if (message == kFileChangeMessage && first) {
        // The tree follows folders made and removed in the shown folder.
        const auto* record = reinterpret_cast<const FileChangeRecord*>(first);
        if (record->event == kFileCreated && record->folder) TreeFolderCreated(g_AppSettings.treeWindow, record->item);
        if (record->event == kFileDeleted) TreeFolderRemoved(g_AppSettings.treeWindow, record->item);
    }
    if (ViewerModel()) {
        HandleBrowserMessage(ViewerModel(), message, first, second);
    } else if (message == kFileChangeMessage && first) {
        FreeFileChange(reinterpret_cast<FileChangeRecord*>(first));
    }
    if (message == kFileChangeMessage && !first) return 1;
    return 0;
}

LRESULT OnMeasureItem(HWND, UINT, WPARAM first, LPARAM second) {
    if (first != kListControlId) return 0;
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(second);
    const int cell = ListCellHeight();
    measure->itemWidth = 60;
    measure->itemHeight = UINT(cell >= 60 ? cell : 60);
    return TRUE;
}

LRESULT OnDrawItem(HWND, UINT, WPARAM first, LPARAM second) {
    if (first != kListControlId) return 0;
    return DrawListItem(reinterpret_cast<const DRAWITEMSTRUCT*>(second));
}

LRESULT OnTimer(HWND window, UINT, WPARAM first, LPARAM) {
    switch (first) {
    case kAnimationTimerId:
        NextAnimationFrame();
        return 0;
    case kCaptureTimerId:
        TakeDelayedCapture(window);
        return 0;
    default:
        HandheldResetIdleTimer();
        StepBrowserSlideshow(1);
        return 0;
    }
}

LRESULT OnSize(HWND window, UINT, WPARAM, LPARAM) {
    MainLayout(window);
    return 0;
}

void PaintSplitter(HDC dc) {
    if (!SplitterShown() || !g_AppSettings.splitterImages || g_main.splitterTop < 0) return;
    const int top = g_main.splitterTop + 1;
    const HIMAGELIST images = g_AppSettings.splitterImages;
    if (g_AppSettings.treeHidden) {
        ImageList_Draw(images, 3, dc, 2, top, ILD_TRANSPARENT);
    } else if (g_AppSettings.listHidden) {
        ImageList_Draw(images, 1, dc, 2, top, ILD_TRANSPARENT);
    } else {
        ImageList_Draw(images, 2, dc, 2, top, ILD_TRANSPARENT);
        ImageList_Draw(images, 0, dc, 34, top, ILD_TRANSPARENT);
    }
}

LRESULT OnPaint(HWND window, UINT, WPARAM, LPARAM) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    PaintSplitter(dc);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnMouse(HWND window, UINT message, WPARAM, LPARAM second) {
    if (!SplitterShown()) return 0;
    const int x = short(LOWORD(second)), y = short(HIWORD(second));
    RECT client;
    GetClientRect(window, &client);
    switch (message) {
    case WM_LBUTTONDOWN:
        if (!SplitterStartsDrag(x)) return 0;
        SetCapture(window);
        g_main.dragging = true;
        g_main.dragStartY = y;
        g_main.dragStartHeight = TreePaneHeight(g_AppSettings.treeViewHeight, client.bottom);
        if (g_AppSettings.treeHidden || g_AppSettings.listHidden) {
            // Both panes come back; the bar stays where the pointer holds it.
            g_main.dragStartHeight = g_AppSettings.treeHidden ? 0 : client.bottom - kSplitterHeight;
            g_AppSettings.treeHidden = g_AppSettings.listHidden = 0;
        }
        MainLayout(window);
        return 0;
    case WM_MOUSEMOVE:
        if (!g_main.dragging) return 0;
        g_AppSettings.treeViewHeight = SplitterDragHeight(g_main.dragStartHeight, g_main.dragStartY, y, client.bottom);
        MainLayout(window);
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_LBUTTONUP: {
        if (g_main.dragging) {
            g_main.dragging = false;
            ReleaseCapture();
            return 0;
        }
        switch (SplitterTap(x, g_AppSettings.treeHidden != 0, g_AppSettings.listHidden != 0)) {
        case SplitterAction::kShowTree: g_AppSettings.treeHidden = 0; break;
        case SplitterAction::kHideTree: g_AppSettings.treeHidden = 1; break;
        case SplitterAction::kHideList: g_AppSettings.listHidden = 1; break;
        case SplitterAction::kShowList: g_AppSettings.listHidden = 0; break;
        case SplitterAction::kNone: return 0;
        }
        MainLayout(window);
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT OnKeyDown(HWND, UINT, WPARAM first, LPARAM) {
    MainKeyDown(UINT(first));
    return 0;
}

LRESULT OnInitMenuPopup(HWND, UINT, WPARAM first, LPARAM second) {
    if (LOWORD(second) != IDM_MAIN_FAVORITES) return 0;
    const HMENU popup = reinterpret_cast<HMENU>(first);
    for (UINT id = kFirstFavoriteCommand; id < kFirstFavoriteCommand + kFavoriteMenuEntries; ++id)
        DeleteMenu(popup, id, MF_BYCOMMAND);
    while (GetMenuItemCount(popup) > 0) DeleteMenu(popup, 0, MF_BYPOSITION);
    FillFavoritesMenu(popup);
    return 0;
}

LRESULT OnCopyData(HWND, UINT, WPARAM, LPARAM second) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(second);
    std::u16string text;
    if (!data || !CopyDataText(data->lpData, data->cbData, &text)) return FALSE;
    const std::wstring path(text.begin(), text.end());
    OpenCommandLineFile(path.c_str());
    return TRUE;
}

const MessageRow kMainMessages[] = {
    {WM_COMMAND, OnCommand},
    {WM_CREATE, OnCreate},
    {WM_ACTIVATE, OnActivate},
    {WM_SETTINGCHANGE, OnSettingChange},
    {WM_DESTROY, OnDestroy},
    {WM_NOTIFY, OnNotify},
    {kThumbReadyMessage, OnBrowserMessage},
    {kThumbsDoneMessage, OnBrowserMessage},
    {WM_MEASUREITEM, OnMeasureItem},
    {WM_DRAWITEM, OnDrawItem},
    {WM_TIMER, OnTimer},
    {WM_SIZE, OnSize},
    {WM_PAINT, OnPaint},
    {WM_LBUTTONUP, OnMouse},
    {WM_LBUTTONDOWN, OnMouse},
    {WM_MOUSEMOVE, OnMouse},
    {WM_KEYDOWN, OnKeyDown},
    {WM_INITMENUPOPUP, OnInitMenuPopup},
    {WM_COPYDATA, OnCopyData},
    {kFileChangeMessage, OnBrowserMessage},
    {WM_ENABLE, OnEnable},
};
const MessageTable kMainMessageTable = MakeMessageTable(kMainMessages, kDefaultWindow);

// --- Commands --------------------------------------------------------------

LRESULT OnLayoutCommand(HWND, UINT id, UINT, HWND) {
    SetViewMode(id);
    return 0;
}

LRESULT OnQuit(HWND window, UINT, UINT, HWND) {
    const HMENU menu = MainMenu();
    auto checked = [menu](UINT id) { return menu && (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED); };
    const DWORD fit = checked(IDM_MAIN_ORIGINAL_SIZE) ? 2 : checked(IDM_MAIN_FILL_SCREEN) ? 3
                                                        : checked(IDM_MAIN_FIT_ALL)      ? 1
                                                                                         : 0;
    RegWriteDword(kGeneralSection, kFitSettingKey.name, fit);
    SendMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT OnSlideshow(HWND, UINT, UINT, HWND) {
    if (ViewerModel() && !ViewerModel()->Entries().empty()) StartBrowserSlideshow();
    UpdateBrowserMenus();
    return 0;
}

// The menu bar's full-screen button, a double tap or Return in the list: the
// one selected picture full screen (an album plays as its slideshow), or
// back from full screen.
LRESULT OnOpen(HWND, UINT, UINT, HWND) {
    if (g_AppSettings.slideshowRunning) return 0;
    const int mode = g_AppSettings.viewMode;
    if (mode == 5) {
        ToggleImageView(g_AppSettings.currentItem);
    } else if (mode == 4) {
        SetViewMode(IDM_MAIN_FULLSCREEN);
    } else {
        const HWND list = g_AppSettings.listWindow;
        if (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) != 1 || !ViewerModel()) return 0;
        const long selected = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
        const FileList& entries = ViewerModel()->Entries();
        if (selected < 0 || size_t(selected) >= entries.size()) return 0;
        if (entries[size_t(selected)].state == kEntryAlbum) {
            SetBarButtonState(IDM_MAIN_OPEN, TBSTATE_ENABLED);
            SlideshowStartAlbum(BrowserSlideshowHooks(), L"", entries[size_t(selected)].path,
                                g_AppSettings.slideBackColor);
            return 0;
        }
        const int32_t saved = g_AppSettings.openInFull;
        g_AppSettings.openInFull = 1;
        ToggleImageView(selected);
        g_AppSettings.openInFull = saved;
    }
    UpdateBrowserMenus();
    return 0;
}

LRESULT OnNextFile(HWND, UINT, UINT, HWND) {
    ShowNextFile();
    return 0;
}

LRESULT OnPreviousFile(HWND, UINT, UINT, HWND) {
    ShowPreviousFile();
    return 0;
}

LRESULT OnPage(HWND, UINT id, UINT, HWND) {
    const int32_t page = g_AppSettings.currentPage + (id == IDM_MAIN_NEXT_PAGE ? 1 : -1);
    if (page >= 0 && uint32_t(page) < g_AppSettings.browser.pageCount)
        ShowEntry(g_AppSettings.currentItem, uint32_t(page), 0);
    return 0;
}

const CommandRow kMainCommands[] = {
    {IDM_MAIN_QUIT, OnQuit},
    {IDM_MAIN_THUMBNAILS, OnLayoutCommand},
    {IDM_MAIN_LIST, OnLayoutCommand},
    {IDM_MAIN_DETAILS, OnLayoutCommand},
    {IDM_MAIN_STRIP, OnLayoutCommand},
    {IDM_MAIN_IMAGE, OnLayoutCommand},
    {IDM_MAIN_FULLSCREEN, OnLayoutCommand},
    {IDM_MAIN_OPEN, OnOpen},
    {IDM_MAIN_SLIDESHOW, OnSlideshow},
    {IDM_MAIN_PREVIOUS_PAGE, OnPage},
    {IDM_MAIN_NEXT_PAGE, OnPage},
    {IDM_MAIN_PREVIOUS_FILE, OnPreviousFile},
    {IDM_MAIN_NEXT_FILE, OnNextFile},
    {IDM_MAIN_ABOUT, OnAboutCommand},
    {IDM_MAIN_HOME, OnGoToFolder},
    {IDM_MAIN_UP, OnGoToFolder},
    {IDM_MAIN_BROWSE_CARD, OnGoToFolder},
    {IDM_MAIN_MY_DOCUMENTS, OnGoToFolder},
    {IDM_MAIN_GOTO_FIRST + 0, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 1, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 2, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 3, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 4, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 5, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 6, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 7, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 8, OnGoToLevel},
    {IDM_MAIN_GOTO_FIRST + 9, OnGoToLevel},
    {IDM_MAIN_NEWFOLDER, OnNewFolder},
    {IDM_MAIN_DELETE_FOLDER, OnDeleteFolder},
    {IDM_MAIN_RENAME_FOLDER, OnRenameFolder},
    {IDM_MAIN_RENAME, OnRenameFile},
    {IDM_MAIN_DELETE, OnDeleteFiles},
    {IDM_MAIN_CUT, OnCutCopy},
    {IDM_MAIN_COPY, OnCutCopy},
    {IDM_MAIN_PASTE, OnPaste},
    {IDM_MAIN_SELECT_ALL, OnSelect},
    {IDM_MAIN_SELECT_NONE, OnSelect},
    {IDM_MAIN_SELECT_INVERT, OnSelect},
    {IDM_MAIN_MULTIPLE_SELECTION, OnMultipleSelection},
    {IDM_MAIN_ORIGINAL_SIZE, OnZoom},
    {IDM_MAIN_ZOOM150, OnZoom},
    {IDM_MAIN_ZOOM200, OnZoom},
    {IDM_MAIN_ZOOM300, OnZoom},
    {IDM_MAIN_ZOOM400, OnZoom},
    {IDM_MAIN_ZOOM75, OnZoom},
    {IDM_MAIN_ZOOM50, OnZoom},
    {IDM_MAIN_ZOOM25, OnZoom},
    {IDM_MAIN_ZOOM_IN, OnZoom},
    {IDM_MAIN_ZOOM_OUT, OnZoom},
    {IDM_MAIN_LOCK_ZOOM, OnLockZoom},
    {IDM_MAIN_FILL_SCREEN, OnFit},
    {IDM_MAIN_FIT_LARGE, OnFit},
    {IDM_MAIN_FIT_ALL, OnFit},
    {IDM_MAIN_ROTATE_AUTO, OnRotateAuto},
    {IDM_MAIN_SORT_NAME, OnSort},
    {IDM_MAIN_SORT_DATE, OnSort},
    {IDM_MAIN_SORT_TYPE, OnSort},
    {IDM_MAIN_SORT_SIZE, OnSort},
    {IDM_MAIN_SORT_RESOLUTION, OnSort},
    {IDM_MAIN_SORT_ASCENDING, OnSort},
    {IDM_MAIN_SORT_DESCENDING, OnSort},
    {IDM_MAIN_SHOW_LABEL, OnShowLabel},
    {IDM_MAIN_RECURSIVE, OnRecursive},
    {IDM_MAIN_ADD_FAVORITE, OnAddFavorite},
    {IDM_MAIN_FAVORITES, OnFavoritesManager},
    {IDM_MAIN_SEARCH, OnSearchCommand},
    {IDM_MAIN_OPTIONS, OnOptionsCommand},
    {IDM_MAIN_CREATE_ALBUM, OnAlbumWizard},
    {IDM_MAIN_CREATE_SLIDESHOW, OnAlbumWizard},
    {IDM_MAIN_CROP, OnSelectionTool},
    {IDM_MAIN_RESIZE, OnSelectionTool},
    {IDM_MAIN_ADJUST, OnSelectionTool},
    {IDM_MAIN_CONVERT, OnSelectionTool},
    {IDM_MAIN_ROTATE, OnSelectionTool},
    {IDM_MAIN_FILTER, OnSelectionTool},
    {IDM_MAIN_IPTC, OnSelectionTool},
    {IDM_MAIN_INFORMATION, OnInformation},
    {IDM_MAIN_CAPTURE, OnCapture},
    {IDM_MAIN_BATCH_RENAME, OnBatchRename},
    {IDM_MAIN_EMAIL, OnSendByMail},
    {IDM_MAIN_INFRARED, OnSendByInfrared},
    {IDM_MAIN_RECEIVE_INFRARED, OnReceiveInfrared},
    {IDM_MAIN_ADJUST_SAVE, OnAdjustSave},
    {kFirstFavoriteCommand + 0, OnFavoriteItem},
    {kFirstFavoriteCommand + 1, OnFavoriteItem},
    {kFirstFavoriteCommand + 2, OnFavoriteItem},
    {kFirstFavoriteCommand + 3, OnFavoriteItem},
    {kFirstFavoriteCommand + 4, OnFavoriteItem},
    {kFirstFavoriteCommand + 5, OnFavoriteItem},
    {kFirstFavoriteCommand + 6, OnFavoriteItem},
    {kFirstFavoriteCommand + 7, OnFavoriteItem},
    {kFirstFavoriteCommand + 8, OnFavoriteItem},
    {kFirstFavoriteCommand + 9, OnFavoriteItem},
};
// Commands without a row do nothing (kDefaultNone).
const CommandTable kMainCommandTable = MakeCommandTable(kMainCommands, kDefaultNone);

LRESULT OnCommand(HWND window, UINT message, WPARAM first, LPARAM second) {
    return CmdTableDispatch(kMainCommandTable, window, message, first, second);
}

void SelectItemState(long index, UINT state) {
    LVITEMW item = {};
    item.stateMask = 15;
    item.state = state;
    g_AppSettings.browser.programChange++;
    SendMessageW(g_AppSettings.listWindow, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&item));
    g_AppSettings.browser.programChange--;
}

void ShowFileAt(long index) {
    const HWND list = g_AppSettings.listWindow;
    if (g_AppSettings.viewMode == 5 || g_AppSettings.slideshowRunning) g_AppSettings.zoom = -1;
    ShowEntry(index, 0, 0);
    SelectItemState(index, LVIS_FOCUSED | LVIS_SELECTED);
    SendMessageW(list, LVM_ENSUREVISIBLE, WPARAM(index), FALSE);
}

void StepFile(int direction) {
    const long count = long(SendMessageW(g_AppSettings.listWindow, LVM_GETITEMCOUNT, 0, 0));
    if (count <= 0) return;
    const long current = g_AppSettings.currentItem;
    if (current >= 0 && current < count) SelectItemState(current, 0);
    long next = current + direction;
    if (direction > 0 && (current < 0 || next >= count)) next = 0;
    if (direction < 0 && next < 0) next = count - 1;
    ShowFileAt(next);
}

// Details rows span column 0: entering details it takes the client width
// and the others none; leaving, the kept widths come back.
void SetDetailsColumns(HWND list, int before, int mode) {
    int* kept = g_main.keptColumnWidths;
    if (before == 2 && mode != 2 && kept[0] > 0) {
        for (int c : {1, 2, 3, 4, 0}) SendMessageW(list, LVM_SETCOLUMNWIDTH, WPARAM(c), kept[c]);
    } else if (mode == 2 && before != 2) {
        for (int c : {1, 2, 3, 4, 0}) kept[c] = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(c), 0));
        for (int c : {1, 2, 3, 4}) SendMessageW(list, LVM_SETCOLUMNWIDTH, WPARAM(c), 0);
        // The client width less a vertical scroll bar, which may come only
        // with the items.
        RECT client;
        GetClientRect(list, &client);
        const bool barShown = (GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL) != 0;
        SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, client.right - (barShown ? 0 : GetSystemMetrics(SM_CXVSCROLL)));
    }
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kMainMessageTable, window, message, first, second);
}

HWND MainCreateMenuBar(HWND mainWindow) {
    const HWND bar = MenuBarCreate(MenuBarSpec{mainWindow, g_Instance, IDR_MAIN_MENUBAR, IDB_MAIN_MENUBAR, 6});
    if (!bar) return nullptr;
    // Texts beside the images, so that the buttons stay on one row. A
    // list-style button keeps room for an image beside its text even when it
    // has none: without a gap beside that room the nine buttons fit the
    // screen.
    SendMessageW(bar, TB_SETSTYLE, 0, SendMessageW(bar, TB_GETSTYLE, 0, 0) | TBSTYLE_LIST);
    SendMessageW(bar, TB_SETPADDING, 0, MAKELPARAM(5, 6));
    SendMessageW(bar, TB_SETLISTGAP, 0, 0);
    const COLORREF key = RGB(0xC4, 0xC4, 0xC4);
    if (g_DpiX < 97) {
        g_main.barDisabledImages = ImageList_LoadImageW(g_Instance, MAKEINTRESOURCEW(IDB_MAIN_BUTTONS16), 16, 0, key,
                                                        IMAGE_BITMAP, LR_CREATEDIBSECTION);
    } else {
        g_main.barDisabledImages = ImageList_LoadImageW(g_Instance, MAKEINTRESOURCEW(IDB_MAIN_BUTTONS32_DISABLED),
                                                        32, 0, key, IMAGE_BITMAP, LR_CREATEDIBSECTION);
        g_main.barNormalImages = ImageList_LoadImageW(g_Instance, MAKEINTRESOURCEW(IDB_MAIN_BUTTONS32), 32, 0, key,
                                                      IMAGE_BITMAP, LR_CREATEDIBSECTION);
        SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(g_main.barNormalImages));
    }
    SendMessageW(bar, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(g_main.barDisabledImages));
    LngTranslateMenu(bar, MenuBarGetMenu(bar));
    return bar;
}

void CreateBrowserModel(HWND mainWindow) {
    SetViewerModel(std::make_unique<BrowserModel>(Win32BrowserServices(mainWindow), ListBrowserView()));
    ViewerModel()->SetSettings(ViewerBrowserSettings());
}

void MainLayout(HWND mainWindow) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    if (g_main.lastScreenWidth != -1 && g_main.lastScreenWidth != screenWidth) {
        g_AppSettings.currentItem = -1;
        if (g_AppSettings.viewMode == 5) ReloadIfReduced();
    }
    g_main.lastScreenWidth = screenWidth;
    const PaneLayout panes = CurrentPanes(mainWindow);
    g_main.splitterTop = panes.splitterTop;
    ShowPane(g_AppSettings.treeWindow, panes.tree);
    ShowPane(g_AppSettings.listWindow, panes.list);
    ShowPane(g_AppSettings.viewWindow, panes.view);
    InvalidateRect(mainWindow, nullptr, TRUE);
}

PaneLayout CurrentPanes(HWND mainWindow) {
    RECT client;
    GetClientRect(mainWindow, &client);
    PaneInput in = {};
    in.mode = g_AppSettings.viewMode;
    in.slideshowRunning = g_AppSettings.slideshowRunning != 0;
    in.treeHidden = g_AppSettings.treeHidden != 0;
    in.listHidden = g_AppSettings.listHidden != 0;
    in.treeViewHeight = g_AppSettings.treeViewHeight;
    in.stripHeight = StripHeight(ListCellHeight(), g_DpiY, g_AppSettings.showLabel != 0,
                                 GetSystemMetrics(SM_CYHSCROLL));
    in.clientWidth = client.right;
    in.clientHeight = client.bottom;
    return LayoutPanes(in);
}

void MainKeyDown(UINT key) {
    if (g_AppSettings.slideshowRunning) {
        if (key == VK_UP || key == VK_LEFT) StepBrowserSlideshow(1);
        if (key == VK_DOWN || key == VK_RIGHT) StepBrowserSlideshow(-1);
        return;
    }
    const int mode = g_AppSettings.viewMode;
    if (mode == 4 || mode == 5) {
        switch (key) {
        case VK_UP: RunKeyAction(g_AppSettings.keyUp, 0, -16); break;
        case VK_DOWN: RunKeyAction(g_AppSettings.keyDown, 0, 16); break;
        case VK_LEFT: RunKeyAction(g_AppSettings.keyLeft, -16, 0); break;
        case VK_RIGHT: RunKeyAction(g_AppSettings.keyRight, 16, 0); break;
        case VK_RETURN: RunButtonAction(g_AppSettings.keyReturn); break;
        default: break;
        }
        return;
    }
    if (key == VK_RETURN) RunButtonAction(g_AppSettings.keyReturn);
}

void RunButtonAction(int action) {
    const HWND main = g_AppSettings.mainWindow;
    switch (action) {
    case 1: ShowNextFile(); break;
    case 2: ShowPreviousFile(); break;
    case 3: SendMessageW(main, WM_COMMAND, IDM_MAIN_OPEN, 0); break;
    case 4: SendMessageW(main, WM_COMMAND, IDM_MAIN_SLIDESHOW, 0); break;
    case 5: SendMessageW(main, WM_COMMAND, IDM_MAIN_ZOOM_IN, 0); break;
    case 6: SendMessageW(main, WM_COMMAND, IDM_MAIN_ZOOM_OUT, 0); break;
    default: break;
    }
}

void ShowNextFile() { StepFile(1); }

void ShowPreviousFile() { StepFile(-1); }

int OpenCommandLineFile(const wchar_t* rawPath) {
    const std::wstring path = CommandLinePath(rawPath ? rawPath : L"");
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
    const size_t slash = path.rfind(L'\\');
    if (path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".alb") == 0) {
        const std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
        const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        SlideshowStartAlbum(BrowserSlideshowHooks(), folder.c_str(), name.c_str(), g_AppSettings.slideBackColor);
        return 1;
    }
    if (slash == std::wstring::npos || !ViewerModel()) return 0;
    const std::wstring folder = path.substr(0, slash + 1);
    wcsncpy(g_AppSettings.currentFolder, folder.c_str(), kSettingTextCapacity - 1);
    g_AppSettings.currentFolder[kSettingTextCapacity - 1] = 0;
    TreeSelectPath(g_AppSettings.treeWindow, folder.c_str());
    if (_wcsicmp(ViewerModel()->CurrentFolder().c_str(), folder.c_str()) != 0) ViewerModel()->BrowseFolder(folder);
    const FileList& entries = ViewerModel()->Entries();
    long found = -1;
    for (size_t i = 0; i < entries.size(); ++i)
        if (_wcsicmp(entries[i].path, path.c_str()) == 0) {
            found = long(i);
            break;
        }
    if (found < 0) return 0;
    SelectOnly(g_AppSettings.listWindow, found);
    const HWND main = g_AppSettings.mainWindow;
    const int32_t saved = g_AppSettings.openInFull;
    if (g_AppSettings.viewMode <= 3) {
        ShowWindow(main, SW_SHOW);
        g_AppSettings.openInFull = 1;
        ToggleImageView(found);
    } else {
        ToggleImageView(found);
        ShowWindow(main, SW_SHOW);
        g_AppSettings.openInFull = 1;
        ToggleImageView(found);
    }
    g_AppSettings.openInFull = saved;
    return 1;
}

void SetViewMode(UINT id) {
    if (id < IDM_MAIN_THUMBNAILS || id > IDM_MAIN_FULLSCREEN) return;
    const int mode = int(id - IDM_MAIN_THUMBNAILS);
    const int before = g_AppSettings.viewMode;
    const HWND main = g_AppSettings.mainWindow;
    const HWND list = g_AppSettings.listWindow, tree = g_AppSettings.treeWindow;
    if (before == 5 && mode != 5 && !g_AppSettings.slideshowRunning) {
        if (MainMenuBar()) ShowWindow(MainMenuBar(), SW_SHOWNA);
        const RECT& r = g_AppSettings.savedWindowRect;
        if (r.right > r.left) MoveWindow(main, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        HandheldFullScreen(main, kShowTopBar | kShowInputButton);
    }
    if (mode >= 4 && before <= 3) g_AppSettings.previousViewMode = before;
    g_AppSettings.viewMode = mode;
    ForgetReportedFailure();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    if (mode <= 3) SetListStyle(list, mode);
    RefreshListLayout(list);
    UpdateItemLabels(mode == 1);
    const FileListEntry* entry = nullptr;
    if (ViewerModel() && g_AppSettings.currentItem >= 0 &&
        size_t(g_AppSettings.currentItem) < ViewerModel()->Entries().size())
        entry = &ViewerModel()->Entries()[size_t(g_AppSettings.currentItem)];
    if (mode <= 3) {
        ShowPictureLabel(mode == 3 && entry ? entry->path : nullptr);
        if (mode == 3) ShowFirstSelected();
    } else {
        ShowPictureLabel(entry ? entry->path : nullptr);
        if (mode == 5) {
            if (before != 5 && !g_AppSettings.slideshowRunning) GetWindowRect(main, &g_AppSettings.savedWindowRect);
            if (MainMenuBar()) ShowWindow(MainMenuBar(), SW_HIDE);
            MoveWindow(main, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), TRUE);
            HandheldFullScreen(main, kHideTopBar | kHideInputButton);
        }
        if (!g_AppSettings.slideshowRunning) ShowFirstSelected();
    }
    MainLayout(main);
    SetDetailsColumns(list, before, mode);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    if (tree && mode <= 2) InvalidateRect(tree, nullptr, TRUE);
    if (const HMENU menu = MainMenu())
        CheckMenuRadioItem(menu, IDM_MAIN_THUMBNAILS, IDM_MAIN_FULLSCREEN, id, MF_BYCOMMAND);
    UpdateBrowserMenus();
}
