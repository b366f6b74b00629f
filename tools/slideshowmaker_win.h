// The stand-alone slideshow maker as the wizard calls it: the player
// "slide.exe" from the running program's folder and the maker's messages.
//
// Win32 only.
#pragma once

#include <windows.h>

#include "tools/slideshowmaker.h"

// The player beside the running program: its folder + "\slide.exe".
std::wstring SlideshowStubPath();

// Writes the slideshow at the options' output folder + output file name.
// Shows "Can't create file" or "Can't find stub slide.exe" (owned by `owner`,
// empty title) when the output or the player cannot be used. Returns an
// ExeSlideshowResult.
int WriteExeSlideshow(HWND owner, const wchar_t* const* paths, int32_t count, const AlbumOptions* options,
                      COLORREF background, AlbumProgressCallback progress, uintptr_t user);
