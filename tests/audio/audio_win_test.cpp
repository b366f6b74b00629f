// The slideshow sound under Wine, against a stand-in audio library of ours
// (fmodce_test_dll.cpp) that logs its calls: songs and streams start and
// stop with the documented arguments, the library starts once and is shut
// down on unload, a library that never starts is freed, entry points it
// lacks are never called, paths the ANSI code page cannot write still reach
// it, and an album with sound played by the slideshow window goes through it.
#include "display/audio.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "albumtest.h"
#include "display/display_win.h"
#include "display/slideshow_win.h"
#include "screen_win.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

using testing_support::ScratchDir;

namespace {

std::wstring LibraryFolder(const char* variant) {
    return testing_support::FixtureFile(PV_AUDIO_DLL_DIR, variant);
}

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = dir_.File("calls.log");
        SetEnvironmentVariableW(L"PV_FMOD_LOG", log_.c_str());
        SetEnvironmentVariableW(L"PV_FMOD_INIT_FAILS", nullptr);
        SetEnvironmentVariableW(L"PV_FMOD_SONG_TYPE", nullptr);
        UseLibrary("full");
        SetSlideshowAudio(nullptr);
    }
    void TearDown() override {
        AudioUnload();
        SetDllDirectoryW(nullptr);
        SetEnvironmentVariableW(L"PV_FMOD_LOG", nullptr);
    }

    static void UseLibrary(const char* variant) {
        ASSERT_TRUE(SetDllDirectoryW(LibraryFolder(variant).c_str()));
    }

    // The calls logged since the last look.
    std::vector<std::string> Calls() {
        std::ifstream in(testing_support::ToFsPath(log_));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::vector<std::string> fresh(lines.begin() + std::min(seen_, lines.size()), lines.end());
        seen_ = lines.size();
        return fresh;
    }

    // A small file to play (its content does not matter to the stand-in).
    std::wstring SoundFile(const char* name) {
        const std::wstring path = dir_.File(name);
        testing_support::WriteText(path, "sound");
        return path;
    }

    static std::string Narrow(const std::wstring& path) {
        char buffer[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
        return buffer;
    }

    ScratchDir dir_;
    std::wstring log_;
    size_t seen_ = 0;
};

using Lines = std::vector<std::string>;

TEST_F(AudioTest, SongsAndStreamsStartAndStopThroughTheLibrary) {
    const std::wstring song = SoundFile("tune.mod");
    const std::string s = Narrow(song);
    AudioPlay(song.c_str());
    EXPECT_EQ(Calls(), (Lines{"FSOUND_SetBufferSize 200", "FSOUND_Init 22050 48 2 -> 1",
                              "FMUSIC_LoadSong " + s + " -> 1", "FMUSIC_GetType 1", "FMUSIC_SetMasterVolume 1 128",
                              "FMUSIC_SetPanSeperation 1 0.85", "FMUSIC_PlaySong 1"}));
    AudioPlay(nullptr);
    EXPECT_EQ(Calls(), Lines{"FMUSIC_FreeSong 1"});

    // Anything else is a stream; the library is started only once.
    const std::wstring wave = SoundFile("tone.wav");
    const std::string w = Narrow(wave);
    AudioPlay(wave.c_str());
    EXPECT_EQ(Calls(), (Lines{"FMUSIC_LoadSong " + w + " -> 0", "FSOUND_Stream_Open " + w + " 0x2132 0 0 -> 2",
                              "FSOUND_Stream_Play -1 2"}));
    AudioPlay(nullptr);
    EXPECT_EQ(Calls(), Lines{"FSOUND_Stream_Close 2"});
    AudioPlay(nullptr);
    EXPECT_EQ(Calls(), Lines{});

    // A file that is neither plays nothing and holds nothing.
    AudioPlay(dir_.File("missing.mp3").c_str());
    AudioPlay(nullptr);
    EXPECT_EQ(Calls().size(), 2u);

    AudioUnload();
    EXPECT_EQ(Calls(), Lines{"FSOUND_Close"});
    EXPECT_EQ(GetModuleHandleW(L"fmodce.dll"), nullptr);
    AudioUnload();
    EXPECT_EQ(Calls(), Lines{});
}

TEST_F(AudioTest, SongTypesDecideVolumeAndSeparation) {
    const std::wstring song = SoundFile("tune.xm");
    const struct {
        const wchar_t* type;
        bool volume, separation;
    } cases[] = {{L"1", true, true}, {L"2", true, true}, {L"3", true, false}, {L"4", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::ToFsPath(c.type).string());
        SetEnvironmentVariableW(L"PV_FMOD_SONG_TYPE", c.type);
        AudioPlay(song.c_str());
        AudioPlay(nullptr);
        bool volume = false, separation = false;
        for (const std::string& line : Calls()) {
            volume = volume || line.rfind("FMUSIC_SetMasterVolume", 0) == 0;
            separation = separation || line.rfind("FMUSIC_SetPanSeperation", 0) == 0;
        }
        EXPECT_EQ(volume, c.volume);
        EXPECT_EQ(separation, c.separation);
    }
}

