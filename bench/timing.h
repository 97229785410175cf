// What the in-program benchmarks share: the best time of several runs, and one printed
// row a measurement (name, our seconds, the peer's seconds, the ratio, the target).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>

namespace kelv::bench {

inline double best_of(int runs, const std::function<void()>& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

// Runs two rivals in turn, run after run, so that both meet the same moments of a busy
// machine; the best time of each.
inline std::pair<double, double> best_pair(int runs, const std::function<void()>& ours,
                                           const std::function<void()>& peer) {
  double a = 1e30, b = 1e30;
  for (int i = 0; i < runs; ++i) {
    a = std::min(a, best_of(1, ours));
    b = std::min(b, best_of(1, peer));
  }
  return {a, b};
}

// A limit of 0 marks a row that is measured for the record, with no target.
inline void row(const char* name, double ours, double peer, const char* peer_name, double limit) {
  std::printf("%-28s %9.4f s  %-18s %9.4f s  ratio %5.2f  ", name, ours, peer_name, peer, ours / peer);
  if (limit > 0)
    std::printf("(target <= %.2f)\n", limit);
  else
    std::printf("(for the record)\n");
}

}  // namespace kelv::bench
