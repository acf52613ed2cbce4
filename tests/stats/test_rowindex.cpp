#include "stats/rowindex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

using Entries = std::vector<RowIndex::Entry>;

// Keys drawn from a small range, so that most recur: the first record of each must win.
Entries recurringKeys(std::size_t count, std::uint32_t range) {
    std::mt19937 random(7);
    Entries entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back({RowIndex::pair(static_cast<std::int32_t>(random() % range),
                                          static_cast<std::int32_t>(random() % 3)),
                           static_cast<std::int32_t>(i + 1)});
    return entries;
}

TEST(RowIndex, FillingAtOnceKeepsTheFirstRecordOfEveryKey) {
    const Entries entries = recurringKeys(200000, 40000);
    std::map<std::uint64_t, std::int32_t> first;
    for (const auto &[key, record] : entries)
        first.try_emplace(key, record);

    RowIndex bulk;
    bulk.insertAll(entries.data(), entries.size());
    RowIndex single;
    for (const auto &[key, record] : entries)
        single.insert(key, record);

    EXPECT_EQ(bulk.size(), first.size());
    EXPECT_EQ(single.size(), first.size());
    for (const auto &[key, record] : first) {
        ASSERT_EQ(bulk.find(key), record);
        ASSERT_EQ(single.find(key), record);
    }
    EXPECT_EQ(bulk.find(RowIndex::pair(40000, 0)), 0);
    EXPECT_EQ(bulk.find(RowIndex::pair(-1, -1)), 0);
}

TEST(RowIndex, FillingAnIndexInUseKeepsWhatItHolds) {
    RowIndex index;
    EXPECT_EQ(index.find(1), 0);
    EXPECT_TRUE(index.insert(RowIndex::pair(5, 6), 3));
    EXPECT_FALSE(index.insert(RowIndex::pair(5, 6), 1));
    const Entries more = {{RowIndex::pair(5, 6), 1}, {RowIndex::pair(6, 5), 2}, {0, 9}};
    index.insertAll(more.data(), more.size());
    EXPECT_EQ(index.find(RowIndex::pair(5, 6)), 3);
    EXPECT_EQ(index.find(RowIndex::pair(6, 5)), 2);
    EXPECT_EQ(index.find(0), 9); // key 0 is a key like any other
    EXPECT_EQ(index.size(), 3u);
    index.clear();
    EXPECT_EQ(index.find(RowIndex::pair(5, 6)), 0);
    index.insertAll(nullptr, 0);
    EXPECT_EQ(index.size(), 0u);
}

} // namespace
