// The recording journal of a profile: every change that recording makes to its statistics
// tables, kept on disk between two commits so that a killed process loses none of them.
//
// The tables live in memory and reach their files only at a commit. In between, each record
// that recording writes (a replaced or an appended row) goes at once, as a whole record, to the
// end of the journal file "Stats.jnl" in the profile directory. The file is mapped into memory,
// so an entry is a copy into the file's own pages, which the system keeps and writes out
// however the process ends: a kill cannot lose it, and recording pays no system call for it.
// The file is flushed to the disk at most once a second (sync, called every second, in the
// background) and before every commit, so a power cut loses about a second at most.
//
// Every entry says what a record is now ("row N of table T holds these bytes", "table T is
// empty"), never how it changed, so replaying entries onto a table that already holds some or
// all of them gives the same table: opening the tables replays the whole journal onto what the
// files hold, whether the last commit wrote none, some or all of the tables. A commit that has
// written every table is a checkpoint: the journal is emptied.
//
// File layout (little-endian): "VXRJ", u32 version 1, u32 number of tables, per table u32
// record size and u64 layout key; then entries: u8 kind (1 row, 2 empty), u8 table, u32 row,
// u32 size, the record's bytes, u32 checksum of the entry; then zeros (room reserved
// for more). Replay stops at the first entry that is cut short or does not check (a write cut
// off by a crash, or the zeros) and the file is cut back to the entries before it. A journal
// of another layout (other fields) is dropped.
//
// The journal is flushed before the tables are written, and emptied (cut back to its header in
// one step) only after all of them are on the disk: whatever a crash leaves, the replay starts
// from tables that hold none of the journal (then any prefix of it is a state that was) or all
// of it (then all of it is replayed, which changes nothing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class RecordingJournal {
public:
    // The layout of one table: its record size and a key of its field definitions.
    struct Layout {
        std::uint32_t recordSize = 0;
        std::uint64_t key = 0;
    };
    static Layout layoutOf(std::uint32_t recordSize, const std::vector<std::string> &fields);

    // One entry handed to the replay: row >= 1 with the record's bytes, or row 0 for "empty".
    using Apply = std::function<bool(int table, std::int32_t row, const std::uint8_t *bytes,
                                     std::size_t size)>;

    RecordingJournal() = default;
    ~RecordingJournal();
    RecordingJournal(const RecordingJournal &) = delete;
    RecordingJournal &operator=(const RecordingJournal &) = delete;

    // Opens (creating) the journal at path for tables of these layouts, replays its whole
    // entries through apply (in order, until apply returns false) and keeps it open for
    // appending after them. Returns the number of entries replayed, or -1 when the journal
    // cannot be used (the tables then record without it).
    int open(const std::string &path, const std::vector<Layout> &layouts, const Apply &apply);
    bool isOpen() const { return m_fd >= 0; }
    void close();

    // Appends one entry at once (nothing while closed or after a failed write).
    void putRow(int table, std::int32_t row, const std::uint8_t *bytes, std::size_t size);
    void putEmpty(int table);

    // Every table is written: the journal becomes empty.
    void checkpoint();
    // Flushes the appended entries to the disk, at most once a second unless forced.
    void sync(bool force = false);

    // Removes the journal of a closed profile whose tables were emptied.
    static void discard(const std::string &path);

    // Bytes of entries since the last checkpoint, and with the header.
    std::uint64_t entryBytes() const { return m_size - m_headerSize; }
    std::uint64_t size() const { return m_size; }

private:
    void append(std::uint8_t kind, int table, std::int32_t row, const std::uint8_t *bytes,
                std::size_t size);
    // Gives the file `capacity` bytes (reserved on the disk) and maps them.
    bool map(std::uint64_t capacity);
    void unmap();

    int m_fd = -1;
    std::uint8_t *m_map = nullptr;
    std::uint64_t m_capacity = 0;
    bool m_broken = false;
    bool m_dirty = false;
    std::int64_t m_lastSyncMs = 0;
    std::uint64_t m_size = 0;
    std::uint64_t m_headerSize = 0;
    std::vector<Layout> m_layouts;
    std::vector<std::uint8_t> m_entry;
};
