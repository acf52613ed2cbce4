// dBASE table files: creating, opening, reading and writing records, closing; the typed field
// buffer; the date form; the field-definition string.
//
// File layout (all integers little-endian):
//   header, 32 bytes: version (0x03, 0x8B with memo), last update Y-1900/M/D, record count (u32),
//     header length (u16) = 32 x fields + 33, record length (u16) = 1 + sum of widths, 20 zeros;
//   one 32-byte descriptor per field: name (11, NUL padded), type, 4 reserved, width, decimals,
//     14 reserved;
//   0x0D terminator, then the records (byte 0 " " live / "*" deleted, fields without separator),
//     then 0x1A after the last record when the table was created or grew.
// The older layout (version low bits 2, 521-byte header, 16-byte descriptors) is read and updated
// but never created.
//
// Stored text per type: C left-aligned and blank padded; N/F right-aligned fixed point with "."
// ("*" x width when it does not fit); L "T"/"F"; D "YYYYMMDD" or 8 blanks; M block number in 10.
//
// Typed field buffer (what USE hands around): byte 0 deletion flag (1/0), then per field
//   C: length byte + width chars          D: length byte + date form text (11 bytes)
//   N/F decimals > 0: double (8)          N/F decimals = 0: int32 (4)
//   M: int32 block number (4)             L: 1 byte (1/0)
// Values are stored unaligned in native byte order; use the accessors below or memcpy.
//
// Every failure is reported through RaiseError (dbferror.h) and the routine returns false /
// nullptr; malformed files are refused, never read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

// ---------------------------------------------------------------------------------------------
// Field definitions and descriptors

// A field as declared: name, type letter, width, decimals.
struct FieldDef {
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
};

// A field of an open table.
struct FieldDesc {
    std::string name; // upper case, at most 11 characters
    char type = 'C';  // C, D, F, L, M or N
    int width = 0;    // stored width in bytes
    int decimals = 0;
    int offset = 0;    // position in the stored record (deletion flag = 0); disk tables
    int bufOffset = 0; // position in the typed field buffer
};

// One of the field types C, D, F, L, M, N.
bool IsFieldType(char type);

// Size of one field in the typed field buffer (C width+1, D 11, N/F 8 or 4, M 4, L 1).
int FieldBufferBytes(char type, int width, int decimals);

// Fills offset/bufOffset of every descriptor from the widths; returns the field buffer size
// (1 + sum of FieldBufferBytes). recordLength receives 1 + sum of widths when not null.
int LayoutFields(std::vector<FieldDesc> &fields, int *recordLength = nullptr);

// Result of parsing a field-definition string such as "Name,C,30,0".
enum class FieldDefStatus {
    Ok,       // def holds the (corrected) definition
    Excluded, // type "X": the field is left out of the table
    Rejected, // not exactly three commas
};

struct ParsedFieldDef {
    FieldDefStatus status = FieldDefStatus::Rejected;
    FieldDef def;           // corrected definition
    bool corrected = false; // type, width or decimals were changed
    std::string message;    // the correction message when corrected, else empty
};

// Parses and corrects one definition string. Items are trimmed of characters below 33, the
// name cut to 10 characters, the type is the first character of the second item. Corrections
// (each tested on the definition as written): type not one of "CDFLMN" -> C; N width > 20 -> 20;
// N decimals > 18 -> 18; N decimals != 0 and width - decimals < 2 -> width - 2; C width > 254 ->
// 254 and 0 decimals. Finally N/F decimals are kept within 0..max(0, width - 2) so a corrected
// definition can always hold a value. The correction message is
// "Invalid field definition for <component>: <name>,<T>,<w>,<d>. Will use corrected definition:
// <name>,<T>,<w>,<d>". The message is not shown here; see ShowInfoMessage().
ParsedFieldDef ParseFieldDef(std::string_view text, std::string_view componentName);

// ---------------------------------------------------------------------------------------------
// Date form (the text form of D fields in the field buffer)

enum class DateOrder { YMD, DMY, MDY };

