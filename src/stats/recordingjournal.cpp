#include "stats/recordingjournal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char Magic[4] = {'V', 'X', 'R', 'J'};
constexpr std::uint32_t Version = 1;
constexpr std::uint8_t KindRow = 1;
constexpr std::uint8_t KindEmpty = 2;
// No record of a statistics table comes near this; a bigger size is damage.
constexpr std::uint32_t MaxRecordSize = 1u << 16;
// The most a journal grows to between two commits; past it recording goes on without one.
constexpr std::uint64_t MaxJournalBytes = std::uint64_t{1} << 30;
// The room the file is given at a time.
constexpr std::uint64_t Step = std::uint64_t{1} << 20;

// The checksum of an entry: eight bytes at a time, each step mixed by a multiplication (it
// only has to tell a whole entry from a cut or stale one).
std::uint32_t entrySum(const std::uint8_t *data, std::size_t size) {
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdull;
        h ^= h >> 32;
    }
    for (; i < size; ++i)
        h = (h ^ data[i]) * 0x100000001b3ull;
    h = (h ^ (h >> 29)) * 0xc4ceb9fe1a85ec53ull;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::uint64_t fnv64(const std::string &text, std::uint64_t h) {
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

void put(std::vector<std::uint8_t> &out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t get(const std::uint8_t *p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Flushes journals to the disk away from the recording thread, so that a slow disk never
// holds up the handling of reports. It works on duplicates of the journals' descriptors.
class Syncer {
public:
    static Syncer &instance() {
        static Syncer syncer;
        return syncer;
    }
    void flush(int fd) {
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) {
            ::fdatasync(fd);
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(copy);
        }
        m_wake.notify_one();
    }
    ~Syncer() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) m_thread.join();
    }

private:
    Syncer() : m_thread([this] { run(); }) {}
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            const int fd = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            ::fdatasync(fd);
            ::close(fd);
            lock.lock();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

RecordingJournal::Layout RecordingJournal::layoutOf(std::uint32_t recordSize,
                                                    const std::vector<std::string> &fields) {
    std::uint64_t key = 0xcbf29ce484222325ull;
    for (const std::string &f : fields)
        key = fnv64(f + '\n', key);
    return {recordSize, key};
}

RecordingJournal::~RecordingJournal() {
    close();
}

int RecordingJournal::open(const std::string &path, const std::vector<Layout> &layouts,
                           const Apply &apply) {
    close();
    m_layouts = layouts;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }

    std::vector<std::uint8_t> header;
    header.insert(header.end(), Magic, Magic + 4);
    put(header, Version, 4);
    put(header, layouts.size(), 4);
    for (const Layout &l : layouts) {
        put(header, l.recordSize, 4);
        put(header, l.key, 8);
    }

    // Read what is there (bounded), then replay its whole entries.
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    std::vector<std::uint8_t> bytes;
    if (size <= MaxJournalBytes + Step) {
        bytes.resize(static_cast<std::size_t>(size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    }
    int replayed = 0;
    std::size_t whole = 0; // bytes up to the end of the last whole entry
    if (bytes.size() >= header.size() &&
        std::memcmp(bytes.data(), header.data(), header.size()) == 0) {
        std::size_t at = header.size();
        whole = at;
        while (bytes.size() - at >= 10) {
            const std::uint8_t *e = bytes.data() + at;
            const std::uint8_t kind = e[0];
            const std::uint8_t table = e[1];
            const auto row = static_cast<std::int32_t>(get(e + 2, 4));
            const auto recSize = static_cast<std::uint32_t>(get(e + 6, 4));
            if (recSize > MaxRecordSize || bytes.size() - at - 10 < std::size_t{recSize} + 4) break;
            if (entrySum(e, 10 + recSize) != get(e + 10 + recSize, 4)) break;
            const bool valid =
                table < layouts.size() &&
                ((kind == KindRow && row >= 1 && recSize == layouts[table].recordSize) ||
                 (kind == KindEmpty && row == 0 && recSize == 0));
            if (!valid) break;
            if (!apply(table, row, e + 10, recSize)) break;
            at += 10 + recSize + 4;
            whole = at;
            ++replayed;
        }
    }
    // What follows the whole entries (a torn one, the unused room) is dropped, so that new
    // entries follow the whole ones; another layout starts afresh.
    const bool fresh = whole == 0;
    if (fresh) whole = header.size();
    if (::ftruncate(fd, static_cast<off_t>(whole)) != 0) {
        ::close(fd);
        return -1;
    }
    m_fd = fd;
    m_size = whole;
    m_headerSize = header.size();
    if (!map(std::max<std::uint64_t>(Step, whole + Step))) {
        close();
        return -1;
    }
    if (fresh) std::memcpy(m_map, header.data(), header.size());
    m_broken = false;
    m_dirty = true;
    m_lastSyncMs = 0;
    sync(true);
    return replayed;
}

bool RecordingJournal::map(std::uint64_t capacity) {
    unmap();
    // Blocks are reserved before the pages are used: a full disk fails here, never as a fault
    // on a page written later.
    if (::posix_fallocate(m_fd, 0, static_cast<off_t>(capacity)) != 0) return false;
    void *p = ::mmap(nullptr, static_cast<std::size_t>(capacity), PROT_READ | PROT_WRITE,
                     MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED) return false;
    m_map = static_cast<std::uint8_t *>(p);
    m_capacity = capacity;
    return true;
}

void RecordingJournal::unmap() {
    if (m_map) ::munmap(m_map, static_cast<std::size_t>(m_capacity));
    m_map = nullptr;
    m_capacity = 0;
}

void RecordingJournal::close() {
    if (m_fd < 0) return;
    if (m_dirty) ::fdatasync(m_fd);
    unmap();
    // The unused room is given back; replay stops at its zeros anyway.
    [[maybe_unused]] const int rc = ::ftruncate(m_fd, static_cast<off_t>(m_size));
    ::close(m_fd);
    m_fd = -1;
    m_dirty = false;
}

void RecordingJournal::append(std::uint8_t kind, int table, std::int32_t row,
                              const std::uint8_t *bytes, std::size_t size) {
    if (m_fd < 0 || m_broken) return;
    const std::uint64_t length = 10 + size + 4;
    if (m_size + length > m_capacity) {
        const std::uint64_t wanted = std::max(m_capacity * 2, m_size + length + Step);
        if (wanted > MaxJournalBytes + Step || !map(wanted)) {
            // Recording goes on in memory; the journal holds what it holds.
            m_broken = true;
            if (!m_map) map(m_capacity ? m_capacity : Step);
            return;
        }
    }
    // The entry is written into the file's pages, which the system keeps however the process
    // ends; the checksum goes last, so an entry cut off by a kill never counts.
    std::uint8_t *e = m_map + m_size;
    e[0] = kind;
    e[1] = static_cast<std::uint8_t>(table);
    for (int i = 0; i < 4; ++i) {
        e[2 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(row) >> (8 * i));
        e[6 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(size) >> (8 * i));
    }
    if (size > 0) std::memcpy(e + 10, bytes, size);
    const std::uint32_t sum = entrySum(e, 10 + size);
    for (int i = 0; i < 4; ++i)
        e[10 + size + i] = static_cast<std::uint8_t>(sum >> (8 * i));
    m_size += length;
    m_dirty = true;
}

void RecordingJournal::putRow(int table, std::int32_t row, const std::uint8_t *bytes,
                              std::size_t size) {
    append(KindRow, table, row, bytes, size);
}

void RecordingJournal::putEmpty(int table) {
    append(KindEmpty, table, 0, nullptr, 0);
}

void RecordingJournal::checkpoint() {
    if (m_fd < 0) return;
    // Cut back to the header in one step (never a part of the entries), then room again.
    unmap();
    m_size = m_headerSize;
    m_broken = ::ftruncate(m_fd, static_cast<off_t>(m_headerSize)) != 0 || !map(Step);
    m_dirty = true;
}

void RecordingJournal::sync(bool force) {
    if (m_fd < 0 || !m_dirty) return;
    const std::int64_t now = nowMs();
    if (!force && now - m_lastSyncMs < 1000) return;
    m_lastSyncMs = now;
    m_dirty = false;
    if (force)
        ::fdatasync(m_fd);
    else
        Syncer::instance().flush(m_fd);
}

void RecordingJournal::discard(const std::string &path) {
    ::unlink(path.c_str());
}
