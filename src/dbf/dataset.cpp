// The datasets: TTzDataLink, TTzDataSet and TTzCDataSet (dates and field objects:
// datasetfield.cpp).
#include "dbf/dataset.h"

#include "dbf/dataset_p.h"
#include "dbf/dbferror.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dbf {

using namespace dataset_detail;

// ---------------------------------------------------------------------------------------------
// TTzDataLink

TTzDataLink::~TTzDataLink() {
    SetDataSet(nullptr);
}

void TTzDataLink::SetDataSet(TTzDataSet *dataset) {
    if (dataset_ == dataset) return;
    if (dataset_) {
        auto &links = dataset_->links_;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
    dataset_ = dataset;
    if (dataset_) dataset_->links_.push_back(this);
    ActiveChanged();
}

bool TTzDataLink::Active() const {
    return dataset_ && dataset_->Active();
}

// ---------------------------------------------------------------------------------------------
// TTzDataSet

TTzDataSet::TTzDataSet(std::string name) : name_(std::move(name)) {}

TTzDataSet::~TTzDataSet() {
    const EngineScope scope(Engine());
    for (TTzDataLink *link : links_)
        link->dataset_ = nullptr;
    links_.clear();
    if (workArea_ != 0) {
        // A derived class that did not close its table: give the work area back.
        ReportingScope quiet(false);
        int previous = CurrentWorkArea();
        if (Select(workArea_)) USE("");
        if (previous != workArea_) Select(previous);
        workArea_ = 0;
    }
}

void TTzDataSet::SetEngine(TableEngine &engine) {
    if (workArea_ != 0)
        throw EDatabaseError(name_ + ": Cannot change the engine of an open dataset");
    engine_ = &engine;
}

void TTzDataSet::RequireActive(std::string_view operation) const {
    if (state_ == TDataSetState::dsInactive)
        throw EDatabaseError(name_ + ": Cannot perform this operation on a closed dataset (" +
                             std::string(operation) + ")");
}

bool TTzDataSet::SelectWorkArea(std::string_view operation) {
    if (workArea_ == 0) {
        RaiseError(kErrInvalidOperation,
                   "Database is not open [" + name_ + "." + std::string(operation) + "]");
        return false;
    }
    if (CurrentWorkArea() != workArea_) Select(workArea_);
    ApplyEngineSettings();
    return true;
}

void TTzDataSet::DoBeforeRestore() {
    if (BeforeRestore) BeforeRestore(*this);
}

void TTzDataSet::DoAfterRestore() {
    if (AfterRestore) AfterRestore(*this);
}

void TTzDataSet::CloseTable() {
    int previous = CurrentWorkArea();
    if (workArea_ != 0 && Select(workArea_)) USE("");
    if (previous != workArea_ && previous >= 1) Select(previous);
    workArea_ = 0;
}

void TTzDataSet::ReleaseTable() {
    ReportingScope quiet(false);
    int code = LastErrorCode();
    std::string message = LastErrorMessage();
    if (workArea_ != 0) {
        int previous = CurrentWorkArea();
        if (Select(workArea_)) USE("");
        if (previous != workArea_) Select(previous);
    }
    workArea_ = 0;
    props_.reset();
    fields_.clear();
    fieldBuffer_ = nullptr;
    // Keep the error that made the open fail.
    if (code != 0) {
        SetImmediateReporting(false);
        RaiseError(code, message);
    }
}

void TTzDataSet::SetActive(bool active) {
    const EngineScope scope(Engine());
    if (active == Active()) return;
    if (!active) {
        DoClose();
        return;
    }
    if (BeforeOpen) BeforeOpen(*this);
    if (!CanOpen()) return;
    props_.reset();
    int previous = CurrentWorkArea();
    bool selected = workArea_ != 0 ? Select(workArea_) : Select(0);
    if (!selected) {
        Select(previous);
        return;
    }
    ApplyEngineSettings();
    bool ok = false;
    try {
        ok = OpenTable();
        if (ok) {
            workArea_ = CurrentWorkArea();
            props_ = std::make_unique<TDbfFieldProps>(dbf::Fields(), fieldBuffer_);
            AfterOpenTable();
        }
    } catch (...) {
        ReleaseTable();
        throw;
    }
    if (LastErrorCode() != 0) {
        int code = LastErrorCode();
        std::string message = LastErrorMessage();
        ReleaseTable();
        ClearError();
        throw ERedadError(code, FullErrorText(code, message));
    }
    if (!ok || !props_) {
        ReleaseTable();
        throw EDatabaseError(name_ + ".DbfFields undefined. Set Active to TRUE");
    }
    BuildFields();
    state_ = TDataSetState::dsBrowse;
    modified_ = false;
    // Start on the first record.
    Select(workArea_);
    GoTop();
    Resync();
    bof_ = true;
    for (TTzDataLink *link : std::vector<TTzDataLink *>(links_)) {
        link->ActiveChanged();
        link->LayoutChanged();
    }
    if (AfterOpen) AfterOpen(*this);
}

void TTzDataSet::DoClose() {
    if (BeforeClose) BeforeClose(*this);
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) {
        state_ = TDataSetState::dsBrowse;
        modified_ = false;
    }
    CloseTable(); // may throw when the table cannot be written; it then stays open
    props_.reset();
    fields_.clear();
    fieldBuffer_ = nullptr;
    active_.clear();
    state_ = TDataSetState::dsInactive;
    recNo_ = 0;
    eof_ = bof_ = true;
    for (TTzDataLink *link : std::vector<TTzDataLink *>(links_))
        link->ActiveChanged();
    if (AfterClose) AfterClose(*this);
}

