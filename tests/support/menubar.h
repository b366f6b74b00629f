// Win32 tests: a window's menu bar as the user meets it. A tap puts the
// stylus down and up on the button, so a disabled button does nothing.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "platform/handheld.h"

namespace modaltest {

inline void TapMenuBarButton(HWND owner, int command) {
    HWND toolbar = FindWindowExW(MenuBarFind(owner), nullptr, TOOLBARCLASSNAMEW, nullptr);
    RECT r{};
    ASSERT_TRUE(toolbar && SendMessageW(toolbar, TB_GETRECT, WPARAM(command), reinterpret_cast<LPARAM>(&r)))
        << "no menu bar button " << command;
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(toolbar, WM_LBUTTONUP, 0, at);
}

inline bool MenuBarButtonEnabled(HWND owner, int command) {
    return (SendMessageW(MenuBarFind(owner), TB_GETSTATE, WPARAM(command), 0) & TBSTATE_ENABLED) != 0;
}

}  // namespace modaltest
