// Folder change notifications over ReadDirectoryChangesW: one watcher thread
// per watched folder posts a FileChangeRecord per created, deleted or renamed
// item to the window. Wine does not report changes below a folder's own
// items, so a watch with subfolders is one watch per folder of the tree, and
// a folder created inside it gets its own watch as it appears.
//
// Callers and the window procedure are C-style: nothing thrown here (out of
// memory in a string or a list) crosses WatchFolder, UnwatchFolders or a
// watcher thread's edge. Records are allocated without throwing; a batch of
// changes that cannot be delivered is dropped and the watch goes on.
#include "platform/internal.h"

#include <atomic>
#include <cwchar>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "imagelib/textutil.h"

namespace {

// Folders of one watch with subfolders, at most.
constexpr size_t kMaxWatchedFolders = 1024;

// What is left of that for one watch: shared by every folder of its tree,
// those watched from the start and those added as they appear.
using FolderBudget = std::shared_ptr<std::atomic<size_t>>;

struct FolderWatch {
    HWND window = nullptr;
    UINT message = 0;
    std::wstring folder;  // as given, with a trailing backslash
    bool subfolders = false;  // folders created in it are watched too
    FolderBudget budget;
    uint32_t events = 0;
    HANDLE directory = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;
    HANDLE started = nullptr;  // set once the first read is waiting
    HANDLE thread = nullptr;
};

// A list, so that watches move in and out by splicing, which allocates
// nothing and cannot fail.
using WatchList = std::list<std::unique_ptr<FolderWatch>>;
std::mutex g_watchesLock;
WatchList g_watches;

// Change records posted and not yet freed.
std::atomic<size_t> g_recordsOutstanding{0};

bool StartWatch(HWND window, UINT message, const std::wstring& folder, bool subfolders, uint32_t events,
                const FolderBudget& budget) noexcept;
bool StartWatchOrThrow(HWND window, UINT message, const std::wstring& folder, bool subfolders, uint32_t events,
                       const FolderBudget& budget);

void Post(const FolderWatch& watch, uint32_t event, const std::wstring& item, const std::wstring& oldItem) {
    if (!(watch.events & event)) return;
    auto* record = new (std::nothrow) FileChangeRecord{};
    if (!record) return;
    ++g_recordsOutstanding;
    record->event = event;
    CopyWideTextBounded(record->item, MAX_PATH, item.c_str());
    CopyWideTextBounded(record->oldItem, MAX_PATH, oldItem.c_str());
    if (!PostMessageW(watch.window, watch.message, reinterpret_cast<WPARAM>(record), 0)) FreeFileChange(record);
}

void Deliver(const FolderWatch& watch, const BYTE* buffer, DWORD bytes, std::wstring* renamedFrom) {
    DWORD offset = 0;
    while (offset + sizeof(FILE_NOTIFY_INFORMATION) <= bytes) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        const size_t nameChars = info->FileNameLength / sizeof(wchar_t);
        if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) + info->FileNameLength > bytes) break;
        const std::wstring path = watch.folder + std::wstring(info->FileName, nameChars);
        switch (info->Action) {
        case FILE_ACTION_ADDED: {
            // A new folder is watched before the window hears of it, so what
            // the window then makes in it is seen.
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (watch.subfolders && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                StartWatch(watch.window, watch.message, path + L"\\", true, watch.events, watch.budget);
            Post(watch, kFileCreated, path, std::wstring());
            break;
        }
        case FILE_ACTION_REMOVED:
            Post(watch, kFileDeleted, path, std::wstring());
            break;
        case FILE_ACTION_RENAMED_OLD_NAME:
            *renamedFrom = path;
            break;
        case FILE_ACTION_RENAMED_NEW_NAME:
            Post(watch, kFileRenamed, path, *renamedFrom);
            renamedFrom->clear();
            break;
        default:
            break;
        }
        if (info->NextEntryOffset == 0) break;
        offset += info->NextEntryOffset;
    }
}

DWORD WINAPI WatchThread(void* parameter) {
    const FolderWatch& watch = *static_cast<FolderWatch*>(parameter);
    static constexpr DWORD kBufferWords = 8192;
    // DWORD-aligned, as the call needs.
    std::unique_ptr<DWORD[]> buffer(new (std::nothrow) DWORD[kBufferWords]);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = buffer ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    if (!overlapped.hEvent) {
        SetEvent(watch.started);  // the caller must not wait for a read that never comes
        return 0;
    }
    std::wstring renamedFrom;
    for (;;) {
        ResetEvent(overlapped.hEvent);
        const BOOL reading =
            ReadDirectoryChangesW(watch.directory, buffer.get(), kBufferWords * sizeof(DWORD),
                                  FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME,
                                  nullptr, &overlapped, nullptr);
        // Changes are collected only while a read is pending: the caller
        // waits for the first one, so nothing made after registering is lost.
        SetEvent(watch.started);
        if (!reading) break;
        const HANDLE waits[2] = {overlapped.hEvent, watch.stop};
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        DWORD bytes = 0;
        if (which != WAIT_OBJECT_0) {
            CancelIo(watch.directory);
            GetOverlappedResult(watch.directory, &overlapped, &bytes, TRUE);
            break;
        }
        if (GetOverlappedResult(watch.directory, &overlapped, &bytes, FALSE) && bytes > 0) {
            try {
                Deliver(watch, reinterpret_cast<const BYTE*>(buffer.get()), bytes, &renamedFrom);
            } catch (...) {
                renamedFrom.clear();  // out of memory: this batch is lost, the watch goes on
            }
        }
    }
    CloseHandle(overlapped.hEvent);
    return 0;
}

