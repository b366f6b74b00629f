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
    kObexDatabaseFull = 0xE0,
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
// The largest packet the receiving server announces, and the client's.
// Handheld clients send 1,024-byte chunks in 1,030-byte packets even to a
// server that announced 1,024, so the server takes any request up to the
// larger of its own and the client's announced maximum.
constexpr uint16_t kObexServerMaxPacket = 1024;
constexpr uint16_t kObexClientMaxPacket = 2048;
// The smallest largest-packet a peer may announce.
constexpr uint16_t kObexMinMaxPacket = 255;
// Longest received name, in characters, and longest folder + name.
constexpr size_t kObexMaxPath = 260;
// What one exchange may store: a peer pushing more objects, or more body
// bytes in all, is refused with Database Full and the exchange ends; the
// objects that came whole before are kept. One object may be as large as a
// Length header can announce.
constexpr size_t kObexMaxObjects = 100;
constexpr uint64_t kObexMaxExchangeBytes = uint64_t(1) << 32;

// Progress callback: (context, text or null, value); nonzero when the user
// has cancelled. The server reports the received name as text (value 0) and
// body progress in percent; the client reports each discovery or connection
// attempt as minus its number (0, -1, ... -9) and body progress in percent.
// Every answer is heeded: a cancel ends the exchange at once.
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
    std::u16string name;       // without its terminating zeros (an inner zero stays)
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
// The n-th name (n from 1) under which a received object may be stored:
// the safe name itself, then "<base> (<n>)<extension>" ("trail (2).jpg").
// Trailing dots and blanks are dropped first, as Windows drops them when it
// creates a file, so that the name reported is the name stored. Empty when
// nothing is left.
std::wstring ObexCandidateName(const std::wstring& safeName, int n);
// A received name made safe to store in a folder: its last path component
// without the trailing dots and spaces Windows drops; empty when that is
// empty, holds a control character (a zero included), ":" or a format
// character (bidirectional controls such as U+202E, which make a name show
// other than it is; zero-width characters; line and paragraph separators),
// is a device name (IsReservedFileName), is one of the program's own files
// in a folder (the thumbnail cache "cache.zt" and its rewrite "cache.zt1",
// in any case), or is longer than kObexMaxPath - 1 characters.
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

// An object received whole, waiting beside the folder's files for the
// exchange to end well.
struct ObexReceivedObject {
    std::wstring tempPath;
    std::wstring name;  // its safe name
};

// The receiving server's state for one connection. Nothing is stored under
// a name of its own before the whole exchange ended well: a connection that
// fails leaves nothing behind.
struct ObexReceiveState {
    std::wstring folder;        // ends in a separator, or empty
    std::wstring name;          // the object being received (its safe name)
    std::wstring tempPath;      // where it is written, beside the folder's files
    void* file = nullptr;       // FILE* while an object is being received
    uint64_t total = 0;         // announced by a Length header; 0 when none came
    uint64_t received = 0;
    uint64_t exchangeBytes = 0; // body bytes of every object so far
    size_t maxObjects = kObexMaxObjects;
    uint64_t maxExchangeBytes = kObexMaxExchangeBytes;
    size_t maxPacket = kObexServerMaxPacket;  // the largest request taken
    bool connected = false;
    bool disconnected = false;
    bool failed = false;        // the exchange ends after this response
    bool cancelled = false;     // the callback asked to stop: ends without a response
    bool limited = false;       // past maxObjects or maxExchangeBytes: ends after this response
    std::vector<ObexReceivedObject> complete;
    IrdaProgressCallback callback = nullptr;
    void* context = nullptr;
};

// Handles one request of the server's exchange: fills `response` and says
// whether the exchange goes on. After DISCONNECT it ends with `disconnected`
// set; a body that runs past its announced Length is refused and ends it
// (`failed`); a cancel from the callback ends it at once (`cancelled`). A
// PUT's Name header (in any PUT) opens an object, written beside the
// folder's files until its End of Body (or final PUT) makes it complete; a
// refused name answers Forbidden. A name that would open object maxObjects
// + 1, or a body (or announced Length) that would take the exchange past
// maxExchangeBytes, answers Database Full and ends it (`limited`); the
// object it belonged to is dropped. A CONNECT raises `maxPacket` to the
// client's announced maximum.
bool ObexHandleRequest(ObexReceiveState* state, const uint8_t* request, size_t size, std::vector<uint8_t>* response);

// Stores every complete object under a new name in the folder, created
// exclusively (ObexCandidateName's first free one), so that no file is ever
// replaced; `names` receives the names in the order received. Each stored
// name is reported to the callback (as text, value 0) as it is stored. On any
// failure, or a cancel from the callback, nothing received stays behind and
// false is returned.
bool ObexStoreReceived(ObexReceiveState* state, std::vector<std::wstring>* names);

// Ends the exchange: everything received and not stored is removed.
void ObexReceiveFinish(ObexReceiveState* state);

// Results of a receiving exchange.
enum ObexReceiveResult {
    kObexReceiveFailed = 0,   // nothing stored, nothing left behind
    kObexReceiveDone = 1,     // every object stored
    kObexReceiveLimited = 2,  // the peer passed the exchange's limits; the objects before were stored
};

// The whole server exchange on an accepted connection. Done when at least
// one whole object came, the peer disconnected (or closed after its final
// PUT was acknowledged) and every object was stored; Limited when the peer
// passed a limit of the exchange after at least one whole object, which were
// all stored; `names` then holds their names. Failed otherwise.
int ObexServeConnection(ObexLink& link, const std::wstring& folder, IrdaProgressCallback callback, void* context,
                        std::vector<std::wstring>* names);

// The client's push of one file: CONNECT, a PUT with the file's base name,
// body PUTs sized from the peer's largest packet, DISCONNECT. The callback
// is asked before each body chunk with the percentage sent. 1 when the whole
// file was acknowledged, else 0.
int ObexPushFile(ObexLink& link, const std::wstring& path, IrdaProgressCallback callback, void* context);
