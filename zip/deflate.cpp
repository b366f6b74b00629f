// Deflate compressor, matcher half: the sliding window, hash chains, longest
// match search, and the quick (levels 1-3) and lazy (levels 4-8) loops.
#include "zip/deflatestate.h"

#include <cstdlib>
#include <cstring>

namespace {

struct LevelTuning {
    uint16_t good;  // a match this long divides the chain budget by 4
    uint16_t lazy;  // lazy loop: stop looking for better; quick loop: most to insert
    uint16_t nice;  // a match this long stops the search
    uint16_t chain;
};

const LevelTuning kLevels[9] = {
    {0, 0, 0, 0},  // level 0 is refused
    {4, 4, 8, 4},
    {4, 5, 16, 8},
    {4, 6, 32, 32},
    {4, 4, 16, 16},
    {8, 16, 32, 32},
    {8, 16, 128, 128},
    {8, 32, 128, 256},
    {32, 128, 258, 1024},
};

inline void UpdateHash(DeflateState* s, uint8_t c) { s->insH = ((s->insH << kHashShift) ^ c) & kHashMask; }

// Inserts the string at pos; returns the previous head of its chain.
inline uint32_t InsertString(DeflateState* s, uint32_t pos) {
    UpdateHash(s, s->window[pos + kMinMatch - 1]);
    const uint32_t candidate = s->head[s->insH];
    s->prev[pos & kWindowMask] = uint16_t(candidate);
    s->head[s->insH] = uint16_t(pos);
    return candidate;
}

// Bytes that a and b have in common, at most max (a multiple of 8). Reads
// whole 8-byte words: the window's slack keeps the last one inside.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t max) {
    uint32_t n = 0;
    while (n < max) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        const uint64_t diff = x ^ y;
        if (diff != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            n += uint32_t(__builtin_ctzll(diff)) >> 3;
#else
            while (a[n] == b[n]) ++n;
#endif
            return n < max ? n : max;
        }
        n += 8;
    }
    return max;
}

static_assert((kMaxMatch - 2) % 8 == 0, "CommonLength compares whole words");

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// The longest match at the string start along the chain from `candidate`;
// sets matchStart when it finds one longer than prevLength. A candidate is
// first tested on the two bytes that would end a better match and on its
// first two bytes, each pair read as one 16-bit word.
uint32_t FindMatch(DeflateState* s, uint32_t candidate) {
    uint32_t chain = s->maxChain;
    uint32_t best = s->prevLength;
    const uint32_t nice = s->niceMatch;
    const uint32_t strStart = s->strStart;
    const uint32_t limit = strStart > kMaxDistance ? strStart - kMaxDistance : 0;
    if (best >= s->goodMatch) chain >>= 2;
    if (strStart > kWindowBytes - kMinLookahead) {
        DeflateFail(s, "insufficient lookahead");
        return best;
    }
    const uint8_t* const window = s->window;
    const uint16_t* const prev = s->prev;
    const uint8_t* scan = window + strStart;
    const uint16_t start = Load16(scan);
    uint16_t end = Load16(scan + best - 1);
    uint32_t matchStart = s->matchStart;
    do {
        if (candidate >= strStart) {
            DeflateFail(s, "no future");
            break;
        }
        const uint8_t* match = window + candidate;
        if (Load16(match + best - 1) != end || Load16(match) != start) continue;
        const uint32_t len = 2 + CommonLength(scan + 2, match + 2, kMaxMatch - 2);
        if (strStart + len > kWindowBytes) {
            DeflateFail(s, "wild scan");
            break;
        }
        if (len > best) {
            matchStart = candidate;
            best = len;
            if (len >= nice) break;
            end = Load16(scan + best - 1);
        }
    } while ((candidate = prev[candidate & kWindowMask]) > limit && --chain != 0);
    s->matchStart = matchStart;
    return best;
}

