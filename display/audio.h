// Sound behind slideshows: one file plays in the background, looping, until
// it is stopped. The built-in player goes through the audio library
// ("fmodce.dll", loaded by name on the first play request) and, when that
// library is missing or will not start, plays wave files through the
// platform's PlaySoundW (other files are then not heard). Tests may install
// a player of their own.
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

// Installs the player (copied); null puts the built-in player back.
// Called on the main thread before any show starts.
void SetSlideshowAudio(const SlideshowAudio* audio);

// Starts (path) or stops (null) the slideshow's sound through the installed
// player.
void AudioPlay(const wchar_t* path);

// Loads and starts the audio library when it is not loaded yet. Returns the
// initialisation's result (low byte non-zero on success), or 0 when the
// library is missing, lacks an entry point the start needs, or failed to
// start every time (it is then freed again, so PlaySoundW takes over).
int AudioLoadLibrary();

// Stops what the library plays, shuts it down and frees it; nothing when it
// is not loaded. Called when the main window closes.
void AudioUnload();
