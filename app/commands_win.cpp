// The main window's commands for files, folders, selection, zoom, sort and
// list options. Every file operation that fails leaves the list and the tree
// as they were and shows nothing; the list follows successful changes through
// the folder watch.
#include "app/commands_win.h"

#include <vector>

#include "display/viewlayout.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/commands.rh"
#include "resources/main.rh"
#include "resources/tools.rh"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "processing/adjust.h"
#include "app/commandlogic.h"
#include "shell/pictureload.h"
#include "shell/system.h"
#include "shell/filelist.h"
#include "shell/language_win.h"
#include "app/viewer_win.h"
#include "tools/adjustbar_win.h"
#include "tools/albumwizard_win.h"
#include "tools/batch.h"
#include "tools/batchsheet_win.h"
#include "tools/capture_win.h"
#include "tools/iptceditor_win.h"
#include "tools/properties_win.h"
#include "tools/sharing_win.h"
#include "tools/tooldialogs_win.h"

namespace {

void Refresh() {
    if (BrowserModel* model = ViewerModel()) {
        model->StopWorker();
        model->StartWorker();
    }
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring CurrentFolder() {
    std::wstring folder = g_AppSettings.currentFolder;
    if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
    return folder;
}

std::vector<SelectedFile> Selection(bool includeAlbums) {
    BrowserModel* model = ViewerModel();
    if (!model || !g_AppSettings.listWindow) return {};
    std::vector<size_t> indices;
    for (long i : SelectedItems(g_AppSettings.listWindow)) indices.push_back(size_t(i));
    return model->SelectedFiles(indices, includeAlbums);
}

int Ask(HWND window, UINT id, const char* key) {
    const std::wstring text = LoadText(id, key);
    return HandheldMessageBox(window, text.c_str(), L"", MB_OKCANCEL);
}

void GoTo(const std::wstring& folder) {
    if (!folder.empty()) TreeSelectPath(g_AppSettings.treeWindow, folder.c_str());
}

// The folder tree's selected item and its path (with its trailing "\").
HTREEITEM SelectedFolder(std::wstring* path) {
    const HWND tree = g_AppSettings.treeWindow;
    if (!tree) return nullptr;
    const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return nullptr;
    wchar_t buffer[MAX_PATH] = {};
    if (!TreeGetItemPath(tree, item, buffer, MAX_PATH)) return nullptr;
    *path = buffer;
    if (path->empty() || path->back() != L'\\') path->push_back(L'\\');
    return item;
}

// The browser keeps its thumbnail cache open inside the folder it shows:
// close it before that folder, or one above it, is deleted or renamed.
void ReleaseFolder(const std::wstring& folder) {
    BrowserModel* model = ViewerModel();
    if (!model) return;
    const std::wstring& shown = model->CurrentFolder();
    if (shown.size() < folder.size() || _wcsnicmp(shown.c_str(), folder.c_str(), folder.size()) != 0) return;
    model->StopWorker();
    model->Cache().Close(false);
}

// A translated format whose directives match the built-in text's.
std::wstring LoadFormat(UINT id, const char* key) {
    wchar_t buffer[512] = L"";
    LngGetFormat(g_Instance, id, key, buffer, 512);
    return buffer;
}

HMENU Menu() { return MainMenu(); }

void Check(UINT id, bool on) {
    if (HMENU menu = Menu()) CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

const UINT kFixedZooms[] = {IDM_MAIN_ORIGINAL_SIZE, IDM_MAIN_ZOOM150, IDM_MAIN_ZOOM200, IDM_MAIN_ZOOM300,
                            IDM_MAIN_ZOOM400,       IDM_MAIN_ZOOM75,  IDM_MAIN_ZOOM50,  IDM_MAIN_ZOOM25,
                            IDM_MAIN_ZOOM_IN,       IDM_MAIN_ZOOM_OUT};

void UncheckFixedZooms() {
    for (UINT id : kFixedZooms) Check(id, false);
}

}  // namespace

// --- Program ----------------------------------------------------------------

LRESULT OnAboutCommand(HWND window, UINT, UINT, HWND) {
    ModalAboutBox(window);
    return 0;
}

// --- Folders ----------------------------------------------------------------

namespace {

// Depth first, in listing order; folders reached through links are not
// entered and the walk stops at the browser's nesting limit, so a card whose
// folders loop cannot hold it forever.
bool HoldsPicturesWithin(const std::wstring& folder, int depth, std::wstring* found) {
    std::vector<std::wstring> subfolders;
    WIN32_FIND_DATAW data;
    const HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &data);
    if (listing == INVALID_HANDLE_VALUE) return false;
    bool pictures = false;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) subfolders.push_back(name);
        } else if (IsCardPictureName(name)) {
            pictures = true;
        }
    } while (!pictures && FindNextFileW(listing, &data));
    FindClose(listing);
    if (pictures) {
        *found = folder;
        return true;
    }
    if (depth >= kMaxScanDepth) return false;
    for (const std::wstring& name : subfolders) {
        if (HoldsPicturesWithin(folder + name + L"\\", depth + 1, found)) return true;
    }
    return false;
}

}  // namespace

