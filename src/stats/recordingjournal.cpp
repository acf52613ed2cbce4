#include "stats/recordingjournal.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
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
// Entries worth replaying at most (about 8 GB of the largest records).
constexpr std::uint64_t MaxJournalBytes = std::uint64_t{8} << 30;

std::uint32_t fnv32(const std::uint8_t *data, std::size_t size) {
    std::uint32_t h = 0x811c9dc5u;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x01000193u;
    }
    return h;
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

bool writeAll(int fd, const std::uint8_t *p, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
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
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_APPEND, 0600);
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
    if (size <= MaxJournalBytes) {
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
            if (fnv32(e, 10 + recSize) != get(e + 10 + recSize, 4)) break;
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
    if (whole == 0) {
        // Empty, or another layout: start afresh.
        if (::ftruncate(fd, 0) != 0 || !writeAll(fd, header.data(), header.size())) {
            ::close(fd);
            return -1;
        }
        whole = header.size();
    } else if (whole < size && ::ftruncate(fd, static_cast<off_t>(whole)) != 0) {
        ::close(fd);
        return -1;
    }
    m_fd = fd;
    m_headerSize = header.size();
    m_size = whole;
    m_broken = false;
    m_dirty = true;
    m_lastSyncMs = 0;
    sync(true);
    return replayed;
}

void RecordingJournal::close() {
    if (m_fd < 0) return;
    if (m_dirty) ::fdatasync(m_fd);
    ::close(m_fd);
    m_fd = -1;
    m_dirty = false;
}

void RecordingJournal::append(std::uint8_t kind, int table, std::int32_t row,
                              const std::uint8_t *bytes, std::size_t size) {
    if (m_fd < 0 || m_broken) return;
    m_entry.clear();
    m_entry.push_back(kind);
    m_entry.push_back(static_cast<std::uint8_t>(table));
    put(m_entry, static_cast<std::uint32_t>(row), 4);
    put(m_entry, size, 4);
    m_entry.insert(m_entry.end(), bytes, bytes + size);
    put(m_entry, fnv32(m_entry.data(), m_entry.size()), 4);
    if (!writeAll(m_fd, m_entry.data(), m_entry.size())) {
        // A cut entry ends the replay there: nothing after it would count, so nothing more
        // is written until the next checkpoint starts the journal afresh.
        m_broken = true;
        return;
    }
    m_size += m_entry.size();
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
    if (::ftruncate(m_fd, static_cast<off_t>(m_headerSize)) != 0) return;
    m_size = m_headerSize;
    m_broken = false;
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
