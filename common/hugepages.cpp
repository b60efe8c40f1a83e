#include "hugepages.h"

#include <sys/mman.h>

void *hugealloc(size_t bytes)
{
    const size_t huge = size_t(2) << 20;
    if (bytes < huge)
        return std::malloc(bytes > 0 ? bytes : 1);
    if (bytes > size_t(-1) - huge)
        return nullptr;
    const size_t whole = (bytes + huge - 1) / huge * huge;
    void *p = std::aligned_alloc(huge, whole);
    if (p)
        madvise(p, whole, MADV_HUGEPAGE);
    return p;
}
