// Our code timed against a peer on the same data in one process, in
// alternation: each round times both once (which goes first alternates), and
// the round's ratio is our time over the peer's. A machine shared with other
// work slows both halves of a round alike, so the median ratio and its
// quartiles (the spread) mean more than two separate averages. Times are the
// process's processor time: both sides run on one thread (the peers are set
// up so), and time spent waiting for a core another program holds is not
// counted. Run the benchmark pinned to one core (taskset -c N) so both meet
// the same caches.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench_support {

struct RatioSpread {
    double median;
    double low;   // first quartile
    double high;  // third quartile
    double oursSeconds;  // median time of one call of ours
    double peerSeconds;
};

inline double ProcessorSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

template <typename Fn>
double SecondsOf(Fn&& fn) {
    const double start = ProcessorSeconds();
    fn();
    return ProcessorSeconds() - start;
}

inline double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double at = q * double(values.size() - 1);
    const size_t i = size_t(at);
    const double f = at - double(i);
    return i + 1 < values.size() ? values[i] * (1 - f) + values[i + 1] * f : values[i];
}

// One warm-up call of each, then `rounds` rounds (at least 1).
template <typename Ours, typename Peer>
RatioSpread TimeAgainstPeer(int rounds, Ours&& ours, Peer&& peer) {
    ours();
    peer();
    std::vector<double> ratios, oursTimes, peerTimes;
    for (int r = 0; r < std::max(rounds, 1); ++r) {
        double a, b;
        if (r % 2 == 0) {
            a = SecondsOf(ours);
            b = SecondsOf(peer);
        } else {
            b = SecondsOf(peer);
            a = SecondsOf(ours);
        }
        ratios.push_back(a / b);
        oursTimes.push_back(a);
        peerTimes.push_back(b);
    }
    return {Quantile(ratios, 0.5), Quantile(ratios, 0.25), Quantile(ratios, 0.75), Quantile(oursTimes, 0.5),
            Quantile(peerTimes, 0.5)};
}

// "  what: 0.93x peer (0.91-0.95), 12.1 ms / 13.0 ms; goal <= 1.00"
inline void PrintRatio(const char* what, const char* peer, const RatioSpread& r, double goal) {
    std::printf("  %-34s %.3fx %s (quartiles %.3f-%.3f), %.2f ms / %.2f ms; goal <= %.2f%s\n", what, r.median, peer,
                r.low, r.high, r.oursSeconds * 1e3, r.peerSeconds * 1e3, goal, r.median <= goal ? "" : "  MISSED");
}

// The command line of a benchmark timed this way: [rounds [name...]], the
// names chosen from `known`. Anything else (a flag, a count that is not a
// whole number from 1 to 10000, an unknown name) prints the usage and gives
// false: a benchmark never runs on a misread command line.
inline bool ParseRoundsAndNames(int argc, char** argv, int defaultRounds, const std::vector<std::string>& known,
                                int* rounds, std::vector<std::string>* names) {
    *rounds = defaultRounds;
    names->clear();
    bool ok = true;
    if (argc > 1) {
        const char* a = argv[1];
        const size_t n = std::strlen(a);
        ok = n >= 1 && n <= 5 && std::strspn(a, "0123456789") == n;
        *rounds = ok ? std::atoi(a) : 0;
        ok = ok && *rounds >= 1 && *rounds <= 10000;
    }
    for (int i = 2; ok && i < argc; ++i) {
        ok = std::find(known.begin(), known.end(), argv[i]) != known.end();
        if (ok) names->push_back(argv[i]);
    }
    if (ok) return true;
    std::fprintf(stderr, "usage: %s [rounds [name...]]\n  rounds: 1 to 10000 (default %d)\n  names:", argv[0],
                 defaultRounds);
    for (const std::string& k : known) std::fprintf(stderr, " %s", k.c_str());
    std::fprintf(stderr, " (default: all)\n");
    return false;
}

// The last line of a run: every goal met only when something was measured
// and every measured figure met its goal. Returns the exit status: 0 when
// something was measured (met or missed), 1 when nothing was.
inline int PrintVerdict(int measured, bool allMet) {
    if (measured == 0) {
        std::printf("NOT MEASURED: nothing was timed, no goal met\n");
        return 1;
    }
    std::printf(allMet ? "every goal met (%d measured)\n" : "some goal MISSED (%d measured)\n", measured);
    return 0;
}

}  // namespace bench_support
