// The browser model on a real window under Wine: thumbnails of a real folder
// arrive as the worker's messages, and files made, saved over, extracted,
// renamed and deleted in the shown folder update the list through the
// folder watch.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "display/display_win.h"
#include "imagelib/fileio.h"
#include "imagelib/imagelib.h"
#include "app/browser_win.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"
#include "zip/zip.h"

using testing_support::ScratchDir;

namespace {

std::wstring Fixture(const char* name) { return testing_support::FixtureFile(PV_SHELL_FIXTURES, name); }

// The main window's part: the model's messages, counted.
class BrowserWindow : public BrowserView {
public:
    BrowserWindow() {
        static const bool registered = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"PvBrowserTestWindow";
            return RegisterClassW(&wc) != 0;
        }();
        (void)registered;
        window_ = CreateWindowW(L"PvBrowserTestWindow", L"Browser", WS_OVERLAPPED, 0, 0, 240, 320, nullptr, nullptr,
                                GetModuleHandleW(nullptr), this);
    }
    ~BrowserWindow() override {
        model.reset();
        UnwatchFolders(window_);
        DestroyWindow(window_);
    }
    HWND get() const { return window_; }
    void WatchFolder(const std::wstring& folder, bool subfolders) override {
        WatchBrowserFolder(window_, folder, subfolders);
    }

    // Pumps until `done` holds or the (generous) guard time passes.
    bool PumpUntil(const std::function<bool()>& done) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > 20000) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        }
        return true;
    }

    std::unique_ptr<BrowserModel> model;
    int ready = 0;
    int done = 0;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM first, LPARAM second) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(second)->lpCreateParams));
        auto* self = reinterpret_cast<BrowserWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->model) {
            if (message == kThumbReadyMessage) ++self->ready;
            if (message == kThumbsDoneMessage) ++self->done;
            if (HandleBrowserMessage(self->model.get(), message, first, second)) return 0;
        }
        return DefWindowProcW(window, message, first, second);
    }
    HWND window_;
};

class Browser : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing_support::EnsureFormatRegistry();
        ASSERT_EQ(DisplayInit(), 1);
    }
    void SetUp() override {
        folder = dir.path().wstring() + L"\\";
        for (const char* name : {"wide.jpg", "tall.png", "small.gif", "broken.jpg"})
            ASSERT_TRUE(CopyFileW(Fixture(name).c_str(), (folder + Utf8ToWide(name)).c_str(), FALSE));
        BrowserSettings settings;
        ScreenThumbBox(2, &settings.boxWidth, &settings.boxHeight);
        window.model = std::make_unique<BrowserModel>(Win32BrowserServices(window.get()), &window);
        window.model->SetSettings(settings);
    }
    long Find(const wchar_t* name) const {
        const FileList& entries = window.model->Entries();
        for (size_t i = 0; i < entries.size(); ++i)
            if (folder + name == entries[i].path) return long(i);
        return -1;
    }
    const FileListEntry& Entry(const wchar_t* name) const { return window.model->Entries()[size_t(Find(name))]; }
    bool AllDone() { return window.PumpUntil([this] { return !window.model->WorkerRunning(); }); }

    ScratchDir dir;
    std::wstring folder;
    BrowserWindow window;
};

