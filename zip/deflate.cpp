// Deflate compressor, matcher half: the sliding window, the hash tables,
// the longest match search and the parse (greedy for levels 1-3, lazy with
// one or two positions of look-ahead for levels 4-8).
#include "zip/deflatestate.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The 8 bytes at p as a little-endian number: the first byte is the lowest.
inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// Three tables: chains of the strings that share the slot of their first 6
// bytes (kChainKeyBytes), and the latest string in the slot of each 4-byte
// and of each 3-byte key. Matches of 6 or more come from the chains: keyed
// on 4 bytes, half of what a chain walk reads in text would be strings that
// match 4 or 5 bytes only. Shorter matches come from the nearest string with
// the same 4 or 3 bytes, which is also the cheapest to code.
//
// Noisy data (s->noisy: pixels, compressed data) keeps only the 3-byte
// table, and the latest string with the same 3 bytes is its one candidate,
// of whatever length: there a position costs one table entry instead of
// four, and the chains and the 4-byte table would find little more. Its
// positions stay out of those (SetNoisy): should text follow, its matches
// reach into the noise only where the 3-byte table holds them.
//
// A slot's latest entry carries a tag above its position: the bits of the
// key that did not pick the slot. In data that barely repeats most slots
// hold other strings, and the tag refuses them without a read of the window.
// Chain links hold positions only; every candidate's bytes are compared
// before it is used.
constexpr uint32_t kPositionMask = 0xFFFF;
constexpr uint32_t kTagMask = 0xFFFF0000u;

static_assert(kChainKeyBytes == 6, "Key6 takes 6 bytes");
// The keys of the string whose first bytes are the low ones of `bytes`
// (Load64; the window's slack covers the ones read past the key). Key6 and
// Key4 pick a slot with their top kHashBits and tag it with the next 16;
// Key4 is one-to-one. Key3 is one-to-one within 24 bits: the top kHash3Bits
// pick the slot, the rest is the tag, so that a tag that matches is a hit.
inline uint32_t Key6(uint64_t bytes) { return uint32_t(((bytes << 16) * 0x9E3779B97F4A7C15ull) >> 32); }
inline uint32_t Key4(uint64_t bytes) { return uint32_t(bytes) * 0x9E3779B1u; }
inline uint32_t Key3(uint64_t bytes) { return ((uint32_t(bytes) & 0xFFFFFFu) * 0x9E3779B1u) & 0xFFFFFFu; }
inline uint32_t Slot(uint32_t key) { return key >> (32 - kHashBits); }
inline uint32_t Tag(uint32_t key) { return (key << kHashBits) & kTagMask; }
inline uint32_t Slot3(uint32_t key) { return key >> (24 - kHash3Bits); }
inline uint32_t Tag3(uint32_t key) { return (key & ((1u << (24 - kHash3Bits)) - 1)) << 16; }

// The position of a slot's entry when its tag is `tag`, else none.
inline uint32_t PositionIfTagged(uint32_t entry, uint32_t tag) {
    return (entry & kTagMask) == tag ? entry & kPositionMask : 0;
}

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

// What entering a position found: the latest earlier string in its chain's
// slot, and, when their tags agree, in its 4-byte and 3-byte slots
// (positions, 0 = none); in noisy data the 3-byte one only.
struct Inserted {
    uint32_t chain;
    bool chainIsKey;  // the chain's latest string has this key (its tag agrees)
    uint32_t same4;
    uint32_t same3;
};

