// The browser controller: opens list entries in the image view (large
// pictures decoded reduced to what the screen needs), plays animated GIFs,
// turns pictures to suit the screen, switches between the browser, image and
// full-screen layouts, runs the browser's slideshow and answers the view's
// and the list's notifications.
#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "display/anigif.h"
#include "display/audio.h"
#include "display/transition_win.h"
#include "display/view_win.h"
#include "imagelib/formats.h"
#include "imagelib/geometry.h"
#include "imagelib/load.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "app/browser_win.h"
#include "shell/filelist.h"
#include "shell/language_win.h"
#include "shell/pictureload.h"
#include "app/viewer_win.h"
#include "shell/viewerlogic.h"

namespace {

BrowserState& State() { return g_AppSettings.browser; }

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

long ItemCount() { return long(SendMessageW(g_AppSettings.listWindow, LVM_GETITEMCOUNT, 0, 0)); }

const FileListEntry* EntryAt(long index) {
    BrowserModel* model = ViewerModel();
    if (!model || index < 0 || size_t(index) >= model->Entries().size()) return nullptr;
    return &model->Entries()[size_t(index)];
}

void ShowError(UINT id, const char* key, const wchar_t* path) {
    std::wstring text = LoadText(id, key);
    if (path) text = FillFormat(text, path);
    HandheldMessageBox(g_AppSettings.mainWindow, text.c_str(), LoadText(IDS_ERROR, "IDS_ERROR").c_str(),
                MB_OK | MB_ICONSTOP);
}

// The picture whose failure to open was reported last, until another one is
// shown or the user goes back to the browser.
struct ReportedFailure {
    std::wstring path;
    uint32_t page = 0;
};
ReportedFailure g_reported;

// A picture that could not be opened: said once. It is remembered before the
// message box runs, so that what happens while the box is up (a layout, a
// zoom, the list's notifications) does not try it again.
void ReportLoadFailure(const std::wstring& path, uint32_t page, UINT id, const char* key, const wchar_t* named) {
    g_reported = ReportedFailure{path, page};
    static bool showing = false;
    if (showing) return;
    showing = true;
    ShowError(id, key, named);
    showing = false;
}

int ZoomModeFromMenu() {
    const HMENU menu = MainMenu();
    if (!menu) return 0;
    auto checked = [menu](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    if (checked(IDM_MAIN_FIT_ALL)) return 1;
    if (checked(IDM_MAIN_FIT_LARGE)) return 2;
    if (checked(IDM_MAIN_FILL_SCREEN)) return 4;
    return 0;
}

void SetReducedZoom() {
    const int32_t percent =
        ReducedZoomPercent(g_AppSettings.zoom, State().pictureWidth, State().loadedWidth);
    if (percent > 0) ViewSetZoomPercent(g_AppSettings.viewWindow, percent);
}

void StopAnimation() {
    KillTimer(g_AppSettings.mainWindow, kAnimationTimerId);
    if (State().frames) {
        AniGifFree(State().frames);
        delete State().frames;
        State().frames = nullptr;
    }
    State().frameIndex = 0;
}

void Gray(HMENU menu, UINT id, bool gray) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (gray ? MF_GRAYED : MF_ENABLED));
}

bool IsBrowserMode(int mode) { return mode >= 0 && mode <= 3; }

// Loads the picture reduced into the box (turned to the picture's shape).
int LoadForView(const wchar_t* path, Bitmap* bitmap, ImageInfo* info, uint32_t page) {
    int32_t w = State().loadBoxWidth, h = State().loadBoxHeight;
    if (w > 0 && h > 0) {
        const int32_t large = std::max(w, h), small = std::min(w, h);
        if (State().pictureWidth > State().pictureHeight) {
            w = large;
            h = small;
        } else if (State().pictureHeight > State().pictureWidth) {
            w = small;
            h = large;
        }
    }
    return LoadPictureThumbnail(path, bitmap, info, w, h, page, State().fullSizeLoaded ? 0 : 1, 0, 0,
                                ViewerExifOrientation());
}

// The layouts are the main window's: asked for as its menu asks (the
// thumbnails .. full screen commands; SetViewMode ignores any other id).
void SwitchLayout(UINT id) {
    if (id >= IDM_MAIN_THUMBNAILS && id <= IDM_MAIN_FULLSCREEN)
        SendMessageW(g_AppSettings.mainWindow, WM_COMMAND, id, 0);
}

