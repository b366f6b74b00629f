// Folder change notifications over ReadDirectoryChangesW. One thread per
// watch serves every folder of it: each folder's read completes as an APC on
// that thread, which reports the changes and starts the next read. Wine does
// not report changes below a folder's own items, so a watch with subfolders
// reads every folder of the tree, and a folder created inside it joins the
// watch as it appears.
//
// What the window hears is what a file list needs: a save that goes through
// a temporary sibling ("name.~sv0" renamed onto "name") arrives as a creation
// of the real name; the siblings themselves are never reported; a rename
// arrives as a deletion and a creation unless renames were asked for.
//
// Callers and the window procedure are C-style: nothing thrown here (out of
// memory in a string or a list) crosses WatchFolder, UnwatchFolders, the
// watch thread or a completion routine. Records are allocated without
// throwing; a batch of changes that cannot be delivered is dropped and the
// watch goes on.
#include "platform/internal.h"

#include <atomic>
#include <cwchar>
#include <cwctype>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "imagelib/textutil.h"

namespace {

// Folders of one watch, at most; past it the window is told once
// (kWatchIncomplete) which folder was left out.
constexpr size_t kMaxWatchedFolders = 4096;
// Bytes of change records one folder's read collects.
constexpr DWORD kReadBufferBytes = 4096;

struct FolderWatch;

struct WatchedFolder {
    OVERLAPPED overlapped = {};  // hEvent carries this record to the completion routine
    FolderWatch* watch = nullptr;
    std::wstring folder;  // with a trailing backslash
    HANDLE directory = INVALID_HANDLE_VALUE;
    std::vector<DWORD> buffer;  // DWORD-aligned, as the call needs
    std::wstring renamedFrom;
    bool reading = false;
};

struct FolderWatch {
    HWND window = nullptr;
    UINT message = 0;
    std::wstring root;
    bool subfolders = false;
    uint32_t events = 0;
    HANDLE stop = nullptr;
    HANDLE started = nullptr;
    HANDLE thread = nullptr;
    bool rootWatched = false;  // set by the thread before `started`
    // The watch thread's own; nobody else touches them.
    std::vector<std::unique_ptr<WatchedFolder>> folders;
    bool stopping = false;
    bool limitReported = false;
};

// A list, so that watches move in and out by splicing, which allocates
// nothing and cannot fail.
using WatchList = std::list<std::unique_ptr<FolderWatch>>;
std::mutex g_watchesLock;
WatchList g_watches;

// Change records posted and not yet freed.
std::atomic<size_t> g_recordsOutstanding{0};

// "<name>.~<letters><hex digits>": a sibling a save writes before it
// replaces the real file (SiblingName in imagelib/fileio).
bool IsTemporarySibling(const std::wstring& path) {
    const size_t mark = path.rfind(L".~");
    if (mark == std::wstring::npos) return false;
    size_t i = mark + 2;
    const size_t letters = i;
    while (i < path.size() && path[i] >= L'a' && path[i] <= L'z') ++i;
    if (i == letters || i == path.size()) return false;
    for (; i < path.size(); ++i)
        if (!std::iswxdigit(wint_t(path[i]))) return false;
    return true;
}

void Post(const FolderWatch& watch, uint32_t event, const std::wstring& item, const std::wstring& oldItem) {
    if (!(watch.events & event) && event != kWatchIncomplete) return;
    auto* record = new (std::nothrow) FileChangeRecord{};
    if (!record) return;
    ++g_recordsOutstanding;
    record->event = event;
    if (event == kFileCreated || event == kFileRenamed) {
        const DWORD attributes = GetFileAttributesW(item.c_str());
        record->folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    CopyWideTextBounded(record->item, MAX_PATH, item.c_str());
    CopyWideTextBounded(record->oldItem, MAX_PATH, oldItem.c_str());
    if (!PostMessageW(watch.window, watch.message, reinterpret_cast<WPARAM>(record), 0)) FreeFileChange(record);
}

bool AddFolder(FolderWatch* watch, const std::wstring& folder) noexcept;

void CALLBACK ReadDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped);

bool StartRead(WatchedFolder* f) {
    f->overlapped = OVERLAPPED{};
    f->overlapped.hEvent = f;
    f->reading = ReadDirectoryChangesW(f->directory, f->buffer.data(), kReadBufferBytes, FALSE,
                                       FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr,
                                       &f->overlapped, ReadDone) != FALSE;
    return f->reading;
}

void OnRenamed(WatchedFolder* f, const std::wstring& path) {
    const FolderWatch& watch = *f->watch;
    const std::wstring old = f->renamedFrom;
    f->renamedFrom.clear();
    if (IsTemporarySibling(path)) return;  // the real name comes back when the save ends
    if (old.empty() || IsTemporarySibling(old)) {
        // A finished save: the name was made or rewritten.
        Post(watch, kFileCreated, path, std::wstring());
    } else if (watch.events & kFileRenamed) {
        Post(watch, kFileRenamed, path, old);
    } else {
        Post(watch, kFileDeleted, old, std::wstring());
        Post(watch, kFileCreated, path, std::wstring());
    }
}

void Deliver(WatchedFolder* f, DWORD bytes) {
    FolderWatch* watch = f->watch;
    const BYTE* buffer = reinterpret_cast<const BYTE*>(f->buffer.data());
    DWORD offset = 0;
    while (offset + sizeof(FILE_NOTIFY_INFORMATION) <= bytes) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        const size_t nameChars = info->FileNameLength / sizeof(wchar_t);
        if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) + info->FileNameLength > bytes) break;
        const std::wstring path = f->folder + std::wstring(info->FileName, nameChars);
        switch (info->Action) {
        case FILE_ACTION_ADDED: {
            if (IsTemporarySibling(path)) break;
            // A new folder is watched before the window hears of it, so what
            // the window then makes in it is seen.
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (watch->subfolders && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                AddFolder(watch, path + L"\\");
            Post(*watch, kFileCreated, path, std::wstring());
            break;
        }
        case FILE_ACTION_REMOVED:
            if (!IsTemporarySibling(path)) Post(*watch, kFileDeleted, path, std::wstring());
            break;
        case FILE_ACTION_RENAMED_OLD_NAME:
            f->renamedFrom = path;
            break;
        case FILE_ACTION_RENAMED_NEW_NAME:
            OnRenamed(f, path);
            break;
        default:
            break;
        }
        if (info->NextEntryOffset == 0) break;
        offset += info->NextEntryOffset;
    }
}

