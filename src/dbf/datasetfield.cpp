// The dataset's dates and its field objects (TDbfFieldProps, TField).
#include "dbf/dataset.h"

#include "dbf/dataset_p.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace dbf {

using namespace dataset_detail;

namespace {

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

} // namespace

namespace dataset_detail {

double DateFormToDateTime(std::string_view text) {
    std::string stored = DateFormToStored(text);
    int y = 0, m = 0, d = 0;
    if (stored.size() != 8) return 0;
    for (int i = 0; i < 8; ++i)
        if (stored[i] < '0' || stored[i] > '9') return 0;
    std::from_chars(stored.data(), stored.data() + 4, y);
    std::from_chars(stored.data() + 4, stored.data() + 6, m);
    std::from_chars(stored.data() + 6, stored.data() + 8, d);
    if (m < 1 || m > 12 || d < 1 || d > 31) return 0;
    return EncodeDate(y, m, d);
}

std::string DateTimeToDateForm(double value) {
    if (value == 0 || !std::isfinite(value)) return BlankDateForm();
    int y, m, d;
    DecodeDate(value, y, m, d);
    if (y < 1 || y > 9999) return BlankDateForm();
    char stored[16];
    std::snprintf(stored, sizeof stored, "%04d%02d%02d", y, m, d);
    return StoredToDateForm(std::string_view(stored, 8));
}

} // namespace dataset_detail

double EncodeDate(int year, int month, int day) {
    return static_cast<double>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch);
}

