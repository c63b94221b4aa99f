// Shares the chunks of one call among the calling thread and helper threads
// that sleep between calls. The caller never waits for a helper that has not
// started: it takes every chunk that is left itself, and waits only for
// chunks a helper already holds. (An OpenMP team ends each parallel region
// by waiting for every team thread, scheduled or not, which under load costs
// a whole time slice of another process.)
#pragma once

#include <atomic>

namespace morvane::imgproc {

// One call's work: chunks 0 .. chunks - 1, each run once by some participant.
struct Job {
  void (*work)(void* context, int chunk, int slot);
  void* context;
  int chunks;
  int threads;  // participants at most, the caller included
  std::atomic<int> next{0};
  int joined = 1;  // participants so far; the caller is slot 0

  void Run(int slot) {
    for (int i = next.fetch_add(1, std::memory_order_relaxed); i < chunks;
         i = next.fetch_add(1, std::memory_order_relaxed)) {
      work(context, i, slot);
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