bool FolderHoldsPictures(const std::wstring& folder, std::wstring* found) {
    return HoldsPicturesWithin(folder, 0, found);
}

std::wstring FindCardPictures() {
    CardInfo card = {};
    const HANDLE search = FindFirstCard(&card);
    if (search == INVALID_HANDLE_VALUE) return L"\\Carte CF\\";
    std::wstring last;
    do {
        const std::wstring root = std::wstring(L"\\") + card.name + L"\\";
        std::wstring found;
        if (FolderHoldsPictures(root, &found)) {
            FindCardClose(search);
            return found;
        }
        last = root;
    } while (FindNextCard(search, &card));
    FindCardClose(search);
    return last;
}

LRESULT OnGoToFolder(HWND, UINT id, UINT, HWND) {
    switch (id) {
    case IDM_MAIN_HOME: GoTo(g_AppSettings.home); break;
    case IDM_MAIN_UP: GoTo(ParentFolder(CurrentFolder())); break;
    case IDM_MAIN_BROWSE_CARD: GoTo(FindCardPictures()); break;
    case IDM_MAIN_MY_DOCUMENTS: {
        wchar_t personal[MAX_PATH] = {};
        if (GetPersonalFolder(personal, MAX_PATH)) GoTo(std::wstring(personal) + L"\\");
        break;
    }
    default: break;
    }
    return 0;
}

LRESULT OnGoToLevel(HWND, UINT id, UINT, HWND) {
    // The folders the "Go to" submenu shows for the current folder, in order.
    const std::vector<std::wstring> levels = GoToFolders(CurrentFolder());
    const size_t level = id - IDM_MAIN_GOTO_FIRST;
    if (level < levels.size()) GoTo(levels[level] + L"\\");
    return 0;
}

LRESULT OnNewFolder(HWND window, UINT, UINT, HWND) {
    std::wstring folder;
    const HTREEITEM item = SelectedFolder(&folder);
    if (!item) return 0;
    std::wstring name;
    if (!NewFolderDialog(window, folder, &name)) return 0;
    if (CreateDirectoryW((folder + name).c_str(), nullptr))
        TreeInsertFolder(g_AppSettings.treeWindow, item, name.c_str());
    return 0;
}

bool DeleteFolderTree(const std::wstring& folder) {
    static const TreeRemoval kSystem = {
        SystemListFolder,
        [](const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; },
        [](const std::wstring& path) { return RemoveDirectoryW(path.c_str()) != 0; },
        [](const std::wstring& path, bool folder) {
            return (folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str())) != 0;
        },
    };
    return DeleteFolderTreeWith(folder, kSystem);
}

