// What the writers share: the output file opened and closed around a writer
// body, and the capability records of writers that take any colour count.
//
// Portable: writers reach the library only through the save context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../formats.h"
#include "../savecontext.h"

// Creates the save's file for binary writing through the context's callback
// table, runs `body(file, ctx)` over it and closes it on every way out. 5
// when the file cannot be created; the close flushes the runtime's buffer,
// so a full disk may only show there: a body's success then becomes 6.
template <typename Body>
int RunWriterOnSource(FileSource* source, SaveContext* ctx, Body body) {
    PictureFile* file = ctx->callbacks.openPictureFile(source, kOpenWriteBinary);
    if (!file) return kSaveCannotCreate;
    int result = body(file, ctx);
    if (ctx->callbacks.closePictureFile(file) != 0 && result == kSaveOk) result = kSaveWriteFailed;
    return result;
}

// Fills the first records with `types` in order, each taking any colour
// count; the other fields and records are left as they are.
template <size_t N>
void ListWriterTypes(FormatCapability* records, const uint16_t (&types)[N]) {
    for (size_t i = 0; i < N; ++i) {
        records[i].pixelType = types[i];
        records[i].mostColours = 65535;
    }
}
