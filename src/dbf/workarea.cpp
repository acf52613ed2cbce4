#include "dbf/workarea.h"

#include "dbf/codepage.h"
#include "dbf/engine.h"
#include "dbf/memstore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <numeric>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace dbf {

namespace {

struct LocateState {
    bool active = false;
    int field = 0; // 1-based
    std::string search;
    bool nocase = false;
    bool exact = false;
    bool contained = false;
};

struct WorkArea {
    bool open = false;
    std::string tableName;
    std::string alias;
    bool inMemory = false;
    bool exclusive = true;
    std::unique_ptr<DbfTable> disk;
    std::vector<FieldDesc> fields;
    int bufSize = 0;
    std::int32_t current = 0;
    bool eof = true;
    bool bof = true;
    std::vector<std::uint8_t> raw;
    std::uint8_t *buffer = nullptr;
    std::vector<std::uint8_t> ownBuffer;
    LockState lock = LockState::None;
    std::vector<std::int32_t> lockedRecs;
    AfterMoveNotifier notifier;
    AppendMode mode = AppendMode::FIFO;
    KeyMaker keyMaker;
    MemStore store;
    ChangeState memState = ChangeState::Unchanged;
    LocateState locate;
};

TableEngine *currentEngine = nullptr; // nullptr: the default engine

} // namespace

struct TableEngine::Areas {
    std::array<WorkArea, kWorkAreaCount + 1> areas; // index 0 unused
    int current = 1;
    bool hideDeleted = false;
    TableLanguage language = TableLanguage::Oem;
};

TableEngine::TableEngine() : areas_(std::make_unique<Areas>()) {
    next_ = Registry();
    Registry() = this;
}

TableEngine::~TableEngine() {
    for (TableEngine **link = &Registry(); *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
    if (currentEngine == this) currentEngine = nullptr;
}

TableEngine *&TableEngine::Registry() {
    static TableEngine *first = nullptr;
    return first;
}

TableEngine &DefaultEngine() {
    static TableEngine engine;
    return engine;
}

TableEngine &CurrentEngine() {
    return currentEngine ? *currentEngine : DefaultEngine();
}

EngineScope::EngineScope(TableEngine &engine) : previous_(currentEngine) {
    currentEngine = &engine;
}

EngineScope::~EngineScope() {
    currentEngine = previous_;
}

namespace {

TableEngine::Areas &E() {
    return CurrentEngine().areas();
}

WorkArea &Cur() {
    return E().areas[static_cast<std::size_t>(E().current)];
}

const std::vector<FieldDesc> &NoFields() {
    static const std::vector<FieldDesc> none;
    return none;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) < 33)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) < 33)
        s.remove_suffix(1);
    return s;
}

std::string DbName(const WorkArea &wa) {
    return "Database \"" + wa.tableName + "\"";
}

// The open work area for a command, or nullptr after reporting error 215.
WorkArea *Need(const char *op) {
    WorkArea &wa = Cur();
    if (wa.open) return &wa;
    RaiseError(kErrNoDatabase, std::string("No database in use [") + op +
                                   "]  WorkArea = " + std::to_string(E().current));
    return nullptr;
}

WorkArea *NeedField(const char *op, int n) {
    WorkArea *wa = Need(op);
    if (!wa) return nullptr;
    if (n < 1 || n > static_cast<int>(wa->fields.size())) {
        RaiseError(kErrInvalidParameter,
                   std::string("Invalid field number. [") + op + "(" + std::to_string(n) + ")]");
        return nullptr;
    }
    return wa;
}

bool SharedDisk(const WorkArea &wa) {
    return !wa.inMemory && !wa.exclusive;
}

std::int32_t Count(WorkArea &wa, bool recompute = false) {
    if (wa.inMemory) return wa.store.Count();
    if (recompute && SharedDisk(wa)) wa.disk->recCount = wa.disk->CountFromFileSize();
    return wa.disk->recCount;
}

void Moved(WorkArea &wa) {
    if (wa.notifier) wa.notifier();
}

void ClearBuffer(WorkArea &wa) {
    if (wa.inMemory) {
        if (wa.fields.empty())
            std::memset(wa.buffer, 0, static_cast<std::size_t>(wa.bufSize));
        else
            ClearFieldBuffer(wa.fields, wa.buffer, wa.bufSize);
        return;
    }
    std::memset(wa.raw.data(), ' ', wa.raw.size());
    RecordToBuffer(wa.fields, wa.raw.data(), wa.buffer);
}

bool Load(WorkArea &wa, std::int32_t n) {
    if (wa.inMemory) {
        std::memcpy(wa.buffer, wa.store.Record(n), static_cast<std::size_t>(wa.bufSize));
        return true;
    }
    if (!GetDbfRecord(*wa.disk, n, wa.raw.data())) return false;
    RecordToBuffer(wa.fields, wa.raw.data(), wa.buffer);
    return true;
}

bool DeletedFlag(WorkArea &wa, std::int32_t n) {
    if (wa.inMemory) return wa.store.Record(n)[0] != 0;
    return wa.buffer[0] != 0; // disk: the record was just loaded
}

bool Visible(WorkArea &wa, std::int32_t n) {
    return !(E().hideDeleted && DeletedFlag(wa, n));
}

void AtEof(WorkArea &wa, std::int32_t count, bool bothFlags) {
    ClearBuffer(wa);
    wa.current = count + 1;
    wa.eof = true;
    if (bothFlags) wa.bof = true;
}

void ReleaseLocks(WorkArea &wa) {
    if (SharedDisk(wa) && wa.disk && wa.disk->fd >= 0) {
        bool ok = true;
        if (wa.lock == LockState::File)
            ok = UnlockRegion(wa.disk->fd, kFileLockOffset, kFileLockLength);
        else if (wa.lock == LockState::Append)
            ok = UnlockRegion(wa.disk->fd, kAppendLockOffset, 1);
        else if (wa.lock == LockState::Records)
            for (std::int32_t n : wa.lockedRecs)
                ok = UnlockRegion(wa.disk->fd, RecordLockOffset(n), 1) && ok;
        wa.lock = LockState::None;
        wa.lockedRecs.clear();
        if (!ok)
            RaiseError(kErrFileNotLocked, "Error attempting to UNLOCK file " + wa.tableName +
                                              " in Workarea " + std::to_string(E().current));
        return;
    }
    wa.lock = LockState::None;
    wa.lockedRecs.clear();
}

