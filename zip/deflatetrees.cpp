// Deflate compressor, block half: code tables, Huffman trees with limited
// code lengths, the choice between stored, fixed and dynamic blocks, and the
// bit output. The published tables (code bases and extra bits, fixed codes,
// the order of the code-length codes) are those of RFC 1951.
#include "zip/deflatestate.h"

#include <algorithm>
#include <cstring>

const uint8_t kExtraDistBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

namespace {

const uint8_t kExtraLengthBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint8_t kExtraBLBits[kBLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
const uint8_t kBLOrder[kBLCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr int kStoredBlock = 0, kFixedBlock = 1, kDynamicBlock = 2;
constexpr int kRep3To6 = 16, kRepZero3To10 = 17, kRepZero11To138 = 18;

// ---------------------------------------------------------------------------
// Bit output, least significant bit first.

// Hands `length` bytes to the flush callback and counts what it took: the
// count is what the output really holds, also after a failure.
void Deliver(DeflateState* s, const uint8_t* data, uint32_t length) {
    if (s->error) return;
    uint32_t count = length;
    const uint32_t written = s->flush(s->arg, data, &count);
    if (count != 0) {
        DeflateFail(s, "flush failed");
        s->bytesOut += written < length ? written : length;
        return;
    }
    s->bytesOut += length;
}

void FlushOutputBuffer(DeflateState* s) {
    if (s->outOffset == 0) return;
    Deliver(s, s->out, s->outOffset);
    s->outOffset = 0;
}

inline void PutByte(DeflateState* s, uint8_t b) {
    if (s->outOffset >= s->outSize) FlushOutputBuffer(s);
    s->out[s->outOffset++] = b;
}

inline void PutShort(DeflateState* s, uint32_t w) {
    if (s->outOffset >= s->outSize - 1) FlushOutputBuffer(s);
    s->out[s->outOffset++] = uint8_t(w);
    s->out[s->outOffset++] = uint8_t(w >> 8);
}

inline void PutWord(DeflateState* s, uint32_t w) {
    if (s->outSize - s->outOffset < 4) FlushOutputBuffer(s);
    uint8_t* out = s->out + s->outOffset;
    out[0] = uint8_t(w);
    out[1] = uint8_t(w >> 8);
    out[2] = uint8_t(w >> 16);
    out[3] = uint8_t(w >> 24);
    s->outOffset += 4;
}

// Bits gather in a 64-bit buffer and leave it 32 at a time: at most 31 wait
// between calls, so a code of up to 15 bits always fits.
inline void PutBits(DeflateState* s, uint32_t value, int length) {
    if (length < 1 || length > 15) {
        DeflateFail(s, "invalid length");
        return;
    }
    s->bitsSent += uint32_t(length);
    s->bitBuf |= uint64_t(value) << s->bitCount;
    s->bitCount += length;
    if (s->bitCount >= 32) {
        PutWord(s, uint32_t(s->bitBuf));
        s->bitBuf >>= 32;
        s->bitCount -= 32;
    }
}

inline void SendCode(DeflateState* s, int code, const TreeNode* tree) {
    PutBits(s, tree[code].freqOrCode, tree[code].dadOrLen);
}

// Sends the pending bits as whole bytes and flushes the buffer.
void AlignOutput(DeflateState* s) {
    for (; s->bitCount > 0; s->bitCount -= 8) {
        PutByte(s, uint8_t(s->bitBuf));
        s->bitBuf >>= 8;
    }
    s->bitBuf = 0;
    s->bitCount = 0;
    FlushOutputBuffer(s);
    s->bitsSent = (s->bitsSent + 7) & ~uint64_t(7);
}

// A stored block's LEN and NLEN, then its bytes straight from the window.
void PutStoredBlock(DeflateState* s, const uint8_t* data, uint32_t length) {
    AlignOutput(s);
    PutShort(s, length);
    PutShort(s, ~length & 0xFFFF);
    s->bitsSent += 32;
    FlushOutputBuffer(s);
    if (length == 0 || s->error) return;
    Deliver(s, data, length);
    s->bitsSent += uint64_t(length) << 3;
}

// log2(x) for x > 0 in 1/256ths, the fraction taken as linear between
// powers of two (off by less than 0.09).
inline int64_t Log2Fixed(uint32_t x) {
    const int whole = 31 - __builtin_clz(x);
    const uint32_t fraction = whole >= 8 ? (x >> (whole - 8)) & 0xFF : (x << (8 - whole)) & 0xFF;
    return int64_t(whole) * 256 + fraction;
}

// Each byte with its bits in reverse order.
struct ReversedBytes {
    uint8_t r[256];
    constexpr ReversedBytes() : r() {
        for (int b = 0; b < 256; ++b)
            for (int i = 0; i < 8; ++i)
                if (b & (1 << i)) r[b] = uint8_t(r[b] | (0x80 >> i));
    }
};
constexpr ReversedBytes kReversedBytes;

// The low `length` bits (1 to 15) of code in reverse order.
uint32_t ReverseBits(uint32_t code, int length) {
    const uint32_t reversed16 = uint32_t(kReversedBytes.r[code & 0xFF]) << 8 | kReversedBytes.r[(code >> 8) & 0xFF];
    return reversed16 >> (16 - length);
}

// ---------------------------------------------------------------------------
// Huffman trees.

// Gives each code of length 1..15 (code lengths in dadOrLen, counts in
// blCount) its code, bit-reversed for least-significant-first output.
void gen_codes(DeflateState* s, TreeNode* tree, int maxCode) {
    uint32_t nextCode[kMaxBits + 1];
    uint32_t code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + s->blCount[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    if (code + s->blCount[kMaxBits] - 1 != (1u << kMaxBits) - 1) DeflateFail(s, "inconsistent bit counts");
    for (int n = 0; n <= maxCode; ++n) {
        const int len = tree[n].dadOrLen;
        if (len == 0) continue;
        tree[n].freqOrCode = uint16_t(ReverseBits(nextCode[len]++, len));
    }
}

// Code lengths from the tree built in heap[heapMax..], limited to the
// descriptor's maximum; adds the block's bits to optLen and staticLen.
void AssignBitLengths(DeflateState* s, TreeDesc* desc) {
    TreeNode* tree = desc->dynTree;
    const int maxCode = desc->maxCode;
    const TreeNode* stree = desc->staticTree;
    const int maxLength = desc->maxLength;
    for (int bits = 0; bits <= kMaxBits; ++bits) s->blCount[bits] = 0;

    // Parents come before their children in the sorted area.
    tree[s->heap[s->heapMax]].dadOrLen = 0;
    int overflow = 0;
    int h;
    for (h = s->heapMax + 1; h < kHeapSize; ++h) {
        const int n = s->heap[h];
        int bits = tree[tree[n].dadOrLen].dadOrLen + 1;
        if (bits > maxLength) {
            bits = maxLength;
            ++overflow;
        }
        tree[n].dadOrLen = uint16_t(bits);
        if (n > maxCode) continue;  // not a leaf
        s->blCount[bits]++;
        const int xbits = n >= desc->extraBase ? desc->extraBits[n - desc->extraBase] : 0;
        const int64_t f = tree[n].freqOrCode;
        s->optLen += f * (bits + xbits);
        if (stree) s->staticLen += f * (stree[n].dadOrLen + xbits);
    }
    if (overflow == 0) return;

    // Move leaves down from the deepest non-full level until the lengths
    // fit, then hand the lengths out again, longest to the least frequent.
    do {
        int bits = maxLength - 1;
        while (s->blCount[bits] == 0) --bits;
        s->blCount[bits]--;
        s->blCount[bits + 1] += 2;
        s->blCount[maxLength]--;
        overflow -= 2;
    } while (overflow > 0);
    for (int bits = maxLength; bits != 0; --bits) {
        int n = s->blCount[bits];
        while (n != 0) {
            const int m = s->heap[--h];
            if (m > maxCode) continue;
            if (tree[m].dadOrLen != bits) {
                s->optLen += (int64_t(bits) - tree[m].dadOrLen) * tree[m].freqOrCode;
                tree[m].dadOrLen = uint16_t(bits);
            }
            --n;
        }
    }
}

// The tree of the descriptor's frequencies, by the two-queue method: the
// leaves sorted by frequency, and the new nodes, which are made in order
// of frequency, in a queue of their own; each step joins the two least
// frequent of both (a leaf before a node of the same frequency, which keeps
// the tree shallow). Every node taken goes into heap[heapMax..], so that
// the area holds them from the most frequent (the root, first) to the least,
// parents before children, as AssignBitLengths reads them.
void BuildHuffmanTree(DeflateState* s, TreeDesc* desc) {
    TreeNode* tree = desc->dynTree;
    const TreeNode* stree = desc->staticTree;
    const int elems = desc->elems;
    static_assert(kHeapSize <= 1 << 10, "a symbol fits the low 10 bits of a sort key");
    uint32_t leaves[kLCodes];
    int count = 0;
    int maxCode = -1;
    for (int n = 0; n < elems; ++n) {
        if (tree[n].freqOrCode != 0) {
            leaves[count++] = uint32_t(tree[n].freqOrCode) << 10 | uint32_t(n);
            maxCode = n;
        } else {
            tree[n].dadOrLen = 0;
        }
    }
    // A tree needs two codes: force some in (they cost nothing, as they
    // are never sent).
    while (count < 2) {
        const int node = maxCode < 2 ? ++maxCode : 0;
        tree[node].freqOrCode = 1;
        leaves[count++] = 1u << 10 | uint32_t(node);
        s->optLen--;
        if (stree) s->staticLen -= stree[node].dadOrLen;
    }
    desc->maxCode = maxCode;
    std::sort(leaves, leaves + count);

    int leaf = 0;          // the next leaf to take
    int next = elems;      // the next new node to take
    int node = elems;      // the next node to make
    const auto take = [&]() -> int {
        if (leaf < count && (next == node || (leaves[leaf] >> 10) <= tree[next].freqOrCode))
            return int(leaves[leaf++] & 0x3FF);
        return next++;
    };
    s->heapMax = kHeapSize;
    do {
        const int n = take();
        const int m = take();
        s->heap[--s->heapMax] = n;
        s->heap[--s->heapMax] = m;
        tree[node].freqOrCode = uint16_t(tree[n].freqOrCode + tree[m].freqOrCode);
        tree[n].dadOrLen = tree[m].dadOrLen = uint16_t(node);
        ++node;
    } while ((count - leaf) + (node - next) >= 2);
    s->heap[--s->heapMax] = node - 1;

    AssignBitLengths(s, desc);
    gen_codes(s, tree, maxCode);
}

// Counts, in the bit-length tree, the codes that will send `tree`'s lengths.
void CountCodeLengthRuns(DeflateState* s, TreeNode* tree, int maxCode) {
    int prevLen = -1;
    int nextLen = tree[0].dadOrLen;
    int count = 0;
    int maxCount = 7, minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    tree[maxCode + 1].dadOrLen = 0xFFFF;  // sentinel
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = tree[n + 1].dadOrLen;
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            s->blTree[curLen].freqOrCode = uint16_t(s->blTree[curLen].freqOrCode + count);
        } else if (curLen != 0) {
            if (curLen != prevLen) s->blTree[curLen].freqOrCode++;
            s->blTree[kRep3To6].freqOrCode++;
        } else if (count <= 10) {
            s->blTree[kRepZero3To10].freqOrCode++;
        } else {
            s->blTree[kRepZero11To138].freqOrCode++;
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0) maxCount = 138, minCount = 3;
        else if (curLen == nextLen) maxCount = 6, minCount = 3;
        else maxCount = 7, minCount = 4;
    }
}

// Sends `tree`'s lengths with the bit-length codes (sentinel already set).
void SendCodeLengths(DeflateState* s, const TreeNode* tree, int maxCode) {
    int prevLen = -1;
    int nextLen = tree[0].dadOrLen;
    int count = 0;
    int maxCount = 7, minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = tree[n + 1].dadOrLen;
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            do SendCode(s, curLen, s->blTree);
            while (--count != 0);
        } else if (curLen != 0) {
            if (curLen != prevLen) {
                SendCode(s, curLen, s->blTree);
                --count;
            }
            if (count < 3 || count > 6) DeflateFail(s, " 3_6?");
            SendCode(s, kRep3To6, s->blTree);
            PutBits(s, uint32_t(count - 3), 2);
        } else if (count <= 10) {
            SendCode(s, kRepZero3To10, s->blTree);
            PutBits(s, uint32_t(count - 3), 3);
        } else {
            SendCode(s, kRepZero11To138, s->blTree);
            PutBits(s, uint32_t(count - 11), 7);
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0) maxCount = 138, minCount = 3;
        else if (curLen == nextLen) maxCount = 6, minCount = 3;
        else maxCount = 7, minCount = 4;
    }
}

