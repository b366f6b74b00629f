// A stand-in for the audio library, loaded by the system under test as
// "fmodce.dll": it exports the twelve entry points by name and appends one
// line per call to the file named by PV_FMOD_LOG. PV_FMOD_INIT_FAILS makes
// the first N calls of FSOUND_Init fail. Songs are files ending in .mod
// (type 1), .s3m (2), .xm (3) or .it (4); any other file that opens is a
// stream.
//
// Built twice: in full, and with PV_FMOD_PARTIAL, lacking FMUSIC_LoadSong,
// FMUSIC_GetType and FSOUND_Stream_Play.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/audiolib.h"

#define EXPORT extern "C" __declspec(dllexport)

namespace {

int g_initCalls = 0;
int g_handles = 0;

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The test sets these with SetEnvironmentVariable, which the C runtime's
// own copy of the environment may not see.
int EnvNumber(const char* name, int fallback) {
    char value[32];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::atoi(value) : fallback;
}

void Log(const char* format, ...) {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("PV_FMOD_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path) return;
    FILE* f = std::fopen(path, "a");
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

#ifndef PV_FMOD_PARTIAL
bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && _stricmp(s.c_str() + s.size() - n, tail) == 0;
}
#endif

bool Opens(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// Handles are small numbers, never dereferenced.
template <typename T>
T* NewHandle() {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(++g_handles) * 16);
}

int Id(const void* handle) { return int(reinterpret_cast<uintptr_t>(handle) / 16); }

}  // namespace

EXPORT int PV_AUDIO_CALL FSOUND_SetBufferSize(int milliseconds) {
    Log("FSOUND_SetBufferSize %d", milliseconds);
    return 1;
}

EXPORT int PV_AUDIO_CALL FSOUND_Init(int mixRate, int channels, unsigned flags) {
    const bool ok = ++g_initCalls > EnvNumber("PV_FMOD_INIT_FAILS", 0);
    Log("FSOUND_Init %d %d %u -> %d", mixRate, channels, flags, ok);
    // Success lies in the low byte only.
    return ok ? 0x101 : 0x100;
}

EXPORT void PV_AUDIO_CALL FSOUND_Close() { Log("FSOUND_Close"); }

#ifndef PV_FMOD_PARTIAL
EXPORT AudioLibrarySong* PV_AUDIO_CALL FMUSIC_LoadSong(const char* path) {
    const std::string p = path;
    const bool song = Opens(path) && (EndsWith(p, ".mod") || EndsWith(p, ".s3m") || EndsWith(p, ".xm") ||
                                      EndsWith(p, ".it"));
    AudioLibrarySong* h = song ? NewHandle<AudioLibrarySong>() : nullptr;
    Log("FMUSIC_LoadSong %s -> %d", path, Id(h));
    return h;
}

EXPORT int PV_AUDIO_CALL FMUSIC_GetType(AudioLibrarySong* song) {
    Log("FMUSIC_GetType %d", Id(song));
    return EnvNumber("PV_FMOD_SONG_TYPE", 1);
}
#endif

EXPORT int PV_AUDIO_CALL FMUSIC_FreeSong(AudioLibrarySong* song) {
    Log("FMUSIC_FreeSong %d", Id(song));
    return 1;
}

EXPORT int PV_AUDIO_CALL FMUSIC_PlaySong(AudioLibrarySong* song) {
    Log("FMUSIC_PlaySong %d", Id(song));
    return 1;
}

EXPORT int PV_AUDIO_CALL FMUSIC_SetMasterVolume(AudioLibrarySong* song, int volume) {
    Log("FMUSIC_SetMasterVolume %d %d", Id(song), volume);
    return 1;
}

EXPORT int PV_AUDIO_CALL FMUSIC_SetPanSeperation(AudioLibrarySong* song, float separation) {
    Log("FMUSIC_SetPanSeperation %d %.2f", Id(song), double(separation));
    return 1;
}

EXPORT AudioLibraryStream* PV_AUDIO_CALL FSOUND_Stream_Open(const char* path, unsigned mode, int offset,
                                                            int length) {
    AudioLibraryStream* h = Opens(path) ? NewHandle<AudioLibraryStream>() : nullptr;
    Log("FSOUND_Stream_Open %s 0x%x %d %d -> %d", path, mode, offset, length, Id(h));
    return h;
}

EXPORT int PV_AUDIO_CALL FSOUND_Stream_Close(AudioLibraryStream* stream) {
    Log("FSOUND_Stream_Close %d", Id(stream));
    return 1;
}

#ifndef PV_FMOD_PARTIAL
EXPORT int PV_AUDIO_CALL FSOUND_Stream_Play(int channel, AudioLibraryStream* stream) {
    Log("FSOUND_Stream_Play %d %d", channel, Id(stream));
    return 1;
}
#endif
