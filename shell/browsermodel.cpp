#include "shell/browsermodel.h"

#include <cwchar>
#include <cwctype>

namespace {

bool EqualNoCase(const std::wstring& a, const std::wstring& b, size_t count) {
    if (a.size() < count || b.size() < count) return false;
    for (size_t i = 0; i < count; ++i)
        if (std::towlower(wint_t(a[i])) != std::towlower(wint_t(b[i]))) return false;
    return true;
}

}  // namespace

BrowserModel::BrowserModel(const BrowserServices& services, BrowserView* view)
    : services_(services), view_(view ? view : &noView_), worker_(services.thumbs) {}

BrowserModel::~BrowserModel() {
    worker_.Stop();
    FreeFileList();
    cache_.Close(false);
}

void BrowserModel::FreeFileList() {
    for (FileListEntry& entry : entries_)
        if (entry.thumbnail) services_.deleteScreenBitmap(services_.thumbs.user, entry.thumbnail);
    FileList().swap(entries_);
}

void BrowserModel::SortKeepingSelection() {
    view_->CaptureSelection(&entries_);
    SortFileEntries(&entries_, settings_.sort);
}

void BrowserModel::StopWorker() { worker_.Stop(); }

void BrowserModel::StartWorker() {
    worker_.Start(&entries_, settings_.useCache && cache_.IsOpen() ? &cache_ : nullptr,
                  ThumbJob{settings_.boxWidth, settings_.boxHeight, settings_.highQualityThumb});
}

void BrowserModel::BrowseFolder(const std::wstring& folder) {
    worker_.Stop();
    view_->Busy(true);
    FreeFileList();
    bitmapFailureTold_ = false;
    ScanFolder(services_.list, folder, settings_.recursive != 0, &entries_);
    SortKeepingSelection();
    view_->ListReplaced(entries_);
    view_->RestoreSelection(entries_);
    currentIndex_ = -1;
    currentFolder_ = folder;
    view_->WatchFolder(folder, settings_.recursive != 0);
    if (settings_.useCache)
        cache_.Open(folder, settings_.boxWidth, settings_.boxHeight);
    else
        cache_.Close(false);
    StartWorker();
    view_->FolderShown(currentFolder_);
    view_->Busy(false);
}

void BrowserModel::SetFileList(FileList&& entries) {
    worker_.Stop();
    FreeFileList();
    bitmapFailureTold_ = false;
    entries_ = std::move(entries);
    SortKeepingSelection();
    view_->ListReplaced(entries_);
    view_->RestoreSelection(entries_);
    currentIndex_ = -1;
    view_->WatchFolder(currentFolder_, settings_.recursive != 0);
    StartWorker();
    view_->FolderShown(currentFolder_);
}

void BrowserModel::Resort() {
    worker_.Stop();
    SortKeepingSelection();
    view_->ListReplaced(entries_);
    view_->RestoreSelection(entries_);
    StartWorker();
}

void BrowserModel::OnThumbReady(uintptr_t run, intptr_t index) {
    if (run != worker_.CurrentRun() || index < 0 || size_t(index) >= entries_.size()) return;
    // Examined without a picture: the picture was read, its screen bitmap
    // could not be made. Said once, here on the main thread (never by the
    // worker), and the entry keeps its texts.
    const FileListEntry& entry = entries_[size_t(index)];
    const bool bitmapFailed = entry.state == kEntryExamined && !entry.thumbnail;
    view_->ItemChanged(size_t(index));
    if (bitmapFailed && !bitmapFailureTold_) {
        bitmapFailureTold_ = true;
        view_->ThumbnailBitmapFailed();
    }
}

void BrowserModel::OnThumbnailsDone(uintptr_t run) {
    // A message of an earlier run (queued before a stop) changes nothing.
    if (!worker_.Finish(run)) return;
    cache_.Close(true);
    const uint32_t key = settings_.sort & 0x0FFF;
    if (key == kSortType || key == kSortResolution) {
        SortKeepingSelection();
        view_->ListReplaced(entries_);
        view_->RestoreSelection(entries_);
    }
}

bool BrowserModel::FolderBelongs(const std::wstring& folder) const {
    const size_t n = currentFolder_.size();
    if (folder.size() == n) return EqualNoCase(folder, currentFolder_, n);
    return settings_.recursive && folder.size() > n && EqualNoCase(folder, currentFolder_, n);
}

long BrowserModel::FindEntry(const std::wstring& path, bool ignoreCase) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        const wchar_t* p = entries_[i].path;
        if (ignoreCase ? (std::wcslen(p) == path.size() && EqualNoCase(p, path, path.size())) : path == p)
            return long(i);
    }
    return -1;
}

