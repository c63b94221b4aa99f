// Holds the sharing of a call's chunks to running each exactly once, whether
// every participant joins, only the caller does, or helpers steal.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "workers.h"

namespace morvane::imgproc {
namespace {

TEST(Workers, EveryChunkRunsOnceWhoeverJoins) {
  for (int threads : {1, 2, 3, kMaxThreads}) {
    for (int chunks : {1, 2, 5, 21, 200}) {
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(chunks));
      auto count = [&](int chunk, int slot) {
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, threads);
        runs[static_cast<std::size_t>(chunk)].fetch_add(1);
      };
      ShareChunks(chunks, threads, count);
      // The caller alone, as when no helper wakes in time.
      Job alone{[](void* context, int chunk, int slot) {
                  (*static_cast<decltype(count)*>(context))(chunk, slot);
                },
                &count, chunks, threads};
      alone.Run(0);
      for (int i = 0; i < chunks; ++i) {
        EXPECT_EQ(runs[static_cast<std::size_t>(i)].load(), 2)
            << "chunk " << i << " of " << chunks << ", " << threads << " threads";
      }
    }
  }
}

}  // namespace
}  // namespace morvane::imgproc
