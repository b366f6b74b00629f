// Deflate compressor, matcher half: the sliding window, the hash tables,
// the longest match search and the parse (greedy for levels 1-3, lazy with
// one or two positions of look-ahead for levels 4-8).
#include "zip/deflatestate.h"

#include <cstdlib>
#include <cstring>

namespace {

struct LevelTuning {
    uint16_t good;   // with a match this long already, a quarter of the chain is searched
    uint16_t lazy;   // a match this long is taken without looking ahead; greedy: most to insert
    uint16_t nice;   // a match this long stops the search
    uint16_t chain;  // most chain entries searched
    uint8_t ahead;   // positions looked ahead for a better match (0: greedy)
};

const LevelTuning kLevels[9] = {
    {0, 0, 0, 0, 0},  // level 0 is refused
    {4, 4, 8, 4, 0},
    {4, 5, 16, 8, 0},
    {4, 6, 32, 32, 0},
    {4, 4, 16, 16, 1},
    {8, 16, 32, 32, 1},
    {8, 16, 128, 128, 1},
    {8, 32, 128, 256, 2},
    {32, 128, 258, 1024, 2},
};

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Hash table entries hold a window position in their low 16 bits (0 =
// none) and, above it, a tag: the bits of the string's key that did not pick
// its slot. A candidate whose tag differs is refused without reading the
// window.
constexpr uint32_t kPositionMask = 0xFFFF;
constexpr uint32_t kTagMask = 0xFFFF0000u;

// The 4 bytes at p scrambled one-to-one (byte order does not matter: keys
// only need to be the same for the same bytes). The top kHashBits pick the
// chain, the next 16 bits are the tag.
inline uint32_t Key4(const uint8_t* p) { return Load32(p) * 0x9E3779B1u; }
inline uint32_t Slot4(uint32_t key) { return key >> (32 - kHashBits); }
inline uint32_t Tag4(uint32_t key) { return (key << kHashBits) & kTagMask; }
// The 3 bytes at p scrambled one-to-one within 24 bits: the top kHash3Bits
// pick the slot, the rest is the tag, so that a tag that matches is a hit.
inline uint32_t Key3(const uint8_t* p) { return ((Load32(p) & 0xFFFFFFu) * 0x9E3779B1u) & 0xFFFFFFu; }
inline uint32_t Slot3(uint32_t key) { return key >> (24 - kHash3Bits); }
inline uint32_t Tag3(uint32_t key) { return (key & ((1u << (24 - kHash3Bits)) - 1)) << 16; }

// An entry after a slide by kWindowSize: positions that left the window
// become none.
inline uint32_t SlidEntry(uint32_t entry) {
    return (entry & kPositionMask) >= kWindowSize ? entry - kWindowSize : 0;
}

// Bytes that a and b have in common, at most max. Reads whole 8-byte words:
// the window's slack keeps the last one inside.
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

struct Match {
    uint32_t length;    // 0 when none
    uint32_t distance;
};

// The end of the input in the window.
inline uint32_t InputEnd(const DeflateState* s) { return s->strStart + s->lookahead; }

// What entering a position found: its chain as it was and its tag there,
// and the latest earlier position with the same 3 bytes.
struct Inserted {
    uint32_t chain;  // an entry: the chain's latest string, 0 = empty
    uint32_t tag;
    uint32_t same3;  // a position, 0 = none
};

// Enters pos in the hash tables. Prefetches the slots of pos + 2 and, for
// a search to come at pos + 1, the chain link it will follow first: the
// tables are far larger than the first-level cache, and the matcher walks
// them in input order.
template <bool kSearchNext>
inline Inserted Insert(DeflateState* s, uint32_t pos) {
    const uint8_t* p = s->window + pos;
    const uint32_t key4 = Key4(p), key3 = Key3(p);
    const uint32_t entry3 = s->head3[Slot3(key3)];
    Inserted found;
    found.chain = s->head[Slot4(key4)];
    found.tag = Tag4(key4);
    found.same3 = (entry3 & kTagMask) == Tag3(key3) ? entry3 & kPositionMask : 0;
    s->prev[pos & kWindowMask] = found.chain;
    s->head[Slot4(key4)] = found.tag | pos;
    s->head3[Slot3(key3)] = Tag3(key3) | pos;
    __builtin_prefetch(&s->head[Slot4(Key4(p + 2))], 1);
    __builtin_prefetch(&s->head3[Slot3(Key3(p + 2))], 1);
    if (kSearchNext) __builtin_prefetch(&s->prev[s->head[Slot4(Key4(p + 1))] & kWindowMask]);
    return found;
}

// Enters every position from insertAt up to (not including) `to`.
void InsertUpTo(DeflateState* s, uint32_t to) {
    const uint32_t end = InputEnd(s);
    const uint32_t last = end >= kMinMatch ? end - kMinMatch : 0;  // the last position that starts a match
    uint32_t pos = s->insertAt;
    const uint32_t stop = to <= last + 1 ? to : last + 1;
    for (; pos < stop; ++pos) Insert<false>(s, pos);
    if (s->insertAt < to) s->insertAt = to;
}

// Enters pos (the next position to enter) and searches for the longest
// match there longer than `beat`, within the level's budget. A length of 3
// comes only from the 3-byte slot and only from within reach3; longer ones from the
// 4-byte chain, where each candidate is first tested on its tag, then on
// the 4 bytes that would end a better match and on its first 4 bytes.
Match InsertAndSearch(DeflateState* s, uint32_t pos, uint32_t beat) {
    Match best = {0, 0};
    const uint32_t end = InputEnd(s);
    if (pos >= end || end - pos < kMinMatch) {
        if (s->insertAt <= pos) s->insertAt = pos + 1;
        return best;
    }
    const Inserted found = Insert<true>(s, pos);
    s->insertAt = pos + 1;
    if (pos > kWindowBytes - kMinLookahead + 2) {
        DeflateFail(s, "insufficient lookahead");
        return best;
    }
    const uint32_t maxLength = end - pos < kMaxMatch ? end - pos : kMaxMatch;
    if (beat >= maxLength) return best;
    const uint32_t limit = pos > kMaxDistance ? pos - kMaxDistance : 0;
    const uint8_t* const window = s->window;
    const uint8_t* const scan = window + pos;

    uint32_t length = beat;
    if (length < kMinMatch && found.same3 > limit && pos - found.same3 <= s->reach3 && found.same3 < pos) {
        length = kMinMatch;
        best = {kMinMatch, pos - found.same3};
    }
    if (maxLength < 4) return best;
    if (s->onlySeen3 && found.same3 <= limit) return best;
    if (length < kMinMatch) length = kMinMatch;

    const uint32_t nice = s->niceMatch < maxLength ? s->niceMatch : maxLength;
    uint32_t chain = length >= s->goodMatch ? s->maxChain >> 2 : s->maxChain;
    const uint32_t* const prev = s->prev;
    const uint32_t first = Load32(scan);
    uint32_t last = Load32(scan + length - 3);
    for (uint32_t entry = found.chain; (entry & kPositionMask) > limit && chain != 0;
         entry = prev[entry & kWindowMask], --chain) {
        if ((entry & kTagMask) != found.tag) continue;
        const uint32_t candidate = entry & kPositionMask;
        if (candidate >= pos) {
            DeflateFail(s, "no future");
            break;
        }
        const uint8_t* match = window + candidate;
        if (Load32(match + length - 3) != last || Load32(match) != first) continue;
        const uint32_t n = 4 + CommonLength(scan + 4, match + 4, maxLength - 4);
        if (n > length) {
            best = {n, pos - candidate};
            length = n;
            if (n >= nice) break;
            last = Load32(scan + length - 3);
        }
    }
    return best;
}

// Slides the window when the string start has reached kSlideAt, then reads
// until the lookahead is kMinLookahead or the input has ended.
void SlideAndFill(DeflateState* s) {
    do {
        uint32_t more = kWindowBytes - s->lookahead - s->strStart;
        if (s->strStart >= kSlideAt) {
            std::memcpy(s->window, s->window + kWindowSize, kWindowSize);
            s->strStart -= kWindowSize;
            s->insertAt -= kWindowSize;
            s->blockStart -= kWindowSize;
            s->lastFound = s->lastFound >= kWindowSize ? s->lastFound - kWindowSize : 0;
            for (uint32_t& entry : s->head) entry = SlidEntry(entry);
            for (uint32_t& entry : s->head3) entry = SlidEntry(entry);
            for (uint32_t& entry : s->prev) entry = SlidEntry(entry);
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

inline void EmitAndRestart(DeflateState* s) {
    EmitBlock(s, false);
    s->blockStart = s->strStart;
}

inline void EmitLiteral(DeflateState* s) {
    const bool full = ct_tally(s, 0, s->window[s->strStart]);
    ++s->strStart;
    --s->lookahead;
    if (full) EmitAndRestart(s);
}

inline void EmitMatch(DeflateState* s, Match m) {
    const bool full = ct_tally(s, m.distance, m.length - kMinMatch);
    s->strStart += m.length;
    s->lookahead -= m.length;
    if (full) EmitAndRestart(s);
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

// Rough worth of a match in bits saved: 4 per byte, less the distance's
// extra bits.
inline int Worth(Match m) { return int(m.length) * 4 - (31 - __builtin_clz(m.distance)); }

// The parse. Greedy levels take each match found and, after a long one,
// skip entering the positions it covers. Lazy levels look one or two
// positions ahead before taking a match and emit a literal instead when a
// better match starts there.
void Parse(DeflateState* s) {
    const uint32_t ahead = s->lazyDepth;
    Match next = {0, 0};
    bool haveNext = false;
    while (!s->error) {
        if (s->lookahead < kMinLookahead) {
            SlideAndFill(s);
            if (s->lookahead == 0 || s->error) break;
        }
        const uint32_t pos = s->strStart;
        Match cur = {0, 0};
        if (haveNext) {
            cur = next;
            haveNext = false;
        } else if (SkipSearch(s)) {
            InsertUpTo(s, pos + 1);
        } else {
            cur = InsertAndSearch(s, pos, kMinMatch - 1);
        }
        if (cur.length < kMinMatch) {
            EmitLiteral(s);
            continue;
        }
        s->lastFound = pos;
        if (ahead != 0 && cur.length < s->maxLazy) {
            const Match m1 = InsertAndSearch(s, pos + 1, cur.length);
            if (m1.length > cur.length && Worth(m1) > Worth(cur)) {
                EmitLiteral(s);
                next = m1;
                haveNext = true;
                continue;
            }
            if (ahead > 1) {
                const Match m2 = InsertAndSearch(s, pos + 2, cur.length + 1);
                if (m2.length > cur.length + 1 && Worth(m2) > Worth(cur) + 4) {
                    EmitLiteral(s);
                    EmitLiteral(s);
                    next = m2;
                    haveNext = true;
                    continue;
                }
            }
        }
        if (ahead == 0 && cur.length > s->maxLazy)
            s->insertAt = pos + cur.length;  // a long match in a greedy level: its strings stay out
        else
            InsertUpTo(s, pos + cur.length);
        EmitMatch(s, cur);
    }
    if (!s->error) EmitBlock(s, true);
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
    std::memset(s->head3, 0, sizeof s->head3);
    s->goodMatch = kLevels[level].good;
    s->maxLazy = kLevels[level].lazy;
    s->niceMatch = kLevels[level].nice;
    s->maxChain = kLevels[level].chain;
    s->lazyDepth = kLevels[level].ahead;
    s->reach3 = kTooFar;
    s->onlySeen3 = false;
    if (flags) {
        if (level <= 2) *flags |= 4;
        else if (level == 8) *flags |= 2;
    }
    s->strStart = 0;
    s->blockStart = 0;
    s->insertAt = 0;
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
}

uint32_t DeflateRun(DeflateState* s) {
    if (s->error) return 0;
    Parse(s);
    // What the output took, not what the blocks were predicted to need: after
    // a failure the writer places what follows by this count.
    return uint32_t(s->bytesOut);
}
