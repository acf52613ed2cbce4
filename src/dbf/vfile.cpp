#include "dbf/vfile.h"

#include "dbf/codepage.h"
#include "dbf/dbferror.h"
#include "dbf/fileio_p.h"
#include "dbf/progress.h"
#include "dbf/storedint_p.h"
#include "dbf/tablejournal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace dbf {

// ---------------------------------------------------------------------------------------------
// Progress factory

namespace {
TTzProgressFactory &Factory() {
    static TTzProgressFactory factory;
    return factory;
}
} // namespace

TTzProgressFactory SetProgressFactory(TTzProgressFactory factory) {
    TTzProgressFactory old = std::move(Factory());
    Factory() = std::move(factory);
    return old;
}

std::unique_ptr<TTzProgress100> OpenProgress(const std::string &caption) {
    return Factory() ? Factory()(caption) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// File operations

int TTzWriteIO::Create(const std::string &path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return fd_ < 0 ? errno : 0;
}

int TTzWriteIO::Open(const std::string &path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    return fd_ < 0 ? errno : 0;
}

int WriteAllAt(int fd, const void *data, std::size_t size, std::uint64_t offset) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

int TTzWriteIO::WriteAt(const void *data, std::size_t size, std::uint64_t offset) {
    return WriteAllAt(fd_, data, size, offset);
}

int TTzWriteIO::Write(const void *data, std::size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int TTzWriteIO::Truncate(std::uint64_t size) {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int TTzWriteIO::Sync() {
    return ::fsync(fd_) == 0 ? 0 : errno;
}

int TTzWriteIO::Close() {
    if (fd_ < 0) return 0;
    int rc = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return rc;
}

int TTzWriteIO::Rename(const std::string &from, const std::string &to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return errno;
    // Make the new directory entry durable too.
    std::string dir = ".";
    std::size_t slash = to.find_last_of('/');
    if (slash != std::string::npos) dir = slash == 0 ? "/" : to.substr(0, slash);
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

void TTzWriteIO::Remove(const std::string &path) {
    ::unlink(path.c_str());
}

namespace {

// ---------------------------------------------------------------------------------------------
// Record encoding and decoding for the bulk copies. The results are those of the engine's
// BufferToRecord / RecordToBuffer; numbers avoid the formatting of temporary strings.

void PutRightAligned(std::uint8_t *dst, int width, const char *text, std::size_t len) {
    if (len > static_cast<std::size_t>(width)) {
        std::memset(dst, '*', static_cast<std::size_t>(width));
        return;
    }
    std::memset(dst, ' ', static_cast<std::size_t>(width) - len);
    std::memcpy(dst + width - len, text, len);
}

void EncodeNumber(std::uint8_t *dst, const FieldDesc &f, const std::uint8_t *src) {
    char text[400];
    if (f.decimals == 0 || f.type == 'M') {
        std::int32_t v;
        std::memcpy(&v, src, 4);
        auto res = std::to_chars(text, text + sizeof text, v);
        PutRightAligned(dst, f.width, text, static_cast<std::size_t>(res.ptr - text));
        return;
    }
    double v;
    std::memcpy(&v, src, 8);
    if (!std::isfinite(v)) {
        std::memset(dst, '*', static_cast<std::size_t>(f.width));
        return;
    }
    auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, f.decimals);
    if (res.ec != std::errc()) {
        std::string s = FormatNumber(v, f.width, f.decimals);
        std::memcpy(dst, s.data(), static_cast<std::size_t>(f.width));
        return;
    }
    std::size_t len = static_cast<std::size_t>(res.ptr - text);
    const char *start = text;
    // A negative value that rounds to zero is stored without its sign.
    if (text[0] == '-' &&
        std::string_view(text + 1, len - 1).find_first_not_of("0.") == std::string_view::npos) {
        ++start;
        --len;
    }
    PutRightAligned(dst, f.width, start, len);
}

// Encodes the in-memory field buffer `buf` (layout `mem`) into the stored record `raw` of the
// file layout `disk` (same fields, in order).
void EncodeRecord(const std::vector<FieldDesc> &mem, const std::vector<FieldDesc> &disk,
                  const std::uint8_t *buf, std::uint8_t *raw) {
    raw[0] = buf[0] ? '*' : ' ';
    for (std::size_t i = 0; i < mem.size(); ++i) {
        const FieldDesc &m = mem[i];
        const FieldDesc &d = disk[i];
        std::uint8_t *dst = raw + d.offset;
        const std::uint8_t *src = buf + m.bufOffset;
        switch (m.type) {
        case 'C': {
            std::size_t len = std::min<std::size_t>(src[0], static_cast<std::size_t>(d.width));
            std::memcpy(dst, src + 1, len);
            std::memset(dst + len, ' ', static_cast<std::size_t>(d.width) - len);
            break;
        }
        case 'L':
            dst[0] = src[0] ? 'T' : 'F';
            break;
        case 'N':
        case 'F':
        case 'M':
            EncodeNumber(dst, m, src);
            break;
        default: {
            // Dates: the date-form text of the field buffer in its stored form.
            std::string stored = DateFormToStored(GetString(m, buf));
            stored.resize(static_cast<std::size_t>(d.width), ' ');
            std::memcpy(dst, stored.data(), static_cast<std::size_t>(d.width));
            break;
        }
        }
    }
}

// How one table field is filled from a file record.
struct FieldMapping {
    const FieldDesc *mem = nullptr;  // table field
    const FieldDesc *disk = nullptr; // file field of the same name, or null
    bool same = false;               // same type, width and decimals
};

bool IsNumeric(char t) {
    return t == 'N' || t == 'F' || t == 'M';
}

std::string_view TrimmedText(const std::uint8_t *p, int width) {
    std::string_view s(reinterpret_cast<const char *>(p), static_cast<std::size_t>(width));
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Whether the bytes are all ASCII (which both code pages hold alike).
bool IsAscii(const std::uint8_t *p, std::size_t size) {
    constexpr std::uint64_t High = 0x8080808080808080ull;
    std::uint64_t any = 0;
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + at, 8);
        any |= w;
    }
    for (; at < size; ++at)
        any |= p[at];
    return (any & High) == 0;
}

// Decodes a file record into the blank-initialised table buffer `buf`. With `canonical`, it
// is cleared when the record is not in the form the engine writes (then a write of the decoded
// record would not give back these bytes); `oem` tells whether text was converted, `original`
// is the record before that conversion.
void DecodeRecord(const std::vector<FieldMapping> &map, const std::uint8_t *raw, std::uint8_t *buf,
                  std::vector<std::uint8_t> &scratch, bool *canonical = nullptr,
                  const std::uint8_t *original = nullptr) {
    buf[0] = raw[0] == '*' ? 1 : 0;
    if (canonical && raw[0] != ' ' && raw[0] != '*') *canonical = false;
    for (const FieldMapping &fm : map) {
        if (!fm.disk) continue;
        const FieldDesc &m = *fm.mem;
        const FieldDesc &d = *fm.disk;
        const std::uint8_t *src = raw + d.offset;
        std::uint8_t *dst = buf + m.bufOffset;
        if (fm.same) {
            switch (m.type) {
            case 'C':
                dst[0] = static_cast<std::uint8_t>(m.width);
                std::memcpy(dst + 1, src, static_cast<std::size_t>(m.width));
                // Text of the code page must convert back to the same bytes.
                if (canonical && original && *canonical) {
                    std::uint8_t back[256];
                    std::memcpy(back, src, static_cast<std::size_t>(m.width));
                    AnsiToOem(back, static_cast<std::size_t>(m.width));
                    *canonical = std::memcmp(back, original + d.offset,
                                             static_cast<std::size_t>(m.width)) == 0;
                }
                continue;
            case 'L': {
                char c = static_cast<char>(src[0]);
                dst[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
                if (canonical && c != 'T' && c != 'F') *canonical = false;
                continue;
            }
            case 'N':
            case 'F':
            case 'M':
                if (m.decimals > 0 && m.type != 'M') {
                    double v = ParseNumber(TrimmedText(src, d.width));
                    std::memcpy(dst, &v, 8);
                    if (canonical && *canonical) {
                        std::uint8_t text[256];
                        EncodeNumber(text, m, dst);
                        *canonical = std::memcmp(text, src, static_cast<std::size_t>(d.width)) == 0;
                    }
                } else {
                    std::int32_t v = 0;
                    if (!ReadEngineInt32(src, d.width, v)) {
                        v = ReadFieldInt32(src, d.width);
                        if (canonical) *canonical = false;
                    }
                    std::memcpy(dst, &v, 4);
                }
                continue;
            default:
                break;
            }
        }
        // A field of another layout is never what a write gives back.
        if (canonical && !fm.same) *canonical = false;
        // Different layout (or a date): decode the file field alone, then convert its value.
        std::vector<FieldDesc> solo{d};
        solo[0].offset = 0;
        solo[0].bufOffset = 1;
        scratch.assign(static_cast<std::size_t>(FieldBufferBytes(d.type, d.width, d.decimals)) + 1,
                       0);
        // RecordToBuffer reads the deletion flag at raw[0] and the field at its offset: give
        // it a view whose field starts at offset 1.
        std::vector<std::uint8_t> rawOne(static_cast<std::size_t>(d.width) + 1, ' ');
        std::memcpy(rawOne.data() + 1, src, static_cast<std::size_t>(d.width));
        solo[0].offset = 1;
        RecordToBuffer(solo, rawOne.data(), scratch.data());
        if (IsNumeric(m.type) && IsNumeric(d.type))
            SetNumber(m, buf, GetNumber(solo[0], scratch.data()));
        else if (m.type == 'L' && d.type == 'L')
            SetLogical(m, buf, GetLogical(solo[0], scratch.data()));
        else if (IsNumeric(m.type) || m.type == 'L')
            SetString(m, buf, TrimmedText(rawOne.data() + 1, d.width));
        else {
            std::string text = GetString(solo[0], scratch.data());
            if (m.type == 'C' && IsNumeric(d.type)) {
                std::string_view t =
                    TrimmedText(reinterpret_cast<const std::uint8_t *>(text.data()),
                                static_cast<int>(text.size()));
                text = std::string(t);
            }
            SetString(m, buf, text);
        }
        if (canonical && *canonical && fm.same) {
            // A date: its stored text written back.
            std::string stored = DateFormToStored(GetString(m, buf));
            stored.resize(static_cast<std::size_t>(d.width), ' ');
            *canonical = std::memcmp(stored.data(), src, static_cast<std::size_t>(d.width)) == 0;
        }
    }
}

// Unique name of an in-memory table: "*<ms tick>*".
std::string VirtualTableName() {
    static std::uint32_t last = 0;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    std::uint32_t tick = static_cast<std::uint32_t>(ms) & 0x7FFFFFFFu;
    if (tick <= last) tick = last + 1;
    last = tick;
    std::string name = "*";
    name += std::to_string(tick);
    name += '*';
    return name;
}

// The header a write gives a table of these fields (laid out) holding count records, dated
// today: 32 bytes, one descriptor per field, the 0x0D terminator.
std::vector<std::uint8_t> TableHeader(const std::vector<FieldDesc> &disk, int recordLength,
                                      std::uint32_t count) {
    const int headerLength = 32 * static_cast<int>(disk.size()) + 33;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(headerLength), 0);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    out[0] = 0x03;
    out[1] = static_cast<std::uint8_t>(local.tm_year % 256);
    out[2] = static_cast<std::uint8_t>(local.tm_mon + 1);
    out[3] = static_cast<std::uint8_t>(local.tm_mday);
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    out[8] = static_cast<std::uint8_t>(headerLength & 0xFF);
    out[9] = static_cast<std::uint8_t>(headerLength >> 8);
    out[10] = static_cast<std::uint8_t>(recordLength & 0xFF);
    out[11] = static_cast<std::uint8_t>(recordLength >> 8);
    for (std::size_t i = 0; i < disk.size(); ++i) {
        std::uint8_t *d = out.data() + 32 + 32 * i;
        std::size_t len = std::min<std::size_t>(disk[i].name.size(), 10);
        std::memcpy(d, disk[i].name.data(), len);
        d[11] = static_cast<std::uint8_t>(disk[i].type);
        d[16] = static_cast<std::uint8_t>(disk[i].width);
        d[17] = static_cast<std::uint8_t>(disk[i].decimals);
    }
    out[static_cast<std::size_t>(headerLength) - 1] = 0x0D;
    return out;
}

// A header without its date and count, for comparing layouts.
std::vector<std::uint8_t> LayoutOf(std::vector<std::uint8_t> header) {
    for (std::size_t i = 1; i < 8 && i < header.size(); ++i)
        header[i] = 0;
    return header;
}

// The file layout of the table's fields.
std::vector<FieldDesc> DiskLayout(const std::vector<FieldDesc> &memFields, int &recordLength) {
    std::vector<FieldDesc> disk = memFields;
    recordLength = 1;
    LayoutFields(disk, &recordLength);
    return disk;
}

struct FileId {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtimeNs = 0;
};

bool StatFile(const std::string &path, FileId &id) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool FileExists(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTzLLDataSet

TTzLLDataSet::TTzLLDataSet(std::string name) : TTzCDataSet(std::move(name)) {}

TTzLLDataSet::~TTzLLDataSet() {
    const EngineScope scope(Engine());
    if (Active()) {
        try {
            SetActive(false);
        } catch (...) {
            // A destructor cannot report; the table is dropped.
        }
    }
    if (workArea_ != 0) TTzDataSet::CloseTable();
}

KeyMaker TTzLLDataSet::DefaultKey() const {
    // The text of field 1.
    std::vector<FieldDesc> fields = dbf::Fields();
    if (fields.empty()) return {};
    FieldDesc first = fields.front();
    return [first](const std::uint8_t *buf) { return FieldText(first, buf); };
}

bool TTzLLDataSet::OpenTable() {
    if (DbfFields.empty()) {
        ShowInfoMessage("FieldList.Count is <= 0 trying to create a database");
        return false;
    }
    std::vector<FieldDef> defs;
    for (const std::string &text : DbfFields) {
        ParsedFieldDef parsed = ParseFieldDef(text, name_);
        if (parsed.status == FieldDefStatus::Rejected) return false;
        if (parsed.status == FieldDefStatus::Excluded) continue;
        if (parsed.corrected) ShowInfoMessage(parsed.message);
        FieldDef def = parsed.def;
        if (def.type == 'M') def = FieldDef{def.name, 'N', 10, 0};
        defs.push_back(def);
    }
    int size = 1;
    for (const FieldDef &d : defs)
        size += dbf::FieldBufferBytes(d.type, d.width, d.decimals);

    ReportingScope quiet(false);
    buffer_.assign(static_cast<std::size_t>(size), 0);
    std::string command = VirtualTableName() + " VIRTUAL FILE";
    if (appendMode_ == LStatusType::ASCENDING) command += " ASCENDING";
    if (appendMode_ == LStatusType::DESCENDING) command += " DESCENDING";
    USE(command, buffer_.data(), buffer_.size());
    if (LastErrorCode() == 0) AddStru(defs);
    if (LastErrorCode() != 0) return false;
    fieldBuffer_ = buffer_.data();
    return true;
}

void TTzLLDataSet::AfterOpenTable() {
    if (appendMode_ == LStatusType::ASCENDING || appendMode_ == LStatusType::DESCENDING) {
        SetKeyMaker(keyMaker_ ? keyMaker_ : DefaultKey());
        dbf::SetAppendMode(appendMode_);
    }
    if (PopulateFromDisk) ReadFromDisk();
    if (appendMode_ == LStatusType::LIFO || appendMode_ == LStatusType::INSERTION)
        dbf::SetAppendMode(appendMode_);
}

void TTzLLDataSet::CloseTable() {
    if (SaveToDisk && changed_ && !WriteToDisk()) {
        // The table keeps its records when they could not be written.
        if (LastErrorCode() != 0) {
            int code = LastErrorCode();
            std::string message = LastErrorMessage();
            ClearError();
            throw ERedadError(code, FullErrorText(code, message));
        }
        return;
    }
    TTzDataSet::CloseTable();
    buffer_.clear();
    buffer_.shrink_to_fit();
    fieldBuffer_ = nullptr;
    changed_ = false;
}

void TTzLLDataSet::Tell() {
    if (sink_ && LastErrorCode() == 0) sink_(dbf::RecNo(), buffer_.data(), buffer_.size());
}

void TTzLLDataSet::s_AppendWithLock() {
    Append();
    changed_ = true;
    Tell();
}

void TTzLLDataSet::s_DeleteWithLock() {
    DeleteRec();
    changed_ = true;
    Tell();
}

void TTzLLDataSet::s_RestoreWithLock() {
    RecallRec();
    changed_ = true;
    Tell();
}

void TTzLLDataSet::s_ReplaceWithLock() {
    Replace();
    changed_ = true;
    Tell();
}

bool TTzLLDataSet::PutRecord(std::int32_t recNo, const std::uint8_t *record, std::size_t size) {
    const EngineScope scope(Engine());
    if (!Active() || size != buffer_.size() || !SelectWorkArea("PutRecord")) return false;
    const std::int32_t count = dbf::RecCount();
    if (recNo < 1 || recNo > count + 1) return false;
    if (recNo > count && CurrentAppendMode() != LStatusType::FIFO) return false;
    if (recNo <= count) GO(recNo);
    std::memcpy(buffer_.data(), record, size);
    if (recNo <= count)
        Replace();
    else
        Append();
    if (LastErrorCode() != 0) return false;
    changed_ = true;
    Resync();
    return true;
}

std::size_t TTzLLDataSet::MemoryBytes() {
    const EngineScope scope(Engine());
    if (workArea_ == 0) return 0;
    if (!SelectWorkArea("MemoryBytes")) return 0;
    return InMemoryBytes();
}

bool TTzLLDataSet::ReadFromDisk() {
    const EngineScope scope(Engine());
    loadVisited_ = false;
    if (dbfFileName_.empty()) return true;
    // A write that was cut off is finished (or dropped) first.
    if (int rc = RecoverTable(dbfFileName_); rc != 0) {
        RaiseError(rc == ENOSPC || rc == EIO ? kErrDiskWrite : ErrnoToCode(rc),
                   "Error writing " + dbfFileName_ + ". (" + std::strerror(rc) +
                       ") [ReadFromDisk]");
        return false;
    }
    if (!FileExists(dbfFileName_)) return true;
    if (!SelectWorkArea("ReadFromDisk")) return false;
    const int memArea = workArea_;
    const bool wasEmpty = dbf::RecCount() == 0;
    const bool oem = TableLanguage == TTzTableLanguage::tlOem;

    std::unique_ptr<DbfTable> table = OpenDbf(dbfFileName_, false, oem);
    Select(memArea);
    if (!table) return false;

    const std::vector<FieldDesc> memFields = dbf::Fields();
    // Refuse descriptors that lie outside the record: nothing is read past a buffer.
    for (const FieldDesc &d : table->fields) {
        if (d.width < 0 || d.offset < 1 || d.offset + d.width > table->recordLength) {
            std::string name = table->fileName;
            CloseDbf(std::move(table));
            Select(memArea);
            RaiseError(kErrNotDbase, name + " is not a dBASE database. (Field " + d.name +
                                         " lies outside the record) [ReadFromDisk]");
            return false;
        }
    }
    std::vector<FieldMapping> map;
    for (const FieldDesc &m : memFields) {
        FieldMapping fm;
        fm.mem = &m;
        for (const FieldDesc &d : table->fields) {
            if (d.name == m.name) {
                fm.disk = &d;
                fm.same = d.type == m.type && d.width == m.width && d.decimals == m.decimals;
                break;
            }
        }
        map.push_back(fm);
    }

    // Records the file really holds, counted from its size as a shared open does: an append
    // that was cut off before its header update leaves a count below the records that follow,
    // and those records must not be lost at the next write.
    const std::int32_t count = std::max(table->CountFromFileSize(), 0);
    const bool staleCount = count != table->recCount;

    // Whether the file is byte for byte what a write of the loaded records gives (then later
    // writes need to write only what changes): the header of our layout, no bytes after the
    // end mark, every record in the form the engine writes it.
    int ourRecordLength = 1;
    const std::vector<FieldDesc> ourDisk = DiskLayout(memFields, ourRecordLength);
    bool canonical =
        wasEmpty && !staleCount && !table->oldLayout && ourRecordLength == table->recordLength;
    if (canonical) {
        const std::vector<std::uint8_t> ours =
            TableHeader(ourDisk, ourRecordLength, static_cast<std::uint32_t>(count));
        std::vector<std::uint8_t> theirs(ours.size());
        const std::int64_t end = static_cast<std::int64_t>(table->headerLength) +
                                 static_cast<std::int64_t>(count) * table->recordLength;
        std::uint8_t mark = 0;
        canonical = table->headerLength == static_cast<int>(ours.size()) &&
                    table->FileSize() == end + 1 &&
                    ::pread(table->fd, theirs.data(), theirs.size(), 0) ==
                        static_cast<ssize_t>(theirs.size()) &&
                    LayoutOf(theirs) == LayoutOf(ours) && theirs[4] == ours[4] &&
                    theirs[5] == ours[5] && theirs[6] == ours[6] && theirs[7] == ours[7] &&
                    ::pread(table->fd, &mark, 1, static_cast<off_t>(end)) == 1 && mark == 0x1A;
    }

    std::int32_t n = count / 100;
    std::unique_ptr<TTzProgress100> progress;
    if (ShowProgress && n > 0) progress = OpenProgress("Reading from disk...");

    const std::size_t recSize = buffer_.size();
    std::vector<std::uint8_t> blank(recSize, 0);
    ClearFieldBuffer(memFields, blank.data(), static_cast<int>(blank.size()));
    // Whether decoding writes every byte of a record: each field comes from a file field of the
    // same form, and the fields fill the buffer without a gap. Then no blank is laid down first.
    bool whole = true;
    std::size_t filled = 1;
    for (const FieldMapping &fm : map) {
        const FieldDesc &m = *fm.mem;
        const bool direct =
            fm.disk && fm.same &&
            (m.type == 'C' || m.type == 'L' || m.type == 'N' || m.type == 'F' || m.type == 'M');
        if (!direct || static_cast<std::size_t>(m.bufOffset) != filled) whole = false;
        filled += static_cast<std::size_t>(dbf::FieldBufferBytes(m.type, m.width, m.decimals));
    }
    whole = whole && filled == recSize;

    const std::size_t recLen = static_cast<std::size_t>(table->recordLength);
    // About 1 MiB of the file per read, never more records than the file holds.
    const std::size_t perChunk = std::min<std::size_t>(
        std::max<std::size_t>(1, (1u << 20) / std::max<std::size_t>(recLen, 1)),
        std::max<std::int32_t>(count, 1));
    std::vector<std::uint8_t> chunk(perChunk * recLen);
    // A chunk's records are decoded straight into the record store when the table appends at
    // its end, else into `decoded` and appended from there.
    std::vector<std::uint8_t> decoded;
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t> original(recLen);
    bool visited = wasEmpty && loadVisitor_;
    if (visited) loadVisitor_->BeginLoad(count);
    bool ok = true;
    std::int32_t recNo = 0;
    while (recNo < count && ok) {
        std::size_t want = std::min<std::size_t>(perChunk, static_cast<std::size_t>(count - recNo));
        auto room = static_cast<std::int32_t>(want);
        std::uint8_t *store = AppendRoom(room);
        if (store) {
            want = std::min(want, static_cast<std::size_t>(room));
        } else {
            visited = false;
            decoded.resize(perChunk * recSize);
        }
        std::uint8_t *into = store ? store : decoded.data();
        std::size_t bytes = want * recLen;
        off_t at = static_cast<off_t>(table->headerLength) +
                   static_cast<off_t>(recNo) * static_cast<off_t>(recLen);
        std::size_t got = 0;
        while (got < bytes) {
            ssize_t r =
                ::pread(table->fd, chunk.data() + got, bytes - got, at + static_cast<off_t>(got));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        if (got < bytes) {
            ok = false;
            break;
        }
        std::int32_t kept = 0;
        for (std::size_t i = 0; i < want; ++i) {
            ++recNo;
            if (progress && recNo % n == 0) progress->Advance();
            std::uint8_t *raw = chunk.data() + i * recLen;
            if (HideDeletedRecs && raw[0] == '*') {
                canonical = false;
                continue;
            }
            // Only character data can hold text of the code page; numbers, dates and logicals
            // read the same either way, and so does plain ASCII text.
            bool converted = false;
            if (oem)
                for (const FieldMapping &fm : map) {
                    if (!fm.disk || (fm.disk->type != 'C' && fm.mem->type != 'C')) continue;
                    std::uint8_t *text = raw + fm.disk->offset;
                    const auto width = static_cast<std::size_t>(fm.disk->width);
                    if (IsAscii(text, width)) continue;
                    if (!converted && canonical) std::memcpy(original.data(), raw, recLen);
                    converted = true;
                    OemToAnsi(text, width);
                }
            std::uint8_t *record = into + static_cast<std::size_t>(kept) * recSize;
            if (!whole) std::memcpy(record, blank.data(), recSize);
            if (canonical)
                DecodeRecord(map, raw, record, scratch, &canonical,
                             converted ? original.data() : nullptr);
            else
                DecodeRecord(map, raw, record, scratch);
            ++kept;
        }
        if (store) {
            const std::int32_t first = dbf::RecCount() + 1;
            KeepAppended(kept);
            if (visited)
                for (std::int32_t i = 0; i < kept; ++i)
                    loadVisitor_->VisitLoaded(first + i,
                                              store + static_cast<std::size_t>(i) * recSize);
        } else {
            AppendRecords(decoded.data(), kept);
        }
        if (LastErrorCode() != 0) ok = false;
    }
    loadVisited_ = ok && visited;
    std::string fileName = table->fileName;
    {
        ReportingScope quiet(false);
        CloseDbf(std::move(table));
        ClearError();
    }
    Select(memArea);
    NoteInSync(ok && canonical ? dbfFileName_ : std::string());
    GoTop();
    progress.reset();
    // A stale header count is put right by the next write.
    changed_ = ok && staleCount;
    if (!ok && LastErrorCode() == 0)
        RaiseError(kErrUnexpectedEof, "File:  " + fileName + "  [ReadFromDisk]");
    return ok;
}

bool TTzLLDataSet::WriteFile(const std::string &target, const std::string &temp, TTzWriteIO &io,
                             int &code) {
    const std::vector<FieldDesc> memFields = dbf::Fields();
    std::vector<FieldDesc> disk = memFields;
    int recordLength = 1;
    LayoutFields(disk, &recordLength);
    const std::size_t recLen = static_cast<std::size_t>(recordLength);

    std::int32_t total = RecCount();
    std::int32_t count = total;
    if (HideDeletedRecs) {
        count = 0;
        GoTop();
        while (!dEOF()) {
            if (!Deleted()) ++count;
            SKIP(1);
        }
    }

    std::vector<std::uint8_t> out =
        TableHeader(disk, recordLength, static_cast<std::uint32_t>(count));
    out.reserve(1u << 20);
    if ((code = io.Create(temp)) != 0) return false;
    const bool oem = TableLanguage == TTzTableLanguage::tlOem;
    std::int32_t n = total / 100;
    std::unique_ptr<TTzProgress100> progress;
    if (ShowProgress && n > 0) progress = OpenProgress("Writing to disk...");

    const std::size_t flushAt = (1u << 20) - recLen;
    GoTop();
    while (!dEOF()) {
        std::int32_t recNo = dbf::RecNo();
        if (progress && recNo % n == 0) progress->Advance();
        if (!(HideDeletedRecs && Deleted())) {
            std::size_t at = out.size();
            out.resize(at + recLen);
            std::uint8_t *raw = out.data() + at;
            EncodeRecord(memFields, disk, buffer_.data(), raw);
            if (oem && recLen > 1) AnsiToOem(raw + 1, recLen - 1);
            if (out.size() >= flushAt) {
                if ((code = io.Write(out.data(), out.size())) != 0) return false;
                out.clear();
            }
        }
        SKIP(1);
    }
    out.push_back(0x1A);
    if ((code = io.Write(out.data(), out.size())) != 0) return false;
    if ((code = io.Sync()) != 0) return false;
    if ((code = io.Close()) != 0) return false;
    if ((code = io.Rename(temp, target)) != 0) return false;
    // A journal of the replaced file is of no use any more.
    io.Remove(JournalPath(target));
    NoteInSync(count == total ? target : std::string());
    return true;
}

void TTzLLDataSet::NoteInSync(const std::string &path) {
    FileId id;
    if (path.empty() || !StatFile(path, id)) {
        ForgetFileSync();
        synced_ = SyncedFile{};
        return;
    }
    MarkInSyncWithFile();
    int recordLength = 1;
    const std::vector<FieldDesc> disk = DiskLayout(dbf::Fields(), recordLength);
    synced_.path = path;
    synced_.device = id.device;
    synced_.inode = id.inode;
    synced_.size = id.size;
    synced_.mtimeNs = id.mtimeNs;
    synced_.header = LayoutOf(TableHeader(disk, recordLength, 0));
}

bool TTzLLDataSet::WriteChanges(const std::string &target, TTzWriteIO &io, int &code) {
    code = 0;
    const FileChanges changes = ChangesSinceSync();
    if (!changes.valid || synced_.path != target || (HideDeletedRecs && changes.deletedSeen))
        return false;
    FileId id;
    if (!StatFile(target, id) || id.device != synced_.device || id.inode != synced_.inode ||
        id.size != synced_.size || id.mtimeNs != synced_.mtimeNs)
        return false;
    const std::vector<FieldDesc> memFields = dbf::Fields();
    int recordLength = 1;
    const std::vector<FieldDesc> disk = DiskLayout(memFields, recordLength);
    const std::int32_t count = RecCount();
    const std::vector<std::uint8_t> header =
        TableHeader(disk, recordLength, static_cast<std::uint32_t>(count));
    if (LayoutOf(header) != synced_.header) return false;
    const std::uint64_t recLen = static_cast<std::uint64_t>(recordLength);
    const std::uint64_t start = header.size();
    if (synced_.size != start + static_cast<std::uint64_t>(changes.synced) * recLen + 1)
        return false;

    // The redo ranges: the header's date and count, the records written over, the new records
    // with the end mark after them.
    const bool oem = TableLanguage == TTzTableLanguage::tlOem;
    TableRedo redo;
    redo.Add(0, header.data(), 8);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(recLen));
    auto add = [&](std::int32_t n) {
        GO(n);
        EncodeRecord(memFields, disk, buffer_.data(), raw.data());
        if (oem && recLen > 1) AnsiToOem(raw.data() + 1, raw.size() - 1);
        redo.Add(start + static_cast<std::uint64_t>(n - 1) * recLen, raw.data(), raw.size());
    };
    for (std::int32_t n : changes.changed)
        add(n);
    for (std::int32_t n = changes.synced + 1; n <= count; ++n)
        add(n);
    const std::uint64_t finalSize = start + static_cast<std::uint64_t>(count) * recLen + 1;
    if (count > changes.synced) {
        const std::uint8_t eof = 0x1A;
        redo.Add(finalSize - 1, &eof, 1);
    }

    // The journal, whole and on the disk before the table is touched: written into the empty
    // journal that the last write left (its name is already on the disk), else under a new
    // name and renamed to its place.
    const std::string journal = JournalPath(target);
    const std::vector<std::uint8_t> bytes = redo.Encode(id.device, id.inode, finalSize);
    FileId left;
    if (StatFile(journal, left) && left.size == 0) {
        if ((code = io.Open(journal)) != 0 ||
            (code = io.WriteAt(bytes.data(), bytes.size(), 0)) != 0 || (code = io.Sync()) != 0 ||
            (code = io.Close()) != 0) {
            io.Close();
            io.Remove(journal); // not whole: the table was not touched
            return false;
        }
    } else {
        const std::string temp = TemporaryPath(journal, "-");
        if ((code = io.Create(temp)) != 0 || (code = io.Write(bytes.data(), bytes.size())) != 0 ||
            (code = io.Sync()) != 0 || (code = io.Close()) != 0 ||
            (code = io.Rename(temp, journal)) != 0) {
            io.Close();
            io.Remove(temp);
            return false;
        }
    }
    // From here on the journal finishes the write if this one does not.
    if ((code = io.Open(target)) != 0 || (code = redo.Apply(io)) != 0 || (code = io.Close()) != 0) {
        io.Close();
        forceWhole_ = true;
        return false;
    }
    // Emptied, not removed, for the next write. Should that fail, replaying the journal writes
    // again what the table holds now.
    if (io.Open(journal) == 0) {
        io.Truncate(0);
        io.Close();
    }
    NoteInSync(target);
    return true;
}

bool TTzLLDataSet::WriteToDisk() {
    const EngineScope scope(Engine());
    if (dbfFileName_.empty()) return true;
    if (!SelectWorkArea("WriteToDisk")) return false;
    const std::int32_t current = dbf::RecNo();
    const bool atEof = dEOF();
    std::vector<std::uint8_t> saved = buffer_;

    TTzWriteIO plain;
    TTzWriteIO &io = io_ ? *io_ : plain;
    const std::string target = dbfFileName_;
    int code = 0;
    lastIncremental_ = false;
    bool ok = !forceWhole_ && WriteChanges(target, io, code);
    if (ok) {
        lastIncremental_ = true;
    } else if (code == 0) {
        const std::string temp = TemporaryPath(target, ".tmp-");
        ok = WriteFile(target, temp, io, code);
        if (ok) {
            forceWhole_ = false;
        } else {
            io.Close();
            io.Remove(temp);
        }
    }

    // Back onto the record the dataset shows, with any unposted field writes.
    std::int32_t count = RecCount();
    if (!atEof && current >= 1 && current <= count) {
        GO(current);
        buffer_ = saved;
    } else if (count > 0) {
        GoBottom();
        SKIP(1);
    }
    if (!ok) {
        int engineCode =
            code == ENOSPC || code == EIO || code == EDQUOT ? kErrDiskWrite : ErrnoToCode(code);
        if (engineCode == 0) engineCode = kErrDiskWrite;
        RaiseError(engineCode,
                   "Error writing " + target + ". (" + std::strerror(code) + ") [WriteToDisk]");
        return false;
    }
    changed_ = false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TTzVFile

void TTzVFile::SetAppendMode(LStatusType mode) {
    const EngineScope scope(Engine());
    appendMode_ = mode;
    if (!Active() || !SelectWorkArea("AppendMode")) return;
    const bool sorted = mode == LStatusType::ASCENDING || mode == LStatusType::DESCENDING;
    if (sorted) SetKeyMaker(keyMaker_ ? keyMaker_ : DefaultKey());
    dbf::SetAppendMode(mode);
    if (sorted) First();
}

void TTzVFile::SetKeyMakerAddress(KeyMaker keyMaker) {
    const EngineScope scope(Engine());
    keyMaker_ = std::move(keyMaker);
    if (Active() &&
        (appendMode_ == LStatusType::ASCENDING || appendMode_ == LStatusType::DESCENDING)) {
        if (!SelectWorkArea("KeyMakerAddress")) return;
        SetKeyMaker(keyMaker_ ? keyMaker_ : DefaultKey());
        First();
    }
}

} // namespace dbf
