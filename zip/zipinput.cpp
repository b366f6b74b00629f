// ZipInput and its minizip file-function table.
#include "zipinput.h"

#include <cstdlib>
#include <cstring>

#include <minizip/unzip.h>

#include "zip/zip.h"
#include "zip/zipfs.h"

ZipInput* ZipInputOpen(const void* source, uint32_t length, int kind, uint32_t* error) {
    *error = kZipOk;
    if (kind != kZipKindHandle && kind != kZipKindFileName && kind != kZipKindMemory) {
        *error = kZipBadArguments;
        return nullptr;
    }
    if (!source) {
        *error = kind == kZipKindFileName ? kZipCannotOpen : kZipBadArguments;
        return nullptr;
    }
    auto* in = static_cast<ZipInput*>(std::calloc(1, sizeof(ZipInput)));
    if (!in) {
        *error = kZipNoMemory;
        return nullptr;
    }
    if (kind == kZipKindMemory) {
        in->canSeek = 1;
        in->memory = static_cast<const uint8_t*>(source);
        in->memoryLength = length;
        return in;
    }
    in->isHandle = 1;
    if (kind == kZipKindFileName) {
        in->handle = OpenWidePath(static_cast<const wchar_t*>(source), "rb");
        if (!in->handle) {
            std::free(in);
            *error = kZipCannotOpen;
            return nullptr;
        }
        in->ownsHandle = 1;
    } else {
        in->handle = static_cast<FILE*>(const_cast<void*>(source));
    }
    in->canSeek = ZipStreamCanSeek(in->handle, &in->initialOffset) ? 1 : 0;
    return in;
}

uint32_t ZipInputRead(void* buffer, uint32_t itemSize, uint32_t itemCount, ZipInput* source) {
    if (!source || itemSize == 0 || source->closed) return 0;
    const uint64_t wanted64 = uint64_t(itemSize) * itemCount;
    if (wanted64 > 0xFFFFFFFFu) return 0;
    uint32_t wanted = uint32_t(wanted64);
    uint32_t got;
    if (source->isHandle) {
        got = uint32_t(std::fread(buffer, 1, wanted, source->handle));
        if (got < wanted && std::ferror(source->handle)) source->readError = 1;
    } else {
        const uint32_t left = source->position <= source->memoryLength ? source->memoryLength - source->position : 0;
        got = wanted < left ? wanted : left;
        if (got) std::memcpy(buffer, source->memory + source->position, got);
        source->position += got;
    }
    return got / itemSize;
}

int ZipInputSeek(ZipInput* source, uint64_t offset, int origin) {
    if (!source || source->closed) return -1;
    if (source->isHandle) {
        if (!source->canSeek) return 29;
        if (origin < 0 || origin > 2) return 19;
        const uint64_t base = origin == 0 ? source->initialOffset : 0;
        if (offset > uint64_t(INT64_MAX) - base) return -1;
        static const int kOrigins[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
        return SeekStream64(source->handle, int64_t(base + offset), kOrigins[origin]);
    }
    uint64_t base;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = source->position; break;
        case 2: base = source->memoryLength; break;
        default: return -1;
    }
    if (offset > source->memoryLength || base + offset > source->memoryLength) return -1;
    source->position = uint32_t(base + offset);
    return 0;
}

uint64_t ZipInputTell(ZipInput* source) {
    if (!source || source->closed) return 0;
    if (!source->isHandle) return source->position;
    if (!source->canSeek) return 0;
    const int64_t at = TellStream64(source->handle);
    if (at < 0 || uint64_t(at) < source->initialOffset) return 0;
    return uint64_t(at) - source->initialOffset;
}

int ZipInputError(ZipInput* source) { return source && source->isHandle ? source->readError : 0; }

int ZipInputClose(ZipInput* source) {
    if (!source) return -1;
    if (!source->closed && source->ownsHandle && source->handle) std::fclose(source->handle);
    source->closed = 1;
    source->handle = nullptr;
    return 0;
}

void ZipInputFree(ZipInput* source) {
    if (!source) return;
    ZipInputClose(source);
    std::free(source);
}

// ---------------------------------------------------------------------------
// minizip's callbacks.

namespace {

voidpf ZCALLBACK OpenCallback(voidpf, const void* path, int) { return const_cast<void*>(path); }

uLong ZCALLBACK ReadCallback(voidpf, voidpf stream, void* buffer, uLong size) {
    return ZipInputRead(buffer, 1, uint32_t(size), static_cast<ZipInput*>(stream));
}

uLong ZCALLBACK WriteCallback(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellCallback(voidpf, voidpf stream) { return ZipInputTell(static_cast<ZipInput*>(stream)); }

long ZCALLBACK SeekCallback(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    return ZipInputSeek(static_cast<ZipInput*>(stream), offset, origin);
}

int ZCALLBACK CloseCallback(voidpf, voidpf stream) { return ZipInputClose(static_cast<ZipInput*>(stream)); }

int ZCALLBACK ErrorCallback(voidpf, voidpf stream) { return ZipInputError(static_cast<ZipInput*>(stream)); }

}  // namespace

void FillZipInputFunctions(zlib_filefunc64_def_s* functions) {
    functions->zopen64_file = OpenCallback;
    functions->zread_file = ReadCallback;
    functions->zwrite_file = WriteCallback;
    functions->ztell64_file = TellCallback;
    functions->zseek64_file = SeekCallback;
    functions->zclose_file = CloseCallback;
    functions->zerror_file = ErrorCallback;
    functions->opaque = nullptr;
}
