// For the out-of-memory sweep under AddressSanitizer (bench/vrastik-oom.sh):
// ASan's own operator new ends the process when memory runs out, whatever
// allocator_may_return_null says. These take the memory from malloc (which
// returns null under allocator_may_return_null=1) and throw std::bad_alloc
// as the C++ runtime does, so the program's own out-of-memory paths run.
#include <cstdlib>
#include <new>

namespace {

void *take(std::size_t n)
{
    return std::malloc(n ? n : 1);
}

void *takealigned(std::size_t n, std::align_val_t a)
{
    void *p = nullptr;
    return posix_memalign(&p, static_cast<std::size_t>(a), n ? n : 1) == 0 ? p : nullptr;
}

} // namespace

void *operator new(std::size_t n)
{
    if (void *p = take(n))
        return p;
    throw std::bad_alloc();
}

void *operator new[](std::size_t n)
{
    return operator new(n);
}

void *operator new(std::size_t n, std::align_val_t a)
{
    if (void *p = takealigned(n, a))
        return p;
    throw std::bad_alloc();
}

void *operator new[](std::size_t n, std::align_val_t a)
{
    return operator new(n, a);
}

void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return take(n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return take(n); }
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept { return takealigned(n, a); }
void *operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept { return takealigned(n, a); }

void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }
