#include "tests/zip/ziptestutil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <algorithm>

#include "imagelib/textutil.h"
#include "tests/support/bytes.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ziptest {

using testing_support::AppendLe16;
using testing_support::AppendLe32;

namespace {

class PinnedTimeZone : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef _WIN32
        _putenv_s("TZ", kTimeZone);
        _tzset();
#else
        setenv("TZ", kTimeZone, 1);
        tzset();
#endif
    }
};

::testing::Environment* const g_zone = ::testing::AddGlobalTestEnvironment(new PinnedTimeZone);

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(Le16(p)) | uint32_t(Le16(p + 2)) << 16; }

std::vector<uint8_t> ZlibDeflateRaw(const std::vector<uint8_t>& data, int level) {
    z_stream z = {};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::vector<uint8_t> BuildArchive(const std::vector<RawEntry>& entries, const std::vector<uint8_t>& prefix) {
    std::vector<uint8_t> body;
    std::vector<uint8_t> central;
    std::vector<uint32_t> offsets;
    for (const RawEntry& e : entries) {
        const RawEntry& stored = e.sharesHeaderOf >= 0 ? entries[size_t(e.sharesHeaderOf)] : e;
        std::vector<uint8_t> payload = stored.method == 8 ? ZlibDeflateRaw(stored.data) : stored.data;
        const uint32_t crc = uint32_t(crc32(0, stored.data.data(), uInt(stored.data.size()))) ^ stored.crcXor;
        const bool zip64 = stored.zip64Size != 0;
        const uint32_t usize = zip64 ? 0xFFFFFFFFu : uint32_t(int64_t(stored.data.size()) + stored.uncompressedDelta);
        const uint32_t csize = zip64 ? 0xFFFFFFFFu : uint32_t(payload.size());
        // The ZIP64 extra field: tag 1, both sizes as 64-bit numbers.
        std::vector<uint8_t> extra;
        if (zip64) {
            AppendLe16(extra, 1);
            AppendLe16(extra, 16);
            for (int half = 0; half < 2; ++half) {
                AppendLe32(extra, uint32_t(stored.zip64Size));
                AppendLe32(extra, uint32_t(stored.zip64Size >> 32));
            }
        }
        const uint16_t needed = zip64 ? 45 : 20;
        const uint32_t offset = e.sharesHeaderOf >= 0 ? offsets[size_t(e.sharesHeaderOf)] : uint32_t(body.size());
        offsets.push_back(offset);
        if (e.sharesHeaderOf < 0) {
            AppendLe32(body, 0x04034B50);
            AppendLe16(body, needed);
            AppendLe16(body, e.flags);
            AppendLe16(body, e.localMethod != 0xFFFF ? e.localMethod : e.method);
            AppendLe32(body, e.dosTime);
            AppendLe32(body, crc);
            AppendLe32(body, csize);
            AppendLe32(body, usize);
            AppendLe16(body, uint32_t(e.name.size()));
            AppendLe16(body, uint32_t(extra.size()));
            body.insert(body.end(), e.name.begin(), e.name.end());
            body.insert(body.end(), extra.begin(), extra.end());
            body.insert(body.end(), payload.begin(), payload.end() - std::min(e.truncateData, payload.size()));
        }

        AppendLe32(central, 0x02014B50);
        AppendLe16(central, e.versionMadeBy);
        AppendLe16(central, needed);
        AppendLe16(central, e.flags);
        AppendLe16(central, stored.method);
        AppendLe32(central, e.dosTime);
        AppendLe32(central, crc);
        AppendLe32(central, csize);
        AppendLe32(central, usize);
        AppendLe16(central, uint32_t(e.name.size()));
        AppendLe16(central, uint32_t(extra.size()));
        AppendLe16(central, 0);
        AppendLe16(central, 0);
        AppendLe16(central, 0);
        AppendLe32(central, e.external);
        AppendLe32(central, offset);
        central.insert(central.end(), e.name.begin(), e.name.end());
        central.insert(central.end(), extra.begin(), extra.end());
    }
    std::vector<uint8_t> out(prefix);
    const uint32_t centralOffset = uint32_t(body.size());
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), central.begin(), central.end());
    AppendLe32(out, 0x06054B50);
    AppendLe16(out, 0);
    AppendLe16(out, 0);
    AppendLe16(out, uint32_t(entries.size()));
    AppendLe16(out, uint32_t(entries.size()));
    AppendLe32(out, uint32_t(central.size()));
    AppendLe32(out, centralOffset);
    AppendLe16(out, 0);
    return out;
}

std::vector<uint8_t> TextBytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = uint8_t(x);
    }
    return v;
}

