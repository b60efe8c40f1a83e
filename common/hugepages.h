// Large buffers in 2 MB pages where the system offers them. Filling a big
// buffer 4 KB page by page costs a fault per page (about 10 us on a virtual
// machine: the work of twenty map columns); a 2 MB page faults once.
#pragma once
#include <cstddef>
#include <cstdlib>
#include <new>

// At least `bytes` bytes, not cleared; small requests come from malloc.
// Release with std::free. nullptr when memory ran out.
void *hugealloc(size_t bytes);

// For vectors that grow large: their storage from hugealloc.
template <typename T> struct hugeallocator {
    using value_type = T;
    hugeallocator() = default;
    template <typename U> hugeallocator(const hugeallocator<U> &) {}
    T *allocate(size_t n)
    {
        if (n > size_t(-1) / sizeof(T))
            throw std::bad_alloc();
        if (void *p = hugealloc(n * sizeof(T)))
            return static_cast<T *>(p);
        throw std::bad_alloc();
    }
    void deallocate(T *p, size_t) { std::free(p); }
    template <typename U> bool operator==(const hugeallocator<U> &) const { return true; }
};
