// The inside of the work-area engine, shared by its source files (workarea.cpp: work areas,
// movement and data; workarea_locate.cpp: the search commands; workarea_access.cpp: locks,
// structure, in-memory table settings and typed field access). Not for other code.
#pragma once

#include "dbf/engine.h"
#include "dbf/memstore.h"
#include "dbf/workarea.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

namespace area_detail {

struct LocateState {
    bool active = false;
    int field = 0; // 1-based
    std::string search;
    bool nocase = false;
    bool exact = false;
    bool contained = false;
};

// What changed in an in-memory table since its records were last the same as its file's:
// records 1..synced were file records 1..synced then; `changed` lists those of them replaced
// or (un)deleted since (each once), records after synced are new. `valid` false: the table no
// longer matches its file record for record (records inserted among the synced ones,
// reordered, removed, or never in sync), so only a whole rewrite can bring the file up to date.
struct FileSync {
    bool valid = false;
    std::int32_t synced = 0;
    std::vector<std::int32_t> changed;
    std::vector<bool> marked; // by record number - 1, for the first `synced` records
    bool deletedSeen = false; // a record was ever marked deleted
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
    LStatusType mode = LStatusType::FIFO;
    KeyMaker keyMaker;
    MemStore store;
    ChangeState memState = ChangeState::Unchanged;
    FileSync sync;
    LocateState locate;
};

} // namespace area_detail

struct TableEngine::Areas {
    std::array<area_detail::WorkArea, kWorkAreaCount + 1> areas; // index 0 unused
    int current = 1;
    bool hideDeleted = false;
    TTzTableLanguage language = TTzTableLanguage::tlOem;
};

namespace area_detail {

// The current engine's work areas and settings, and its current work area.
TableEngine::Areas &E();
WorkArea &Cur();
const std::vector<FieldDesc> &NoFields();

// "Database \"<table name>\"", as messages name a table.
std::string DbName(const WorkArea &wa);

// The open current work area for a command, or nullptr after reporting error 215.
WorkArea *Need(const char *op);
// Same, with a field number that must exist (else error 220).
WorkArea *NeedField(const char *op, int n);

bool SharedDisk(const WorkArea &wa);
// Records of the table; recompute: a shared disk table counts them from the file size again.
std::int32_t Count(WorkArea &wa, bool recompute = false);
// Tells the after-move notifier.
void Moved(WorkArea &wa);
// A blank record in the field buffer.
void ClearBuffer(WorkArea &wa);
// Record n into the field buffer; false after reporting a read error.
bool Load(WorkArea &wa, std::int32_t n);
bool DeletedFlag(WorkArea &wa, std::int32_t n);
// Not hidden as deleted.
bool Visible(WorkArea &wa, std::int32_t n);
// Past the last record (both flags: on an empty table).
void AtEof(WorkArea &wa, std::int32_t count, bool bothFlags);
// Change tracking of in-memory tables: record n was written over (or its deletion flag set);
// the record order changed or records before the synced ones went away.
void NoteChanged(WorkArea &wa, std::int32_t n, bool deleted);
void NoteReordered(WorkArea &wa);
// Gives back every lock of the work area.
void ReleaseLocks(WorkArea &wa);

} // namespace area_detail

} // namespace dbf
