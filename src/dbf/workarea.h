// The work-area table API.
//
// 33 work areas (1..33) and a current work area (1 at start-up); every command acts on the table
// open in the current work area. A work area holds a DBF file (dbffile.h) or an in-memory table,
// the "VIRTUAL FILE" / "LINKED LIST", whose records are copies of the typed field buffer.
//
// Each command on an empty work area reports error 215 "No database in use [<op>]  WorkArea = n"
// and returns a neutral value. Errors go through RaiseError (dbferror.h): in exceptions mode
// they throw ERedadError, in halting mode they end the process, with reporting off or a handler
// installed the command returns and LastErrorCode() tells what happened.
//
// Everything runs on one thread. The work areas and settings are those of the current engine
// (engine.h): the default engine unless an EngineScope has made another one current.
//
// USE command text:
//   disk:      "<file> [EXCLUSIVE] [ALIAS <alias>]"  (shared unless EXCLUSIVE)
//   in memory: "<name> VIRTUAL FILE|LINKED LIST [FIFO|LIFO|INSERTION|ASCENDING|DESCENDING]
//               [TO HEAP|TO EMS|TO EXT|TO XMS|TO BIGGEST] [ALIAS <alias>]"
//   For in-memory tables the caller's buffer is required; it is the record (field buffer) and
//   its size the record length. The structure follows with AddStru().
#pragma once

#include "dbf/dbferror.h"
#include "dbf/dbffile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dbf {

constexpr int kWorkAreaCount = 33;

// Where appended records go in an in-memory table. FIFO appends at the end, LIFO at the front,
// INSERTION right after the current record (at the end when at EOF), ASCENDING/DESCENDING keep
// the records ordered by the key-maker text (equal keys keep their arrival order).
enum class LStatusType { FIFO, LIFO, INSERTION, ASCENDING, DESCENDING };

// The code page of text in a table file: OEM (code page 437) or ANSI (Windows-1252).
enum class TTzTableLanguage { tlOem, tlAnsi };

enum class LockState { None, File, Append, Records };

// Builds the sort key of a record from its field buffer.
using KeyMaker = std::function<std::string(const std::uint8_t *fieldBuffer)>;

// Called after every cursor movement of the work area.
using AfterMoveNotifier = std::function<void()>;

// A search value for Locate, converted to the field's text (C/M unchanged, N/F right-aligned in
// the field's width and decimals, L "T"/"F", D the stored form of a date-form text).
using LocateValue = std::variant<std::string, double, std::int32_t, bool>;

// ---------------------------------------------------------------------------------------------
// Engine settings (of the current engine)

void SetHideDeleted(bool on); // skip deleted records when moving (default off)
bool HideDeleted();
void SetTableLanguage(TTzTableLanguage lang); // taken by USE for the table it opens (default OEM)
TTzTableLanguage CurrentTableLanguage();

// ---------------------------------------------------------------------------------------------
// Work areas

// 1..33: make current; 0: lowest empty work area (none: error 220 "No free workarea available
// [Select(0)]"); other numbers: error 220. Returns success.
bool Select(int workArea);
int CurrentWorkArea();
bool WorkAreaInUse(int workArea);

// Closes the current table, then opens the one the command names (empty command: close only).
// buffer/size: the caller's field buffer (nullptr/0: the engine allocates one). Returns success.
bool USE(const std::string &command, void *buffer = nullptr, std::size_t size = 0);

// Closes work areas 1..33 (writing disk headers) and makes 1 current. Runs at shutdown.
void CloseAll();

// In-memory tables: declares fields (names trimmed, cut to 10, upper case; D width 8, L 1,
// M -> N,10,0; C/F/N of width 0 and other types: error 211). Disk tables: error 1100.
// The fields must fit in the buffer given to USE (else error 266).
bool AddStru(const std::vector<FieldDef> &fields);

// ---------------------------------------------------------------------------------------------
// Movement

void GoTop();
void GoBottom();
void SKIP(std::int32_t count = 1);
void GO(std::int32_t recordNumber);
std::int32_t RecCount();
std::int32_t RecNo();
bool dEOF();
bool dBOF();
bool Deleted();

// ---------------------------------------------------------------------------------------------
// Data

