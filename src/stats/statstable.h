#pragma once

#include "dbf/vfile.h"

#include <cstdint>
#include <string_view>

// One statistics table: the engine's in-memory table with the few moves the recording needs
// beyond the record commands.
class StatsTable : public dbf::TTzVFile {
public:
    using dbf::TTzVFile::TTzVFile;

    // Puts the dataset on record recNo (1..RecordCount()).
    void GotoRow(std::int32_t recNo);
    // Where a search that finds nothing leaves the dataset: on the last record with the
    // end-of-table state set (both states on an empty table).
    void GotoEnd();

    // Calls visit(recNo, fieldBuffer) for every visible record in table order, reading the
    // stored records without moving to them. The dataset ends on its first record.
    template <typename Visit> void ScanRows(Visit &&visit) {
        if (!Active()) return;
        const dbf::EngineScope scope(Engine());
        if (!SelectWorkArea("ScanRows")) return;
        const bool hideDeleted = dbf::HideDeleted();
        dbf::VisitRecords([&](std::int32_t recNo, const std::uint8_t *record) {
            if (!(hideDeleted && record[0] != 0)) visit(recNo, record);
        });
        if (dbf::RecCount() > 0) First();
    }

    // The field of the open table (nullptr when absent).
    const dbf::FieldDesc *Desc(std::string_view name) const;

    // Field values in a field buffer of this table.
    static std::int32_t IntAt(const dbf::FieldDesc &field, const std::uint8_t *buffer);
    static double FloatAt(const dbf::FieldDesc &field, const std::uint8_t *buffer);
    // Character field text without its trailing blanks.
    static std::string_view TextAt(const dbf::FieldDesc &field, const std::uint8_t *buffer);
};