// The view of the model that keeps the list view's items, the menus and the
// image view in step with the shown list.
class ListView final : public BrowserView {
public:
    void CaptureSelection(FileList* entries) override {
        const HWND list = g_AppSettings.listWindow;
        const int anchor = int(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0));
        for (size_t i = 0; i < entries->size(); ++i) {
            const UINT state = UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(i), LVIS_SELECTED));
            (*entries)[i].selected = (state & LVIS_SELECTED) ? 1 : 0;
            (*entries)[i].anchorFlag = int(i) == anchor ? 1 : 0;
        }
    }
    void RestoreSelection(const FileList& entries) override {
        const HWND list = g_AppSettings.listWindow;
        g_AppSettings.browser.programChange++;
        for (size_t i = 0; i < entries.size(); ++i) {
            LVITEMW item = {};
            item.stateMask = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
            item.state = entries[i].selected ? LVIS_SELECTED : 0;
            if (entries[i].anchorFlag) {
                item.state |= LVIS_FOCUSED;
                SendMessageW(list, LVM_SETSELECTIONMARK, 0, LPARAM(i));
            }
            SendMessageW(list, LVM_SETITEMSTATE, WPARAM(i), reinterpret_cast<LPARAM>(&item));
        }
        g_AppSettings.browser.programChange--;
    }
    void ListReplaced(const FileList& entries) override {
        const HWND list = g_AppSettings.listWindow;
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        g_AppSettings.browser.programChange++;
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        SendMessageW(list, LVM_SETITEMCOUNT, WPARAM(entries.size()), 0);
        for (size_t i = 0; i < entries.size(); ++i) {
            InsertListItem(list, int(i), entries[i]);
            RefreshItemTexts(list, int(i), entries[i]);
        }
        g_AppSettings.browser.programChange--;
        if (g_AppSettings.viewMode == 1) UpdateItemLabels(1);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        g_AppSettings.currentItem = -1;
        UpdateBrowserMenus();
    }
    void ItemAppended(const FileList& entries, size_t index) override {
        InsertListItem(g_AppSettings.listWindow, int(index), entries[index]);
        if (g_AppSettings.viewMode == 1) UpdateItemLabels(1);
    }
    void ItemRemoved(size_t index, long select) override {
        const HWND list = g_AppSettings.listWindow;
        SendMessageW(list, LVM_DELETEITEM, WPARAM(index), 0);
        if (select >= 0) SelectOnly(list, select);
        UpdateBrowserMenus();
    }
    void ItemChanged(size_t index) override {
        BrowserModel* model = ViewerModel();
        const HWND list = g_AppSettings.listWindow;
        if (model && index < model->Entries().size()) {
            const FileListEntry& entry = model->Entries()[index];
            RefreshItemTexts(list, int(index), entry);
            // The list layout shows the name as the item's text (a rename).
            if (g_AppSettings.viewMode == 1)
                SetListItemLabel(list, int(index), ItemLabel(entry.path, g_AppSettings.showExt != 0).c_str());
        }
        SendMessageW(list, LVM_REDRAWITEMS, WPARAM(index), LPARAM(index));
    }
    void ShowEntry(size_t index) override { ::ShowEntry(long(index), 0, 0); }
    void WatchFolder(const std::wstring& folder, bool subfolders) override {
        WatchBrowserFolder(g_AppSettings.mainWindow, folder, subfolders);
    }
    void FolderShown(const std::wstring& folder) override {
        BuildGoToMenu(folder);
        // The top bar names the shown folder, as the title of the browser.
        HandheldSetTopBarText(g_AppSettings.mainWindow,
                              FolderTitle(folder, LoadText(IDS_TREEROOT, "IDS_TREEROOT")).c_str());
    }
    void Busy(bool busy) override {
        if (busy) {
            previousCursor_ = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        } else {
            SetCursor(previousCursor_);
            previousCursor_ = nullptr;
        }
    }

    void ThumbnailBitmapFailed() override {
        HandheldMessageBox(g_AppSettings.mainWindow, LoadText(IDS_THUMB_NO_BITMAP, "IDS_THUMB_NO_BITMAP").c_str(),
                           L"PB bitmap", MB_OK | MB_ICONSTOP);
    }

private:
    HCURSOR previousCursor_ = nullptr;
};

ListView g_listView;

}  // namespace

BrowserView* ListBrowserView() { return &g_listView; }

bool ViewShowsPicture() {
    const HWND view = g_AppSettings.viewWindow;
    const ViewState* state = view ? ViewGetState(view) : nullptr;
    return state && (state->picture || state->screenHandle);
}

int32_t PictureZoomPercent() {
    const BrowserState& s = State();
    const int32_t zoom = CurrentZoomPercent();
    if (s.fullSizeLoaded || !ViewShowsPicture() || s.pictureWidth <= 0 || s.loadedWidth <= 0) return zoom;
    return std::max<int32_t>(1, int32_t(int64_t(zoom) * s.loadedWidth / s.pictureWidth));
}

int32_t CurrentZoomPercent() {
    // A fitted picture's zoom is the percentage it is shown at.
    if (g_AppSettings.zoom > 0 && !ViewShowsPicture()) return g_AppSettings.zoom;
    const int32_t shown = g_AppSettings.viewWindow ? ViewGetZoomPercent(g_AppSettings.viewWindow) : 0;
    return shown > 0 ? shown : (g_AppSettings.zoom > 0 ? g_AppSettings.zoom : 100);
}

void SetBarButtonState(UINT command, int state) {
    const HWND bar = MainMenuBar();
    if (bar) SendMessageW(bar, TB_SETSTATE, command, MAKELPARAM(state, 0));
}

