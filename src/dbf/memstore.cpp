#include "dbf/memstore.h"

#include <algorithm>
#include <cstring>

namespace dbf {

namespace {
constexpr std::size_t kChunkBytes = 64 * 1024;
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

std::uint32_t MemStore::NewSlot() {
    const std::uint32_t slot = slots_;
    if (slot % perChunk_ == 0) chunks_.emplace_back();
    std::vector<std::uint8_t> &chunk = chunks_.back();
    const std::size_t full = perChunk_ * recSize_;
    if (chunk.size() + recSize_ > chunk.capacity())
        chunk.reserve(std::min(full, std::max(chunk.capacity() * 2, recSize_ * 4)));
    chunk.resize(chunk.size() + recSize_);
    ++slots_;
    return slot;
}

void MemStore::Insert(std::int32_t position, const std::uint8_t *data) {
    const std::uint32_t slot = NewSlot();
    std::memcpy(SlotPtr(slot), data, recSize_);
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

void MemStore::Reorder(const std::vector<std::int32_t> &newOrder) {
    std::deque<std::uint32_t> order;
    for (std::int32_t n : newOrder)
        order.push_back(SlotOf(n));
    order_ = std::move(order);
    identity_ = false;
}

std::size_t MemStore::MemoryBytes() const {
    std::size_t bytes = order_.size() * sizeof(std::uint32_t);
    for (const auto &c : chunks_)
        bytes += c.capacity();
    return bytes + chunks_.capacity() * sizeof(chunks_[0]);
}

} // namespace dbf