// Builds the bit-length tree; returns the index (in kBLOrder) of the last
// code-length code to send.
int BuildCodeLengthTree(DeflateState* s) {
    CountCodeLengthRuns(s, s->dynLtree, s->lDesc.maxCode);
    CountCodeLengthRuns(s, s->dynDtree, s->dDesc.maxCode);
    BuildHuffmanTree(s, &s->blDesc);
    int maxIndex;
    for (maxIndex = kBLCodes - 1; maxIndex >= 3; --maxIndex)
        if (s->blTree[kBLOrder[maxIndex]].dadOrLen != 0) break;
    s->optLen += 3 * (int64_t(maxIndex) + 1) + 5 + 5 + 4;
    return maxIndex;
}

void SendTrees(DeflateState* s, int lcodes, int dcodes, int blcodes) {
    if (lcodes < 257 || dcodes < 1 || blcodes < 4) DeflateFail(s, "not enough codes");
    if (lcodes > kLCodes || dcodes > kDCodes || blcodes > kBLCodes) DeflateFail(s, "too many codes");
    if (s->error) return;
    PutBits(s, uint32_t(lcodes - 257), 5);
    PutBits(s, uint32_t(dcodes - 1), 5);
    PutBits(s, uint32_t(blcodes - 4), 4);
    for (int rank = 0; rank < blcodes; ++rank) PutBits(s, s->blTree[kBLOrder[rank]].dadOrLen, 3);
    SendCodeLengths(s, s->dynLtree, lcodes - 1);
    SendCodeLengths(s, s->dynDtree, dcodes - 1);
}