TEST_F(Browser, ThumbnailsOfARealFolderArriveAsWorkerMessages) {
    window.model->BrowseFolder(folder);
    ASSERT_EQ(window.model->Entries().size(), 4u);
    ASSERT_TRUE(window.PumpUntil([this] { return window.done == 1; }));
    EXPECT_EQ(window.ready, 4);  // the broken picture too: its item is redrawn
    const int32_t box = window.model->Settings().boxWidth;
    EXPECT_EQ(box, 70);  // ThumbSize 2 at 96 dpi
    for (const wchar_t* name : {L"wide.jpg", L"tall.png", L"small.gif"}) {
        const FileListEntry& e = Entry(name);
        EXPECT_EQ(e.state, uint32_t(kEntryExamined)) << name;
        ASSERT_NE(e.thumbnail, nullptr) << name;
        BITMAP bm = {};
        ASSERT_NE(GetObjectW(e.thumbnail, sizeof bm, &bm), 0);
        EXPECT_EQ(bm.bmWidth, e.thumbWidth);
        EXPECT_LE(e.thumbWidth, box);
        EXPECT_LE(e.thumbHeight, box);
    }
    EXPECT_EQ(Entry(L"wide.jpg").width, 320u);
    EXPECT_EQ(Entry(L"wide.jpg").thumbWidth, 70);
    EXPECT_EQ(Entry(L"wide.jpg").thumbHeight, 44);
    EXPECT_EQ(Entry(L"tall.png").thumbHeight, 70);
    EXPECT_EQ(Entry(L"broken.jpg").state, uint32_t(kEntryNotExamined));
    // Done: the cache was written and closed.
    EXPECT_FALSE(window.model->Cache().IsOpen());
    ThumbCache cache;
    ASSERT_TRUE(cache.Open(folder, box, box));
    EXPECT_EQ(cache.Records().size(), 3u);
    cache.Close(false);

    // A second visit: every thumbnail from the cache, the same sizes.
    window.ready = window.done = 0;
    window.model->BrowseFolder(folder);
    ASSERT_TRUE(window.PumpUntil([this] { return window.done == 1; }));
    EXPECT_EQ(window.ready, 4);
    EXPECT_EQ(Entry(L"wide.jpg").thumbHeight, 44);
    EXPECT_EQ(Entry(L"small.gif").state, uint32_t(kEntryExamined));
}

TEST_F(Browser, FilesMadeSavedExtractedAndDeletedUpdateTheList) {
    window.model->BrowseFolder(folder);
    ASSERT_TRUE(AllDone());

    // A received file: copied in.
    ASSERT_TRUE(CopyFileW(Fixture("small.gif").c_str(), (folder + L"received.gif").c_str(), FALSE));
    ASSERT_TRUE(window.PumpUntil([this] { return Find(L"received.gif") >= 0; }));
    ASSERT_TRUE(AllDone());
    EXPECT_EQ(Entry(L"received.gif").state, uint32_t(kEntryExamined));

    // A save of a new picture through the library (a temporary sibling
    // renamed onto the name): listed once, never its sibling.
    Bitmap picture{};
    LoadOptions load;
    InitLoadOptions(&load);
    ASSERT_EQ(LoadPictureFromFile(Fixture("tall.png").c_str(), &picture, &load, nullptr), 0);
    SaveOptions options;
    InitSaveOptions(&options);
    options.formatIndex = kFormatPng;
    ASSERT_EQ(SavePictureToFile((folder + L"saved.png").c_str(), &picture, &options), 0);
    ASSERT_TRUE(window.PumpUntil([this] { return Find(L"saved.png") >= 0; }));
    // Saved over: the same entry, read again.
    ASSERT_TRUE(AllDone());
    const size_t count = window.model->Entries().size();
    options.formatIndex = kFormatJpeg;
    ASSERT_EQ(SavePictureToFile((folder + L"wide.jpg").c_str(), &picture, &options), 0);
    FreeBitmap(&picture);
    ASSERT_TRUE(window.PumpUntil([this] { return Entry(L"wide.jpg").width == 90; }));
    EXPECT_EQ(window.model->Entries().size(), count);

    // Extracted from an archive.
    ZipHandle* zip = OpenZipFile(Fixture("pictures.zip").c_str(), nullptr);
    ASSERT_NE(zip, nullptr);
    SetUnzipBaseDir(zip, folder.c_str());
    ASSERT_EQ(UnzipItemToFile(zip, 0, L"extracted.jpg"), 0u);
    CloseZipReader(zip);
    ASSERT_TRUE(window.PumpUntil([this] { return Find(L"extracted.jpg") >= 0; }));

    // Renamed: the old name goes, the new one comes.
    ASSERT_TRUE(MoveFileW((folder + L"small.gif").c_str(), (folder + L"renamed.gif").c_str()));
    ASSERT_TRUE(window.PumpUntil([this] { return Find(L"renamed.gif") >= 0 && Find(L"small.gif") < 0; }));

    // A folder and a text file are never listed.
    ASSERT_TRUE(CreateDirectoryW((folder + L"folder.jpg").c_str(), nullptr));
    testing_support::WriteText(folder + L"notes.txt", "x");

    // Deleted: the entry goes, the shown one moves with it. The worker tries
    // the broken picture again on every run; it is done with it first, as
    // the delete command stops it.
    ASSERT_TRUE(AllDone());
    window.model->SetCurrentIndex(Find(L"tall.png"));
    ASSERT_TRUE(DeleteFileW((folder + L"broken.jpg").c_str()));
    ASSERT_TRUE(window.PumpUntil([this] { return Find(L"broken.jpg") < 0; }));
    EXPECT_EQ(window.model->CurrentIndex(), Find(L"tall.png"));
    ASSERT_TRUE(AllDone());
    std::vector<std::wstring> names;
    for (const FileListEntry& e : window.model->Entries()) names.push_back(e.path + folder.size());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"tall.png", L"wide.jpg", L"received.gif", L"saved.png",
                                                 L"extracted.jpg", L"renamed.gif"}));
}

