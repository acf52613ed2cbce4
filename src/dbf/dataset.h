// Dataset classes of the table engine: a small record-buffer framework (typed field objects,
// navigation, edit states, data links for grids) mapped onto one work area each.
//
//   TTzDataSet   the mapping itself: opening, field objects, the active record buffer,
//                navigation, field values, posting
//   TTzCDataSet  table properties (DbfFileName, DbfFields ...) and the record commands
//                AppendRec, ReplaceRec, ClearRecord, LocateRec, Continue, Zap, Locate
//   TTzLLDataSet / TTzVFile (vfile.h)  in-memory tables filled from and written to DBF files
//
// The dataset keeps one active record buffer (the record it shows as current). Grids read
// other rows with ReadRow(), which leaves the work area on the active record. Record commands
// act on the work area's current record, which is always the dataset's active record.
//
// Errors of the engine go through dbf::RaiseError (dbferror.h). Misuse of the framework itself
// (a field that does not exist, navigating a closed dataset) throws EDatabaseError.
#pragma once

#include "dbf/dbffile.h"
#include "dbf/engine.h"
#include "dbf/workarea.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

class TTzDataSet;

// The framework's database error.
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum class TFieldType { ftString, ftDate, ftFloat, ftInteger, ftBoolean, ftMemo };

// Options of the multi-field Locate.
struct TLocateOptions {
    bool caseInsensitive = false; // loCaseInsensitive
    bool partialKey = false;      // loPartialKey
};

// One field of an open table: name, type letter, width, decimals and offset in the work
// area's field buffer.
struct TDTField {
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
    int offset = 0;
};

// Field table of an open table.
class TDbfFieldProps {
public:
    TDbfFieldProps(std::vector<FieldDesc> descs, std::uint8_t *fieldBuffer);
    int Count() const { return static_cast<int>(fields_.size()); }
    // 1-based; nullptr outside 1..Count().
    const TDTField *ByNumber(int number) const;
    // Field number of `name` without regard to letter case; 0 when absent.
    int NumberOf(std::string_view name) const;
    std::uint8_t *FieldBuffer() const { return buffer_; }
    const std::vector<FieldDesc> &Descs() const { return descs_; }

private:
    std::vector<TDTField> fields_;
    std::vector<FieldDesc> descs_;
    std::uint8_t *buffer_;
};

// A typed field of a dataset. Values live in the dataset's active record buffer; writing a
// value also copies it into the work area's field buffer at once (no edit state needed).
class TField {
public:
    virtual ~TField() = default;

    const std::string &FieldName() const { return name_; }
    std::string DisplayName() const { return name_; }
    TFieldType DataType() const { return type_; }
    int FieldNo() const { return fieldNo_; }
    int Size() const { return size_; }           // C: width
    int Precision() const { return precision_; } // floats: the field width
    int Decimals() const { return decimals_; }
    TTzDataSet &DataSet() const { return *dataset_; }

    // Only a blank date is null; numbers always hold a value.
    bool IsNull() const;
    std::string AsString() const;
    std::int32_t AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    double AsDateTime() const; // days since 30 December 1899
    // Text as a grid shows it (booleans "True"/"False", floats with their decimals).
    std::string DisplayText() const;

    void SetAsString(std::string_view value);
    void SetAsInteger(std::int32_t value);
    void SetAsFloat(double value);
    void SetAsBoolean(bool value);
    void SetAsDateTime(double value);
    void Clear();

protected:
    friend class TTzDataSet;
    TField() = default;

private:
    const std::uint8_t *Data() const;
    std::uint8_t *WritableData();
    void Changed();
    std::string TextOf(const std::uint8_t *recordBuffer, bool display) const;

    TTzDataSet *dataset_ = nullptr;
    std::string name_;
    TFieldType type_ = TFieldType::ftString;
    char dbfType_ = 'C';
    int fieldNo_ = 0;
    int size_ = 0;
    int precision_ = 0;
    int decimals_ = 0;
    int offset_ = 0; // position in the dataset's record buffer
};

// Date field (D). EditMask is set when the table opens.
class TTzDateField : public TField {
public:
    std::string EditMask;
};

