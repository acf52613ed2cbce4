#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// A hash map from a 64-bit key to a record number (1, 2, ...), open addressing with linear
// probing. It keeps the first record stored under a key: that is the record a sequential
// search from the top of the table would find.
class RowIndex {
public:
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
        if ((m_count + 1) * 4 > m_slots.size() * 3) grow();
        for (std::size_t i = slotOf(key);; i = (i + 1) & m_mask) {
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

    // Stores each (key, record) of entries in order, as insert() does, with the table lines
    // of the entries ahead fetched early: a large table is cold in the cache.
    void insertAll(const std::vector<std::pair<std::uint64_t, std::int32_t>> &entries) {
        reserve(m_count + entries.size());
        constexpr std::size_t Ahead = 16;
        const std::size_t n = entries.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (i + Ahead < n) __builtin_prefetch(&m_slots[slotOf(entries[i + Ahead].first)], 1);
            insert(entries[i].first, entries[i].second);
        }
    }

    void clear() {
        m_slots.clear();
        m_slots.shrink_to_fit();
        m_mask = 0;
        m_count = 0;
    }
    void reserve(std::size_t count) {
        while (count * 4 > m_slots.size() * 3)
            grow();
    }
    std::size_t size() const { return m_count; }

    static std::uint64_t pair(std::int32_t a, std::int32_t b) {
        return (std::uint64_t{static_cast<std::uint32_t>(a)} << 32) | static_cast<std::uint32_t>(b);
    }

private:
    struct Slot {
        std::uint64_t key = 0;
        std::int32_t record = 0; // 0: empty
    };

    std::size_t slotOf(std::uint64_t key) const {
        // splitmix64 finaliser: spreads neighbouring ids over the table.
        key ^= key >> 30;
        key *= 0xbf58476d1ce4e5b9ULL;
        key ^= key >> 27;
        key *= 0x94d049bb133111ebULL;
        key ^= key >> 31;
        return static_cast<std::size_t>(key) & m_mask;
    }

    void grow() {
        std::vector<Slot> old;
        old.swap(m_slots);
        const std::size_t size = old.empty() ? 16 : old.size() * 2;
        m_slots.assign(size, Slot{});
        m_mask = size - 1;
        m_count = 0;
        for (const Slot &s : old)
            if (s.record != 0) insert(s.key, s.record);
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_count = 0;
};
