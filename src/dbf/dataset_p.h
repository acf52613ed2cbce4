// Helpers shared by the dataset's source files (datasetfield.cpp: dates and the field
// objects; dataset.cpp: the datasets). Not for other code.
#pragma once

#include "dbf/dataset.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace dbf::dataset_detail {

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// The value formatted with `decimals` and read back, as the stored text would give it.
inline double RoundToDecimals(double value, int decimals) {
    if (!std::isfinite(value)) return 0;
    char text[400];
    auto res = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return value;
    double back = 0;
    std::from_chars(text, res.ptr, back);
    return back;
}

inline std::string FloatText(double value) {
    char text[64];
    auto res = std::to_chars(text, text + sizeof text, value);
    return std::string(text, res.ptr);
}

// Dataset record buffer size of one field.
inline int RecordBytes(const FieldDesc &d) {
    switch (d.type) {
    case 'C':
        return d.width + 1;
    case 'D':
        return 8;
    case 'L':
        return 2;
    case 'M':
        return 4;
    default:
        return d.decimals > 0 ? 8 : 4;
    }
}

template <typename T> T Load(const std::uint8_t *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T> void Put(std::uint8_t *p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Date-form text -> days since 30 December 1899; 0 when blank or not a date.
double DateFormToDateTime(std::string_view text);
// Days -> date-form text; 0 gives the blank date form.
std::string DateTimeToDateForm(double value);

} // namespace dbf::dataset_detail
