// What every part of the viewer asks for: the program instance, the screen's
// pixels per inch, the translated texts, the browser model and the main
// window's menu bar. Start-up and the main window fill them in; they live
// here, below the main window, the browser controller, the list view and the
// commands, so that those ask nothing of the parts above them.
#include <memory>
#include <string>
#include <utility>

#include "app/browser_win.h"
#include "app/viewer_win.h"
#include "platform/handheld.h"
#include "shell/language_win.h"

int g_DpiX = 96;
int g_DpiY = 96;
HINSTANCE g_Instance = nullptr;

namespace {

std::unique_ptr<BrowserModel> g_model;
HWND g_menuBar = nullptr;

}  // namespace

BrowserModel* ViewerModel() { return g_model.get(); }

void SetViewerModel(std::unique_ptr<BrowserModel> model) { g_model = std::move(model); }

BrowserSettings ViewerBrowserSettings() {
    BrowserSettings settings;
    settings.recursive = g_AppSettings.recursive;
    settings.useCache = g_AppSettings.useCache;
    settings.highQualityThumb = g_AppSettings.highQualityThumb;
    settings.addToBottom = g_AppSettings.addToBottom;
    settings.sort = uint32_t(g_AppSettings.sort);
    ScreenThumbBox(g_AppSettings.thumbSize, &settings.boxWidth, &settings.boxHeight);
    return settings;
}

const SlideshowHooks* BrowserSlideshowHooks() {
    static const SlideshowHooks hooks{
        [](uintptr_t) {
            if (g_model) g_model->StopWorker();
        },
        [](uintptr_t) {
            if (g_model) g_model->StartWorker();
        },
        0};
    return &hooks;
}

HWND MainMenuBar() { return g_menuBar; }

void SetMainMenuBar(HWND bar) { g_menuBar = bar; }

HMENU MainMenu() { return g_menuBar ? MenuBarGetMenu(g_menuBar) : nullptr; }

std::wstring LoadText(UINT id, const char* key) {
    wchar_t buffer[512] = L"";
    LngGetString(g_Instance, id, key, buffer, 512);
    return buffer;
}

std::wstring FillFormat(const std::wstring& format, const std::wstring& argument) {
    const size_t at = format.find(L"%s");
    if (at == std::wstring::npos) return format;
    return format.substr(0, at) + argument + format.substr(at + 2);
}