LRESULT OnDeleteFolder(HWND window, UINT, UINT, HWND) {
    std::wstring folder;
    const HTREEITEM item = SelectedFolder(&folder);
    if (!item || folder.size() < 2) return 0;  // never the root
    if (Ask(window, IDS_DELETEFOLDER, "IDS_DELETEFOLDER") != IDOK) return 0;
    ReleaseFolder(folder);
    if (DeleteFolderTree(folder)) {
        TreeDeleteItem(g_AppSettings.treeWindow, item);
    } else if (BrowserModel* model = ViewerModel()) {
        model->BrowseFolder(model->CurrentFolder());  // reopen what was released
    }
    return 0;
}

LRESULT OnRenameFolder(HWND window, UINT, UINT, HWND) {
    std::wstring folder;
    const HTREEITEM item = SelectedFolder(&folder);
    if (!item || folder.size() < 4) return 0;
    std::wstring newName, newPath;
    if (!RenameFolderDialog(window, folder, &newName, &newPath)) return 0;
    std::wstring oldPath = folder;
    oldPath.pop_back();
    ReleaseFolder(folder);
    if (MoveFileW(oldPath.c_str(), newPath.c_str())) {
        TreeRenameItem(g_AppSettings.treeWindow, item, newName.c_str());
        wcsncpy(g_AppSettings.currentFolder, (newPath + L"\\").c_str(), kSettingTextCapacity - 1);
        if (BrowserModel* model = ViewerModel()) model->BrowseFolder(newPath + L"\\");
    } else if (BrowserModel* model = ViewerModel()) {
        model->BrowseFolder(model->CurrentFolder());
    }
    return 0;
}

// --- Files ------------------------------------------------------------------

LRESULT OnRenameFile(HWND window, UINT, UINT, HWND) {
    const HWND list = g_AppSettings.listWindow;
    if (!list || SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) != 1) return 0;
    const std::vector<SelectedFile> selected = Selection(true);
    if (selected.size() != 1) return 0;
    const std::wstring path = selected[0].path;
    std::wstring newName;
    if (!RenameFileDialog(window, path, &newName)) return 0;
    const std::wstring folder = path.substr(0, path.size() - NameOfPath(path).size());
    if (MoveFileW(path.c_str(), (folder + newName).c_str())) {
        if (BrowserModel* model = ViewerModel()) model->RenameEntry(path, folder + newName);
    }
    return 0;
}

LRESULT OnDeleteFiles(HWND window, UINT, UINT, HWND) {
    const std::vector<SelectedFile> selected = Selection(true);
    if (selected.empty()) return 0;
    if (Ask(window, IDS_DELETEFILE, "IDS_DELETEFILE") != IDOK) return 0;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const DWORD attributes = GetFileAttributesW(it->path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            if (Ask(window, IDS_DELREADONLY, "IDS_DELREADONLY") != IDOK) continue;  // kept as it is
            SetFileAttributesW(it->path, FILE_ATTRIBUTE_NORMAL);
        }
        DeleteFileW(it->path);
    }
    return 0;
}

LRESULT OnCutCopy(HWND, UINT id, UINT, HWND) {
    if (BrowserModel* model = ViewerModel()) model->SetClipboard(Selection(false), id == IDM_MAIN_CUT);
    UpdateBrowserMenus();
    return 0;
}

LRESULT OnPaste(HWND, UINT, UINT, HWND) {
    const std::wstring folder = CurrentFolder();
    const std::wstring copyOf = LoadFormat(IDS_COPY1, "IDS_COPY1");
    const std::wstring copyN = LoadFormat(IDS_COPY2, "IDS_COPY2");
    const BrowserModel* model = ViewerModel();
    if (!model) return 0;
    for (const SelectedFile& file : model->ClipboardFiles()) {
        if (!Exists(file.path)) continue;  // gone since (a second Paste after Cut)
        const std::wstring target = MakeCopyName(folder, NameOfPath(file.path), copyOf, copyN, Exists);
        if (CopyFileW(file.path, target.c_str(), TRUE) && model->ClipboardMoves()) DeleteFileW(file.path);
    }
    return 0;
}

