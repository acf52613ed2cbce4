// Locks, the table structure, the settings of in-memory tables and typed field access of the
// work areas.
#include "dbf/workarea.h"

#include "dbf/workarea_p.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

namespace dbf {

using namespace area_detail;

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

void MarkInSyncWithFile() {
    WorkArea &wa = Cur();
    if (!wa.open || !wa.inMemory) return;
    const bool deletedSeen = wa.sync.deletedSeen;
    wa.sync = FileSync{};
    wa.sync.valid = true;
    wa.sync.synced = wa.store.Count();
    wa.sync.deletedSeen = deletedSeen;
}

void ForgetFileSync() {
    WorkArea &wa = Cur();
    if (wa.open && wa.inMemory) NoteReordered(wa);
}

FileChanges ChangesSinceSync() {
    const WorkArea &wa = Cur();
    FileChanges out;
    if (!wa.open || !wa.inMemory) return out;
    out.valid = wa.sync.valid && wa.sync.synced <= wa.store.Count();
    out.synced = wa.sync.synced;
    out.changed = wa.sync.changed;
    std::sort(out.changed.begin(), out.changed.end());
    out.deletedSeen = wa.sync.deletedSeen;
    return out;
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
    const bool asc = wa.mode == LStatusType::ASCENDING;
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        const std::string &ka = keys[static_cast<std::size_t>(a - 1)];
        const std::string &kb = keys[static_cast<std::size_t>(b - 1)];
        return asc ? ka < kb : kb < ka;
    });
    wa.store.Reorder(order);
    NoteReordered(wa);
    GoTop();
}

} // namespace

void SetAppendMode(LStatusType mode) {
    WorkArea *wa = Need("SetAppendMode");
    if (!wa) return;
    if (!wa->inMemory) {
        RaiseError(kErrLinkedList, "Not a valid operation on a disk table. [SetAppendMode]");
        return;
    }
    const bool resort =
        (mode == LStatusType::ASCENDING || mode == LStatusType::DESCENDING) && mode != wa->mode;
    wa->mode = mode;
    if (resort) SortStore(*wa);
}

LStatusType CurrentAppendMode() {
    return Cur().open ? Cur().mode : LStatusType::FIFO;
}

void SetKeyMaker(KeyMaker keyMaker) {
    WorkArea *wa = Need("SetKeyMaker");
    if (!wa) return;
    wa->keyMaker = std::move(keyMaker);
    if (wa->inMemory && (wa->mode == LStatusType::ASCENDING || wa->mode == LStatusType::DESCENDING))
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