void TTzDataSet::BuildFields() {
    fields_.clear();
    int pos = 1;
    const DateForm &form = CurrentDateForm();
    const auto &descs = props_->Descs();
    for (std::size_t i = 0; i < descs.size(); ++i) {
        const FieldDesc &d = descs[i];
        std::unique_ptr<TField> f;
        if (d.type == 'D') {
            auto date = std::make_unique<TTzDateField>();
            std::string year = form.fourDigitYear ? "9999" : "99";
            date->EditMask =
                form.order == DateOrder::YMD ? year + "/99/99;1; " : "99/99/" + year + ";1; ";
            f = std::move(date);
        } else {
            f.reset(new TField());
        }
        f->dataset_ = this;
        f->name_ = d.name;
        f->dbfType_ = d.type;
        f->fieldNo_ = static_cast<int>(i) + 1;
        f->decimals_ = d.decimals;
        f->offset_ = pos;
        switch (d.type) {
        case 'C':
            f->type_ = TFieldType::ftString;
            f->size_ = d.width;
            break;
        case 'D':
            f->type_ = TFieldType::ftDate;
            break;
        case 'L':
            f->type_ = TFieldType::ftBoolean;
            break;
        case 'M':
            f->type_ = IsInMemory() ? TFieldType::ftInteger : TFieldType::ftMemo;
            break;
        default:
            f->type_ = d.decimals > 0 ? TFieldType::ftFloat : TFieldType::ftInteger;
            f->precision_ = d.width;
            break;
        }
        pos += RecordBytes(d);
        fields_.push_back(std::move(f));
    }
    recordSize_ = pos;
    active_.assign(static_cast<std::size_t>(recordSize_), 0);
}

void TTzDataSet::ConvertFieldBuffer(std::uint8_t *record) const {
    const auto &descs = props_->Descs();
    record[0] = fieldBuffer_[0] != 0;
    for (std::size_t i = 0; i < descs.size(); ++i) {
        const FieldDesc &d = descs[i];
        const TField &f = *fields_[i];
        std::uint8_t *dst = record + f.offset_;
        const std::uint8_t *src = fieldBuffer_ + d.bufOffset;
        switch (d.type) {
        case 'C': {
            std::uint8_t len = std::min<std::uint8_t>(src[0], static_cast<std::uint8_t>(d.width));
            dst[0] = len;
            std::memcpy(dst + 1, src + 1, len);
            std::memset(dst + 1 + len, ' ', static_cast<std::size_t>(d.width - len));
            break;
        }
        case 'D':
            Put<double>(dst, DateFormToDateTime(GetString(d, fieldBuffer_)));
            break;
        case 'L':
            Put<std::uint16_t>(dst, src[0] != 0);
            break;
        case 'M':
            std::memcpy(dst, src, 4);
            break;
        default:
            if (d.decimals > 0)
                Put<double>(dst, RoundToDecimals(Load<double>(src), d.decimals));
            else
                std::memcpy(dst, src, 4);
            break;
        }
    }
}

void TTzDataSet::LoadActiveFromFieldBuffer() {
    if (!props_ || !fieldBuffer_) return;
    ConvertFieldBuffer(active_.data());
}