// --- Selection --------------------------------------------------------------

LRESULT OnSelect(HWND, UINT id, UINT, HWND) {
    const HWND list = g_AppSettings.listWindow;
    if (!list) return 0;
    const int32_t multi = g_AppSettings.browser.multiSelect;
    g_AppSettings.browser.multiSelect = 0;
    g_AppSettings.browser.programChange = 1;
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        UINT state = id == IDM_MAIN_SELECT_ALL ? LVIS_SELECTED : 0;
        if (id == IDM_MAIN_SELECT_INVERT)
            state = (SendMessageW(list, LVM_GETITEMSTATE, WPARAM(i), LVIS_SELECTED) & LVIS_SELECTED) ? 0 : LVIS_SELECTED;
        LVITEMW item = {};
        item.stateMask = 15;
        item.state = state;
        SendMessageW(list, LVM_SETITEMSTATE, WPARAM(i), reinterpret_cast<LPARAM>(&item));
    }
    g_AppSettings.browser.programChange = 0;
    g_AppSettings.browser.multiSelect = multi;
    UpdateBrowserMenus();
    return 0;
}

LRESULT OnMultipleSelection(HWND, UINT, UINT, HWND) {
    const HWND list = g_AppSettings.listWindow;
    if (!g_AppSettings.browser.multiSelect) {
        g_AppSettings.browser.multiSelect = 1;
        Check(IDM_MAIN_MULTIPLE_SELECTION, true);
        return 0;
    }
    const long first = list ? long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)) : -1;
    g_AppSettings.browser.multiSelect = 0;
    if (list) {
        g_AppSettings.browser.programChange = 1;
        LVITEMW none = {};
        none.stateMask = 15;
        SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&none));
        if (first >= 0) {
            LVITEMW one = {};
            one.stateMask = 15;
            one.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, WPARAM(first), reinterpret_cast<LPARAM>(&one));
        }
        g_AppSettings.browser.programChange = 0;
    }
    Check(IDM_MAIN_MULTIPLE_SELECTION, false);
    UpdateBrowserMenus();
    return 0;
}

// --- Zoom -------------------------------------------------------------------

LRESULT OnZoom(HWND, UINT id, UINT, HWND) {
    if (g_AppSettings.viewMode != 5 && !g_AppSettings.slideshowRunning) {
        Check(IDM_MAIN_FIT_ALL, false);
        Check(IDM_MAIN_FIT_LARGE, false);
        Check(IDM_MAIN_FILL_SCREEN, false);
    }
    int32_t zoom = 100;
    switch (id) {
    case IDM_MAIN_ZOOM200: zoom = 200; break;
    case IDM_MAIN_ZOOM50: zoom = 50; break;
    case IDM_MAIN_ZOOM75: zoom = 75; break;
    case IDM_MAIN_ZOOM25: zoom = 25; break;
    case IDM_MAIN_ZOOM150: zoom = 150; break;
    case IDM_MAIN_ZOOM400: zoom = 400; break;
    case IDM_MAIN_ZOOM300: zoom = 300; break;
    case IDM_MAIN_ZOOM_IN: zoom = ZoomStepIn(PictureZoomPercent()); break;
    case IDM_MAIN_ZOOM_OUT: zoom = ZoomStepOut(PictureZoomPercent()); break;
    default: break;
    }
    UncheckFixedZooms();
    Check(id, true);
    if (ViewShowsPicture()) ViewSetZoomPercent(g_AppSettings.viewWindow, zoom);
    g_AppSettings.zoom = zoom;
    ReloadIfReduced();
    return 0;
}

