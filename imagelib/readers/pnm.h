// Internal entry of the PNM reader (pnm.cpp), declared for its own tests.
// Callers outside the readers reach it through the format table only.
#pragma once

#include "../fileio.h"
#include "../loadcontext.h"

// Reads a P1 to P7 file from its start. Returns a load result code.
int ReadPnm(PictureFile* file, LoadContext* ctx);