bool BrowserModel::AppendFile(const std::wstring& folder, const std::wstring& name) {
    worker_.Stop();
    FolderItem item;
    if (!services_.lookupFile(folder + name, &item) || (item.attributes & kAttributeFolder)) return false;
    item.name = name;
    if (!AddFileEntry(&entries_, folder, item)) return false;
    view_->ItemAppended(entries_, entries_.size() - 1);
    if (!settings_.addToBottom) {
        SortKeepingSelection();
        view_->ListReplaced(entries_);
        view_->RestoreSelection(entries_);
    }
    return true;
}

bool BrowserModel::BrowserAddFile(const std::wstring& folder, const std::wstring& name) {
    if (!FolderBelongs(folder)) return false;
    // A file already listed (saved over, or renamed onto) is re-read, never
    // listed twice.
    if (FindEntry(folder + name, true) >= 0) return BrowserUpdateFile(folder, name);
    return AppendFile(folder, name);
}

bool BrowserModel::BrowserUpdateFile(const std::wstring& folder, const std::wstring& name) {
    if (!FolderBelongs(folder)) return false;
    const long i = FindEntry(folder + name, true);
    FolderItem item;
    if (i < 0 || !services_.lookupFile(entries_[size_t(i)].path, &item)) return false;
    worker_.Stop();
    FileListEntry& entry = entries_[size_t(i)];
    entry.attributes = item.attributes;
    entry.lastWriteTime = item.lastWriteTime;
    entry.size = item.size;
    if (entry.thumbnail) services_.deleteScreenBitmap(services_.thumbs.user, entry.thumbnail);
    entry.thumbnail = nullptr;
    entry.thumbWidth = entry.thumbHeight = 0;
    if (entry.state != kEntryAlbum) entry.state = kEntryNotExamined;
    view_->ItemChanged(size_t(i));
    return true;
}

void BrowserModel::AddFileAndRestart(const std::wstring& folder, const std::wstring& name) {
    BrowserAddFile(folder, name);
    StartWorker();
}

void BrowserModel::BrowserAddReceivedFile(const std::wstring& folder, const std::wstring& name) {
    if (folder.size() == currentFolder_.size() && EqualNoCase(folder, currentFolder_, folder.size()))
        AddFileAndRestart(folder, name);
}

bool BrowserModel::RenameEntry(const std::wstring& oldPath, const std::wstring& newPath) {
    const long i = FindEntry(oldPath, true);
    if (i < 0 || newPath.empty() || newPath.size() >= kListPathCapacity) return false;
    // The worker reads the entries' paths: it waits while one changes.
    worker_.Stop();
    std::wmemcpy(entries_[size_t(i)].path, newPath.c_str(), newPath.size() + 1);
    view_->ItemChanged(size_t(i));
    StartWorker();
    return true;
}

bool BrowserModel::SplitListedPath(const std::wstring& path, std::wstring* folder, std::wstring* name) const {
    SplitPathFolderName(path.c_str(), folder, name);
    return !folder->empty() && !name->empty() && FolderBelongs(*folder);
}

void BrowserModel::OnFileCreated(const std::wstring& path) {
    std::wstring folder, name;
    // Only picture names of the shown list: never the cache, its rewrite
    // or a save's temporary sibling.
    if (SplitListedPath(path, &folder, &name) && IsListedPictureName(name.c_str(), 1)) AddFileAndRestart(folder, name);
}

void BrowserModel::OnFileDeleted(const std::wstring& path) {
    std::wstring folder, name;
    if (!SplitListedPath(path, &folder, &name)) return;
    const long i = FindEntry(path, false);
    if (i < 0) return;
    worker_.Stop();
    if (entries_[size_t(i)].thumbnail)
        services_.deleteScreenBitmap(services_.thumbs.user, entries_[size_t(i)].thumbnail);
    entries_.erase(entries_.begin() + i);
    const long count = long(entries_.size());
    const long select = count == 0 ? -1 : (i < count ? i : count - 1);
    view_->ItemRemoved(size_t(i), select);
    if (currentIndex_ == i) {
        // The shown picture went: show the one now selected in its place.
        currentIndex_ = select;
        if (select >= 0) view_->ShowEntry(size_t(select));
    } else if (currentIndex_ > i) {
        --currentIndex_;
    }
    StartWorker();
}

std::vector<SelectedFile> BrowserModel::SelectedFiles(const std::vector<size_t>& selected, bool includeAlbums) const {
    std::vector<SelectedFile> files;
    for (size_t index : selected) {
        if (index >= entries_.size() || (entries_[index].state == kEntryAlbum && !includeAlbums)) continue;
        SelectedFile file{};
        std::wmemcpy(file.path, entries_[index].path, kListPathCapacity);
        file.index = uint32_t(index);
        files.push_back(file);
    }
    return files;
}
