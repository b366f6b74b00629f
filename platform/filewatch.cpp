// Folder change notifications over ReadDirectoryChangesW: one watcher thread
// per watched folder posts a FileChangeRecord per created, deleted or renamed
// item to the window.
#include "platform/internal.h"

#include <cwchar>
#include <memory>
#include <mutex>
#include <string>

namespace {

struct FolderWatch {
    HWND window = nullptr;
    UINT message = 0;
    std::wstring folder;  // as given, with a trailing backslash
    bool subfolders = false;
    uint32_t events = 0;
    HANDLE directory = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;
    HANDLE thread = nullptr;
};

std::mutex g_watchesLock;
std::vector<std::unique_ptr<FolderWatch>> g_watches;

void CopyPath(wchar_t (&out)[MAX_PATH], const std::wstring& path) {
    const size_t n = path.size() < MAX_PATH - 1 ? path.size() : MAX_PATH - 1;
    path.copy(out, n);
    out[n] = L'\0';
}

void Post(const FolderWatch& watch, uint32_t event, const std::wstring& item, const std::wstring& oldItem) {
    if (!(watch.events & event)) return;
    auto* record = new FileChangeRecord{};
    record->event = event;
    CopyPath(record->item, item);
    CopyPath(record->oldItem, oldItem);
    if (!PostMessageW(watch.window, watch.message, reinterpret_cast<WPARAM>(record), 0)) delete record;
}

void Deliver(const FolderWatch& watch, const BYTE* buffer, DWORD bytes, std::wstring* renamedFrom) {
    DWORD offset = 0;
    while (offset + sizeof(FILE_NOTIFY_INFORMATION) <= bytes) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
        const size_t nameChars = info->FileNameLength / sizeof(wchar_t);
        if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) + info->FileNameLength > bytes) break;
        const std::wstring path = watch.folder + std::wstring(info->FileName, nameChars);
        switch (info->Action) {
        case FILE_ACTION_ADDED:
            Post(watch, kFileCreated, path, std::wstring());
            break;
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
    std::vector<DWORD> buffer(8192);  // DWORD-aligned, as the call needs
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::wstring renamedFrom;
    for (;;) {
        ResetEvent(overlapped.hEvent);
        if (!ReadDirectoryChangesW(watch.directory, buffer.data(), DWORD(buffer.size() * sizeof(DWORD)), watch.subfolders,
                                   FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr,
                                   &overlapped, nullptr))
            break;
        const HANDLE waits[2] = {overlapped.hEvent, watch.stop};
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        DWORD bytes = 0;
        if (which != WAIT_OBJECT_0) {
            CancelIo(watch.directory);
            GetOverlappedResult(watch.directory, &overlapped, &bytes, TRUE);
            break;
        }
        if (GetOverlappedResult(watch.directory, &overlapped, &bytes, FALSE) && bytes > 0)
            Deliver(watch, reinterpret_cast<const BYTE*>(buffer.data()), bytes, &renamedFrom);
    }
    CloseHandle(overlapped.hEvent);
    return 0;
}

void StopWatch(FolderWatch* watch) {
    SetEvent(watch->stop);
    WaitForSingleObject(watch->thread, INFINITE);
    CloseHandle(watch->thread);
    CloseHandle(watch->stop);
    CloseHandle(watch->directory);
}

}  // namespace

BOOL WatchFolder(const FolderWatchSpec& spec) {
    RecordHandheldCall(HandheldCall::kWatchFolder, spec.window, spec.events);
    if (!IsWindow(spec.window)) return FALSE;
    auto watch = std::make_unique<FolderWatch>();
    watch->window = spec.window;
    watch->message = spec.message;
    watch->folder = spec.folder && *spec.folder ? spec.folder : L"\\";
    if (watch->folder.back() != L'\\') watch->folder.push_back(L'\\');
    watch->subfolders = spec.folder ? spec.subfolders : true;
    watch->events = spec.events;
    watch->directory = CreateFileW(watch->folder.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (watch->directory == INVALID_HANDLE_VALUE) return FALSE;
    watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watch->thread = watch->stop ? CreateThread(nullptr, 0, WatchThread, watch.get(), 0, nullptr) : nullptr;
    if (!watch->thread) {
        if (watch->stop) CloseHandle(watch->stop);
        CloseHandle(watch->directory);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(g_watchesLock);
    g_watches.push_back(std::move(watch));
    return TRUE;
}

BOOL UnwatchFolders(HWND window) {
    RecordHandheldCall(HandheldCall::kUnwatchFolders, window, 0);
    std::vector<std::unique_ptr<FolderWatch>> ending;
    {
        std::lock_guard<std::mutex> hold(g_watchesLock);
        for (auto it = g_watches.begin(); it != g_watches.end();) {
            if ((*it)->window == window) {
                ending.push_back(std::move(*it));
                it = g_watches.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& watch : ending) {
        StopWatch(watch.get());
        // Records already queued for the window are its to free; it will not
        // see them now.
        MSG queued;
        while (PeekMessageW(&queued, window, watch->message, watch->message, PM_REMOVE))
            FreeFileChange(reinterpret_cast<FileChangeRecord*>(queued.wParam));
    }
    return ending.empty() ? FALSE : TRUE;
}

void FreeFileChange(FileChangeRecord* record) { delete record; }
