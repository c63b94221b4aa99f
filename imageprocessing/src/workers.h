// Shares the chunks of one call among the calling thread and helper threads
// that sleep between calls. The caller never waits for a helper that has not
// started: it takes every chunk that is left itself, and waits only for
// chunks a helper already holds. (An OpenMP team ends each parallel region
// by waiting for every team thread, scheduled or not, which under load costs
// a whole time slice of another process.)
#pragma once

#include <atomic>
#include <cstdint>

#include "schedule.h"

namespace morvane::imgproc {

// One call's work: chunks 0 .. chunks - 1, each run once by some participant.
// The chunks are dealt out in shares of neighbours, one per participant,
// which takes its own from the front; one whose share is done takes the
// others' from their back. Neighbouring chunks meet at a cut whose rows both
// touch, so a share run by one thread keeps those rows in its cache, while a
// thread that starts late or is descheduled still holds only one chunk when
// the others are done.
struct Job {
  void (*work)(void* context, int chunk, int slot);
  void* context;
  int threads;  // participants at most, the caller included
  int joined = 1;  // participants so far; the caller is slot 0
  // Per participant, the chunks [front, back) of its share not yet taken,
  // as front << 32 | back.
  std::atomic<std::uint64_t> shares[kMaxThreads];

  Job(void (*w)(void*, int, int), void* c, int n, int t)
      : work(w), context(c), threads(t) {
    for (int r = 0; r < threads; ++r) {
      const auto front = static_cast<std::uint64_t>(static_cast<long long>(n) * r / t);
      const auto back = static_cast<std::uint64_t>(static_cast<long long>(n) * (r + 1) / t);
      shares[r].store(front << 32 | back, std::memory_order_relaxed);
    }
  }

  void Run(int slot) {
    for (int i = Take(slot, true); i >= 0; i = Take(slot, true)) work(context, i, slot);
    for (int k = 1; k < threads; ++k) {
      const int other = (slot + k) % threads;
      for (int i = Take(other, false); i >= 0; i = Take(other, false)) work(context, i, slot);
    }
  }

 private:
  // The first (or last) chunk left in share r, or -1 once it is empty.
  int Take(int r, bool first) {
    std::uint64_t left = shares[r].load(std::memory_order_relaxed);
    for (;;) {
      const std::uint64_t front = left >> 32, back = left & 0xffffffffu;
      if (front >= back) return -1;
      const std::uint64_t rest = first ? (front + 1) << 32 | back : front << 32 | (back - 1);
      if (shares[r].compare_exchange_weak(left, rest, std::memory_order_relaxed)) {
        return static_cast<int>(first ? front : back - 1);
      }
    }
  }
};

// Runs the job on the calling thread and up to job.threads - 1 helpers and
// returns when every chunk is done. Concurrent callers are safe: while the
// helpers serve one call, another runs its chunks alone.
void RunJob(Job& job);

// work(chunk, slot) for every chunk; slot < threads names the participant,
// for its scratch.
template <class Work>
void ShareChunks(int chunks, int threads, Work& work) {
  Job job{[](void* context, int chunk, int slot) { (*static_cast<Work*>(context))(chunk, slot); },
          &work, chunks, threads};
  RunJob(job);
}

}  // namespace morvane::imgproc
