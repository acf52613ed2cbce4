#include "dbf/largeblock.h"

#include <new>
#include <sys/mman.h>

namespace dbf {

void *AllocateLarge(std::size_t bytes) {
    void *p = nullptr;
    if (bytes >= kHugePageBytes / 2) {
        const std::size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
        p = std::aligned_alloc(kHugePageBytes, rounded);
#ifdef MADV_HUGEPAGE
        if (p) ::madvise(p, rounded, MADV_HUGEPAGE); // only advice: plain pages without it
#endif
    } else {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (!p) throw std::bad_alloc();
    return p;
}

} // namespace dbf