struct DateForm {
    DateOrder order = DateOrder::MDY;
    char separator = '/';
    bool fourDigitYear = true;
};

// Derives the date form from a short date format and separator: a format beginning with Y/y
// gives Y.M.D with "."; with D/d gives D/M/Y, D-M-Y or D.M.Y for the separators "/", "-", ".";
// everything else M/D/Y with "/". Four-digit years when the format contains "YYYY" (any case).
DateForm DateFormFromSystem(std::string_view shortDateFormat, char separator);

// The process-wide date form; default month/day/year with "/" and four-digit years.
void SetDateForm(const DateForm &form);
const DateForm &CurrentDateForm();

// Two-digit year to four digits: 00-49 are 2000-2049, 50-99 are 1950-1999.
int ExpandYear(int twoDigitYear);

// The blank date form, e.g. "  /  /    ".
std::string BlankDateForm(const DateForm &form = CurrentDateForm());
// "YYYYMMDD" (or 8 blanks / anything not a date) -> date form text; a blank date gives the
// blank form.
std::string StoredToDateForm(std::string_view stored, const DateForm &form = CurrentDateForm());
// Date form text -> "YYYYMMDD"; blank forms and texts that are not a date give 8 blanks.
std::string DateFormToStored(std::string_view text, const DateForm &form = CurrentDateForm());

// ---------------------------------------------------------------------------------------------
// Text of names, commands and values

// Without the blanks and control characters (below 33) at both ends.
std::string_view Trim(std::string_view s);
// ASCII letters upper-cased, every other byte kept (names and commands are ASCII).
char Upper(char c);
std::string Upper(std::string_view s);

// ---------------------------------------------------------------------------------------------
// Stored text of numbers

// Right-aligned text of value with the given decimals in width characters ("." as the decimal
// point, rounded); a text longer than width (or a value that is not finite) gives width "*".
std::string FormatNumber(double value, int width, int decimals);
// Leading/trailing blanks removed, then read as a number; blank or unreadable text gives 0.
double ParseNumber(std::string_view text);
// As ParseNumber, rounded and saturated to the signed 32-bit range.
std::int32_t ParseInt32(std::string_view text);
// ParseInt32 of a stored field's width characters, quick for the usual right-aligned integers.
std::int32_t ReadFieldInt32(const std::uint8_t *field, int width);

// ---------------------------------------------------------------------------------------------
// Typed field buffer access (buf points at byte 0 of a field buffer)

// C: the length byte's characters (at most width); D: the date form text; N/F/M: the stored text
// of the number (FormatNumber); L: "T" or "F".
std::string FieldText(const FieldDesc &f, const std::uint8_t *buf);
// C: as FieldText. Other types: same as FieldText.
std::string GetString(const FieldDesc &f, const std::uint8_t *buf);
// N/F/M value (0 for other types).
double GetNumber(const FieldDesc &f, const std::uint8_t *buf);
bool GetLogical(const FieldDesc &f, const std::uint8_t *buf);

// C: cut to width, length byte set. D: date form text. N/F/M: the text read as a number. L: first
// character T/t/Y/y is true.
void SetString(const FieldDesc &f, std::uint8_t *buf, std::string_view value);
// N/F with decimals: stored as double; decimals 0 and M: rounded and saturated to int32;
// C: the FormatNumber text; L: value != 0.
void SetNumber(const FieldDesc &f, std::uint8_t *buf, double value);
void SetLogical(const FieldDesc &f, std::uint8_t *buf, bool value);

// Blank field buffer: flag 0, C all blanks (length = width), numbers 0, L false, D blank form.
void ClearFieldBuffer(const std::vector<FieldDesc> &fields, std::uint8_t *buf, int bufSize);

// Stored record (recordLength bytes, already in ANSI) -> field buffer.
void RecordToBuffer(const std::vector<FieldDesc> &fields, const std::uint8_t *raw,
                    std::uint8_t *buf);
// Field buffer -> stored record (recordLength bytes).
void BufferToRecord(const std::vector<FieldDesc> &fields, const std::uint8_t *buf,
                    std::uint8_t *raw, int recordLength);

