// The slideshow player under Wine, as a user meets it: a stand-alone
// slideshow made by the maker from the fixture pictures runs as its own
// process, shows each picture full screen (read back from the screen), ends
// by itself after the last one or at once on a tap; the player as it ships
// has no show and exits with code 1, and holds no copy of the show's magic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "albumtest.h"
#include "player/showfile.h"
#include "screen_win.h"
#include "tests/support/pictures.h"
#include "tools/slideshowmaker.h"

using namespace albumtest;
using namespace screentest;
using testing_support::ScratchDir;

namespace {

const std::wstring kPlayer = Utf8ToWide(PV_SLIDE_EXE);

struct Running {
    PROCESS_INFORMATION pi{};
    bool started = false;
    ~Running() {
        if (!started) return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    // The exit code once the process ends within the limit, else -1.
    int ExitCode(DWORD limitMs = 20000) {
        if (WaitForSingleObject(pi.hProcess, limitMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return int(code);
    }
};

bool Start(const std::wstring& program, Running* run) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring command = L"\"" + program + L"\"";
    run->started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &si, &run->pi) != 0;
    return run->started;
}

HWND PlayerWindow() { return FindWindowW(L"slideClass", L"TrelmoSlide"); }

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::EnsureFormatRegistry(); }
    std::wstring MakeShow(std::initializer_list<const char*> names, int32_t delay, int32_t loop,
                          int32_t transitions = 0) {
        const PathList pictures(names);
        AlbumOptions o = Options(folder, L"show.exe");
        o.delay = delay;
        o.loop = loop;
        o.transitions = transitions;
        const ExeSlideshowEnv env{kPlayer.c_str(), AlbumWriteEnv{folder.c_str(), 240, 320}};
        // Magenta around the pictures: neither a picture's colour nor grey.
        EXPECT_EQ(WriteExeSlideshowFile(pictures.data(), pictures.count(), o, RGB(255, 0, 255), nullptr, 0, env),
                  kExeSlideshowWritten);
        return folder + L"show.exe";
    }
    ScratchDir dir;
    std::wstring folder = FolderOf(dir);
};

TEST_F(PlayerTest, ShowsEachPictureAndEndsAfterTheLast) {
    const std::wstring show = MakeShow({"red.jpg", "green.jpg", "grey.jpg"}, 1, 0);
    Running run;
    ASSERT_TRUE(Start(show, &run));
    ASSERT_TRUE(PumpUntil([] { return PlayerWindow() != nullptr; }));
    RECT r;
    GetWindowRect(PlayerWindow(), &r);
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYSCREEN));
    // Colour pictures keep their colours (red is not shown blue), the grey
    // one shows grey, the show's background is around them.
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    EXPECT_EQ(ScreenPixel(5, 5), 0xFF00FFu);
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGreen; }));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kGrey; }));
    EXPECT_EQ(run.ExitCode(), 0);
}

TEST_F(PlayerTest, LoopingShowEndsOnATap) {
    const std::wstring show = MakeShow({"blue.jpg"}, 1, 1);
    Running run;
    ASSERT_TRUE(Start(show, &run));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue && PlayerWindow(); }));
    // One picture with loop: it stays.
    Sleep(1500);
    ASSERT_EQ(WaitForSingleObject(run.pi.hProcess, 0), DWORD(WAIT_TIMEOUT));
    ASSERT_TRUE(TapView(PlayerWindow()));
    EXPECT_EQ(run.ExitCode(), 0);
}

// With transitions the pictures arrive through effects, and the show goes
// round.
TEST_F(PlayerTest, TransitionsAndLoop) {
    const std::wstring show = MakeShow({"red.jpg", "blue.jpg"}, 1, 1, 1);
    Running run;
    ASSERT_TRUE(Start(show, &run));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kBlue; }));
    ASSERT_TRUE(PumpUntil([] { return ScreenHue(120, 160) == Hue::kRed; }));
    ASSERT_TRUE(TapView(PlayerWindow()));
    EXPECT_EQ(run.ExitCode(), 0);
}

TEST(Player, AsShippedHasNoShowAndNoMagic) {
    Running run;
    ASSERT_TRUE(Start(kPlayer, &run));
    EXPECT_EQ(run.ExitCode(), 1);
    const std::vector<uint8_t> bytes = testing_support::ReadBytes(kPlayer);
    ASSERT_GT(bytes.size(), 4096u);
    uint8_t magic[kShowMagicLength];
    ShowMagic(magic);
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), magic, magic + kShowMagicLength), bytes.end());
    // The program image ends where the file ends: nothing after it.
    EXPECT_EQ(PeImageEnd(bytes.data(), 4096), int64_t(bytes.size()));
}

}  // namespace