// Enters pos in the hash tables. Prefetches the slots of pos + 2 and, for
// a search to come at pos + 1, the chain link it will follow first: the
// tables are far larger than the first-level cache, and the matcher walks
// them in input order.
template <bool kSearchNext>
inline Inserted Insert(DeflateState* s, uint32_t pos) {
    const uint8_t* p = s->window + pos;
    const uint64_t bytes = Load64(p), ahead2 = Load64(p + 2);
    const uint32_t key3 = Key3(bytes);
    Inserted found;
    found.same3 = PositionIfTagged(s->head3[Slot3(key3)], Tag3(key3));
    s->head3[Slot3(key3)] = Tag3(key3) | pos;
    __builtin_prefetch(&s->head3[Slot3(Key3(ahead2))], 1);
    if (s->noisy) {
        found.chain = 0;
        found.chainIsKey = false;
        found.same4 = 0;
        return found;
    }
    const uint32_t key6 = Key6(bytes), key4 = Key4(bytes);
    const uint32_t entry6 = s->head[Slot(key6)];
    found.chain = entry6 & kPositionMask;
    found.chainIsKey = (entry6 & kTagMask) == Tag(key6);
    found.same4 = PositionIfTagged(s->head4[Slot(key4)], Tag(key4));
    // This string's links: the slot's latest string, then that one's links.
    // Behind a link out of reach they may belong to other chains, but a walk
    // stops at the first link out of reach.
#if defined(__SSE2__)
    static_assert(sizeof(ChainLinks) == 16, "one vector of links");
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&s->links[entry6 & kWindowMask]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&s->links[pos & kWindowMask]),
                     _mm_insert_epi16(_mm_slli_si128(after, 2), int(entry6 & kPositionMask), 0));
#else
    ChainLinks& links = s->links[pos & kWindowMask];
    const ChainLinks& after = s->links[entry6 & kWindowMask];
    links.next[0] = uint16_t(entry6);
    for (uint32_t k = 1; k < kChainLinks; ++k) links.next[k] = after.next[k - 1];
#endif
    s->head[Slot(key6)] = Tag(key6) | pos;
    s->head4[Slot(key4)] = Tag(key4) | pos;
    __builtin_prefetch(&s->head[Slot(Key6(ahead2))], 1);
    __builtin_prefetch(&s->head4[Slot(Key4(ahead2))], 1);
    if (kSearchNext) __builtin_prefetch(&s->links[s->head[Slot(Key6(Load64(p + 1)))] & kWindowMask]);
    return found;
}

// Enters every position from insertAt up to (not including) `to`.
inline void InsertUpTo(DeflateState* s, uint32_t to) {
    const uint32_t end = InputEnd(s);
    const uint32_t last = end >= kMinMatch ? end - kMinMatch : 0;  // the last position that starts a match
    uint32_t pos = s->insertAt;
    const uint32_t stop = to <= last + 1 ? to : last + 1;
    for (; pos < stop; ++pos) Insert<false>(s, pos);
    if (s->insertAt < to) s->insertAt = to;
}

// One search for the longest match at a position, longer than a given
// length: what the 3- and 4-byte tables gave, then the walk of the chain,
// kChainLinks entries per Step.
struct ChainWalk {
    Match best = {0, 0};
    bool done = true;
    // The walk.
    uint32_t entry = 0;      // the next position in the chain
    uint32_t budget = 0;     // entries left to look at
    uint32_t pos = 0;
    uint32_t limit = 0;      // positions at or below are out of reach
    uint32_t length = 0;     // the length to beat
    uint32_t maxLength = 0;
    uint32_t nice = 0;       // a match this long ends the walk
    uint32_t first = 0;      // the string's first 4 bytes
    uint32_t last = 0;       // its 4 bytes that end a match one longer than `length`
};

// Looks at the next chain entry and the kChainLinks - 1 after it, read
// from its links together with the entry that follows them: one wait on
// memory per kChainLinks entries. Candidates are tested on the 4 bytes that
// would end a better match and on their first 4 bytes, before the bytes in
// between.
inline void Step(DeflateState* s, ChainWalk* w) {
    const ChainLinks links = s->links[w->entry & kWindowMask];
    uint32_t candidates[kChainLinks];
    candidates[0] = w->entry;
    for (uint32_t k = 1; k < kChainLinks; ++k) candidates[k] = links.next[k - 1];
    w->entry = links.next[kChainLinks - 1];
    const uint8_t* const scan = s->window + w->pos;
    for (const uint32_t candidate : candidates) {
        // The walk ends at the first entry out of reach: the ones behind it
        // may belong to other chains.
        if (candidate <= w->limit || w->budget == 0) {
            w->done = true;
            return;
        }
        --w->budget;
        if (candidate >= w->pos) {
            DeflateFail(s, "no future");
            w->done = true;
            return;
        }
        const uint8_t* match = s->window + candidate;
        if (Load32(match + w->length - 3) != w->last || Load32(match) != w->first) continue;
        const uint32_t n = 4 + CommonLength(scan + 4, match + 4, w->maxLength - 4);
        if (n <= w->length) continue;
        w->best = {n, w->pos - candidate};
        w->length = n;
        if (n >= w->nice) {
            w->done = true;
            return;
        }
        w->last = Load32(scan + n - 3);
    }
}