// The bit buffer kept in locals while a block's symbols go out, and put
// back at the end: a code and its extra bits go in together.
class BlockBits {
public:
    explicit BlockBits(DeflateState* s) : s_(s), buf_(s->bitBuf), count_(s->bitCount), firstCount_(s->bitCount) {}
    ~BlockBits() {
        s_->bitBuf = buf_;
        s_->bitCount = count_;
        s_->bitsSent += 32 * words_ + uint64_t(count_) - uint64_t(firstCount_);
        if (uncoded_) DeflateFail(s_, "invalid length");
    }
    BlockBits(const BlockBits&) = delete;
    BlockBits& operator=(const BlockBits&) = delete;

    // Sends `code`'s bits and then `extraLength` bits of `extra`. A symbol
    // without a code fails the compression when the block is done (one test
    // at the end instead of a branch per symbol).
    void Put(const TreeNode& code, uint32_t extra, int extraLength) {
        const int length = code.dadOrLen;
        uncoded_ |= length == 0;
        buf_ |= (uint64_t(code.freqOrCode) | uint64_t(extra) << length) << count_;
        count_ += length + extraLength;  // at most 31 + 15 + 13 bits
        if (count_ >= 32) {
            PutWord(s_, uint32_t(buf_));
            buf_ >>= 32;
            count_ -= 32;
            ++words_;
        }
    }

private:
    DeflateState* s_;
    uint64_t buf_;
    int count_;
    const int firstCount_;
    uint64_t words_ = 0;
    bool uncoded_ = false;
};

