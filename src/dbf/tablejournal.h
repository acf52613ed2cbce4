// The redo journal that makes an in-place (incremental) table write crash safe.
//
// An incremental write changes a table file where it stands: records written over, records
// appended, the header's date and count. Cut off half-way (a kill, a power cut, a full disk) it
// would leave a torn table, so it goes in two steps, as a database journal does:
//
//   1. Every byte range the write will put into the table goes first into a journal beside it,
//      "<table>.jnl", and is flushed to the disk: written into the empty journal the last
//      write left, or under a fresh private name that is then renamed to its place (the folder
//      flushed too). Until the journal is whole on the disk the table is untouched; after that
//      the journal alone is enough to finish the write.
//   2. The ranges are written into the table and the table is flushed; then the journal is
//      emptied (a whole rewrite of the table removes it).
//
// Opening a table first looks for its journal (RecoverTable). A whole journal of this very
// table file is replayed (every range written again: replaying twice gives the same bytes) and
// removed, so a write that was cut off in step 2 ends as if it had finished; a journal that is
// not whole (bad checksum, cut short) or belongs to another file is removed unread, which can
// only happen before step 1 was complete, while the table still held its old bytes. The
// journal names its table by device and inode: a whole rewrite replaces the table by a new
// file, so a journal left over from before it can never be replayed onto the newer table. An
// empty journal is left where it is.
//
// Journal layout (little-endian): "VXTJ", u32 version 1, u64 device, u64 inode, u64 table size
// after the write, u32 number of ranges, then per range u64 offset, u32 length and the bytes;
// last a u64 FNV-1a checksum of everything before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dbf {

class TTzWriteIO;

// The byte ranges one write puts into a table file.
class TableRedo {
public:
    void Add(std::uint64_t offset, const std::uint8_t *data, std::size_t size);
    bool Empty() const { return ranges_.empty(); }
    // Bytes the ranges hold.
    std::size_t Bytes() const { return bytes_.size(); }

    // The journal file's bytes for the table file (device, inode) and its size afterwards.
    std::vector<std::uint8_t> Encode(std::uint64_t device, std::uint64_t inode,
                                     std::uint64_t finalSize) const;
    // Writes every range into the file opened in io (WriteAt), then flushes it. 0 or errno.
    int Apply(TTzWriteIO &io) const;

private:
    struct Range {
        std::uint64_t offset;
        std::size_t at; // into bytes_
        std::size_t size;
    };
    std::vector<Range> ranges_;
    std::vector<std::uint8_t> bytes_;
};

// The journal path of a table file.
std::string JournalPath(const std::string &tablePath);

// A new private file name beside path: path + suffix + random letters.
std::string TemporaryPath(const std::string &path, const char *suffix);

// Finishes or drops a write that was cut off: see the top of this file. Returns 0, or the
// errno of a replay that could not write (the journal is then kept for the next try).
int RecoverTable(const std::string &tablePath);

} // namespace dbf