std::vector<uint8_t> ReadItem(ZipHandle* h, int32_t index, uint32_t piece, uint32_t* result) {
    // The pieces say nothing of their length: the item's size tells where
    // the data end.
    ZipItem item;
    *result = GetZipItem(h, index, &item);
    if (*result != kZipOk) return {};
    std::vector<uint8_t> all;
    std::vector<uint8_t> buffer(piece);
    for (int guard = 0; guard < 1000000; ++guard) {
        *result = UnzipItemToMemory(h, index, buffer.data(), piece);
        if (*result != kZipMoreData) break;
        const size_t left = item.uncompressedSize - std::min<size_t>(all.size(), item.uncompressedSize);
        all.insert(all.end(), buffer.begin(), buffer.begin() + long(std::min<size_t>(left, piece)));
    }
    return all;
}

ParsedArchive ParseArchive(const std::vector<uint8_t>& bytes) {
    ParsedArchive a;
    if (bytes.size() < 22) return a;
    const uint8_t* end = bytes.data() + bytes.size() - 22;
    if (Le32(end) != 0x06054B50) return a;
    a.count = Le16(end + 10);
    a.centralSize = Le32(end + 12);
    a.centralOffset = Le32(end + 16);
    size_t pos = a.centralOffset;
    for (uint32_t i = 0; i < a.count; ++i) {
        if (pos + 46 > bytes.size() || Le32(&bytes[pos]) != 0x02014B50) return a;
        const uint8_t* c = &bytes[pos];
        ParsedEntry e;
        e.versionMadeBy = Le16(c + 4);
        e.flags = Le16(c + 8);
        e.method = Le16(c + 10);
        e.dosTime = Le32(c + 12);
        e.crc = Le32(c + 16);
        e.compressedSize = Le32(c + 20);
        e.uncompressedSize = Le32(c + 24);
        const uint16_t nameLength = Le16(c + 28);
        e.external = Le32(c + 38);
        e.localOffset = Le32(c + 42);
        e.name.assign(reinterpret_cast<const char*>(c + 46), nameLength);
        pos += 46 + nameLength + Le16(c + 30) + Le16(c + 32);
        const size_t l = e.localOffset;
        if (l + 30 > bytes.size() || Le32(&bytes[l]) != 0x04034B50) return a;
        e.localFlags = Le16(&bytes[l + 6]);
        e.localCrc = Le32(&bytes[l + 14]);
        e.localCompressed = Le32(&bytes[l + 18]);
        e.localUncompressed = Le32(&bytes[l + 22]);
        const size_t dataStart = l + 30 + Le16(&bytes[l + 26]) + Le16(&bytes[l + 28]);
        const size_t dataEnd = dataStart + e.compressedSize;
        if (dataEnd > bytes.size()) return a;
        e.rawData.assign(bytes.begin() + long(dataStart), bytes.begin() + long(dataEnd));
        e.hasDescriptor = dataEnd + 16 <= bytes.size() && Le32(&bytes[dataEnd]) == 0x08074B50 &&
                          Le32(&bytes[dataEnd + 4]) == e.crc && Le32(&bytes[dataEnd + 8]) == e.compressedSize &&
                          Le32(&bytes[dataEnd + 12]) == e.uncompressedSize;
        a.entries.push_back(e);
    }
    a.ok = true;
    return a;
}

int64_t PinnedLocalToUtc(int year, int month, int day, int hour, int minute, int second) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t days = 0;
    for (int y = 1970; y < year; ++y) days += IsLeapYear(y) ? 366 : 365;
    for (int m = 1; m < month; ++m) days += kDays[m - 1] + (m == 2 && IsLeapYear(year) ? 1 : 0);
    days += day - 1;
    return days * 86400 + hour * 3600 + minute * 60 + second - kZoneOffsetSeconds;
}

bool MakePipe(FILE** readEnd, FILE** writeEnd) {
    int fds[2];
#ifdef _WIN32
    if (_pipe(fds, 65536, _O_BINARY) != 0) return false;
    *readEnd = _fdopen(fds[0], "rb");
    *writeEnd = _fdopen(fds[1], "wb");
#else
    if (pipe(fds) != 0) return false;
    *readEnd = fdopen(fds[0], "rb");
    *writeEnd = fdopen(fds[1], "wb");
#endif
    return *readEnd && *writeEnd;
}

std::vector<uint8_t> ReadToEndAndClose(FILE* stream) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, stream)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(stream);
    return bytes;
}

std::wstring Widen(const std::string& utf8) { return Utf8ToWide(utf8.c_str()); }

std::string FixturePath(const char* name) { return std::string(PV_ZIP_FIXTURES) + "/" + name; }


}  // namespace ziptest
