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
#include <cstdio>
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

}  // namespace bench_support
