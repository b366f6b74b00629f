// The slideshow sound's player table and the built-in player: the audio
// library when it can be loaded and started, PlaySoundW otherwise.
#include "display/audio.h"

#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "display/audiolib.h"

namespace {

// The loaded library and what is playing through it. Main thread only.
struct AudioLibrary {
    HMODULE module = nullptr;
    FSOUND_SetBufferSizeFn setBufferSize = nullptr;
    FSOUND_InitFn init = nullptr;
    FSOUND_CloseFn close = nullptr;
    FMUSIC_LoadSongFn loadSong = nullptr;
    FMUSIC_FreeSongFn freeSong = nullptr;
    FMUSIC_PlaySongFn playSong = nullptr;
    FMUSIC_GetTypeFn getType = nullptr;
    FMUSIC_SetMasterVolumeFn setMasterVolume = nullptr;
    FMUSIC_SetPanSeperationFn setPanSeparation = nullptr;
    FSOUND_Stream_OpenFn streamOpen = nullptr;
    FSOUND_Stream_CloseFn streamClose = nullptr;
    FSOUND_Stream_PlayFn streamPlay = nullptr;
    int initResult = 0;
    AudioLibrarySong* song = nullptr;
    AudioLibraryStream* stream = nullptr;
};

AudioLibrary g_library;

constexpr int kInitRetries = 10;
constexpr DWORD kInitRetryMs = 100;
// The library takes 8-bit paths of at most this many bytes.
constexpr int kLibraryPathBytes = 260;

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn* slot) {
    *slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void BindAll(AudioLibrary* l) {
    Bind(l->module, "FSOUND_SetBufferSize", &l->setBufferSize);
    Bind(l->module, "FSOUND_Init", &l->init);
    Bind(l->module, "FSOUND_Close", &l->close);
    Bind(l->module, "FMUSIC_LoadSong", &l->loadSong);
    Bind(l->module, "FMUSIC_FreeSong", &l->freeSong);
    Bind(l->module, "FMUSIC_PlaySong", &l->playSong);
    Bind(l->module, "FMUSIC_GetType", &l->getType);
    Bind(l->module, "FMUSIC_SetMasterVolume", &l->setMasterVolume);
    Bind(l->module, "FMUSIC_SetPanSeperation", &l->setPanSeparation);
    Bind(l->module, "FSOUND_Stream_Open", &l->streamOpen);
    Bind(l->module, "FSOUND_Stream_Close", &l->streamClose);
    Bind(l->module, "FSOUND_Stream_Play", &l->streamPlay);
}

// The path as the library's 8-bit text in the ANSI code page. A path with
// characters that page lacks goes by its short name, which has none; a path
// that still cannot be written, or is too long, gives an empty text (not
// played) rather than the name of some other file.
std::string LibraryPath(const wchar_t* path) {
    const auto convert = [](const wchar_t* wide, std::string* out) {
        char buffer[kLibraryPathBytes];
        BOOL lossy = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, sizeof buffer, nullptr,
                                          &lossy);
        if (n <= 0 || lossy) return false;
        out->assign(buffer);
        return true;
    };
    std::string out;
    if (convert(path, &out)) return out;
    wchar_t shortPath[MAX_PATH];
    const DWORD n = GetShortPathNameW(path, shortPath, MAX_PATH);
    if (n > 0 && n < MAX_PATH && convert(shortPath, &out)) return out;
    return {};
}

void StopLibrarySound() {
    if (g_library.song && g_library.freeSong) g_library.freeSong(g_library.song);
    if (g_library.stream && g_library.streamClose) g_library.streamClose(g_library.stream);
    g_library.song = nullptr;
    g_library.stream = nullptr;
}

void PlayThroughLibrary(const wchar_t* path) {
    // A sound still held would lose its handle and could never be stopped.
    StopLibrarySound();
    const std::string name = LibraryPath(path);
    if (name.empty()) return;
    AudioLibrarySong* song = g_library.loadSong ? g_library.loadSong(name.c_str()) : nullptr;
    if (song) {
        // The handle is kept even when playing cannot start, so a stop frees it.
        g_library.song = song;
        const int type = g_library.getType ? g_library.getType(song) : 0;
        if (type != kAudioSongKeepsVolume && g_library.setMasterVolume)
            g_library.setMasterVolume(song, kAudioMasterVolume);
        if ((type == 1 || type == 2) && g_library.setPanSeparation)
            g_library.setPanSeparation(song, kAudioPanSeparation);
        if (g_library.playSong) g_library.playSong(song);
        return;
    }
    AudioLibraryStream* stream = g_library.streamOpen ? g_library.streamOpen(name.c_str(), kAudioStreamMode, 0, 0)
                                                      : nullptr;
    if (!stream) return;
    g_library.stream = stream;
    if (g_library.streamPlay) g_library.streamPlay(kAudioAnyChannel, stream);
}

void PlayWithLibrary(const wchar_t* path, uintptr_t) {
    if (!g_library.module) AudioLoadLibrary();
    if (!g_library.module) {
        if (path) PlaySoundW(path, nullptr, SND_FILENAME | SND_LOOP | SND_NODEFAULT | SND_ASYNC);
        else PlaySoundW(nullptr, nullptr, SND_NODEFAULT);
        return;
    }
    if (path) PlayThroughLibrary(path);
    else StopLibrarySound();
}

// The built-in player: the library's calls when it is loaded, PlaySoundW
// otherwise.
constexpr SlideshowAudio kLibraryAudio = {PlayWithLibrary, 0};

// Set on the main thread before a show starts and read there only.
SlideshowAudio g_audio = kLibraryAudio;

}  // namespace

void SetSlideshowAudio(const SlideshowAudio* audio) { g_audio = audio && audio->play ? *audio : kLibraryAudio; }

void AudioPlay(const wchar_t* path) { g_audio.play(path, g_audio.user); }

int AudioLoadLibrary() {
    if (g_library.module) return g_library.initResult;
    AudioLibrary l;
    l.module = LoadLibraryW(L"fmodce.dll");
    if (!l.module) return 0;
    BindAll(&l);
    // Without its start there is no library to use.
    if (!l.init) {
        FreeLibrary(l.module);
        return 0;
    }
    if (l.setBufferSize) l.setBufferSize(kAudioBufferMs);
    int result = l.init(kAudioMixRate, kAudioChannels, kAudioInitFlags);
    for (int i = 0; i < kInitRetries && (result & 0xFF) == 0; ++i) {
        Sleep(kInitRetryMs);
        result = l.init(kAudioMixRate, kAudioChannels, kAudioInitFlags);
    }
    // A library that never started is freed, so wave files still play
    // through PlaySoundW.
    if ((result & 0xFF) == 0) {
        FreeLibrary(l.module);
        return 0;
    }
    l.initResult = result;
    g_library = l;
    return result;
}

void AudioUnload() {
    if (!g_library.module) return;
    StopLibrarySound();
    if (g_library.close) g_library.close();
    FreeLibrary(g_library.module);
    g_library = AudioLibrary{};
}
