#include "dbf/tablejournal.h"

#include "dbf/fileio_p.h"
#include "dbf/vfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace dbf {

namespace {

constexpr std::uint32_t kVersion = 1;
constexpr char kMagic[4] = {'V', 'X', 'T', 'J'};
// A journal holds one write's ranges; anything bigger is not one of ours.
constexpr std::uint64_t kMaxJournalBytes = std::uint64_t{4} << 30;

std::uint64_t Fnv1a(const std::uint8_t *data, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

void Put(std::vector<std::uint8_t> &out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t Get(const std::uint8_t *p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

bool ReadAll(int fd, std::vector<std::uint8_t> &out) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > kMaxJournalBytes)
        return false;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

struct Parsed {
    std::uint64_t device = 0, inode = 0, finalSize = 0;
    struct Range {
        std::uint64_t offset;
        const std::uint8_t *data;
        std::size_t size;
    };
    std::vector<Range> ranges;
};

// A whole journal, checked range by range; false for anything else.
bool Parse(const std::vector<std::uint8_t> &j, Parsed &out) {
    constexpr std::size_t head = 4 + 4 + 8 + 8 + 8 + 4;
    if (j.size() < head + 8 || std::memcmp(j.data(), kMagic, 4) != 0) return false;
    const std::size_t body = j.size() - 8;
    if (Fnv1a(j.data(), body) != Get(j.data() + body, 8)) return false;
    if (Get(j.data() + 4, 4) != kVersion) return false;
    out.device = Get(j.data() + 8, 8);
    out.inode = Get(j.data() + 16, 8);
    out.finalSize = Get(j.data() + 24, 8);
    const std::uint64_t count = Get(j.data() + 32, 4);
    std::size_t at = head;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (body - at < 12) return false;
        const std::uint64_t offset = Get(j.data() + at, 8);
        const std::uint64_t size = Get(j.data() + at + 8, 4);
        at += 12;
        if (size > body - at || offset > out.finalSize || size > out.finalSize - offset)
            return false;
        out.ranges.push_back({offset, j.data() + at, static_cast<std::size_t>(size)});
        at += static_cast<std::size_t>(size);
    }
    return at == body;
}

} // namespace

void TableRedo::Add(std::uint64_t offset, const std::uint8_t *data, std::size_t size) {
    if (size == 0) return;
    // Ranges that continue the previous one become part of it.
    if (!ranges_.empty()) {
        Range &last = ranges_.back();
        if (last.offset + last.size == offset && last.at + last.size == bytes_.size()) {
            bytes_.insert(bytes_.end(), data, data + size);
            last.size += size;
            return;
        }
    }
    ranges_.push_back({offset, bytes_.size(), size});
    bytes_.insert(bytes_.end(), data, data + size);
}

std::vector<std::uint8_t> TableRedo::Encode(std::uint64_t device, std::uint64_t inode,
                                            std::uint64_t finalSize) const {
    std::vector<std::uint8_t> out;
    out.reserve(44 + 12 * ranges_.size() + bytes_.size());
    out.insert(out.end(), kMagic, kMagic + 4);
    Put(out, kVersion, 4);
    Put(out, device, 8);
    Put(out, inode, 8);
    Put(out, finalSize, 8);
    Put(out, ranges_.size(), 4);
    for (const Range &r : ranges_) {
        Put(out, r.offset, 8);
        Put(out, r.size, 4);
        out.insert(out.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(r.at),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(r.at + r.size));
    }
    Put(out, Fnv1a(out.data(), out.size()), 8);
    return out;
}

int TableRedo::Apply(TTzWriteIO &io) const {
    for (const Range &r : ranges_)
        if (int rc = io.WriteAt(bytes_.data() + r.at, r.size, r.offset); rc != 0) return rc;
    return io.Sync();
}

std::string JournalPath(const std::string &tablePath) {
    return tablePath + ".jnl";
}

std::string TemporaryPath(const std::string &path, const char *suffix) {
    static std::mt19937_64 random{std::random_device{}()};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out = path + suffix;
    for (int i = 0; i < 12; ++i)
        out += letters[random() % (sizeof letters - 1)];
    return out;
}

int RecoverTable(const std::string &tablePath) {
    const std::string journal = JournalPath(tablePath);
    const int jfd = ::open(journal.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (jfd < 0) return 0; // none (or not a plain file of ours: left alone)
    std::vector<std::uint8_t> bytes;
    const bool read = ReadAll(jfd, bytes);
    ::close(jfd);
    if (read && bytes.empty()) return 0; // emptied by the last write, kept for the next
    Parsed parsed;
    int rc = 0;
    if (read && Parse(bytes, parsed)) {
        const int fd = ::open(tablePath.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<std::uint64_t>(st.st_dev) == parsed.device &&
            static_cast<std::uint64_t>(st.st_ino) == parsed.inode) {
            for (const Parsed::Range &r : parsed.ranges)
                if ((rc = WriteAllAt(fd, r.data, r.size, r.offset)) != 0) break;
            if (rc == 0 && static_cast<std::uint64_t>(st.st_size) > parsed.finalSize &&
                ::ftruncate(fd, static_cast<off_t>(parsed.finalSize)) != 0)
                rc = errno;
            if (rc == 0 && ::fsync(fd) != 0) rc = errno;
        }
        if (fd >= 0) ::close(fd);
    }
    if (rc == 0) ::unlink(journal.c_str());
    return rc;
}

} // namespace dbf
