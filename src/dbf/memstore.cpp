#include "dbf/memstore.h"

#include <algorithm>
#include <cstring>

namespace dbf {

namespace {
constexpr std::size_t kChunkBytes = kHugePageBytes;
} // namespace

void MemStore::Chunk::Reserve(std::size_t wanted) {
    if (wanted <= capacity) return;
    LargeBlock<std::uint8_t> grown = MakeLargeBlock<std::uint8_t>(wanted);
    if (used > 0) std::memcpy(grown.get(), bytes.get(), used);
    bytes = std::move(grown);
    capacity = wanted;
}

void MemStore::Reset(std::size_t recordSize) {
    Clear();
    recSize_ = recordSize == 0 ? 1 : recordSize;
    perChunk_ = std::max<std::size_t>(1, kChunkBytes / recSize_);
}

void MemStore::Clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    order_.clear();
    order_.shrink_to_fit();
    identity_ = true;
    slots_ = 0;
    count_ = 0;
}

MemStore::Chunk &MemStore::ChunkWithRoom(std::size_t records) {
    const std::size_t full = perChunk_ * recSize_;
    if (chunks_.empty() || chunks_.back().used == full) chunks_.emplace_back();
    Chunk &chunk = chunks_.back();
    const std::size_t needed = chunk.used + records * recSize_;
    // Only the first chunk grows step by step: a table with a second one is a large table.
    if (needed > chunk.capacity)
        chunk.Reserve(chunks_.size() > 1
                          ? full
                          : std::min(full, std::max({needed, chunk.capacity * 2, recSize_ * 4})));
    return chunk;
}

void MemStore::PutSlots(const std::uint8_t *data, std::int32_t n) {
    Chunk &chunk = ChunkWithRoom(static_cast<std::size_t>(n));
    const std::size_t bytes = static_cast<std::size_t>(n) * recSize_;
    std::memcpy(chunk.bytes.get() + chunk.used, data, bytes);
    chunk.used += bytes;
    slots_ += static_cast<std::uint32_t>(n);
}

void MemStore::Insert(std::int32_t position, const std::uint8_t *data) {
    const std::uint32_t slot = slots_;
    PutSlots(data, 1);
    if (identity_ && position == count_) {
        ++count_;
        return;
    }
    if (identity_) {
        order_.resize(static_cast<std::size_t>(count_));
        for (std::int32_t i = 0; i < count_; ++i)
            order_[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
        identity_ = false;
    }
    order_.insert(order_.begin() + position, slot);
    ++count_;
}

void MemStore::Append(const std::uint8_t *data, std::int32_t n) {
    while (n > 0) {
        const auto room = static_cast<std::int32_t>(perChunk_ - slots_ % perChunk_);
        const std::int32_t take = std::min(n, room);
        if (!identity_)
            for (std::int32_t i = 0; i < take; ++i)
                order_.push_back(slots_ + static_cast<std::uint32_t>(i));
        PutSlots(data, take);
        count_ += take;
        data += static_cast<std::size_t>(take) * recSize_;
        n -= take;
    }
}

std::uint8_t *MemStore::AppendRoom(std::int32_t &n) {
    const auto room = static_cast<std::int32_t>(perChunk_ - slots_ % perChunk_);
    n = std::max(1, std::min(n, room));
    Chunk &chunk = ChunkWithRoom(static_cast<std::size_t>(n));
    return chunk.bytes.get() + chunk.used;
}

void MemStore::TakeRoom(std::int32_t n) {
    if (n <= 0) return;
    if (!identity_)
        for (std::int32_t i = 0; i < n; ++i)
            order_.push_back(slots_ + static_cast<std::uint32_t>(i));
    chunks_.back().used += static_cast<std::size_t>(n) * recSize_;
    slots_ += static_cast<std::uint32_t>(n);
    count_ += n;
}

void MemStore::Reorder(const std::vector<std::int32_t> &newOrder) {
    std::deque<std::uint32_t> order;
    for (std::int32_t n : newOrder)
        order.push_back(SlotOf(n));
    order_ = std::move(order);
    identity_ = false;
}

std::size_t MemStore::MemoryBytes() const {
    std::size_t bytes = order_.size() * sizeof(std::uint32_t);
    for (const Chunk &c : chunks_)
        bytes += c.capacity;
    return bytes + chunks_.capacity() * sizeof(chunks_[0]);
}

} // namespace dbf