// Empties a work area; a disk table gets its header update.
void CloseArea(int n) {
    WorkArea &wa = E().areas[static_cast<std::size_t>(n)];
    if (!wa.open) return;
    std::unique_ptr<DbfTable> disk = std::move(wa.disk);
    wa = WorkArea{};
    if (disk) CloseDbf(std::move(disk)); // the file's locks go with it
}

bool AliasInUse(const std::string &alias) {
    for (int i = 1; i <= kWorkAreaCount; ++i) {
        const WorkArea &wa = E().areas[static_cast<std::size_t>(i)];
        if (wa.open && wa.alias == alias) return true;
    }
    return false;
}

// Finds " WORD" (whole word) in upper; returns its position or npos.
std::size_t FindWord(const std::string &upper, std::string_view word) {
    std::size_t pos = 0;
    while ((pos = upper.find(word, pos)) != std::string::npos) {
        const std::size_t end = pos + word.size();
        const bool startOk = pos == 0 || upper[pos - 1] == ' ';
        const bool endOk = end == upper.size() || upper[end] == ' ';
        if (startOk && endOk) return pos;
        ++pos;
    }
    return std::string::npos;
}

bool UseMemory(WorkArea &wa, const std::string &command, void *buffer, std::size_t size) {
    if (!buffer || size == 0) {
        RaiseError(kErrInvalidParameter,
                   "NIL buffer pointer [USE(" + command + ",Nil," + std::to_string(size) + ")]");
        return false;
    }
    if (size > 0x7FFFFFFF) {
        RaiseError(kErrInvalidSize, "Invalid buffer size [USE(" + command + ")]");
        return false;
    }
    std::string upper = Upper(command);
    for (std::string_view kw :
         {std::string_view("LINKED LIST"), std::string_view("VIRTUAL FILE")}) {
        std::size_t pos;
        while ((pos = FindWord(upper, kw)) != std::string::npos)
            upper.erase(pos, kw.size());
    }
    std::string name(Trim(upper));
    name = name.substr(0, name.find(' '));
    std::string alias;
    const std::size_t ap = upper.find(" ALIAS ");
    if (ap != std::string::npos) {
        alias = std::string(Trim(upper.substr(ap + 7)));
        alias = alias.substr(0, alias.find(' '));
        upper.erase(ap);
    } else {
        alias = name;
    }
    alias = alias.substr(0, 64);
    if (AliasInUse(alias)) {
        RaiseError(kErrInvalidParameter, "Alias name \"" + alias + "\" already in use. [USE]");
        return false;
    }
    AppendMode mode = AppendMode::FIFO;
    if (FindWord(upper, "LIFO") != std::string::npos) mode = AppendMode::LIFO;
    if (FindWord(upper, "INSERTION") != std::string::npos) mode = AppendMode::INSERTION;
    if (FindWord(upper, "ASCENDING") != std::string::npos) mode = AppendMode::ASCENDING;
    if (FindWord(upper, "DESCENDING") != std::string::npos) mode = AppendMode::DESCENDING;
    // Storage places other than the heap (TO EMS, TO XMS ...) do not exist here.
    wa.open = true;
    wa.inMemory = true;
    wa.exclusive = true;
    wa.tableName = name;
    wa.alias = alias;
    wa.mode = mode;
    wa.bufSize = static_cast<int>(size);
    wa.buffer = static_cast<std::uint8_t *>(buffer);
    wa.store.Reset(size);
    wa.current = 0;
    wa.eof = wa.bof = true;
    return true;
}

