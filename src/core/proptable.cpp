#include "proptable.h"

#include "text.h"

#include <algorithm>

namespace kestrune {

std::optional<TPropertyTable::Field> TPropertyTable::FieldByName(const std::string& fieldName)
{
    if (SameText(fieldName, "name"))
        return Field::Name;
    if (SameText(fieldName, "value"))
        return Field::Value;
    if (SameText(fieldName, "grp"))
        return Field::Grp;
    return std::nullopt;
}

bool TPropertyTable::Visible(int index) const
{
    if (index < 0 || index >= TotalCount())
        return false;
    if (!filtered_ || !OnFilterRecord)
        return true;
    return OnFilterRecord(rows_[static_cast<size_t>(index)]);
}

int TPropertyTable::RecordCount() const
{
    if (!filtered_ || !OnFilterRecord)
        return TotalCount();
    int n = 0;
    for (int i = 0; i < TotalCount(); ++i)
        n += Visible(i) ? 1 : 0;
    return n;
}

void TPropertyTable::Changed()
{
    if (disabled_ > 0) {
        pendingChange_ = true;
        return;
    }
    pendingChange_ = false;
    if (OnChange)
        OnChange(*this);
}

void TPropertyTable::EnableControls()
{
    if (disabled_ > 0)
        --disabled_;
    if (disabled_ == 0 && pendingChange_)
        Changed();
}

void TPropertyTable::SetBounds()
{
    bof_ = eof_ = cur_ < 0;
}

void TPropertyTable::First()
{
    if (!LeaveEdit())
        return;
    cur_ = -1;
    for (int i = 0; i < TotalCount(); ++i)
        if (Visible(i)) {
            cur_ = i;
            break;
        }
    SetBounds();
    bof_ = true;
    Changed();
}

void TPropertyTable::Last()
{
    if (!LeaveEdit())
        return;
    cur_ = -1;
    for (int i = TotalCount() - 1; i >= 0; --i)
        if (Visible(i)) {
            cur_ = i;
            break;
        }
    SetBounds();
    eof_ = true;
    Changed();
}

void TPropertyTable::Next()
{
    if (!LeaveEdit())
        return;
    bof_ = false;
    for (int i = cur_ + 1; i < TotalCount(); ++i)
        if (Visible(i)) {
            cur_ = i;
            eof_ = false;
            Changed();
            return;
        }
    eof_ = true;
}

void TPropertyTable::Prior()
{
    if (!LeaveEdit())
        return;
    eof_ = false;
    for (int i = cur_ - 1; i >= 0; --i)
        if (Visible(i)) {
            cur_ = i;
            bof_ = false;
            Changed();
            return;
        }
    bof_ = true;
}

bool TPropertyTable::MoveTo(int index)
{
    if (!Visible(index))
        return false;
    if (!LeaveEdit())
        return false;
    cur_ = index;
    bof_ = eof_ = false;
    Changed();
    return true;
}

const TPropertyRow* TPropertyTable::Current() const
{
    if (state_ != State::Browse)
        return &buffer_;
    if (cur_ < 0 || cur_ >= TotalCount())
        return nullptr;
    return &rows_[static_cast<size_t>(cur_)];
}

std::string TPropertyTable::AsString(Field f) const
{
    const TPropertyRow* row = Current();
    if (!row)
        return {};
    switch (f) {
    case Field::Name: return row->name;
    case Field::Value: return row->value;
    case Field::Grp: return row->grp ? std::to_string(*row->grp) : std::string();
    }
    return {};
}

std::optional<int> TPropertyTable::AsInteger(Field f) const
{
    const TPropertyRow* row = Current();
    if (!row)
        return std::nullopt;
    if (f == Field::Grp)
        return row->grp;
    const auto v = StrToInt32(f == Field::Name ? row->name : row->value);
    if (!v)
        return std::nullopt;
    return static_cast<int>(*v);
}

void TPropertyTable::SetString(Field f, const std::string& text)
{
    if (state_ == State::Browse)
        Edit();
    if (state_ == State::Browse)
        return; // nothing to edit
    switch (f) {
    case Field::Name: buffer_.name = text; break;
    case Field::Value: buffer_.value = text; break;
    case Field::Grp: {
        const auto v = StrToInt32(text);
        buffer_.grp = v ? std::optional<int>(*v) : std::nullopt;
        break;
    }
    }
    Changed();
}

void TPropertyTable::SetInteger(Field f, std::optional<int> value)
{
    if (f == Field::Grp) {
        if (state_ == State::Browse)
            Edit();
        if (state_ == State::Browse)
            return;
        buffer_.grp = value;
        Changed();
        return;
    }
    SetString(f, value ? std::to_string(*value) : std::string());
}

void TPropertyTable::Edit()
{
    if (state_ != State::Browse)
        return;
    if (cur_ < 0 || cur_ >= TotalCount())
        return;
    buffer_ = rows_[static_cast<size_t>(cur_)];
    state_ = State::Edit;
    Changed();
}

void TPropertyTable::Append()
{
    if (state_ != State::Browse && !Post())
        return;
    buffer_ = TPropertyRow{};
    insertAt_ = -1;
    state_ = State::Insert;
    Changed();
}

void TPropertyTable::Insert()
{
    if (state_ != State::Browse && !Post())
        return;
    buffer_ = TPropertyRow{};
    // Posting the pending edit may have moved the current row: read it now.
    insertAt_ = cur_ >= 0 && cur_ < TotalCount() ? cur_ : -1;
    state_ = State::Insert;
    Changed();
}

int TPropertyTable::InsertIndex() const
{
    if (state_ != State::Insert)
        return -1;
    return insertAt_ >= 0 && insertAt_ <= TotalCount() ? insertAt_ : TotalCount();
}

void TPropertyTable::AppendRow(const std::string& name, const std::string& value, std::optional<int> grp)
{
    Append();
    if (state_ != State::Insert)
        return;
    buffer_.name = name;
    buffer_.value = value;
    buffer_.grp = grp;
    Post();
}

bool TPropertyTable::LeaveEdit() { return state_ == State::Browse || Post(); }

bool TPropertyTable::Post()
{
    if (state_ == State::Browse)
        return true;
    if (BeforePost && !BeforePost(*this))
        return false;
    if (state_ == State::Insert) {
        const int at = InsertIndex();
        rows_.insert(rows_.begin() + at, buffer_);
        cur_ = at;
        insertAt_ = -1;
    } else if (cur_ >= 0 && cur_ < TotalCount()) {
        rows_[static_cast<size_t>(cur_)] = buffer_;
    }
    state_ = State::Browse;
    bof_ = eof_ = false;
    if (AfterPost)
        AfterPost(*this);
    Changed();
    return true;
}

void TPropertyTable::Cancel()
{
    if (state_ == State::Browse)
        return;
    state_ = State::Browse;
    buffer_ = TPropertyRow{};
    if (!Visible(cur_))
        First();
    Changed();
}

void TPropertyTable::Delete()
{
    if (state_ == State::Insert) {
        Cancel();
        return;
    }
    state_ = State::Browse;
    if (cur_ < 0 || cur_ >= TotalCount())
        return;
    rows_.erase(rows_.begin() + cur_);
    // The next visible row becomes current, else the one before.
    int next = -1;
    for (int i = cur_; i < TotalCount(); ++i)
        if (Visible(i)) {
            next = i;
            break;
        }
    if (next < 0)
        for (int i = std::min(cur_, TotalCount()) - 1; i >= 0; --i)
            if (Visible(i)) {
                next = i;
                break;
            }
    cur_ = next;
    SetBounds();
    Changed();
}

void TPropertyTable::Clear()
{
    state_ = State::Browse;
    buffer_ = TPropertyRow{};
    rows_.clear();
    cur_ = -1;
    SetBounds();
    Changed();
}

void TPropertyTable::SetFiltered(bool on)
{
    if (filtered_ == on)
        return;
    if (!LeaveEdit())
        Cancel(); // the rows are about to move: never post into another row
    filtered_ = on;
    if (!Visible(cur_))
        First();
    Changed();
}

void TPropertyTable::Refilter()
{
    if (!LeaveEdit())
        Cancel(); // the rows are about to move: never post into another row
    if (!Visible(cur_))
        First();
    Changed();
}

void TPropertyTable::SortBy(const std::string& fields)
{
    if (!LeaveEdit())
        Cancel(); // the rows are about to move: never post into another row
    std::vector<Field> keys;
    size_t start = 0;
    while (start <= fields.size()) {
        size_t end = fields.find(';', start);
        if (end == std::string::npos)
            end = fields.size();
        if (const auto f = FieldByName(Trim(fields.substr(start, end - start))))
            keys.push_back(*f);
        start = end + 1;
    }
    sortFields_ = fields;
    std::stable_sort(rows_.begin(), rows_.end(), [&keys](const TPropertyRow& a, const TPropertyRow& b) {
        for (const Field k : keys) {
            int c = 0;
            if (k == Field::Grp) {
                if (a.grp != b.grp)
                    c = a.grp < b.grp ? -1 : 1; // empty before every number
            } else {
                c = LocaleCompare(k == Field::Name ? a.name : a.value, k == Field::Name ? b.name : b.value);
            }
            if (c != 0)
                return c < 0;
        }
        return false;
    });
    First();
}

bool TPropertyTable::Locate(Field f, const std::string& text)
{
    if (!LeaveEdit())
        return false;
    for (int i = 0; i < TotalCount(); ++i) {
        if (!Visible(i))
            continue;
        const TPropertyRow& row = rows_[static_cast<size_t>(i)];
        const std::string v = f == Field::Name ? row.name
                            : f == Field::Value ? row.value
                            : (row.grp ? std::to_string(*row.grp) : std::string());
        if (v == text) {
            cur_ = i;
            bof_ = eof_ = false;
            Changed();
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------ bulk brackets

std::string& RememberedRowName()
{
    static std::string name;
    return name;
}

void BeginTableUpdate(TPropertyTable& table)
{
    table.DisableControls();
    if (table.Filtered()) {
        RememberedRowName() = table.Name();
        table.SetFiltered(false);
        table.ClearSort();
    }
    ++table.UpdateNesting;
}

void EndTableUpdate(TPropertyTable& table)
{
    if (table.UpdateNesting > 0)
        --table.UpdateNesting;
    if (table.UpdateNesting == 0) {
        table.SetFiltered(true);
        table.SortBy("GRP;NAME");
        table.Locate(TPropertyTable::Field::Name, RememberedRowName());
    }
    table.EnableControls();
}

} // namespace kestrune
