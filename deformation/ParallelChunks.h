#ifndef ParallelChunks_h
#define ParallelChunks_h

/**
 * Loops whose items are independent, shared out among threads: each thread takes the next
 * chunk of items nobody has taken, and every item is done whole by one call, so how the items
 * fall to the threads cannot change any result. Used by the shape transform (one point's
 * displacement per item) and the fitting tool's assembly (one row of the kernel matrix).
 */

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

namespace parallel_chunks
{
/**
 * Calls work(begin, end) for consecutive chunks [begin, end) of the items 0 ... n - 1, at most
 * `chunk` items each, on the calling thread and threads - 1 helpers (fewer when no more can be
 * started: the others take over their share). Returns once every item is done.
 */
template <class Index, class Work>
void ForEachChunk(Index n, Index chunk, int threads, const Work& work)
{
  std::atomic<std::int64_t> next{ 0 };
  const auto take = [&]
  {
    for (;;)
    {
      const std::int64_t begin = next.fetch_add(chunk, std::memory_order_relaxed);
      if (begin >= static_cast<std::int64_t>(n))
      {
        return;
      }
      work(static_cast<Index>(begin),
        static_cast<Index>(std::min<std::int64_t>(begin + chunk, static_cast<std::int64_t>(n))));
    }
  };
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t)
  {
    try
    {
      helpers.emplace_back(take);
    }
    catch (const std::exception&)
    {
      break; // no thread to be had (memory, limits)
    }
  }
  take();
  for (std::thread& helper : helpers)
  {
    helper.join();
  }
}
}

#endif
