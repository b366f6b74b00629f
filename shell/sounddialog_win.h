// The open-file dialog that picks a slideshow's or the viewer's sound.
//
// Win32 only.
#pragma once

#include <windows.h>

// Asks for an audio file ("Audio files": *.wav, *.mp3, *.wma, *.ogg),
// starting in the folder of `current` (which may be empty). The program's
// current folder stays where it was, so the browser can still delete or
// rename the chosen folder. True with the chosen path in `file`.
bool ChooseSoundFile(HWND owner, const wchar_t* current, wchar_t* file, DWORD capacity);
