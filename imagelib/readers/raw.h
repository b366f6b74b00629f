// Camera RAW files (raw.cpp): what a load's camera RAW options ask of LibRaw.
//
// Portable: LibRaw's settings record; no platform headers.
#pragma once

#include <libraw/libraw.h>

#include "../bitmap.h"

// Sets LibRaw's settings from the camera RAW parameters of `o`: gamma
// (power and toe slope), brightness, red and blue scales, the wavelet
// denoising threshold, automatic and camera white balance, Fuji's rotation
// (on unless the third switch is set), the highlight mode (the low byte of
// rawValue, signed), and half-size decoding for a preview load or a load
// that does not ask for the full size (rawFullSize 0).
void SetRawDecoderOptions(const LoadOptions& o, bool previewLoad, libraw_output_params_t* p);
