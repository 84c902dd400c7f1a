#pragma once
// The in-memory property table: the rows the property grid and the
// parameters editor edit, with the fields "name", "value" and "grp".
//
// Names and values are kept whole. NameDisplayWidth and ValueDisplayWidth are
// the widths the grids show, never a limit of what is stored.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

struct TPropertyRow {
    std::string name;
    std::string value;
    std::optional<int> grp; // empty until set
};

class TPropertyTable {
public:
    static constexpr int NameDisplayWidth = 40;
    static constexpr int ValueDisplayWidth = 8100;

    enum class State { Browse, Edit, Insert };
    enum class Field { Name, Value, Grp };

    // Field names "name", "value", "grp" (no regard to case); nothing for others.
    static std::optional<Field> FieldByName(const std::string& fieldName);

    // ---- rows and navigation (the record filter hides rows while Filtered) ----
    int RecordCount() const;        // visible rows
    int TotalCount() const { return static_cast<int>(rows_.size()); }
    bool IsEmpty() const { return RecordCount() == 0; }
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    // Index of the current row among all rows, -1 when there is none.
    int CurrentIndex() const { return cur_; }
    // Moves to a row by its index among all rows (ignored when hidden or out of range).
    bool MoveTo(int index);
    const std::vector<TPropertyRow>& Rows() const { return rows_; }

    // ---- fields of the current row (the edit buffer while editing) ----
    std::string AsString(Field f) const;
    std::optional<int> AsInteger(Field f) const; // grp, or a numeric name/value
    const TPropertyRow* Current() const;
    std::string Name() const { return AsString(Field::Name); }
    std::string Value() const { return AsString(Field::Value); }
    std::optional<int> Grp() const { return AsInteger(Field::Grp); }
    // Setting a field in browse state starts editing the current row first.
    void SetString(Field f, const std::string& text);
    void SetInteger(Field f, std::optional<int> value);
    void SetName(const std::string& s) { SetString(Field::Name, s); }
    void SetValue(const std::string& s) { SetString(Field::Value, s); }
    void SetGrp(std::optional<int> g) { SetInteger(Field::Grp, g); }

    // ---- editing ----
    State GetState() const { return state_; }
    bool Modified() const { return state_ != State::Browse; }
    void Edit();
    void Append();                    // a new row, posted at the end
    // A new row, posted in front of the current row (at the end when there
    // is none): the rows after it move down by one.
    void Insert();
    // The index among all rows that the row being inserted takes when it is
    // posted (TotalCount() for an appended one); -1 outside insert state.
    int InsertIndex() const;
    void AppendRow(const std::string& name, const std::string& value, std::optional<int> grp = {});
    // Posts the edit buffer: BeforePost may refuse (false keeps the edit state).
    bool Post();
    void Cancel();
    void Delete();                    // the current row
    void Clear();                     // all rows, edit state dropped

    // Called before a row is stored; returning false refuses the post.
    std::function<bool(TPropertyTable&)> BeforePost;
    // Called after a row was stored.
    std::function<void(TPropertyTable&)> AfterPost;

    // ---- record filter ----
    std::function<bool(const TPropertyRow&)> OnFilterRecord;
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool on);
    // Re-evaluates the filter (after the owner changed what it shows).
    void Refilter();

    // ---- sorting and locating ----
    // Sorts the rows once by fields listed like "GRP;NAME": integer fields as
    // numbers (empty first), text fields with LocaleCompare. Rows appended
    // later are not kept in order. Moves to the first row.
    void SortBy(const std::string& fields);
    void ClearSort() { sortFields_.clear(); }
    const std::string& SortFields() const { return sortFields_; }
    // Moves to the first visible row whose field equals the text exactly.
    bool Locate(Field f, const std::string& text);

    // ---- display updates ----
    void DisableControls() { ++disabled_; }
    void EnableControls();
    bool ControlsDisabled() const { return disabled_ > 0; }
    // Told whenever rows, the current row or the state changed, unless disabled.
    std::function<void(TPropertyTable&)> OnChange;

    // Nesting counter of BeginTableUpdate/EndTableUpdate.
    int UpdateNesting = 0;

private:
    // Posts a pending edit; false when it was refused (the edit stays).
    bool LeaveEdit();
    bool Visible(int index) const;
    void Changed();
    void SetBounds();

    std::vector<TPropertyRow> rows_;
    int cur_ = -1;
    bool eof_ = true;
    bool bof_ = true;
    State state_ = State::Browse;
    TPropertyRow buffer_;
    int insertAt_ = -1; // in insert state: where the row goes, -1 at the end
    bool filtered_ = false;
    std::string sortFields_;
    int disabled_ = 0;
    bool pendingChange_ = false;
};

// The bulk-change brackets around every copy between a list and a table.
// The remembered row name is one value for the whole editor.
void BeginTableUpdate(TPropertyTable& table);
void EndTableUpdate(TPropertyTable& table);
std::string& RememberedRowName();

} // namespace kestrune