void TTzDataSet::StoreActiveToFieldBuffer() {
    if (!props_ || !fieldBuffer_) return;
    fieldBuffer_[0] = active_[0];
    bool saved = modified_;
    // Field writes of the same values, without notifying anybody.
    int disabled = disableCount_;
    disableCount_ = 1;
    bool pending = pendingChange_;
    for (auto &f : fields_) {
        const FieldDesc &d = props_->Descs()[static_cast<std::size_t>(f->fieldNo_ - 1)];
        const std::uint8_t *p = active_.data() + f->offset_;
        switch (f->type_) {
        case TFieldType::ftString:
            SetString(d, fieldBuffer_,
                      std::string_view(reinterpret_cast<const char *>(p + 1),
                                       std::min<std::size_t>(p[0], d.width)));
            break;
        case TFieldType::ftDate:
            SetString(d, fieldBuffer_, DateTimeToDateForm(Load<double>(p)));
            break;
        case TFieldType::ftFloat:
            SetNumber(d, fieldBuffer_, Load<double>(p));
            break;
        case TFieldType::ftBoolean:
            SetLogical(d, fieldBuffer_, Load<std::uint16_t>(p) != 0);
            break;
        default:
            SetNumber(d, fieldBuffer_, Load<std::int32_t>(p));
            break;
        }
    }
    disableCount_ = disabled;
    pendingChange_ = pending;
    modified_ = saved;
}

void TTzDataSet::SyncCursor() {
    if (recNo_ >= 1 && recNo_ <= RecCount() && dbf::RecNo() != recNo_) GO(recNo_);
}

