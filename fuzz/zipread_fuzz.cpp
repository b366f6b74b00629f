// The ZIP reader over arbitrary bytes in memory: open, walk every item,
// find it by its name and extract it to memory in pieces. Every result must
// be one of the reader's codes; nothing may crash, hang or leak.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zip_fuzz.h"

namespace {

void Check(uint32_t r) {
    if (!fuzzing::IsZipReaderCode(r)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    // Odd sizes carry a password, so encrypted items get decrypted too.
    ZipHandle* h = OpenZipMemory(data, uint32_t(size), (size & 1) ? "pw" : nullptr);
    Check(LastZipReaderResult);
    if (!h) return 0;
    ZipItem all;
    if (GetZipItem(h, -1, &all) != kZipOk) std::abort();
    const int32_t count = all.index < 64 ? all.index : 64;
    std::vector<uint8_t> buffer(4096);
    size_t budget = 8u << 20;  // bytes of output per input
    for (int32_t i = 0; i < count; ++i) {
        ZipItem item;
        const uint32_t got = GetZipItem(h, i, &item);
        Check(got);
        if (got != kZipOk) continue;
        if (item.index != i || item.name[kZipMaxPath - 1] != L'\0') std::abort();
        if (i < 8) {  // each search walks the directory
            int32_t found = -2;
            const uint32_t find = FindZipItem(h, item.name, i & 1, &found, nullptr);
            Check(find);
            if ((find == kZipOk) != (found >= 0)) std::abort();
        }
        for (;;) {
            const uint32_t r = UnzipItemToMemory(h, i, buffer.data(), uint32_t(buffer.size()));
            Check(r);
            if (r != kZipMoreData) break;
            if (budget < buffer.size()) break;
            budget -= buffer.size();
        }
    }
    if (CloseZipReader(h) != kZipOk) std::abort();
    return 0;
}