// A failed flush shows in s->error, which the block's caller reads; the
// bits after it go nowhere.
void SendBlockSymbols(DeflateState* s, const TreeNode* ltree, const TreeNode* dtree) {
    BlockBits bits(s);
    uint32_t lx = 0, dx = 0, fx = 0;
    uint8_t flag = 0;
    for (; lx < s->lastLit; flag >>= 1) {
        if ((lx & 7) == 0) {
            flag = s->flagBuf[fx++];
            // Eight literals in a row (noisy data is made of little else).
            if (flag == 0 && lx + 8 <= s->lastLit) {
                for (const uint32_t end = lx + 8; lx < end; ++lx) bits.Put(ltree[s->litBuf[lx]], 0, 0);
                continue;
            }
        }
        const uint32_t lc = s->litBuf[lx++];
        if ((flag & 1) == 0) {
            bits.Put(ltree[lc], 0, 0);
            continue;
        }
        uint32_t code = s->lengthCode[lc];
        bits.Put(ltree[code + kLiterals + 1], lc - uint32_t(s->baseLength[code]), kExtraLengthBits[code]);
        const uint32_t dist = s->distBuf[dx++];
        code = DistCode(s, dist);
        if (code >= uint32_t(kDCodes)) {
            DeflateFail(s, "bad d_code");
            return;
        }
        bits.Put(dtree[code], dist - uint32_t(s->baseDist[code]), kExtraDistBits[code]);
    }
    bits.Put(ltree[kEndBlock], 0, 0);
}

