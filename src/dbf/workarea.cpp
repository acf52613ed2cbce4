// The work areas: engine settings, selecting, opening and closing tables, movement and the
// record commands (the search commands: workarea_locate.cpp; locks, structure and field access:
// workarea_access.cpp).
#include "dbf/workarea.h"

#include "dbf/codepage.h"
#include "dbf/workarea_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace dbf {

using namespace area_detail;

namespace area_detail {

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

std::int32_t Count(WorkArea &wa, bool recompute) {
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

void NoteChanged(WorkArea &wa, std::int32_t n, bool deleted) {
    FileSync &sync = wa.sync;
    if (deleted) sync.deletedSeen = true;
    if (!sync.valid || n < 1 || n > sync.synced) return;
    const auto at = static_cast<std::size_t>(n - 1);
    if (sync.marked.size() < static_cast<std::size_t>(sync.synced))
        sync.marked.resize(static_cast<std::size_t>(sync.synced), false);
    if (sync.marked[at]) return;
    sync.marked[at] = true;
    sync.changed.push_back(n);
}

void NoteReordered(WorkArea &wa) {
    wa.sync.valid = false;
    wa.sync.changed.clear();
    wa.sync.marked.clear();
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

} // namespace area_detail

namespace {

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
    LStatusType mode = LStatusType::FIFO;
    if (FindWord(upper, "LIFO") != std::string::npos) mode = LStatusType::LIFO;
    if (FindWord(upper, "INSERTION") != std::string::npos) mode = LStatusType::INSERTION;
    if (FindWord(upper, "ASCENDING") != std::string::npos) mode = LStatusType::ASCENDING;
    if (FindWord(upper, "DESCENDING") != std::string::npos) mode = LStatusType::DESCENDING;
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
    wa.sync = FileSync{};
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
    std::unique_ptr<DbfTable> table =
        OpenDbf(file, exclusive, E().language == TTzTableLanguage::tlOem);
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

} // namespace

// ---------------------------------------------------------------------------------------------
// Settings

void SetHideDeleted(bool on) {
    E().hideDeleted = on;
}
bool HideDeleted() {
    return E().hideDeleted;
}
void SetTableLanguage(TTzTableLanguage lang) {
    E().language = lang;
}
TTzTableLanguage CurrentTableLanguage() {
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
        f.type = Upper(d.type);
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
        case LStatusType::FIFO:
            break;
        case LStatusType::LIFO:
            pos = 0;
            break;
        case LStatusType::INSERTION:
            if (wa->current >= 1 && wa->current <= count) pos = wa->current;
            break;
        case LStatusType::ASCENDING:
        case LStatusType::DESCENDING: {
            if (!wa->keyMaker) {
                RaiseError(kErrLinkedList,
                           "No key maker for the sorted table " + wa->alias + " [APPEND]");
                return;
            }
            const std::string key = wa->keyMaker(wa->buffer);
            const bool asc = wa->mode == LStatusType::ASCENDING;
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
        // Inserting before a record that the file holds moves the file's records.
        if (pos < wa->sync.synced) NoteReordered(*wa);
        if (wa->buffer[0] != 0) wa->sync.deletedSeen = true;
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
        NoteChanged(*wa, wa->current, deleted);
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
    if (!wa->inMemory || wa->mode != LStatusType::FIFO) {
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
        for (std::int32_t i = 0; i < take && !wa->sync.deletedSeen; ++i)
            if (records[static_cast<std::size_t>(i) * size] != 0) wa->sync.deletedSeen = true;
        wa->store.Append(records, take);
        std::memcpy(wa->buffer, records + static_cast<std::size_t>(take - 1) * size, size);
        wa->current = wa->store.Count();
        wa->eof = wa->bof = false;
        wa->memState = ChangeState::Grown;
        Moved(*wa);
    }
    if (take < count) RaiseError(kErrRange, DbName(*wa) + " is full. [APPEND]");
}

std::uint8_t *AppendRoom(std::int32_t &count) {
    ClearError();
    WorkArea *wa = Need("APPEND");
    if (!wa || count <= 0 || !wa->inMemory || wa->mode != LStatusType::FIFO) return nullptr;
    count = std::min(count, 0x7FFFFFFF - wa->store.Count());
    if (count <= 0) return nullptr;
    return wa->store.AppendRoom(count);
}

void KeepAppended(std::int32_t count) {
    ClearError();
    WorkArea *wa = Need("APPEND");
    if (!wa || count <= 0) return;
    const std::int32_t first = wa->store.Count() + 1;
    wa->store.TakeRoom(count);
    const auto size = static_cast<std::size_t>(wa->bufSize);
    for (std::int32_t n = first; n <= wa->store.Count() && !wa->sync.deletedSeen; ++n)
        if (wa->store.Record(n)[0] != 0) wa->sync.deletedSeen = true;
    std::memcpy(wa->buffer, wa->store.Record(wa->store.Count()), size);
    wa->current = wa->store.Count();
    wa->eof = wa->bof = false;
    wa->memState = ChangeState::Grown;
    Moved(*wa);
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
        NoteChanged(*wa, wa->current, wa->buffer[0] != 0);
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
        NoteReordered(*wa);
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
    const bool ok = EmptyDbf(*wa->disk);
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

} // namespace dbf
