// ZipInput and its minizip file-function table.
#include "zipinput.h"

#include <cstdlib>
#include <cstring>

#include <minizip/unzip.h>

#include "imagelib/fileio.h"
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
    FileSource from;
    if (kind == kZipKindMemory) {
        if (length == 0) {  // no room for even an end record
            std::free(in);
            *error = kZipCannotOpen;
            return nullptr;
        }
        InitMemorySource(&from, static_cast<const uint8_t*>(source), length);
        in->canSeek = 1;
    } else {
        FILE* stream = static_cast<FILE*>(const_cast<void*>(source));
        if (kind == kZipKindFileName) {
            stream = in->ownedStream = OpenWidePath(static_cast<const wchar_t*>(source), "rb");
            if (!stream) {
                std::free(in);
                *error = kZipCannotOpen;
                return nullptr;
            }
        }
        InitFileSource(&from, nullptr);
        from.stream = stream;
        in->canSeek = ZipStreamCanSeek(stream, &in->initialOffset) ? 1 : 0;
    }
    // A stream handed in, or opened here, is kept open by the file record.
    in->data = OpenPictureFile(&from, kOpenReadBinary);
    if (!in->data) {
        if (in->ownedStream) std::fclose(in->ownedStream);
        std::free(in);
        *error = kZipNoMemory;
        return nullptr;
    }
    return in;
}

uint32_t ZipInputRead(void* buffer, uint32_t itemSize, uint32_t itemCount, ZipInput* source) {
    if (!source || itemSize == 0 || source->closed) return 0;
    const uint64_t wanted = uint64_t(itemSize) * itemCount;
    if (wanted > 0xFFFFFFFFu) return 0;
    return uint32_t(ReadFileBytes(source->data, buffer, size_t(wanted))) / itemSize;
}

int ZipInputSeek(ZipInput* source, uint64_t offset, int origin) {
    if (!source || source->closed) return -1;
    PictureFile* f = source->data;
    if (f->memory) {
        // minizip probes with seeks: a memory position outside the block is
        // refused, not left to a later read.
        const uint64_t base = origin == 1 ? uint64_t(TellPictureFile(f)) : origin == 2 ? f->memorySize : 0;
        if (origin < 0 || origin > 2 || offset > f->memorySize || base + offset > f->memorySize) return -1;
        return SeekPictureFile(f, int64_t(base + offset), SEEK_SET) == 0 ? 0 : -1;
    }
    if (!source->canSeek) return 29;
    if (origin < 0 || origin > 2) return 19;
    const uint64_t base = origin == 0 ? source->initialOffset : 0;
    if (offset > uint64_t(INT64_MAX) - base) return -1;
    static const int kOrigins[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return SeekPictureFile(f, int64_t(base + offset), kOrigins[origin]) == 0 ? 0 : -1;
}

uint64_t ZipInputTell(ZipInput* source) {
    if (!source || source->closed) return 0;
    if (!source->data->memory && !source->canSeek) return 0;
    const int64_t at = TellPictureFile(source->data);
    if (at < 0 || uint64_t(at) < source->initialOffset) return 0;
    return uint64_t(at) - source->initialOffset;
}

int ZipInputError(ZipInput* source) {
    // Only a failed read counts: minizip's probing seeks may fail harmlessly.
    return source && !source->closed && source->data->stream && std::ferror(source->data->stream) ? 1 : 0;
}

int ZipInputClose(ZipInput* source) {
    if (!source) return -1;
    if (!source->closed) {
        ClosePictureFile(source->data);
        source->data = nullptr;
        if (source->ownedStream) std::fclose(source->ownedStream);
        source->ownedStream = nullptr;
    }
    source->closed = 1;
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
