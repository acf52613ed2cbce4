#pragma once

#include "dbf/largeblock.h"

#include <cstdint>
#include <cstring>
#include <vector>

// A hash map from a 64-bit key to a record number (1, 2, ...), open addressing with linear
// probing. It keeps the first record stored under a key: that is the record a sequential
// search from the top of the table would find.
class RowIndex {
public:
    struct Entry {
        std::uint64_t key;
        std::int32_t record; // 0 in a table slot: empty
    };

    // The record of key, or 0 when none is stored.
    std::int32_t find(std::uint64_t key) const {
        if (m_count == 0) return 0;
        for (std::size_t i = slotOf(key);; i = (i + 1) & m_mask) {
            const Slot &s = m_slots[i];
            if (s.record == 0) return 0;
            if (s.key == key) return s.record;
        }
    }

    // Stores record under key unless the key already has a record. Returns whether it stored.
    bool insert(std::uint64_t key, std::int32_t record) {
        if ((m_count + 1) * 4 > m_size * 3) grow();
        return place(key, record, slotOf(key));
    }

    // Stores each (key, record) of entries as insert() does in entry order. They are placed
    // grouped by the part of the table their home slot lies in, so that a large table is
    // filled one cache-sized part at a time; within a group they keep their order, so the first
    // record of a key still wins.
    void insertAll(const Entry *entries, std::size_t count) {
        auto work = dbf::MakeLargeBlock<Entry>(count);
        insertAll(entries, count, work.get());
    }
    // The same, grouping the entries in `work` (room for count entries, its bytes overwritten):
    // a caller that indexes several tables in a row reuses one buffer for all of them.
    void insertAll(const Entry *entries, std::size_t count, Entry *work) {
        reserve(m_count + count);
        constexpr std::size_t PartSlots = 4096;
        const std::size_t parts = m_size > PartSlots ? m_size / PartSlots : 1;
        auto partOf = [&](std::uint64_t key) { return slotOf(key) / PartSlots % parts; };
        std::vector<std::size_t> start(parts + 1, 0);
        for (std::size_t i = 0; i < count; ++i)
            ++start[partOf(entries[i].key) + 1];
        for (std::size_t p = 1; p <= parts; ++p)
            start[p] += start[p - 1];
        for (std::size_t i = 0; i < count; ++i)
            work[start[partOf(entries[i].key)]++] = entries[i];
        for (std::size_t i = 0; i < count; ++i)
            place(work[i].key, work[i].record, slotOf(work[i].key));
    }

    void clear() {
        m_slots.reset();
        m_size = 0;
        m_mask = 0;
        m_count = 0;
    }
    void reserve(std::size_t count) {
        std::size_t size = m_size == 0 ? 16 : m_size;
        while (count * 4 > size * 3)
            size *= 2;
        if (size != m_size) rehash(size);
    }
    std::size_t size() const { return m_count; }

    static std::uint64_t pair(std::int32_t a, std::int32_t b) {
        return (std::uint64_t{static_cast<std::uint32_t>(a)} << 32) | static_cast<std::uint32_t>(b);
    }

private:
    using Slot = Entry;

    std::size_t slotOf(std::uint64_t key) const {
        // splitmix64 finaliser: spreads neighbouring ids over the table.
        key ^= key >> 30;
        key *= 0xbf58476d1ce4e5b9ULL;
        key ^= key >> 27;
        key *= 0x94d049bb133111ebULL;
        key ^= key >> 31;
        return static_cast<std::size_t>(key) & m_mask;
    }

    bool place(std::uint64_t key, std::int32_t record, std::size_t home) {
        for (std::size_t i = home;; i = (i + 1) & m_mask) {
            Slot &s = m_slots[i];
            if (s.record == 0) {
                s.key = key;
                s.record = record;
                ++m_count;
                return true;
            }
            if (s.key == key) return false;
        }
    }

    void grow() { rehash(m_size == 0 ? 16 : m_size * 2); }

    void rehash(std::size_t size) {
        dbf::LargeBlock<Slot> old = std::move(m_slots);
        const std::size_t oldSize = m_size;
        m_size = size;
        m_slots = dbf::MakeLargeBlock<Slot>(m_size);
        std::memset(static_cast<void *>(m_slots.get()), 0, m_size * sizeof(Slot));
        m_mask = m_size - 1;
        m_count = 0;
        for (std::size_t i = 0; i < oldSize; ++i)
            if (old[i].record != 0) place(old[i].key, old[i].record, slotOf(old[i].key));
    }

    dbf::LargeBlock<Slot> m_slots;
    std::size_t m_size = 0;
    std::size_t m_mask = 0;
    std::size_t m_count = 0;
};
