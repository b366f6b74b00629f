// The deflate compressor's state and the helpers its two halves share: the
// matcher (deflate.cpp) and the block and Huffman coder (deflatetrees.cpp).
// Internal to zip/.
#pragma once

#include <cstdint>

#include "zip/deflate.h"

constexpr uint32_t kWindowSize = 32768;       // positions are masked with kWindowMask
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kWindowBytes = 2 * kWindowSize;  // the window's data: two halves
static_assert(kWindowBytes <= 0x10000, "window positions must fit the 16-bit chain entries");
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
constexpr uint32_t kMaxDistance = kWindowSize - kMinLookahead;  // 32506
constexpr uint32_t kChainKeyBytes = 6;         // chains: strings keyed on their first 6 bytes
constexpr uint32_t kChainLinks = 8;            // chain positions kept per string (ChainLinks)
constexpr uint32_t kHashBits = 15;             // slots of the chains and of the 4-byte table
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr uint32_t kHash3Bits = 15;            // latest string of each 3-byte key slot
constexpr uint32_t kHash3Size = 1u << kHash3Bits;
constexpr uint32_t kTooFar = 4096;             // farthest match of 3 before the literals' cost is known
constexpr uint32_t kSymbolBufferSize = 0x8000;  // literal and distance buffers
constexpr uint32_t kSlideAt = kWindowSize + kMaxDistance;  // 65274
constexpr uint32_t kKindCheck = 512;           // symbols between two looks at the block's kinds of data
constexpr uint32_t kMinChangedBlock = 1024;    // symbols a block holds before it may end for a change of data
constexpr int kSymbolKinds = 20;               // literals by their top 4 bits, matches by length (deflatetrees.cpp)

constexpr int kLengthCodes = 29;
constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286
constexpr int kDCodes = 30;
constexpr int kBLCodes = 19;
constexpr int kHeapSize = 2 * kLCodes + 1;  // 573
constexpr int kMaxBits = 15;
constexpr int kMaxBLBits = 7;

// The positions that follow one string in its chain, nearest first
// (0 = none).
struct alignas(16) ChainLinks {
    uint16_t next[kChainLinks];
};

// A tree entry: frequency (while building) or code, and parent (while
// building) or code length.
struct TreeNode {
    uint16_t freqOrCode;
    uint16_t dadOrLen;
};

struct TreeDesc {
    TreeNode* dynTree;
    const TreeNode* staticTree;  // null for the bit-length tree
    const uint8_t* extraBits;
    int extraBase;               // first code with extra bits
    int elems;
    int maxLength;
    int maxCode;                 // largest code in use
};

struct DeflateState {
    // Parameters.
    void* arg;
    int level;
    DeflateReadFn read;
    DeflateFlushFn flush;
    const char* error;

    // Huffman coding.
    TreeNode dynLtree[kHeapSize];
    TreeNode dynDtree[2 * kDCodes + 1];
    TreeNode blTree[2 * kBLCodes + 1];
    TreeNode staticLtree[kLCodes + 2];
    TreeNode staticDtree[kDCodes];
    TreeDesc lDesc, dDesc, blDesc;
    uint16_t blCount[kMaxBits + 1];
    int heap[kHeapSize];
    int heapMax;
    uint8_t lengthCode[256];   // match length - 3 -> length code
    uint8_t distCode[512];     // see DistCode
    int baseLength[kLengthCodes];
    int baseDist[kDCodes];
    bool tablesBuilt;
    uint8_t litBuf[kSymbolBufferSize];       // literals, or match lengths - 3
    uint16_t distBuf[kSymbolBufferSize];     // match distances - 1
    uint8_t flagBuf[kSymbolBufferSize / 8];  // one bit per symbol, 1 = match
    uint32_t lastLit, lastDist, lastFlags;
    uint32_t blockKinds[kSymbolKinds];   // the block's symbols up to the last look, by kind
    uint8_t flags, flagBit;
    int64_t optLen;            // bits of the block with its dynamic trees
    int64_t staticLen;         // bits of the block with the fixed trees
    uint64_t compressedLen;    // bits so far, as predicted
    uint16_t* fileType;