LRESULT OnFit(HWND, UINT id, UINT, HWND) {
    UncheckFixedZooms();
    for (UINT fit : {IDM_MAIN_FILL_SCREEN, IDM_MAIN_FIT_ALL, IDM_MAIN_FIT_LARGE}) Check(fit, fit == id);
    Check(IDM_MAIN_LOCK_ZOOM, false);
    g_AppSettings.lockZoom = 0;
    const int32_t mode = id == IDM_MAIN_FILL_SCREEN ? kZoomFitHeight : id == IDM_MAIN_FIT_ALL ? kZoomFit
                                                                                            : kZoomShrinkToFit;
    if (g_AppSettings.viewWindow) ViewSetZoomMode(g_AppSettings.viewWindow, mode);
    g_AppSettings.zoom = -1;
    ReloadIfReduced();
    return 0;
}

LRESULT OnLockZoom(HWND, UINT, UINT, HWND) {
    g_AppSettings.lockZoom = !g_AppSettings.lockZoom;
    Check(IDM_MAIN_LOCK_ZOOM, g_AppSettings.lockZoom != 0);
    return 0;
}

LRESULT OnRotateAuto(HWND, UINT, UINT, HWND) {
    g_AppSettings.rotateAuto = !g_AppSettings.rotateAuto;
    Check(IDM_MAIN_ROTATE_AUTO, g_AppSettings.rotateAuto != 0);
    const long item = g_AppSettings.currentItem;
    g_AppSettings.currentItem = -1;
    if (item >= 0) ShowEntry(item, 0, 0);
    return 0;
}

// --- Tools ------------------------------------------------------------------

namespace {

using SelectionTool = int (*)(HWND parent, const SelectedFile* files, uint32_t count,
                              const RewriteListener* rewrites);

// The batch tools and the IPTC editor, each run on the selection (albums
// left out).
struct ToolRow {
    UINT id;
    SelectionTool run;
    bool refresh;  // the thumbnails are made again afterwards
};
const ToolRow kTools[] = {
    {IDM_MAIN_CROP, RunBatchCropTool, true},       {IDM_MAIN_RESIZE, RunBatchResizeTool, true},
    {IDM_MAIN_ADJUST, RunBatchAdjustTool, true},   {IDM_MAIN_CONVERT, RunBatchConvertTool, true},
    {IDM_MAIN_ROTATE, RunBatchRotateTool, true},   {IDM_MAIN_FILTER, RunBatchFilterTool, true},
    {IDM_MAIN_IPTC, RunIptcEditor, false},
};

// The output choices of the capture waiting on its timer.
OutputOptions g_captureOptions;

std::vector<std::wstring> SelectedPaths() {
    std::vector<std::wstring> paths;
    for (const SelectedFile& file : Selection(false)) paths.emplace_back(file.path);
    return paths;
}

// A batch rename moved the selection's file `index` to `newPath`: its entry
// takes the new name in its place (what the folder watch tells later
// changes nothing more).
void OnEntryRenamed(void* user, uint32_t index, const wchar_t* newPath) {
    const auto* oldPaths = static_cast<const std::vector<std::wstring>*>(user);
    BrowserModel* model = ViewerModel();
    if (!model || !oldPaths || index >= oldPaths->size()) return;
    model->RenameEntry((*oldPaths)[index], newPath);
}

}  // namespace

// A tool wrote over a file: its entry is read again and gets a new
// thumbnail.
void ReReadRewrittenFile(void*, const wchar_t* folder, const wchar_t* name) {
    BrowserModel* model = ViewerModel();
    if (!model) return;
    model->StopWorker();
    model->BrowserUpdateFile(folder, name);
    model->StartWorker();
}

LRESULT OnSelectionTool(HWND window, UINT id, UINT, HWND) {
    for (const ToolRow& tool : kTools) {
        if (tool.id != id || !tool.run) continue;
        const std::vector<SelectedFile> selected = Selection(false);
        if (selected.empty()) return 0;
        RewriteListener rewrites;
        rewrites.rewritten = ReReadRewrittenFile;
        tool.run(window, selected.data(), uint32_t(selected.size()), &rewrites);
        if (tool.refresh) Refresh();
    }
    return 0;
}