void StopWatch(FolderWatch* watch) {
    SetEvent(watch->stop);
    WaitForSingleObject(watch->thread, INFINITE);
    CloseHandle(watch->thread);
    CloseHandle(watch->started);
    CloseHandle(watch->stop);
    CloseHandle(watch->directory);
}

// Watches `folder` (with its trailing backslash) and, with subfolders, every
// folder below it, while the budget of folders lasts.
bool StartWatch(HWND window, UINT message, const std::wstring& folder, bool subfolders, uint32_t events,
                const FolderBudget& budget) noexcept {
    try {
        return StartWatchOrThrow(window, message, folder, subfolders, events, budget);
    } catch (...) {
        return false;  // out of memory before the watcher thread started: nothing to undo
    }
}

bool StartWatchOrThrow(HWND window, UINT message, const std::wstring& folder, bool subfolders, uint32_t events,
                       const FolderBudget& budget) {
    size_t left = budget->load();
    do {
        if (left == 0) return false;
    } while (!budget->compare_exchange_weak(left, left - 1));
    // Everything that may throw happens before the thread starts: the list
    // node that will hold the watch is made first.
    WatchList node;
    node.push_back(std::make_unique<FolderWatch>());
    FolderWatch* watch = node.back().get();
    watch->window = window;
    watch->message = message;
    watch->folder = folder;
    watch->subfolders = subfolders;
    watch->budget = budget;
    watch->events = events;
    watch->directory = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (watch->directory == INVALID_HANDLE_VALUE) return false;
    watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watch->started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch->stop && watch->started)
        watch->thread = CreateThread(nullptr, 0, WatchThread, watch, 0, nullptr);
    if (!watch->thread) {
        if (watch->stop) CloseHandle(watch->stop);
        if (watch->started) CloseHandle(watch->started);
        CloseHandle(watch->directory);
        return false;
    }
    WaitForSingleObject(watch->started, INFINITE);
    {
        std::lock_guard<std::mutex> hold(g_watchesLock);
        g_watches.splice(g_watches.end(), node);
    }
    if (subfolders) {
        WIN32_FIND_DATAW found;
        HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &found);
        if (listing != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
                    StartWatch(window, message, folder + name + L"\\", true, events, budget);
            } while (FindNextFileW(listing, &found));
            FindClose(listing);
        }
    }
    return true;
}

}  // namespace

BOOL WatchFolder(const FolderWatchSpec& spec) {
    RecordHandheldCall(HandheldCall::kWatchFolder, spec.window, spec.events);
    if (!IsWindow(spec.window)) return FALSE;
    try {
        std::wstring folder = spec.folder && *spec.folder ? spec.folder : L"\\";
        if (folder.back() != L'\\') folder.push_back(L'\\');
        const bool subfolders = spec.folder ? spec.subfolders : true;
        const auto budget = std::make_shared<std::atomic<size_t>>(kMaxWatchedFolders);
        return StartWatch(spec.window, spec.message, folder, subfolders, spec.events, budget) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

BOOL UnwatchFolders(HWND window) {
    RecordHandheldCall(HandheldCall::kUnwatchFolders, window, 0);
    bool any = false;
    UINT message = 0;
    // A watcher may be adding the watch of a new subfolder while it is
    // stopped; once it has ended, a second pass finds that watch.
    for (;;) {
        WatchList ending;
        {
            std::lock_guard<std::mutex> hold(g_watchesLock);
            for (auto it = g_watches.begin(); it != g_watches.end();) {
                const auto next = std::next(it);
                if ((*it)->window == window) ending.splice(ending.end(), g_watches, it);
                it = next;
            }
        }
        if (ending.empty()) break;
        any = true;
        for (auto& watch : ending) {
            message = watch->message;
            StopWatch(watch.get());
        }
    }
    // Records already queued for the window are its to free; it will not see
    // them now.
    MSG queued;
    if (any) {
        while (PeekMessageW(&queued, window, message, message, PM_REMOVE))
            FreeFileChange(reinterpret_cast<FileChangeRecord*>(queued.wParam));
    }
    return any ? TRUE : FALSE;
}

void FreeFileChange(FileChangeRecord* record) {
    if (!record) return;
    --g_recordsOutstanding;
    delete record;
}

size_t FileChangeRecordsOutstanding() { return g_recordsOutstanding.load(); }
