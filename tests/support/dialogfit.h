// Win32 tests: a dialog resource laid out on a parent the size of the
// handheld's screen fits it, with every control inside the dialog.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

inline void ExpectDialogFitsScreen(int resourceId) {
    SCOPED_TRACE(resourceId);
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    HWND d = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), parent,
                                [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(d, nullptr);
    RECT r;
    GetWindowRect(d, &r);
    EXPECT_LE(r.right - r.left, 240);
    EXPECT_LE(r.bottom - r.top, 320);
    for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT cr;
        GetWindowRect(c, &cr);
        EXPECT_LE(cr.right, r.right) << GetDlgCtrlID(c);
        EXPECT_LE(cr.bottom, r.bottom) << GetDlgCtrlID(c);
    }
    DestroyWindow(d);
    DestroyWindow(parent);
}

// A dialog, sheet or message box on the screen (of any process): it lies
// within the screen, and each of its visible controls within it, so that its
// whole text and every button can be seen and tapped. Without `controls`
// only the dialog is measured (a system dialog that folds a part away
// beyond its edge).
inline void ExpectOnScreen(HWND dialog, const std::string& what, bool controls = true) {
    RECT r = {};
    GetWindowRect(dialog, &r);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height)
        << what << " at " << r.left << "," << r.top << " to " << r.right << "," << r.bottom << " on a screen of "
        << width << "x" << height;
    if (!controls) return;
    struct Walk {
        RECT outer;
        const std::string* what;
    } walk = {r, &what};
    EnumChildWindows(
        dialog,
        [](HWND control, LPARAM user) -> BOOL {
            const Walk* w = reinterpret_cast<const Walk*>(user);
            if (!IsWindowVisible(control)) return TRUE;
            RECT c = {};
            GetWindowRect(control, &c);
            if (c.right <= c.left || c.bottom <= c.top) return TRUE;
            EXPECT_TRUE(c.left >= w->outer.left && c.top >= w->outer.top && c.right <= w->outer.right &&
                        c.bottom <= w->outer.bottom)
                << *w->what << ": control " << GetDlgCtrlID(control) << " at " << c.left << "," << c.top << " to "
                << c.right << "," << c.bottom << " sticks out";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
}

}  // namespace testing_support
