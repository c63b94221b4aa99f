// The helper threads behind RunJob: started on demand, detached, and asleep
// on a condition variable whenever no call needs them, so an idle library
// takes no CPU from anyone.
#include "workers.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace morvane::imgproc {
namespace {

class Pool {
 public:
  // Never destroyed: helpers sleep in it until the process ends.
  static Pool& Get() {
    static Pool* pool = new Pool;
    return *pool;
  }

  void Run(Job& job) {
    bool shared = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (job_ == nullptr && job.threads > 1) {
        Grow(job.threads - 1);
        job_ = &job;
        ++generation_;
        shared = true;
      }
    }
    if (shared) wake_.notify_all();
    job.Run(0);
    if (!shared) return;
    std::unique_lock<std::mutex> lock(mutex_);
    // A helper that wakes from now on finds no job, so only those inside it count.
    job_ = nullptr;
    done_.wait(lock, [this] { return active_ == 0; });
  }

 private:
  // Called with the mutex held. Fewer helpers than asked for (the system
  // refused a thread) only means fewer participants.
  void Grow(int helpers) {
    while (helpers_ < helpers) {
      try {
        std::thread(&Pool::Serve, this, generation_).detach();
      } catch (...) {
        return;
      }
      ++helpers_;
    }
  }

  void Serve(std::uint64_t seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return generation_ != seen; });
      seen = generation_;
      Job* job = job_;
      if (job == nullptr || job->joined >= job->threads) continue;
      const int slot = job->joined++;
      ++active_;
      lock.unlock();
      job->Run(slot);
      lock.lock();
      if (--active_ == 0) done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Job* job_ = nullptr;            // the call the helpers serve, if any
  std::uint64_t generation_ = 0;  // counts posted calls
  int active_ = 0;                // helpers inside job_
  int helpers_ = 0;
};

}  // namespace

void RunJob(Job& job) { Pool::Get().Run(job); }

}  // namespace morvane::imgproc
