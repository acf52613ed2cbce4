// dBASE table files: opening, creating, reading and writing records, locks and closing (the
// field layout, date form, numbers and field buffer: dbffield.cpp).
#include "dbf/dbffile.h"

#include "dbf/codepage.h"
#include "dbf/dbferror.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace dbf {

namespace {

std::uint16_t Get16(const std::uint8_t *p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put16(std::uint8_t *p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Full read/write at an offset; returns bytes transferred or -1.
long long ReadAt(int fd, void *buf, std::size_t len, std::int64_t off) {
    std::size_t done = 0;
    while (done < len) {
        ssize_t r = ::pread(fd, static_cast<char *>(buf) + done, len - done,
                            static_cast<off_t>(off + static_cast<std::int64_t>(done)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(done);
}

long long WriteAt(int fd, const void *buf, std::size_t len, std::int64_t off) {
    std::size_t done = 0;
    while (done < len) {
        ssize_t r = ::pwrite(fd, static_cast<const char *>(buf) + done, len - done,
                             static_cast<off_t>(off + static_cast<std::int64_t>(done)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(done);
}

std::uint8_t &MemoVersion() {
    static std::uint8_t v = 0x8B;
    return v;
}

std::string NotDbase(const std::string &file, const std::string &reason, const char *tail) {
    return file + " is not a dBASE database." + " (" + reason + ")" + tail;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Files

void SetMemoVersionByte(std::uint8_t version) {
    MemoVersion() = version;
}
std::uint8_t MemoVersionByte() {
    return MemoVersion();
}

std::string AddDbfExtension(const std::string &fileName) {
    std::size_t slash = fileName.find_last_of("/\\");
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (fileName.find('.', base) != std::string::npos) return fileName;
    return fileName + ".DBF";
}

DbfTable::~DbfTable() {
    if (fd >= 0) ::close(fd);
}

std::int64_t DbfTable::FileSize() const {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::int32_t DbfTable::CountFromFileSize() const {
    std::int64_t size = FileSize();
    if (size <= headerLength || recordLength <= 0) return 0;
    std::int64_t n = (size - headerLength) / recordLength;
    return static_cast<std::int32_t>(std::min<std::int64_t>(n, 0x7FFFFFFF));
}

bool LockRegion(int fd, std::int64_t offset, std::int64_t length, bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool UnlockRegion(int fd, std::int64_t offset, std::int64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool WriteDbfHeaderPrefix(DbfTable &t) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    std::uint8_t prefix[8] = {};
    prefix[0] = t.version;
    if (t.oldLayout) {
        Put16(prefix + 1, static_cast<std::uint32_t>(t.recCount));
        prefix[3] = static_cast<std::uint8_t>(tm.tm_mon + 1);
        prefix[4] = static_cast<std::uint8_t>(tm.tm_mday);
        prefix[5] = static_cast<std::uint8_t>(tm.tm_year % 256);
        Put16(prefix + 6, static_cast<std::uint32_t>(t.recordLength));
    } else {
        prefix[1] = static_cast<std::uint8_t>(tm.tm_year % 256);
        prefix[2] = static_cast<std::uint8_t>(tm.tm_mon + 1);
        prefix[3] = static_cast<std::uint8_t>(tm.tm_mday);
        Put32(prefix + 4, static_cast<std::uint32_t>(t.recCount));
    }
    return WriteAt(t.fd, prefix, sizeof prefix, 0) == static_cast<long long>(sizeof prefix);
}

bool EmptyDbf(DbfTable &t) {
    const std::uint8_t eofMark = 0x1A;
    bool ok = ::ftruncate(t.fd, static_cast<off_t>(t.headerLength)) == 0 &&
              WriteAt(t.fd, &eofMark, 1, t.headerLength) == 1;
    t.recCount = 0;
    t.state = ChangeState::Grown;
    return ok && WriteDbfHeaderPrefix(t);
}

bool CloseDbf(std::unique_ptr<DbfTable> table) {
    if (!table) return true;
    bool ok = true;
    if (table->fd >= 0 && table->state != ChangeState::Unchanged) {
        ok = WriteDbfHeaderPrefix(*table);
        if (ok && table->state == ChangeState::Grown) {
            const std::uint8_t eof = 0x1A;
            const std::int64_t at =
                table->headerLength +
                static_cast<std::int64_t>(table->recCount) * table->recordLength;
            ok = WriteAt(table->fd, &eof, 1, at) == 1;
        }
        if (!ok) {
            const int err = errno;
            RaiseError(err == ENOSPC || err == 0 ? kErrDiskWrite : ErrnoToCode(err),
                       "File:  " + table->fileName + " [CloseDbf(" + table->fileName + ")]");
        }
    }
    if (table->fd >= 0 && ::close(table->fd) != 0 && ok) {
        ok = false;
        const std::string name = table->fileName;
        table->fd = -1;
        RaiseError(kErrDiskWrite, "File:  " + name + " [CloseDbf(" + name + ")]");
    }
    table->fd = -1;
    return ok;
}

bool CreateDbf(const std::string &fileName, const std::vector<FieldDef> &defs) {
    const std::string name = AddDbfExtension(fileName);
    const int nFields = static_cast<int>(defs.size());
    bool valid = nFields >= 1 && nFields <= 255;
    const int headerLength = 32 * nFields + 32;
    std::vector<std::uint8_t> header(static_cast<std::size_t>(std::max(headerLength, 32)) + 1, 0);
    int recordLength = 1;
    bool memo = false;
    for (int i = 0; valid && i < nFields; ++i) {
        const FieldDef &def = defs[static_cast<std::size_t>(i)];
        std::string_view fname = def.name;
        while (!fname.empty() && fname.back() == ' ')
            fname.remove_suffix(1);
        fname = fname.substr(0, 10);
        while (!fname.empty() && fname.front() == ' ')
            fname.remove_prefix(1);
        if (fname.empty()) {
            RaiseError(kErrInvalidParameter, "Empty field name [CreateDbf(" + name + ")]");
            valid = false;
            break;
        }
        const char type = Upper(def.type);
        int width = def.width;
        int dec = def.decimals;
        switch (type) {
        case 'C':
        case 'F':
        case 'N':
            if (width <= 0 || width > 254) valid = false;
            if (type != 'C' && (dec < 0 || dec > width)) valid = false;
            break;
        case 'D':
            width = 8;
            break;
        case 'L':
            width = 1;
            break;
        case 'M':
            width = 10;
            memo = true;
            break;
        default:
            valid = false;
            break;
        }
        if (type != 'N' && type != 'F') dec = 0;
        if (!valid) break;
        std::uint8_t *d = header.data() + 32 + 32 * i;
        for (std::size_t k = 0; k < fname.size(); ++k)
            d[k] = static_cast<std::uint8_t>(Upper(fname[k]));
        d[11] = static_cast<std::uint8_t>(type);
        d[16] = static_cast<std::uint8_t>(width);
        d[17] = static_cast<std::uint8_t>(dec);
        recordLength += width;
    }
    if (!valid) {
        RaiseError(kErrFieldType, "Invalid dBASE field definition [CreateDBF]");
        return false;
    }
    header[static_cast<std::size_t>(headerLength)] = 0x0D;
    Put16(header.data() + 8, static_cast<std::uint32_t>(headerLength + 1));
    Put16(header.data() + 10, static_cast<std::uint32_t>(recordLength));
    header[0] = memo ? MemoVersionByte() : 0x03;

    auto table = std::make_unique<DbfTable>();
    table->fileName = name;
    table->fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (table->fd < 0) {
        RaiseError(ErrnoToCode(errno), "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    if (WriteAt(table->fd, header.data(), header.size(), 0) < headerLength) {
        const int err = errno;
        table.reset();
        RaiseError(err == ENOSPC || err == 0 ? kErrDiskWrite : ErrnoToCode(err),
                   "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    table->version = header[0];
    table->headerLength = headerLength + 1;
    table->recordLength = recordLength;
    table->recCount = 0;
    table->exclusive = true;
    table->state = ChangeState::Grown;
    // No memo handler is plugged into this engine: a table with M fields gets no memo file.
    return CloseDbf(std::move(table));
}

std::unique_ptr<DbfTable> OpenDbf(const std::string &fileName, bool exclusive, bool convertOem) {
    const std::string name = AddDbfExtension(fileName);
    auto t = std::make_unique<DbfTable>();
    t->fileName = name;
    t->exclusive = exclusive;
    t->convertOem = convertOem;
    t->fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (t->fd < 0) {
        RaiseError(ErrnoToCode(errno), "Failure to open " + name + " [USE/OpenDbf]");
        return nullptr;
    }
    // Sharing: every open holds the lock-base byte, shared for a shared open and exclusively
    // for an exclusive one, so the two kinds of open exclude each other across processes.
    if (!LockRegion(t->fd, kLockBase, 1, exclusive)) {
        t.reset();
        RaiseError(kErrSharingViolation, "Failure to open " + name + " [USE/OpenDbf]");
        return nullptr;
    }
    std::uint8_t head[32];
    if (ReadAt(t->fd, head, sizeof head, 0) < 32) {
        t.reset();
        RaiseError(kErrNotDbase, NotDbase(name, "Prolog is less than 32 bytes", " [USE/OpenDBF]"));
        return nullptr;
    }
    const int low = head[0] & 7;
    if (low != 2 && low != 3 && low != 5) {
        t.reset();
        RaiseError(kErrNotDbase, name + " is not a dBASE database." + "(" + "Invalid version byte" +
                                     ")+ [USE/OpenDBF]");
        return nullptr;
    }
    t->version = head[0];
    t->hasMemo = (head[0] & 0x80) != 0;
    const std::int64_t fileSize = t->FileSize();
    auto refuse = [&](int code, const std::string &text) {
        t.reset();
        RaiseError(code, text);
        return nullptr;
    };

    std::vector<FieldDesc> fields;
    if (low == 2) {
        t->oldLayout = true;
        if (fileSize < 521)
            return refuse(kErrNotDbase, name + " is not a dBASE database." + "(" +
                                            "Header is less than 521 bytes" + ") [Use/OpenDBF]");
        std::uint8_t old[521];
        if (ReadAt(t->fd, old, sizeof old, 0) < 521)
            return refuse(kErrDiskRead, "Error reading " + name + " [Use/OpenDbf]");
        t->recCount = Get16(old + 1);
        t->recordLength = Get16(old + 6);
        t->headerLength = 521;
        bool terminated = false;
        for (int i = 0; i < 32; ++i) {
            const std::uint8_t *d = old + 8 + 16 * i;
            if (d[0] == 0x0D) {
                terminated = true;
                break;
            }
            FieldDesc f;
            f.name.assign(reinterpret_cast<const char *>(d),
                          strnlen(reinterpret_cast<const char *>(d), 11));
            f.type = static_cast<char>(d[11]);
            f.width = d[12];
            f.decimals = d[15];
            fields.push_back(std::move(f));
        }
        if (!terminated || fields.empty())
            return refuse(kErrNotDbase, name + " is not a dBASE database." + "(" +
                                            "Number of fields is out of range" + ") [Use/OpenDbf]");
    } else {
        t->headerLength = Get16(head + 8);
        t->recordLength = Get16(head + 10);
        const std::uint32_t count = Get32(head + 4);
        const int descBytes = t->headerLength - 32;
        if (descBytes < 32 || descBytes > 8191)
            return refuse(kErrNotDbase,
                          NotDbase(name, "Number of fields is out of range", " [Use/OpenDbf]"));
        if (count > 0x7FFFFFFFu)
            return refuse(kErrNotDbase,
                          NotDbase(name, "Record count is out of range", " [USE/OpenDBF]"));
        t->recCount = static_cast<std::int32_t>(count);
        std::vector<std::uint8_t> desc(static_cast<std::size_t>(descBytes));
        if (ReadAt(t->fd, desc.data(), desc.size(), 32) < descBytes)
            return refuse(kErrDiskRead, "Error reading " + name + " [Use/OpenDbf]");
        const int n = descBytes / 32;
        for (int i = 0; i < n; ++i) {
            const std::uint8_t *d = desc.data() + 32 * i;
            if (d[0] == 0x0D) break; // header padding after the terminator
            FieldDesc f;
            f.name.assign(reinterpret_cast<const char *>(d),
                          strnlen(reinterpret_cast<const char *>(d), 11));
            f.type = static_cast<char>(d[11]);
            f.width = d[16];
            f.decimals = d[17];
            fields.push_back(std::move(f));
        }
        if (fields.empty())
            return refuse(kErrNotDbase,
                          NotDbase(name, "Number of fields is out of range", " [Use/OpenDbf]"));
    }
    for (FieldDesc &f : fields) {
        f.name = Upper(f.name);
        if (f.type == 'B' || f.type == 'G' || f.type == 'b' || f.type == 'g') f.type = 'M';
        if (!IsFieldType(f.type))
            return refuse(kErrFieldType, "Field: " + f.name + " [" + std::string(1, f.type) +
                                             "] in " + name + " is not a valid field type");
        if (f.width == 0)
            return refuse(kErrNotDbase,
                          NotDbase(name, "Field " + f.name + " has width 0", " [USE/OpenDBF]"));
        if (f.type != 'N' && f.type != 'F') f.decimals = 0;
    }
    int sumLength = 0;
    t->bufferSize = LayoutFields(fields, &sumLength);
    if (t->recordLength != sumLength)
        return refuse(kErrNotDbase,
                      NotDbase(name, "Record length does not match the fields", " [USE/OpenDBF]"));
    const std::int64_t needed =
        t->headerLength + static_cast<std::int64_t>(t->recCount) * t->recordLength;
    if (fileSize < needed)
        return refuse(kErrNotDbase,
                      NotDbase(name, "File is shorter than its record count", " [USE/OpenDBF]"));
    t->fields = std::move(fields);
    return t;
}

bool GetDbfRecord(DbfTable &t, std::int32_t n, std::uint8_t *raw) {
    if (n < 1 || n > t.recCount) {
        RaiseError(kErrRange, "Invalid record number = " + std::to_string(n) + " (" + t.fileName +
                                  ")  [GetDbfRecord]");
        return false;
    }
    const std::int64_t at = t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength;
    const long long got = ReadAt(t.fd, raw, static_cast<std::size_t>(t.recordLength), at);
    if (got != t.recordLength) {
        RaiseError(got < 0 ? kErrDiskRead : kErrUnexpectedEof,
                   "File:  " + t.fileName + "  [GetDbfRecord]");
        return false;
    }
    if (t.convertOem) OemToAnsi(raw + 1, static_cast<std::size_t>(t.recordLength - 1));
    return true;
}

bool GetDbfFieldText(DbfTable &t, std::int32_t n, const FieldDesc &f, std::string &out) {
    if (n < 1 || n > t.recCount) {
        RaiseError(kErrRange, "Invalid record number = " + std::to_string(n) + " (" + t.fileName +
                                  ")  [GetDbfRecord]");
        return false;
    }
    out.resize(static_cast<std::size_t>(f.width));
    const std::int64_t at =
        t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength + f.offset;
    const long long got = ReadAt(t.fd, out.data(), out.size(), at);
    if (got != f.width) {
        RaiseError(got < 0 ? kErrDiskRead : kErrUnexpectedEof,
                   "File:  " + t.fileName + "  [GetDbfRecord]");
        return false;
    }
    if (t.convertOem) OemToAnsi(reinterpret_cast<std::uint8_t *>(out.data()), out.size());
    return true;
}

bool PutDbfRecord(DbfTable &t, std::int32_t n, std::uint8_t *raw) {
    const std::string where = "File:  " + t.fileName + " [Replace/Append/PutDbfRecord]";
    const bool append = n > t.recCount;
    if (n < 1 || (append && (t.recCount == 0x7FFFFFFF || (t.oldLayout && t.recCount >= 0xFFFF)))) {
        RaiseError(kErrRange, where);
        return false;
    }
    if (append) n = t.recCount + 1;
    std::vector<std::uint8_t> out(raw, raw + t.recordLength);
    if (t.convertOem) AnsiToOem(out.data() + 1, out.size() - 1);
    const std::int64_t at = t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength;
    if (WriteAt(t.fd, out.data(), out.size(), at) != t.recordLength) {
        const int err = errno;
        RaiseError(err == ENOSPC || err == 0 ? kErrDiskWrite : ErrnoToCode(err), where);
        return false;
    }
    if (append) {
        t.recCount = n;
        t.state = ChangeState::Grown;
    } else if (t.state == ChangeState::Unchanged) {
        t.state = ChangeState::Changed;
    }
    return true;
}

bool PutDbfDeleteFlag(DbfTable &t, std::int32_t n, bool deleted) {
    const std::string where = "File:  " + t.fileName + " [DeleteRec/RecallRec]";
    if (n < 1 || n > t.recCount) {
        RaiseError(kErrRange, where);
        return false;
    }
    const std::uint8_t flag = deleted ? '*' : ' ';
    const std::int64_t at = t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength;
    if (WriteAt(t.fd, &flag, 1, at) != 1) {
        RaiseError(errno == ENOSPC || errno == 0 ? kErrDiskWrite : ErrnoToCode(errno), where);
        return false;
    }
    if (t.state == ChangeState::Unchanged) t.state = ChangeState::Changed;
    return true;
}

} // namespace dbf
