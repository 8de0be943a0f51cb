#pragma once
// Work spread over a few threads, for the searches of this room.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

// Calls work(i) for every i in [begin, end), spread over `threads` threads (this one included).
template <typename Work>
void parallelFor(size_t begin, size_t end, int threads, const Work &work)
{
    std::atomic<size_t> next{begin};
    auto drain = [&next, end, &work] {
        for (size_t i = next++; i < end; i = next++)
            work(i);
    };
    std::vector<std::thread> helpers;
    const size_t wanted = std::min<size_t>(std::max(threads, 1), end - begin);
    for (size_t t = 1; t < wanted; ++t)
        helpers.emplace_back(drain);
    drain();
    for (std::thread &helper : helpers)
        helper.join();
}
