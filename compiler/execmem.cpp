// Executable memory for compiled code: mapped writable, written, then made
// read-and-execute, so no page is ever writable and executable at once.
#include "codegen.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct execmemstate {
    int fault;      // test hook: 1 fail the next allocation, 2 the next protection
};
execmemstate em;

size_t pagesize(uint32_t size)
{
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    return (size + page - 1) / page * page;
}

} // namespace

void setcodememoryfault(int which)
{
    em.fault = which;
}

unsigned char *allocatecode(uint32_t size)
{
    if (em.fault == 1) {
        em.fault = 0;
        return nullptr;
    }
    void *p = mmap(nullptr, pagesize(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : (unsigned char *)p;
}

bool sealcode(unsigned char *code, uint32_t size, bool executable)
{
    if (em.fault == 2) {
        em.fault = 0;
        return false;
    }
    return mprotect(code, pagesize(size), executable ? PROT_READ | PROT_EXEC : PROT_READ) == 0;
}

void releasecode(unsigned char *code, uint32_t size)
{
    munmap(code, pagesize(size));
}
