#pragma once
// The blocks a receive log's lines keep their bytes in (see TLogStore).

#include <cstdint>
#include <deque>

// Qt
#include <QtGlobal>

// Bytes of lines, one after another in blocks that grow with the log; the lines at the front
// are the oldest bytes, so the front blocks go with them.
class TLogArena {
public:
    // Room for n bytes at an even place when aligned; returns its place, and fills *at.
    uint64_t Put(qsizetype n, bool aligned, char **at);
    const char *At(uint64_t place) const;
    // Nothing before this place is needed any more.
    void DropBefore(uint64_t place);
    void Clear();
    // Bytes put in the blocks held (the rest of a block is not touched, so takes no memory).
    qsizetype Used() const;
    // Of those, the bytes from a place on: the lines that still use the arena start there, and
    // what lines before it left in the same block is not theirs.
    qsizetype UsedFrom(uint64_t place) const;
    // The place after the last byte put.
    uint64_t End() const { return FEnd; }

private:
    struct Block {
        Block(uint64_t start, qsizetype size);
        Block(Block &&other) noexcept;
        Block &operator=(Block &&other) noexcept;
        ~Block();
        uint64_t start;
        qsizetype size;
        qsizetype used = 0;
        char *bytes = nullptr;
        // From AllocateHugeBlock.
        bool huge = false;
    };
    std::deque<Block> FBlocks;
    // The place after the last byte put.
    uint64_t FEnd = 0;
    qsizetype FUsed = 0;
};
