// The writer entries and writer option functions of the format table. A
// writer not built yet is a null entry here.
#pragma once

#include "formats.h"

constexpr FormatWriteFn kWriteJpeg = nullptr;
constexpr FormatWriteFn kWriteTga = nullptr;
constexpr FormatWriteFn kWriteBmp = nullptr;
constexpr FormatWriteFn kWriteGif = nullptr;
constexpr FormatWriteFn kWritePng = nullptr;
constexpr FormatOptionsFn kOptionsJpeg = nullptr;
constexpr FormatOptionsFn kOptionsGif = nullptr;
constexpr FormatOptionsFn kOptionsPng = nullptr;
