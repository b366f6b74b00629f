// Win32 tests: a dialog resource laid out on a parent the size of the
// handheld's screen fits it, with every control inside the dialog.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

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

}  // namespace testing_support
