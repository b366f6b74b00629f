// Drives modal dialogs in Win32 tests: each dialog (or property sheet, or
// message box) that opens on this thread while a ModalDriver lives is handed,
// once it is shown and in its modal loop, to the next script queued with
// OnDialog. A script finds controls by id, sets values, clicks and reads
// texts back, and normally ends the dialog. A dialog left open (no script
// left, or a script that did not end it) is ended with kAbandoned after the
// deadline, and the test fails, so no test ever hangs on modal UI.
//
// Win32 only. Header-only so any test program can use it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace modaltest {

constexpr INT_PTR kAbandoned = -2;

inline HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

inline std::wstring Text(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(size_t(n) + 1, L'\0');
    GetWindowTextW(window, &text[0], n + 1);
    text.resize(size_t(n));
    return text;
}

inline std::wstring ItemText(HWND dialog, int id) { return Text(Item(dialog, id)); }

inline void SetItemText(HWND dialog, int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }

// A press of a button as the user makes it: the control tells its parent.
inline void Click(HWND dialog, int id) {
    HWND control = Item(dialog, id);
    if (control)
        SendMessageW(control, BM_CLICK, 0, 0);
    else
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

inline void SetCheck(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

inline bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Moves a horizontal trackbar to `position` and tells the dialog, as a drag
// of its thumb does.
inline void MoveTrackbar(HWND dialog, int id, int position) {
    SendDlgItemMessageW(dialog, id, TBM_SETPOS, TRUE, position);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(Item(dialog, id)));
}

// Selects a combo box item and tells the dialog, as a user's choice does.
inline void SelectComboItem(HWND dialog, int id, int index) {
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(dialog, id)));
}

inline std::vector<std::wstring> ComboItems(HWND dialog, int id) {
    std::vector<std::wstring> items;
    const int count = int(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int n = int(SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, WPARAM(i), 0));
        std::wstring text(size_t(n > 0 ? n : 0) + 1, L'\0');
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(&text[0]));
        text.resize(size_t(n > 0 ? n : 0));
        items.push_back(text);
    }
    return items;
}

class ModalDriver {
public:
    using Script = std::function<void(HWND dialog)>;

    explicit ModalDriver(DWORD deadlineMs = 10000) : deadline_(deadlineMs) {
        Current() = this;
        hook_ = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
        timer_ = SetTimer(nullptr, 0, 20, TimerProc);
    }
    ~ModalDriver() {
        KillTimer(nullptr, timer_);
        if (hook_) UnhookWindowsHookEx(hook_);
        Current() = nullptr;
        EXPECT_TRUE(scripts_.empty()) << scripts_.size() << " dialog script(s) never ran";
    }
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    // Queues the script for the next dialog that opens.
    void OnDialog(Script script) { scripts_.push_back(std::move(script)); }
    int dialogsSeen() const { return seen_; }

private:
    struct Pending {
        HWND window;
        DWORD created;
    };

    static ModalDriver*& Current() {
        static ModalDriver* current = nullptr;
        return current;
    }

    static LRESULT CALLBACK CbtProc(int code, WPARAM first, LPARAM second) {
        ModalDriver* self = Current();
        if (self && code == HCBT_CREATEWND) {
            HWND window = reinterpret_cast<HWND>(first);
            const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(second)->lpcs;
            const bool dialogClass = IS_INTRESOURCE(create->lpszClass)
                                         ? LOWORD(reinterpret_cast<ULONG_PTR>(create->lpszClass)) == 0x8002
                                         : wcscmp(create->lpszClass, L"#32770") == 0;
            if (dialogClass && !(create->style & WS_CHILD)) {
                // A handle can come back for a new window once the old one is gone.
                self->handled_.erase(std::remove(self->handled_.begin(), self->handled_.end(), window),
                                     self->handled_.end());
                self->pending_.push_back({window, GetTickCount()});
            }
        }
        return CallNextHookEx(self ? self->hook_ : nullptr, code, first, second);
    }

    // Re-entrant: a script may open a nested dialog, whose modal loop runs
    // this again while the script waits.
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD) {
        ModalDriver* self = Current();
        if (!self) return;
        for (size_t i = 0; i < self->pending_.size();) {
            const Pending entry = self->pending_[i];
            if (!IsWindow(entry.window)) {
                self->pending_.erase(self->pending_.begin() + long(i));
                continue;
            }
            if (GetTickCount() - entry.created > self->deadline_) {
                ADD_FAILURE() << "a modal dialog was left open; ending it";
                self->pending_.erase(self->pending_.begin() + long(i));
                EndDialog(entry.window, kAbandoned);
                PostMessageW(entry.window, WM_COMMAND, IDCANCEL, 0);  // property sheets end this way
                continue;
            }
            ++i;
        }
        // A dialog is ready once DialogBox has shown it.
        for (const Pending& entry : self->pending_) {
            if (!IsWindowVisible(entry.window) || self->IsHandled(entry.window) || self->scripts_.empty()) continue;
            const HWND window = entry.window;
            Script script = std::move(self->scripts_.front());
            self->scripts_.pop_front();
            self->handled_.push_back(window);
            ++self->seen_;
            script(window);
            break;
        }
    }

    bool IsHandled(HWND window) const {
        for (HWND h : handled_)
            if (h == window) return true;
        return false;
    }

    DWORD deadline_;
    HHOOK hook_ = nullptr;
    UINT_PTR timer_ = 0;
    int seen_ = 0;
    std::deque<Script> scripts_;
    std::vector<Pending> pending_;
    std::vector<HWND> handled_;
};

}  // namespace modaltest