bool UseDisk(WorkArea &wa, const std::string &command, void *buffer, std::size_t size) {
    if ((buffer == nullptr) != (size == 0)) {
        RaiseError(kErrInvalidParameter,
                   "Buffer is NIL or size is zero, attempting to open " + command + " [USE]");
        return false;
    }
    std::string cmd = command;
    std::string upper = Upper(cmd);
    bool exclusive = false;
    const std::size_t ex = FindWord(upper, "EXCLUSIVE");
    if (ex != std::string::npos && ex > 0) {
        exclusive = true;
        cmd.erase(ex - 1, 10);
        upper.erase(ex - 1, 10);
    }
    std::string file;
    std::string alias;
    const std::size_t ap = upper.find(" ALIAS ");
    if (ap != std::string::npos) {
        file = std::string(Trim(cmd.substr(0, ap)));
        alias = std::string(Trim(upper.substr(ap + 7)));
    } else {
        file = std::string(Trim(cmd));
    }
    // The file name keeps its letter case: file systems here are case-sensitive.
    file = AddDbfExtension(file);
    if (alias.empty()) {
        std::string base = file.substr(
            file.find_last_of("/\\") == std::string::npos ? 0 : file.find_last_of("/\\") + 1);
        base = base.substr(0, base.rfind('.'));
        alias = Upper(base);
    }
    alias = alias.substr(0, 64);
    std::unique_ptr<DbfTable> table = OpenDbf(file, exclusive, E().language == TableLanguage::Oem);
    if (!table) return false;
    if (buffer && size != static_cast<std::size_t>(table->bufferSize)) {
        const int tableSize = table->bufferSize;
        table.reset();
        RaiseError(kErrInvalidSize, "Database record/buffer size mismatch: " + command +
                                        " [USE()]" + "\n\r" +
                                        "Record Size=" + std::to_string(tableSize) +
                                        ", Buffer Size=" + std::to_string(size));
        return false;
    }
    if (AliasInUse(alias)) {
        table.reset();
        RaiseError(kErrInvalidParameter, "Alias name \"" + alias + "\" already in use. [USE]");
        return false;
    }
    wa.open = true;
    wa.inMemory = false;
    wa.exclusive = exclusive;
    wa.tableName = table->fileName;
    wa.alias = alias;
    wa.fields = table->fields;
    wa.bufSize = table->bufferSize;
    wa.raw.assign(static_cast<std::size_t>(table->recordLength), ' ');
    if (buffer) {
        wa.buffer = static_cast<std::uint8_t *>(buffer);
    } else {
        wa.ownBuffer.assign(static_cast<std::size_t>(wa.bufSize), 0);
        wa.buffer = wa.ownBuffer.data();
    }
    wa.disk = std::move(table);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Locate

struct Matcher {
    LocateState s;
    FieldDesc f;
    bool fastInt = false;
    std::int32_t intTarget = 0;
    bool fastDouble = false;
    double dblTarget = 0;
    double dblSlack = 0;

    bool MatchText(std::string_view text) const {
        const std::string_view search = s.search;
        if (s.contained) {
            if (!s.nocase) return text.find(search) != std::string_view::npos;
            auto it = std::search(
                text.begin(), text.end(), search.begin(), search.end(), [](char a, char b) {
                    return AnsiUpper(static_cast<std::uint8_t>(a)) == static_cast<std::uint8_t>(b);
                });
            return it != text.end() || search.empty();
        }
        if (!s.exact && text.size() > search.size()) text = text.substr(0, search.size());
        if (text.size() != search.size()) return false;
        if (!s.nocase) return text == search;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (AnsiUpper(static_cast<std::uint8_t>(text[i])) !=
                static_cast<std::uint8_t>(search[i]))
                return false;
        return true;
    }

    // In-memory record (field buffer copy).
    bool MatchBuffer(const std::uint8_t *buf) const {
        const std::uint8_t *p = buf + f.bufOffset;
        switch (f.type) {
        case 'C': {
            const std::size_t len = std::min<std::size_t>(p[0], static_cast<std::size_t>(f.width));
            return MatchText(std::string_view(reinterpret_cast<const char *>(p + 1), len));
        }
        case 'D':
            return MatchText(DateFormToStored(FieldText(f, buf)));
        default:
            break;
        }
        if (fastInt) {
            std::int32_t v;
            std::memcpy(&v, p, sizeof v);
            return v == intTarget;
        }
        if (fastDouble) {
            double v;
            std::memcpy(&v, p, sizeof v);
            if (!(std::fabs(v - dblTarget) <= dblSlack)) return false;
        }
        return MatchText(FieldText(f, buf));
    }
};

std::string ValueToSearchText(const FieldDesc &f, const LocateValue &value) {
    auto asNumber = [&]() -> double {
        if (auto s = std::get_if<std::string>(&value)) return ParseNumber(*s);
        if (auto d = std::get_if<double>(&value)) return *d;
        if (auto i = std::get_if<std::int32_t>(&value)) return *i;
        return std::get<bool>(value) ? 1 : 0;
    };
    switch (f.type) {
    case 'C':
    case 'M':
        if (auto s = std::get_if<std::string>(&value)) return *s;
        if (f.type == 'M') return FormatNumber(asNumber(), f.width, 0);
        if (auto b = std::get_if<bool>(&value)) return *b ? "T" : "F";
        {
            char text[64];
            std::snprintf(text, sizeof text, "%.15g", asNumber());
            return text;
        }
    case 'L':
        if (auto s = std::get_if<std::string>(&value)) {
            const char c = s->empty() ? ' ' : s->front();
            return (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? "T" : "F";
        }
        return asNumber() != 0 ? "T" : "F";
    case 'D':
        if (auto s = std::get_if<std::string>(&value)) return DateFormToStored(*s);
        return std::string(8, ' ');
    default:
        return FormatNumber(asNumber(), f.width, f.decimals);
    }
}

// Parses "<field> [NOCASE] [EXACT] [CONTAINED]"; 0 after reporting an error.
int ParseLocateSpec(WorkArea &wa, std::string_view spec, LocateState &st) {
    std::string s(Trim(Upper(spec)));
    st = LocateState{};
    for (bool more = true; more;) {
        more = false;
        for (auto [word, flag] : {std::pair<std::string_view, bool *>{" NOCASE", &st.nocase},
                                  {" EXACT", &st.exact},
                                  {" CONTAINED", &st.contained}}) {
            if (s.size() >= word.size() &&
                s.compare(s.size() - word.size(), word.size(), word) == 0) {
                *flag = true;
                s.erase(s.size() - word.size());
                s = std::string(Trim(s));
                more = true;
            }
        }
    }
    if (s.empty()) {
        RaiseError(kErrInvalidParameter, "No field name specified [Locate/Count/Sum]");
        return 0;
    }
    const int n = FieldNo(s);
    if (n == 0) {
        RaiseError(kErrInvalidParameter, "Unrecognized field name [Locate/Count/Sum(" + s + ")]");
        return 0;
    }
    (void)wa;
    return n;
}

Matcher MakeMatcher(WorkArea &wa) {
    Matcher m;
    m.s = wa.locate;
    m.f = wa.fields[static_cast<std::size_t>(wa.locate.field - 1)];
    const bool numeric = m.f.type == 'N' || m.f.type == 'F' || m.f.type == 'M';
    if (wa.inMemory && numeric && !m.s.contained && m.s.search.find('*') == std::string::npos) {
        const bool holdsDouble = (m.f.type == 'N' || m.f.type == 'F') && m.f.decimals > 0;
        if (!holdsDouble && m.s.search.size() == static_cast<std::size_t>(m.f.width)) {
            m.fastInt = true;
            m.intTarget = ParseInt32(m.s.search);
        } else if (holdsDouble) {
            m.fastDouble = true;
            m.dblTarget = ParseNumber(m.s.search);
            m.dblSlack = 2 * std::pow(10.0, -m.f.decimals) + std::fabs(m.dblTarget) * 1e-9;
        }
    }
    return m;
}

// Scans from record `from`; positions on the match or at EOF.
bool Scan(WorkArea &wa, std::int32_t from) {
    const std::int32_t count = Count(wa);
    const Matcher m = MakeMatcher(wa);
    std::int32_t found = 0;
    if (wa.inMemory) {
        const bool hide = E().hideDeleted;
        for (std::int32_t n = std::max(from, 1); n <= count; ++n) {
            const std::uint8_t *rec = wa.store.Record(n);
            if (hide && rec[0]) continue;
            if (m.MatchBuffer(rec)) {
                found = n;
                break;
            }
        }
    } else {
        std::string text;
        for (std::int32_t n = std::max(from, 1); n <= count; ++n) {
            if (E().hideDeleted) {
                FieldDesc flag;
                flag.width = 1;
                flag.offset = 0;
                std::string f;
                if (!GetDbfFieldText(*wa.disk, n, flag, f)) return false;
                if (f[0] == '*') continue;
            }
            if (!GetDbfFieldText(*wa.disk, n, m.f, text)) return false;
            if (m.MatchText(text)) {
                found = n;
                break;
            }
        }
    }
    if (found) {
        GO(found);
        return LastErrorCode() == 0;
    }
    GoBottom();
    if (Count(wa) > 0 && !wa.eof) SKIP(1);
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Settings

void SetHideDeleted(bool on) {
    E().hideDeleted = on;
}
bool HideDeleted() {
    return E().hideDeleted;
}
void SetTableLanguage(TableLanguage lang) {
    E().language = lang;
}
TableLanguage CurrentTableLanguage() {
    return E().language;
}

// ---------------------------------------------------------------------------------------------
// Work areas

bool Select(int workArea) {
    ClearError();
    if (workArea == 0) {
        for (int i = 1; i <= kWorkAreaCount; ++i) {
            if (!E().areas[static_cast<std::size_t>(i)].open) {
                E().current = i;
                return true;
            }
        }
        RaiseError(kErrInvalidParameter, "No free workarea available [Select(0)]");
        return false;
    }
    if (workArea < 0 || workArea > kWorkAreaCount) {
        RaiseError(kErrInvalidParameter,
                   "Invalid workarea selected = [Select(" + std::to_string(workArea) + ")]");
        return false;
    }
    E().current = workArea;
    return true;
}

int CurrentWorkArea() {
    return E().current;
}

bool WorkAreaInUse(int workArea) {
    return workArea >= 1 && workArea <= kWorkAreaCount &&
           E().areas[static_cast<std::size_t>(workArea)].open;
}

bool USE(const std::string &command, void *buffer, std::size_t size) {
    ClearError();
    CloseArea(E().current);
    if (LastErrorCode() != 0) return false;
    const std::string cmd(Trim(command));
    if (cmd.empty()) return true;
    WorkArea &wa = Cur();
    const std::string upper = Upper(cmd);
    bool ok;
    if (upper.find("LINKED LIST") != std::string::npos ||
        upper.find("VIRTUAL FILE") != std::string::npos)
        ok = UseMemory(wa, cmd, buffer, size);
    else
        ok = UseDisk(wa, cmd, buffer, size);
    if (!ok) {
        CloseArea(E().current);
        return false;
    }
    if (Count(wa) == 0) {
        ClearBuffer(wa);
        wa.current = 0;
        wa.eof = wa.bof = true;
    } else {
        GoTop();
    }
    return LastErrorCode() == 0;
}

void CloseAll() {
    std::exception_ptr first;
    for (int i = 1; i <= kWorkAreaCount; ++i) {
        try {
            CloseArea(i);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    E().current = 1;
    if (first) std::rethrow_exception(first);
}

bool AddStru(const std::vector<FieldDef> &defs) {
    ClearError();
    WorkArea *wa = Need("AddStru");
    if (!wa) return false;
    if (!wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on a disk table. [AddStru]");
        return false;
    }
    if (wa->store.Count() > 0) {
        RaiseError(kErrInvalidOperation, "Table " + wa->alias + " already holds records [AddStru]");
        return false;
    }
    std::vector<FieldDesc> fields = wa->fields;
    for (const FieldDef &d : defs) {
        std::string name(Trim(d.name));
        name = Upper(name.substr(0, 10));
        FieldDesc f;
        f.name = name;
        f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(d.type)));
        f.width = d.width;
        f.decimals = d.decimals;
        switch (f.type) {
        case 'C':
        case 'F':
        case 'N':
            if (f.width <= 0 || f.width > 254 || name.empty()) {
                RaiseError(kErrFieldType,
                           "Invalid width " + std::to_string(d.width) + " of field \"" + name +
                               "\" in VFile field list. Alias= " + wa->alias + " [AddStru]");
                return false;
            }
            break;
        case 'D':
            f.width = 8;
            break;
        case 'L':
            f.width = 1;
            break;
        case 'M':
            f.type = 'N';
            f.width = 10;
            f.decimals = 0;
            break;
        default:
            RaiseError(kErrFieldType, "Invalid type \"" + std::string(1, d.type) +
                                          "\" in VFile field list. Alias= " + wa->alias +
                                          " [AddStru]");
            return false;
        }
        if (f.type != 'N' && f.type != 'F') f.decimals = 0;
        f.decimals = std::clamp(f.decimals, 0, std::max(0, f.width - 1));
        fields.push_back(std::move(f));
    }
    const int needed = LayoutFields(fields);
    if (needed > wa->bufSize) {
        RaiseError(kErrInvalidSize, "Field list needs " + std::to_string(needed) +
                                        " bytes, record buffer of " + wa->alias + " has " +
                                        std::to_string(wa->bufSize) + " [AddStru]");
        return false;
    }
    for (FieldDesc &f : fields)
        f.offset = f.bufOffset;
    wa->fields = std::move(fields);
    ClearBuffer(*wa);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Movement

void GoTop() {
    ClearError();
    WorkArea *wa = Need("GoTop");
    if (!wa) return;
    const std::int32_t count = Count(*wa);
    if (count == 0) return;
    for (std::int32_t n = 1; n <= count; ++n) {
        if (!Load(*wa, n)) return;
        if (Visible(*wa, n)) {
            wa->current = n;
            wa->eof = wa->bof = false;
            Moved(*wa);
            return;
        }
    }
    AtEof(*wa, count, true);
    Moved(*wa);
}

void GoBottom() {
    ClearError();
    WorkArea *wa = Need("GoBottom");
    if (!wa) return;
    const std::int32_t count = Count(*wa, true);
    if (count == 0) return;
    for (std::int32_t n = count; n >= 1; --n) {
        if (!Load(*wa, n)) return;
        if (Visible(*wa, n)) {
            wa->current = n;
            wa->eof = wa->bof = false;
            Moved(*wa);
            return;
        }
    }
    AtEof(*wa, count, true);
    Moved(*wa);
}

void SKIP(std::int32_t n) {
    ClearError();
    WorkArea *wa = Need("SKIP");
    if (!wa) return;
    if (n > 0 && wa->eof) {
        RaiseError(kErrRange, DbName(*wa) + " is past EOF." + " [SKIP]");
        return;
    }
    const std::int32_t count = Count(*wa);
    if (count == 0) {
        wa->eof = wa->bof = true;
        RaiseError(kErrRange, DbName(*wa) + " is empty." + " [SKIP]");
        return;
    }
    if (n == 0) {
        if (wa->current >= 1 && wa->current <= count)
            Load(*wa, wa->current);
        else
            ClearBuffer(*wa);
        return;
    }
    wa->eof = wa->bof = false;
    const int dir = n > 0 ? 1 : -1;
    std::int64_t remaining = n > 0 ? std::int64_t{n} : -std::int64_t{n};
    std::int32_t pos = std::min(wa->current, count + 1);
    while (remaining > 0) {
        pos += dir;
        if (pos > count) {
            AtEof(*wa, count, false);
            Moved(*wa);
            return;
        }
        if (pos < 1) {
            // Before the first record: stay on the first visible one.
            for (std::int32_t k = 1; k <= count; ++k) {
                if (!Load(*wa, k)) return;
                if (Visible(*wa, k)) {
                    wa->current = k;
                    wa->bof = true;
                    Moved(*wa);
                    return;
                }
            }
            AtEof(*wa, count, true);
            Moved(*wa);
            return;
        }
        if (!Load(*wa, pos)) return;
        if (Visible(*wa, pos)) --remaining;
    }
    wa->current = pos;
    Moved(*wa);
}

void GO(std::int32_t n) {
    ClearError();
    WorkArea *wa = Need("GO");
    if (!wa) return;
    std::int32_t count = Count(*wa);
    if (n > count) count = Count(*wa, true);
    const std::string text =
        "Invalid record number = " + std::to_string(n) + " " + DbName(*wa) + " [GO]";
    if (count == 0) {
        wa->eof = wa->bof = true;
        ClearBuffer(*wa);
        RaiseError(kErrRange, text);
        return;
    }
    if (n >= 1 && n <= count) {
        if (!Load(*wa, n)) return;
        wa->current = n;
        wa->eof = wa->bof = false;
        Moved(*wa);
        return;
    }
    AtEof(*wa, count, false);
    Moved(*wa);
    RaiseError(kErrRange, text);
}

std::int32_t RecCount() {
    WorkArea *wa = Need("RecCount");
    return wa ? Count(*wa, true) : 0;
}

std::int32_t RecNo() {
    WorkArea *wa = Need("RecNo");
    return wa ? wa->current : 0;
}

bool dEOF() {
    WorkArea *wa = Need("dEOF");
    if (!wa) return false;
    if (wa->current > Count(*wa, true)) wa->eof = true;
    return wa->eof;
}

bool dBOF() {
    WorkArea *wa = Need("dBOF");
    return wa ? wa->bof : false;
}

bool Deleted() {
    WorkArea *wa = Need("Deleted");
    return wa ? wa->buffer[0] != 0 : false;
}

// ---------------------------------------------------------------------------------------------
// Data

void ClearRecord() {
    ClearError();
    WorkArea *wa = Need("ClearRecord");
    if (wa) ClearBuffer(*wa);
}

void Append() {
    ClearError();
    WorkArea *wa = Need("APPEND");
    if (!wa) return;
    if (wa->inMemory) {
        std::int32_t count = wa->store.Count();
        if (count == 0x7FFFFFFF) {
            RaiseError(kErrRange, DbName(*wa) + " is full. [APPEND]");
            return;
        }
        std::int32_t pos = count;
        switch (wa->mode) {
        case AppendMode::FIFO:
            break;
        case AppendMode::LIFO:
            pos = 0;
            break;
        case AppendMode::INSERTION:
            if (wa->current >= 1 && wa->current <= count) pos = wa->current;
            break;
        case AppendMode::ASCENDING:
        case AppendMode::DESCENDING: {
            if (!wa->keyMaker) {
                RaiseError(kErrLinkedList,
                           "No key maker for the sorted table " + wa->alias + " [APPEND]");
                return;
            }
            const std::string key = wa->keyMaker(wa->buffer);
            const bool asc = wa->mode == AppendMode::ASCENDING;
            std::int32_t lo = 0, hi = count; // first position whose key sorts after `key`
            while (lo < hi) {
                const std::int32_t mid = lo + (hi - lo) / 2;
                const std::string k = wa->keyMaker(wa->store.Record(mid + 1));
                if (asc ? (key < k) : (k < key))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            pos = lo;
            break;
        }
        }
        wa->store.Insert(pos, wa->buffer);
        wa->current = pos + 1;
        wa->eof = wa->bof = false;
        wa->memState = ChangeState::Grown;
        Moved(*wa);
        return;
    }
    if (SharedDisk(*wa)) {
        if (wa->lock != LockState::Append && wa->lock != LockState::File) {
            RaiseError(kErrAccessDenied,
                       "File must be locked to append: " + wa->tableName + " [APPEND]");
            return;
        }
        Count(*wa, true);
    }
    BufferToRecord(wa->fields, wa->buffer, wa->raw.data(), wa->disk->recordLength);
    const std::int32_t n = wa->disk->recCount + 1;
    if (!PutDbfRecord(*wa->disk, n, wa->raw.data())) return;
    if (!Load(*wa, n)) return;
    wa->current = n;
    wa->eof = wa->bof = false;
    Moved(*wa);
}

namespace {

// Position and lock checks of Replace/DeleteRec/RecallRec.
WorkArea *NeedCurrentRecord(const char *op, const std::string &notLocked,
                            const std::string &atEof) {
    WorkArea *wa = Need(op);
    if (!wa) return nullptr;
    const std::int32_t count = Count(*wa);
    if (wa->current < 1) {
        RaiseError(kErrRange, DbName(*wa) + " is empty." + " [" + op + "]");
        return nullptr;
    }
    if (wa->current > count) {
        RaiseError(kErrRange, DbName(*wa) + atEof);
        return nullptr;
    }
    if (SharedDisk(*wa) && wa->lock != LockState::File &&
        std::find(wa->lockedRecs.begin(), wa->lockedRecs.end(), wa->current) ==
            wa->lockedRecs.end()) {
        RaiseError(kErrRecordNotLocked, notLocked);
        return nullptr;
    }
    return wa;
}

void SetDeleteFlag(bool deleted, const char *op) {
    ClearError();
    const std::string name = op;
    WorkArea *wa =
        NeedCurrentRecord(op, "Record not locked [" + name + "]", " at EOF [" + name + "]");
    if (!wa) return;
    if (wa->inMemory) {
        wa->store.Record(wa->current)[0] = deleted ? 1 : 0;
        if (wa->memState == ChangeState::Unchanged) wa->memState = ChangeState::Changed;
    } else if (!PutDbfDeleteFlag(*wa->disk, wa->current, deleted)) {
        return;
    }
    wa->buffer[0] = deleted ? 1 : 0;
}

} // namespace

void AppendRecords(const std::uint8_t *records, std::int32_t count) {
    ClearError();
    WorkArea *wa = Need("APPEND");
    if (!wa || count <= 0) return;
    const auto size = static_cast<std::size_t>(wa->bufSize);
    if (!wa->inMemory || wa->mode != AppendMode::FIFO) {
        // One by one, through the append mode's placing (or the disk and its locks), with the
        // move notifier held back (and put back however the loop is left).
        struct HeldNotifier {
            WorkArea &wa;
            AfterMoveNotifier held = std::exchange(wa.notifier, {});
            ~HeldNotifier() { wa.notifier = std::move(held); }
        };
        {
            HeldNotifier hold{*wa};
            for (std::int32_t i = 0; i < count; ++i) {
                std::memcpy(wa->buffer, records + static_cast<std::size_t>(i) * size, size);
                Append();
                if (LastErrorCode() != 0) return;
            }
        }
        Moved(*wa);
        return;
    }
    const std::int32_t room = 0x7FFFFFFF - wa->store.Count();
    const std::int32_t take = std::min(count, room);
    if (take > 0) {
        wa->store.Append(records, take);
        std::memcpy(wa->buffer, records + static_cast<std::size_t>(take - 1) * size, size);
        wa->current = wa->store.Count();
        wa->eof = wa->bof = false;
        wa->memState = ChangeState::Grown;
        Moved(*wa);
    }
    if (take < count) RaiseError(kErrRange, DbName(*wa) + " is full. [APPEND]");
}

void Replace() {
    ClearError();
    WorkArea *wa = Cur().open ? &Cur() : nullptr;
    if (wa) {
        const std::string notLocked =
            "Record #" + std::to_string(wa->current) + " in " + wa->tableName + " [REPLACE]";
        wa = NeedCurrentRecord("REPLACE", notLocked, std::string(" is at EOF.") + " [REPLACE]");
    } else {
        Need("REPLACE");
    }
    if (!wa) return;
    if (wa->inMemory) {
        std::memcpy(wa->store.Record(wa->current), wa->buffer,
                    static_cast<std::size_t>(wa->bufSize));
        if (wa->memState == ChangeState::Unchanged) wa->memState = ChangeState::Changed;
        return;
    }
    BufferToRecord(wa->fields, wa->buffer, wa->raw.data(), wa->disk->recordLength);
    if (!PutDbfRecord(*wa->disk, wa->current, wa->raw.data())) return;
    Load(*wa, wa->current);
}

void DeleteRec() {
    SetDeleteFlag(true, "DeleteRec");
}
void RecallRec() {
    SetDeleteFlag(false, "RecallRec");
}

bool Zap() {
    ClearError();
    WorkArea *wa = Need("Zap");
    if (!wa) return false;
    if (wa->inMemory) {
        wa->store.Clear();
        wa->memState = ChangeState::Grown;
        ClearBuffer(*wa);
        wa->current = 0;
        wa->eof = wa->bof = true;
        Moved(*wa);
        return true;
    }
    const std::string name = wa->tableName;
    const bool shared = !wa->exclusive;
    const bool convert = wa->disk->convertOem;
    auto reopen = [&](bool exclusive) {
        int code = 0;
        std::string message;
        std::unique_ptr<DbfTable> t;
        {
            ReportingScope quiet(false);
            t = OpenDbf(name, exclusive, convert);
            code = LastErrorCode();
            message = LastErrorMessage();
        }
        return std::make_tuple(std::move(t), code, message);
    };
    wa->lock = LockState::None;
    wa->lockedRecs.clear();
    if (shared) {
        // Re-open exclusively: nobody else may hold the table while it is cut.
        CloseDbf(std::move(wa->disk));
        auto [t, code, message] = reopen(true);
        if (!t) {
            auto [back, code2, message2] = reopen(false);
            if (back) {
                wa->disk = std::move(back);
            } else {
                CloseArea(E().current);
                RaiseError(code2, "Cannot re-open database sharable. " + name + " [Zap]");
                return false;
            }
            RaiseError(code, message);
            return false;
        }
        wa->disk = std::move(t);
    }
    DbfTable &t = *wa->disk;
    const std::uint8_t eofMark = 0x1A;
    bool ok =
        ::ftruncate(t.fd, t.headerLength) == 0 && ::pwrite(t.fd, &eofMark, 1, t.headerLength) == 1;
    t.recCount = 0;
    t.state = ChangeState::Grown;
    ok = ok && WriteDbfHeaderPrefix(t);
    if (shared) {
        CloseDbf(std::move(wa->disk));
        auto [back, code, message] = reopen(false);
        if (!back) {
            CloseArea(E().current);
            RaiseError(code, "Cannot re-open database sharable. " + name + " [Zap]");
            return false;
        }
        wa->disk = std::move(back);
        wa->disk->state = ChangeState::Grown;
    }
    ClearBuffer(*wa);
    wa->current = 0;
    wa->eof = wa->bof = true;
    if (!ok) {
        RaiseError(kErrDiskWrite, "Error zapping " + name);
        return false;
    }
    Moved(*wa);
    return true;
}

bool Locate(std::string_view fieldSpec, const LocateValue &value) {
    ClearError();
    WorkArea *wa = Need("Locate");
    if (!wa) return false;
    LocateState st;
    const int n = ParseLocateSpec(*wa, fieldSpec, st);
    if (n == 0) return false;
    st.field = n;
    st.search = ValueToSearchText(wa->fields[static_cast<std::size_t>(n - 1)], value);
    if (!st.exact)
        while (!st.search.empty() && st.search.back() == ' ')
            st.search.pop_back();
    if (st.nocase) st.search = AnsiUpper(st.search);
    st.active = true;
    wa->locate = st;
    return Scan(*wa, 1);
}

bool LocateRaw(std::string_view fieldSpec, const void *value) {
    ClearError();
    WorkArea *wa = Need("Locate");
    if (!wa) return false;
    LocateState st;
    const int n = ParseLocateSpec(*wa, fieldSpec, st);
    if (n == 0) return false;
    const FieldDesc &f = wa->fields[static_cast<std::size_t>(n - 1)];
    LocateValue v;
    if (f.type == 'C' || f.type == 'D') {
        v = std::string(static_cast<const char *>(value));
    } else if (f.type == 'L') {
        v = *static_cast<const std::uint8_t *>(value) != 0;
    } else if ((f.type == 'N' || f.type == 'F') && f.decimals > 0) {
        double d;
        std::memcpy(&d, value, sizeof d);
        v = d;
    } else {
        std::int32_t i;
        std::memcpy(&i, value, sizeof i);
        v = i;
    }
    return Locate(fieldSpec, v);
}

bool Continue() {
    ClearError();
    WorkArea *wa = Need("Continue");
    if (!wa) return false;
    if (!wa->locate.active) {
        RaiseError(kErrInvalidParameter,
                   "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
        return false;
    }
    return Scan(*wa, wa->current + 1);
}

bool LocateMulti(std::string_view fieldList, const LocateValue &value, std::string_view options) {
    std::size_t start = 0;
    const std::string opts(Trim(options));
    while (start <= fieldList.size()) {
        std::size_t end = fieldList.find(';', start);
        if (end == std::string_view::npos) end = fieldList.size();
        std::string_view item = Trim(fieldList.substr(start, end - start));
        item = item.substr(0, item.find(' '));
        if (!item.empty()) {
            std::string spec(item);
            if (!opts.empty()) spec += " " + opts;
            if (Locate(spec, value)) return true;
            if (LastErrorCode() != 0) return false;
        }
        start = end + 1;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Locks

bool ALock() {
    WorkArea *wa = Need("ALOCK");
    if (!wa) return false;
    if (wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on Linked List [ALOCK]");
        return false;
    }
    if (wa->lock == LockState::Append) return true;
    if (wa->lock != LockState::None) return false;
    if (SharedDisk(*wa) && !LockRegion(wa->disk->fd, kAppendLockOffset, 1)) return false;
    wa->lock = LockState::Append;
    return true;
}

bool FLock() {
    WorkArea *wa = Need("FLOCK");
    if (!wa) return false;
    if (wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on Linked List [FLOCK]");
        return false;
    }
    if (wa->lock == LockState::File) return true;
    if (wa->lock != LockState::None) return false;
    if (SharedDisk(*wa) && !LockRegion(wa->disk->fd, kFileLockOffset, kFileLockLength))
        return false;
    wa->lock = LockState::File;
    return true;
}

bool RLock(std::int32_t n) {
    WorkArea *wa = Need("RLOCK");
    if (!wa) return false;
    if (wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on Linked List [RLOCK]");
        return false;
    }
    if (n < 1 || n > Count(*wa, true)) {
        RaiseError(kErrRange,
                   "Invalid record number = " + std::to_string(n) + " " + DbName(*wa) + " [RLOCK]");
        return false;
    }
    if (wa->lock == LockState::File) return true;
    if (wa->lock == LockState::Append) return false;
    if (std::find(wa->lockedRecs.begin(), wa->lockedRecs.end(), n) != wa->lockedRecs.end())
        return true;
    if (SharedDisk(*wa) && !LockRegion(wa->disk->fd, RecordLockOffset(n), 1)) return false;
    wa->lockedRecs.push_back(n);
    wa->lock = LockState::Records;
    return true;
}

void Unlock() {
    WorkArea *wa = Need("UNLOCK");
    if (wa) ReleaseLocks(*wa);
}

void UnlockRec(std::int32_t n) {
    WorkArea *wa = Need("UnlockRec");
    if (!wa) return;
    auto it = std::find(wa->lockedRecs.begin(), wa->lockedRecs.end(), n);
    if (it == wa->lockedRecs.end()) {
        RaiseError(kErrInvalidParameter,
                   "Record not locked. [UnlockRec(" + std::to_string(n) + ")]");
        return;
    }
    wa->lockedRecs.erase(it);
    if (wa->lockedRecs.empty()) wa->lock = LockState::None;
    if (SharedDisk(*wa) && !UnlockRegion(wa->disk->fd, RecordLockOffset(n), 1))
        RaiseError(kErrFileNotLocked, "Error attempting to UNLOCK file " + wa->tableName +
                                          " in Workarea " + std::to_string(E().current));
}

bool IsLocked(std::int32_t n) {
    WorkArea *wa = Need("IsLocked");
    if (!wa) return false;
    if (wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on Linked List [IsLocked]");
        return false;
    }
    if (wa->lock == LockState::File) return true;
    return std::find(wa->lockedRecs.begin(), wa->lockedRecs.end(), n) != wa->lockedRecs.end();
}

LockState CurrentLockState() {
    const WorkArea &wa = Cur();
    return wa.open ? wa.lock : LockState::None;
}

// ---------------------------------------------------------------------------------------------
// Structure

int FieldCount() {
    WorkArea *wa = Need("FieldCount");
    return wa ? static_cast<int>(wa->fields.size()) : 0;
}

std::string Field(int n) {
    WorkArea *wa = NeedField("Field", n);
    return wa ? wa->fields[static_cast<std::size_t>(n - 1)].name : std::string();
}

char FieldType(int n) {
    WorkArea *wa = NeedField("FieldType", n);
    return wa ? wa->fields[static_cast<std::size_t>(n - 1)].type : '\0';
}

int FieldLen(int n) {
    WorkArea *wa = NeedField("FieldLen", n);
    if (!wa) return 0;
    const FieldDesc &f = wa->fields[static_cast<std::size_t>(n - 1)];
    if (f.type == 'D') return CurrentDateForm().fourDigitYear ? 10 : 8;
    return f.width;
}

int FieldDec(int n) {
    WorkArea *wa = NeedField("FieldDec", n);
    return wa ? wa->fields[static_cast<std::size_t>(n - 1)].decimals : 0;
}

int FieldNo(std::string_view name) {
    WorkArea *wa = Need("FieldNo");
    if (!wa) return 0;
    const std::string key = Upper(Trim(name)).substr(0, 10);
    for (std::size_t i = 0; i < wa->fields.size(); ++i)
        if (wa->fields[i].name.substr(0, 10) == key) return static_cast<int>(i + 1);
    return 0;
}

std::uint8_t *FieldAddress(int n) {
    if (n == 0) {
        WorkArea *wa = Need("FieldAddress");
        return wa ? wa->buffer : nullptr;
    }
    WorkArea *wa = NeedField("FieldAddress", n);
    return wa ? wa->buffer + wa->fields[static_cast<std::size_t>(n - 1)].bufOffset : nullptr;
}

const std::vector<FieldDesc> &Fields() {
    return Cur().open ? Cur().fields : NoFields();
}
std::size_t FieldBufferSize() {
    return Cur().open ? static_cast<std::size_t>(Cur().bufSize) : 0;
}
std::string Alias() {
    return Cur().alias;
}
std::string TableName() {
    return Cur().tableName;
}
bool IsInMemory() {
    return Cur().open && Cur().inMemory;
}
bool IsExclusive() {
    return Cur().open && Cur().exclusive;
}

ChangeState TableChangeState() {
    const WorkArea &wa = Cur();
    if (!wa.open) return ChangeState::Unchanged;
    return wa.inMemory ? wa.memState : wa.disk->state;
}

std::size_t InMemoryBytes() {
    const WorkArea &wa = Cur();
    return wa.open && wa.inMemory ? wa.store.MemoryBytes() : 0;
}

void VisitRecords(const std::function<void(std::int32_t, const std::uint8_t *)> &visit) {
    const WorkArea &wa = Cur();
    if (wa.open && wa.inMemory) wa.store.Visit(visit);
}

namespace {

void SortStore(WorkArea &wa) {
    if (!wa.keyMaker || wa.store.Count() < 2) return;
    const std::int32_t count = wa.store.Count();
    std::vector<std::string> keys(static_cast<std::size_t>(count));
    for (std::int32_t n = 1; n <= count; ++n)
        keys[static_cast<std::size_t>(n - 1)] = wa.keyMaker(wa.store.Record(n));
    std::vector<std::int32_t> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 1);
    const bool asc = wa.mode == AppendMode::ASCENDING;
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        const std::string &ka = keys[static_cast<std::size_t>(a - 1)];
        const std::string &kb = keys[static_cast<std::size_t>(b - 1)];
        return asc ? ka < kb : kb < ka;
    });
    wa.store.Reorder(order);
    GoTop();
}

} // namespace

void SetAppendMode(AppendMode mode) {
    WorkArea *wa = Need("SetAppendMode");
    if (!wa) return;
    if (!wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on a disk table. [SetAppendMode]");
        return;
    }
    const bool resort =
        (mode == AppendMode::ASCENDING || mode == AppendMode::DESCENDING) && mode != wa->mode;
    wa->mode = mode;
    if (resort) SortStore(*wa);
}

AppendMode CurrentAppendMode() {
    return Cur().open ? Cur().mode : AppendMode::FIFO;
}

void SetKeyMaker(KeyMaker keyMaker) {
    WorkArea *wa = Need("SetKeyMaker");
    if (!wa) return;
    wa->keyMaker = std::move(keyMaker);
    if (wa->inMemory && (wa->mode == AppendMode::ASCENDING || wa->mode == AppendMode::DESCENDING))
        SortStore(*wa);
}

void SetAfterMoveNotifier(AfterMoveNotifier notifier) {
    if (Cur().open) Cur().notifier = std::move(notifier);
}

AfterMoveNotifier CurrentAfterMoveNotifier() {
    return Cur().open ? Cur().notifier : AfterMoveNotifier{};
}

std::string GetFieldString(int n) {
    WorkArea *wa = NeedField("GetFieldString", n);
    return wa ? GetString(wa->fields[static_cast<std::size_t>(n - 1)], wa->buffer) : std::string();
}

double GetFieldNumber(int n) {
    WorkArea *wa = NeedField("GetFieldNumber", n);
    return wa ? GetNumber(wa->fields[static_cast<std::size_t>(n - 1)], wa->buffer) : 0;
}

bool GetFieldLogical(int n) {
    WorkArea *wa = NeedField("GetFieldLogical", n);
    return wa ? GetLogical(wa->fields[static_cast<std::size_t>(n - 1)], wa->buffer) : false;
}

void PutFieldString(int n, std::string_view value) {
    WorkArea *wa = NeedField("PutFieldString", n);
    if (wa) SetString(wa->fields[static_cast<std::size_t>(n - 1)], wa->buffer, value);
}

void PutFieldNumber(int n, double value) {
    WorkArea *wa = NeedField("PutFieldNumber", n);
    if (wa) SetNumber(wa->fields[static_cast<std::size_t>(n - 1)], wa->buffer, value);
}

void PutFieldLogical(int n, bool value) {
    WorkArea *wa = NeedField("PutFieldLogical", n);
    if (wa) SetLogical(wa->fields[static_cast<std::size_t>(n - 1)], wa->buffer, value);
}

} // namespace dbf
