// IPTC writing into JPEG files.
//
// Portable: no platform headers.
#include "iptcjpeg.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "imagelib/fileio.h"

namespace {

constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp12 = 0xEC;
constexpr uint8_t kApp13 = 0xED;
constexpr uint8_t kApp14 = 0xEE;
constexpr uint8_t kSof0 = 0xC0;
constexpr size_t kMaxSegmentLength = 0xFFFF;  // the length field counts itself
constexpr int64_t kMaxFileBytes = int64_t(1) << 31;

struct Segment {
    uint8_t marker;
    size_t start;  // of the 0xFF
    size_t end;    // after the segment's data
};

// The marker segments before the first scan (standalone markers have no
// length and are not listed). Stops at the scan, at the end of the image,
// or at anything that is not a marker or does not fit the data.
std::vector<Segment> ListSegments(const std::vector<uint8_t>& file) {
    std::vector<Segment> segments;
    size_t pos = 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF) {
        const uint8_t marker = file[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        const size_t length = size_t(file[pos + 2]) << 8 | file[pos + 3];
        if (length < 2 || length > file.size() - pos - 2) break;
        segments.push_back(Segment{marker, pos, pos + 2 + length});
        pos += 2 + length;
    }
    return segments;
}

const Segment* FindSegment(const std::vector<Segment>& segments, uint8_t marker, const std::vector<uint8_t>& file,
                           bool photoshopOnly = false) {
    for (const Segment& s : segments) {
        if (s.marker != marker) continue;
        size_t pos;
        if (photoshopOnly && !BeginPhotoshopResources(file.data() + s.start + 4, s.end - s.start - 4, &pos)) continue;
        return &s;
    }
    return nullptr;
}

void AppendBe16(std::string& out, size_t v) {
    out += char((v >> 8) & 0xFF);
    out += char(v & 0xFF);
}

// Resource 0x0404 holding the IIM bytes (count prefix included).
void AppendIptcResource(std::string& out, const uint8_t* iim, size_t iimLength) {
    out.append("8BIM\x04\x04\0\0\0\0", 10);  // signature, id, empty name, size's upper half
    out.append(reinterpret_cast<const char*>(iim), iimLength);
    if (iimLength & 1) out += '\0';
}

// The APP13 payload: the Photoshop header, then the old resources (when
// there was an APP13) with the IPTC one replaced, or the IPTC one alone.
std::string BuildPayload(const uint8_t* old, size_t oldLength, const uint8_t* iim, size_t iimLength) {
    std::string out("Photoshop 3.0", kPhotoshopHeaderBytes);
    bool written = false;
    size_t pos;
    if (old && BeginPhotoshopResources(old, oldLength, &pos)) {
        PhotoshopResource res;
        while (NextPhotoshopResource(old, oldLength, &pos, &res)) {
            if (res.id == 0x0404) {
                if (!written) AppendIptcResource(out, iim, iimLength);
                written = true;
            } else if (!res.truncated) {
                out.append(reinterpret_cast<const char*>(old + res.start), res.end - res.start);
                if ((res.end - res.data) & 1) out += '\0';  // a pad byte the block lacked
            }
        }
    }
    if (!written) AppendIptcResource(out, iim, iimLength);
    return out;
}

bool ReadWholeFile(const wchar_t* path, std::vector<uint8_t>* bytes) {
    FileSource source;
    InitFileSource(&source, path);
    PictureFile* file = OpenPictureFile(&source, kOpenReadBinary);
    if (!file) return false;
    bool ok = file->size >= 0 && file->size < kMaxFileBytes;
    if (ok) {
        bytes->resize(size_t(file->size));
        ok = ReadFileBytes(file, bytes->data(), bytes->size()) == bytes->size();
    }
    ClosePictureFile(file);
    return ok;
}

// Writes the pieces into the replacement's sibling and moves it over the file.
bool WriteBeside(FileReplacement* out, const std::vector<std::pair<const void*, size_t>>& pieces) {
    FileSource source;
    InitFileSource(&source, out->temp().c_str());
    PictureFile* file = OpenPictureFile(&source, kOpenWriteBinary);
    bool ok = file != nullptr;
    for (const auto& piece : pieces)
        ok = ok && WriteFileBytes(file, piece.first, piece.second) == piece.second;
    if (file && ClosePictureFileChecked(file) != 0) ok = false;
    return ok && out->Commit() == 0;
}

}  // namespace

int IptcWriteJpegFile(const wchar_t* path, const IptcRecord* record) {
    if (!path || !record) return kIptcWriteCannotOpen;
    try {
        // The file a link leads to is read and replaced; a read-only file is
        // not rewritten.
        FileReplacement out;
        const FileReplacement::Start start = out.Begin(path, L"ip");
        if (start == FileReplacement::kReadOnly || start == FileReplacement::kHardLinked) return kIptcWriteNoPlace;
        if (start != FileReplacement::kReady) return kIptcWriteCannotOpen;
        std::vector<uint8_t> file;
        if (!ReadWholeFile(out.target().c_str(), &file)) return kIptcWriteCannotOpen;
        if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return kIptcWriteNoPlace;

        // Where the new segment goes: [cutFrom, cutTo) of the old file is
        // left out (a replaced APP13) and the segment written there.
        const std::vector<Segment> segments = ListSegments(file);
        const Segment* replaced = FindSegment(segments, kApp13, file, true);
        size_t cutFrom;
        size_t cutTo;
        if (replaced) {
            cutFrom = replaced->start;
            cutTo = replaced->end;
        } else if (const Segment* app14 = FindSegment(segments, kApp14, file)) {
            cutFrom = cutTo = app14->start;
        } else {
            const Segment* after = nullptr;
            for (int m = kApp12; m >= kApp0 && !after; --m) after = FindSegment(segments, uint8_t(m), file);
            const Segment* sof0 = FindSegment(segments, kSof0, file);
            cutFrom = cutTo = after ? after->end : sof0 ? sof0->start : 2;
        }

        if (IimDatasetBytes(record) > kMaxSegmentLength) return kIptcWriteTooLarge;
        size_t iimLength;
        uint8_t* iim = BuildIim(record, &iimLength);
        if (!iim) return kIptcWriteNoMemory;
        const uint8_t* old = replaced ? file.data() + replaced->start + 4 : nullptr;
        const size_t oldLength = replaced ? replaced->end - replaced->start - 4 : 0;
        std::string payload;
        try {
            payload = BuildPayload(old, oldLength, iim, iimLength);
        } catch (...) {
            std::free(iim);
            throw;
        }
        std::free(iim);
        if (payload.size() + 2 > kMaxSegmentLength) return kIptcWriteTooLarge;

        std::string head("\xFF\xED", 2);
        AppendBe16(head, payload.size() + 2);
        const bool written = WriteBeside(&out, {{file.data(), cutFrom},
                                               {head.data(), head.size()},
                                               {payload.data(), payload.size()},
                                               {file.data() + cutTo, file.size() - cutTo}});
        return written ? kIptcWriteDone : kIptcWriteNoPlace;
    } catch (const std::bad_alloc&) {
        return kIptcWriteNoMemory;
    }
}
