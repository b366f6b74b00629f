// The audio library's entry points as this system calls them: the library
// ("fmodce.dll") is loaded at run time and each entry point bound by name.
// Handles are opaque; results that report success carry it in their low
// byte.
//
// Portable declarations only; the loader is Win32 (audio_win.cpp).
#pragma once

#include <cstdint>

#ifdef _WIN32
#define PV_AUDIO_CALL __stdcall
#else
#define PV_AUDIO_CALL
#endif

struct AudioLibrarySong;
struct AudioLibraryStream;

using FSOUND_SetBufferSizeFn = int(PV_AUDIO_CALL*)(int milliseconds);
using FSOUND_InitFn = int(PV_AUDIO_CALL*)(int mixRate, int channels, unsigned flags);
using FSOUND_CloseFn = void(PV_AUDIO_CALL*)();
using FMUSIC_LoadSongFn = AudioLibrarySong*(PV_AUDIO_CALL*)(const char* path);
using FMUSIC_FreeSongFn = int(PV_AUDIO_CALL*)(AudioLibrarySong* song);
using FMUSIC_PlaySongFn = int(PV_AUDIO_CALL*)(AudioLibrarySong* song);
using FMUSIC_GetTypeFn = int(PV_AUDIO_CALL*)(AudioLibrarySong* song);
using FMUSIC_SetMasterVolumeFn = int(PV_AUDIO_CALL*)(AudioLibrarySong* song, int volume);
using FMUSIC_SetPanSeperationFn = int(PV_AUDIO_CALL*)(AudioLibrarySong* song, float separation);
using FSOUND_Stream_OpenFn = AudioLibraryStream*(PV_AUDIO_CALL*)(const char* path, unsigned mode, int offset,
                                                                 int length);
using FSOUND_Stream_CloseFn = int(PV_AUDIO_CALL*)(AudioLibraryStream* stream);
using FSOUND_Stream_PlayFn = int(PV_AUDIO_CALL*)(int channel, AudioLibraryStream* stream);

// Arguments the system passes.
constexpr int kAudioBufferMs = 200;
constexpr int kAudioMixRate = 22050;
constexpr int kAudioChannels = 48;
constexpr unsigned kAudioInitFlags = 2;
constexpr unsigned kAudioStreamMode = 0x2132;
constexpr int kAudioAnyChannel = -1;
constexpr int kAudioMasterVolume = 128;
constexpr float kAudioPanSeparation = 0.85f;
// Song types: 4 keeps its own master volume; 1 and 2 get the pan separation.
constexpr int kAudioSongKeepsVolume = 4;