// Slides the window when the string start has reached kSlideAt, then reads
// until the lookahead is kMinLookahead or the input has ended.
void SlideAndFill(DeflateState* s) {
    do {
        uint32_t more = kWindowBytes - s->lookahead - s->strStart;
        if (s->strStart >= kSlideAt) {
            std::memcpy(s->window, s->window + kWindowSize, kWindowSize);
            s->matchStart = s->matchStart >= kWindowSize ? s->matchStart - kWindowSize : 0;
            s->strStart -= kWindowSize;
            s->blockStart -= kWindowSize;
            s->lastFound = s->lastFound >= kWindowSize ? s->lastFound - kWindowSize : 0;
            for (uint32_t n = 0; n < kHashSize; ++n) s->head[n] = uint16_t(s->head[n] >= kWindowSize ? s->head[n] - kWindowSize : 0);
            for (uint32_t n = 0; n < kWindowSize; ++n) s->prev[n] = uint16_t(s->prev[n] >= kWindowSize ? s->prev[n] - kWindowSize : 0);
            more += kWindowSize;
        }
        if (s->eofile) return;
        if (more < 2) {
            DeflateFail(s, "more < 2");
            return;
        }
        uint32_t n = s->read(s->arg, s->window + s->strStart + s->lookahead, more);
        if (n == 0 || n == 0xFFFFFFFFu) {
            s->eofile = true;
        } else {
            if (n > more) n = more;  // a callback that says it read more than asked
            s->lookahead += n;
        }
    } while (s->lookahead < kMinLookahead && !s->eofile);
}

inline uint32_t EmitAndRestart(DeflateState* s) {
    const uint32_t size = EmitBlock(s, false);
    s->blockStart = s->strStart;
    return size;
}

uint32_t DeflateQuick(DeflateState* s) {
    uint32_t matchLength = 0;
    s->prevLength = kMinMatch - 1;
    while (s->lookahead != 0 && !s->error) {
        const uint32_t candidate = s->lookahead >= kMinMatch ? InsertString(s, s->strStart) : 0;
        if (candidate != 0 && s->strStart - candidate <= kMaxDistance) {
            if (s->niceMatch > s->lookahead) s->niceMatch = s->lookahead;
            matchLength = FindMatch(s, candidate);
            if (matchLength > s->lookahead) matchLength = s->lookahead;
        }
        bool full;
        if (matchLength >= kMinMatch) {
            full = ct_tally(s, s->strStart - s->matchStart, matchLength - kMinMatch);
            s->lookahead -= matchLength;
            if (matchLength <= s->maxLazy && s->lookahead >= kMinMatch) {
                --matchLength;
                do {
                    ++s->strStart;
                    InsertString(s, s->strStart);
                } while (--matchLength != 0);
                ++s->strStart;
            } else {
                s->strStart += matchLength;
                matchLength = 0;
                s->insH = s->window[s->strStart];
                UpdateHash(s, s->window[s->strStart + 1]);
            }
        } else {
            full = ct_tally(s, 0, s->window[s->strStart]);
            --s->lookahead;
            ++s->strStart;
        }
        if (full) EmitAndRestart(s);
        if (s->lookahead < kMinLookahead) SlideAndFill(s);
    }
    return EmitBlock(s, true);
}

// True where a search is not worth its time. A block that has found a match
// for fewer than one in 64 of its first 2048 or more symbols holds data that
// barely compresses (a JPEG's coded data, random bytes): there only every
// 16th position is searched, and the block ends up stored or coded as
// literals. A match found within the last 256 positions restores the full
// search, so data that turns compressible is searched in full again at once.
inline bool SkipSearch(const DeflateState* s) {
    return (s->strStart & 15) != 0 && s->strStart - s->lastFound > 256 && s->lastLit >= 2048 &&
           s->lastDist < s->lastLit / 64;
}

