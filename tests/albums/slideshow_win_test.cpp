// The album slideshow window under Wine: an album written from the fixture
// pictures plays full screen, one picture after another on its delay, loops
// with its sound restarted, and ends on a tap with everything cleaned up;
// albums that cannot be played open no window.
#include "display/slideshow_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "albumtest.h"
#include "display/audio.h"
#include "display/display_win.h"
#include "display/view_win.h"
#include "imagelib/imagelib.h"
#include "platform/handheld.h"
#include "screen_win.h"
#include "tests/support/pictures.h"

using namespace albumtest;
using namespace screentest;
using testing_support::ScratchDir;

namespace {

std::vector<std::wstring> g_audioLog;

void LogAudio(const wchar_t* path, uintptr_t) { g_audioLog.push_back(path ? path : L"<stop>"); }

// Stand-ins for the browser's thumbnail worker.
std::vector<std::string> g_workerLog;
const SlideshowHooks kWorkerHooks{
    [](uintptr_t user) { g_workerLog.push_back("stop " + std::to_string(user)); },
    [](uintptr_t user) { g_workerLog.push_back("start " + std::to_string(user)); },
    7};

class SlideshowWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::EnsureFormatRegistry();
        ASSERT_EQ(DisplayInit(), 1);
        const SlideshowAudio audio{LogAudio, 0};
        SetSlideshowAudio(&audio);
        g_audioLog.clear();
        g_workerLog.clear();
    }
    void TearDown() override {
        if (HWND w = FindWindowW(L"slideClass", nullptr)) DestroyWindow(w);
        SetSlideshowAudio(nullptr);
    }
    // Writes an album of the pictures into the scratch folder.
    void MakeAlbum(std::initializer_list<const char*> names, int32_t delay, int32_t loop, bool sound,
                   int32_t transitions = 0) {
        const PathList pictures(names);
        AlbumOptions o = Options(folder, L"show.alb");
        o.delay = delay;
        o.loop = loop;
        o.transitions = transitions;
        if (sound) {
            o.sound = 1;
            std::wcsncpy(o.soundFile, Fixture("tone.wav").c_str(), kAlbumPathChars - 1);
        }
        const AlbumWriteEnv env{folder.c_str(), 240, 320};
        ASSERT_EQ(AlbumWriteFile(pictures.data(), pictures.count(), o, nullptr, 0, env), kAlbumWritten);
    }
    ScratchDir dir;
    std::wstring folder = FolderOf(dir);
};

// With transitions: each picture arrives through an effect and then stands.
TEST_F(SlideshowWindowTest, PlaysFullScreenLoopsWithSoundAndEndsOnATap) {
    MakeAlbum({"red.jpg", "notapicture.jpg", "blue.jpg"}, 1, 1, true, 1);
    HWND show = SlideshowStartAlbum(nullptr, folder.c_str(), L"show.alb");
    ASSERT_NE(show, nullptr);
    RECT r;
    GetWindowRect(show, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(GetWindowLongW(show, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(TopBarShown());
    EXPECT_FALSE(InputButtonShown());

    // The sound, extracted under its kind's extension, plays from the start.
    ASSERT_EQ(g_audioLog.size(), 1u);
    const std::wstring sound = g_audioLog[0];
    EXPECT_EQ(sound, std::wstring(SlideshowExtractFolder()) + L"0003.wav");
    EXPECT_TRUE(std::filesystem::exists(sound));

    // Red first; the picture that failed is skipped; then blue; then red
    // again with the sound stopped and started anew.
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    ASSERT_TRUE(PumpUntil([] { return g_audioLog.size() >= 3; }));
    EXPECT_EQ(g_audioLog[1], L"<stop>");
    EXPECT_EQ(g_audioLog[2], sound);
    // Pictures are deleted once shown.
    EXPECT_FALSE(std::filesystem::exists(std::wstring(SlideshowExtractFolder()) + L"0000"));

    // A tap on the view ends the show: the sound stops, its file and the
    // extraction folder go, and full screen is given back.
    ASSERT_TRUE(TapView(show));
    ASSERT_TRUE(PumpUntil([show] { return !IsWindow(show); }));
    EXPECT_EQ(g_audioLog.back(), L"<stop>");
    EXPECT_FALSE(std::filesystem::exists(sound));
    EXPECT_FALSE(std::filesystem::exists(SlideshowExtractFolder()));
    EXPECT_TRUE(TopBarShown());
}

// The thumbnail worker is stopped once, while the show runs, and started
// again once when it ends.
TEST_F(SlideshowWindowTest, WithoutLoopClosesAfterTheLastPicture) {
    MakeAlbum({"green.jpg", "blue.jpg"}, 0, 0, false);
    HWND show = SlideshowStartAlbum(&kWorkerHooks, folder.c_str(), L"show.alb");
    ASSERT_NE(show, nullptr);
    EXPECT_EQ(g_workerLog, std::vector<std::string>{"stop 7"});
    ASSERT_TRUE(PumpUntil([show] { return !IsWindow(show); }));
    EXPECT_EQ(g_workerLog, (std::vector<std::string>{"stop 7", "start 7"}));
    EXPECT_TRUE(g_audioLog.empty());
    EXPECT_TRUE(TopBarShown());
}

TEST_F(SlideshowWindowTest, AlbumsThatCannotPlayOpenNoWindow) {
    // Not there; not an archive; an archive without config; a config
    // listing a path.
    testing_support::WriteText(dir.File("text.alb"), "not an archive");
    testing_support::WriteText(dir.File("config"), "#Trelmo Album\ncount = 1\n..\\x,a\n");
    ZipHandle* w = CreateZipFile(dir.File("noconfig.alb").c_str(), nullptr);
    ASSERT_EQ(ZipAddFile(w, L"0000", Fixture("red.jpg").c_str()), kZipOk);
    CloseZipWriter(w);
    w = CreateZipFile(dir.File("path.alb").c_str(), nullptr);
    ASSERT_EQ(ZipAddFile(w, L"config", dir.File("config").c_str()), kZipOk);
    CloseZipWriter(w);
    for (const wchar_t* name : {L"missing.alb", L"text.alb", L"noconfig.alb", L"path.alb"}) {
        SCOPED_TRACE(testing_support::ToFsPath(name).string());
        EXPECT_EQ(SlideshowStartAlbum(&kWorkerHooks, folder.c_str(), name), nullptr);
        EXPECT_EQ(FindWindowW(L"slideClass", nullptr), nullptr);
    }
    // No show, so the worker was never touched.
    EXPECT_TRUE(g_workerLog.empty());
}

}  // namespace