void TTzDataSet::SetState(TDataSetState state) {
    if (state_ == state) return;
    state_ = state;
    if (disableCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    for (TTzDataLink *link : std::vector<TTzDataLink *>(links_))
        link->EditingChanged();
}

void TTzDataSet::NotifyDataSetChanged() {
    if (disableCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    for (TTzDataLink *link : std::vector<TTzDataLink *>(links_))
        link->DataSetChanged();
}

void TTzDataSet::NotifyRecordChanged(TField *field) {
    if (disableCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    for (TTzDataLink *link : std::vector<TTzDataLink *>(links_))
        link->RecordChanged(field);
}

void TTzDataSet::ScrollBy(int moved) {
    if (disableCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    for (TTzDataLink *link : std::vector<TTzDataLink *>(links_))
        link->DataSetScrolled(moved);
}

void TTzDataSet::DisableControls() {
    ++disableCount_;
}

void TTzDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        NotifyDataSetChanged();
    }
}

void TTzDataSet::Resync(bool /*atEofGoLast*/) {
    if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert)
        SetState(TDataSetState::dsBrowse);
    modified_ = false;
    if (RecCount() == 0 || (dEOF() && dBOF())) {
        std::fill(active_.begin(), active_.end(), 0);
        recNo_ = 0;
        eof_ = bof_ = true;
    } else if (dEOF()) {
        // Past the last record: the dataset shows the last one and is at its end.
        GoBottom();
        if (dEOF()) {
            std::fill(active_.begin(), active_.end(), 0);
            recNo_ = 0;
            eof_ = bof_ = true;
        } else {
            LoadActiveFromFieldBuffer();
            recNo_ = dbf::RecNo();
            eof_ = true;
            bof_ = false;
        }
    } else {
        LoadActiveFromFieldBuffer();
        recNo_ = dbf::RecNo();
        eof_ = bof_ = false;
    }
    NotifyDataSetChanged();
}

void TTzDataSet::First() {
    const EngineScope scope(Engine());
    RequireActive("First");
    if (state_ != TDataSetState::dsBrowse) Cancel();
    if (!SelectWorkArea("First")) return;
    if (BeforeScroll) BeforeScroll(*this);
    GoTop();
    Resync();
    bof_ = true;
    if (AfterScroll) AfterScroll(*this);
}

void TTzDataSet::Last() {
    const EngineScope scope(Engine());
    RequireActive("Last");
    if (state_ != TDataSetState::dsBrowse) Cancel();
    if (!SelectWorkArea("Last")) return;
    if (BeforeScroll) BeforeScroll(*this);
    GoBottom();
    Resync();
    if (recNo_ != 0) eof_ = true;
    if (AfterScroll) AfterScroll(*this);
}

int TTzDataSet::MoveBy(int distance) {
    const EngineScope scope(Engine());
    RequireActive("MoveBy");
    if (state_ != TDataSetState::dsBrowse) Cancel();
    if (distance == 0) return 0;
    if (!SelectWorkArea("MoveBy")) return 0;
    if (RecCount() == 0) {
        eof_ = bof_ = true;
        return 0;
    }
    if (BeforeScroll) BeforeScroll(*this);
    if (recNo_ < 1 || recNo_ > RecCount()) {
        GoTop();
        if (dEOF()) return 0;
        recNo_ = dbf::RecNo();
    }
    SyncCursor();
    int moved = 0;
    if (distance > 0) {
        bof_ = false;
        eof_ = false;
        while (moved < distance) {
            SKIP(1);
            if (dEOF()) {
                eof_ = true;
                GO(recNo_);
                break;
            }
            recNo_ = dbf::RecNo();
            ++moved;
        }
    } else {
        eof_ = false;
        bof_ = false;
        while (moved > distance) {
            SKIP(-1);
            if (dBOF()) {
                bof_ = true;
                recNo_ = dbf::RecNo();
                break;
            }
            recNo_ = dbf::RecNo();
            --moved;
        }
    }
    LoadActiveFromFieldBuffer();
    ScrollBy(moved);
    if (AfterScroll) AfterScroll(*this);
    return moved;
}

bool TTzDataSet::IsEmpty() {
    RequireActive("IsEmpty");
    return RecordCount() == 0;
}

std::int32_t TTzDataSet::RecordCount() {
    const EngineScope scope(Engine());
    RequireActive("RecordCount");
    if (!SelectWorkArea("RecordCount")) return 0;
    return RecCount();
}

void TTzDataSet::SetRecNo(std::int32_t recNo) {
    const EngineScope scope(Engine());
    RequireActive("RecNo");
    if (state_ != TDataSetState::dsBrowse) Cancel();
    if (!SelectWorkArea("RecNo")) return;
    if (recNo < 1 || recNo > RecCount() || recNo == recNo_) return;
    if (BeforeScroll) BeforeScroll(*this);
    GO(recNo);
    Resync();
    if (AfterScroll) AfterScroll(*this);
}

void TTzDataSet::GotoBookmark(std::int32_t bookmark) {
    SetRecNo(bookmark);
}

bool TTzDataSet::BookmarkValid(std::int32_t bookmark) {
    const EngineScope scope(Engine());
    if (!Active()) return false;
    if (!SelectWorkArea("BookmarkValid")) return false;
    if (bookmark < 1 || bookmark > RecCount()) return false;
    if (!HideDeleted()) return true;
    std::vector<std::string> texts;
    bool deleted = false;
    return ReadRow(bookmark, texts, deleted) && !deleted;
}

TField &TTzDataSet::Fields(int index) const {
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(name_ + ": field index out of range");
    return *fields_[static_cast<std::size_t>(index)];
}

TField *TTzDataSet::FindField(std::string_view name) const {
    for (const auto &f : fields_)
        if (SameName(f->FieldName(), Trim(name))) return f.get();
    return nullptr;
}

TField &TTzDataSet::FieldByName(std::string_view name) const {
    TField *f = FindField(name);
    if (!f) throw EDatabaseError(name_ + ": Field '" + std::string(name) + "' not found");
    return *f;
}

void TTzDataSet::Edit() {
    RequireActive("Edit");
    if (state_ != TDataSetState::dsBrowse) return;
    if (!CanModify()) throw EDatabaseError(name_ + ": Cannot modify a read-only dataset");
    if (recNo_ == 0) {
        Insert();
        return;
    }
    if (BeforeEdit) BeforeEdit(*this);
    SetState(TDataSetState::dsEdit);
    if (AfterEdit) AfterEdit(*this);
}

void TTzDataSet::Insert() {
    const EngineScope scope(Engine());
    RequireActive("Insert");
    if (!CanModify()) throw EDatabaseError(name_ + ": Cannot modify a read-only dataset");
    if (state_ != TDataSetState::dsBrowse) Cancel();
    if (BeforeInsert) BeforeInsert(*this);
    if (!SelectWorkArea("Insert")) return;
    SyncCursor();
    dbf::ClearRecord();
    LoadActiveFromFieldBuffer();
    SetState(TDataSetState::dsInsert);
    modified_ = false;
    if (OnNewRecord) OnNewRecord(*this);
    NotifyRecordChanged(nullptr);
    if (AfterInsert) AfterInsert(*this);
}

void TTzDataSet::Post() {
    const EngineScope scope(Engine());
    RequireActive("Post");
    if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
    if (BeforePost) BeforePost(*this);
    if (!SelectWorkArea("Post")) return;
    StoreActiveToFieldBuffer();
    if (state_ == TDataSetState::dsEdit) {
        SyncCursor();
        StoreActiveToFieldBuffer();
        s_ReplaceWithLock();
    } else {
        fieldBuffer_[0] = 0;
        s_AppendWithLock();
    }
    Resync();
    if (AfterPost) AfterPost(*this);
}

void TTzDataSet::Cancel() {
    const EngineScope scope(Engine());
    RequireActive("Cancel");
    if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
    if (BeforeCancel) BeforeCancel(*this);
    if (SelectWorkArea("Cancel")) {
        if (recNo_ >= 1 && recNo_ <= RecCount()) {
            GO(recNo_);
            LoadActiveFromFieldBuffer();
        } else {
            std::fill(active_.begin(), active_.end(), 0);
        }
    }
    SetState(TDataSetState::dsBrowse);
    modified_ = false;
    NotifyDataSetChanged();
    if (AfterCancel) AfterCancel(*this);
}

void TTzDataSet::Delete() {
    const EngineScope scope(Engine());
    RequireActive("Delete");
    if (!CanModify()) throw EDatabaseError(name_ + ": Cannot modify a read-only dataset");
    if (state_ == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (state_ == TDataSetState::dsEdit) Cancel();
    if (recNo_ == 0)
        throw EDatabaseError(name_ + ": Cannot perform this operation on an empty dataset");
    if (BeforeDelete) BeforeDelete(*this);
    if (!SelectWorkArea("Delete")) return;
    SyncCursor();
    s_DeleteWithLock();
    LoadActiveFromFieldBuffer();
    NotifyDataSetChanged();
    if (AfterDelete) AfterDelete(*this);
}

bool TTzDataSet::RecordDeleted() const {
    RequireActive("RecordDeleted");
    return active_[0] != 0;
}

void TTzDataSet::SetRecordDeleted(bool deleted) {
    const EngineScope scope(Engine());
    RequireActive("SetRecordDeleted");
    if (deleted) {
        Delete();
        return;
    }
    if (recNo_ == 0 || !RecordDeleted()) return;
    if (!CanModify()) throw EDatabaseError(name_ + ": Cannot modify a read-only dataset");
    DoBeforeRestore();
    if (!SelectWorkArea("Restore")) return;
    SyncCursor();
    s_RestoreWithLock();
    LoadActiveFromFieldBuffer();
    NotifyDataSetChanged();
    DoAfterRestore();
}

bool TTzDataSet::ReadRow(std::int32_t recNo, std::vector<std::string> &texts, bool &deleted) {
    const EngineScope scope(Engine());
    RequireActive("ReadRow");
    if (!SelectWorkArea("ReadRow")) return false;
    std::int32_t count = RecCount();
    if (recNo < 1 || recNo > count) return false;
    // Remember the cursor and the field buffer (it may hold field writes not yet posted).
    std::int32_t current = dbf::RecNo();
    bool atEof = dEOF();
    std::size_t size = FieldBufferSize();
    std::vector<std::uint8_t> saved(fieldBuffer_, fieldBuffer_ + size);
    AfterMoveNotifier notifier = CurrentAfterMoveNotifier();
    SetAfterMoveNotifier({});

    GO(recNo);
    std::vector<std::uint8_t> record(static_cast<std::size_t>(recordSize_), 0);
    ConvertFieldBuffer(record.data());
    deleted = record[0] != 0;
    texts.clear();
    for (const auto &f : fields_)
        texts.push_back(f->TextOf(record.data(), true));

    if (!atEof && current >= 1 && current <= count) {
        GO(current);
    } else {
        GoBottom();
        SKIP(1);
    }
    std::memcpy(fieldBuffer_, saved.data(), size);
    SetAfterMoveNotifier(std::move(notifier));
    return true;
}

// ---------------------------------------------------------------------------------------------
// TTzCDataSet

TTzCDataSet::TTzCDataSet(std::string name) : TTzDataSet(std::move(name)) {}

void TTzCDataSet::ApplyEngineSettings() {
    SetHideDeleted(HideDeletedRecs);
    SetTableLanguage(TableLanguage);
}

bool TTzCDataSet::CanOpen() {
    if (dbfFileName_.empty()) {
        RaiseError(kErrInvalidOperation, "DBF file name has not been specified for " + name_);
        return false;
    }
    return true;
}

void TTzCDataSet::SetDbfFileName(std::string_view fileName) {
    const EngineScope scope(Engine());
    bool wasActive = Active();
    if (IsInMemory() && IsRunTime()) {
        if (wasActive) MarkChanged();
    } else {
        SetActive(false);
    }
    dbfFileName_ = WithDbfExtension(fileName);
    SetActive(wasActive);
}

void TTzCDataSet::AppendRec() {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("AppendRec")) return;
    Append();
    MarkChanged();
    RecordWritten();
    Resync();
}

void TTzCDataSet::ReplaceRec() {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("ReplaceRec")) return;
    Replace();
    MarkChanged();
    RecordWritten();
    Resync();
}

