#include "DatagramQueue.h"

#include <algorithm>
#include <cstring>

// platform
#include "HugeBlocks.h"

namespace {

// The first block takes the largest datagram; a burst that needs more goes straight to blocks
// of HugeBlockSize (blocks of sizes between would take their pages one fault at a time).
constexpr int FirstBlock = 64 * 1024;
constexpr auto LargestBlock = int(HugeBlockSize);

} // namespace

TDatagramQueue::~TDatagramQueue()
{
    Clear();
    Free(FSpare);
}

TDatagramQueue::Block TDatagramQueue::NewBlock(int atLeast)
{
    const int size = std::max(atLeast, FBlocks.empty() ? FirstBlock : LargestBlock);
    if (FSpare.bytes && FSpare.size >= size) {
        Block b = FSpare;
        FSpare = {nullptr, 0, 0, 0};
        return b;
    }
    char *bytes = size == LargestBlock ? AllocateHugeBlock() : nullptr;
    if (!bytes)
        bytes = new char[size_t(size)];
    return {bytes, size, 0, 0};
}

void TDatagramQueue::Free(const Block &b)
{
    if (!b.bytes)
        return;
    if (b.size == LargestBlock)
        FreeHugeBlock(b.bytes);
    else
        delete[] b.bytes;
}

void TDatagramQueue::Push(const char *data, int count, uint32_t fromAddr, int fromPort)
{
    const int n = std::max(count, 0);
    if (FBlocks.empty() || FBlocks.back().size - FBlocks.back().used < n)
        FBlocks.push_back(NewBlock(n));
    Block &tail = FBlocks.back();
    char *at = tail.bytes + tail.used;
    if (n > 0)
        std::memcpy(at, data, size_t(n));
    tail.used += n;
    ++tail.datagrams;
    FEntries.push_back({at, count, fromAddr, fromPort});
}

void TDatagramQueue::PopFront()
{
    FEntries.pop_front();
    Block &front = FBlocks.front();
    if (--front.datagrams > 0)
        return;
    if (FBlocks.size() == 1) {
        // Empty again: it fills from its start. A flood empties the queue now and then; its
        // blocks stay for the rest of it (see ReleaseRoom).
        front.used = 0;
        return;
    }
    Block done = front;
    FBlocks.pop_front();
    done.used = 0;
    if (done.size >= FSpare.size) {
        Free(FSpare);
        FSpare = done;
    } else {
        Free(done);
    }
}

bool TDatagramQueue::HoldsRoom() const
{
    return FSpare.bytes || (!FBlocks.empty() && FBlocks.front().size > FirstBlock);
}

void TDatagramQueue::ReleaseRoom()
{
    if (!Empty())
        return;
    Free(FSpare);
    FSpare = {nullptr, 0, 0, 0};
    Clear();
}

void TDatagramQueue::Clear()
{
    FEntries.clear();
    for (const Block &b : FBlocks)
        Free(b);
    FBlocks.clear();
}
