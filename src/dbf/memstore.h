// Record store of in-memory tables: each record is one contiguous copy of the field buffer,
// kept in fixed-size chunks of a huge page (no per-record allocation). The first chunk grows as
// records come, so that small tables stay small.
// Record order is the slot order while records are only appended at the end; the first
// insertion elsewhere switches to an explicit order of slot numbers (a deque, so inserting at
// the front stays cheap).
#pragma once

#include "dbf/largeblock.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace dbf {

class MemStore {
public:
    void Reset(std::size_t recordSize);
    void Clear();

    std::int32_t Count() const { return count_; }
    std::size_t RecordSize() const { return recSize_; }

    // Record n (1-based).
    std::uint8_t *Record(std::int32_t n) { return SlotPtr(SlotOf(n)); }
    const std::uint8_t *Record(std::int32_t n) const { return SlotPtr(SlotOf(n)); }

    // Inserts a copy of data so that it becomes record position + 1 (position 0..Count()).
    void Insert(std::int32_t position, const std::uint8_t *data);

    // Calls visit(n, record) for every record in order.
    template <typename Visitor> void Visit(Visitor &&visit) const {
        if (!identity_) {
            for (std::int32_t n = 1; n <= count_; ++n)
                visit(n, Record(n));
            return;
        }
        std::int32_t n = 0;
        for (const Chunk &chunk : chunks_)
            for (std::size_t at = 0; at < chunk.used; at += recSize_)
                visit(++n, chunk.bytes.get() + at);
    }

    // Appends n records stored one after another at data (each RecordSize() bytes).
    void Append(const std::uint8_t *data, std::int32_t n);

    // Room for up to n more records after the last, contiguous and uninitialised (fewer when
    // the chunk they go into fills first: n becomes what it holds). They become records when
    // TakeRoom counts them.
    std::uint8_t *AppendRoom(std::int32_t &n);
    // The first n records of the room AppendRoom gave are records now.
    void TakeRoom(std::int32_t n);

    // Reorders the records: newOrder[i] is the current record number (1-based) that becomes
    // record i + 1.
    void Reorder(const std::vector<std::int32_t> &newOrder);

    std::size_t MemoryBytes() const;

private:
    // Uninitialised bytes; `used` of them hold records.
    struct Chunk {
        LargeBlock<std::uint8_t> bytes;
        std::size_t used = 0;
        std::size_t capacity = 0;
        void Reserve(std::size_t capacity);
    };

    std::uint32_t SlotOf(std::int32_t n) const {
        return identity_ ? static_cast<std::uint32_t>(n - 1)
                         : order_[static_cast<std::size_t>(n - 1)];
    }
    std::uint8_t *SlotPtr(std::uint32_t slot) {
        return chunks_[slot / perChunk_].bytes.get() + (slot % perChunk_) * recSize_;
    }
    const std::uint8_t *SlotPtr(std::uint32_t slot) const {
        return chunks_[slot / perChunk_].bytes.get() + (slot % perChunk_) * recSize_;
    }
    // The chunk that takes the next slot, with room for `records` more (at most a full chunk).
    Chunk &ChunkWithRoom(std::size_t records);
    // Copies n records (at most what the current chunk can still take) into new slots.
    void PutSlots(const std::uint8_t *data, std::int32_t n);

    std::size_t recSize_ = 1;
    std::size_t perChunk_ = 1;
    std::uint32_t slots_ = 0;
    std::int32_t count_ = 0;
    bool identity_ = true;
    std::deque<std::uint32_t> order_;
    std::vector<Chunk> chunks_;
};

} // namespace dbf