void TTzCDataSet::ClearRecord() {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("ClearRecord")) return;
    SyncCursor();
    SetState(RecCount() == 0 ? TDataSetState::dsInsert : TDataSetState::dsEdit);
    StoreActiveToFieldBuffer();
    dbf::ClearRecord();
    LoadActiveFromFieldBuffer();
    modified_ = true;
    NotifyRecordChanged(nullptr);
}

bool TTzCDataSet::AfterLocate(bool found) {
    Resync(true);
    return found && !Eof();
}

bool TTzCDataSet::LocateValue(std::string_view fieldSpec, const dbf::LocateValue &value) {
    // The field is the text before the first blank of the locate expression.
    std::string_view spec = Trim(fieldSpec);
    std::string_view name = spec.substr(0, spec.find(' '));
    int no = FieldNo(name);
    dbf::LocateValue typed = value;
    if (no > 0) {
        char type = FieldType(no);
        int dec = FieldDec(no);
        double number = 0;
        std::string text;
        if (auto s = std::get_if<std::string>(&value)) {
            text = *s;
            number = ParseNumber(*s);
        } else if (auto d = std::get_if<double>(&value)) {
            number = *d;
            text = FloatText(*d);
        } else if (auto i = std::get_if<std::int32_t>(&value)) {
            number = *i;
            text = std::to_string(*i);
        } else if (auto b = std::get_if<bool>(&value)) {
            number = *b;
            text = *b ? "T" : "F";
        }
        switch (type) {
        case 'C':
        case 'D':
            typed = text;
            break;
        case 'L':
            typed = std::holds_alternative<std::string>(value)
                        ? (!text.empty() && (Upper(text[0]) == 'T' || Upper(text[0]) == 'Y'))
                        : number != 0;
            break;
        case 'M':
            typed = static_cast<std::int32_t>(
                std::clamp(std::round(number), -2147483648.0, 2147483647.0));
            break;
        default:
            if (dec > 0)
                typed = number;
            else
                typed = static_cast<std::int32_t>(
                    std::clamp(std::round(number), -2147483648.0, 2147483647.0));
            break;
        }
    }
    bool found = dbf::Locate(fieldSpec, typed);
    return AfterLocate(found);
}

