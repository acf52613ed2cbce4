#include "sqliteexport.h"

#include "tablemap.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dbftool {

namespace {

// The temporary file being written, removed when a signal ends the program half-way.
char g_tempPath[4096];

extern "C" void RemoveTempAndExit(int sig) {
    if (g_tempPath[0]) ::unlink(g_tempPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

std::string Quoted(const std::string &name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string SqlType(const Column &c) {
    switch (c.kind) {
    case ValueKind::Text:
    case ValueKind::Date:
        return "TEXT";
    case ValueKind::Decimal:
        return "REAL";
    default:
        return "INTEGER";
    }
}

// The open temporary database; removed unless committed and renamed.
class TempDatabase {
public:
    TempDatabase(const std::string &output) : m_output(output) {
        std::string tmpl = output + ".XXXXXX";
        if (tmpl.size() >= sizeof g_tempPath) throw Failure{output + ": name too long"};
        std::strcpy(g_tempPath, tmpl.c_str());
        std::signal(SIGINT, RemoveTempAndExit);
        std::signal(SIGTERM, RemoveTempAndExit);
        std::signal(SIGHUP, RemoveTempAndExit);
        const int fd = ::mkstemp(g_tempPath);
        if (fd < 0) {
            g_tempPath[0] = 0;
            throw Failure{output + ": cannot be written (" + std::strerror(errno) + ")"};
        }
        ::close(fd);
        m_path = g_tempPath;
        if (sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail("cannot be opened");
        exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;");
    }
    ~TempDatabase() {
        if (m_db) sqlite3_close(m_db);
        if (!m_path.empty()) ::unlink(m_path.c_str());
        g_tempPath[0] = 0;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
    }

    sqlite3 *db() const { return m_db; }
    [[noreturn]] void fail(const std::string &what) const {
        throw Failure{m_output + ": " + what +
                      (m_db ? std::string(" (") + sqlite3_errmsg(m_db) + ")" : "")};
    }
    void exec(const std::string &sql) const {
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail("cannot be written");
    }
    // Closes the database, syncs it, gives it the usual permissions and renames it over the
    // output.
    void commit() {
        if (sqlite3_close(m_db) != SQLITE_OK) fail("cannot be closed");
        m_db = nullptr;
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            if (fd >= 0) ::close(fd);
            throw Failure{m_output + ": cannot be written (" + std::strerror(errno) + ")"};
        }
        ::close(fd);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(m_path.c_str(), 0666 & ~mask);
        if (::rename(m_path.c_str(), m_output.c_str()) != 0)
            throw Failure{m_output + ": cannot be written (" + std::strerror(errno) + ")"};
        m_path.clear();
    }

private:
    std::string m_output;
    std::string m_path;
    sqlite3 *m_db = nullptr;
};

void ExportTable(TempDatabase &db, const MappedTable &t, const std::string &name) {
    const auto &cols = t.columns();
    std::string create = "CREATE TABLE " + Quoted(name) +
                         " (\"_recno\" INTEGER PRIMARY KEY, \"_deleted\" INTEGER NOT NULL";
    std::string insert = "INSERT INTO " + Quoted(name) + " VALUES (?, ?";
    for (const Column &c : cols) {
        create += ", " + Quoted(c.name) + " " + SqlType(c);
        insert += ", ?";
    }
    db.exec(create + ")");
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db(), (insert + ")").c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        db.fail("cannot be written");
    struct Finalizer {
        sqlite3_stmt *s;
        ~Finalizer() { sqlite3_finalize(s); }
    } finalizer{stmt};

    const bool oem = t.table().convertOem;
    std::string text(t.maxFieldText(), '\0');
    for (std::int32_t n = 1; n <= t.count(); ++n) {
        const std::uint8_t *rec = t.record(n);
        sqlite3_bind_int(stmt, 1, n);
        sqlite3_bind_int(stmt, 2, rec[0] == '*' ? 1 : 0);
        int index = 3;
        for (const Column &c : cols) {
            const std::uint8_t *field = rec + c.offset;
            char *start = text.data();
            switch (c.kind) {
            case ValueKind::Text: {
                bool quote = false;
                char *end = PutText(start, field, c.width, oem, quote);
                sqlite3_bind_text(stmt, index, start, static_cast<int>(end - start),
                                  SQLITE_TRANSIENT);
                break;
            }
            case ValueKind::Integer:
                sqlite3_bind_int(stmt, index, dbf::ReadFieldInt32(field, c.width));
                break;
            case ValueKind::Decimal:
                sqlite3_bind_double(
                    stmt, index,
                    dbf::ParseNumber(std::string_view(reinterpret_cast<const char *>(field),
                                                      static_cast<std::size_t>(c.width))));
                break;
            case ValueKind::Date: {
                char *end = c.width >= 8 ? PutDate(start, field) : start;
                if (end == start)
                    sqlite3_bind_null(stmt, index);
                else
                    sqlite3_bind_text(stmt, index, start, 10, SQLITE_TRANSIENT);
                break;
            }
            case ValueKind::Logical:
                sqlite3_bind_int(stmt, index, PutLogical(field, c.width) == 'T' ? 1 : 0);
                break;
            }
            ++index;
        }
        if (sqlite3_step(stmt) != SQLITE_DONE) db.fail("cannot be written");
        sqlite3_reset(stmt);
    }
}

} // namespace

int ExportSqlite(const std::string &output, const std::vector<std::string> &tables, bool force,
                 std::ostream &err) {
    std::error_code ec;
    const auto status = std::filesystem::status(output, ec);
    if (std::filesystem::is_directory(status)) throw Failure{output + ": is a directory"};
    if (std::filesystem::exists(status) && !force)
        throw Failure{output + ": file exists (use --force to replace it)"};

    // Every table is opened (and so checked) before anything is written.
    std::vector<std::unique_ptr<MappedTable>> mapped;
    std::vector<std::string> names;
    for (const std::string &file : tables) {
        mapped.push_back(std::make_unique<MappedTable>(file));
        std::string name = std::filesystem::path(mapped.back()->table().fileName).stem().string();
        for (const std::string &other : names)
            if (sqlite3_stricmp(other.c_str(), name.c_str()) == 0)
                throw Failure{"two tables would be named \"" + name + "\""};
        names.push_back(std::move(name));
    }

    TempDatabase db(output);
    db.exec("BEGIN");
    std::int64_t rows = 0;
    for (std::size_t i = 0; i < mapped.size(); ++i) {
        ExportTable(db, *mapped[i], names[i]);
        rows += mapped[i]->count();
    }
    db.exec("COMMIT");
    db.commit();
    err << "vexmoor-dbf: " << mapped.size() << " table(s), " << rows << " record(s) exported to "
        << output << "\n";
    return 0;
}

} // namespace dbftool
