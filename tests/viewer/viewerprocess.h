// A viewer.exe started from a test or benchmark under Wine, and what can be
// read of it from outside: its windows, the list view's items (read and
// written in the viewer's own address space) and its exit code.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "tests/albums/screen_win.h"

#ifndef PV_VIEWER_EXE
#define PV_VIEWER_EXE ""
#endif

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The viewer's settings in the registry, as a test sets them before a start.
inline void ClearViewerSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Trelmo"); }
// A value of the settings' root (`section` null) or of one section; false
// when the key cannot be made.
inline bool WriteViewerText(const wchar_t* section, const wchar_t* name, const std::wstring& text) {
    std::wstring key = L"Software\\Trelmo";
    if (section) key += std::wstring(L"\\") + section;
    HKEY k;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != 0)
        return false;
    RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD((text.size() + 1) * 2));
    RegCloseKey(k);
    return true;
}
// A number of the main settings (section "General").
inline bool WriteViewerNumber(const wchar_t* name, DWORD value) {
    HKEY k;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Trelmo\\General", 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                        nullptr) != 0)
        return false;
    RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(k);
    return true;
}

// One running viewer.exe.
class Viewer {
public:
    explicit Viewer(const std::wstring& arguments = L"", const std::wstring& program = Wide(PV_VIEWER_EXE)) {
        std::wstring line = L"\"" + program + L"\"";
        if (!arguments.empty()) line += L" " + arguments;
        STARTUPINFOW startup = {sizeof startup};
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process_) != 0;
    }
    ~Viewer() {
        if (!started_) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            if (HWND main = Main()) PostMessageW(main, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    bool Started() const { return started_; }
    HANDLE Process() const { return process_.hProcess; }

    static HWND Main() { return FindWindowW(L"TrelmoClass", L"Trelmo"); }
    static HWND List() { return GetDlgItem(Main(), 1001); }
    static HWND Tree() { return GetDlgItem(Main(), 1000); }
    static HWND View() { return FindWindowExW(Main(), nullptr, L"CBmpClass", nullptr); }

    // Waits for the main window and the folder's items.
    bool WaitForList(int count) {
        return screentest::PumpUntil([count] { return Main() && ItemCount() == count; }, 30000);
    }
    static int ItemCount() { return int(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
    static int Selected() { return int(SendMessageW(List(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); }

    // Item text of the file list, read in the viewer's own address space.
    std::wstring ItemText(int index, int column) { return ItemTextOf(List(), index, column); }
    // Item text of any list view of the viewer.
    std::wstring ItemTextOf(HWND list, int index, int column) {
        const SIZE_T size = sizeof(LVITEMW) + 520;
        void* remote = VirtualAllocEx(process_.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        if (!remote) return L"<no memory>";
        LVITEMW item = {};
        item.iSubItem = column;
        item.cchTextMax = 260;
        item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
        WriteProcessMemory(process_.hProcess, remote, &item, sizeof item, nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(remote));
        wchar_t text[260] = {};
        ReadProcessMemory(process_.hProcess, item.pszText, text, sizeof text - 2, nullptr);
        VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
        return text;
    }

    // A rectangle that a control of the viewer fills in through a pointer
    // (`r` goes in as the message's input), in screen coordinates.
    RECT RemoteRect(HWND control, UINT message, WPARAM first, RECT r) {
        void* remote = VirtualAllocEx(process_.hProcess, nullptr, sizeof r, MEM_COMMIT, PAGE_READWRITE);
        if (!remote) return RECT{};
        WriteProcessMemory(process_.hProcess, remote, &r, sizeof r, nullptr);
        const LRESULT ok = SendMessageW(control, message, first, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process_.hProcess, remote, &r, sizeof r, nullptr);
        VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
        if (!ok) return RECT{};
        MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // The folder tree's text of `item`, read in the viewer's own address space.
    std::wstring TreeText(HTREEITEM item) {
        const SIZE_T size = sizeof(TVITEMW) + 520;
        void* remote = VirtualAllocEx(process_.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        if (!remote) return L"<no memory>";
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.cchTextMax = 260;
        tv.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(TVITEMW));
        WriteProcessMemory(process_.hProcess, remote, &tv, sizeof tv, nullptr);
        SendMessageW(Tree(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote));
        wchar_t text[260] = {};
        ReadProcessMemory(process_.hProcess, tv.pszText, text, sizeof text - 2, nullptr);
        VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
        return text;
    }
    // The folder tree's selected folder.
    std::wstring TreeSelection() {
        return TreeText(reinterpret_cast<HTREEITEM>(SendMessageW(Tree(), TVM_GETNEXTITEM, TVGN_CARET, 0)));
    }

    // Item `index`'s rectangle (LVIR_BOUNDS), in screen coordinates.
    RECT ItemRect(int index) { return RemoteRect(List(), LVM_GETITEMRECT, WPARAM(index), RECT{LVIR_BOUNDS, 0, 0, 0}); }
    POINT CellCentre(int index) {
        const RECT r = ItemRect(index);
        return POINT{(r.left + r.right) / 2, r.top + (r.bottom - r.top) / 3};
    }
    // Makes item `index` the selected and focused one, as a tap would.
    void SelectItem(int index) {
        LVITEMW item = {};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        void* remote = VirtualAllocEx(process_.hProcess, nullptr, sizeof item, MEM_COMMIT, PAGE_READWRITE);
        WriteProcessMemory(process_.hProcess, remote, &item, sizeof item, nullptr);
        SendMessageW(List(), LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(remote));
        VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
    }

    void Command(UINT id) { SendMessageW(Main(), WM_COMMAND, id, 0); }
    bool Close() {
        PostMessageW(Main(), WM_CLOSE, 0, 0);
        DWORD code = 1;
        const bool ended = WaitForSingleObject(process_.hProcess, 15000) == WAIT_OBJECT_0;
        GetExitCodeProcess(process_.hProcess, &code);
        return ended && code == 0;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_ = {};
};

