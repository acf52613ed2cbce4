// In-memory tables that are filled from and written back to a DBF file.
//
//   TTzLLDataSet  an in-memory work area built from the field-definition strings (DbfFields),
//                 ReadFromDisk (when opening) and WriteToDisk (to commit)
//   TTzVFile      the component applications place: AppendMode, PopulateFromDisk, SaveToDisk,
//                 KeyMakerAddress
//
// WriteToDisk writes only what changed when the table's records are still those of its file
// (loaded from it or last written to it, record for record, and the file untouched since):
// the records written over, the new records and the header's date and count, so that the file
// ends byte for byte as a whole rewrite would leave it. That in-place write goes through a redo
// journal beside the table (tablejournal.h), so a write cut off at any point leaves the table
// as before or, once the next open has replayed the journal, as after.
// Every other write (records removed, reordered or inserted among the file's, a file that is
// not what was loaded, a first write) writes the whole table to a new private file beside it,
// flushes it to the disk and renames it over the old file only when every record is in. On any
// failure the old file is left as it was and the error is reported.
//
// ReadFromDisk maps the file's fields to the table's fields by name: fields the file lacks stay
// blank or 0, fields the table lacks are ignored, and a field whose type or size differs is
// converted through its value.
#pragma once

#include "dbf/dataset.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dbf {

// File operations of WriteToDisk, replaceable for tests (a device that fails after N bytes).
class TTzWriteIO {
public:
    virtual ~TTzWriteIO() = default;
    // Each returns 0 on success or an errno value.
    virtual int Create(const std::string &path);           // a new private file, write only
    virtual int Open(const std::string &path);             // an existing file, read/write
    virtual int Write(const void *data, std::size_t size); // all bytes or an error
    // All bytes at offset of the opened file, or an error.
    virtual int WriteAt(const void *data, std::size_t size, std::uint64_t offset);
    virtual int Truncate(std::uint64_t size); // of the opened file
    virtual int Sync();                       // flush the file to the disk
    virtual int Close();
    virtual int Rename(const std::string &from, const std::string &to); // then syncs the folder
    virtual void Remove(const std::string &path);

private:
    int fd_ = -1;
};

class TTzLLDataSet : public TTzCDataSet {
public:
    explicit TTzLLDataSet(std::string name = {});
    ~TTzLLDataSet() override;

    bool PopulateFromDisk = false;
    bool SaveToDisk = false;

    // Writes every record (deleted ones are left out with HideDeletedRecs) to DbfFileName
    // through a temporary file. Nothing happens without a file name. Returns success; a
    // failure is reported through the engine's error routine and leaves the old file intact.
    bool WriteToDisk();
    // Appends the records of DbfFileName to the table (a missing file adds nothing).
    bool ReadFromDisk();

    // Changed since loaded or last written.
    bool Changed() const { return changed_; }
    // The last successful WriteToDisk wrote only what had changed.
    bool LastWriteIncremental() const { return lastIncremental_; }

    bool IsInMemory() const override { return true; }
    bool CanModify() const override { return true; }

    // Told of every record that a ReplaceRec, AppendRec, Delete or Recall leaves behind: its
    // number and its field buffer (a recording journal keeps them between writes).
    using RecordSink =
        std::function<void(std::int32_t recNo, const std::uint8_t *record, std::size_t size)>;
    void SetRecordSink(RecordSink sink) { sink_ = std::move(sink); }
    // Makes record recNo (1..RecordCount(), or RecordCount() + 1 to append at the end) hold
    // the field buffer `record` (FieldBufferBytes() bytes), as the sink was told of it. The sink
    // is not told. False (nothing changed) when the number or size does not fit or the table
    // does not append at the end.
    bool PutRecord(std::int32_t recNo, const std::uint8_t *record, std::size_t size);
    std::size_t FieldBufferBytes() const { return buffer_.size(); }

    // Sees the records of a load as they are read, so that indexes over them are built in the
    // same pass over the file.
    class LoadVisitor {
    public:
        virtual ~LoadVisitor() = default;
        // A load of up to `records` records begins.
        virtual void BeginLoad(std::int32_t records) = 0;
        // Record recNo as loaded (its field buffer).
        virtual void VisitLoaded(std::int32_t recNo, const std::uint8_t *record) = 0;
    };
    void SetLoadVisitor(LoadVisitor *visitor) { loadVisitor_ = visitor; }
    // Whether the last ReadFromDisk showed every record the table holds to the load visitor, in
    // table order (not when the table held records before or places its appends itself).
    bool LoadVisited() const { return loadVisited_; }

    // Replaces the file operations of WriteToDisk (nullptr: the plain file system).
    void SetWriteIO(TTzWriteIO *io) { io_ = io; }

    // Bytes held by the in-memory records (0 when closed).
    std::size_t MemoryBytes();

protected:
    void MarkChanged() override { changed_ = true; }
    void RecordWritten() override { Tell(); }
    bool OpenTable() override;
    void AfterOpenTable() override;
    void CloseTable() override;
    void s_AppendWithLock() override;
    void s_DeleteWithLock() override;
    void s_RestoreWithLock() override;
    void s_ReplaceWithLock() override;

    LStatusType appendMode_ = LStatusType::FIFO;
    KeyMaker keyMaker_;
    KeyMaker DefaultKey() const;

private:
    bool WriteFile(const std::string &target, const std::string &temp, TTzWriteIO &io, int &code);
    // The in-place write; false with code 0 when the table cannot be written that way.
    bool WriteChanges(const std::string &target, TTzWriteIO &io, int &code);
    // The records now match the file at path record for record (or not, when path is empty).
    void NoteInSync(const std::string &path);

    // The file the records matched at the last load or write: its path, identity and header
    // (date and count bytes left out).
    struct SyncedFile {
        std::string path;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t mtimeNs = 0;
        std::vector<std::uint8_t> header;
    };
    SyncedFile synced_;
    bool forceWhole_ = false; // an in-place write failed half-way: the next one is whole
    bool lastIncremental_ = false;
    void Tell();

    bool changed_ = false;
    RecordSink sink_;
    std::vector<std::uint8_t> buffer_; // the in-memory table's field buffer
    TTzWriteIO *io_ = nullptr;
    LoadVisitor *loadVisitor_ = nullptr;
    bool loadVisited_ = false;
};

class TTzVFile : public TTzLLDataSet {
public:
    explicit TTzVFile(std::string name = {}) : TTzLLDataSet(std::move(name)) {}

    LStatusType AppendMode() const { return appendMode_; }
    // While open, switches the table's mode at once; ASCENDING and DESCENDING first install the
    // key routine and sort the records.
    void SetAppendMode(LStatusType mode);

    // Key routine of ASCENDING and DESCENDING tables; without one the key is field 1's text.
    const KeyMaker &KeyMakerAddress() const { return keyMaker_; }
    void SetKeyMakerAddress(KeyMaker keyMaker);
};

} // namespace dbf