// The wizard's writer runs with the thumbnail worker stopped; a finished
// album (or a slideshow the list shows) joins the list, or is re-read when
// it replaced a listed one.
void StopWorkerForWizard(uintptr_t user) { reinterpret_cast<BrowserModel*>(user)->StopWorker(); }

void ListWizardOutput(uintptr_t user, const wchar_t* folder, const wchar_t* name, int32_t made) {
    auto* model = reinterpret_cast<BrowserModel*>(user);
    if (made && IsListedPictureName(name, 1)) model->BrowserAddFile(folder, name);
    model->StartWorker();
}

LRESULT OnAlbumWizard(HWND window, UINT id, UINT, HWND) {
    BrowserModel* model = ViewerModel();
    if (!model) return 0;
    const FileList& list = model->Entries();
    std::vector<AlbumWizardEntry> entries(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        entries[i].path = list[i].path;
        entries[i].isAlbum = list[i].state == kEntryAlbum;
        entries[i].thumbnail = static_cast<HBITMAP>(list[i].thumbnail);
        entries[i].thumbnailWidth = list[i].thumbWidth;
        entries[i].thumbnailHeight = list[i].thumbHeight;
    }
    std::vector<int32_t> selected;
    if (g_AppSettings.listWindow) {
        for (long i : SelectedItems(g_AppSettings.listWindow)) selected.push_back(int32_t(i));
    }
    AlbumWizardHooks hooks{};
    hooks.beforeWrite = StopWorkerForWizard;
    hooks.afterWrite = ListWizardOutput;
    hooks.user = reinterpret_cast<uintptr_t>(model);
    RunAlbumWizard(window, entries.data(), int32_t(entries.size()), selected.empty() ? nullptr : selected.data(),
                   int32_t(selected.size()), id == IDM_MAIN_CREATE_SLIDESHOW ? kWizardSlideshow : kWizardAlbum,
                   &hooks);
    return 0;
}

// --- Sort and list options ----------------------------------------------------

LRESULT OnSort(HWND, UINT id, UINT, HWND) {
    if (id <= IDM_MAIN_SORT_RESOLUTION) {
        if (HMENU menu = Menu())
            CheckMenuRadioItem(menu, IDM_MAIN_SORT_NAME, IDM_MAIN_SORT_RESOLUTION, id, MF_BYCOMMAND);
        g_AppSettings.sort = SortAfterCommand(g_AppSettings.sort, int32_t(id - IDM_MAIN_SORT_NAME), -1);
    } else {
        if (HMENU menu = Menu())
            CheckMenuRadioItem(menu, IDM_MAIN_SORT_ASCENDING, IDM_MAIN_SORT_DESCENDING, id, MF_BYCOMMAND);
        g_AppSettings.sort = SortAfterCommand(g_AppSettings.sort, -1, id == IDM_MAIN_SORT_DESCENDING ? 1 : 0);
    }
    if (BrowserModel* model = ViewerModel()) {
        model->SetSettings(ViewerBrowserSettings());
        model->Resort();
    }
    return 0;
}

LRESULT OnShowLabel(HWND, UINT, UINT, HWND) {
    g_AppSettings.showLabel = !g_AppSettings.showLabel;
    Check(IDM_MAIN_SHOW_LABEL, g_AppSettings.showLabel != 0);
    if (g_AppSettings.listWindow) RefreshListLayout(g_AppSettings.listWindow);
    return 0;
}

LRESULT OnRecursive(HWND, UINT, UINT, HWND) {
    g_AppSettings.recursive = !g_AppSettings.recursive;
    Check(IDM_MAIN_RECURSIVE, g_AppSettings.recursive != 0);
    if (BrowserModel* model = ViewerModel()) {
        model->SetSettings(ViewerBrowserSettings());
        model->BrowseFolder(CurrentFolder());
    }
    return 0;
}

