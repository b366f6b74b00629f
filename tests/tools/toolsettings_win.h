// Win32 tool tests: a fixture whose settings live under a key of its own,
// emptied before and after each test (test programs share one registry when
// run side by side).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/settings_win.h"
#include "tests/support/pictures.h"

class ToolSettingsTest : public ::testing::Test {
protected:
    explicit ToolSettingsTest(const wchar_t* root) : root_(root) {}
    void SetUp() override {
        testing_support::EnsureFormatRegistry();
        InitCommonControls();
        RegSetSettingsRoot(root_.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
        RegSetSettingsRoot(L"Software\\Trelmo");
    }

private:
    std::wstring root_;
};