bool TTzCDataSet::LocateRec(std::string_view fieldSpec, std::string_view value) {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("LocateRec")) return false;
    return LocateValue(fieldSpec, std::string(value));
}

bool TTzCDataSet::LocateRec(std::string_view fieldSpec, double value) {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("LocateRec")) return false;
    return LocateValue(fieldSpec, value);
}

bool TTzCDataSet::LocateRec(std::string_view fieldSpec, std::int32_t value) {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("LocateRec")) return false;
    return LocateValue(fieldSpec, value);
}

bool TTzCDataSet::LocateRec(std::string_view fieldSpec, bool value) {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("LocateRec")) return false;
    return LocateValue(fieldSpec, value);
}

bool TTzCDataSet::Continue() {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("Continue")) return false;
    bool found = dbf::Continue();
    return AfterLocate(found);
}

bool TTzCDataSet::Zap() {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("Zap")) return false;
    bool result = dbf::Zap();
    MarkChanged();
    Resync();
    return result;
}

bool TTzCDataSet::Locate(std::string_view fieldNames, std::string_view value,
                         TLocateOptions options) {
    const EngineScope scope(Engine());
    if (!SelectWorkArea("Locate")) return false;
    std::string opts;
    if (options.caseInsensitive) opts += " NOCASE";
    if (!options.partialKey) opts += " EXACT";
    bool found = LocateMulti(fieldNames, std::string(value), opts);
    Resync();
    return found && !Eof();
}

} // namespace dbf