uint32_t DeflateLazy(DeflateState* s) {
    uint32_t matchLength = kMinMatch - 1;
    bool matchAvailable = false;
    while (s->lookahead != 0 && !s->error) {
        const uint32_t candidate = s->lookahead >= kMinMatch ? InsertString(s, s->strStart) : 0;
        s->prevLength = matchLength;
        const uint32_t prevMatch = s->matchStart;
        matchLength = kMinMatch - 1;
        if (candidate != 0 && s->prevLength < s->maxLazy && s->strStart - candidate <= kMaxDistance &&
            !SkipSearch(s)) {
            if (s->niceMatch > s->lookahead) s->niceMatch = s->lookahead;
            matchLength = FindMatch(s, candidate);
            if (matchLength > s->lookahead) matchLength = s->lookahead;
            if (matchLength == kMinMatch && s->strStart - s->matchStart > kTooFar) matchLength = kMinMatch - 1;
            if (matchLength >= kMinMatch) s->lastFound = s->strStart;
        }
        if (s->prevLength >= kMinMatch && matchLength <= s->prevLength) {
            // The previous match is at least as good: emit it and insert the
            // strings it covers (those that still have three bytes).
            const uint32_t maxInsert = s->strStart + s->lookahead - kMinMatch;
            const bool full = ct_tally(s, s->strStart - 1 - prevMatch, s->prevLength - kMinMatch);
            s->lookahead -= s->prevLength - 1;
            uint32_t left = s->prevLength - 2;
            do {
                if (++s->strStart <= maxInsert) InsertString(s, s->strStart);
            } while (--left != 0);
            matchAvailable = false;
            matchLength = kMinMatch - 1;
            ++s->strStart;
            if (full) EmitAndRestart(s);
        } else if (matchAvailable) {
            if (ct_tally(s, 0, s->window[s->strStart - 1])) EmitAndRestart(s);
            ++s->strStart;
            --s->lookahead;
        } else {
            matchAvailable = true;
            ++s->strStart;
            --s->lookahead;
        }
        if (s->lookahead < kMinLookahead) SlideAndFill(s);
    }
    if (matchAvailable && !s->error) ct_tally(s, 0, s->window[s->strStart - 1]);
    return EmitBlock(s, true);
}

}  // namespace

DeflateState* CreateDeflateState(void* arg, int level, DeflateReadFn read, DeflateFlushFn flush) {
    auto* s = static_cast<DeflateState*>(std::calloc(1, sizeof(DeflateState)));
    if (!s) return nullptr;
    s->arg = arg;
    s->level = level;
    s->read = read;
    s->flush = flush;
    SetupTreeDescriptors(s);
    return s;
}

void FreeDeflateState(DeflateState* state) { std::free(state); }

const char* DeflateError(const DeflateState* state) { return state->error; }

void PrepareMatcher(DeflateState* s, uint16_t* flags) {
    const int level = s->level;
    if (level < 1 || level > 8) {
        DeflateFail(s, "bad pack level");
        return;
    }
    std::memset(s->head, 0, sizeof s->head);
    s->goodMatch = kLevels[level].good;
    s->maxLazy = kLevels[level].lazy;
    s->niceMatch = kLevels[level].nice;
    s->maxChain = kLevels[level].chain;
    if (flags) {
        if (level <= 2) *flags |= 4;
        else if (level == 8) *flags |= 2;
    }
    s->strStart = 0;
    s->blockStart = 0;
    s->matchStart = 0;
    s->lastFound = 0;
    s->eofile = false;
    const uint32_t n = s->read(s->arg, s->window, kWindowBytes);
    if (n == 0 || n == 0xFFFFFFFFu) {
        s->eofile = true;
        s->lookahead = 0;
        return;
    }
    s->lookahead = n > kWindowBytes ? kWindowBytes : n;
    if (s->lookahead < kMinLookahead) SlideAndFill(s);
    s->insH = s->window[0];
    UpdateHash(s, s->window[1]);
}

uint32_t DeflateRun(DeflateState* s) {
    if (s->error) return 0;
    if (s->level <= 3)
        DeflateQuick(s);
    else
        DeflateLazy(s);
    // What the output took, not what the blocks were predicted to need: after
    // a failure the writer places what follows by this count.
    return uint32_t(s->bytesOut);
}