// Enters pos (the next position to enter) and sets up the search there for
// a match longer than `beat`, walking at most `budget` chain entries. The
// latest strings with the same 3 and 4 bytes are taken at whatever length
// they reach; a length of 3 only from within reach3.
inline void StartSearch(DeflateState* s, uint32_t pos, uint32_t beat, uint32_t budget, ChainWalk* w) {
    const uint32_t end = InputEnd(s);
    if (pos >= end || end - pos < kMinMatch) {
        if (s->insertAt <= pos) s->insertAt = pos + 1;
        return;
    }
    const Inserted found = Insert<true>(s, pos);
    s->insertAt = pos + 1;
    const uint8_t* const window = s->window;
    if (pos > kWindowBytes - kMinLookahead + 2) {
        DeflateFail(s, "insufficient lookahead");
        return;
    }
    const uint32_t maxLength = end - pos < kMaxMatch ? end - pos : kMaxMatch;
    if (beat >= maxLength) return;
    const uint32_t limit = pos > kMaxDistance ? pos - kMaxDistance : 0;
    const uint8_t* const scan = window + pos;
    const uint32_t nice = s->niceMatch < maxLength ? s->niceMatch : maxLength;

    uint32_t length = beat;
    if (found.same3 > limit && found.same3 < pos) {
        const uint32_t n = kMinMatch + CommonLength(scan + kMinMatch, window + found.same3 + kMinMatch,
                                                    maxLength - kMinMatch);
        if (n > length && (n > kMinMatch || pos - found.same3 <= s->reach3)) {
            length = n;
            w->best = {n, pos - found.same3};
            if (n >= nice) return;
        }
    }
    if (maxLength < 4 || s->noisy) return;
    const uint32_t first = Load32(scan);
    if (found.same4 > limit && found.same4 < pos && Load32(window + found.same4) == first) {
        const uint32_t n = 4 + CommonLength(scan + 4, window + found.same4 + 4, maxLength - 4);
        if (n > length) {
            length = n;
            w->best = {n, pos - found.same4};
            if (n >= nice) return;
        }
    }
    if (maxLength < kChainKeyBytes || found.chain == 0) return;
    // Chain entries share the key's bytes: only a longer match is news.
    if (length < kChainKeyBytes - 1) length = kChainKeyBytes - 1;
    w->done = false;
    // A chain that starts with another key's string starts after it.
    w->entry = found.chainIsKey || found.chain == 0 ? found.chain : s->links[found.chain & kWindowMask].next[0];
    w->budget = budget;
    w->pos = pos;
    w->limit = limit;
    w->length = length;
    w->maxLength = maxLength;
    w->nice = nice;
    w->first = first;
    w->last = Load32(scan + length - 3);
}

// The chain entries a search walks: the level's budget, a quarter of it
// when a good match is already in hand, half that again for a look-ahead
// (which only matters when it beats the match in hand).
inline uint32_t ChainBudget(const DeflateState* s, uint32_t beat, bool lookAhead) {
    const uint32_t budget = beat >= s->goodMatch ? s->maxChain >> 2 : s->maxChain;
    return lookAhead ? budget >> 1 : budget;
}