TEST_F(AudioTest, StartingIsRetriedAndALibraryThatNeverStartsIsFreed) {
    SetEnvironmentVariableW(L"PV_FMOD_INIT_FAILS", L"3");
    EXPECT_NE(AudioLoadLibrary() & 0xFF, 0);
    EXPECT_EQ(Calls().size(), 1u + 4u);
    EXPECT_NE(AudioLoadLibrary() & 0xFF, 0) << "already started";
    EXPECT_EQ(Calls(), Lines{});
    AudioUnload();
    Calls();

    SetEnvironmentVariableW(L"PV_FMOD_INIT_FAILS", L"1000");
    EXPECT_EQ(AudioLoadLibrary(), 0);
    EXPECT_EQ(Calls().size(), 1u + 11u);
    EXPECT_EQ(GetModuleHandleW(L"fmodce.dll"), nullptr);
    // Wave files then go to PlaySoundW: the library is not called again
    // apart from the next attempt to start it.
    AudioPlay(nullptr);
    for (const std::string& line : Calls()) EXPECT_EQ(line.rfind("FSOUND_", 0), 0u) << line;
    EXPECT_EQ(GetModuleHandleW(L"fmodce.dll"), nullptr);
}

TEST_F(AudioTest, WithoutTheLibraryNothingIsLoaded) {
    ScratchDir empty;
    ASSERT_TRUE(SetDllDirectoryW(empty.path().wstring().c_str()));
    EXPECT_EQ(AudioLoadLibrary(), 0);
    AudioPlay(SoundFile("tone.wav").c_str());
    AudioPlay(nullptr);
    EXPECT_EQ(Calls(), Lines{});
    EXPECT_EQ(GetModuleHandleW(L"fmodce.dll"), nullptr);
}

TEST_F(AudioTest, EntryPointsTheLibraryLacksAreNeverCalled) {
    UseLibrary("partial");
    const std::wstring song = SoundFile("tune.mod");
    AudioPlay(song.c_str());
    // No song loader: a stream, which cannot be played without its call.
    EXPECT_EQ(Calls(), (Lines{"FSOUND_SetBufferSize 200", "FSOUND_Init 22050 48 2 -> 1",
                              "FSOUND_Stream_Open " + Narrow(song) + " 0x2132 0 0 -> 1"}));
    AudioPlay(nullptr);
    EXPECT_EQ(Calls(), Lines{"FSOUND_Stream_Close 1"});
}

TEST_F(AudioTest, PathsTheAnsiCodePageCannotWriteGoByTheirShortName) {
    const std::wstring path = dir_.File("") + L"\x03AE\x03C7\x03BF\x03C2 \x266B.wav";
    testing_support::WriteText(path, "sound");
    AudioPlay(path.c_str());
    const Lines calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    // The stand-in opened the file by the name it was given.
    EXPECT_EQ(calls[3].substr(calls[3].size() - 4), "-> 1") << calls[3];
    EXPECT_EQ(calls[3].find('?'), std::string::npos) << calls[3];
}

TEST_F(AudioTest, AnAlbumShowPlaysItsSoundThroughTheLibrary) {
    testing_support::EnsureFormatRegistry();
    ASSERT_EQ(DisplayInit(), 1);
    const std::wstring folder = albumtest::FolderOf(dir_);
    const albumtest::PathList pictures({"red.jpg", "blue.jpg"});
    AlbumOptions o = albumtest::Options(folder, L"show.alb");
    o.delay = 1;
    o.loop = 1;
    o.sound = 1;
    std::wcsncpy(o.soundFile, albumtest::Fixture("tone.wav").c_str(), kAlbumPathChars - 1);
    const AlbumWriteEnv env{folder.c_str(), 240, 320};
    ASSERT_EQ(AlbumWriteFile(pictures.data(), pictures.count(), o, nullptr, 0, env), kAlbumWritten);

    HWND show = SlideshowStartAlbum(nullptr, folder.c_str(), L"show.alb");
    ASSERT_NE(show, nullptr);
    const std::string sound = Narrow(std::wstring(SlideshowExtractFolder()) + L"0002.wav");
    Lines calls = Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[3], "FSOUND_Stream_Open " + sound + " 0x2132 0 0 -> 1");
    EXPECT_EQ(calls[4], "FSOUND_Stream_Play -1 1");

    // A tap ends the show and stops the stream.
    ASSERT_TRUE(screentest::TapView(show));
    ASSERT_TRUE(screentest::PumpUntil([show] { return !IsWindow(show); }));
    calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().rfind("FSOUND_Stream_Close", 0), 0u) << calls.back();
}

}  // namespace
