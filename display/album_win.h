// The album writer as the wizard calls it: the device's temporary folder,
// the screen's shape, the wait cursor and the one message the writer shows.
//
// Win32 only.
#pragma once

#include <windows.h>

#include "display/album.h"

// The device's temporary folder, "\Temp\" (made when missing).
const wchar_t* AlbumTempFolder();
// The environment of a writer on this device: temporary folder and screen.
AlbumWriteEnv AlbumDeviceEnv();

// Writes the album at the options' output folder + output file name; shows
// "Can't create file" (owned by `owner`, empty title) when the archive or its
// config cannot be made. Returns an AlbumWriteResult.
int AlbumWrite(HWND owner, const wchar_t* const* paths, int32_t count, const AlbumOptions* options,
               AlbumProgressCallback progress, uintptr_t user);

// SlideshowConvertPictureForScreen for this screen.
int SlideshowConvertPicture(const wchar_t* source, const wchar_t* destination, const AlbumOptions* options);
