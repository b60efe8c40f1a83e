#include <malloc.h>

#include "generator.h"

int main(int argc, char **argv)
{
    // Big buffers (grid levels, the bands' buffers, their scratch) are mapped
    // and go back to the system when freed, instead of staying in the heap of
    // the thread that freed them: the peak stays that of the data in use.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    return runvrastik(argc, argv);
}