LRESULT OnInformation(HWND window, UINT, UINT, HWND) {
    BrowserModel* model = ViewerModel();
    if (!model || !g_AppSettings.listWindow) return 0;
    const std::vector<long> selected = SelectedItems(g_AppSettings.listWindow);
    if (selected.empty()) return 0;
    std::vector<std::wstring> paths;
    uint32_t start = 0;
    if (selected.size() == 1) {
        // One picture: the sheet steps through the whole folder from it.
        const FileList& list = model->Entries();
        for (size_t i = 0; i < list.size(); ++i) paths.push_back(list[i].path);
        start = uint32_t(selected[0]);
        if (start >= paths.size()) return 0;
    } else {
        for (const SelectedFile& file : Selection(true)) paths.emplace_back(file.path);
    }
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& path : paths) pointers.push_back(path.c_str());
    if (!pointers.empty()) RunPropertiesSheet(window, pointers.data(), uint32_t(pointers.size()), start);
    return 0;
}

LRESULT OnCapture(HWND window, UINT, UINT, HWND) {
    int delay = 0;
    OutputOptions options{};
    if (RunCaptureTool(window, &delay, &options) == 1) {
        g_captureOptions = options;
        SetTimer(window, kCaptureTimerId, UINT(delay < 0 ? 0 : delay) * 1000u, nullptr);
    }
    Refresh();
    return 0;
}

void TakeDelayedCapture(HWND window) {
    KillTimer(window, kCaptureTimerId);
    std::wstring folder = g_AppSettings.currentFolder[0] ? CurrentFolder() : std::wstring(g_AppSettings.home);
    if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
    wchar_t name[MAX_PATH] = {};
    if (!CaptureScreenToFile(folder.c_str(), name, MAX_PATH, g_captureOptions)) {
        ShowSaveProblem(window);
        return;
    }
    // Both "%s" in turn: the folder, then the name.
    std::wstring text = LoadText(IDS_CAPTURE_OK, "IDS_CAPTURE_OK");
    const size_t first = text.find(L"%s");
    if (first != std::wstring::npos) {
        text.replace(first, 2, folder);
        const size_t second = text.find(L"%s", first + folder.size());
        if (second != std::wstring::npos) text.replace(second, 2, name);
    }
    HandheldMessageBox(window, text.c_str(), L"", MB_OK | MB_ICONINFORMATION);
    Refresh();
}

LRESULT OnBatchRename(HWND window, UINT, UINT, HWND) {
    const std::vector<SelectedFile> selected = Selection(false);
    if (selected.empty()) return 0;
    std::vector<std::wstring> oldPaths;
    for (const SelectedFile& file : selected) oldPaths.emplace_back(file.path);
    RunBatchRenameCommand(window, selected.data(), uint32_t(selected.size()), OnEntryRenamed, &oldPaths);
    return 0;
}

LRESULT OnSendByMail(HWND window, UINT, UINT, HWND) {
    const std::vector<std::wstring> paths = SelectedPaths();
    if (!paths.empty()) SendFilesByMail(window, paths);
    return 0;
}

LRESULT OnSendByInfrared(HWND window, UINT, UINT, HWND) {
    const std::vector<std::wstring> paths = SelectedPaths();
    if (paths.size() == 1) SendFilesByInfrared(window, paths);
    return 0;
}

LRESULT OnReceiveInfrared(HWND window, UINT, UINT, HWND) {
    BrowserModel* model = ViewerModel();
    if (!model) return 0;
    const std::wstring folder = CurrentFolder();
    std::vector<std::wstring> names;
    if (ReceiveByInfrared(window, folder.c_str(), &names) == 1)
        for (const std::wstring& name : names) model->BrowserAddReceivedFile(model->CurrentFolder(), name);
    return 0;
}

