#include "stats/statstable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

void StatsTable::GotoRow(std::int32_t recNo) {
    const dbf::EngineScope scope(Engine());
    if (!SelectWorkArea("GotoRow")) return;
    dbf::GO(recNo);
    Resync();
}

void StatsTable::GotoEnd() {
    Last();
}

const dbf::FieldDesc *StatsTable::Desc(std::string_view name) const {
    const dbf::TDbfFieldProps *props = FieldProps();
    if (!props) return nullptr;
    const int no = props->NumberOf(name);
    return no > 0 ? &props->Descs()[static_cast<std::size_t>(no - 1)] : nullptr;
}

std::int32_t StatsTable::IntAt(const dbf::FieldDesc &field, const std::uint8_t *buffer) {
    if (field.decimals > 0) {
        // A stored number may lie outside the int range (or be none): the nearest int, the
        // fraction dropped as before.
        const double v = FloatAt(field, buffer);
        if (std::isnan(v)) return 0;
        if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
        if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(v);
    }
    std::int32_t v;
    std::memcpy(&v, buffer + field.bufOffset, sizeof v);
    return v;
}

double StatsTable::FloatAt(const dbf::FieldDesc &field, const std::uint8_t *buffer) {
    if (field.decimals == 0) {
        std::int32_t v;
        std::memcpy(&v, buffer + field.bufOffset, sizeof v);
        return v;
    }
    double v;
    std::memcpy(&v, buffer + field.bufOffset, sizeof v);
    return v;
}

std::string_view StatsTable::TextAt(const dbf::FieldDesc &field, const std::uint8_t *buffer) {
    const std::uint8_t *p = buffer + field.bufOffset;
    std::size_t len = std::min<std::size_t>(p[0], static_cast<std::size_t>(field.width));
    const char *text = reinterpret_cast<const char *>(p + 1);
    // Long runs of trailing blanks are the rule in wide fields: drop them eight at a time.
    static constexpr char Blanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (len >= 8 && std::memcmp(text + len - 8, Blanks, 8) == 0)
        len -= 8;
    while (len > 0 && text[len - 1] == ' ')
        --len;
    return std::string_view(text, len);
}
