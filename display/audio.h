// Sound behind slideshows: one file plays in the background, looping, until
// it is stopped. The audio module installs its player here at start-up;
// until one is installed, wave files play through the platform's PlaySoundW
// (other files are not heard).
//
// Win32 only (the built-in player); the table itself carries no platform
// types.
#pragma once

#include <cstdint>

struct SlideshowAudio {
    // With a path: start playing it, looping. With null: stop what plays
    // (nothing harmful when nothing plays). A new path does not stop the
    // sound already playing: callers stop first.
    void (*play)(const wchar_t* path, uintptr_t user);
    uintptr_t user;
};

// Installs the player (copied); null puts the built-in wave player back.
// Called on the main thread before any show starts.
void SetSlideshowAudio(const SlideshowAudio* audio);

// Starts (path) or stops (null) the slideshow's sound through the installed
// player.
void AudioPlay(const wchar_t* path);
