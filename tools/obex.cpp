// OBEX object push: packets, parser and the two exchanges.
#include "tools/obex.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "imagelib/bytereader.h"
#include "imagelib/fileio.h"
#include "imagelib/osfile.h"

namespace {

void PutU16(std::vector<uint8_t>& out, size_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void SetLength(std::vector<uint8_t>& packet) {
    packet[1] = uint8_t(packet.size() >> 8);
    packet[2] = uint8_t(packet.size());
}

std::u16string WideToU16(const std::wstring& text) {
    std::u16string out;
    for (wchar_t c : text) {
        const uint32_t v = uint32_t(c);
        if (sizeof(wchar_t) > 2 && v > 0xFFFF) {
            out.push_back(char16_t(0xD800 + ((v - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((v - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(v));
        }
    }
    return out;
}

std::wstring U16ToWide(const std::u16string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t v = text[i];
        if (sizeof(wchar_t) > 2 && v >= 0xD800 && v < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            v = 0x10000 + ((v - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        out.push_back(wchar_t(v));
    }
    return out;
}

// Tells the callback; a cancel ends the exchange.
void Report(ObexReceiveState* state, const wchar_t* text, int value) {
    if (state->callback && state->callback(state->context, text, value)) state->cancelled = true;
}

void DropFile(ObexReceiveState* state) {
    if (state->file) {
        std::fclose(static_cast<FILE*>(state->file));
        state->file = nullptr;
        RemoveWidePath(state->tempPath.c_str());
    }
    state->tempPath.clear();
}

// Opens the temporary file for a named PUT; the response code on refusal.
uint8_t OpenReceivedFile(ObexReceiveState* state, const std::u16string& name) {
    const std::wstring safe = ObexSafeName(name);
    if (safe.empty() || state->folder.size() + safe.size() >= kObexMaxPath) return kObexForbidden;
    if (state->complete.size() >= state->maxObjects) {
        state->limited = true;
        return kObexDatabaseFull;
    }
    const std::wstring temp = SiblingName(state->folder + safe, L"obex");
    if (temp.empty()) return kObexInternalError;
    FILE* file = OpenWidePath(temp.c_str(), "wb");
    if (!file) {
        RemoveWidePath(temp.c_str());
        return kObexInternalError;
    }
    state->file = file;
    state->tempPath = temp;
    state->name = safe;
    state->received = 0;
    state->total = 0;
    Report(state, safe.c_str(), 0);
    return 0;
}

// Closes the finished object; it waits as complete for the exchange's end.
uint8_t CompleteReceivedFile(ObexReceiveState* state) {
    FILE* file = static_cast<FILE*>(state->file);
    state->file = nullptr;
    const bool written = std::fflush(file) == 0 && !std::ferror(file);
    if (std::fclose(file) != 0 || !written) {
        RemoveWidePath(state->tempPath.c_str());
        state->tempPath.clear();
        return kObexInternalError;
    }
    state->complete.push_back({state->tempPath, state->name});
    state->tempPath.clear();
    return 0;
}

// Moves a complete object to the first free name ObexCandidateName gives,
// reserved by an exclusive create: a name the file system takes for an
// existing file ("A.JPG" on Windows, "a.jpg.") finds that file there and is
// passed over. False when no name could be had.
bool StoreObject(const std::wstring& folder, const ObexReceivedObject& object, std::wstring* stored) {
    constexpr int kMaxCandidates = 1000;
    for (int n = 1; n <= kMaxCandidates; ++n) {
        const std::wstring name = ObexCandidateName(object.name, n);
        const std::wstring path = folder + name;
        if (name.empty() || path.size() >= kObexMaxPath) return false;
        const int made = CreateExclusiveFile(path.c_str(), false);
        if (made < 0) return false;
        if (made == 0) continue;
        if (ReplaceWithTemp(object.tempPath, path) != 0) {
            RemoveWidePath(path.c_str());
            return false;
        }
        *stored = name;
        return true;
    }
    return false;
}

uint8_t HandlePut(ObexReceiveState* state, const uint8_t* request, size_t size) {
    ObexPacket packet;
    if (!ObexParsePacket(request, size, false, &packet)) {
        DropFile(state);
        return kObexBadRequest;
    }
    const bool final = (packet.code & kObexFinalBit) != 0;
    if (packet.hasName && !state->file) {
        const uint8_t refused = OpenReceivedFile(state, packet.name);
        if (refused) return refused;
    }
    // A Length after the body began could only raise the bound on it.
    if (packet.hasLength && state->received == 0) state->total = packet.totalLength;
    // An announced Length the exchange cannot take is refused before its body.
    if (state->file && state->total > state->maxExchangeBytes - std::min(state->exchangeBytes, state->maxExchangeBytes)) {
        DropFile(state);
        state->limited = true;
        return kObexDatabaseFull;
    }
    if (packet.hasBody) {
        if (!state->file) return kObexBadRequest;  // a body with no name to store it under
        state->received += packet.bodySize;
        state->exchangeBytes += packet.bodySize;
        if (state->exchangeBytes > state->maxExchangeBytes) {
            DropFile(state);
            state->limited = true;
            return kObexDatabaseFull;
        }
        if (state->total && state->received > state->total) {
            DropFile(state);
            state->failed = true;
            return kObexRequestTooLarge;
        }
        if (packet.bodySize &&
            std::fwrite(packet.body, 1, packet.bodySize, static_cast<FILE*>(state->file)) != packet.bodySize) {
            DropFile(state);
            return kObexInternalError;
        }
        if (state->total) Report(state, nullptr, int(state->received * 100 / state->total));
    }
    if (state->file && (packet.endOfBody || final)) {
        const uint8_t failed = CompleteReceivedFile(state);
        if (failed) return failed;
    }
    return final ? kObexSuccess : kObexContinue;
}

}  // namespace

size_t ObexPacketLength(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t length = size_t(data[1]) << 8 | data[2];
    return length < 3 ? 0 : length;
}

bool ObexParsePacket(const uint8_t* data, size_t size, bool connect, ObexPacket* packet) {
    *packet = ObexPacket();
    ByteReader in(data, size);
    packet->code = in.U8();
    packet->length = in.U16Be();
    if (!in.ok || packet->length != size || size < 3) return false;
    if (connect) {
        packet->version = in.U8();
        packet->flags = in.U8();
        packet->maxPacket = in.U16Be();
        if (!in.ok) return false;
    }
    while (in.Remaining()) {
        const uint8_t id = in.U8();
        size_t valueSize;
        switch (id >> 6) {
        case 0:  // text
        case 1: {  // bytes
            const size_t length = in.U16Be();
            if (!in.ok || length < 3) return false;
            valueSize = length - 3;
            break;
        }
        case 2:
            valueSize = 1;
            break;
        default:
            valueSize = 4;
            break;
        }
        const uint8_t* value = in.Take(valueSize);
        if (!value) return false;
        switch (id) {
        case kObexHeaderName: {
            if (valueSize % 2 || packet->hasName) return false;
            packet->hasName = true;
            // Every character is kept but the terminating zeros: a zero
            // inside the name must not cut it to another name.
            for (size_t i = 0; i < valueSize; i += 2) packet->name.push_back(char16_t(value[i] << 8 | value[i + 1]));
            while (!packet->name.empty() && packet->name.back() == 0) packet->name.pop_back();
            break;
        }
        case kObexHeaderLength:
            packet->hasLength = true;
            packet->totalLength = uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 | uint32_t(value[2]) << 8 | value[3];
            break;
        case kObexHeaderBody:
        case kObexHeaderEndOfBody:
            if (packet->hasBody) return false;
            packet->hasBody = true;
            packet->endOfBody = id == kObexHeaderEndOfBody;
            packet->body = value;
            packet->bodySize = valueSize;
            break;
        default:
            break;
        }
    }
    return in.ok;
}

std::vector<uint8_t> ObexConnectPacket(uint8_t code, uint16_t maxPacket) {
    std::vector<uint8_t> packet{code, 0, 7, kObexVersion, 0};
    PutU16(packet, maxPacket);
    return packet;
}

std::vector<uint8_t> ObexShortPacket(uint8_t code) { return {code, 0, 3}; }

std::vector<uint8_t> ObexNamePutPacket(const std::u16string& name) {
    std::vector<uint8_t> packet{kObexPut, 0, 0, kObexHeaderName};
    PutU16(packet, 3 + (name.size() + 1) * 2);
    for (char16_t c : name) PutU16(packet, c);
    PutU16(packet, 0);
    SetLength(packet);
    return packet;
}

std::vector<uint8_t> ObexBodyPutPacket(const uint8_t* chunk, size_t size, bool final) {
    std::vector<uint8_t> packet{uint8_t(final ? kObexPutFinal : kObexPut), 0, 0,
                                uint8_t(final ? kObexHeaderEndOfBody : kObexHeaderBody)};
    PutU16(packet, size + 3);
    packet.insert(packet.end(), chunk, chunk + size);
    SetLength(packet);
    return packet;
}

std::wstring ObexBaseName(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring ObexCandidateName(const std::wstring& safeName, int n) {
    const size_t end = safeName.find_last_not_of(L". ");
    if (end == std::wstring::npos) return std::wstring();
    const std::wstring name = safeName.substr(0, end + 1);
    if (n <= 1) return name;
    size_t dot = name.rfind(L'.');
    if (dot == 0 || dot == std::wstring::npos) dot = name.size();
    return name.substr(0, dot) + L" (" + std::to_wstring(n) + L")" + name.substr(dot);
}

namespace {

// Format characters (Unicode's Cf: bidirectional controls, zero-width
// characters, invisible operators, tags), C0 and C1 controls and the line
// and paragraph separators: none belongs in a file name a user reads.
bool IsFormatOrControl(uint32_t c) {
    static const struct {
        uint32_t first, last;
    } kRanges[] = {
        {0x0000, 0x001F},   {0x007F, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
        {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
        {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},
        {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
    };
    for (const auto& range : kRanges)
        if (c >= range.first && c <= range.last) return true;
    return false;
}

// The program's own files in a picture folder, which a received object must
// never become.
bool IsOwnFileName(const std::wstring& name) {
    static const wchar_t* const kOwn[] = {L"cache.zt", L"cache.zt1"};
    for (const wchar_t* own : kOwn) {
        const size_t n = std::wcslen(own);
        if (name.size() != n) continue;
        size_t i = 0;
        while (i < n && std::towlower(wint_t(name[i])) == wint_t(own[i])) ++i;
        if (i == n) return true;
    }
    return false;
}

}  // namespace

std::wstring ObexSafeName(const std::u16string& name) {
    std::wstring base = ObexBaseName(U16ToWide(name));
    // Windows drops a name's trailing dots and spaces when it makes the file:
    // the name is judged as it will be stored.
    while (!base.empty() && (base.back() == L'.' || base.back() == L' ')) base.pop_back();
    if (base.empty() || base.size() >= kObexMaxPath ||
        IsReservedFileName(base.c_str(), base.size()))
        return std::wstring();
    if (IsOwnFileName(base)) return std::wstring();
    for (size_t i = 0; i < base.size(); ++i) {
        uint32_t c = uint32_t(base[i]);
        // Where wchar_t is 16 bits, a surrogate pair is one character.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < base.size() && uint32_t(base[i + 1]) >= 0xDC00 &&
            uint32_t(base[i + 1]) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(base[i + 1]) - 0xDC00);
            ++i;
        }
        if (c == L':' || IsFormatOrControl(c)) return std::wstring();
    }
    return base;
}

int ObexReadPacket(ObexLink& link, size_t maxSize, std::vector<uint8_t>* packet, bool* tooLong) {
    if (tooLong) *tooLong = false;
    packet->assign(3, 0);
    size_t fill = 0;
    size_t want = 3;
    while (fill < want) {
        const long n = link.Recv(packet->data() + fill, want - fill);
        if (n < 0) return -1;
        if (n == 0) return fill == 0 ? 0 : -1;
        fill += size_t(n);
        if (want == 3 && fill == 3) {
            want = ObexPacketLength(packet->data(), 3);
            if (want == 0) return -1;
            if (want > maxSize) {
                if (tooLong) *tooLong = true;
                return -1;
            }
            packet->resize(want);
        }
    }
    return 1;
}

bool ObexHandleRequest(ObexReceiveState* state, const uint8_t* request, size_t size, std::vector<uint8_t>* response) {
    const uint8_t code = size ? request[0] : 0;
    switch (code) {
    case kObexConnect: {
        ObexPacket packet;
        if (!ObexParsePacket(request, size, true, &packet)) {
            *response = ObexShortPacket(kObexBadRequest);
            return true;
        }
        state->connected = true;
        state->maxPacket = std::max<size_t>(kObexServerMaxPacket, packet.maxPacket);
        *response = ObexConnectPacket(kObexSuccess, kObexServerMaxPacket);
        return true;
    }
    case kObexPut:
    case kObexPutFinal:
        *response = ObexShortPacket(HandlePut(state, request, size));
        return !state->failed && !state->cancelled && !state->limited;
    case kObexDisconnect:
        *response = ObexShortPacket(kObexSuccess);
        state->disconnected = true;
        return false;
    case kObexAbort:
        DropFile(state);
        *response = ObexShortPacket(kObexSuccess);
        return true;
    default:
        *response = ObexShortPacket(kObexNotImplemented);
        return true;
    }
}

bool ObexStoreReceived(ObexReceiveState* state, std::vector<std::wstring>* names) {
    std::vector<std::wstring> stored;
    for (const ObexReceivedObject& object : state->complete) {
        std::wstring name;
        if (!StoreObject(state->folder, object, &name)) break;
        stored.push_back(name);
        Report(state, name.c_str(), 0);
        if (state->cancelled) break;
    }
    // Stored objects have left their temporary names; the rest are removed.
    const bool ok = stored.size() == state->complete.size() && !state->cancelled;
    state->complete.erase(state->complete.begin(), state->complete.begin() + long(stored.size()));
    ObexReceiveFinish(state);
    if (!ok)
        for (const std::wstring& name : stored) RemoveWidePath((state->folder + name).c_str());
    else if (names)
        names->insert(names->end(), stored.begin(), stored.end());
    return ok;
}

void ObexReceiveFinish(ObexReceiveState* state) {
    DropFile(state);
    for (const ObexReceivedObject& object : state->complete) RemoveWidePath(object.tempPath.c_str());
    state->complete.clear();
}

int ObexServeConnection(ObexLink& link, const std::wstring& folder, IrdaProgressCallback callback, void* context,
                        std::vector<std::wstring>* names) {
    ObexReceiveState state;
    state.folder = folder;
    if (!state.folder.empty() && state.folder.back() != L'\\' && state.folder.back() != L'/') state.folder += L'\\';
    state.callback = callback;
    state.context = context;
    std::vector<uint8_t> request, response;
    bool whole = false;
    for (;;) {
        bool tooLong = false;
        const int read = ObexReadPacket(link, state.maxPacket, &request, &tooLong);
        if (read == 0) {
            // A peer that closes once its final PUT was acknowledged has sent everything.
            whole = !state.file;
            break;
        }
        if (read < 0) {
            if (tooLong) {
                const std::vector<uint8_t> refusal = ObexShortPacket(kObexRequestTooLarge);
                link.Send(refusal.data(), refusal.size());
            }
            break;
        }
        const bool more = ObexHandleRequest(&state, request.data(), request.size(), &response);
        if (state.cancelled || !link.Send(response.data(), response.size())) break;
        if (!more) {
            whole = (state.disconnected || state.limited) && !state.file;
            break;
        }
    }
    const bool stored = whole && !state.complete.empty() && ObexStoreReceived(&state, names);
    ObexReceiveFinish(&state);
    if (!stored) return kObexReceiveFailed;
    return state.limited ? kObexReceiveLimited : kObexReceiveDone;
}

int ObexPushFile(ObexLink& link, const std::wstring& path, IrdaProgressCallback callback, void* context) {
    const std::u16string name = WideToU16(ObexBaseName(path));
    FILE* file = OpenWidePath(path.c_str(), "rb");
    if (!file) return 0;
    WideFileInfo info{};
    const uint64_t size = StatStream(file, &info) == 0 ? uint64_t(info.size) : 0;

    std::vector<uint8_t> packet = ObexConnectPacket(kObexConnect, kObexClientMaxPacket), answer;
    ObexPacket parsed;
    bool ok = link.Send(packet.data(), packet.size()) && ObexReadPacket(link, 0xFFFF, &answer) == 1 &&
              ObexParsePacket(answer.data(), answer.size(), true, &parsed) && parsed.code == kObexSuccess;
    size_t maxPacket = ok ? parsed.maxPacket : 0;
    if (maxPacket < kObexMinMaxPacket) maxPacket = kObexMinMaxPacket;
    if (maxPacket > kObexClientMaxPacket) maxPacket = kObexClientMaxPacket;

    packet = ObexNamePutPacket(name);
    ok = ok && packet.size() <= maxPacket && link.Send(packet.data(), packet.size()) &&
         ObexReadPacket(link, 0xFFFF, &answer) == 1 && answer[0] == kObexContinue;

    const size_t chunkSize = maxPacket - 6;
    std::vector<uint8_t> chunk(chunkSize);
    uint64_t sent = 0;
    bool done = false;
    while (ok && !done) {
        const size_t n = std::fread(chunk.data(), 1, chunkSize, file);
        if (std::ferror(file)) {
            ok = false;
            break;
        }
        if (size && callback && callback(context, nullptr, int(sent * 100 / size))) {
            ok = false;
            break;
        }
        // A short chunk ends the body; a file that ends on a whole chunk
        // gets one more, empty, final PUT.
        done = n < chunkSize;
        packet = ObexBodyPutPacket(chunk.data(), n, done);
        ok = link.Send(packet.data(), packet.size()) && ObexReadPacket(link, 0xFFFF, &answer) == 1 &&
             answer[0] == (done ? kObexSuccess : kObexContinue);
        sent += n;
    }
    std::fclose(file);
    if (ok) {
        packet = ObexShortPacket(kObexDisconnect);
        if (link.Send(packet.data(), packet.size())) ObexReadPacket(link, 0xFFFF, &answer);
    } else {
        packet = ObexShortPacket(kObexAbort);
        link.Send(packet.data(), packet.size());
    }
    return ok ? 1 : 0;
}
