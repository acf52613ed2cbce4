// Memory for large tables and their indexes. Blocks of half a huge page or more are rounded up
// to whole huge pages, aligned to them and advised as such, which spares the thousands of page
// faults (and TLB misses) of filling them; smaller blocks come from the heap as usual.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace dbf {

constexpr std::size_t kHugePageBytes = 2 * 1024 * 1024;

struct LargeBlockFree {
    void operator()(void *p) const { std::free(p); }
};

// Uninitialised memory of at least `bytes` bytes; throws std::bad_alloc when there is none.
void *AllocateLarge(std::size_t bytes);

template <typename T> using LargeBlock = std::unique_ptr<T[], LargeBlockFree>;

template <typename T> LargeBlock<T> MakeLargeBlock(std::size_t count) {
    return LargeBlock<T>(static_cast<T *>(AllocateLarge(count * sizeof(T))));
}

} // namespace dbf