void ComputeLoadBox(int32_t pictureWidth, int32_t pictureHeight, int32_t* boxWidth, int32_t* boxHeight) {
    const bool turned = (g_AppSettings.slideshowRunning && g_AppSettings.slideLandscape) ||
                        (g_AppSettings.rotateAuto && pictureWidth > pictureHeight);
    LoadBoxFor(pictureWidth, pictureHeight, ScreenWidth(), ScreenHeight(), g_AppSettings.zoom, turned, boxWidth,
               boxHeight);
}

void ReleaseViewPicture() {
    ViewSetPicture(g_AppSettings.viewWindow, nullptr, 0);
    g_AppSettings.pictureShown = 0;
    State().damaged = 0;
    StopAnimation();
}

void ShowEntry(long index, uint32_t page, int withTransition) {
    const FileListEntry* entry = EntryAt(index);
    if (!entry || index >= ItemCount() || entry->state == kEntryAlbum) return;
    BrowserState& s = State();
    const HWND view = g_AppSettings.viewWindow;
    bool zoomReload = false;
    if (index == g_AppSettings.currentItem && page == uint32_t(g_AppSettings.currentPage) && g_AppSettings.pictureShown) {
        if (s.fullSizeLoaded) return;
        int32_t bw = 0, bh = 0;
        ComputeLoadBox(s.pictureWidth, s.pictureHeight, &bw, &bh);
        const int32_t shownW = s.rotated ? s.loadedHeight : s.loadedWidth;
        const int32_t shownH = s.rotated ? s.loadedWidth : s.loadedHeight;
        if (!(bw > shownW || bh > shownH)) {
            if (g_AppSettings.zoom <= 0) return;
            // A zoom the reduced bitmap can be magnified to; beyond what
            // the view magnifies, the picture is decoded again at the size
            // the zoom needs (its own size from 100 % on).
            if (ReducedBitmapServesZoom(g_AppSettings.zoom, s.pictureWidth, s.loadedWidth)) {
                SetReducedZoom();
                return;
            }
            zoomReload = true;
        }
    }
    if (!g_AppSettings.slideshowRunning && !g_AppSettings.lockZoom) {
        const int mode = ZoomModeFromMenu();
        if (mode) ViewSetZoomMode(view, mode);
    }
    // A picture whose failure was just reported is not tried again while the
    // view shows nothing in its place (a layout change, a zoom): one open
    // gives at most one message.
    const bool reported = !g_AppSettings.pictureShown && index == g_AppSettings.currentItem &&
                          page == g_reported.page && _wcsicmp(g_reported.path.c_str(), entry->path) == 0;
    if (reported && !g_AppSettings.slideshowRunning) return;
    // Decoded again for a zoom: the point of the picture at the view's
    // centre stays there (as a share of the shown picture's size).
    double centreX = 0.5, centreY = 0.5;
    if (zoomReload) {
        if (const ViewState* vs = ViewGetState(view); vs && vs->displayWidth > 0 && vs->displayHeight > 0) {
            centreX = (vs->offsetX + vs->areaWidth / 2.0) / vs->displayWidth;
            centreY = (vs->offsetY + vs->areaHeight / 2.0) / vs->displayHeight;
        }
    }
    g_AppSettings.currentItem = int32_t(index);
    g_AppSettings.currentPage = int32_t(page);
    ReleaseViewPicture();
    ShowPictureLabel(nullptr);
    const std::wstring path = entry->path;

    // The shown page's own size: the pages of a file may differ.
    ImageInfo info = {};
    if (QueryPagePictureInfo(path.c_str(), -1, 0, page, &info) != 0) {
        FreePictureInfo(&info);
        ReportLoadFailure(path, page, IDS_ERROR_LOADING, "IDS_ERROR_LOADING", path.c_str());
        return;
    }
    int32_t bw = 0, bh = 0;
    ComputeLoadBox(info.width, info.height, &bw, &bh);
    s.loadBoxWidth = bw;
    s.loadBoxHeight = bh;
    s.fullSizeLoaded = bw == -1 ? 1 : 0;
    s.pictureWidth = info.width;
    s.pictureHeight = info.height;
    const uint32_t pages = std::max<uint32_t>(1, info.imageCount);
    const int format = info.formatIndex;
    FreePictureInfo(&info);

    HCURSOR oldCursor = nullptr;
    if (!g_AppSettings.slideshowRunning) oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));

    Bitmap bitmap = {};
    Bitmap* shown = &bitmap;
    int result = 1;
    const int gif = FindFormatByName("gif");
    if (gif >= 0 && format == gif && g_AppSettings.playAnimatedGif && !withTransition) {
        auto* animation = new AniGifAnimation();
        result = AniGifLoad(path.c_str(), animation);
        if (result == 0 && animation->frames.size() > 1) {
            s.frames = animation;
            s.frameIndex = 0;
            shown = &animation->frames[0].bitmap;
        } else {
            // One frame or none: shown as a still picture.
            AniGifFree(animation);
            delete animation;
        }
    }
    ImageInfo loadInfo = {};
    if (!s.frames) result = LoadForView(path.c_str(), &bitmap, &loadInfo, page);
    const bool damaged = loadInfo.damaged != 0;
    FreePictureInfo(&loadInfo);
    if (result != 0) {
        FreeBitmap(&bitmap);
        if (oldCursor) SetCursor(oldCursor);
        if (result == kLoadNoMemory && zoomReload) {
            // The load budget cannot hold the picture at the size the zoom
            // needs: said so, and the picture comes back fitted to the
            // screen.
            s.fullSizeLoaded = 0;
            ShowError(IDS_ZOOM_NO_MEMORY, "IDS_ZOOM_NO_MEMORY", nullptr);
            SendMessageW(g_AppSettings.mainWindow, WM_COMMAND, IDM_MAIN_FIT_ALL, 0);
            return;
        }
        ReportLoadFailure(path, page, result == 1 ? IDS_ERROR_MEMORY : IDS_ERROR_LOADING,
                          result == 1 ? "IDS_ERROR_MEMORY" : "IDS_ERROR_LOADING", result == 1 ? nullptr : path.c_str());
        return;
    }
    g_reported = ReportedFailure{};
    s.damaged = damaged ? 1 : 0;
    s.loadedWidth = int32_t(shown->width);
    s.loadedHeight = int32_t(shown->height);
    if (s.loadedWidth == s.pictureWidth && s.loadedHeight == s.pictureHeight) s.fullSizeLoaded = 1;
    s.rotated = 0;
    g_AppSettings.pictureShown = 1;
    if (!s.frames) AutoRotateForScreen(&bitmap);
    if (!s.fullSizeLoaded && g_AppSettings.zoom > 0 && !g_AppSettings.slideshowRunning) SetReducedZoom();
    if (withTransition && !s.frames) {
        ViewSetPictureWithTransition(view, &bitmap);
        // When the view could make no screen bitmap it keeps the record and
        // our pixels: it owns them from then on.
        ViewState* vs = ViewGetState(view);
        if (vs && vs->picture && vs->picture->pixels == bitmap.pixels) vs->ownsPicture = 1;
        else FreeBitmap(&bitmap);
    } else {
        ViewSetPicture(view, shown, s.frames ? 0 : 1);
    }
    if (zoomReload) {
        if (const ViewState* vs = ViewGetState(view); vs && vs->displayWidth > 0 && vs->displayHeight > 0)
            ViewScrollBy(view, int32_t(centreX * vs->displayWidth - vs->areaWidth / 2.0) - vs->offsetX,
                         int32_t(centreY * vs->displayHeight - vs->areaHeight / 2.0) - vs->offsetY);
    }
    if (!g_AppSettings.slideshowRunning) {
        const int mode = ViewGetZoomMode(view);
        if (mode == 4 && s.rotated) ViewSetZoomMode(view, 3);
        else if (mode == 3 && !s.rotated) ViewSetZoomMode(view, 4);
    }
    g_AppSettings.currentPage = int32_t(page);
    s.pageCount = pages;
    UpdateBrowserMenus();
    if (s.frames) SetTimer(g_AppSettings.mainWindow, kAnimationTimerId, std::max<UINT>(10, s.frames->frames[0].delayMs), nullptr);
    if (oldCursor) SetCursor(oldCursor);
    ShowPictureLabel(path.c_str());
}