void DecodeDate(double dateTime, int &year, int &month, int &day) {
    std::int64_t z = static_cast<std::int64_t>(std::floor(dateTime)) + kEpoch + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

std::string WithDbfExtension(std::string_view fileName) {
    std::string name(Trim(fileName));
    if (name.empty() || name.back() == '.') return name;
    std::size_t slash = name.find_last_of("/\\");
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".DBF";
    return name;
}

// ---------------------------------------------------------------------------------------------
// TDbfFieldProps

TDbfFieldProps::TDbfFieldProps(std::vector<FieldDesc> descs, std::uint8_t *fieldBuffer)
    : descs_(std::move(descs)), buffer_(fieldBuffer) {
    for (const FieldDesc &d : descs_)
        fields_.push_back(TDTField{d.name, d.type, d.width, d.decimals, d.bufOffset});
}

const TDTField *TDbfFieldProps::ByNumber(int number) const {
    if (number < 1 || number > Count()) return nullptr;
    return &fields_[static_cast<std::size_t>(number - 1)];
}

int TDbfFieldProps::NumberOf(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameName(fields_[static_cast<std::size_t>(i)].name, name)) return i + 1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// TField

const std::uint8_t *TField::Data() const {
    dataset_->RequireActive("field value");
    return dataset_->active_.data() + offset_;
}

std::uint8_t *TField::WritableData() {
    dataset_->RequireActive("field value");
    return dataset_->active_.data() + offset_;
}

bool TField::IsNull() const {
    return type_ == TFieldType::ftDate && Load<double>(Data()) == 0;
}

std::string TField::TextOf(const std::uint8_t *record, bool display) const {
    const std::uint8_t *p = record + offset_;
    switch (type_) {
    case TFieldType::ftString: {
        std::size_t len = std::min<std::size_t>(p[0], static_cast<std::size_t>(size_));
        std::string s(reinterpret_cast<const char *>(p + 1), len);
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    }
    case TFieldType::ftDate: {
        double v = Load<double>(p);
        return v == 0 ? std::string() : DateTimeToDateForm(v);
    }
    case TFieldType::ftFloat:
        return FloatText(Load<double>(p));
    case TFieldType::ftBoolean: {
        bool v = Load<std::uint16_t>(p) != 0;
        return display ? (v ? "True" : "False") : (v ? "True" : "False");
    }
    default:
        return std::to_string(Load<std::int32_t>(p));
    }
}

std::string TField::AsString() const {
    return TextOf(Data() - offset_, false);
}

std::string TField::DisplayText() const {
    return TextOf(Data() - offset_, true);
}

std::int32_t TField::AsInteger() const {
    const std::uint8_t *p = Data();
    switch (type_) {
    case TFieldType::ftFloat:
    case TFieldType::ftDate: {
        double v = std::round(Load<double>(p));
        v = std::clamp(v, -2147483648.0, 2147483647.0);
        return static_cast<std::int32_t>(v);
    }
    case TFieldType::ftBoolean:
        return Load<std::uint16_t>(p) != 0;
    case TFieldType::ftString:
        return ParseInt32(AsString());
    default:
        return Load<std::int32_t>(p);
    }
}

double TField::AsFloat() const {
    const std::uint8_t *p = Data();
    switch (type_) {
    case TFieldType::ftFloat:
    case TFieldType::ftDate:
        return Load<double>(p);
    case TFieldType::ftBoolean:
        return Load<std::uint16_t>(p) != 0;
    case TFieldType::ftString:
        return ParseNumber(AsString());
    default:
        return Load<std::int32_t>(p);
    }
}

bool TField::AsBoolean() const {
    switch (type_) {
    case TFieldType::ftBoolean:
        return Load<std::uint16_t>(Data()) != 0;
    case TFieldType::ftString: {
        std::string s = AsString();
        return !s.empty() && (Upper(s[0]) == 'T' || Upper(s[0]) == 'Y');
    }
    default:
        return AsFloat() != 0;
    }
}

double TField::AsDateTime() const {
    if (type_ == TFieldType::ftString) return DateFormToDateTime(AsString());
    return AsFloat();
}

void TField::SetAsString(std::string_view value) {
    switch (type_) {
    case TFieldType::ftString: {
        std::uint8_t *p = WritableData();
        std::size_t len = std::min<std::size_t>(value.size(), static_cast<std::size_t>(size_));
        p[0] = static_cast<std::uint8_t>(len);
        std::memcpy(p + 1, value.data(), len);
        std::memset(p + 1 + len, ' ', static_cast<std::size_t>(size_) - len);
        Changed();
        return;
    }
    case TFieldType::ftDate: {
        std::string_view t = Trim(value);
        double v = t.empty() ? 0 : DateFormToDateTime(t);
        if (!t.empty() && v == 0) ShowInfoMessage("        Invalid date       ");
        SetAsDateTime(v);
        return;
    }
    case TFieldType::ftBoolean: {
        std::string_view t = Trim(value);
        if (SameName(t, "True") || SameName(t, "T") || SameName(t, "Y") || t == "1")
            SetAsBoolean(true);
        else if (t.empty() || SameName(t, "False") || SameName(t, "F") || SameName(t, "N") ||
                 t == "0")
            SetAsBoolean(false);
        else
            throw EDatabaseError("'" + std::string(value) + "' is not a valid boolean value");
        return;
    }
    default: {
        std::string_view t = Trim(value);
        if (t.empty()) {
            SetAsFloat(0);
            return;
        }
        double v = 0;
        auto res = std::from_chars(t.data(), t.data() + t.size(), v);
        if (res.ec != std::errc() || res.ptr != t.data() + t.size())
            throw EDatabaseError("'" + std::string(value) + "' is not a valid number");
        SetAsFloat(v);
        return;
    }
    }
}

void TField::SetAsInteger(std::int32_t value) {
    SetAsFloat(value);
}

void TField::SetAsFloat(double value) {
    std::uint8_t *p = WritableData();
    switch (type_) {
    case TFieldType::ftFloat:
        Put<double>(p, RoundToDecimals(value, decimals_));
        break;
    case TFieldType::ftDate:
        Put<double>(p, value);
        break;
    case TFieldType::ftBoolean:
        Put<std::uint16_t>(p, value != 0);
        break;
    case TFieldType::ftString:
        SetAsString(FloatText(value));
        return;
    default: {
        double v = std::isfinite(value) ? std::round(value) : 0;
        v = std::clamp(v, -2147483648.0, 2147483647.0);
        Put<std::int32_t>(p, static_cast<std::int32_t>(v));
        break;
    }
    }
    Changed();
}

void TField::SetAsBoolean(bool value) {
    if (type_ == TFieldType::ftString) {
        SetAsString(value ? "T" : "F");
        return;
    }
    SetAsFloat(value ? 1 : 0);
}

void TField::SetAsDateTime(double value) {
    if (type_ == TFieldType::ftString) {
        SetAsString(value == 0 ? std::string() : DateTimeToDateForm(value));
        return;
    }
    if (type_ == TFieldType::ftDate) {
        // Only the date part is kept.
        double day = std::isfinite(value) ? std::floor(value) : 0;
        if (day != 0) {
            int y, m, d;
            DecodeDate(day, y, m, d);
            if (y < 1 || y > 9999) {
                ShowInfoMessage("        Invalid date       ");
                day = 0;
            }
        }
        Put<double>(WritableData(), day);
        Changed();
        return;
    }
    SetAsFloat(value);
}

void TField::Clear() {
    if (type_ == TFieldType::ftString)
        SetAsString({});
    else
        SetAsFloat(0);
}

void TField::Changed() {
    TTzDataSet &ds = *dataset_;
    ds.modified_ = true;
    // The field alone goes into the work area's field buffer at once.
    if (ds.fieldBuffer_ && ds.props_) {
        const FieldDesc &d = ds.props_->Descs()[static_cast<std::size_t>(fieldNo_ - 1)];
        const std::uint8_t *p = ds.active_.data() + offset_;
        switch (type_) {
        case TFieldType::ftString: {
            std::size_t len = std::min<std::size_t>(p[0], static_cast<std::size_t>(size_));
            SetString(d, ds.fieldBuffer_,
                      std::string_view(reinterpret_cast<const char *>(p + 1), len));
            break;
        }
        case TFieldType::ftDate:
            SetString(d, ds.fieldBuffer_, DateTimeToDateForm(Load<double>(p)));
            break;
        case TFieldType::ftFloat:
            SetNumber(d, ds.fieldBuffer_, Load<double>(p));
            break;
        case TFieldType::ftBoolean:
            SetLogical(d, ds.fieldBuffer_, Load<std::uint16_t>(p) != 0);
            break;
        default:
            SetNumber(d, ds.fieldBuffer_, Load<std::int32_t>(p));
            break;
        }
    }
    ds.NotifyRecordChanged(this);
}

} // namespace dbf