// Link of a control (a grid) to a dataset. The dataset calls the hooks; while controls are
// disabled it holds them back and sends one DataSetChanged when they are enabled again.
class TTzDataLink {
public:
    TTzDataLink() = default;
    TTzDataLink(const TTzDataLink &) = delete;
    TTzDataLink &operator=(const TTzDataLink &) = delete;
    virtual ~TTzDataLink();

    TTzDataSet *DataSet() const { return dataset_; }
    void SetDataSet(TTzDataSet *dataset);
    bool Active() const;

protected:
    friend class TTzDataSet;
    virtual void ActiveChanged() {}
    virtual void LayoutChanged() {}
    virtual void DataSetChanged() {}
    virtual void DataSetScrolled(int /*distance*/) {}
    virtual void RecordChanged(TField * /*field*/) {}
    virtual void EditingChanged() {}

private:
    TTzDataSet *dataset_ = nullptr;
};

using TDataSetNotifyEvent = std::function<void(TTzDataSet &)>;

class TTzDataSet {
public:
    explicit TTzDataSet(std::string name = {});
    TTzDataSet(const TTzDataSet &) = delete;
    TTzDataSet &operator=(const TTzDataSet &) = delete;
    virtual ~TTzDataSet();

    const std::string &Name() const { return name_; }

    // Opening and closing.
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }
    int WorkArea() const { return workArea_; }

    // The engine whose work area holds the table: the default engine unless another one is
    // set (while the dataset is closed; the engine must outlive the dataset). Every command of
    // the dataset acts in its engine, whichever engine is current for the caller.
    void SetEngine(TableEngine &engine);
    TableEngine &Engine() const { return engine_ ? *engine_ : DefaultEngine(); }

    // Navigation. Eof/Bof are the end-of-table and beginning-of-table states: Eof becomes true
    // when a move runs past the last record (the dataset stays on it); both are true on an
    // empty table.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance); // returns the number of records moved (signed)
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    bool IsEmpty();
    std::int32_t RecNo() const { return recNo_; }
    void SetRecNo(std::int32_t recNo);
    std::int32_t RecordCount();

    // Bookmarks are record numbers.
    std::int32_t GetBookmark() const { return recNo_; }
    void GotoBookmark(std::int32_t bookmark);
    bool BookmarkValid(std::int32_t bookmark);

    // Fields, found by name without regard to letter case.
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TField &Fields(int index) const; // 0-based
    TField *FindField(std::string_view name) const;
    TField &FieldByName(std::string_view name) const; // EDatabaseError when absent
    const TDbfFieldProps *FieldProps() const { return props_.get(); }

    // Edit states, as a grid drives them.
    void Edit();
    void Insert();
    void Post();
    void Cancel();
    void Delete();
    // Deletion flag of the active record; setting false restores (undeletes) it.
    bool RecordDeleted() const;
    void SetRecordDeleted(bool deleted);
    bool Modified() const { return modified_; }

    // Controls (data links) follow the dataset unless disabled; calls nest.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Reads record recNo (1..RecordCount) for display without moving the dataset: the texts of
    // every field in field order and its deletion flag. False when out of range.
    bool ReadRow(std::int32_t recNo, std::vector<std::string> &texts, bool &deleted);

    // Whether the dataset may be modified.
    virtual bool CanModify() const { return true; }
    virtual bool IsInMemory() const { return false; }
    bool IsRunTime() const { return true; }

    // Events.
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, BeforeRestore, AfterRestore;