void ResetBlock(DeflateState* s) {
    for (int n = 0; n < kLCodes; ++n) s->dynLtree[n].freqOrCode = 0;
    for (int n = 0; n < kDCodes; ++n) s->dynDtree[n].freqOrCode = 0;
    for (int n = 0; n < kBLCodes; ++n) s->blTree[n].freqOrCode = 0;
    s->dynLtree[kEndBlock].freqOrCode = 1;
    s->optLen = s->staticLen = 0;
    s->lastLit = s->lastDist = s->lastFlags = 0;
    for (uint32_t& n : s->blockKinds) n = 0;
    s->flags = 0;
    s->flagBit = 1;
}

// Text (1) when bytes 0-6 and 128-255 are at most a quarter as frequent as
// bytes 7-127, else binary (0).
void GuessTextOrBinary(DeflateState* s) {
    uint32_t ascii = 0, binary = 0;
    int n = 0;
    for (; n < 7; ++n) binary += s->dynLtree[n].freqOrCode;
    for (; n < 128; ++n) ascii += s->dynLtree[n].freqOrCode;
    for (; n < kLiterals; ++n) binary += s->dynLtree[n].freqOrCode;
    *s->fileType = binary > (ascii >> 2) ? 0 : 1;
}

void BuildTables(DeflateState* s) {
    int length = 0;
    int code;
    for (code = 0; code < kLengthCodes - 1; ++code) {
        s->baseLength[code] = length;
        for (int n = 0; n < (1 << kExtraLengthBits[code]); ++n) s->lengthCode[length++] = uint8_t(code);
    }
    if (length != 256) DeflateFail(s, "ct_init: length != 256");
    // Length 258 has its own code: it overrides the last entry of code 27.
    s->lengthCode[255] = uint8_t(code);
    s->baseLength[code] = 255;

    int dist = 0;
    for (code = 0; code < 16; ++code) {
        s->baseDist[code] = dist;
        for (int n = 0; n < (1 << kExtraDistBits[code]); ++n) s->distCode[dist++] = uint8_t(code);
    }
    if (dist != 256) DeflateFail(s, "ct_init: dist != 256");
    dist >>= 7;
    for (; code < kDCodes; ++code) {
        s->baseDist[code] = dist << 7;
        for (int n = 0; n < (1 << (kExtraDistBits[code] - 7)); ++n) s->distCode[256 + dist++] = uint8_t(code);
    }
    if (dist != 256) DeflateFail(s, "ct_init: 256+dist != 512");

    // The fixed trees.
    for (int bits = 0; bits <= kMaxBits; ++bits) s->blCount[bits] = 0;
    int n = 0;
    for (; n <= 143; ++n) s->staticLtree[n].dadOrLen = 8, s->blCount[8]++;
    for (; n <= 255; ++n) s->staticLtree[n].dadOrLen = 9, s->blCount[9]++;
    for (; n <= 279; ++n) s->staticLtree[n].dadOrLen = 7, s->blCount[7]++;
    for (; n <= 287; ++n) s->staticLtree[n].dadOrLen = 8, s->blCount[8]++;
    gen_codes(s, s->staticLtree, kLCodes + 1);
    for (n = 0; n < kDCodes; ++n) {
        s->staticDtree[n].dadOrLen = 5;
        s->staticDtree[n].freqOrCode = uint16_t(ReverseBits(uint32_t(n), 5));
    }
    s->tablesBuilt = true;
}

// Sets the matcher's two choices that depend on what literals cost, from
// the literals' frequencies in the block so far (estimated code lengths).
// A match of 3 takes a length code and a distance code, about 9 bits
// together where such matches are common, plus its distance's extra bits:
// it is worth taking while that stays below the cost of its 3 literals.
// Where literals cost over 6 bits (pixels, compressed data, noise)
// matches are rare and short: the data is noisy. In photographs whose
// literals cost 6 to 6.5 bits the full search finds nothing the 3-byte
// table misses (their streams come out no larger), at twice the time.
// (Base64 text costs 6 or a little less.)
constexpr int64_t kNoisyLiteralBits256 = 6 * 256;