void ForgetReportedFailure() { g_reported = ReportedFailure{}; }

void ShowPictureLabel(const wchar_t* path) {
    const HWND view = g_AppSettings.viewWindow;
    if (!path || !g_AppSettings.pictureShown) {
        ViewSetText(view, nullptr, 0);
        return;
    }
    const std::wstring name = ItemLabel(path, true);
    if (State().damaged)
        ViewSetText(view, FillFormat(LoadText(IDS_PICTURE_DAMAGED, "IDS_PICTURE_DAMAGED"), name.c_str()).c_str(), 0);
    else if (g_AppSettings.viewMode == 5 && g_AppSettings.labelInFull)
        ViewSetText(view, name.c_str(), 0);
    else
        ViewSetText(view, nullptr, 0);
}

void NextAnimationFrame() {
    BrowserState& s = State();
    KillTimer(g_AppSettings.mainWindow, kAnimationTimerId);
    if (!s.frames || s.frames->frames.empty()) return;
    s.frameIndex = (s.frameIndex + 1) % uint32_t(s.frames->frames.size());
    const AniGifFrame& frame = s.frames->frames[s.frameIndex];
    ViewSetPicture(g_AppSettings.viewWindow, &frame.bitmap, 0);
    if (s.frames->frames.size() >= 2)
        SetTimer(g_AppSettings.mainWindow, kAnimationTimerId, std::max<UINT>(10, frame.delayMs), nullptr);
}

