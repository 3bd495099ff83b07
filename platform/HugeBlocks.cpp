#include "HugeBlocks.h"

#include <cstdint>

#include <sys/mman.h>

char *AllocateHugeBlock()
{
    // Twice the size, then the parts before and after an aligned block go back: the system
    // backs only aligned ranges with huge pages.
    void *raw = mmap(nullptr, 2 * HugeBlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + HugeBlockSize - 1) & ~uintptr_t(HugeBlockSize - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const uintptr_t after = start + 2 * HugeBlockSize - (aligned + HugeBlockSize))
        munmap(reinterpret_cast<void *>(aligned + HugeBlockSize), after);
    auto *block = reinterpret_cast<char *>(aligned);
    // Only a hint: without it (or where the system says no) the pages come one by one.
    madvise(block, HugeBlockSize, MADV_HUGEPAGE);
    return block;
}

void FreeHugeBlock(char *block)
{
    if (block)
        munmap(block, HugeBlockSize);
}
