// In-memory tables that are filled from and written back to a DBF file.
//
//   TTzLLDataSet  an in-memory work area built from the field-definition strings (DbfFields),
//                 ReadFromDisk (when opening) and WriteToDisk (to commit)
//   TTzVFile      the component applications place: AppendMode, PopulateFromDisk, SaveToDisk,
//                 KeyMakerAddress
//
// WriteToDisk never rewrites the table file in place: it writes the whole table to a new file
// beside it ("<file>.tmp"), flushes it to the disk and renames it over the old file only when
// every record is in. On any failure the old file is left as it was and the error is reported.
//
// ReadFromDisk maps the file's fields to the table's fields by name: fields the file lacks stay
// blank or 0, fields the table lacks are ignored, and a field whose type or size differs is
// converted through its value.
#pragma once

#include "dbf/dataset.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dbf {

// Where appended records go in the in-memory table.
enum class LStatusType { FIFO, LIFO, INSERTION, ASCENDING, DESCENDING };

// File operations of WriteToDisk, replaceable for tests (a device that fails after N bytes).
class TTzWriteIO {
public:
    virtual ~TTzWriteIO() = default;
    // Each returns 0 on success or an errno value.
    virtual int Create(const std::string &path);           // create or truncate, write only
    virtual int Write(const void *data, std::size_t size); // all bytes or an error
    virtual int Sync();                                    // flush the file to the disk
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

    bool IsInMemory() const override { return true; }
    bool CanModify() const override { return true; }

    // Replaces the file operations of WriteToDisk (nullptr: the plain file system).
    void SetWriteIO(TTzWriteIO *io) { io_ = io; }

    // Bytes held by the in-memory records (0 when closed).
    std::size_t MemoryBytes();

protected:
    void MarkChanged() override { changed_ = true; }
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

    bool changed_ = false;
    std::vector<std::uint8_t> buffer_; // the in-memory table's field buffer
    TTzWriteIO *io_ = nullptr;
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