void AutoRotateForScreen(Bitmap* bitmap) {
    if (!g_AppSettings.pictureShown) return;
    BrowserState& s = State();
    AutoRotateInput in = {};
    in.slideshowLandscape = g_AppSettings.slideshowRunning && g_AppSettings.slideLandscape;
    in.rotateAuto = g_AppSettings.rotateAuto != 0;
    in.rotateLeft = g_AppSettings.rotateLeft != 0;
    in.rotated = s.rotated != 0;
    in.screenWidth = ScreenWidth();
    in.screenHeight = ScreenHeight();
    if (g_AppSettings.viewMode == 3 && !g_AppSettings.slideshowRunning) {
        // The strip leaves the view a band below it, wider than high on a
        // portrait screen: pictures are turned for the view's shape. Asked
        // of the layout, as the view may not have been moved there yet.
        const PaneRect view = CurrentPanes(g_AppSettings.mainWindow).view;
        if (view.right > view.left && view.bottom > view.top) {
            in.screenWidth = view.right - view.left;
            in.screenHeight = view.bottom - view.top;
        }
    }
    in.pictureWidth = int32_t(bitmap->width);
    in.pictureHeight = int32_t(bitmap->height);
    const AutoRotateResult r = AutoRotateFor(in);
    if (r.angle == 0) return;
    if (BitmapRotate(bitmap, nullptr, r.angle, nullptr, 0) == 0) s.rotated = r.rotated ? 1 : 0;
}

void ReloadIfReduced() {
    if (!State().fullSizeLoaded)
        ShowEntry(g_AppSettings.currentItem, uint32_t(g_AppSettings.currentPage), 0);
}