Match InsertAndSearch(DeflateState* s, uint32_t pos, uint32_t beat, bool lookAhead) {
    ChainWalk w;
    StartSearch(s, pos, beat, ChainBudget(s, beat, lookAhead), &w);
    while (!w.done) Step(s, &w);
    return w.best;
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
            for (uint32_t& entry : s->head3) entry = SlidEntry(entry);
            if (s->noisy) {
                s->chainsStale = true;
            } else {
                for (uint32_t& entry : s->head) entry = SlidEntry(entry);
                for (uint32_t& entry : s->head4) entry = SlidEntry(entry);
                for (ChainLinks& links : s->links)
                    for (uint16_t& pos : links.next) pos = uint16_t(SlidEntry(pos));
            }
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

// A match this long ends noisy data.
constexpr uint32_t kLongMatch = 12;

// Rough worth of a match in bits saved: 4 per byte, less the distance's
// extra bits.
inline int Worth(Match m) { return int(m.length) * 4 - (31 - __builtin_clz(m.distance)); }

// The parse. Greedy levels take each match found and, after a long one,
// skip entering the positions it covers. Lazy levels look one or two
// positions ahead before taking a match and emit a literal instead when a
// better match starts there.
void Parse(DeflateState* s) {
    const uint32_t ahead = s->lazyDepth;
    Match next = {0, 0};       // a match at the string start, found by the last step's look-ahead
    bool haveNext = false;
    // The second look-ahead of the last step when it chose the first: the
    // search at the position after the string start, already done.
    Match nextAhead = {0, 0};
    bool haveNextAhead = false;
    while (!s->error) {
        if (s->lookahead < kMinLookahead) {
            SlideAndFill(s);
            if (s->lookahead == 0 || s->error) break;
        }
        const uint32_t pos = s->strStart;
        const bool searchedAhead = haveNextAhead;
        haveNextAhead = false;
        Match cur = {0, 0};
        if (haveNext) {
            cur = next;
            haveNext = false;
        } else if (SkipSearch(s)) {
            InsertUpTo(s, pos + 1);
        } else {
            cur = InsertAndSearch(s, pos, kMinMatch - 1, false);
        }
        if (cur.length < kMinMatch) {
            EmitLiteral(s);
            continue;
        }
        s->lastFound = pos;
        if (s->noisy && cur.length >= kLongMatch) {
            // No noise repeats this far: the data has changed (text after
            // pixels), and gets the full matcher and a block of its own.
            SetNoisy(s, false);
            if (s->lastLit >= kMinChangedBlock) EmitAndRestart(s);
        }
        if (ahead != 0 && cur.length < s->maxLazy) {
            Match m1 = {0, 0}, m2 = {0, 0};
            if (searchedAhead) {
                // pos + 1 was searched by the last step for a match longer
                // than a shorter one: the same walk, whose best is news only
                // when it beats cur.
                if (nextAhead.length > cur.length) m1 = nextAhead;
                if (ahead > 1) m2 = InsertAndSearch(s, pos + 2, cur.length + 1, true);
            } else {
                m1 = InsertAndSearch(s, pos + 1, cur.length, true);
                if (ahead > 1) m2 = InsertAndSearch(s, pos + 2, cur.length + 1, true);
            }
            if (m1.length > cur.length && Worth(m1) > Worth(cur)) {
                EmitLiteral(s);
                next = m1;
                haveNext = true;
                nextAhead = m2;
                haveNextAhead = ahead > 1;
                continue;
            }
            if (m2.length > cur.length + 1 && Worth(m2) > Worth(cur) + 4) {
                EmitLiteral(s);
                EmitLiteral(s);
                next = m2;
                haveNext = true;
                continue;
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

// Noisy data leaves the chains and the 4-byte table alone, and does not
// slide them with the window either: when it ends, tables that missed a
// slide start empty (the chains' links are reached only from their heads).
void SetNoisy(DeflateState* s, bool noisy) {
    if (!noisy && s->chainsStale) {
        std::memset(s->head, 0, sizeof s->head);
        std::memset(s->head4, 0, sizeof s->head4);
        s->chainsStale = false;
    }
    s->noisy = noisy;
}


void PrepareMatcher(DeflateState* s, uint16_t* flags) {
    const int level = s->level;
    if (level < 1 || level > 8) {
        DeflateFail(s, "bad pack level");
        return;
    }
    // The hash tables come zeroed from CreateDeflateState (a state serves
    // one input): untouched, their pages cost nothing until a small input
    // needs them.
    s->goodMatch = kLevels[level].good;
    s->maxLazy = kLevels[level].lazy;
    s->niceMatch = kLevels[level].nice;
    s->maxChain = kLevels[level].chain;
    s->lazyDepth = kLevels[level].ahead;
    s->reach3 = kTooFar;
    s->noisy = false;
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
