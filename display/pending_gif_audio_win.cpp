// PENDING: stand-ins for the animated GIF player and the audio library's
// unloading, built only while display/anigif.cpp and AudioUnload are not in
// this tree (display/CMakeLists.txt checks). Every GIF then shows as a still
// picture, and there is no audio library to unload.
#include <cstdio>

#include "display/anigif.h"
#include "display/audio.h"

#ifndef PV_HAVE_ANIGIF
int AniGifLoad(const wchar_t*, AniGifAnimation* out) {
    if (out) out->frames.clear();
    return kAniGifNotGif;
}

void AniGifFree(AniGifAnimation* animation) {
    if (!animation) return;
    for (AniGifFrame& frame : animation->frames) FreeBitmap(&frame.bitmap);
    animation->frames.clear();
}
#endif

#ifndef PV_HAVE_AUDIO_UNLOAD
void AudioUnload() {}
#endif