void ShowFirstSelected() {
    const long first = long(SendMessageW(g_AppSettings.listWindow, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    if (first >= 0) ShowEntry(first, 0, 0);
}

void ToggleImageView(long index) {
    StopBrowserSlideshow();
    if (g_AppSettings.previousViewMode >= 0 && !IsBrowserMode(g_AppSettings.viewMode) ) {
        const int back = g_AppSettings.previousViewMode;
        SwitchLayout(UINT(IDM_MAIN_THUMBNAILS + back));
        g_AppSettings.previousViewMode = -1;
        SetFocus(g_AppSettings.listWindow);
    } else {
        g_AppSettings.previousViewMode = g_AppSettings.viewMode;
        SwitchLayout(g_AppSettings.openInFull ? IDM_MAIN_FULLSCREEN : IDM_MAIN_IMAGE);
    }
    // The entry tried last is not opened again: a picture that could not be
    // read is reported once, not again on the way back.
    if (g_AppSettings.currentItem != index) ShowEntry(index, 0, 0);
}

// Zooms the view so the selection drawn on it fills the window. A reduced
// bitmap is loaded again at the size that zoom needs (the zoom is kept
// relative to the picture), and the selection, carried over to the new
// bitmap, is zoomed to once more. The zoom menu items are unchecked so the
// reload keeps the view's zoom. False when no selection is drawn.
bool ZoomToDrawnSelection(HWND view) {
    BrowserState& s = State();
    PictureRect selection{};
    if (!view || !ViewGetSelection(view, &selection)) return false;
    if (HMENU menu = MainMenu()) {
        for (UINT id : {IDM_MAIN_FIT_ALL, IDM_MAIN_FIT_LARGE, IDM_MAIN_FILL_SCREEN, IDM_MAIN_ORIGINAL_SIZE,
                        IDM_MAIN_ZOOM25, IDM_MAIN_ZOOM50, IDM_MAIN_ZOOM75, IDM_MAIN_ZOOM150, IDM_MAIN_ZOOM200,
                        IDM_MAIN_ZOOM300, IDM_MAIN_ZOOM400})
            CheckMenuItem(menu, id, MF_BYCOMMAND | MF_UNCHECKED);
    }
    ViewZoomToSelection(view);
    if (s.fullSizeLoaded) {
        g_AppSettings.zoom = CurrentZoomPercent();
        return true;
    }
    // The picture's extent along the shown bitmap's width.
    const int32_t across = s.rotated ? s.pictureHeight : s.pictureWidth;
    const int32_t shownWidth = s.loadedWidth;
    g_AppSettings.zoom = ReducedZoomPercent(CurrentZoomPercent(), shownWidth, across);
    ViewSetZoomPercent(view, 100);
    ReloadIfReduced();
    if (shownWidth > 0 && s.loadedWidth > 0 && s.loadedWidth != shownWidth) {
        const int64_t now = s.loadedWidth;
        selection = PictureRect{int32_t(selection.x * now / shownWidth), int32_t(selection.y * now / shownWidth),
                                int32_t(selection.width * now / shownWidth),
                                int32_t(selection.height * now / shownWidth)};
    }
    ViewSetSelection(view, &selection);
    ViewZoomToSelection(view);
    g_AppSettings.zoom = s.fullSizeLoaded ? CurrentZoomPercent()
                                          : ReducedZoomPercent(CurrentZoomPercent(), s.loadedWidth, across);
    return true;
}

void OnViewEvent(const ViewEvent* event) {
    BrowserState& s = State();
    const int mode = g_AppSettings.viewMode;
    const HWND main = g_AppSettings.mainWindow;
    switch (event->code) {
    case kViewPressed:
        if (mode == 5) {
            s.penDownX = event->x;
            s.penDownY = event->y;
        }
        return;
    case kViewTapReleased:
        // In full screen (the browser's slideshow too) only a swipe counts.
        if (mode == 5) {
            const int dx = event->x - s.penDownX;
            if (std::abs(dx) >= 11)
                PostMessageW(main, WM_COMMAND, dx > 0 ? IDM_MAIN_PREVIOUS_FILE : IDM_MAIN_NEXT_FILE, 0);
            return;
        }
        if (g_AppSettings.slideshowRunning) {
            StopBrowserSlideshow();
            return;
        }
        if (!g_AppSettings.viewMove) ZoomToDrawnSelection(g_AppSettings.viewWindow);
        if (g_AppSettings.oneClick && g_AppSettings.previousViewMode >= 0 && mode == 4) {
            SwitchLayout(UINT(IDM_MAIN_THUMBNAILS + g_AppSettings.previousViewMode));
            g_AppSettings.previousViewMode = -1;
        }
        return;
    case kViewTapAndHold: {
        if (g_AppSettings.slideshowRunning) return;
        const HMENU menu = LoadMenuW(g_Instance, MAKEINTRESOURCEW(IDM_MAIN_CONTEXT));
        if (!menu) return;
        LngTranslateMenu(nullptr, menu);
        const HMENU popup = GetSubMenu(menu, 0);
        const long current = g_AppSettings.currentItem;
        Gray(popup, IDM_MAIN_PREVIOUS_FILE, current <= 0);
        Gray(popup, IDM_MAIN_NEXT_FILE, current >= ItemCount() - 1);
        Gray(popup, IDM_MAIN_PREVIOUS_PAGE, g_AppSettings.currentPage <= 0);
        Gray(popup, IDM_MAIN_NEXT_PAGE, uint32_t(g_AppSettings.currentPage) + 1 >= s.pageCount);
        TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN, event->x, event->y, main, nullptr);
        DestroyMenu(menu);
        return;
    }
    case kViewDoubleTap:
        if (g_AppSettings.slideshowRunning) {
            StopBrowserSlideshow();
            return;
        }
        if (ZoomToDrawnSelection(g_AppSettings.viewWindow)) return;
        if (IsBrowserMode(mode)) {
            SwitchLayout(IDM_MAIN_FULLSCREEN);
        } else if (mode == 4) {
            if (!g_AppSettings.openInFull && g_AppSettings.previousViewMode >= 0) {
                SwitchLayout(UINT(IDM_MAIN_THUMBNAILS + g_AppSettings.previousViewMode));
                g_AppSettings.previousViewMode = -1;
            } else {
                if (g_AppSettings.previousViewMode == 0) {
                    g_AppSettings.previousViewMode = -1;
                    g_AppSettings.viewMode = 0;
                }
                SwitchLayout(IDM_MAIN_FULLSCREEN);
            }
        } else if (mode == 5 && g_AppSettings.openInFull && g_AppSettings.previousViewMode >= 0) {
            SwitchLayout(UINT(IDM_MAIN_THUMBNAILS + g_AppSettings.previousViewMode));
            g_AppSettings.previousViewMode = -1;
        }
        return;
    default:
        return;
    }
}

void StartBrowserSlideshow() {
    if (g_AppSettings.slideshowRunning) {
        StopBrowserSlideshow();
        return;
    }
    BrowserModel* model = ViewerModel();
    if (!model) return;
    std::vector<uint8_t> kinds;
    for (const FileListEntry& e : model->Entries())
        kinds.push_back(e.state == kEntryAlbum ? kSlideAlbum : kSlidePicture);
    const long start = FirstSlide(kinds, g_AppSettings.currentItem);
    if (start < 0) return;
    // The layout to come back to is kept only when a show really starts.
    g_AppSettings.previousViewMode = IsBrowserMode(g_AppSettings.viewMode) ? g_AppSettings.viewMode
                                     : g_AppSettings.previousViewMode >= 0 ? g_AppSettings.previousViewMode
                                                                           : 0;
    const HWND main = g_AppSettings.mainWindow;
    GetWindowRect(main, &g_AppSettings.savedWindowRect);
    ViewSetZoomMode(g_AppSettings.viewWindow, 2);
    g_AppSettings.slideshowRunning = 1;
    g_AppSettings.currentItem = -1;
    ShowEntry(start, 0, 0);
    SwitchLayout(IDM_MAIN_FULLSCREEN);
    if (g_AppSettings.useSoundFilename && g_AppSettings.soundFilename[0]) AudioPlay(g_AppSettings.soundFilename);
    if (g_AppSettings.slideUseDelay)
        SetTimer(main, kSlideshowTimerId, UINT(std::max(1, g_AppSettings.slideDelay) * 1000), nullptr);
    ViewSetBackgroundColor(g_AppSettings.viewWindow, g_AppSettings.slideBackColor);
    if (MainMenuBar()) ShowWindow(MainMenuBar(), SW_HIDE);
    MoveWindow(main, 0, 0, ScreenWidth(), ScreenHeight(), TRUE);
    HandheldFullScreen(main, kHideTopBar | kHideInputButton);
    ViewSetMouseMode(g_AppSettings.viewWindow, 0);
    SetBarButtonState(IDM_MAIN_SLIDESHOW, TBSTATE_ENABLED | TBSTATE_CHECKED);
}

void StopBrowserSlideshow() {
    if (!g_AppSettings.slideshowRunning) return;
    const HWND main = g_AppSettings.mainWindow;
    KillTimer(main, kSlideshowTimerId);
    g_AppSettings.slideshowRunning = 0;
    const int back = g_AppSettings.previousViewMode >= 0 ? g_AppSettings.previousViewMode : 0;
    g_AppSettings.previousViewMode = -1;
    AudioPlay(nullptr);
    ViewSetBackgroundColor(g_AppSettings.viewWindow, g_AppSettings.viewBackColor);
    if (MainMenuBar()) ShowWindow(MainMenuBar(), SW_SHOW);
    const RECT& r = g_AppSettings.savedWindowRect;
    if (r.right > r.left) MoveWindow(main, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    HandheldFullScreen(main, kShowTopBar | kShowInputButton);
    SwitchLayout(UINT(IDM_MAIN_THUMBNAILS + back));
    if (g_AppSettings.currentItem >= 0) SelectOnly(g_AppSettings.listWindow, g_AppSettings.currentItem);
    SetBarButtonState(IDM_MAIN_SLIDESHOW, TBSTATE_ENABLED);
    ViewSetMouseMode(g_AppSettings.viewWindow, g_AppSettings.viewMove ? kMousePan : kMouseSelect4);
    UpdateBrowserMenus();
}

void StepBrowserSlideshow(int direction) {
    const HWND main = g_AppSettings.mainWindow;
    if (g_AppSettings.slideUseDelay) KillTimer(main, kSlideshowTimerId);
    BrowserModel* model = ViewerModel();
    if (!model) return;
    std::vector<uint8_t> kinds;
    for (const FileListEntry& e : model->Entries())
        kinds.push_back(e.state == kEntryAlbum ? kSlideAlbum : kSlidePicture);
    const SlideStep step = NextSlide(kinds, SelectedItems(g_AppSettings.listWindow), g_AppSettings.currentItem,
                                     direction, g_AppSettings.slideLoop != 0);
    if (step.index < 0) {
        StopBrowserSlideshow();
        UpdateBrowserMenus();
        return;
    }
    ShowEntry(step.index, 0, g_AppSettings.slideUseTransition);
    if (g_AppSettings.slideUseDelay)
        SetTimer(main, kSlideshowTimerId, UINT(std::max(1, g_AppSettings.slideDelay) * 1000), nullptr);
}

void UpdateBrowserMenus() {
    const HMENU menu = MainMenu();
    const HWND list = g_AppSettings.listWindow;
    const long n = list ? long(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
    const bool show = g_AppSettings.slideshowRunning != 0;
    const int mode = g_AppSettings.viewMode;
    if (menu) {
        for (UINT id : {IDM_MAIN_COPY, IDM_MAIN_CUT, IDM_MAIN_DELETE, IDM_MAIN_INFORMATION, IDM_MAIN_CROP,
                        IDM_MAIN_RESIZE, IDM_MAIN_CONVERT, IDM_MAIN_ADJUST, IDM_MAIN_ROTATE, IDM_MAIN_FILTER,
                        IDM_MAIN_BATCH_RENAME, IDM_MAIN_EMAIL})
            Gray(menu, id, n == 0);
        Gray(menu, IDM_MAIN_RENAME, n != 1);
        Gray(menu, IDM_MAIN_INFRARED, n != 1);
        const BrowserModel* model = ViewerModel();
        Gray(menu, IDM_MAIN_PASTE, !model || model->ClipboardFiles().empty());
        for (UINT id = IDM_MAIN_THUMBNAILS; id <= IDM_MAIN_STRIP; ++id) Gray(menu, id, show);
        Gray(menu, IDM_MAIN_FULLSCREEN, n != 1 || show);
        bool allJpeg = n > 0;
        const int jpeg = FindFormatByName("jpeg");
        for (long i : SelectedItems(list)) {
            const FileListEntry* e = EntryAt(i);
            if (!e || e->formatIndex != jpeg) allJpeg = false;
        }
        Gray(menu, IDM_MAIN_IPTC, !allJpeg);
        Gray(menu, IDM_MAIN_PREVIOUS_PAGE, g_AppSettings.currentPage <= 0);
        Gray(menu, IDM_MAIN_NEXT_PAGE, uint32_t(g_AppSettings.currentPage) + 1 >= State().pageCount);
    }
    const bool browser = IsBrowserMode(mode);
    SetBarButtonState(IDM_MAIN_OPEN, mode == 5 && !show ? TBSTATE_ENABLED | TBSTATE_CHECKED
                                     : n == 1 && !show  ? TBSTATE_ENABLED
                                                        : 0);
    const int info = n > 0 && browser && !show ? TBSTATE_ENABLED : 0;
    SetBarButtonState(IDM_MAIN_INFORMATION, info);
    SetBarButtonState(IDM_MAIN_DELETE, mode >= 3 ? TBSTATE_HIDDEN : info);
    bool adjustable = false;
    if (n == 1) {
        const FileListEntry* e = EntryAt(long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)));
        adjustable = e && e->colourWords[1] >= 2;
    }
    SetBarButtonState(IDM_MAIN_ADJUST_SAVE, mode >= 3 ? (adjustable ? TBSTATE_ENABLED : 0) : TBSTATE_HIDDEN);
}

void BuildGoToMenu(const std::wstring& folder) {
    const HMENU menu = MainMenu();
    const HMENU file = menu ? GetSubMenu(menu, 0) : nullptr;
    HMENU goTo = nullptr;
    for (int i = 0; file && !goTo && i < GetMenuItemCount(file); ++i) goTo = GetSubMenu(file, i);
    if (!goTo) return;
    for (UINT id = IDM_MAIN_GOTO_FIRST; id <= IDM_MAIN_GOTO_LAST; ++id) DeleteMenu(goTo, id, MF_BYCOMMAND);
    // The separator that led the previous folder's levels goes with them.
    const int last = GetMenuItemCount(goTo) - 1;
    if (last >= 0 && (GetMenuState(goTo, UINT(last), MF_BYPOSITION) & MF_SEPARATOR))
        DeleteMenu(goTo, UINT(last), MF_BYPOSITION);
    const std::vector<std::wstring> levels = GoToFolders(folder);
    if (levels.empty()) return;
    AppendMenuW(goTo, MF_SEPARATOR, 0, nullptr);
    // Measured in the menus' own font.
    NONCLIENTMETRICSW metrics = {sizeof metrics};
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HFONT font = CreateFontIndirectW(&metrics.lfMenuFont);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    for (size_t i = 0; i < levels.size(); ++i) {
        wchar_t text[kGoToTextChars + 1] = L"";
        FitTextToWidth(dc, levels[i].c_str(), text, kGoToTextChars + 1, kGoToTextWidth);
        AppendMenuW(goTo, MF_STRING, IDM_MAIN_GOTO_FIRST + i, text);
    }
    if (old) SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (font) DeleteObject(font);
}

void UpdateItemLabels(int show) {
    BrowserModel* model = ViewerModel();
    if (!model) return;
    const HWND list = g_AppSettings.listWindow;
    int widest = 0;
    for (size_t i = 0; i < model->Entries().size(); ++i) {
        std::wstring label = show ? ItemLabel(model->Entries()[i].path, g_AppSettings.showExt != 0) : std::wstring();
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = label.data();
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(&item));
        if (show) {
            const LRESULT width = SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(label.c_str()));
            widest = std::max(widest, int(width));
        }
    }
    if (show && g_AppSettings.viewMode == 1) {
        // The list layout's columns are as wide as the longest name, up to
        // the whole list: a name is cut only when the screen cannot hold it.
        RECT client;
        GetClientRect(list, &client);
        const int room = client.right - GetSystemMetrics(SM_CXVSCROLL);
        const int width = std::min(room, std::max(widest + 24, room / 2));
        if (width > 0) SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, width);
    }
}