// The bits of `total` literals of the frequencies f: total * log2(total) -
// sum of f * log2(f), in 1/256ths of a bit.
template <typename Frequency>
int64_t LiteralBits(const Frequency& f, uint32_t total) {
    int64_t bits = int64_t(total) * Log2Fixed(total);
    for (int n = 0; n < kLiterals; ++n)
        if (f(n)) bits -= int64_t(f(n)) * Log2Fixed(f(n));
    return bits;
}

void EstimateLiteralCost(DeflateState* s) {
    constexpr int kMatch3Bits = 9;
    uint32_t total = 0;
    for (int n = 0; n < kLiterals; ++n) total += s->dynLtree[n].freqOrCode;
    if (total < 256) return;  // too few to tell: keep the last estimate
    const int64_t bits = LiteralBits([s](int n) { return uint32_t(s->dynLtree[n].freqOrCode); }, total);
    SetNoisy(s, bits > int64_t(kNoisyLiteralBits256) * total);
    // Extra distance bits a match of 3 may take, in 1/256ths.
    const int64_t spare = 3 * bits / total - kMatch3Bits * 256;
    if (spare < 0) {
        s->reach3 = 0;
        return;
    }
    // Distances with e extra bits reach up to 2^(e + 1).
    const int64_t extra = spare >> 8;
    s->reach3 = extra >= 13 ? kMaxDistance : uint32_t(2) << extra;
}

// The block's symbols so far by kind, from its frequencies: literals by
// their top 4 bits (text, pixels and noise differ there), matches by their
// length: 3, 4-6, 7-14, longer (length codes 257, 258-260, 261-266,
// 267-285).
// Each kind is summed in a register of its own: adding into the array one
// frequency at a time would wait on the last store at every step.
void CountKinds(const DeflateState* s, uint32_t (&kinds)[kSymbolKinds]) {
    const auto sum = [s](int from, int to) {
        uint32_t n = 0;
        for (int code = from; code < to; ++code) n += s->dynLtree[code].freqOrCode;
        return n;
    };
    for (int k = 0; k < 16; ++k) kinds[k] = sum(16 * k, 16 * k + 16);
    kinds[16] = sum(257, 258);
    kinds[17] = sum(258, 261);
    kinds[18] = sum(261, 267);
    kinds[19] = sum(267, kLCodes);
}

// True when the last kKindCheck symbols are unlike the rest of the block
// (text after pixels, noise after text): the block should end, so that
// each kind of data gets codes of its own. Compares the kinds of the last
// kKindCheck symbols with those of the block before them: the bits per
// symbol the new ones would lose by keeping the block's codes, as the
// relative entropy of the two distributions (the block's counts plus a
// half, so that a kind it never saw costs a finite amount). Integer
// logarithms keep the stream the same on every platform.
bool BlockDataChanged(DeflateState* s) {
    constexpr int64_t kChangedBits = 4 * 128;     // 2 bits per symbol, in 1/256ths
    uint32_t kinds[kSymbolKinds];
    CountKinds(s, kinds);
    const uint32_t before = s->lastLit - kKindCheck;
    bool changed = false;
    if (before >= kMinChangedBlock) {
        const int64_t logBlock = Log2Fixed(2 * before + kSymbolKinds);
        const int64_t logRecent = Log2Fixed(kKindCheck);
        int64_t bits = 0;
        for (int k = 0; k < kSymbolKinds; ++k) {
            const uint32_t n = kinds[k] - s->blockKinds[k];
            if (n != 0) bits += int64_t(n) * (Log2Fixed(n) - logRecent - Log2Fixed(2 * s->blockKinds[k] + 1) + logBlock);
        }
        changed = bits > kChangedBits * kKindCheck;
    }
    for (int k = 0; k < kSymbolKinds; ++k) s->blockKinds[k] = kinds[k];
    return changed;
}

}  // namespace

void SetupTreeDescriptors(DeflateState* s) {
    s->lDesc = {s->dynLtree, s->staticLtree, kExtraLengthBits, kLiterals + 1, kLCodes, kMaxBits, 0};
    s->dDesc = {s->dynDtree, s->staticDtree, kExtraDistBits, 0, kDCodes, kMaxBits, 0};
    s->blDesc = {s->blTree, nullptr, kExtraBLBits, 0, kBLCodes, kMaxBLBits, 0};
}