// Runs on the watch thread, in its alertable waits.
void CALLBACK ReadDone(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    auto* f = static_cast<WatchedFolder*>(overlapped->hEvent);
    f->reading = false;
    if (f->watch->stopping || error == ERROR_OPERATION_ABORTED) return;
    if (error == ERROR_SUCCESS && bytes > 0) {
        try {
            Deliver(f, bytes);
        } catch (...) {
            f->renamedFrom.clear();  // out of memory: this batch is lost, the watch goes on
        }
    }
    StartRead(f);
}

bool AddFolderOrThrow(FolderWatch* watch, const std::wstring& folder);

// Watches `folder` (with its trailing backslash) and, with subfolders, every
// folder below it, while the watch's room lasts.
bool AddFolder(FolderWatch* watch, const std::wstring& folder) noexcept {
    try {
        return AddFolderOrThrow(watch, folder);
    } catch (...) {
        return false;  // out of memory: the folders taken so far stay watched
    }
}

bool AddFolderOrThrow(FolderWatch* watch, const std::wstring& folder) {
    if (watch->folders.size() >= kMaxWatchedFolders) {
        if (!watch->limitReported) Post(*watch, kWatchIncomplete, folder, std::wstring());
        watch->limitReported = true;
        return false;
    }
    auto f = std::make_unique<WatchedFolder>();
    f->watch = watch;
    f->folder = folder;
    f->buffer.resize(kReadBufferBytes / sizeof(DWORD));
    f->directory = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (f->directory == INVALID_HANDLE_VALUE) return false;
    // Changes are collected only while a read is pending: the read starts
    // before the window is told the watch is there.
    // The room in the list is made before the read starts: a pending read
    // is never left without its record.
    watch->folders.emplace_back();
    if (!StartRead(f.get())) {
        watch->folders.pop_back();
        CloseHandle(f->directory);
        return false;
    }
    watch->folders.back() = std::move(f);
    if (watch->subfolders) {
        WIN32_FIND_DATAW found;
        HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &found);
        if (listing != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && name != L"." && name != L"..")
                    AddFolder(watch, folder + name + L"\\");
            } while (FindNextFileW(listing, &found));
            FindClose(listing);
        }
    }
    return true;
}