// ---------------------------------------------------------------------------------------------
// Files

enum class ChangeState { Unchanged, Changed, Grown };

// Memo version byte used when a created table has an M field (0x8B: memo file ".DBT"; 0xF5:
// ".FPT").
void SetMemoVersionByte(std::uint8_t version);
std::uint8_t MemoVersionByte();

// Adds ".DBF" when the file name (after its last path separator) has no extension.
std::string AddDbfExtension(const std::string &fileName);

// An open table file. Created by OpenDbf, released by CloseDbf (the destructor closes the file
// descriptor without updating the header).
struct DbfTable {
    std::string fileName;
    int fd = -1;
    bool exclusive = false;
    bool oldLayout = false; // 521-byte header with 16-byte descriptors
    bool hasMemo = false;
    bool convertOem = true; // text is OEM on disk
    std::uint8_t version = 0x03;
    std::int32_t recCount = 0;
    int headerLength = 0;
    int recordLength = 0;
    int bufferSize = 0; // typed field buffer size
    std::vector<FieldDesc> fields;
    ChangeState state = ChangeState::Unchanged;

    DbfTable() = default;
    DbfTable(const DbfTable &) = delete;
    DbfTable &operator=(const DbfTable &) = delete;
    ~DbfTable();

    // Size of the file in bytes (-1 on error).
    std::int64_t FileSize() const;
    // Record count the file holds: (size - headerLength) / recordLength.
    std::int32_t CountFromFileSize() const;
};

// Creates (replaces) a table file with the given fields and closes it. Names are trimmed, cut
// to 10 characters and upper-cased; D gets width 8, L 1, M 10; decimals are kept for N and F
// only. Errors: 220 empty name, 211 bad type/width, 101 write error. Returns success.
bool CreateDbf(const std::string &fileName, const std::vector<FieldDef> &fields);

// Opens a table file read/write. exclusive = deny other engine users (a shared open conflicts
// with an exclusive one: error 32). convertOem selects OEM text on disk. nullptr on error.
std::unique_ptr<DbfTable> OpenDbf(const std::string &fileName, bool exclusive,
                                  bool convertOem = true);

// Reads record n (1..recCount) into raw (recordLength bytes), converted to ANSI.
bool GetDbfRecord(DbfTable &table, std::int32_t n, std::uint8_t *raw);

// Reads the stored text of one field of record n directly from the file (converted to ANSI).
bool GetDbfFieldText(DbfTable &table, std::int32_t n, const FieldDesc &field, std::string &out);

// Writes raw (ANSI) as record n; n > recCount appends as recCount + 1. raw is left in ANSI.
bool PutDbfRecord(DbfTable &table, std::int32_t n, std::uint8_t *raw);

// Writes only the deletion flag of record n.
bool PutDbfDeleteFlag(DbfTable &table, std::int32_t n, bool deleted);

// Rewrites header bytes 0-7 (version, today's date, count) when the table changed, writes 0x1A
// after the last record when it grew, and closes the file. The table object is released.
bool CloseDbf(std::unique_ptr<DbfTable> table);

// Cuts the file back to its header and end mark and counts no records in the header (Zap).
// Returns success.
bool EmptyDbf(DbfTable &table);

// Header bytes 0-7 only (used by Zap and CloseDbf).
bool WriteDbfHeaderPrefix(DbfTable &table);

// Byte-range locks (open-file-description locks, one attempt, no waiting).
constexpr std::int64_t kLockBase = std::int64_t{1} << 30;
constexpr std::int64_t kAppendLockOffset = kLockBase + 1; // 1 byte
constexpr std::int64_t kFileLockOffset = kLockBase + 1;   // kFileLockLength bytes
constexpr std::int64_t kFileLockLength = (std::int64_t{1} << 30) - 1;
constexpr std::int64_t RecordLockOffset(std::int32_t n) {
    return kLockBase + 1 + n;
} // 1 byte

bool LockRegion(int fd, std::int64_t offset, std::int64_t length, bool exclusive = true);
bool UnlockRegion(int fd, std::int64_t offset, std::int64_t length);

} // namespace dbf
