#pragma once
// The datagrams a UDP component has read ahead of their events, in order.
//
// A flood keeps tens of thousands of datagrams waiting here, a few kilobytes' worth each
// millisecond coming and going. Kept as a string each, they cost an allocation per datagram,
// and their memory, taken anew from the system as the heap moved on, cost page faults (about
// 20 us a page here, a fault per four datagrams of 1 KiB): the loop stalled for 60 ms and more
// while a burst was read. So their bytes lie one after another in blocks that are used again
// once the datagrams in them are delivered: a block of 2 MiB, backed by a huge page where the
// system has them, when a burst needs more room.

#include <cstdint>
#include <deque>

class TDatagramQueue {
public:
    struct Datagram {
        const char *data;
        int count; // -1: the receive failed
        uint32_t fromAddr;
        int fromPort;
    };

    TDatagramQueue() = default;
    ~TDatagramQueue();
    TDatagramQueue(const TDatagramQueue &) = delete;
    TDatagramQueue &operator=(const TDatagramQueue &) = delete;

    // Copies the datagram in at the end (no bytes for a failed receive).
    void Push(const char *data, int count, uint32_t fromAddr, int fromPort);
    bool Empty() const { return FEntries.empty(); }
    int Count() const { return int(FEntries.size()); }
    // Valid until the next PopFront.
    const Datagram &Front() const { return FEntries.front(); }
    void PopFront();
    void Clear();
    // An empty queue that keeps more than its first block's room for the rest of a flood, and
    // lets it go once the flood is over.
    bool HoldsRoom() const;
    void ReleaseRoom();

private:
    struct Block {
        char *bytes;
        int size;
        int used;
        int datagrams;
    };
    Block NewBlock(int atLeast);
    static void Free(const Block &b);

    std::deque<Datagram> FEntries;
    // The blocks holding FEntries' bytes, in order; the last one takes new datagrams.
    std::deque<Block> FBlocks;
    // A block emptied while a burst goes on, kept for the next one the burst needs.
    Block FSpare{nullptr, 0, 0, 0};
};
