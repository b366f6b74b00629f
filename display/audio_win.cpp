// The slideshow sound's player table and the built-in wave player.
#include "display/audio.h"

#include <windows.h>
#include <mmsystem.h>

namespace {

void PlayWave(const wchar_t* path, uintptr_t) {
    if (path) PlaySoundW(path, nullptr, SND_FILENAME | SND_LOOP | SND_NODEFAULT | SND_ASYNC);
    else PlaySoundW(nullptr, nullptr, SND_NODEFAULT);
}

// Set on the main thread before a show starts and read there only.
SlideshowAudio g_audio = {PlayWave, 0};

}  // namespace

void SetSlideshowAudio(const SlideshowAudio* audio) {
    g_audio = audio && audio->play ? *audio : SlideshowAudio{PlayWave, 0};
}

void AudioPlay(const wchar_t* path) { g_audio.play(path, g_audio.user); }