DWORD WINAPI WatchThread(void* parameter) {
    auto* watch = static_cast<FolderWatch*>(parameter);
    watch->rootWatched = AddFolder(watch, watch->root);
    SetEvent(watch->started);
    if (watch->rootWatched) {
        while (WaitForSingleObjectEx(watch->stop, INFINITE, TRUE) != WAIT_OBJECT_0) {
        }
    }
    // Reads still pending end (aborted) as APCs of this thread; they are
    // taken before the buffers go.
    watch->stopping = true;
    for (auto& f : watch->folders) CancelIo(f->directory);
    for (auto& f : watch->folders)
        while (f->reading) SleepEx(10, TRUE);
    for (auto& f : watch->folders) CloseHandle(f->directory);
    watch->folders.clear();
    return 0;
}

void StopWatch(FolderWatch* watch) {
    SetEvent(watch->stop);
    WaitForSingleObject(watch->thread, INFINITE);
    CloseHandle(watch->thread);
    CloseHandle(watch->started);
    CloseHandle(watch->stop);
}

}  // namespace

BOOL WatchFolder(const FolderWatchSpec& spec) {
    RecordHandheldCall(HandheldCall::kWatchFolder, spec.window, spec.events);
    if (!IsWindow(spec.window)) return FALSE;
    // Everything that may throw happens before the thread starts: the list
    // node that will hold the watch is made first.
    WatchList node;
    FolderWatch* watch = nullptr;
    try {
        node.push_back(std::make_unique<FolderWatch>());
        watch = node.back().get();
        watch->root = spec.folder && *spec.folder ? spec.folder : L"\\";
        if (watch->root.back() != L'\\') watch->root.push_back(L'\\');
    } catch (...) {
        return FALSE;
    }
    watch->window = spec.window;
    watch->message = spec.message;
    watch->subfolders = spec.folder ? spec.subfolders : true;
    watch->events = spec.events;
    watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watch->started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch->stop && watch->started) watch->thread = CreateThread(nullptr, 0, WatchThread, watch, 0, nullptr);
    if (!watch->thread) {
        if (watch->stop) CloseHandle(watch->stop);
        if (watch->started) CloseHandle(watch->started);
        return FALSE;
    }
    WaitForSingleObject(watch->started, INFINITE);
    if (!watch->rootWatched) {
        StopWatch(watch);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(g_watchesLock);
    g_watches.splice(g_watches.end(), node);
    return TRUE;
}

BOOL UnwatchFolders(HWND window) {
    RecordHandheldCall(HandheldCall::kUnwatchFolders, window, 0);
    WatchList ending;
    {
        std::lock_guard<std::mutex> hold(g_watchesLock);
        for (auto it = g_watches.begin(); it != g_watches.end();) {
            const auto next = std::next(it);
            if ((*it)->window == window) ending.splice(ending.end(), g_watches, it);
            it = next;
        }
    }
    if (ending.empty()) return FALSE;
    UINT message = 0;
    for (auto& watch : ending) {
        message = watch->message;
        StopWatch(watch.get());
    }
    // Records already queued for the window are its to free; it will not see
    // them now.
    MSG queued;
    while (PeekMessageW(&queued, window, message, message, PM_REMOVE))
        FreeFileChange(reinterpret_cast<FileChangeRecord*>(queued.wParam));
    return TRUE;
}

void FreeFileChange(FileChangeRecord* record) {
    if (!record) return;
    --g_recordsOutstanding;
    delete record;
}

size_t FileChangeRecordsOutstanding() { return g_recordsOutstanding.load(); }