protected:
    // Selects the dataset's work area for `operation` and applies its engine settings. Without
    // a work area: error 1103 "Database is not open [<name>.<operation>]"; returns false when
    // the error did not end the process.
    virtual bool SelectWorkArea(std::string_view operation);
    virtual void ApplyEngineSettings() {}
    virtual void DoBeforeRestore();
    virtual void DoAfterRestore();
    virtual void MarkChanged() {}
    // The current record was just written (replaced or appended) through the record commands.
    virtual void RecordWritten() {}
    // Checked before a table is opened (the file name is set ...); false stops the open.
    virtual bool CanOpen() { return true; }
    // Builds the table in the current work area; false on failure.
    virtual bool OpenTable() = 0;
    virtual void AfterOpenTable() {}
    virtual void CloseTable();
    virtual void s_AppendWithLock() = 0;
    virtual void s_DeleteWithLock() = 0;
    virtual void s_RestoreWithLock() = 0;
    virtual void s_ReplaceWithLock() = 0;

    // Brings the dataset onto the work area's current record after a record command (an edit
    // or insert state is dropped). At EOF with atEofGoLast the dataset moves to the last record
    // and its end-of-table state becomes true.
    void Resync(bool atEofGoLast = false);
    // Copies the work area's field buffer into the active record buffer.
    void LoadActiveFromFieldBuffer();
    // Copies the whole active record into the work area's field buffer.
    void StoreActiveToFieldBuffer();
    // Moves the work area onto the active record (after anything else moved it).
    void SyncCursor();
    // Converts the work area's field buffer into a dataset record buffer.
    void ConvertFieldBuffer(std::uint8_t *record) const;
    void RequireActive(std::string_view operation) const;
    void NotifyDataSetChanged();
    void NotifyRecordChanged(TField *field);
    void SetState(TDataSetState state);
    void ReleaseTable();

    std::uint8_t *fieldBuffer_ = nullptr; // the work area's field buffer
    TableEngine *engine_ = nullptr;       // nullptr: the default engine
    int workArea_ = 0;
    std::string name_;
    bool modified_ = false;

private:
    friend class TField;
    friend class TTzDataLink;

    void BuildFields();
    void DoClose();
    void ScrollBy(int moved);

    std::unique_ptr<TDbfFieldProps> props_;
    std::vector<std::unique_ptr<TField>> fields_;
    std::vector<int> fieldOffsets_; // per field: position in the record buffer
    std::vector<std::uint8_t> active_;
    int recordSize_ = 0;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::int32_t recNo_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    int disableCount_ = 0;
    bool pendingChange_ = false;
    std::vector<TTzDataLink *> links_;
};

// Table properties and record commands.
class TTzCDataSet : public TTzDataSet {
public:
    explicit TTzCDataSet(std::string name = {});

    // Field-definition strings ("Name,C,30,0"), one per field, in field order.
    std::vector<std::string> DbfFields;
    bool HideDeletedRecs = false;
    bool ShowProgress = true;
    TTzTableLanguage TableLanguage = TTzTableLanguage::tlOem;
    bool ReadOnly = false;

    const std::string &DbfFileName() const { return dbfFileName_; }
    // Trims the name and adds ".DBF" when it has no extension (a name ending in "." keeps
    // none). An open in-memory table stays open and counts as changed, so its next write goes
    // to the new file; other datasets are closed and reopened.
    void SetDbfFileName(std::string_view fileName);

    bool CanModify() const override { return !ReadOnly; }

    // Record commands; each selects the dataset's work area first (error 1103 when closed).
    void AppendRec();
    void ReplaceRec();
    void ClearRecord();
    // Locates the first record whose field matches (spec: "<field> [NOCASE] [EXACT]
    // [CONTAINED]"); the value is taken in the field's type. Not found: the dataset is on its
    // last record with Eof() true. Returns true when found.
    bool LocateRec(std::string_view fieldSpec, std::string_view value);
    bool LocateRec(std::string_view fieldSpec, const char *value) {
        return LocateRec(fieldSpec, std::string_view(value));
    }
    bool LocateRec(std::string_view fieldSpec, double value);
    bool LocateRec(std::string_view fieldSpec, std::int32_t value);
    bool LocateRec(std::string_view fieldSpec, bool value);
    bool Continue();
    bool Zap();
    // Multi-field locate: names separated by ";". Returns true when a record was found.
    bool Locate(std::string_view fieldNames, std::string_view value, TLocateOptions options = {});

protected:
    void ApplyEngineSettings() override;
    bool CanOpen() override;
    bool LocateValue(std::string_view fieldSpec, const dbf::LocateValue &value);
    bool AfterLocate(bool found);

    std::string dbfFileName_;
};

// Adds ".DBF" to a file name without extension; a name ending in "." is kept as it is.
std::string WithDbfExtension(std::string_view fileName);

// Days since 30 December 1899 <-> calendar date.
double EncodeDate(int year, int month, int day);
void DecodeDate(double dateTime, int &year, int &month, int &day);

} // namespace dbf