namespace {

// The adjusted picture goes over its own file and nowhere else: a file of
// another name (the picture became a JPEG) is replaced only when the user
// agrees.
struct AdjustSaveContext {
    HWND owner;
    const wchar_t* source;
};

bool ConfirmAdjustOverwrite(void* user, const wchar_t* path) {
    const auto* context = static_cast<const AdjustSaveContext*>(user);
    if (_wcsicmp(path, context->source) == 0) return true;  // asked already
    const std::wstring text = LoadText(IDS_EXISTS, "IDS_EXISTS");
    return HandheldMessageBox(context->owner, text.c_str(), L"", MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void ReportAdjustFailure(void* user, const wchar_t*, int) {
    const auto* context = static_cast<const AdjustSaveContext*>(user);
    const std::wstring text = LoadText(IDS_PROBLEM_SAVING, "IDS_PROBLEM_SAVING");
    HandheldMessageBox(context->owner, text.c_str(), L"", MB_OK | MB_ICONSTOP);
}

}  // namespace

LRESULT OnAdjustSave(HWND window, UINT, UINT, HWND) {
    BrowserModel* model = ViewerModel();
    const long item = g_AppSettings.currentItem;
    if (!model || item < 0 || size_t(item) >= model->Entries().size() || !g_AppSettings.viewWindow) return 0;
    const std::wstring source = model->Entries()[size_t(item)].path;
    int brightness = 0, contrast = 0;
    double gamma = 1.0;
    if (!RunViewAdjust(window, g_AppSettings.viewWindow, &brightness, &contrast, &gamma)) return 0;
    const std::wstring question = LoadText(IDS_SAVERESULT, "IDS_SAVERESULT");
    if (HandheldMessageBox(window, question.c_str(), L"", MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;

    // The whole picture again, with its metadata, so that they are written back.
    Bitmap bitmap{};
    ImageInfo info{};
    LoadOptions options{};
    InitLoadOptions(&options);
    options.flags |= kToolLoadFlags;
    if (LoadPictureOriented(source.c_str(), &bitmap, &options, &info, MetadataExifOrientation()) != 0) {
        const std::wstring text =
            FillFormat(LoadText(IDS_ERROR_LOADING, "IDS_ERROR_LOADING"), NameOfPath(source));
        HandheldMessageBox(window, text.c_str(), L"", MB_OK | MB_ICONSTOP);
        FreeBitmap(&bitmap);
        FreePictureInfo(&info);
        return 0;
    }
    const char* shortName = GetFormatShortName(info.formatIndex);
    FreePictureInfo(&info);
    BitmapAdjustColours(&bitmap, nullptr, nullptr, brightness, contrast, gamma);

    // Its own format when that can be written back; JPEG otherwise.
    OutputChoices choices;
    const bool keepFormat = shortName && (!strcmp(shortName, "bmp") || !strcmp(shortName, "png") ||
                                          !strcmp(shortName, "jpeg"));
    choices.format = FindFormatByName(keepFormat ? shortName : "jpeg");
    if (choices.format == FindFormatByName("jpeg")) {
        int step = -1;
        if (!AskJpegQuality(window, &step)) {
            FreeBitmap(&bitmap);
            return 0;
        }
        choices.jpegQuality = JpegQualityOfStep(step);
    }
    const OutputOptions output = MakeOutputOptions(choices);
    OutputFolder folder{};  // beside the source, under its own name
    AdjustSaveContext context{window, source.c_str()};
    SaveHooks hooks;
    hooks.user = &context;
    hooks.confirmOverwrite = ConfirmAdjustOverwrite;
    hooks.failed = ReportAdjustFailure;
    wchar_t written[kOutputPathCapacity] = {};
    const SaveOutcome outcome = SaveWithOutputOptions(output, folder, source.c_str(), &bitmap, false, hooks, written);
    FreeBitmap(&bitmap);
    if (outcome != kSaveOutcomeSaved) return 0;
    const std::wstring path = written;
    const std::wstring name = NameOfPath(path);
    const std::wstring directory = path.substr(0, path.size() - name.size());
    model->StopWorker();
    if (!model->BrowserUpdateFile(directory, name)) model->BrowserAddFile(directory, name);
    model->StartWorker();
    return 0;
}
