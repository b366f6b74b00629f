// Addresses opened with the desktop's own handler for them (the browser for
// a web address), each recorded for the tests.
#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/handheld.h"
#include "platform/internal.h"

namespace {

std::mutex g_linksLock;
std::vector<std::wstring> g_links;
bool g_recordOnly = false;

}  // namespace

BOOL OpenWithDesktopHandler(HWND owner, const wchar_t* address) {
    if (!address || !*address) return FALSE;
    bool recordOnly;
    {
        std::lock_guard<std::mutex> hold(g_linksLock);
        g_links.emplace_back(address);
        recordOnly = g_recordOnly;
    }
    RecordHandheldCall(HandheldCall::kOpenLink, owner, 0);
    if (recordOnly) return TRUE;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = address;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info);
}

std::vector<std::wstring> OpenedLinks() {
    std::lock_guard<std::mutex> hold(g_linksLock);
    return g_links;
}

void SetLinksRecordedOnly(bool recordOnly) {
    std::lock_guard<std::mutex> hold(g_linksLock);
    g_recordOnly = recordOnly;
    g_links.clear();
}
