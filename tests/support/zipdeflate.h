// Helpers around the ZIP layer's deflate compressor for tests, fuzz targets
// and benchmarks: compress a memory block, and inflate a raw deflate stream
// with zlib (the independent decoder).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "zip/deflate.h"

namespace testing_support {

struct DeflateMemoryJob {
    const uint8_t* data;
    size_t size;
    size_t position;
    uint32_t maxRead;  // largest piece handed out per read (0: as asked)
    std::vector<uint8_t>* out;
};

inline uint32_t DeflateMemoryRead(void* arg, uint8_t* buffer, uint32_t size) {
    auto* job = static_cast<DeflateMemoryJob*>(arg);
    size_t n = job->size - job->position;
    if (n > size) n = size;
    if (job->maxRead && n > job->maxRead) n = job->maxRead;
    if (n) std::memcpy(buffer, job->data + job->position, n);
    job->position += n;
    return uint32_t(n);
}

inline uint32_t DeflateMemoryFlush(void* arg, const uint8_t* buffer, uint32_t* count) {
    auto* job = static_cast<DeflateMemoryJob*>(arg);
    job->out->insert(job->out->end(), buffer, buffer + *count);
    const uint32_t n = *count;
    *count = 0;
    return n;
}

// Compresses data at `level`; returns the compressor's error (null when it
// succeeded). `maxRead` limits each read to exercise short reads.
inline const char* DeflateMemory(const uint8_t* data, size_t size, int level, std::vector<uint8_t>* out,
                                 uint32_t maxRead = 0, uint32_t* reportedSize = nullptr) {
    out->clear();
    DeflateMemoryJob job = {data, size, 0, maxRead, out};
    DeflateState* state = CreateDeflateState(&job, level, DeflateMemoryRead, DeflateMemoryFlush);
    if (!state) return "no memory";
    std::vector<uint8_t> buffer(16384);
    uint16_t fileType = 0;
    uint16_t flags = 0;
    StartBitOutput(state, buffer.data(), uint32_t(buffer.size()));
    ct_init(state, &fileType);
    PrepareMatcher(state, &flags);
    const uint32_t n = DeflateRun(state);
    if (reportedSize) *reportedSize = n;
    const char* error = DeflateError(state);
    FreeDeflateState(state);
    return error;
}

// Inflates a raw deflate stream; false unless it ends exactly at its last
// byte with a proper end.
inline bool InflateRaw(const std::vector<uint8_t>& in, std::vector<uint8_t>* out, size_t expected) {
    out->assign(expected + 1, 0);
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out->data();
    z.avail_out = uInt(out->size());
    const int r = inflate(&z, Z_FINISH);
    const bool ok = r == Z_STREAM_END && z.avail_in == 0;
    out->resize(out->size() - z.avail_out);
    inflateEnd(&z);
    return ok;
}

}  // namespace testing_support