LRESULT OnListNotify(HWND mainWindow, NMHDR* header) {
    switch (header->code) {
    case NM_CUSTOMDRAW:
        return ListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if (change->uChanged != LVIF_STATE) return 0;
        if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED) &&
            g_AppSettings.viewMode == 3 && !g_AppSettings.browser.programChange)
            ShowEntry(change->iItem, 0, 0);
        UpdateBrowserMenus();
        return 0;
    }
    case LVN_ITEMCHANGING:
        return g_AppSettings.browser.multiSelect && !g_AppSettings.browser.programChange ? TRUE : FALSE;
    case NM_CLICK: {
        const auto* click = reinterpret_cast<NMITEMACTIVATE*>(header);
        if (g_AppSettings.browser.multiSelect && click->iItem >= 0) {
            const UINT state = UINT(SendMessageW(g_AppSettings.listWindow, LVM_GETITEMSTATE, WPARAM(click->iItem),
                                                 LVIS_SELECTED));
            LVITEMW item = {};
            item.stateMask = LVIS_SELECTED;
            item.state = (state & LVIS_SELECTED) ? 0 : LVIS_SELECTED;
            g_AppSettings.browser.programChange++;
            SendMessageW(g_AppSettings.listWindow, LVM_SETITEMSTATE, WPARAM(click->iItem),
                         reinterpret_cast<LPARAM>(&item));
            g_AppSettings.browser.programChange--;
        }
        if (!g_AppSettings.oneClick) return 0;
        [[fallthrough]];
    }
    case NM_DBLCLK:
    case NM_RETURN: {
        const long selected = long(SendMessageW(g_AppSettings.listWindow, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
        if (selected >= 0) PostMessageW(mainWindow, WM_COMMAND, IDM_MAIN_OPEN, 0);
        return 0;
    }
    default:
        return 0;
    }
}
