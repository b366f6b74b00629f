// OBEX object push: the packets, the request parser, the receiving server's
// exchange and the pushing client's exchange, over any byte stream (an
// infrared connection in the program, a plain TCP connection to another
// OBEX peer, or memory in tests).
//
// Only CONNECT, PUT and DISCONNECT are carried; other requests are refused.
// All numbers are big-endian, texts UTF-16 big-endian ending in a zero.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum ObexOpcode : uint8_t {
    kObexConnect = 0x80,
    kObexDisconnect = 0x81,
    kObexPut = 0x02,
    kObexPutFinal = 0x82,
    kObexAbort = 0xFF,
};
constexpr uint8_t kObexFinalBit = 0x80;

enum ObexResponse : uint8_t {
    kObexContinue = 0x90,
    kObexSuccess = 0xA0,
    kObexBadRequest = 0xC0,
    kObexForbidden = 0xC3,
    kObexNotAcceptable = 0xC6,
    kObexRequestTooLarge = 0xCD,
    kObexInternalError = 0xD0,
    kObexNotImplemented = 0xD1,
};

enum ObexHeaderId : uint8_t {
    kObexHeaderName = 0x01,
    kObexHeaderDescription = 0x05,
    kObexHeaderType = 0x42,
    kObexHeaderBody = 0x48,
    kObexHeaderEndOfBody = 0x49,
    kObexHeaderLength = 0xC3,
};

constexpr uint8_t kObexVersion = 0x10;
// The largest packet the receiving server accepts, and the client's.
constexpr uint16_t kObexServerMaxPacket = 1024;
constexpr uint16_t kObexClientMaxPacket = 2048;
// The smallest largest-packet a peer may announce.
constexpr uint16_t kObexMinMaxPacket = 255;
// Longest received name, in characters, and longest folder + name.
constexpr size_t kObexMaxPath = 260;

// Progress callback: (context, text or null, value); nonzero when the user
// has cancelled. The server reports the received name as text (value 0) and
// body progress in percent; the client reports each discovery or connection
// attempt as minus its number (0, -1, ... -9) and body progress in percent.
using IrdaProgressCallback = int (*)(void* context, const wchar_t* text, int value);

// One request or response as parsed from a whole packet.
struct ObexPacket {
    uint8_t code = 0;
    uint16_t length = 0;
    // CONNECT request and response fields.
    uint8_t version = 0;
    uint8_t flags = 0;
    uint16_t maxPacket = 0;
    // Headers the exchange uses.
    bool hasName = false;
    std::u16string name;       // up to its first zero character
    bool hasLength = false;
    uint32_t totalLength = 0;
    bool hasBody = false;       // a Body or End-of-Body header
    bool endOfBody = false;
    const uint8_t* body = nullptr;  // into the parsed buffer
    size_t bodySize = 0;
};

// Parses one whole packet (`size` must be its length field). `connect`
// says whether the 4 bytes of CONNECT fields follow the head (a CONNECT
// request or its response). Headers are checked against the packet and
// each other: a length below the header's own head, beyond the packet, a
// second Body, or a Name that is not whole UTF-16 is malformed. Returns
// false for a malformed packet.
bool ObexParsePacket(const uint8_t* data, size_t size, bool connect, ObexPacket* packet);

// The packet's length from its first 3 bytes; 0 when fewer are there or the
// length is below 3.
size_t ObexPacketLength(const uint8_t* data, size_t size);

// Builders.
std::vector<uint8_t> ObexConnectPacket(uint8_t code, uint16_t maxPacket);
std::vector<uint8_t> ObexShortPacket(uint8_t code);  // a 3-byte response or DISCONNECT
std::vector<uint8_t> ObexNamePutPacket(const std::u16string& name);
std::vector<uint8_t> ObexBodyPutPacket(const uint8_t* chunk, size_t size, bool final);

// The part of a path after its last "\" or "/".
std::wstring ObexBaseName(const std::wstring& path);
// A received name made safe to store in a folder: its last path component;
// empty when that is empty, "." or "..", holds a control character or ":",
// is a device name or a name Windows strips (IsReservedFileName), or is
// longer than kObexMaxPath - 1 characters.
std::wstring ObexSafeName(const std::u16string& name);

// The byte stream under an exchange.
class ObexLink {
public:
    virtual ~ObexLink() = default;
    // The whole buffer, or false.
    virtual bool Send(const uint8_t* data, size_t size) = 0;
    // At most `capacity` bytes; 0 when the peer closed, negative on error.
    virtual long Recv(uint8_t* buffer, size_t capacity) = 0;
};

// Reads one whole packet of at most `maxSize` bytes by its length field.
// 1 done, 0 the peer closed before a first byte, -1 error, closed mid-packet
// or too long (`*tooLong` set when the length field asked for more).
int ObexReadPacket(ObexLink& link, size_t maxSize, std::vector<uint8_t>* packet, bool* tooLong = nullptr);

// The receiving server's state for one connection.
struct ObexReceiveState {
    std::wstring folder;        // ends in a separator, or empty
    std::wstring name;          // the received file's name (last one opened)
    std::wstring tempPath;      // the file being written, beside its final name
    std::wstring finalPath;
    void* file = nullptr;       // FILE* while a file is open
    uint64_t total = 0;         // announced by a Length header; 0 when none came
    uint64_t received = 0;
    bool connected = false;
    bool disconnected = false;
    bool haveFile = false;      // a whole file was stored
    IrdaProgressCallback callback = nullptr;
    void* context = nullptr;
};

// Handles one request of the server's exchange: fills `response` and says
// whether the exchange goes on. After DISCONNECT it ends with `disconnected`
// set. A PUT's Name header (in any PUT) opens a file named by its safe name
// in the folder, written beside the final name and moved over it when the
// End of Body (or the final PUT) arrives; a refused name answers Forbidden.
bool ObexHandleRequest(ObexReceiveState* state, const uint8_t* request, size_t size, std::vector<uint8_t>* response);

// Ends the exchange: a file still being written is removed.
void ObexReceiveFinish(ObexReceiveState* state);

// The whole server exchange on an accepted connection. 1 when a whole file
// was stored and the peer disconnected (or closed after the final PUT was
// acknowledged); `name` then holds its name. 0 otherwise.
int ObexServeConnection(ObexLink& link, const std::wstring& folder, IrdaProgressCallback callback, void* context,
                        std::wstring* name);

// The client's push of one file: CONNECT, a PUT with the file's base name,
// body PUTs sized from the peer's largest packet, DISCONNECT. The callback
// is asked before each body chunk with the percentage sent. 1 when the whole
// file was acknowledged, else 0.
int ObexPushFile(ObexLink& link, const std::wstring& path, IrdaProgressCallback callback, void* context);