// Threads of this process now.
int ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t = {};
    t.dwSize = sizeof t;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &t); more; more = Thread32Next(snapshot, &t))
        if (t.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

TEST(FolderWatchScale, ATreeOfManyFoldersIsWatchedByOneThread) {
    ScratchDir dir;
    const std::wstring root = dir.path().wstring() + L"\\";
    // 17 folders of 17 subfolders each, and the root: 307 folders.
    for (int i = 0; i < 17; ++i) {
        const std::wstring top = root + L"f" + std::to_wstring(i) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
        for (int j = 0; j < 17; ++j) ASSERT_TRUE(CreateDirectoryW((top + L"s" + std::to_wstring(j)).c_str(), nullptr));
    }
    BrowserWindow window;
    const int before = ThreadCount();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WatchFolder(FolderWatchSpec{window.get(), kFileChangeMessage, root.c_str(), true, kFileCreated}));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int added = ThreadCount() - before;
    std::printf("watching 307 folders: %.3f s to register, %d thread(s) added\n", seconds, added);
    EXPECT_EQ(added, 1);
    // A file in the last folder is seen.
    bool seen = false;
    std::wstring wanted = root + L"f16\\s16\\deep.jpg";
    testing_support::WriteText(wanted, "x");
    const DWORD t0 = GetTickCount();
    while (!seen && GetTickCount() - t0 < 20000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, window.get(), kFileChangeMessage, kFileChangeMessage, PM_REMOVE)) {
            auto* record = reinterpret_cast<FileChangeRecord*>(m.wParam);
            if (wanted == record->item) seen = true;
            FreeFileChange(record);
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(UnwatchFolders(window.get()));
    EXPECT_EQ(ThreadCount(), before);
}

// Past the folders one watch takes, the window is told which folder was
// left out, once.
TEST(FolderWatchScale, FoldersPastTheLimitAreReportedNotDropped) {
    ScratchDir dir;
    const std::wstring root = dir.path().wstring() + L"\\";
    for (int i = 0; i < 4100; ++i) ASSERT_TRUE(CreateDirectoryW((root + L"d" + std::to_wstring(i)).c_str(), nullptr));
    BrowserWindow window;
    ASSERT_TRUE(WatchFolder(FolderWatchSpec{window.get(), kFileChangeMessage, root.c_str(), true, kFileCreated}));
    int incomplete = 0;
    MSG m;
    while (PeekMessageW(&m, window.get(), kFileChangeMessage, kFileChangeMessage, PM_REMOVE)) {
        auto* record = reinterpret_cast<FileChangeRecord*>(m.wParam);
        if (record->event == kWatchIncomplete) ++incomplete;
        FreeFileChange(record);
    }
    EXPECT_EQ(incomplete, 1);
    EXPECT_TRUE(UnwatchFolders(window.get()));
}

}  // namespace