void ClearRecord();
void Append();
// Appends count field buffers stored one after another at records, as that many Appends would
// (each placed by the append mode, the table left on the last one), notifying a move once
// (not at all when an append fails).
void AppendRecords(const std::uint8_t *records, std::int32_t count);
// Loading an in-memory table that appends at its end: room for up to count records after the
// last (count becomes what it holds), written in place and then kept by KeepAppended as
// AppendRecords would keep them. Null when the table places its appends otherwise.
std::uint8_t *AppendRoom(std::int32_t &count);
void KeepAppended(std::int32_t count);
void Replace();
void DeleteRec();
void RecallRec();
bool Zap();

// Locate with a locate expression "<field> [NOCASE] [EXACT] [CONTAINED]". Positions on the
// first matching record or at EOF; returns true when found.
bool Locate(std::string_view fieldSpec, const LocateValue &value);
// Same, with the value given in the field's buffer type (C: NUL-terminated text; N/F with
// decimals: double; N/F without and M: int32; L: one byte; D: NUL-terminated date form text).
bool LocateRaw(std::string_view fieldSpec, const void *value);
// Next record after the current one matching the last Locate; returns true when found.
bool Continue();
// Multi-field locate: fieldList holds names separated by ";" (each name is the text up to its
// first blank); options (" NOCASE", " EXACT", ...) are added to each. The first field that finds
// a visible record wins. Returns true when found.
bool LocateMulti(std::string_view fieldList, const LocateValue &value, std::string_view options);

// ---------------------------------------------------------------------------------------------
// Locks (shared disk tables use byte-range locks; exclusive tables only track the state)

bool ALock();                      // append lock
bool FLock();                      // file lock
bool RLock(std::int32_t recordNo); // record lock (adds to the list of locked records)
void Unlock();                     // releases every lock of the work area
void UnlockRec(std::int32_t recordNo);
bool IsLocked(std::int32_t recordNo);
LockState CurrentLockState();

// ---------------------------------------------------------------------------------------------
// Structure

int FieldCount();
std::string Field(int fieldNo);
char FieldType(int fieldNo);
int FieldLen(int fieldNo); // D reports 10 with four-digit years, else 8
int FieldDec(int fieldNo);
int FieldNo(std::string_view name); // 0 when absent
// Address of the field inside the field buffer; 0 gives the buffer itself.
std::uint8_t *FieldAddress(int fieldNo);

// Descriptors of the current table (empty when none is open).
const std::vector<FieldDesc> &Fields();
std::size_t FieldBufferSize(); // field buffer size (in-memory: the size given to USE)
std::string Alias();
std::string TableName();
bool IsInMemory();
bool IsExclusive();
ChangeState TableChangeState();
// Bytes held by the records of the current in-memory table (0 for disk tables).
std::size_t InMemoryBytes();

// In-memory tables.
// Calls visit(n, record) for every record n = 1..RecCount() of the current in-memory table in
// order, with the stored field buffer read in place: the cursor does not move and nobody is
// notified. Does nothing for a disk table. visit must not change the table.
void VisitRecords(const std::function<void(std::int32_t, const std::uint8_t *)> &visit);
void SetAppendMode(LStatusType mode); // ASCENDING/DESCENDING re-sort the existing records

// What changed in the current in-memory table since MarkInSyncWithFile.
struct FileChanges {
    bool valid = false;      // false: the records no longer map onto the file's one to one
    std::int32_t synced = 0; // records 1..synced are (were) the file's records 1..synced
    std::vector<std::int32_t> changed; // of those, the ones written over since, ascending
    bool deletedSeen = false;          // some record was marked deleted at some time
};
// The records as they are now are the file's records 1..RecCount().
void MarkInSyncWithFile();
// The records are no longer known to match the file.
void ForgetFileSync();
FileChanges ChangesSinceSync();
LStatusType CurrentAppendMode();
void SetKeyMaker(KeyMaker keyMaker); // re-sorts when the table is sorted

void SetAfterMoveNotifier(AfterMoveNotifier notifier);
AfterMoveNotifier CurrentAfterMoveNotifier();

// Typed access to the current field buffer by field number (convenience for callers).
std::string GetFieldString(int fieldNo);
double GetFieldNumber(int fieldNo);
bool GetFieldLogical(int fieldNo);
void PutFieldString(int fieldNo, std::string_view value);
void PutFieldNumber(int fieldNo, double value);
void PutFieldLogical(int fieldNo, bool value);

} // namespace dbf
