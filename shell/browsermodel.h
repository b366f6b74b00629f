// The browser's model of the shown list: the folder (or search result) on
// show, its entries, the thumbnail worker and the folder's thumbnail cache,
// and the item-by-item updates when files appear, disappear or change.
//
// Main thread only. The list view and the rest of the window are told of
// changes through BrowserView; the operating system is reached through
// BrowserServices, so the model runs natively on any file tree.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "shell/filelist.h"
#include "shell/thumbcache.h"
#include "shell/thumbworker.h"

struct BrowserServices {
    FolderLister list;
    // The listing record of one path; false when nothing is there.
    bool (*lookupFile)(const std::wstring& path, FolderItem* item);
    // Deletes a thumbnail made by thumbs.makeScreenBitmap.
    void (*deleteScreenBitmap)(void* user, void* bitmap);
    ThumbServices thumbs;
};

// The settings the model follows (AppSettings of the same names).
struct BrowserSettings {
    int recursive = 0;
    int useCache = 1;
    int highQualityThumb = 0;
    int addToBottom = 1;
    uint32_t sort = 0;
    int32_t boxWidth = 70;  // the thumbnail box (ThumbBoxFor)
    int32_t boxHeight = 70;
};

// What the window does when the model changes. Every method has a default
// that does nothing.
class BrowserView {
public:
    virtual ~BrowserView() = default;
    // Before a sort that keeps the selection: mark the selected items'
    // entries (`selected`) and the anchor's (`anchorFlag`).
    virtual void CaptureSelection(FileList* /*entries*/) {}
    // After such a sort: select the marked items again, anchor and focus.
    virtual void RestoreSelection(const FileList& /*entries*/) {}
    // Every item anew, in array order (a folder change, a search, a sort).
    virtual void ListReplaced(const FileList& /*entries*/) {}
    virtual void ItemAppended(const FileList& /*entries*/, size_t /*index*/) {}
    // Item `index` was removed; `select` is the item to select and show (-1
    // when the list is empty).
    virtual void ItemRemoved(size_t /*index*/, long /*select*/) {}
    // Item `index`'s texts and picture changed.
    virtual void ItemChanged(size_t /*index*/) {}
    // Open entry `index` in the image view (it became the current one).
    virtual void ShowEntry(size_t /*index*/) {}
    // Register for change notifications of the folder (and its subfolders
    // when `subfolders`); an empty folder ends them.
    virtual void WatchFolder(const std::wstring& /*folder*/, bool /*subfolders*/) {}
    // The list now shows `folder` (a folder change, or search results while
    // the folder stays): the menus that name the folder follow it.
    virtual void FolderShown(const std::wstring& /*folder*/) {}
    // A folder is being read (true) and is shown now (false): a large one
    // takes a while, which the pointer tells.
    virtual void Busy(bool /*busy*/) {}
    // A thumbnail was loaded but no screen bitmap could be made of it (its
    // entry shows without a picture): told once per folder or list shown,
    // on the main thread.
    virtual void ThumbnailBitmapFailed() {}
};

class BrowserModel {
public:
    BrowserModel(const BrowserServices& services, BrowserView* view);
    BrowserModel(const BrowserModel&) = delete;
    BrowserModel& operator=(const BrowserModel&) = delete;
    // Stops the worker, frees the list and closes the cache.
    ~BrowserModel();

    // Takes effect at the next folder change (the box, the cache) or at
    // once (sort order and the others).
    void SetSettings(const BrowserSettings& settings) { settings_ = settings; }
    const BrowserSettings& Settings() const { return settings_; }

    // Shows a folder (with its trailing separator): scan, sort, cache,
    // worker. A folder that cannot be listed shows as an empty list.
    void BrowseFolder(const std::wstring& folder);
    // Shows a list built elsewhere (search results); the folder and the
    // cache stay as they were.
    void SetFileList(FileList&& entries);
    // The sort command's work: sort keeping the selection, items anew.
    void Resort();

    // The worker's messages.
    void OnThumbReady(uintptr_t run, intptr_t index);
    void OnThumbnailsDone(uintptr_t run);

    // The folder-change notifications: full paths.
    void OnFileCreated(const std::wstring& path);
    void OnFileDeleted(const std::wstring& path);
    // Adds folder + name (or re-reads it when it is listed already); false
    // when it does not belong to the list or is not there.
    bool BrowserAddFile(const std::wstring& folder, const std::wstring& name);
    // Re-reads a listed file after it was rewritten; its thumbnail is made
    // again by the next worker run. False when it is not listed or gone.
    bool BrowserUpdateFile(const std::wstring& folder, const std::wstring& name);
    void BrowserAddReceivedFile(const std::wstring& folder, const std::wstring& name);
    // A listed file was renamed within its folder: its entry takes the new
    // path and keeps its place, its information and its thumbnail. False
    // when `oldPath` is not listed or `newPath` does not fit an entry.
    bool RenameEntry(const std::wstring& oldPath, const std::wstring& newPath);

    // Around changes made by others (the tools): no worker while they run.
    void StopWorker();
    void StartWorker();
    bool WorkerRunning() const { return worker_.Running(); }

    // The selected entries (indices in list order) as handed to a tool;
    // albums only with includeAlbums.
    std::vector<SelectedFile> SelectedFiles(const std::vector<size_t>& selected, bool includeAlbums) const;

    // The program's own clipboard: the records Cut or Copy took, kept across
    // folder changes until the next Cut or Copy; Paste moves them after a Cut.
    void SetClipboard(std::vector<SelectedFile> files, bool move) {
        clipboard_ = std::move(files);
        clipboardMoves_ = move;
    }
    const std::vector<SelectedFile>& ClipboardFiles() const { return clipboard_; }
    bool ClipboardMoves() const { return clipboardMoves_; }

    const FileList& Entries() const { return entries_; }
    const std::wstring& CurrentFolder() const { return currentFolder_; }
    long CurrentIndex() const { return currentIndex_; }
    void SetCurrentIndex(long index) { currentIndex_ = index; }
    ThumbCache& Cache() { return cache_; }
    const ThumbWorker& Worker() const { return worker_; }

private:
    void FreeFileList();
    void SortKeepingSelection();
    bool FolderBelongs(const std::wstring& folder) const;
    long FindEntry(const std::wstring& path, bool ignoreCase) const;
    bool AppendFile(const std::wstring& folder, const std::wstring& name);
    // Adds (or re-reads) the file with the worker stopped, then starts it.
    void AddFileAndRestart(const std::wstring& folder, const std::wstring& name);
    // Folder and name of a path inside the shown list; false for others.
    bool SplitListedPath(const std::wstring& path, std::wstring* folder, std::wstring* name) const;

    BrowserServices services_;
    BrowserView* view_;
    BrowserView noView_;
    BrowserSettings settings_;
    FileList entries_;
    std::wstring currentFolder_;
    long currentIndex_ = -1;
    ThumbCache cache_;
    ThumbWorker worker_;
    std::vector<SelectedFile> clipboard_;
    bool clipboardMoves_ = false;
    // A failed screen bitmap was told of since the list was shown.
    bool bitmapFailureTold_ = false;
};
