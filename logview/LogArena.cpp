#include "LogArena.h"

#include <algorithm>
#include <utility>

// platform
#include "HugeBlocks.h"

namespace {

// The arena's blocks: a window whose log holds a few lines takes a few kilobytes, one that
// holds more 64 KiB, and a flood's blocks come two megabytes at a time, each in one page fault
// where the system has huge pages (blocks of sizes between would take theirs one at a time).
constexpr qsizetype FirstBlock = 4 * 1024;
constexpr qsizetype SecondBlock = 64 * 1024;
constexpr auto LargestBlock = qsizetype(HugeBlockSize);

} // namespace

TLogArena::Block::Block(uint64_t start, qsizetype size) : start(start), size(size)
{
    if (size == LargestBlock)
        bytes = AllocateHugeBlock();
    huge = bytes != nullptr;
    // Not filled in: the system gives the pages as the lines come.
    if (!bytes)
        bytes = new char[size_t(size)];
}

TLogArena::Block::Block(Block &&other) noexcept
    : start(other.start), size(other.size), used(other.used), bytes(other.bytes), huge(other.huge)
{
    other.bytes = nullptr;
}

TLogArena::Block &TLogArena::Block::operator=(Block &&other) noexcept
{
    std::swap(start, other.start);
    std::swap(size, other.size);
    std::swap(used, other.used);
    std::swap(bytes, other.bytes);
    std::swap(huge, other.huge);
    return *this;
}

TLogArena::Block::~Block()
{
    if (huge)
        FreeHugeBlock(bytes);
    else
        delete[] bytes;
}

uint64_t TLogArena::Put(qsizetype n, bool aligned, char **at)
{
    *at = nullptr;
    if (n <= 0)
        return FEnd;
    Block *tail = FBlocks.empty() ? nullptr : &FBlocks.back();
    qsizetype offset = tail ? tail->used + (aligned ? (tail->used & 1) : 0) : 0;
    if (!tail || offset + n > tail->size) {
        const qsizetype grown = !tail ? FirstBlock : tail->size < SecondBlock ? SecondBlock : LargestBlock;
        const qsizetype size = std::max(n, grown);
        // Places go on after the last block's end: a place names one block only.
        const uint64_t start = tail ? tail->start + uint64_t(tail->size) : FEnd;
        FBlocks.emplace_back(start, size);
        tail = &FBlocks.back();
        offset = 0;
    }
    FUsed += offset + n - tail->used;
    tail->used = offset + n;
    FEnd = tail->start + uint64_t(tail->used);
    *at = tail->bytes + offset;
    return tail->start + uint64_t(offset);
}

const char *TLogArena::At(uint64_t place) const
{
    const auto after = std::upper_bound(FBlocks.begin(), FBlocks.end(), place,
                                        [](uint64_t p, const Block &b) { return p < b.start; });
    const Block &block = *(after - 1);
    return block.bytes + (place - block.start);
}

void TLogArena::DropBefore(uint64_t place)
{
    while (!FBlocks.empty() && FBlocks.front().start + uint64_t(FBlocks.front().size) <= place) {
        FUsed -= FBlocks.front().used;
        FBlocks.pop_front();
    }
}

void TLogArena::Clear()
{
    FBlocks.clear();
    FUsed = 0;
}

qsizetype TLogArena::Used() const
{
    return FUsed;
}

qsizetype TLogArena::UsedFrom(uint64_t place) const
{
    // The blocks before place went (DropBefore): it lies in the first one, or before it.
    if (FBlocks.empty() || place <= FBlocks.front().start)
        return FUsed;
    const Block &first = FBlocks.front();
    return FUsed - std::min(first.used, qsizetype(place - first.start));
}
