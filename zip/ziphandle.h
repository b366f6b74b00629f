// Handles of the reader and the writer: wrapping an object, and finding the
// object behind a handle with the checks every operation starts with.
// Internal to zip/.
#pragma once

#include <cstdlib>

#include "zip/zip.h"

// A new handle of `kind` for `object`; null when out of memory.
inline ZipHandle* NewZipHandle(uint32_t kind, void* object) {
    auto* handle = static_cast<ZipHandle*>(std::malloc(sizeof(ZipHandle)));
    if (handle) {
        handle->kind = kind;
        handle->object = object;
    }
    return handle;
}

// The object behind a handle of `kind`: kZipOk, kZipBadArguments for none,
// kZipWrongHandleKind for a handle of the other kind.
template <typename T>
uint32_t ZipHandleObject(ZipHandle* handle, uint32_t kind, T** object) {
    if (!handle) return kZipBadArguments;
    if (handle->kind != kind || !handle->object) return kZipWrongHandleKind;
    *object = static_cast<T*>(handle->object);
    return kZipOk;
}