    // Bit output.
    uint64_t bitBuf;           // pending bits, the first sent in bit 0
    int bitCount;              // at most 31 between calls
    uint8_t* out;
    uint32_t outSize;
    uint32_t outOffset;
    uint64_t bitsSent;
    uint64_t bytesOut;         // bytes handed to the flush callback

    // Matcher. The window has 8 bytes of slack for word-wise comparison.
    uint8_t window[kWindowBytes + 8];
    // The latest string of each slot: its window position (which fits 16
    // bits; 0 = none) and above it a tag, the rest of its key (deflate.cpp).
    uint32_t head[kHashSize];     // each chain's latest entry
    uint32_t head4[kHashSize];    // each 4-byte slot's latest entry
    uint32_t head3[kHash3Size];   // each 3-byte slot's latest entry
    // The positions after each one in its chain: a walk waits on memory
    // once per kChainLinks strings it looks at, not at every one.
    ChainLinks links[kWindowSize];
    int64_t blockStart;           // negative once the block's start has slid out
    uint32_t strStart;            // the first byte not yet tallied
    uint32_t insertAt;            // the first position not yet in the hash tables
    uint32_t lastFound;           // string start of the last search that found a match
    bool eofile;
    uint32_t lookahead;
    uint32_t maxChain, maxLazy, goodMatch, niceMatch;
    uint32_t lazyDepth;           // positions looked ahead for a better match (0: greedy)
    uint32_t reach3;              // farthest distance at which a match of 3 beats its literals
    bool noisy;                   // literals cost over 6 bits: only the 3-byte table is kept (SetNoisy)
    bool chainsStale;             // the window slid while noisy: the chains and the 4-byte table are out of date
};

// Records the first message; every loop stops once one is recorded.
inline void DeflateFail(DeflateState* s, const char* message) {
    if (!s->error) s->error = message;
}

inline uint32_t DistCode(const DeflateState* s, uint32_t dist) {
    return dist < 256 ? s->distCode[dist] : s->distCode[256 + (dist >> 7)];
}

extern const uint8_t kExtraDistBits[kDCodes];

// Switches the matcher to noisy data or back (deflate.cpp).
void SetNoisy(DeflateState* s, bool noisy);

// Called after every kKindCheck symbols: updates the matcher's estimates of
// what literals cost, and tells whether the block should end here.
bool BlockCheckpoint(DeflateState* s);

// Buffers one symbol: a literal (dist 0) or a match of length lc + 3 at
// distance dist. True when the block should be emitted now.
inline bool ct_tally(DeflateState* s, uint32_t dist, uint32_t lc) {
    s->litBuf[s->lastLit++] = uint8_t(lc);
    if (dist == 0) {
        s->dynLtree[lc].freqOrCode++;
    } else {
        --dist;
        const uint32_t dcode = DistCode(s, dist);
        if (dist >= kMaxDistance || lc > kMaxMatch - kMinMatch || dcode >= uint32_t(kDCodes)) {
            DeflateFail(s, "ct_tally: bad match");
            return true;
        }
        s->dynLtree[s->lengthCode[lc] + kLiterals + 1].freqOrCode++;
        s->dynDtree[dcode].freqOrCode++;
        s->distBuf[s->lastDist++] = uint16_t(dist);
        s->flags |= s->flagBit;
    }
    s->flagBit = uint8_t(s->flagBit << 1);
    if ((s->lastLit & 7) == 0) {
        s->flagBuf[s->lastFlags++] = s->flags;
        s->flags = 0;
        s->flagBit = 1;
    }
    if ((s->lastLit & (kKindCheck - 1)) == 0 && BlockCheckpoint(s)) return true;
    return s->lastLit == kSymbolBufferSize - 1 || s->lastDist == kSymbolBufferSize;
}
// Emits the buffered block (the window from the block start, when it is
// still there, serves a stored block); returns the compressed size so far.
uint32_t EmitBlock(DeflateState* s, bool last);
void SetupTreeDescriptors(DeflateState* s);