bool BlockCheckpoint(DeflateState* s) {
    if ((s->lastLit & (2 * kKindCheck - 1)) == 0) EstimateLiteralCost(s);
    if (BlockDataChanged(s)) {
        // The block's literals mix the old data with the new: the last
        // symbols alone tell whether the new data is noisy.
        uint32_t counts[kLiterals] = {};
        uint32_t total = 0;
        for (uint32_t i = s->lastLit - kKindCheck; i < s->lastLit; ++i) {
            if ((s->flagBuf[i >> 3] >> (i & 7)) & 1) continue;
            counts[s->litBuf[i]]++;
            ++total;
        }
        SetNoisy(s, total >= kKindCheck / 2 &&
                        LiteralBits([&counts](int n) { return counts[n]; }, total) > kNoisyLiteralBits256 * total);
        return true;
    }
    // End the block early when it is compressing well and made mostly of
    // literals: its statistics are then worth a fresh set of trees.
    if (s->level > 2 && (s->lastLit & 0xFFF) == 0) {
        uint64_t outLength = uint64_t(s->lastLit) * 8;
        for (int d = 0; d < kDCodes; ++d) outLength += uint64_t(s->dynDtree[d].freqOrCode) * (5 + kExtraDistBits[d]);
        outLength >>= 3;
        const int64_t inLength = int64_t(s->strStart) - s->blockStart;
        if (s->lastDist < s->lastLit / 2 && int64_t(outLength) < inLength / 2) return true;
    }
    return false;
}

void StartBitOutput(DeflateState* s, uint8_t* buffer, uint32_t size) {
    s->out = buffer;
    s->outSize = size;
    s->outOffset = 0;
    s->bitBuf = 0;
    s->bitCount = 0;
    s->bitsSent = 0;
    s->bytesOut = 0;
    if (!buffer || size < 4) DeflateFail(s, "output buffer too small");  // a 32-bit word must fit
}

void ct_init(DeflateState* s, uint16_t* fileType) {
    s->fileType = fileType;
    s->compressedLen = 0;
    if (!s->tablesBuilt) BuildTables(s);
    ResetBlock(s);
}

uint32_t EmitBlock(DeflateState* s, bool last) {
    if (s->error) return 0;
    const uint8_t* data = s->blockStart >= 0 ? s->window + s->blockStart : nullptr;
    const uint64_t storedLength = uint64_t(int64_t(s->strStart) - s->blockStart);
    s->flagBuf[s->lastFlags] = s->flags;
    if (s->fileType && *s->fileType == 0xFFFF) GuessTextOrBinary(s);

    BuildHuffmanTree(s, &s->lDesc);
    BuildHuffmanTree(s, &s->dDesc);
    const int maxBLIndex = BuildCodeLengthTree(s);
    uint64_t optBytes = uint64_t(s->optLen + 3 + 7) >> 3;
    const uint64_t staticBytes = uint64_t(s->staticLen + 3 + 7) >> 3;
    if (staticBytes <= optBytes) optBytes = staticBytes;

    const uint32_t lastBit = last ? 1 : 0;
    if (storedLength + 4 <= optBytes && data && storedLength <= 0xFFFF) {
        PutBits(s, (kStoredBlock << 1) + lastBit, 3);
        s->compressedLen = (s->compressedLen + 3 + 7) & ~uint64_t(7);
        s->compressedLen += (storedLength + 4) << 3;
        PutStoredBlock(s, data, uint32_t(storedLength));
    } else if (staticBytes == optBytes) {
        PutBits(s, (kFixedBlock << 1) + lastBit, 3);
        SendBlockSymbols(s, s->staticLtree, s->staticDtree);
        s->compressedLen += 3 + uint64_t(s->staticLen);
    } else {
        PutBits(s, (kDynamicBlock << 1) + lastBit, 3);
        SendTrees(s, s->lDesc.maxCode + 1, s->dDesc.maxCode + 1, maxBLIndex + 1);
        SendBlockSymbols(s, s->dynLtree, s->dynDtree);
        s->compressedLen += 3 + uint64_t(s->optLen);
    }
    if (s->compressedLen != s->bitsSent) DeflateFail(s, "bad compressed size");
    ResetBlock(s);
    if (last) {
        AlignOutput(s);
        s->compressedLen += 7;
    }
    return uint32_t(s->compressedLen >> 3);
}
